// The codec's registry rows (under HKEY_CLASSES_ROOT, in the registering process's view): the
// decoder class, its place in WIC's decoder category, its pattern, and per CALS extension the
// image type and Explorer's photo thumbnail provider. regsvr32 writes them; the installer's
// rows are made from the same list.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace scanleaf {

struct CodecRow {
    std::wstring key;   // below HKEY_CLASSES_ROOT
    std::wstring name;  // empty: the default value
    DWORD type;         // REG_SZ, REG_DWORD or REG_BINARY
    std::vector<BYTE> data;
};

std::vector<CodecRow> CodecRows(const std::wstring& modulePath);

// The keys that are the codec's alone, removed whole on unregistration; every other row's key
// (the extensions') keeps what others wrote there and goes only when nothing is left.
std::vector<std::wstring> CodecOwnedKeys();

HRESULT RegisterCodec(const std::wstring& modulePath);
HRESULT UnregisterCodec();

} // namespace scanleaf
