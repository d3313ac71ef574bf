// The calls a save makes, counted, and failures after the open put in their place.
#include "navigator/CalsFile.h"
#include "navigator/SaveIo.h"

#include "hostenv/ComPtr.h"
#include "tests/support/CalsFixtures.h"

#include <gtest/gtest.h>

using namespace scanleaf;
using testsupport::MakeCalsImage;

namespace {

struct Calls {
    int opens = 0, writes = 0, closes = 0;
    DWORD access = 0, share = 0, disposition = 0;
    LONGLONG position = -1;   // where the write landed
    DWORD bytesAsked = 0;
    BOOL failWrite = FALSE;   // the write fails with ERROR_DISK_FULL
    DWORD shortWrite = 0;     // the write reports only this many bytes
    BOOL failClose = FALSE;   // the close fails with ERROR_NETNAME_DELETED
} calls;

HANDLE WINAPI CountOpen(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                        DWORD flags, HANDLE templ) {
    ++calls.opens;
    calls.access = access;
    calls.share = share;
    calls.disposition = disposition;
    return SystemSaveIo().createFile(path, access, share, sa, disposition, flags, templ);
}

BOOL WINAPI CountWrite(HANDLE h, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED ov) {
    ++calls.writes;
    calls.bytesAsked = size;
    LARGE_INTEGER zero{}, at{};
    SetFilePointerEx(h, zero, &at, FILE_CURRENT);
    calls.position = at.QuadPart;
    if (calls.failWrite) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    if (calls.shortWrite) {
        *written = calls.shortWrite;
        return TRUE;
    }
    return SystemSaveIo().writeFile(h, data, size, written, ov);
}

BOOL WINAPI CountClose(HANDLE h) {
    ++calls.closes;
    BOOL ok = SystemSaveIo().closeHandle(h);
    if (calls.failClose) {
        SetLastError(ERROR_NETNAME_DELETED);
        return FALSE;
    }
    return ok;
}

class SaveCalls : public testing::Test {
protected:
    void SetUp() override {
        calls = Calls();
        SaveIo& io = SaveFileIo();
        io.createFile = &CountOpen;
        io.writeFile = &CountWrite;
        io.closeHandle = &CountClose;
        ComObject<CCalsFile>* p = nullptr;
        ASSERT_EQ(ComObject<CCalsFile>::Create(&p), S_OK);
        holder = ComPtr<IVorFileNavigator>(p);
        file = p;
        path = temp.File(L"f.cal");
        testsupport::WriteBytes(path, original);
        ASSERT_EQ(file->OpenFile(path), S_OK);
    }
    void TearDown() override { SaveFileIo() = SystemSaveIo(); }

    HRESULT WriteSrcdocid() {
        VorVariable v{};
        v.name = SysAllocString(L"srcdocid");
        v.block = SysAllocString(L"CALS");
        v.value.vt = VT_BSTR;
        v.value.bstrVal = SysAllocString(L"ABC-1");
        HRESULT hr = file->WriteVariable(0, 0, 0, 1, &v, 0);
        SysFreeString(v.name);
        SysFreeString(v.block);
        VariantClear(&v.value);
        return hr;
    }

    const std::vector<unsigned char> original = MakeCalsImage({"srcdocid: DOC-7"}, ' ', 3000);
    testsupport::HostSettings host;
    testsupport::TempFolder temp;
    ComPtr<IVorFileNavigator> holder;
    CCalsFile* file = nullptr;
    std::wstring path;
};

TEST_F(SaveCalls, NothingToSaveOpensNothing) {
    EXPECT_EQ(file->SaveFile(), S_OK);
    EXPECT_EQ(calls.opens, 0);
}

TEST_F(SaveCalls, OneOpenOneWriteAtTheStartOneClose) {
    ASSERT_EQ(WriteSrcdocid(), S_OK);
    ASSERT_EQ(file->SaveFile(), S_OK);
    EXPECT_EQ(calls.opens, 1);
    EXPECT_EQ(calls.access, static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE));
    EXPECT_EQ(calls.share, static_cast<DWORD>(FILE_SHARE_READ));
    EXPECT_EQ(calls.disposition, static_cast<DWORD>(OPEN_EXISTING));
    EXPECT_EQ(calls.writes, 1);
    EXPECT_EQ(calls.bytesAsked, 1408u);
    EXPECT_EQ(calls.position, 0);
    EXPECT_EQ(calls.closes, 1);
    EXPECT_FALSE(file->Modified());
}

TEST_F(SaveCalls, FailuresAfterTheOpenKeepTheChangeForTheNextSave) {
    const struct {
        const char* what;
        BOOL failWrite;
        DWORD shortWrite;
        BOOL failClose;
        HRESULT expected;
    } cases[] = {
        {"the write fails", TRUE, 0, FALSE, HRESULT_FROM_WIN32(ERROR_DISK_FULL)},
        {"the write falls short", FALSE, 1000, FALSE, E_FAIL},
        {"the close fails", FALSE, 0, TRUE, HRESULT_FROM_WIN32(ERROR_NETNAME_DELETED)},
    };
    ASSERT_EQ(WriteSrcdocid(), S_OK);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        calls = Calls();
        calls.failWrite = c.failWrite;
        calls.shortWrite = c.shortWrite;
        calls.failClose = c.failClose;
        EXPECT_EQ(file->SaveFile(), c.expected);
        EXPECT_TRUE(file->Modified());
        EXPECT_EQ(calls.closes, 1); // the file is never left open
    }
    calls = Calls();
    EXPECT_EQ(file->SaveFile(), S_OK);
    EXPECT_FALSE(file->Modified());
    std::vector<unsigned char> saved = testsupport::ReadBytes(path);
    EXPECT_EQ(std::string(saved.begin(), saved.begin() + 15), "srcdocid: ABC-1");
    EXPECT_EQ(std::vector<unsigned char>(saved.begin() + 1408, saved.end()),
              std::vector<unsigned char>(original.begin() + 1408, original.end()));
}

} // namespace
