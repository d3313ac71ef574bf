// The pure side of a record's settings: the "Tagnames"/"Tagpositions" lists, the
// "%d-%d" items, the refusal rules, and the numbers of "rpelcnt".
#pragma once

#include "core/Platform.h"

#include <list>

namespace scanleaf::core {

// A record slot less the ": " after the name: the most characters a value can hold.
inline constexpr int kRecordTextWidth = 126;

struct SubTag {
    Text name;      // lower case
    int start = -1; // 1-based, inclusive
    int end = -1;
};

// Reads one decimal integer the way "%d" does: leading blanks skipped, an optional sign,
// at least one digit. Advances pos past it. False (pos and out untouched) when no number
// stands there or it does not fit 32 bits.
bool ReadDecimal(const Text& text, std::size_t& pos, int& out);

// "%d-%d": both preset to -1 and left so when they can't be read; the hyphen must follow
// the first number directly; text after the second number is ignored.
void ReadPosition(const Text& item, int& start, int& end);

// A non-empty list that does not end in ";" is read as if it did.
Text TerminateList(Text list);

// Pairs the name items with the position items until either list runs out, checks each
// pair and appends the sub-fields. False when a pair is refused (start > end, neither
// number read, or end beyond 126 minus nameLength); subTags and valueWidth are then
// partly filled and must be dropped by the caller.
bool ReadSubTags(const Text& names, const Text& positions, int nameLength, const LowerCaser& lower,
                 std::list<SubTag>& subTags, int& valueWidth);

// "%d,%d" for the derived width and height: a number that can't be read gives empty text.
void ReadPixelCounts(const Text& value, Text& width, Text& height);

} // namespace scanleaf::core
