// A sub-field: a fixed run of characters (1-based, inclusive) inside a tag's value.
#pragma once

#include <string>

namespace scanleaf {

// Characters start..end of value (fewer when value ends sooner) without trailing blanks;
// empty when value is shorter than start. A start below 1 reads from the first character
// but keeps the width end - start + 1.
std::wstring CutSubField(const std::wstring& value, int start, int end);

// value with characters start..end replaced by text, cut or padded with spaces to exactly
// the sub-field's width; a value too short is first padded with spaces. Trailing blanks
// of the result are removed.
std::wstring SpliceSubField(const std::wstring& value, const std::wstring& text, int start, int end);

// Strips the characters that iswspace accepts from the end.
std::wstring TrimTrailingBlanks(std::wstring text);

} // namespace scanleaf
