// The codec's registry rows (in the registering process's view): the decoder class, its place in
// WIC's decoder category, its pattern, and per CALS extension the image type and Explorer's photo
// thumbnail provider; the property handler's class, its entry in the property system per
// extension (HKEY_LOCAL_MACHINE), and the properties Explorer lists for the extension.
// regsvr32 writes them; the installer's rows are made from the same list.
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

// Where the property system finds a handler for each extension, below HKEY_LOCAL_MACHINE.
inline constexpr wchar_t kPropertyHandlersKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PropertySystem\\PropertyHandlers";
// The list of every preview handler, below HKEY_LOCAL_MACHINE: a value per handler's class.
inline constexpr wchar_t kPreviewHandlersKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PreviewHandlers";
// Explorer's preview handler interface, whose ShellEx subkey names an extension's handler.
inline constexpr wchar_t kPreviewHandlerShellEx[] = L"{8895b1c6-b41f-4c1c-a562-0d564250836f}";

// The preview host that runs the handler: prevhost.exe's own AppID, or for a 32-bit handler on
// 64-bit Windows its 32-bit surrogate's.
const wchar_t* PreviewHostAppId();

HRESULT RegisterCodec(const std::wstring& modulePath);
HRESULT UnregisterCodec();

} // namespace scanleaf
