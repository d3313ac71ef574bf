#include "core/cals/SubField.h"

#include "core/cals/HeaderRecord.h"

#include <algorithm>

namespace scanleaf::core {

namespace {

// The filler that pads a text to a sub-field's width and a value around it.
const Text kFiller(128, Unit(' '));

// Substring rules that tolerate any count: a negative count or position means nothing
// before it, a count beyond the text means all of it.
Text Left(const Text& text, long long count) {
    if (count <= 0) return Text();
    return text.substr(0, static_cast<std::size_t>(std::min<long long>(count, text.size())));
}

Text Right(const Text& text, long long count) {
    if (count <= 0) return Text();
    std::size_t n = static_cast<std::size_t>(std::min<long long>(count, text.size()));
    return text.substr(text.size() - n);
}

Text Mid(const Text& text, long long first, long long count) {
    if (first < 0) first = 0;
    if (count <= 0 || first >= static_cast<long long>(text.size())) return Text();
    return text.substr(static_cast<std::size_t>(first), static_cast<std::size_t>(std::min<long long>(count, text.size())));
}

} // namespace

Text CutSubField(const Text& value, int start, int end) {
    if (static_cast<long long>(value.size()) < start) return Text();
    long long width = static_cast<long long>(end) - start + 1;
    return TrimTrailingBlanks(Mid(value, static_cast<long long>(start) - 1, width));
}

Text SpliceSubField(const Text& value, const Text& text, int start, int end) {
    long long width = static_cast<long long>(end) - start + 1;
    Text piece = Left(text + kFiller, width);
    Text work = value + kFiller;
    Text result = Left(work, static_cast<long long>(start) - 1);
    result += piece;
    result += Right(work, static_cast<long long>(work.size()) - end);
    return TrimTrailingBlanks(std::move(result));
}

} // namespace scanleaf::core
