// Registration of the built DLL: its two exports and Wine's regsvr32. Every case leaves
// the module unregistered again.
#include "tests/module/registration/RegTree.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <oleauto.h>

#include <string>
#include <vector>

using regtest::DumpTree;
using regtest::GuidString;
using regtest::KeyExists;
using regtest::ReadString;
using testsupport::ScanleafDll;

namespace {

struct ClassCase {
    const CLSID* clsid;
    const wchar_t* progId;
    const wchar_t* description;
    const wchar_t* threadingModel;
    const IID* ownInterface;
};

const ClassCase kClasses[] = {
    {&CLSID_CalsFormat, L"Scanleaf.CalsFormat", L"CalsFormat Class", L"Both", &IID_ICalsFormat},
    {&CLSID_CalsFile, L"Scanleaf.CalsFile", L"CalsFile Class", L"Apartment", &IID_ICalsFile},
    {&CLSID_CalsPreview, L"Scanleaf.CalsPreview", L"CalsPreview Class", L"Apartment", &IID_ICalsPreview},
};

struct InterfaceCase {
    const IID* iid;
    const wchar_t* name;
};

const InterfaceCase kInterfaces[] = {
    {&IID_ICalsPreview, L"ICalsPreview"},
    {&IID_ICalsFormat, L"ICalsFormat"},
    {&IID_ICalsFile, L"ICalsFile"},
};

std::wstring ClassKey(const CLSID& clsid) { return L"CLSID\\" + GuidString(clsid); }
std::wstring InterfaceKey(const IID& iid) { return L"Interface\\" + GuidString(iid); }
const std::wstring kTypeLibKey = L"TypeLib\\" + GuidString(LIBID_SCANLEAFLib);

// Everything that registration writes, as lines.
std::vector<std::wstring> RegisteredTree() {
    std::vector<std::wstring> lines;
    auto add = [&](const std::wstring& path) {
        auto part = DumpTree(HKEY_CLASSES_ROOT, path);
        lines.insert(lines.end(), part.begin(), part.end());
    };
    for (const auto& c : kClasses) {
        add(c.progId);
        add(std::wstring(c.progId) + L".1");
        add(ClassKey(*c.clsid));
    }
    for (const auto& i : kInterfaces) add(InterfaceKey(*i.iid));
    add(ClassKey(CLSID_ScanleafProxyStub));
    add(kTypeLibKey);
    return lines;
}

// Runs a program to its end and returns its exit code.
DWORD RunProgram(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return static_cast<DWORD>(-1);
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = static_cast<DWORD>(-1);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

// Folders below `base` such that base\...\fileName is exactly `length` characters long.
std::wstring MakeDeepPath(const std::wstring& base, size_t length, const std::wstring& fileName,
                          std::vector<std::wstring>& folders) {
    const size_t folderLength = length - fileName.size() - 1;
    std::wstring folder = base;
    while (folder.size() < folderLength) {
        size_t rest = folderLength - folder.size() - 1;
        size_t part = rest > 100 ? (rest - 100 >= 2 ? 100 : rest - 2) : rest;
        folder += L"\\" + std::wstring(part, L'd');
        if (!CreateDirectoryW(folder.c_str(), nullptr)) return {};
        folders.push_back(folder);
    }
    return folder + L"\\" + fileName;
}

class Registration : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override {
        dll.UnregisterServer();
        CoUninitialize();
    }

    ScanleafDll dll;
};

TEST_F(Registration, EveryProgramIdentifierCreatesItsClass) {
    ASSERT_EQ(dll.RegisterServer(), S_OK);
    for (const auto& c : kClasses) {
        for (std::wstring progId : {std::wstring(c.progId), std::wstring(c.progId) + L".1"}) {
            CLSID clsid{};
            ASSERT_EQ(CLSIDFromProgID(progId.c_str(), &clsid), S_OK) << progId;
            EXPECT_TRUE(IsEqualCLSID(clsid, *c.clsid)) << progId;
            IUnknown* object = nullptr;
            ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, *c.ownInterface,
                                       reinterpret_cast<void**>(&object)),
                      S_OK)
                << progId;
            object->Release();
        }
    }
}

TEST_F(Registration, WritesEachClassTree) {
    ASSERT_EQ(dll.RegisterServer(), S_OK);
    const std::wstring module = dll.Path();
    const std::wstring libid = GuidString(LIBID_SCANLEAFLib);
    for (const auto& c : kClasses) {
        const std::wstring progId = c.progId, versioned = progId + L".1", clsid = GuidString(*c.clsid);
        const std::wstring key = ClassKey(*c.clsid);
        const std::vector<std::wstring> expected = {
            key,
            key + L"\\InprocServer32",
            key + L"\\InprocServer32|@=" + module,
            key + L"\\InprocServer32|ThreadingModel=" + c.threadingModel,
            key + L"\\ProgID",
            key + L"\\ProgID|@=" + versioned,
            key + L"\\TypeLib",
            key + L"\\TypeLib|@=" + libid,
            key + L"\\VersionIndependentProgID",
            key + L"\\VersionIndependentProgID|@=" + progId,
            key + L"|@=" + c.description,
        };
        EXPECT_EQ(DumpTree(HKEY_CLASSES_ROOT, key), expected);
        const std::vector<std::wstring> expectedProgId = {
            progId,
            progId + L"\\CLSID",
            progId + L"\\CLSID|@=" + clsid,
            progId + L"\\CurVer",
            progId + L"\\CurVer|@=" + versioned,
            progId + L"|@=" + c.description,
        };
        EXPECT_EQ(DumpTree(HKEY_CLASSES_ROOT, progId), expectedProgId);
        const std::vector<std::wstring> expectedVersioned = {
            versioned,
            versioned + L"\\CLSID",
            versioned + L"\\CLSID|@=" + clsid,
            versioned + L"|@=" + c.description,
        };
        EXPECT_EQ(DumpTree(HKEY_CLASSES_ROOT, versioned), expectedVersioned);
    }
}

TEST_F(Registration, WritesTheProxyStubEntries) {
    ASSERT_EQ(dll.RegisterServer(), S_OK);
    const std::wstring factory = GuidString(CLSID_ScanleafProxyStub);
    for (const auto& i : kInterfaces) {
        const std::wstring key = InterfaceKey(*i.iid);
        EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, key, nullptr), i.name);
        EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, key + L"\\NumMethods", nullptr), L"3");
        EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, key + L"\\ProxyStubClsid32", nullptr), factory);
    }
    EXPECT_TRUE(lstrcmpiW(ReadString(HKEY_CLASSES_ROOT, ClassKey(CLSID_ScanleafProxyStub) + L"\\InprocServer32", nullptr)
                              .c_str(),
                          dll.Path().c_str()) == 0);
    // The factory is served through DllGetClassObject.
    IPSFactoryBuffer* factoryObject = nullptr;
    ASSERT_EQ(dll.GetClassObject(CLSID_ScanleafProxyStub, IID_IPSFactoryBuffer, reinterpret_cast<void**>(&factoryObject)),
              S_OK);
    factoryObject->Release();
}

// Unmarshals the stream's interface on a thread of the multi-threaded apartment.
struct OtherApartment {
    IStream* stream;
    const IID* iid;
    HRESULT hr = E_FAIL;

    static DWORD WINAPI Run(void* p) {
        auto* call = static_cast<OtherApartment*>(p);
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        IUnknown* proxy = nullptr;
        call->hr = CoGetInterfaceAndReleaseStream(call->stream, *call->iid, reinterpret_cast<void**>(&proxy));
        if (proxy) proxy->Release();
        CoUninitialize();
        return 0;
    }
};

TEST_F(Registration, TheOwnInterfacesCrossApartmentsThroughTheProxyStub) {
    ASSERT_EQ(dll.RegisterServer(), S_OK);
    // The navigator and the preview are apartment objects: another apartment gets a proxy.
    for (const auto& c : {kClasses[1], kClasses[2]}) {
        IUnknown* object = nullptr;
        ASSERT_EQ(CoCreateInstance(*c.clsid, nullptr, CLSCTX_INPROC_SERVER, *c.ownInterface,
                                   reinterpret_cast<void**>(&object)),
                  S_OK);
        OtherApartment call{nullptr, c.ownInterface};
        ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(*c.ownInterface, object, &call.stream), S_OK) << c.progId;
        HANDLE thread = CreateThread(nullptr, 0, &OtherApartment::Run, &call, 0, nullptr);
        ASSERT_TRUE(thread != nullptr);
        DWORD index = 0;
        CoWaitForMultipleHandles(0, 30000, 1, &thread, &index); // serves the calls back into this apartment
        CloseHandle(thread);
        EXPECT_EQ(call.hr, S_OK) << c.progId;
        object->Release();
    }
}

#if defined(_WIN64)
const std::wstring kTypeLibPlatform = L"win64";
#else
const std::wstring kTypeLibPlatform = L"win32";
#endif

TEST_F(Registration, RegistersTheTypeLibrary) {
    ASSERT_EQ(dll.RegisterServer(), S_OK);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kTypeLibKey + L"\\1.0"));
    EXPECT_TRUE(lstrcmpiW(ReadString(HKEY_CLASSES_ROOT, kTypeLibKey + L"\\1.0\\409\\" + kTypeLibPlatform, nullptr).c_str(),
                          dll.Path().c_str()) == 0);

    ITypeLib* lib = nullptr;
    ASSERT_EQ(LoadRegTypeLib(LIBID_SCANLEAFLib, 1, 0, 0x409, &lib), S_OK);
    BSTR name = nullptr, help = nullptr;
    ASSERT_EQ(lib->GetDocumentation(-1, &name, &help, nullptr, nullptr), S_OK);
    EXPECT_STREQ(name, L"SCANLEAFLib");
    EXPECT_STREQ(help, L"Scanleaf 1.0 Type Library");
    SysFreeString(name);
    SysFreeString(help);
    TLIBATTR* libAttr = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&libAttr), S_OK);
    EXPECT_EQ(libAttr->wMajorVerNum, 1);
    EXPECT_EQ(libAttr->wMinorVerNum, 0);
    EXPECT_EQ(libAttr->lcid, 0x409u);
    lib->ReleaseTLibAttr(libAttr);

    // The identifiers must be those of the host contract.
    struct Entry {
        const wchar_t* name;
        const wchar_t* help;
        TYPEKIND kind;
        const GUID* guid;
    };
    const Entry expected[] = {
        {L"CalsFormat", L"CalsFormat Class", TKIND_COCLASS, &CLSID_CalsFormat},
        {L"ICalsFormat", L"ICalsFormat Interface", TKIND_INTERFACE, &IID_ICalsFormat},
        {L"CalsFile", L"CalsFile Class", TKIND_COCLASS, &CLSID_CalsFile},
        {L"ICalsFile", L"ICalsFile Interface", TKIND_INTERFACE, &IID_ICalsFile},
        {L"CalsPreview", L"CalsPreview Class", TKIND_COCLASS, &CLSID_CalsPreview},
        {L"ICalsPreview", L"ICalsPreview Interface", TKIND_INTERFACE, &IID_ICalsPreview},
    };
    ASSERT_EQ(lib->GetTypeInfoCount(), 6u);
    for (UINT i = 0; i < 6; ++i) {
        ASSERT_EQ(lib->GetDocumentation(static_cast<INT>(i), &name, &help, nullptr, nullptr), S_OK);
        EXPECT_STREQ(name, expected[i].name) << i;
        EXPECT_STREQ(help, expected[i].help) << i;
        SysFreeString(name);
        SysFreeString(help);
        ITypeInfo* info = nullptr;
        ASSERT_EQ(lib->GetTypeInfo(i, &info), S_OK);
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
        EXPECT_EQ(attr->typekind, expected[i].kind) << i;
        EXPECT_TRUE(IsEqualGUID(attr->guid, *expected[i].guid)) << i << L" " << GuidString(attr->guid);
        if (attr->typekind == TKIND_COCLASS) {
            EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FCANCREATE) << i;
            EXPECT_EQ(attr->cImplTypes, 1) << i;
        } else {
            EXPECT_EQ(attr->cFuncs, 0) << i; // no methods beyond IUnknown's
            EXPECT_EQ(attr->cImplTypes, 1) << i;
        }
        info->ReleaseTypeAttr(attr);
        info->Release();
    }
    lib->Release();
}

TEST_F(Registration, RegisteringTwiceGivesTheSameTree) {
    ASSERT_EQ(dll.RegisterServer(), S_OK);
    const auto first = RegisteredTree();
    ASSERT_EQ(dll.RegisterServer(), S_OK);
    EXPECT_EQ(RegisteredTree(), first);
}

TEST_F(Registration, UnregisteringRemovesWhatRegistrationWrote) {
    ASSERT_EQ(dll.RegisterServer(), S_OK);
    ASSERT_EQ(dll.UnregisterServer(), S_OK);
    for (const auto& c : kClasses) {
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, c.progId)) << c.progId;
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(c.progId) + L".1")) << c.progId;
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(*c.clsid))) << c.progId;
    }
    for (const auto& i : kInterfaces) EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, InterfaceKey(*i.iid))) << i.name;
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
    ITypeLib* lib = nullptr;
    EXPECT_TRUE(FAILED(LoadRegTypeLib(LIBID_SCANLEAFLib, 1, 0, 0x409, &lib)));
    if (lib) lib->Release();
    EXPECT_TRUE(RegisteredTree().empty());
}

TEST_F(Registration, AProgramIdentifierKeyThatOthersAddedToSurvives) {
    ASSERT_EQ(dll.RegisterServer(), S_OK);
    HKEY foreign = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"Scanleaf.CalsFile\\ShellNew", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &foreign, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(foreign);
    EXPECT_EQ(dll.UnregisterServer(), S_OK);
    EXPECT_EQ(regtest::SubkeyNames(HKEY_CLASSES_ROOT, L"Scanleaf.CalsFile"), std::vector<std::wstring>{L"ShellNew"});
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"Scanleaf.CalsFile.1"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(CLSID_CalsFile)));
    regtest::DeleteTree(HKEY_CLASSES_ROOT, L"Scanleaf.CalsFile");
}

TEST_F(Registration, UnregisteringWhatWasNeverRegistered) {
    dll.UnregisterServer(); // a clean start, whatever an earlier run left
    // The scripts find nothing and report nothing; the result is the type library's removal.
    const HRESULT expected = UnRegisterTypeLib(LIBID_SCANLEAFLib, 1, 0, 0x409, SYS_WIN32);
    EXPECT_TRUE(FAILED(expected));
    EXPECT_EQ(dll.UnregisterServer(), expected);
    EXPECT_TRUE(RegisteredTree().empty());
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
}

// The card tool's unregister of what is not registered says so, and is no failure.
TEST_F(Registration, TheCardToolUnregistersTwiceWithoutAFailure) {
    const std::wstring card = L"\"" + testsupport::ProgramFolder() + L"\\scanleaf-card.exe\" --dll \"" + dll.Path() + L"\" ";
    testsupport::TempFolder scratch;
    const std::wstring outPath = scratch.File(L"out.txt");
    auto run = [&](const wchar_t* command, std::string& out) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE file = CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = file;
        std::wstring line = card + command;
        PROCESS_INFORMATION process{};
        DWORD code = static_cast<DWORD>(-1);
        if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
            WaitForSingleObject(process.hProcess, 60000);
            GetExitCodeProcess(process.hProcess, &code);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        CloseHandle(file);
        const std::vector<unsigned char> bytes = testsupport::ReadBytes(outPath);
        out.assign(bytes.begin(), bytes.end());
        return code;
    };
    std::string out;
    ASSERT_EQ(0u, run(L"register", out)) << out;
    EXPECT_EQ(0u, run(L"unregister", out)) << out;
    EXPECT_NE(std::string::npos, out.find("unregistered ")) << out;
    EXPECT_TRUE(RegisteredTree().empty());
    EXPECT_EQ(0u, run(L"unregister", out)) << out;
    EXPECT_EQ("the plug-in is not registered; nothing to unregister\n", out);
}

TEST_F(Registration, WineRegsvr32RegistersAndUnregisters) {
    const std::wstring quoted = L"\"" + dll.Path() + L"\"";
    ASSERT_EQ(RunProgram(L"regsvr32.exe /s " + quoted), 0u);
    for (const auto& c : kClasses) EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(*c.clsid))) << c.progId;
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, InterfaceKey(IID_ICalsFile)));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kTypeLibKey));
    ASSERT_EQ(RunProgram(L"regsvr32.exe /u /s " + quoted), 0u);
    EXPECT_TRUE(RegisteredTree().empty());
}

TEST_F(Registration, AModulePathOf260CharactersOrMoreFails) {
    testsupport::TempFolder temp;
    struct Case {
        size_t length;
        HRESULT expected;
    };
    const Case cases[] = {{259, S_OK}, {260, HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)}, {300, HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)}};
    for (const auto& c : cases) {
        std::vector<std::wstring> folders;
        const std::wstring path = MakeDeepPath(temp.Path(), c.length, L"ScanleafCopy.dll", folders);
        ASSERT_EQ(path.size(), c.length);
        ASSERT_TRUE(CopyFileW(dll.Path().c_str(), path.c_str(), FALSE)) << c.length;
        {
            HMODULE copy = LoadLibraryW(path.c_str());
            ASSERT_TRUE(copy != nullptr) << c.length;
            auto registerServer = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
                reinterpret_cast<void*>(GetProcAddress(copy, "DllRegisterServer")));
            auto unregisterServer = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
                reinterpret_cast<void*>(GetProcAddress(copy, "DllUnregisterServer")));
            EXPECT_EQ(registerServer(), c.expected) << c.length;
            if (c.expected == S_OK) {
                EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, ClassKey(CLSID_CalsFile) + L"\\InprocServer32", nullptr), path);
                unregisterServer();
            } else {
                // Refused before anything was written, the proxy/stub entries included.
                EXPECT_TRUE(RegisteredTree().empty()) << c.length;
            }
            FreeLibrary(copy);
        }
        DeleteFileW(path.c_str());
        for (auto it = folders.rbegin(); it != folders.rend(); ++it) RemoveDirectoryW(it->c_str());
    }
}

} // namespace
