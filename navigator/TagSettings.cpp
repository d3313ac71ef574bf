#include "navigator/TagSettings.h"

#include "navigator/LowerCase.h"

#include <climits>
#include <cwctype>

namespace scanleaf {

bool ReadDecimal(const std::wstring& text, std::size_t& pos, int& out) {
    std::size_t i = pos;
    while (i < text.size() && std::iswspace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }
    std::size_t digits = i;
    long long magnitude = 0;
    bool overflow = false;
    while (i < text.size() && text[i] >= L'0' && text[i] <= L'9') {
        if (!overflow) {
            magnitude = magnitude * 10 + (text[i] - L'0');
            if (magnitude > static_cast<long long>(INT_MAX) + 1) overflow = true;
        }
        ++i;
    }
    if (i == digits) return false;
    long long value = negative ? -magnitude : magnitude;
    // Out of range: no number rather than a wrapped or clamped one that could pass the checks.
    if (overflow || value > INT_MAX || value < INT_MIN) return false;
    out = static_cast<int>(value);
    pos = i;
    return true;
}

void ReadPosition(const std::wstring& item, int& start, int& end) {
    start = -1;
    end = -1;
    std::size_t pos = 0;
    if (!ReadDecimal(item, pos, start)) return;
    if (pos >= item.size() || item[pos] != L'-') return;
    ++pos;
    ReadDecimal(item, pos, end);
}

std::wstring TerminateList(std::wstring list) {
    if (!list.empty() && list.back() != L';') list.push_back(L';');
    return list;
}

bool ReadSubTags(const std::wstring& names, const std::wstring& positions, int nameLength,
                 std::list<SubTag>& subTags, int& valueWidth) {
    std::size_t nameFrom = 0;
    std::size_t positionFrom = 0;
    for (;;) {
        std::size_t nameEnd = names.find(L';', nameFrom);
        std::size_t positionEnd = positions.find(L';', positionFrom);
        if (nameEnd == std::wstring::npos || positionEnd == std::wstring::npos) break;
        SubTag sub;
        sub.name = LowerCase(names.substr(nameFrom, nameEnd - nameFrom));
        ReadPosition(positions.substr(positionFrom, positionEnd - positionFrom), sub.start, sub.end);
        if (sub.start > sub.end) return false;
        if (sub.start == -1 && sub.end == -1) return false;
        if (sub.end > kRecordTextWidth - nameLength) return false;
        if (sub.end > valueWidth) valueWidth = sub.end;
        subTags.push_back(std::move(sub));
        nameFrom = nameEnd + 1;
        positionFrom = positionEnd + 1;
    }
    return true;
}

void ReadPixelCounts(const std::wstring& value, std::wstring& width, std::wstring& height) {
    width.clear();
    height.clear();
    int w = 0;
    int h = 0;
    std::size_t pos = 0;
    if (!ReadDecimal(value, pos, w)) return;
    width = std::to_wstring(w);
    if (pos >= value.size() || value[pos] != L',') return;
    ++pos;
    if (ReadDecimal(value, pos, h)) height = std::to_wstring(h);
}

} // namespace scanleaf
