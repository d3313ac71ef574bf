// A 256-pixel thumbnail of one CALS file through WIC (the codec's decoder and the factory's
// scaler) against the core's own thumbnail path, in the same run, with the process's peak
// working set after each.
#pragma once

#include <string>

int WicThumbnailBench(const std::wstring& codecDll, const std::wstring& file);
