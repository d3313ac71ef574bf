// The pure side of a record's settings, with the system's lower-casing of sub-field names.
#pragma once

#include "core/TagSettings.h"

#include <list>
#include <string>

namespace scanleaf {

using core::kRecordTextWidth;
using core::ReadDecimal;
using core::ReadPixelCounts;
using core::ReadPosition;
using core::SubTag;
using core::TerminateList;

bool ReadSubTags(const std::wstring& names, const std::wstring& positions, int nameLength,
                 std::list<SubTag>& subTags, int& valueWidth);

} // namespace scanleaf
