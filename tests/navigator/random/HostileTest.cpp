// Hostile input through the DLL, with no model: random and mutated headers (any byte, records
// without a colon or in odd slots, NULs, slot-long names, every shape of rpelcnt), random
// settings files (any section, key spelling and position list), values beyond the code page.
// Whatever comes in, no call throws or crashes, every failure is a defined HRESULT, the file's
// length and every byte from 1408 on stay, and a saved record never splits a double-byte
// character. Runs under whatever ANSI code page the process has (the soak also runs 932 and 1251).
#include "hostenv/ComPtr.h"
#include "tests/navigator/random/Soak.h"
#include "tests/support/CalsFixtures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using scanleaf::ComPtr;

namespace {

using Bytes = std::vector<unsigned char>;
constexpr size_t kHeader = 2048, kSlot = 128, kSaved = 1408;

using soak::Rng;

const std::vector<std::string> kNames = {"srcdocid", "dstdocid", "txtfilid", "figid", "rtype", "rorient",
                                         "rpelcnt",  "rdensty",  "notes",    "doccls", "x",    "RPELCNT"};

// Bytes of the process's code page: ASCII, high single bytes, and (in a double-byte code page)
// lead bytes, also where a slot ends.
std::string Text(Rng& rng, int maxLength) {
    std::string s;
    for (int n = rng.Int(0, maxLength); n > 0; --n) {
        int kind = rng.Int(0, 9);
        if (kind < 6) s += char(rng.Int(0x20, 0x7E));
        else if (kind < 8) s += char(rng.Int(0x80, 0xFF));
        else if (kind == 8) s += "\x82\xA0\x88\x9F"[rng.Int(0, 3)]; // halves of kana and kanji in 932
        else s += ":\r\n\t"[rng.Int(0, 3)];
    }
    return s;
}

std::string Rpelcnt(Rng& rng) {
    static const std::vector<std::string> shapes = {
        "001728,002200", "99999999999,1", "-5,+3", " 12 , 7", "+0012,0003", "1e5,2", "0,0", ",", "4294967296,1",
        "2147483647,2147483647", "12", "", "a,b", "1,,2", "-2147483648,5"};
    return "rpelcnt:" + std::string(size_t(rng.Int(0, 2)), ' ') + rng.Pick(shapes);
}

std::string Slot(Rng& rng) {
    switch (rng.Int(0, 11)) {
    case 0: return "";
    case 1: return Text(rng, 128); // maybe no colon at all
    case 2: {
        std::string s(size_t(rng.Int(0, 128)), '\0');
        for (char& c : s) c = char(rng.Int(0, 255));
        return s;
    }
    case 3: return std::string(size_t(rng.Int(125, 128)), 'N') + (rng.Chance(50) ? ":" : "");
    case 4: return Rpelcnt(rng);
    case 5: { // NULs inside a record
        std::string s = rng.Pick(kNames) + ": " + Text(rng, 40);
        for (int i = rng.Int(1, 3); i > 0; --i) s[size_t(rng.Int(0, int(s.size()) - 1))] = '\0';
        return s;
    }
    default: {
        std::string s = std::string(size_t(rng.Int(0, 2)), ' ') + (rng.Chance(85) ? rng.Pick(kNames) : Text(rng, 10)) +
                        ":" + Text(rng, 130);
        return s.substr(0, kSlot);
    }
    }
}

Bytes Header(Rng& rng) {
    static const std::vector<int> fills = {' ', 0, 0xFF, '#', ' '};
    Bytes bytes(kHeader, (unsigned char)rng.Pick(fills));
    if (rng.Chance(15)) {
        for (unsigned char& b : bytes) b = (unsigned char)rng.Int(0, 255);
    } else {
        for (size_t slot = 0; slot < kHeader / kSlot; ++slot) {
            if (slot >= 11 && !rng.Chance(20)) continue; // records in the odd slots past the parsed ones
            std::string s = Slot(rng).substr(0, kSlot);
            std::copy(s.begin(), s.end(), bytes.begin() + slot * kSlot);
        }
        for (int flips = rng.Chance(40) ? rng.Int(1, 40) : 0; flips > 0; --flips) // mutated
            bytes[size_t(rng.Int(0, kHeader - 1))] = rng.Chance(30) ? ':' : (unsigned char)rng.Int(0, 255);
    }
    if (rng.Chance(5)) bytes[895] = (unsigned char)rng.Int(0, 255); // the fill byte itself
    for (int i = rng.Chance(90) ? rng.Int(0, 3000) : 0; i > 0; --i) bytes.push_back((unsigned char)rng.Int(0, 255));
    if (rng.Chance(3)) bytes.resize(size_t(rng.Int(0, 2047)));
    return bytes;
}

// Any section, any spelling of its keys, any position list: overlapping, reversed, outside.
std::string Settings(Rng& rng, std::vector<std::string>& subNames) {
    static const std::vector<std::string> names = {"Tagnames", "TAGNAMES", "tagnames", "TagNames", " Tagnames",
                                                   "Tagname"};
    static const std::vector<std::string> positions = {"Tagpositions", "TAGPOSITIONS", "tagPositions", "Tagposition"};
    std::string ini;
    for (int sections = rng.Int(0, 6); sections > 0; --sections) {
        ini += "[" + (rng.Chance(80) ? rng.Pick(kNames) : Text(rng, 12)) + "]\r\n";
        if (rng.Chance(40)) ini += "Readonly=" + std::string(rng.Chance(70) ? "1" : Text(rng, 3)) + "\r\n";
        if (!rng.Chance(70)) continue;
        std::string list, spans;
        for (int n = rng.Int(0, rng.Chance(5) ? 400 : 6); n > 0; --n) {
            std::string sub = rng.Chance(80) ? "f" + std::to_string(rng.Int(0, 9)) : Text(rng, 6);
            subNames.push_back(sub);
            list += sub + ";";
            int a = rng.Int(-5, 140), b = rng.Int(-5, 140);
            switch (rng.Int(0, 5)) {
            case 0: spans += std::to_string(b) + "-" + std::to_string(a) + ";"; break; // reversed
            case 1: spans += "1-99999999999;"; break;
            case 2: spans += Text(rng, 5) + ";"; break;
            default: spans += std::to_string(std::min(a, b)) + "-" + std::to_string(std::max(a, b)) + ";";
            }
        }
        ini += rng.Pick(names) + "=" + list + "\r\n" + rng.Pick(positions) + "=" + spans + "\r\n";
    }
    return ini;
}

// Text the host might send: the code page's own characters, others beyond it, long runs.
std::wstring Value(Rng& rng) {
    std::wstring s;
    for (int n = rng.Int(0, rng.Chance(10) ? 300 : 40); n > 0; --n) {
        int kind = rng.Int(0, 9);
        if (kind < 5) s += wchar_t(rng.Int(0x20, 0x7E));
        else if (kind < 7) s += wchar_t(rng.Int(0xA0, 0xFF));
        else if (kind < 9) s += L"\u3042\u4E9C\u30A2\u0416\u0101"[rng.Int(0, 4)];
        else s += L":\r\n"[rng.Int(0, 2)];
    }
    return s;
}

bool Defined(HRESULT hr) {
    static const HRESULT known[] = {S_OK,         S_FALSE,        E_FAIL,           E_OUTOFMEMORY,
                                    E_INVALIDARG, E_POINTER,      E_ACCESSDENIED,   DISP_E_TYPEMISMATCH,
                                    VOR_E_CANNOT_OPEN_FILE, VOR_E_CANNOT_READ_HEADER};
    for (HRESULT k : known)
        if (hr == k) return true;
    return HRESULT_FACILITY(hr) == FACILITY_WIN32 && FAILED(hr);
}

// The record names of a header as the process's code page reads them.
std::vector<std::wstring> RecordNames(const Bytes& bytes) {
    std::vector<std::wstring> names;
    for (size_t slot = 0; slot < 11 && (slot + 1) * kSlot <= bytes.size(); ++slot) {
        const char* start = reinterpret_cast<const char*>(&bytes[slot * kSlot]);
        std::string text(start, strnlen(start, kSlot));
        size_t colon = text.find(':');
        if (colon == std::string::npos) continue;
        int n = MultiByteToWideChar(CP_ACP, 0, text.data(), int(colon), nullptr, 0);
        std::wstring name(size_t(n), L'\0');
        MultiByteToWideChar(CP_ACP, 0, text.data(), int(colon), name.data(), n);
        names.push_back(name);
    }
    return names;
}

// A slot the save rewrote must hold whole characters of the code page: no lead byte left at its
// end, nor (where the fill byte cannot be mistaken for a trail byte) just before the fill.
bool SplitsACharacter(const unsigned char* slot, unsigned char fill) {
    const UINT cp = GetACP();
    CPINFO info{};
    if (!GetCPInfo(cp, &info) || info.MaxCharSize < 2 || IsDBCSLeadByteEx(cp, fill)) return false;
    size_t end = kSlot;
    bool fillCanTrail = false; // after some lead byte, the fill byte makes a character
    for (int lead = 0x80; lead < 0x100 && !fillCanTrail; ++lead) {
        const char pair[2] = {char(lead), char(fill)};
        fillCanTrail = IsDBCSLeadByteEx(cp, BYTE(lead)) && MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, pair, 2, nullptr, 0) == 1;
    }
    if (!IsDBCSLeadByteEx(cp, fill) && !fillCanTrail)
        while (end > 0 && (slot[end - 1] == fill || slot[end - 1] == 0)) --end;
    for (size_t i = 0; i < end; ++i) {
        if (!IsDBCSLeadByteEx(cp, slot[i])) continue;
        if (i + 1 >= end) return true;
        ++i;
    }
    return false;
}

std::string Hex(const unsigned char* slot) {
    std::string out;
    char two[4];
    for (size_t i = 0; i < kSlot; ++i) {
        std::snprintf(two, sizeof two, "%02x", slot[i]);
        out += two;
    }
    return out;
}

class HostileInput : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, dll.Create(CLSID_CalsFormat, IID_IVorFileFormat, format.PutVoid()));
        path = temp.File(L"hostile.cal");
    }

    // A time of its own in the past: read once, then kept by the profile functions and the
    // navigator alike (a file just written is read again at every call, which only slows).
    void Age(const std::wstring& file) {
        ASSERT_TRUE(testsupport::SetFileTimes(file, testsupport::kLongAgo + 10000000ULL * ++generation));
    }

    HRESULT Open(ComPtr<IVorFileNavigator>& navigator) {
        BSTR b = SysAllocString(path.c_str());
        HRESULT hr = format->CreateNavigator(b, 0, navigator.Put());
        SysFreeString(b);
        return hr;
    }

    // Every listed name reads, and is stored exactly where the list says it is writable (the
    // values read are written back, as a host that saves an unchanged card does).
    void CheckTheVariableList(IVorFileNavigator* navigator) {
        ComPtr<ICalsVariableList> list;
        ASSERT_EQ(S_OK, navigator->QueryInterface(IID_ICalsVariableList, list.PutVoid()));
        ULONG count = 0;
        CalsVariableInfo* items = nullptr;
        ASSERT_EQ(S_OK, list->GetVariables(&count, &items));
        if (count == 0) return;
        std::vector<VorVariable> records(count);
        for (ULONG i = 0; i < count; ++i) {
            records[i].name = items[i].name; // handed over, freed below
            records[i].block = SysAllocString(L"CALS");
            VariantInit(&records[i].value);
        }
        EXPECT_EQ(S_OK, navigator->ReadVariable(0, 0, 0, LONG(count), records.data()));
        for (ULONG i = 0; i < count; ++i) EXPECT_EQ(records[i].found, 1) << "listed, not read: " << i;
        EXPECT_EQ(S_OK, navigator->WriteVariable(0, 0, 0, LONG(count), records.data(), 0));
        for (ULONG i = 0; i < count; ++i) EXPECT_EQ(records[i].found, items[i].writable) << "writable? " << i;
        for (VorVariable& r : records) {
            SysFreeString(r.name);
            SysFreeString(r.block);
            VariantClear(&r.value);
        }
        CoTaskMemFree(items);
    }

    void RunCase(unsigned long seed) {
        Rng rng(seed);
        std::vector<std::wstring> names = {L"width", L"height", L"colordepth"};
        if (rng.Chance(50)) {
            std::vector<std::string> subs;
            std::string ini = Settings(rng, subs);
            testsupport::WriteBytes(host.SettingsPath(), Bytes(ini.begin(), ini.end()));
            Age(host.SettingsPath());
            for (const std::string& s : subs) names.push_back(testsupport::Widen(s));
        } else {
            host.RemoveSettings();
        }
        const Bytes original = Header(rng);
        testsupport::WriteBytes(path, original);
        for (const std::wstring& n : RecordNames(original)) names.push_back(n);

        ComPtr<IVorFileNavigator> navigator;
        HRESULT hr = Open(navigator);
        ASSERT_TRUE(Defined(hr)) << std::hex << hr;
        if (FAILED(hr)) return;

        CheckTheVariableList(navigator.Get());
        std::vector<VorVariable> records(names.size());
        for (size_t i = 0; i < names.size(); ++i) {
            records[i].name = SysAllocString(names[i].c_str());
            records[i].block = SysAllocString(L"CALS");
            VariantInit(&records[i].value);
        }
        hr = navigator->ReadVariable(0, 0, 0, LONG(records.size()), records.data());
        EXPECT_TRUE(Defined(hr)) << std::hex << hr;
        for (VorVariable& r : records) {
            VariantClear(&r.value);
            r.value.vt = VT_BSTR;
            r.value.bstrVal = rng.Chance(50) ? SysAllocString(Value(rng).c_str()) : nullptr;
            r.found = 0;
        }
        hr = navigator->WriteVariable(0, 0, 0, LONG(records.size()), records.data(), rng.Int(0, 200));
        EXPECT_TRUE(Defined(hr)) << std::hex << hr;
        hr = navigator->SaveFile();
        EXPECT_TRUE(Defined(hr)) << std::hex << hr;
        for (VorVariable& r : records) {
            SysFreeString(r.name);
            SysFreeString(r.block);
            VariantClear(&r.value);
        }
        navigator = ComPtr<IVorFileNavigator>();

        const Bytes after = testsupport::ReadBytes(path);
        ASSERT_EQ(original.size(), after.size()) << "the file's length changed";
        ASSERT_TRUE(std::equal(original.begin() + kSaved, original.end(), after.begin() + kSaved))
            << "a byte from 1408 on changed";
        for (size_t slot = 0; slot < 11; ++slot) {
            const unsigned char* now = &after[slot * kSlot];
            if (std::equal(now, now + kSlot, &original[slot * kSlot])) continue;
            EXPECT_FALSE(SplitsACharacter(now, original[895]))
                << "slot " << slot << " (fill byte " << int(original[895]) << ") ends in half a character:\n  was " << Hex(&original[slot * kSlot])
                << "\n  now " << Hex(now);
        }
        if (SUCCEEDED(hr)) { // what was saved opens again
            HRESULT again = Open(navigator);
            EXPECT_TRUE(again == S_OK || again == E_FAIL) << std::hex << again;
        }
    }

    testsupport::HostSettings host;
    testsupport::TempFolder temp;
    testsupport::ScanleafDll dll;
    ComPtr<IVorFileFormat> format;
    std::wstring path;
    unsigned long generation = 0;
};

TEST_F(HostileInput, AnyHeaderSettingsAndValuesKeepTheImageAndTheLength) {
    const unsigned long base = soak::EnvNumber("SCANLEAF_SEED", 7000000);
    const unsigned long cases = soak::EnvNumber("SCANLEAF_RANDOM_ITERATIONS", 200);
    const char* test = "HostileInput.AnyHeaderSettingsAndValuesKeepTheImageAndTheLength";
    // A soak reports every failing case; otherwise the first one ends the run.
    const bool keepGoing = std::getenv("SCANLEAF_SOAK_STATE") != nullptr;
    std::printf("ANSI code page %u\n", GetACP());
    for (unsigned long i = 0; i < cases; ++i) {
        const unsigned long seed = base + i;
        SCOPED_TRACE("case seed " + std::to_string(seed) + " (rerun: " + soak::Replay(test, seed) + ")");
        soak::Begin(test, seed);
        const testing::TestResult* result = testing::UnitTest::GetInstance()->current_test_info()->result();
        const int before = result->total_part_count();
        RunCase(seed);
        const bool passed = result->total_part_count() == before;
        soak::End(passed);
        if (!passed && !keepGoing) break;
    }
}

} // namespace
