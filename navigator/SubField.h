// A sub-field: a fixed run of characters (1-based, inclusive) inside a tag's value.
#pragma once

#include "core/HeaderRecord.h"
#include "core/SubField.h"

namespace scanleaf {

using core::CutSubField;
using core::SpliceSubField;
using core::TrimTrailingBlanks;

} // namespace scanleaf
