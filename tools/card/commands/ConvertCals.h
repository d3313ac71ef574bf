// convert --to cals: pictures into CALS type 1 files.
#pragma once

#include "tools/card/commands/Commands.h"

namespace card {

int ConvertToCals(const ConvertOptions& options, const Setup& setup);

} // namespace card
