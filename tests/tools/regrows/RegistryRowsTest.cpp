// The registration tree as installer rows: what is carried over, what is substituted, and
// what is refused rather than written wrongly by the installer.
#include "tools/regrows/RegistryRows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using regrows::Key;
using regrows::Row;
using regrows::Value;

const std::wstring kDll = L"Z:\\build\\bin\\Scanleaf.dll";
const std::vector<regrows::Substitution> kSubstitutions = {{kDll, L"[#ScanleafDll]"},
                                                           {L"Z:\\build\\bin", L"[ProgramFilesFolder]Scanleaf"}};

TEST(RegistryRows, ValuesBecomeRowsWithPathsSubstitutedAndSharedKeysMarked) {
    std::vector<Key> tree = {
        {L"CLSID\\{X}", {{L"", REG_SZ, L"CalsFormat Class"}}, 1},
        {L"CLSID\\{X}\\InprocServer32", {{L"", REG_SZ, L"z:\\BUILD\\bin\\scanleaf.DLL"}, {L"ThreadingModel", REG_SZ, L"Both"}}, 0},
        {L"Scanleaf.CalsFormat", {}, 1},
        {L"Scanleaf.CalsFormat\\CLSID", {{L"", REG_SZ, L"{X}"}}, 0},
        {L"TypeLib\\{L}\\1.0\\409\\win32", {{L"", REG_SZ, kDll}}, 0},
        {L"TypeLib\\{L}\\1.0\\HELPDIR", {{L"", REG_SZ, L"Z:\\build\\bin"}}, 0},
        {L"interface\\{I}", {{L"", REG_SZ, L"ICalsFormat"}}, 0},
    };
    std::vector<Row> rows;
    std::wstring error;
    ASSERT_TRUE(regrows::ToRows(tree, kSubstitutions, rows, error)) << error;
    const std::vector<Row> expected = {
        {L"CLSID\\{X}", L"", L"CalsFormat Class", false},
        {L"CLSID\\{X}\\InprocServer32", L"", L"[#ScanleafDll]", false},
        {L"CLSID\\{X}\\InprocServer32", L"ThreadingModel", L"Both", false},
        {L"Scanleaf.CalsFormat\\CLSID", L"", L"{X}", true},
        {L"TypeLib\\{L}\\1.0\\409\\win32", L"", L"[#ScanleafDll]", false},
        {L"TypeLib\\{L}\\1.0\\HELPDIR", L"", L"[ProgramFilesFolder]Scanleaf", false},
        {L"interface\\{I}", L"", L"ICalsFormat", false},
    };
    ASSERT_EQ(expected.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(expected[i].key, rows[i].key) << i;
        EXPECT_EQ(expected[i].name, rows[i].name) << i;
        EXPECT_EQ(expected[i].value, rows[i].value) << i;
        EXPECT_EQ(expected[i].shared, rows[i].shared) << i;
    }
}

TEST(RegistryRows, WhatARowCannotCarryIsRefusedWithItsPlace) {
    const struct {
        Key key;
        const wchar_t* expected; // part of the message
    } cases[] = {
        {{L"CLSID\\{X}", {{L"Flags", REG_DWORD, L"\x0001"}}, 0}, L"HKCR\\CLSID\\{X} value \"Flags\": type 4"},
        {{L"Empty", {}, 0}, L"HKCR\\Empty: an empty key"},
        {{L"A[B]", {{L"", REG_SZ, L"x"}}, 0}, L"HKCR\\A[B]: the key name holds '['"},
        {{L"A", {{L"N[1]", REG_SZ, L"x"}}, 0}, L"HKCR\\A value \"N[1]\": holds '['"},
        {{L"A", {{L"", REG_SZ, L"[ProgramFilesFolder]"}}, 0}, L"HKCR\\A (default value): holds '['"},
        {{L"A", {{L"", REG_SZ, L"#12"}}, 0}, L"starts with '#'"},
        {{L"A", {{L"", REG_SZ, std::wstring(L"a\0b", 3)}}, 0}, L"holds a NUL"},
        {{L"A", {{L"", REG_SZ, L"\"" + kDll + L"\" /s"}}, 0}, L"holds a path of the build machine inside other text"},
        {{L"A", {{L"", REG_SZ, L"Z:\\build\\bin\\Scanleaf.tlb"}}, 0}, L"holds a path of the build machine"},
    };
    for (const auto& c : cases) {
        std::vector<Row> rows = {{L"kept", L"", L"", false}};
        std::wstring error;
        EXPECT_FALSE(regrows::ToRows({{L"Fine", {{L"", REG_SZ, L"ok"}}, 0}, c.key}, kSubstitutions, rows, error))
            << c.expected;
        EXPECT_NE(std::wstring::npos, error.find(c.expected)) << error;
        EXPECT_EQ(1u, rows.size()) << "rows are left as they were on a refusal";
    }
}

TEST(RegistryRows, IncludeSplitsPerArchitectureAndSharedRowsAndEscapesXml) {
    const std::vector<Row> rows = {{L"CLSID\\{X}", L"", L"A & <B> \"C\"", false},
                                   {L"Prog.Id", L"", L"x", true},
                                   {L"Prog.Id\\CLSID", L"", L"{X}", true}};
    std::wstring own = regrows::WixInclude(rows, false, false);
    std::wstring shared = regrows::WixInclude(rows, true, true);
    EXPECT_NE(std::wstring::npos,
              own.find(L"<RegistryValue Root=\"HKCR\" Key=\"CLSID\\{X}\" Type=\"string\" "
                       L"Value=\"A &amp; &lt;B&gt; &quot;C&quot;\" />"));
    EXPECT_EQ(std::wstring::npos, own.find(L"Prog.Id"));
    EXPECT_EQ(std::wstring::npos, shared.find(L"CLSID\\{X}\""));
    EXPECT_NE(std::wstring::npos, shared.find(L"Key=\"Prog.Id\" Type=\"string\" Value=\"x\" KeyPath=\"yes\" />"));
    EXPECT_NE(std::wstring::npos, shared.find(L"Key=\"Prog.Id\\CLSID\" Type=\"string\" Value=\"{X}\" />"));
}

} // namespace
