#include "hostenv/Registry.h"
#include "tests/support/RegistryFixtures.h"

#include <gtest/gtest.h>

#include <vector>

using scanleaf::Registry;
using hostenvtest::TestKey;

namespace {

struct RawValue {
    const char* label;
    DWORD type;
    std::vector<BYTE> bytes;
};

std::vector<BYTE> Utf16Bytes(const std::wstring& text, bool withZero) {
    const BYTE* p = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(p, p + (text.size() + (withZero ? 1 : 0)) * sizeof(wchar_t));
}

DWORD StoredSize(HKEY key, const wchar_t* name, DWORD* type = nullptr) {
    DWORD size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, name, nullptr, type, nullptr, &size));
    return size;
}

} // namespace

TEST(Registry, StartsEmptyAndCloseWithoutKeyKeepsLastError) {
    Registry r;
    EXPECT_EQ(nullptr, r.Key());
    EXPECT_EQ(0, r.lastError);
    r.lastError = 1234;
    EXPECT_TRUE(r.Close());
    EXPECT_EQ(1234, r.lastError);
}

TEST(Registry, OpenExistingAndMissingKeys) {
    TestKey test;
    Registry r;
    ASSERT_TRUE(r.Open(HKEY_CURRENT_USER, test.Path().c_str(), KEY_READ, false));
    EXPECT_NE(nullptr, r.Key());
    EXPECT_EQ(ERROR_SUCCESS, r.lastError);

    // A failed open still closes the key held before.
    EXPECT_FALSE(r.Open(HKEY_CURRENT_USER, (test.Path() + L"\\Missing").c_str(), KEY_READ, false));
    EXPECT_EQ(nullptr, r.Key());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, r.lastError);
    EXPECT_FALSE(test.HasSubKey(L"Missing"));
}

TEST(Registry, OpenWithCreateMakesNestedKeys) {
    TestKey test;
    Registry r;
    ASSERT_TRUE(r.Open(HKEY_CURRENT_USER, (test.Path() + L"\\A\\B").c_str(), KEY_READ | KEY_WRITE, true));
    EXPECT_TRUE(test.HasSubKey(L"A\\B"));
    EXPECT_TRUE(r.SetDword(L"v", 7));
}

TEST(Registry, OpenWithCreateAndNullSubkeyGivesOwnHandleToParent) {
    TestKey test;
    Registry parent;
    ASSERT_TRUE(parent.Open(HKEY_CURRENT_USER, test.Path().c_str(), KEY_READ | KEY_WRITE, false));
    ASSERT_TRUE(parent.SetDword(L"marker", 42));

    Registry again;
    ASSERT_TRUE(again.Open(parent.Key(), nullptr, KEY_READ, true));
    EXPECT_NE(parent.Key(), again.Key());
    parent.Close();
    DWORD value = 0;
    EXPECT_TRUE(again.QueryDword(L"marker", value));
    EXPECT_EQ(42u, value);
    // Nothing was created below the parent.
    EXPECT_FALSE(again.EnumSubKey(0, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, again.lastError);
}

TEST(Registry, OpenSubKeySteps) {
    TestKey test;
    test.SetRaw(L"Child\\Grandchild", L"deep", REG_DWORD, "\x05\0\0\0", 4);
    Registry r;
    ASSERT_TRUE(r.Open(HKEY_CURRENT_USER, test.Path().c_str(), KEY_READ, false));

    // A failed first step keeps the key held before.
    HKEY before = r.Key();
    EXPECT_FALSE(r.OpenSubKey(L"Nope", KEY_READ, false));
    EXPECT_EQ(before, r.Key());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, r.lastError);

    ASSERT_TRUE(r.OpenSubKey(L"Child\\Grandchild", KEY_READ, false));
    EXPECT_NE(nullptr, r.Key());
    DWORD value = 0;
    EXPECT_TRUE(r.QueryDword(L"deep", value));
    EXPECT_EQ(5u, value);
}

TEST(Registry, OpenSubKeyCreates) {
    TestKey test;
    Registry r;
    ASSERT_TRUE(r.Open(HKEY_CURRENT_USER, test.Path().c_str(), KEY_READ | KEY_WRITE, false));
    ASSERT_TRUE(r.OpenSubKey(L"New\\Leaf", KEY_READ | KEY_WRITE, true));
    EXPECT_TRUE(r.SetString(L"s", L"x"));
    EXPECT_TRUE(test.HasSubKey(L"New\\Leaf"));
}

TEST(Registry, OpenSubKeyWithoutKeyFails) {
    Registry r;
    EXPECT_FALSE(r.OpenSubKey(L"Software", KEY_READ, false));
    EXPECT_NE(0, r.lastError);
    EXPECT_EQ(nullptr, r.Key());
}

TEST(Registry, QueryDwordByTypeAndSize) {
    struct Case {
        RawValue value;
        bool ok;
        DWORD expected;
    };
    const std::vector<Case> cases = {
        {{"dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12}}, true, 0x12345678},
        {{"big endian one", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1}}, true, 1},
        {{"big endian mixed", REG_DWORD_BIG_ENDIAN, {0x12, 0x34, 0x56, 0x78}}, true, 0x12345678},
        {{"binary of 4 bytes", REG_BINARY, {1, 0, 0, 0}}, false, 0},
        {{"dword of 2 bytes", REG_DWORD, {1, 0}}, false, 0},
        {{"dword of 8 bytes", REG_DWORD, {1, 0, 0, 0, 0, 0, 0, 0}}, false, 0},
        {{"text", REG_SZ, {'1', 0, 0, 0}}, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value.label);
        TestKey test;
        test.SetRaw(L"", L"v", c.value.type, c.value.bytes.data(), static_cast<DWORD>(c.value.bytes.size()));
        Registry r;
        ASSERT_TRUE(r.Open(HKEY_CURRENT_USER, test.Path().c_str(), KEY_READ, false));
        DWORD out = 0xDEADBEEF;
        EXPECT_EQ(c.ok, r.QueryDword(L"v", out));
        EXPECT_EQ(c.ok ? c.expected : 0xDEADBEEF, out);
        // A wrong type or size is the object's own check: no Windows error.
        EXPECT_EQ(0, r.lastError);
    }
}

TEST(Registry, QueryDwordOfMissingValue) {
    TestKey test;
    Registry r;
    ASSERT_TRUE(r.Open(HKEY_CURRENT_USER, test.Path().c_str(), KEY_READ, false));
    DWORD out = 9;
    EXPECT_FALSE(r.QueryDword(L"absent", out));
    EXPECT_EQ(9u, out);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, r.lastError);
}

TEST(Registry, QueryStringByTypeAndTermination) {
    SetEnvironmentVariableW(L"SCANLEAF_TEST_DIR", L"C:\\Expanded");
    struct Case {
        RawValue value;
        bool ok;
        std::wstring expected;
    };
    std::vector<BYTE> odd = Utf16Bytes(L"Odd", false);
    odd.push_back('!'); // a half character after the text: read as one more character
    std::vector<BYTE> embedded = Utf16Bytes(std::wstring(L"ab\0cd", 5), true);
    const std::vector<Case> cases = {
        {{"terminated", REG_SZ, Utf16Bytes(L"C:\\Host", true)}, true, L"C:\\Host"},
        {{"unterminated", REG_SZ, Utf16Bytes(L"NoZero", false)}, true, L"NoZero"},
        {{"odd byte count", REG_SZ, odd}, true, L"Odd!"},
        {{"empty, 0 bytes", REG_SZ, {}}, true, L""},
        {{"empty, 2 bytes", REG_SZ, {0, 0}}, true, L""},
        {{"zero inside", REG_SZ, embedded}, true, L"ab"},
        {{"expandable", REG_EXPAND_SZ, Utf16Bytes(L"%SCANLEAF_TEST_DIR%\\Sub", true)}, true, L"C:\\Expanded\\Sub"},
        {{"expandable, unknown variable", REG_EXPAND_SZ, Utf16Bytes(L"%SCANLEAF_NO_SUCH%", true)}, true,
         L"%SCANLEAF_NO_SUCH%"},
        {{"multi", REG_MULTI_SZ, Utf16Bytes(std::wstring(L"a\0b\0", 4), true)}, false, L""},
        {{"dword", REG_DWORD, {1, 0, 0, 0}}, false, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value.label);
        TestKey test;
        test.SetRaw(L"", L"v", c.value.type, c.value.bytes.data(), static_cast<DWORD>(c.value.bytes.size()));
        Registry r;
        ASSERT_TRUE(r.Open(HKEY_CURRENT_USER, test.Path().c_str(), KEY_READ, false));
        std::wstring out = L"unchanged";
        EXPECT_EQ(c.ok, r.QueryString(L"v", out));
        EXPECT_EQ(c.ok ? c.expected : L"unchanged", out);
    }
    SetEnvironmentVariableW(L"SCANLEAF_TEST_DIR", nullptr);
}

TEST(Registry, SetStringStoresTerminatingZero) {
    TestKey test;
    Registry r;
    ASSERT_TRUE(r.Open(HKEY_CURRENT_USER, test.Path().c_str(), KEY_READ | KEY_WRITE, false));
    ASSERT_TRUE(r.SetString(L"empty", L""));
    ASSERT_TRUE(r.SetString(L"text", L"abc"));
    ASSERT_TRUE(r.SetString(L"null", nullptr));
    EXPECT_EQ(2u, StoredSize(r.Key(), L"null"));
    DWORD type = 0;
    EXPECT_EQ(2u, StoredSize(r.Key(), L"empty", &type));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(8u, StoredSize(r.Key(), L"text"));
    std::wstring out;
    EXPECT_TRUE(r.QueryString(L"text", out));
    EXPECT_EQ(L"abc", out);
}

TEST(Registry, SetDwordAndSetValue) {
    TestKey test;
    Registry r;
    ASSERT_TRUE(r.Open(HKEY_CURRENT_USER, test.Path().c_str(), KEY_READ | KEY_WRITE, false));
    ASSERT_TRUE(r.SetDword(L"n", 0xCAFEF00D));
    DWORD type = 0;
    EXPECT_EQ(4u, StoredSize(r.Key(), L"n", &type));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    DWORD n = 0;
    EXPECT_TRUE(r.QueryDword(L"n", n));
    EXPECT_EQ(0xCAFEF00Du, n);

    const BYTE blob[] = {9, 8, 7};
    ASSERT_TRUE(r.SetValue(L"blob", blob, sizeof blob, REG_BINARY));
    BYTE back[8] = {};
    DWORD size = sizeof back;
    ASSERT_TRUE(r.QueryValue(L"blob", &type, back, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
    EXPECT_EQ(3u, size);
    EXPECT_EQ(7, back[2]);

    // A buffer too small is the registry's own error.
    size = 1;
    EXPECT_FALSE(r.QueryValue(L"blob", &type, back, &size));
    EXPECT_EQ(ERROR_MORE_DATA, r.lastError);
}

TEST(Registry, WritesThroughReadOnlyKeyFail) {
    TestKey test;
    Registry r;
    ASSERT_TRUE(r.Open(HKEY_CURRENT_USER, test.Path().c_str(), KEY_READ, false));
    EXPECT_FALSE(r.SetDword(L"n", 1));
    EXPECT_EQ(ERROR_ACCESS_DENIED, r.lastError);
}

TEST(Registry, EnumSubKeyFillsWhatIsAsked) {
    TestKey test;
    test.SetRaw(L"Only", L"x", REG_DWORD, "\x01\0\0\0", 4);
    Registry r;
    ASSERT_TRUE(r.Open(HKEY_CURRENT_USER, test.Path().c_str(), KEY_READ, false));
    std::wstring name = L"old", className = L"old";
    FILETIME time = {};
    ASSERT_TRUE(r.EnumSubKey(0, &name, &className, &time));
    EXPECT_EQ(L"Only", name);
    EXPECT_EQ(L"", className);
    EXPECT_TRUE(time.dwLowDateTime != 0 || time.dwHighDateTime != 0);
    EXPECT_TRUE(r.EnumSubKey(0, nullptr, nullptr, nullptr));

    name = L"kept";
    EXPECT_FALSE(r.EnumSubKey(1, &name, nullptr, nullptr));
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, r.lastError);
    EXPECT_EQ(L"kept", name);
}

TEST(Registry, DestructorClosesKey) {
    TestKey test;
    HKEY handle = nullptr;
    {
        Registry r;
        ASSERT_TRUE(r.Open(HKEY_CURRENT_USER, test.Path().c_str(), KEY_READ, false));
        handle = r.Key();
    }
    // The handle is no longer valid once its owner is gone.
    EXPECT_NE(ERROR_SUCCESS, RegCloseKey(handle));
}
