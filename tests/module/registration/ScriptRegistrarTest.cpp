// The registry-script interpreter: parsing (pure) and its register/unregister semantics,
// carried out below a scratch key of the current user instead of the classes root.
#include "comframe/ScriptRegistrar.h"
#include "tests/module/registration/RegTree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace scanleaf::regscript;
using regtest::DumpTree;
using regtest::KeyExists;

namespace {

// Compact form of a parsed tree: "!" ForceRemove, "#" NoRemove, "@" a named value,
// "='text'" a value, "{...}" the children, ";" between siblings.
std::wstring Show(const std::vector<Node>& nodes) {
    std::wstring out;
    for (const Node& node : nodes) {
        if (!out.empty()) out += L";";
        if (node.marker == Marker::ForceRemove) out += L"!";
        if (node.marker == Marker::NoRemove) out += L"#";
        if (node.isValue) out += L"@";
        out += node.name;
        if (node.hasValue) out += L"='" + node.value + L"'";
        if (!node.children.empty()) out += L"{" + Show(node.children) + L"}";
    }
    return out;
}

struct ParseCase {
    const wchar_t* text;
    const wchar_t* tree; // null: the text must be refused
};

const Replacements kReplacements = {{L"MODULE", L"C:\\Program Files\\Scanleaf\\Scanleaf.dll"}};

TEST(ScriptParse, ValidScriptsGiveTheirTree) {
    const ParseCase cases[] = {
        {L"", L""},
        {L"HKCR { }", L""},
        {L"hkey_classes_root { A }", L"A"},
        {L"HKCR { A = s 'x' }", L"A='x'"},
        {L"HKCR\n{\n\tA = s 'x'\n\t{\n\t\tB\n\t\tval V = s 'y'\n\t}\n}", L"A='x'{B;@V='y'}"},
        {L"HKCR { NoRemove CLSID { ForceRemove {1234-5678} = s 'C' { InprocServer32 = s '%MODULE%' } } }",
         L"#CLSID{!{1234-5678}='C'{InprocServer32='C:\\Program Files\\Scanleaf\\Scanleaf.dll'}}"},
        {L"HKCR { forceremove a noremove b }", L"!a;#b"},
        {L"HKCR { 'two words' = s 'it''s' }", L"two words='it's'"},
        {L"HKCR { A = s '100%%' B = s '' }", L"A='100%';B=''"},
        {L"HKCR { A } HKCR { B }", L"A;B"},
        {L"HKCR { A = S 'x' }", L"A='x'"},
        {L"HKCR { x.%%.y = s '%module%' }", L"x.%.y='C:\\Program Files\\Scanleaf\\Scanleaf.dll'"},
    };
    for (const auto& c : cases) {
        Script script;
        ParseError error;
        ASSERT_TRUE(Parse(c.text, kReplacements, script, error)) << c.text << L": " << error.message;
        EXPECT_EQ(Show(script.keys), c.tree) << c.text;
    }
}

TEST(ScriptParse, MalformedScriptsAreRefused) {
    const wchar_t* cases[] = {
        L"HKLM { A }",                    // only the classes root
        L"A",                             // no root
        L"HKCR A",                        // no brace after the root
        L"HKCR { A",                      // unclosed
        L"HKCR { A { B }",                // unclosed inner block
        L"HKCR { A = 'x' }",              // no type
        L"HKCR { A = d '1' }",            // only strings
        L"HKCR { A = s x }",              // unquoted text
        L"HKCR { A = s 'x }",             // unterminated text
        L"HKCR { A = s '%OTHER%' }",      // unknown placeholder
        L"HKCR { A = s '%MODULE' }",      // unterminated placeholder
        L"HKCR { val V = s 'x' }",        // a named value needs a key
        L"HKCR { A { val V } }",          // a named value needs data
        L"HKCR { Delete A }",             // not in the subset
        L"HKCR { A\\B }",                 // one key per name
        L"HKCR { '' }",                   // empty name
        L"HKCR { = s 'x' }",              // no name
        L"HKCR { A } }",                  // stray brace
    };
    for (const wchar_t* text : cases) {
        Script script;
        ParseError error;
        EXPECT_FALSE(Parse(text, kReplacements, script, error)) << text << L" -> " << Show(script.keys);
        EXPECT_FALSE(error.message.empty()) << text;
    }
}

TEST(ScriptParse, DecodesUtf8AndUtf16Resources) {
    const char utf8[] = "\xEF\xBB\xBFHKCR { 'caf\xC3\xA9' }";
    EXPECT_EQ(DecodeScript(utf8, sizeof(utf8) - 1), L"HKCR { 'caf\u00e9' }");
    const wchar_t utf16[] = L"\uFEFFHKCR { A }";
    EXPECT_EQ(DecodeScript(utf16, sizeof(utf16) - sizeof(wchar_t)), L"HKCR { A }");
    EXPECT_EQ(DecodeScript("", 0), L"");
}

// Runs scripts below HKCU\Software\ScanleafScriptTest-<pid>, removed again afterwards.
class ScriptRun : public testing::Test {
protected:
    void SetUp() override {
        path_ = L"Software\\ScanleafScriptTest-" + std::to_wstring(GetCurrentProcessId());
        regtest::DeleteTree(HKEY_CURRENT_USER, path_);
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root_,
                                  nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        if (root_) RegCloseKey(root_);
        regtest::DeleteTree(HKEY_CURRENT_USER, path_);
    }

    HRESULT RunText(const wchar_t* text, Mode mode, HKEY root = nullptr) {
        Script script;
        ParseError error;
        EXPECT_TRUE(Parse(text, kReplacements, script, error)) << error.message;
        return scanleaf::regscript::Run(script, mode, root ? root : root_);
    }

    // The tree below the scratch key, paths relative to it.
    std::vector<std::wstring> Tree() {
        std::vector<std::wstring> lines;
        for (const auto& line : DumpTree(HKEY_CURRENT_USER, path_))
            if (line.size() > path_.size() + 1) lines.push_back(line.substr(path_.size() + 1));
        return lines;
    }

    void Add(const std::wstring& key, const wchar_t* name = nullptr, const wchar_t* value = nullptr) {
        HKEY k = nullptr;
        ASSERT_EQ(RegCreateKeyExW(root_, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
                  ERROR_SUCCESS);
        if (value)
            RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                           static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
        RegCloseKey(k);
    }

    bool Exists(const std::wstring& key) { return KeyExists(root_, key); }

    std::wstring path_;
    HKEY root_ = nullptr;
};

// The shape of the module's own class scripts.
const wchar_t kClassScript[] = LR"(HKCR
{
    P.1 = s 'Desc'
    {
        CLSID = s '{C}'
    }
    P = s 'Desc'
    {
        CLSID = s '{C}'
        CurVer = s 'P.1'
    }
    NoRemove CLSID
    {
        ForceRemove {C} = s 'Desc'
        {
            InprocServer32 = s '%MODULE%'
            {
                val ThreadingModel = s 'Both'
            }
        }
    }
})";

TEST_F(ScriptRun, RegisterWritesTheTree) {
    ASSERT_EQ(RunText(kClassScript, Mode::Register), S_OK);
    const std::vector<std::wstring> expected = {
        L"CLSID",
        L"CLSID\\{C}",
        L"CLSID\\{C}\\InprocServer32",
        L"CLSID\\{C}\\InprocServer32|@=C:\\Program Files\\Scanleaf\\Scanleaf.dll",
        L"CLSID\\{C}\\InprocServer32|ThreadingModel=Both",
        L"CLSID\\{C}|@=Desc",
        L"P",
        L"P.1",
        L"P.1\\CLSID",
        L"P.1\\CLSID|@={C}",
        L"P.1|@=Desc",
        L"P\\CLSID",
        L"P\\CLSID|@={C}",
        L"P\\CurVer",
        L"P\\CurVer|@=P.1",
        L"P|@=Desc",
    };
    EXPECT_EQ(Tree(), expected);
    // Registering again leaves the same tree.
    ASSERT_EQ(RunText(kClassScript, Mode::Register), S_OK);
    EXPECT_EQ(Tree(), expected);
}

TEST_F(ScriptRun, RegisterReplacesForceRemoveKeysWholeAndKeepsOthersContent) {
    Add(L"CLSID\\{C}\\Stale", L"Old", L"1");
    Add(L"CLSID\\{C}", L"Extra", L"2");
    Add(L"CLSID\\{Other}");
    Add(L"P\\Foreign", L"Kept", L"3");
    ASSERT_EQ(RunText(kClassScript, Mode::Register), S_OK);
    EXPECT_FALSE(Exists(L"CLSID\\{C}\\Stale"));
    bool found = true;
    regtest::ReadString(root_, L"CLSID\\{C}", L"Extra", &found);
    EXPECT_FALSE(found);
    EXPECT_TRUE(Exists(L"CLSID\\{Other}"));
    EXPECT_EQ(regtest::ReadString(root_, L"P\\Foreign", L"Kept"), L"3");
}

TEST_F(ScriptRun, UnregisterRemovesWhatRegisterWrote) {
    ASSERT_EQ(RunText(kClassScript, Mode::Register), S_OK);
    ASSERT_EQ(RunText(kClassScript, Mode::Unregister), S_OK);
    // The never-removed key stays, even when it is left empty.
    EXPECT_EQ(Tree(), std::vector<std::wstring>{L"CLSID"});
}

TEST_F(ScriptRun, UnregisterKeepsKeysThatOthersAddedTo) {
    ASSERT_EQ(RunText(kClassScript, Mode::Register), S_OK);
    Add(L"P\\Foreign");
    Add(L"CLSID\\{Other}");
    Add(L"P.1", L"ForeignValue", L"v"); // a value alone does not keep a key
    Add(L"CLSID\\{C}\\Foreign");        // removed whole with its class key
    ASSERT_EQ(RunText(kClassScript, Mode::Unregister), S_OK);
    const std::vector<std::wstring> expected = {
        L"CLSID", L"CLSID\\{Other}", L"P", L"P\\Foreign", L"P|@=Desc",
    };
    EXPECT_EQ(Tree(), expected);
}

TEST_F(ScriptRun, UnregisterDeletesNamedValuesOnly) {
    Add(L"K", L"Ours", L"1");
    Add(L"K", L"Theirs", L"2");
    ASSERT_EQ(RunText(L"HKCR { NoRemove K { val Ours = s '1' val Missing = s 'x' } }", Mode::Unregister), S_OK);
    const std::vector<std::wstring> expected = {L"K", L"K|Theirs=2"};
    EXPECT_EQ(Tree(), expected);
}

TEST_F(ScriptRun, UnregisteringWhatIsNotThereIsNoError) {
    EXPECT_EQ(RunText(kClassScript, Mode::Unregister), S_OK);
    EXPECT_TRUE(Tree().empty()); // nothing created on the way, not even the NoRemove key
}

TEST_F(ScriptRun, TheFirstFailingWriteStopsTheRunAndIsReturned) {
    // A key name longer than the registry allows fails its creation.
    const std::wstring tooLong(300, L'x');
    const std::wstring text = L"HKCR { A = s '1' " + tooLong + L" = s '2' C = s '3' }";
    Script script;
    ParseError error;
    ASSERT_TRUE(Parse(text, kReplacements, script, error)) << error.message;
    HRESULT hr = scanleaf::regscript::Run(script, Mode::Register, root_);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(HRESULT_FACILITY(hr), FACILITY_WIN32);
    // What came before stays; what comes after is not written.
    const std::vector<std::wstring> expected = {L"A", L"A|@=1"};
    EXPECT_EQ(Tree(), expected);
}

} // namespace
