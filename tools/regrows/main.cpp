// scanleaf-regrows: the module's COM registration as Windows Installer registry rows.
//
//   scanleaf-regrows DLL FILE-REFERENCE FOLDER-REFERENCE OUTPUT-FOLDER
//
// writes OUTPUT-FOLDER\Registration.wxi (this architecture's rows) and
// SharedRegistration.wxi (rows that both architectures' packages share, first one the key path).
// Runs the DLL's own DllRegisterServer into a scratch key, so the rows are exactly what the
// registration scripts, the proxy/stub table and the type library write, with the DLL's path
// replaced by FILE-REFERENCE (such as [#ScanleafDll]) and its folder by FOLDER-REFERENCE
// (such as [ProgramFilesFolder]Scanleaf: the type library records its folder, without the
// closing backslash that the installer's folder properties carry).
//
//   scanleaf-regrows --codec FILE-REFERENCE OUTPUT-FOLDER
//
// writes CodecRegistration.wxi and SharedCodecRegistration.wxi from the WIC codec's own list.
#include "hostenv/ComApartment.h"
#include "hostenv/Unique.h"
#include "tools/regrows/Capture.h"
#include "tools/regrows/CodecRows.h"
#include "tools/regrows/RegistryRows.h"

#include <objbase.h>

#include <cstdio>
#include <string>

namespace {

int Fail(const std::wstring& message, HRESULT hr) {
    fwprintf(stderr, L"scanleaf-regrows: %ls (0x%08lX)\n", message.c_str(), static_cast<unsigned long>(hr));
    return 1;
}

bool WriteUtf8(const std::wstring& path, const std::wstring& text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(size_t(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), &utf8[0], bytes, nullptr, nullptr);
    scanleaf::StdFileHandle file(_wfopen(path.c_str(), L"wb"));
    if (!file) return false;
    const bool written = fwrite(utf8.data(), 1, utf8.size(), file.Get()) == utf8.size();
    return file.Close() && written;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 4 && std::wstring(argv[1]) == L"--codec") {
        for (bool shared : {false, true}) {
            const std::wstring path = std::wstring(argv[3]) + (shared ? L"\\SharedCodecRegistration.wxi" : L"\\CodecRegistration.wxi");
            if (!WriteUtf8(path, regrows::CodecWixInclude(argv[2], shared))) return Fail(L"cannot write " + path, E_FAIL);
        }
        return 0;
    }
    if (argc != 5) {
        fwprintf(stderr, L"usage: scanleaf-regrows DLL FILE-REFERENCE FOLDER-REFERENCE OUTPUT-FOLDER\n");
        return 2;
    }
    std::vector<regrows::Key> tree;
    std::wstring modulePath;
    std::wstring error;
    HRESULT hr = E_FAIL;
    {
        const scanleaf::ComApartment com;
        if (FAILED(com.Result())) return Fail(L"COM could not be initialised", com.Result());
        hr = regrows::CaptureRegistration(argv[1], tree, modulePath, error);
    }
    if (FAILED(hr)) return Fail(error, hr);
    std::vector<regrows::Row> rows;
    std::wstring folder = modulePath.substr(0, modulePath.find_last_of(L'\\'));
    if (!regrows::ToRows(tree, {{modulePath, argv[2]}, {folder, argv[3]}}, rows, error))
        return Fail(L"cannot turn the registration into table rows: " + error, E_FAIL);
    std::wstring folderOut = argv[4];
    for (bool shared : {false, true}) {
        std::wstring path = folderOut + (shared ? L"\\SharedRegistration.wxi" : L"\\Registration.wxi");
        if (!WriteUtf8(path, regrows::WixInclude(rows, shared, shared)))
            return Fail(L"cannot write " + path, E_FAIL);
    }
    fwprintf(stdout, L"%zu registry rows\n", rows.size());
    return 0;
}
