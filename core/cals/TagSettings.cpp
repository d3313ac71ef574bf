#include "core/cals/TagSettings.h"

#include <climits>

namespace scanleaf::core {

bool ReadDecimal(const Text& text, std::size_t& pos, int& out) {
    std::size_t i = pos;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == Unit('+') || text[i] == Unit('-'))) {
        negative = text[i] == Unit('-');
        ++i;
    }
    std::size_t digits = i;
    long long magnitude = 0;
    bool overflow = false;
    while (i < text.size() && text[i] >= Unit('0') && text[i] <= Unit('9')) {
        if (!overflow) {
            magnitude = magnitude * 10 + (text[i] - Unit('0'));
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

void ReadPosition(const Text& item, int& start, int& end) {
    start = -1;
    end = -1;
    std::size_t pos = 0;
    if (!ReadDecimal(item, pos, start)) return;
    if (pos >= item.size() || item[pos] != Unit('-')) return;
    ++pos;
    ReadDecimal(item, pos, end);
}

Text TerminateList(Text list) {
    if (!list.empty() && list.back() != Unit(';')) list.push_back(Unit(';'));
    return list;
}

bool ReadSubTags(const Text& names, const Text& positions, int nameLength,
                 const LowerCaser& lower, std::list<SubTag>& subTags, int& valueWidth) {
    std::size_t nameFrom = 0;
    std::size_t positionFrom = 0;
    for (;;) {
        std::size_t nameEnd = names.find(Unit(';'), nameFrom);
        std::size_t positionEnd = positions.find(Unit(';'), positionFrom);
        if (nameEnd == Text::npos || positionEnd == Text::npos) break;
        SubTag sub;
        sub.name = lower.Lower(names.substr(nameFrom, nameEnd - nameFrom));
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

void ReadPixelCounts(const Text& value, Text& width, Text& height) {
    width.clear();
    height.clear();
    int w = 0;
    int h = 0;
    std::size_t pos = 0;
    if (!ReadDecimal(value, pos, w)) return;
    width = Decimal(w);
    if (pos >= value.size() || value[pos] != Unit(',')) return;
    ++pos;
    if (ReadDecimal(value, pos, h)) height = Decimal(h);
}

} // namespace scanleaf::core
