// The native stand-ins held against the system's routines, on every single byte and every
// double-byte pair of the code pages 1252, 1251 and 932, on every character of the Basic
// Multilingual Plane (to bytes, and to lower case). What differs is printed and must fall in one
// of the kinds the stand-ins document; the product itself always uses the system's routines.
#include "core/native/StandIns.h"
#include "hostenv/SystemText.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

using namespace scanleaf;
using core::Text;

// Counts each kind of difference and prints its first few cases.
class Differences {
public:
    void Add(const std::string& kind, const std::string& example) {
        if (++counts_[kind] <= 10) examples_[kind] += " " + example;
    }
    int Count(const std::string& kind) const { return counts_.count(kind) ? counts_.at(kind) : 0; }
    int Total() const {
        int n = 0;
        for (const auto& k : counts_) n += k.second;
        return n;
    }
    void Print(const char* what) const {
        for (const auto& k : counts_) std::printf("%s: %s: %d (e.g.%s)\n", what, k.first.c_str(), k.second, examples_.at(k.first).c_str());
    }

private:
    std::map<std::string, int> counts_;
    std::map<std::string, std::string> examples_;
};

std::string Hex(const std::string& bytes) {
    std::string out;
    char part[4];
    for (unsigned char b : bytes) {
        std::snprintf(part, sizeof part, "%02X", b);
        out += part;
    }
    return out;
}

std::string Hex(const Text& text) {
    std::string out;
    char part[8];
    for (wchar_t c : text) {
        std::snprintf(part, sizeof part, "U+%04X", unsigned(c));
        out += part;
    }
    return out;
}

class StandIns : public testing::TestWithParam<int> {};

TEST_P(StandIns, DecodeEveryByteAndPairAsTheSystemDoes) {
    const int id = GetParam();
    const core::TableCodePage& mine = core::StandInCodePage(id);
    const WindowsCodePage system{UINT(id)};
    Differences diff;
    for (int first = 0; first < 256; ++first) {
        const bool lead = mine.IsLeadByte(static_cast<unsigned char>(first));
        EXPECT_EQ(system.IsLeadByte(static_cast<unsigned char>(first)), lead) << id << " lead byte " << first;
        for (int second = lead ? 0 : 256; second <= 256; ++second) {
            std::string bytes(1, char(first));
            if (second < 256) bytes += char(second);
            Text ours, theirs;
            ASSERT_TRUE(mine.Decode(bytes.data(), bytes.size(), ours));
            if (!system.Decode(bytes.data(), bytes.size(), theirs)) theirs = L"<refused>";
            if (ours == theirs) continue;
            // Where the published mapping has no character, each converter says so its own way.
            const bool mapped = lead ? second < 256 && ours != Text(1, 0x30FB) : ours != Text(1, wchar_t(first));
            diff.Add(!mapped ? "undefined in the mapping" : "mapped differently", Hex(bytes) + "=" + Hex(theirs));
        }
    }
    diff.Print(("decode " + std::to_string(id)).c_str());
    EXPECT_EQ(0, diff.Count("mapped differently"));
}

TEST_P(StandIns, EncodeEveryCharacterAsTheSystemDoes) {
    const int id = GetParam();
    const core::TableCodePage& mine = core::StandInCodePage(id);
    const WindowsCodePage system{UINT(id)};
    Differences diff;
    for (unsigned c = 1; c < 0x10000; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        const Text text(1, wchar_t(c));
        const std::string ours = mine.Encode(text), theirs = system.Encode(text);
        if (ours == theirs) continue;
        // Windows writes a look-alike ("best fit") where the code page has no such character.
        diff.Add(ours == "?" ? "best fit" : "encoded differently", Hex(text) + "=" + Hex(theirs));
    }
    diff.Print(("encode " + std::to_string(id)).c_str());
    EXPECT_EQ(0, diff.Count("encoded differently"));
}

INSTANTIATE_TEST_SUITE_P(CodePages, StandIns, testing::Values(1252, 1251, 932));

TEST(StandInLowerCase, EveryCharacterOfThePlane) {
    Differences diff;
    for (unsigned c = 1; c < 0x10000; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        const Text text(1, wchar_t(c));
        const Text ours = core::StandInLowerCaser().Lower(text), theirs = SystemLowerCaser().Lower(text);
        if (ours == theirs) continue;
        const bool asciiOrCp = c < 0x100;
        diff.Add(asciiOrCp ? "Latin-1" : ours == text ? "folded by the system only" : "folded by Unicode only or otherwise",
                 Hex(text) + "=" + Hex(theirs) + "/" + Hex(ours));
    }
    diff.Print("lower case");
    EXPECT_EQ(0, diff.Count("Latin-1")) << "names in the code page 1252 fold alike";
}

} // namespace
