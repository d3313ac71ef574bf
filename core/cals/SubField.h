// A sub-field: a fixed run of characters (1-based, inclusive) inside a tag's value.
#pragma once

#include "core/Text.h"

namespace scanleaf::core {

// Characters start..end of value (fewer when value ends sooner) without trailing blanks;
// empty when value is shorter than start. A start below 1 reads from the first character
// but keeps the width end - start + 1.
Text CutSubField(const Text& value, int start, int end);

// value with characters start..end replaced by text, cut or padded with spaces to exactly
// the sub-field's width; a value too short is first padded with spaces. Trailing blanks
// of the result are removed.
Text SpliceSubField(const Text& value, const Text& text, int start, int end);

} // namespace scanleaf::core
