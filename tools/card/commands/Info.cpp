// info: what the plug-in says of itself, loaded as the host loads it.
#include "tools/card/commands/Commands.h"
#include "tools/card/cards/PluginCodes.h"

#include "hostenv/Bstr.h"
#include "hostenv/ComPtr.h"
#include "tools/card/batch/Files.h"
#include "hostenv/Unique.h"
#include "tools/card/batch/Console.h"
#include "tools/common/Plugin.h"

#include <oleauto.h>

#include <cwchar>

namespace card {

using scanleaf::Bstr;
using scanleaf::ComPtr;

int Info(const NoOptions&, const Setup& setup) {
    IVorFileFormat* format = setup.Format();
    Bstr product, description, extensions;
    HRESULT hr = format->GetFormatInfo(product.Put(), description.Put(), extensions.Put());
    if (FAILED(hr)) {
        Err(L"scanleaf-card: GetFormatInfo: " + DescribeHresult(hr) + L"\n");
        return 1;
    }
    Out(L"plug-in:     " + setup.plugin->Source() + L"\n");
    Out(L"product:     " + std::wstring(product.Text()) + L"\n");
    Out(L"description: " + std::wstring(description.Text()) + L"\n");
    Out(L"extensions:\n");
    for (const std::wstring& ext : Split(extensions.Text(), L',')) {
        ULONG flags = 0;
        Bstr bext(ext);
        hr = format->GetExtensionFlags(bext.Get(), &flags);
        wchar_t text[64];
        swprintf(text, 64, L"  %-6ls flags %lu (0x%lX)\n", ext.c_str(), flags, flags);
        Out(SUCCEEDED(hr) ? std::wstring(text) : L"  " + ext + L" " + DescribeHresult(hr) + L"\n");
    }
    ComPtr<IVorFileFormat2> format2;
    hr = format->QueryInterface(IID_IVorFileFormat2, format2.PutVoid());
    if (FAILED(hr)) return 0;
    ULONG count = 0;
    ExtensionGroup* groups = nullptr;
    hr = format2->GetExtensionGroups(&count, &groups);
    const scanleaf::TaskStringArray<ExtensionGroup, &ExtensionGroup::extensions> owned(groups, {groups ? count : 0});
    if (FAILED(hr)) {
        Err(L"scanleaf-card: GetExtensionGroups: " + DescribeHresult(hr) + L"\n");
        return 1;
    }
    Out(L"extension groups:\n");
    for (ULONG i = 0; i < count; ++i) {
        wchar_t guid[40] = {};
        StringFromGUID2(groups[i].identifier, guid, 40);
        wchar_t line[128];
        swprintf(line, 128, L"  kind %lu  %ls  ", groups[i].kind, guid);
        Out(line + std::wstring(groups[i].extensions ? groups[i].extensions : L"") + L"\n");
    }
    return 0;
}

} // namespace card
