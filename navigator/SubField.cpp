#include "navigator/SubField.h"

#include <algorithm>
#include <cwctype>

namespace scanleaf {

namespace {

// The filler that pads a text to a sub-field's width and a value around it.
const std::wstring kFiller(128, L' ');

// Substring rules that tolerate any count: a negative count or position means nothing
// before it, a count beyond the text means all of it.
std::wstring Left(const std::wstring& text, long long count) {
    if (count <= 0) return std::wstring();
    return text.substr(0, static_cast<std::size_t>(std::min<long long>(count, text.size())));
}

std::wstring Right(const std::wstring& text, long long count) {
    if (count <= 0) return std::wstring();
    std::size_t n = static_cast<std::size_t>(std::min<long long>(count, text.size()));
    return text.substr(text.size() - n);
}

std::wstring Mid(const std::wstring& text, long long first, long long count) {
    if (first < 0) first = 0;
    if (count <= 0 || first >= static_cast<long long>(text.size())) return std::wstring();
    return text.substr(static_cast<std::size_t>(first), static_cast<std::size_t>(std::min<long long>(count, text.size())));
}

} // namespace

std::wstring TrimTrailingBlanks(std::wstring text) {
    std::size_t last = text.size();
    while (last > 0 && std::iswspace(text[last - 1])) --last;
    text.erase(last);
    return text;
}

std::wstring CutSubField(const std::wstring& value, int start, int end) {
    if (static_cast<long long>(value.size()) < start) return std::wstring();
    long long width = static_cast<long long>(end) - start + 1;
    return TrimTrailingBlanks(Mid(value, static_cast<long long>(start) - 1, width));
}

std::wstring SpliceSubField(const std::wstring& value, const std::wstring& text, int start, int end) {
    long long width = static_cast<long long>(end) - start + 1;
    std::wstring piece = Left(text + kFiller, width);
    std::wstring work = value + kFiller;
    std::wstring result = Left(work, static_cast<long long>(start) - 1);
    result += piece;
    result += Right(work, static_cast<long long>(work.size()) - end);
    return TrimTrailingBlanks(std::move(result));
}

} // namespace scanleaf
