// convert --to cals: pictures into CALS type 1 files.
#pragma once

#include "tools/card/CommandTable.h"
#include "tools/card/Commands.h"

namespace card {

int ConvertToCals(const Arguments& args, const Options& options);

} // namespace card
