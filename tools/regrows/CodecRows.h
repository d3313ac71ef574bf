// The WIC codec's registration (its own list, as its DllRegisterServer writes it) as WiX
// includes: the rows each architecture keeps apart, and the shared ones (the extensions').
#pragma once

#include <string>

namespace regrows {

// REG_BINARY rows come out as text "binary:HEX", which the package script turns into the
// installer's binary form after wixl (it writes no binary registry value of its own).
std::wstring CodecWixInclude(const std::wstring& fileReference, bool shared);

} // namespace regrows
