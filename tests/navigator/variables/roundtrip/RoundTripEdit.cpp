// Edits a CALS file the way the host does: opens it through the DLL, writes srcdocid and
// notes, saves, opens it again and prints what it reads back as name=value lines.
//   navigator_roundtrip_edit <file> <srcdocid> <notes>
#include "hostenv/ComPtr.h"
#include "tests/support/CalsFixtures.h"

#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <exception>
#include <string>

using scanleaf::ComPtr;

namespace {

HRESULT Open(IVorFileFormat* format, const wchar_t* path, ComPtr<IVorFileNavigator>& navigator) {
    BSTR b = SysAllocString(path);
    HRESULT hr = format->CreateNavigator(b, 0, navigator.Put());
    SysFreeString(b);
    return hr;
}

int Fail(const char* what, HRESULT hr) {
    std::fprintf(stderr, "%s failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
    return 1;
}

int Run(const wchar_t* path, const wchar_t* srcdocid, const wchar_t* notes) {
    testsupport::HostSettings host; // no settings file: every record writable
    testsupport::ScanleafDll dll;
    ComPtr<IVorFileFormat> format;
    HRESULT hr = dll.Create(CLSID_CalsFormat, IID_IVorFileFormat, format.PutVoid());
    if (FAILED(hr)) return Fail("creating the format object", hr);

    const wchar_t* names[] = {L"srcdocid", L"notes", L"width", L"height"};
    VorVariable v[4] = {};
    for (int i = 0; i < 4; ++i) {
        v[i].name = SysAllocString(names[i]);
        v[i].block = SysAllocString(L"CALS");
    }
    int result = 0;
    {
        ComPtr<IVorFileNavigator> navigator;
        if (FAILED(hr = Open(format.Get(), path, navigator))) return Fail("opening", hr);
        v[0].value.vt = VT_BSTR;
        v[0].value.bstrVal = SysAllocString(srcdocid);
        v[1].value.vt = VT_BSTR;
        v[1].value.bstrVal = SysAllocString(notes);
        if (FAILED(hr = navigator->WriteVariable(0, 0, 0, 2, v, 0))) return Fail("writing", hr);
        if (v[0].found != 1 || v[1].found != 1) return Fail("finding srcdocid and notes", E_FAIL);
        if (FAILED(hr = navigator->SaveFile())) return Fail("saving", hr);
    }
    {
        ComPtr<IVorFileNavigator> navigator;
        if (FAILED(hr = Open(format.Get(), path, navigator))) return Fail("opening again", hr);
        if (FAILED(hr = navigator->ReadVariable(0, 0, 0, 4, v))) return Fail("reading", hr);
        for (int i = 0; i < 4; ++i) {
            std::string text = v[i].found == 1 && v[i].value.vt == VT_BSTR
                                   ? testsupport::Narrow(v[i].value.bstrVal)
                                   : std::string("<missing>");
            std::printf("%s=%s\n", testsupport::Narrow(names[i]).c_str(), text.c_str());
        }
    }
    for (VorVariable& r : v) {
        SysFreeString(r.name);
        SysFreeString(r.block);
        VariantClear(&r.value);
    }
    return result;
}

} // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 4) {
        std::fprintf(stderr, "usage: navigator_roundtrip_edit <file> <srcdocid> <notes>\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    int result = 1;
    try {
        result = Run(argv[1], argv[2], argv[3]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
    CoUninitialize();
    LocalFree(argv);
    std::fflush(stdout);
    return result;
}
