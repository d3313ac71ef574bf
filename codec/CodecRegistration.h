// The codec's registration: regsvr32 writes the rows of codec/api/RegistrationRows.h and takes
// away what is the codec's alone.
#pragma once

#include "codec/api/RegistrationRows.h"

#include <windows.h>

#include <string>

namespace scanleaf {

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
