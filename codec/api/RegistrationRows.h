// The codec's registry rows (in the registering process's view): the decoder class, its place in
// WIC's decoder category, its pattern, and per CALS extension the image type and Explorer's photo
// thumbnail provider; the property handler's class, its entry in the property system per
// extension (HKEY_LOCAL_MACHINE), and the properties Explorer lists for the extension.
// regsvr32 writes them; the installer's rows are made from the same list. The codec's face to the
// tools, as the rest of codec/api/.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace scanleaf {

struct CodecRow {
    std::wstring key;   // below `root`
    std::wstring name;  // empty: the default value
    DWORD type;         // REG_SZ, REG_DWORD or REG_BINARY
    std::vector<BYTE> data;
    HKEY root = HKEY_CLASSES_ROOT;
};

struct CodecKey {
    HKEY root;
    std::wstring key;
};

std::vector<CodecRow> CodecRows(const std::wstring& modulePath);

// The keys that are the codec's alone, removed whole on unregistration; every other row's key
// (the extensions') keeps what others wrote there and goes only when nothing is left.
std::vector<CodecKey> CodecOwnedKeys();

} // namespace scanleaf
