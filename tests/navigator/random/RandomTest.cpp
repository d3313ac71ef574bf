// Randomized, reproducible runs through the DLL: random settings files, random headers, random
// sequences of reads, writes, saves and reopens, each step checked against the model.
//
// SCANLEAF_SEED=n fixes the first case's seed (case i runs with seed n + i) and
// SCANLEAF_RANDOM_ITERATIONS=k the number of cases per test; a failure prints the case's seed.
#include "hostenv/ComPtr.h"
#include "tests/navigator/random/Model.h"
#include "tests/navigator/random/Soak.h"
#include "tests/support/CalsFixtures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <sstream>

using namespace scanleaf;
using model::Bytes;

namespace {

using soak::EnvNumber;

std::string CurrentTest() {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    return std::string(info->test_suite_name()) + "." + info->name();
}

using soak::Rng;

const std::vector<std::wstring> kRecordNames = {L"srcdocid", L"dstdocid", L"txtfilid", L"rtype", L"rorient",
                                                L"rpelcnt",  L"rdensty",  L"notes",    L"a",     L"x1"};
const std::vector<std::wstring> kSubNames = {L"yy", L"MM", L"dd", L"drawingno", L"Sheet", L"rev", L"a",
                                             L" b", L"\u00C9t\u00E9", L"notes", L"", L"x1"};

std::wstring RandomCase(Rng& rng, std::wstring s) {
    for (wchar_t& c : s)
        if (rng.Chance(30)) c = static_cast<wchar_t>(towupper(c));
    return s;
}

// Text of cp1252 characters (what a header byte can decode to), colons, line ends and tabs.
std::wstring RandomText(Rng& rng, int maxLength, bool beyondTheCodePage = false) {
    std::wstring s;
    int n = rng.Int(0, maxLength);
    for (int i = 0; i < n; ++i) {
        int kind = rng.Int(0, 9);
        if (kind < 5) s += static_cast<wchar_t>(rng.Int(0x20, 0x7E));
        else if (kind == 5) s += L":\r\n\t "[rng.Int(0, 4)];
        else if (kind < 8) s += static_cast<wchar_t>(rng.Int(0xA0, 0xFF));
        else if (kind == 8) s += L"\u20AC\u0160\u0152\u017D\u2122"[rng.Int(0, 4)]; // cp1252's 0x80..0x9F
        else if (beyondTheCodePage) s += L"\u4E00\u0394\u0101\U0001F600"[rng.Int(0, 3)];
        else s += static_cast<wchar_t>(rng.Int(L'a', L'z'));
    }
    return s;
}

std::string ToAnsi(const std::wstring& s) {
    int n = WideCharToMultiByte(CP_ACP, 0, s.c_str(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_ACP, 0, s.c_str(), static_cast<int>(s.size()), &out[0], n, nullptr, nullptr);
    return out;
}

// One position item, mostly inside the record's limit, sometimes one of the refused forms.
std::wstring RandomPosition(Rng& rng, int limit, bool allowBad) {
    if (allowBad && rng.Chance(15)) {
        switch (rng.Int(0, 6)) {
        case 0: return std::to_wstring(rng.Int(2, 20)) + L"-" + std::to_wstring(rng.Int(-3, 1)); // start > end
        case 1: return std::to_wstring(rng.Int(1, 9));                                            // no end
        case 2: return L"";
        case 3: return L"x-3";
        case 4: return L"1-" + std::to_wstring(limit + rng.Int(1, 5));                            // past the slot
        case 5: return L"-1--1";
        default: return L"3 -5";                                                                 // hyphen not next
        }
    }
    int start = rng.Int(-3, std::max(0, limit));
    int end = rng.Int(start, std::max(start, limit));
    if (end > limit) end = limit;
    if (start > end) start = end;
    if (start == -1 && end == -1) end = 0;
    switch (rng.Int(0, 5)) {
    case 0: return L" " + std::to_wstring(start) + L"- " + std::to_wstring(end);
    case 1: return std::to_wstring(start) + L"-" + std::to_wstring(end) + L"xyz";
    default: return std::to_wstring(start) + L"-" + std::to_wstring(end);
    }
}

// A settings file for the record names: sections of every sort, written in ini syntax.
struct RandomSettings {
    model::Settings sections;
    std::wstring ini = L"; random settings\r\n";
};

RandomSettings MakeSettings(Rng& rng) {
    RandomSettings out;
    const bool allowBad = rng.Chance(40);
    std::vector<std::wstring> names = kRecordNames;
    names.push_back(std::wstring(119, L'q')); // room for sub-fields up to 7
    for (const std::wstring& name : names) {
        if (!rng.Chance(60)) continue;
        model::Section section;
        std::wstring text = L"[" + RandomCase(rng, name) + L"]\r\n";
        if (rng.Chance(50)) {
            static const std::vector<std::wstring> readonly = {L"1", L"0", L"2", L"01", L"x", L"-1", L"1x"};
            section.readonly = rng.Pick(readonly);
            text += L"Readonly=" + *section.readonly + L"\r\n";
        }
        const int limit = 126 - static_cast<int>(name.size());
        if (rng.Chance(70)) {
            const bool huge = rng.Chance(5);
            int subs = huge ? rng.Int(300, 1500) : rng.Int(0, 5);
            for (int i = 0; i < subs; ++i) {
                std::wstring sub = huge ? L"s" + std::to_wstring(i) : rng.Pick(kSubNames);
                section.tagnames += sub + L";";
                section.tagpositions += RandomPosition(rng, limit, allowBad) + L";";
            }
            // A missing final ";" or a longer list on either side.
            if (!section.tagnames.empty() && rng.Chance(30)) section.tagnames.pop_back();
            if (!section.tagpositions.empty() && rng.Chance(30)) section.tagpositions.pop_back();
            if (rng.Chance(15)) section.tagnames += L";extra";
            if (rng.Chance(15)) section.tagpositions += L";1-2";
            // The profile functions drop blanks around a value.
            section.tagnames = model::Trim(section.tagnames);
            section.tagpositions = model::Trim(section.tagpositions);
            if (!section.tagnames.empty()) text += L"Tagnames=" + section.tagnames + L"\r\n";
            if (!section.tagpositions.empty()) text += L"Tagpositions=" + section.tagpositions + L"\r\n";
        }
        out.sections[name] = section;
        out.ini += text;
    }
    return out;
}

// One slot's bytes (at most 128; the rest of the slot is fill).
std::string RandomSlot(Rng& rng) {
    switch (rng.Int(0, 9)) {
    case 0: return "";
    case 1: { // free text: no colon, no record
        std::string text = ToAnsi(RandomText(rng, 60));
        for (char& c : text)
            if (c == ':') c = ';';
        return text;
    }
    case 2: { // any byte value
        std::string s(rng.Int(0, 128), '\0');
        for (char& c : s) c = static_cast<char>(rng.Int(0, 255));
        return s;
    }
    case 3: { // names of 126, 127 and 128 characters
        switch (rng.Int(0, 2)) {
        case 0: return std::string(126, 'L') + ":v";
        case 1: return std::string(127, 'M') + ":";
        default: return std::string(128, 'N');
        }
    }
    case 4: {
        static const std::vector<std::string> sizes = {"001728,002200", "1728", "-5,abc", ",5", " 12 , 7", "0,0"};
        return "rpelcnt: " + rng.Pick(sizes);
    }
    default: { // a record, with blanks around its parts, possibly filling the slot without a NUL
        std::string name = ToAnsi(RandomCase(rng, rng.Chance(85) ? rng.Pick(kRecordNames) : RandomText(rng, 8)));
        std::string text = std::string(rng.Int(0, 2), ' ') + name + std::string(rng.Int(0, 1), ' ') + ":" +
                           std::string(rng.Int(0, 2), ' ') + ToAnsi(RandomText(rng, 90));
        if (rng.Chance(10)) text += "\r\n";
        if (rng.Chance(15)) text.append(128, 'z');
        return text.substr(0, 128);
    }
    }
}

Bytes MakeFile(Rng& rng) {
    static const std::vector<int> fills = {' ', 0, ' ', 0, '#', 0xFF};
    const unsigned char fill = static_cast<unsigned char>(rng.Pick(fills));
    Bytes bytes(model::kHeader, fill);
    for (size_t s = 0; s < 16; ++s) {
        std::string slot = RandomSlot(rng);
        std::copy(slot.begin(), slot.end(), bytes.begin() + s * model::kSlot);
    }
    for (int i = rng.Chance(90) ? rng.Int(0, 3000) : 0; i > 0; --i) bytes.push_back(static_cast<unsigned char>(rng.Int(0, 255)));
    if (rng.Chance(4)) bytes.resize(rng.Int(0, 2047));
    return bytes;
}

// The host's records, owning what they hold.
struct Records {
    std::vector<VorVariable> items;
    ~Records() {
        for (VorVariable& r : items) {
            SysFreeString(r.name);
            SysFreeString(r.block);
            VariantClear(&r.value);
        }
    }
    VorVariable& Add(const std::wstring& name, const wchar_t* block) {
        VorVariable r{};
        r.name = SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
        r.block = block ? SysAllocString(block) : nullptr;
        VariantInit(&r.value);
        r.found = 7;
        items.push_back(r);
        return items.back();
    }
};

std::wstring TextOf(const VARIANT& v) {
    if (v.vt == VT_EMPTY) return L"<empty>";
    if (v.vt != VT_BSTR) return L"<type " + std::to_wstring(v.vt) + L">";
    return v.bstrVal ? std::wstring(v.bstrVal, SysStringLen(v.bstrVal)) : L"<null>";
}

bool IsCals(const wchar_t* block) { return block && lstrcmpiW(block, L"CALS") == 0; }

std::string Show(const std::wstring& s) {
    std::ostringstream out;
    for (wchar_t c : s) {
        if (c >= 0x20 && c < 0x7F) out << static_cast<char>(c);
        else out << "\\u" << std::hex << static_cast<unsigned>(c) << std::dec;
    }
    return out.str();
}

class RandomRuns : public testing::Test {
protected:
    void SetUp() override {
        CPINFO info{};
        ASSERT_TRUE(GetCPInfo(CP_ACP, &info));
        ASSERT_EQ(1u, info.MaxCharSize) << "the model cuts records in bytes";
        ASSERT_EQ(S_OK, dll.Create(CLSID_CalsFormat, IID_IVorFileFormat, format.PutVoid()));
        path = temp.File(L"drawing.cal");
    }

    // A new settings file; an old time lets the profile functions (and the navigator) keep it.
    void UseSettings(const RandomSettings& s, bool aged) {
        settings = s.sections;
        std::string bytes = ToAnsi(s.ini);
        testsupport::WriteBytes(host.SettingsPath(), Bytes(bytes.begin(), bytes.end()));
        if (!aged) return;
        // A second apart from the last one.
        ASSERT_TRUE(testsupport::SetFileTimes(host.SettingsPath(), testsupport::kLongAgo + 10000000ULL * ++settingsGeneration));
    }

    HRESULT Open(ComPtr<IVorFileNavigator>& navigator) {
        BSTR b = SysAllocString(path.c_str());
        HRESULT hr = format->CreateNavigator(b, 0, navigator.Put());
        SysFreeString(b);
        return hr;
    }

    // Opens the file and checks the outcome and every tag against the model.
    void Reopen(Rng& rng) {
        navigator = ComPtr<IVorFileNavigator>();
        const Bytes bytes = testsupport::ReadBytes(path);
        model::Opened expected = model::Open(bytes, settings);
        ASSERT_EQ(expected.hr, Open(navigator)) << "open";
        ++(expected.hr == S_OK ? stats.opened : expected.hr == E_FAIL ? stats.refused : stats.unreadable);
        if (FAILED(expected.hr)) {
            EXPECT_FALSE(navigator.Get());
            return;
        }
        tags = expected.tags;
        fill = expected.fill;
        modified = false;
        onDisk = bytes;
        // Every name the model knows reads as the model says, in one call.
        std::vector<std::wstring> names = {L"width", L"height", L"colordepth", L"unknown", L""};
        for (const model::Tag& t : tags) {
            names.push_back(RandomCase(rng, t.name));
            for (const model::Sub& s : t.subs) names.push_back(s.name);
        }
        CheckRead(names, false, false);
    }

    void CheckRead(const std::vector<std::wstring>& names, bool stopAtFirst, bool mixBlocks, Rng* rng = nullptr) {
        Records r;
        std::vector<const wchar_t*> blocks;
        for (const std::wstring& n : names) {
            static const wchar_t* kBlocks[] = {L"CALS", L"cals", L"Other", L"", nullptr};
            const wchar_t* block = mixBlocks && rng ? kBlocks[rng->Int(0, 4)] : L"CALS";
            blocks.push_back(block);
            VorVariable& v = r.Add(n, block);
            v.value.vt = VT_BSTR;
            v.value.bstrVal = SysAllocString(L"old");
        }
        ASSERT_EQ(S_OK, navigator->ReadVariable(0, stopAtFirst ? 1 : 0, 0, static_cast<LONG>(r.items.size()),
                                                r.items.data()));
        bool stopped = false;
        for (size_t i = 0; i < names.size(); ++i) {
            SCOPED_TRACE("read " + Show(names[i]));
            std::wstring text;
            const bool cals = IsCals(blocks[i]);
            const bool found = !stopped && cals && model::Find(tags, names[i], text);
            if (stopped || !cals) {
                EXPECT_EQ(7, r.items[i].found);
                EXPECT_EQ(L"old", TextOf(r.items[i].value));
                continue;
            }
            EXPECT_EQ(found ? 1 : 0, r.items[i].found);
            EXPECT_EQ(found ? text : L"old", TextOf(r.items[i].value));
            if (found && stopAtFirst) stopped = true;
        }
    }

    void RandomRead(Rng& rng) { CheckRead(RandomNames(rng), rng.Chance(20), rng.Chance(30), &rng); }

    std::vector<std::wstring> RandomNames(Rng& rng) {
        std::vector<std::wstring> names;
        for (int n = rng.Int(1, 6); n > 0; --n) {
            int kind = rng.Int(0, 9);
            if (kind < 5 && !tags.empty()) {
                const model::Tag& t = tags[rng.Int(0, static_cast<int>(tags.size()) - 1)];
                names.push_back(RandomCase(rng, !t.subs.empty() && rng.Chance(70)
                                                    ? t.subs[rng.Int(0, static_cast<int>(t.subs.size()) - 1)].name
                                                    : t.name));
            } else if (kind < 8) {
                names.push_back(RandomCase(rng, rng.Pick(kRecordNames)));
            } else {
                names.push_back(RandomCase(rng, rng.Pick(kSubNames)));
            }
        }
        return names;
    }

    void RandomWrite(Rng& rng) {
        const std::vector<std::wstring> names = RandomNames(rng);
        const bool stopAtFirst = rng.Chance(20);
        Records r;
        std::vector<std::wstring> texts;
        std::vector<bool> cals, convertible;
        for (const std::wstring& n : names) {
            static const wchar_t* kBlocks[] = {L"CALS", L"Cals", L"Other", nullptr};
            const wchar_t* block = rng.Chance(85) ? L"CALS" : kBlocks[rng.Int(1, 3)];
            VorVariable& v = r.Add(n, block);
            cals.push_back(IsCals(block));
            convertible.push_back(true);
            int kind = rng.Int(0, 19);
            if (kind == 0) { // a number
                v.value.vt = VT_I4;
                v.value.lVal = rng.Int(-100000, 100000);
                texts.push_back(std::to_wstring(v.value.lVal));
            } else if (kind == 1) { // nothing: empty text
                texts.push_back(L"");
            } else if (kind == 2 && rng.Chance(30)) { // no text at all
                v.value.vt = VT_NULL;
                texts.push_back(L"");
                convertible.back() = false;
            } else {
                std::wstring text = RandomText(rng, rng.Chance(10) ? 250 : 30, true);
                if (rng.Chance(5)) text += std::wstring(1, L'\0') + L"after the NUL";
                v.value.vt = VT_BSTR;
                v.value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
                texts.push_back(text.substr(0, text.find(L'\0')));
            }
        }
        const HRESULT hr = navigator->WriteVariable(0, stopAtFirst ? 1 : 0, 0, static_cast<LONG>(r.items.size()),
                                                    r.items.data(), 0);
        bool ended = false;
        bool failed = false;
        for (size_t i = 0; i < names.size(); ++i) {
            SCOPED_TRACE("write " + Show(names[i]) + " = " + Show(texts[i]));
            if (ended || !cals[i]) {
                EXPECT_EQ(7, r.items[i].found);
                continue;
            }
            if (!convertible[i]) {
                // A value that can't be text ends the call with a failure; what came before stays.
                failed = true;
                ended = true;
                continue;
            }
            const bool stored = model::Set(tags, names[i], texts[i]);
            ++(stored ? stats.stored : stats.notStored);
            EXPECT_EQ(stored ? 1 : 0, r.items[i].found);
            if (stored) {
                modified = true;
                if (stopAtFirst) ended = true;
            }
        }
        if (failed) EXPECT_TRUE(FAILED(hr)) << hr;
        else EXPECT_EQ(S_OK, hr);
    }

    void Save() {
        const HRESULT hr = navigator->SaveFile();
        ASSERT_EQ(S_OK, hr) << "save";
        const Bytes now = testsupport::ReadBytes(path);
        ASSERT_EQ(onDisk.size(), now.size()) << "a save never changes the length";
        EXPECT_TRUE(std::equal(now.begin() + model::kParsedBytes, now.end(), onDisk.begin() + model::kParsedBytes))
            << "a save writes nothing past byte 1407";
        Bytes expected = onDisk;
        ++stats.saves;
        if (modified) {
            ++stats.changedSaves;
            Bytes area = model::Build(tags, fill);
            std::copy(area.begin(), area.end(), expected.begin());
        }
        for (size_t i = 0; i < model::kParsedBytes; ++i) {
            if (now[i] == expected[i]) continue;
            ADD_FAILURE() << "byte " << i << " (slot " << i / 128 << ") is " << int(now[i]) << ", expected "
                          << int(expected[i]);
            break;
        }
        onDisk = now;
        modified = false;
    }

    void RunCase(unsigned long seed, const RandomSettings* settingsFile) {
        Rng rng(seed);
        if (settingsFile == nullptr) UseSettings(MakeSettings(rng), rng.Chance(50));
        testsupport::WriteBytes(path, MakeFile(rng));
        Reopen(rng);
        for (int step = rng.Int(3, 14); step > 0 && navigator.Get() && !HasFailure(); --step) {
            int op = rng.Int(0, 9);
            if (op < 3) RandomRead(rng);
            else if (op < 7) RandomWrite(rng);
            else if (op < 9) Save();
            else Reopen(rng);
        }
        if (navigator.Get() && !HasFailure()) {
            Save();
            Reopen(rng); // what was reported saved is what the file now holds
        }
        navigator = ComPtr<IVorFileNavigator>();
    }

    // Cases seed, seed + 1, ...; the settings file changes every few cases (or every case).
    void RunMany(unsigned long firstSeed, unsigned long defaultCases, int casesPerSettings) {
        const unsigned long base = EnvNumber("SCANLEAF_SEED", firstSeed);
        const unsigned long cases = EnvNumber("SCANLEAF_RANDOM_ITERATIONS", defaultCases);
        std::unique_ptr<RandomSettings> shared;
        const std::string test = CurrentTest();
        for (unsigned long i = 0; i < cases && !HasFailure(); ++i) {
            const unsigned long seed = base + i;
            SCOPED_TRACE("case seed " + std::to_string(seed) + " (rerun: " + soak::Replay(test.c_str(), seed) + ")");
            soak::Begin(test.c_str(), seed);
            if (casesPerSettings > 1) {
                if (i % casesPerSettings == 0) {
                    Rng rng(seed * 7919u);
                    shared = std::make_unique<RandomSettings>(MakeSettings(rng));
                    UseSettings(*shared, true);
                }
                RunCase(seed, shared.get());
            } else {
                RunCase(seed, nullptr);
            }
            soak::End(!HasFailure());
        }
    }

    void TearDown() override {
        std::printf("opened %u, refused by the settings %u, too short %u; stored %u, not stored %u; saves %u, "
                    "of them with changes %u\n",
                    stats.opened, stats.refused, stats.unreadable, stats.stored, stats.notStored, stats.saves,
                    stats.changedSaves);
    }

    struct {
        unsigned opened = 0, refused = 0, unreadable = 0, stored = 0, notStored = 0, saves = 0, changedSaves = 0;
    } stats;
    testsupport::HostSettings host;
    testsupport::TempFolder temp;
    testsupport::ScanleafDll dll;
    ComPtr<IVorFileFormat> format;
    std::wstring path;

    model::Settings settings;
    unsigned settingsGeneration = 0;
    ComPtr<IVorFileNavigator> navigator;
    std::vector<model::Tag> tags;
    unsigned char fill = 0;
    bool modified = false;
    Bytes onDisk;
};

// Settings kept for a run of cases, as a host would see them.
TEST_F(RandomRuns, SequencesUnderLastingSettings) { RunMany(1000, 600, 40); }

// A new settings file for every case, half of them just written.
TEST_F(RandomRuns, SequencesUnderChangingSettings) { RunMany(500000, 300, 1); }

// Headers alone against a fixed, valid configuration: every open, one full read, a save.
TEST_F(RandomRuns, HeadersOpenSaveAndReopen) {
    RandomSettings fixed;
    fixed.ini += L"[srcdocid]\r\nTagnames=drawingno;sheet;rev\r\nTagpositions=1-12;14-16;18-19\r\n"
                 L"[rtype]\r\nReadonly=1\r\n[notes]\r\nTagnames=a;b\r\nTagpositions=0-3;2-5\r\n";
    fixed.sections[L"srcdocid"] = {std::nullopt, L"drawingno;sheet;rev", L"1-12;14-16;18-19"};
    fixed.sections[L"rtype"] = {std::wstring(L"1"), L"", L""};
    fixed.sections[L"notes"] = {std::nullopt, L"a;b", L"0-3;2-5"};
    UseSettings(fixed, true);
    const unsigned long base = EnvNumber("SCANLEAF_SEED", 900000);
    const unsigned long cases = EnvNumber("SCANLEAF_RANDOM_ITERATIONS", 1200);
    const std::string test = CurrentTest();
    for (unsigned long i = 0; i < cases && !HasFailure(); ++i) {
        SCOPED_TRACE("case seed " + std::to_string(base + i) + " (rerun: " + soak::Replay(test.c_str(), base + i) + ")");
        soak::Begin(test.c_str(), base + i);
        Rng rng(base + i);
        testsupport::WriteBytes(path, MakeFile(rng));
        Reopen(rng);
        if (navigator.Get() && !HasFailure()) {
            RandomWrite(rng);
            Save();
            Reopen(rng);
        }
        soak::End(!HasFailure());
    }
}

} // namespace
