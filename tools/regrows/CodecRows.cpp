#include "tools/regrows/CodecRows.h"

#include "codec/api/RegistrationRows.h"
#include "tools/regrows/RegistryRows.h"

namespace regrows {

namespace {

std::wstring Xml(const std::wstring& text) {
    std::wstring out;
    AppendXmlText(out, text);
    return out;
}

} // namespace

std::wstring CodecWixInclude(const std::wstring& fileReference, bool shared) {
    const std::wstring marker = L"\x1F"; // stands for the DLL's path until it is replaced
    std::wstring xml = L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                       L"<!-- Generated from the codec's own registration list; do not edit. -->\n"
                       L"<Include>\n";
    bool keyPath = shared;
    for (const scanleaf::CodecRow& row : scanleaf::CodecRows(marker)) {
        // HKEY_LOCAL_MACHINE's software key is one per view, as the classes' CLSID key is.
        const bool perView = row.root == HKEY_LOCAL_MACHINE || KeptPerView(row.key);
        if (perView == shared) continue;
        std::wstring type = L"string", value;
        if (row.type == REG_DWORD) {
            type = L"integer";
            value = std::to_wstring(*reinterpret_cast<const DWORD*>(row.data.data()));
        } else if (row.type == REG_BINARY) {
            static const wchar_t kHex[] = L"0123456789ABCDEF";
            value = L"binary:";
            for (BYTE b : row.data) value += std::wstring{kHex[b >> 4], kHex[b & 15]};
        } else {
            value.assign(reinterpret_cast<const wchar_t*>(row.data.data()), row.data.size() / sizeof(wchar_t) - 1);
            value = value == marker ? fileReference : Xml(value);
        }
        xml += L"  <RegistryValue Root=\"" + std::wstring(row.root == HKEY_LOCAL_MACHINE ? L"HKLM" : L"HKCR") + L"\" Key=\"" + Xml(row.key) + L"\"" +
               (row.name.empty() ? L"" : L" Name=\"" + Xml(row.name) + L"\"") + L" Type=\"" + type + L"\" Value=\"" +
               value + (keyPath ? L"\" KeyPath=\"yes\" />\n" : L"\" />\n");
        keyPath = false;
    }
    return xml + L"</Include>\n";
}

} // namespace regrows
