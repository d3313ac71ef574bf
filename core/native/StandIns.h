// Stand-ins for the platform's text routines, for the core's native tests and fuzzers (never in
// the product): the code pages 1252, 1251 and 932 from the published mappings, and Unicode's
// simple lower-case mapping. Where Windows differs (bytes the mappings leave undefined, best-fit
// characters, a few case pairs), a test under Wine lists how.
#pragma once

#include "core/Platform.h"

namespace scanleaf::core {

class TableCodePage : public CodePage {
public:
    // 1252, 1251 or 932; any other number gives 1252.
    explicit TableCodePage(int id) : id_(id == 1251 || id == 932 ? id : 1252) {}
    int Id() const { return id_; }
    // Never refuses: an undefined single byte is taken as the character of the same number, an
    // undefined pair (or a lead byte without its trail) as U+30FB, as Windows does; a lead byte
    // before a NUL gives U+30FB and the NUL.
    bool Decode(const char* bytes, std::size_t length, Text& out) const override;
    // A character the code page lacks becomes '?' (Windows may write a look-alike instead).
    std::string Encode(const Text& text) const override;
    bool IsLeadByte(unsigned char byte) const override;

private:
    int id_;
};

class TableLowerCaser : public LowerCaser {
public:
    Text Lower(Text text) const override;
};

const TableCodePage& StandInCodePage(int id);
const TableLowerCaser& StandInLowerCaser();

} // namespace scanleaf::core
