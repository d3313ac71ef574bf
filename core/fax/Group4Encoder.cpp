#include "core/fax/Group4Encoder.h"

#include "core/fax/Group4.h"
#include "core/fax/Group4Codes.h"

#include <cstring>

namespace scanleaf::core {

namespace {

struct CodeWord {
    std::uint16_t bits = 0;
    std::uint8_t length = 0;
};

CodeWord WordOf(const char* bits) {
    CodeWord word;
    for (; *bits; ++bits, ++word.length) word.bits = std::uint16_t(word.bits << 1 | (*bits == '1'));
    return word;
}

// A colour's codes by run: terminating (0-63), then make-up by multiples of 64 (1-40).
struct RunWords {
    CodeWord terminating[64];
    CodeWord makeUp[41];

    RunWords(const G4Code* codes, std::size_t count) {
        Add(codes, count);
        Add(kG4ExtendedMakeUp, sizeof kG4ExtendedMakeUp / sizeof kG4ExtendedMakeUp[0]);
    }
    void Add(const G4Code* codes, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            if (codes[i].value < 64)
                terminating[codes[i].value] = WordOf(codes[i].bits);
            else
                makeUp[codes[i].value / 64] = WordOf(codes[i].bits);
        }
    }
};

struct Words {
    RunWords white{kG4WhiteCodes, sizeof kG4WhiteCodes / sizeof kG4WhiteCodes[0]};
    RunWords black{kG4BlackCodes, sizeof kG4BlackCodes / sizeof kG4BlackCodes[0]};
    CodeWord pass, horizontal, vertical[7]; // vertical by a1 - b1 + 3
    Words() {
        for (const G4Code& code : kG4ModeCodes) {
            if (code.value == kG4Pass) pass = WordOf(code.bits);
            if (code.value == kG4Horizontal) horizontal = WordOf(code.bits);
            if (code.value >= kG4Vertical0 - 3 && code.value <= kG4Vertical0 + 3)
                vertical[code.value - kG4Vertical0 + 3] = WordOf(code.bits);
        }
    }
};

const Words& CodeWords() {
    static const Words words;
    return words;
}

inline std::uint64_t BigEndianWord(const std::uint8_t* bytes) {
    std::uint64_t word;
    std::memcpy(&word, bytes, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    word = __builtin_bswap64(word);
#endif
    return word;
}

constexpr std::size_t kSentinels = 3;

} // namespace

std::size_t FindChanges(const std::uint8_t* row, std::uint32_t width, std::uint32_t* out) {
    const std::size_t bytes = (std::size_t(width) + 7) / 8;
    std::size_t count = 0;
    std::uint64_t before = 0; // the previous word's last pel, as the top bit
    for (std::size_t b = 0; b < bytes; b += 8) {
        std::uint64_t word;
        if (b + 8 <= bytes) {
            word = BigEndianWord(row + b);
        } else {
            std::uint8_t tail[8] = {};
            std::memcpy(tail, row + b, bytes - b);
            word = BigEndianWord(tail);
        }
        // A set bit wherever a pel differs from the one before it.
        std::uint64_t flips = word ^ (word >> 1 | before);
        before = word << 63;
        const std::uint32_t base = std::uint32_t(b * 8);
        while (flips) {
            const unsigned at = unsigned(__builtin_clzll(flips));
            const std::uint32_t position = base + at;
            if (position >= width) return count;
            out[count++] = position;
            flips &= ~(std::uint64_t(1) << 63 >> at);
        }
    }
    return count;
}

Group4Encoder::Group4Encoder(std::uint32_t width) : width_(width), valid_(width > 0 && width <= kMaxG4Width) {
    if (!valid_) return;
    ref_.assign(std::size_t(width) + kSentinels, width);
    cur_.assign(std::size_t(width) + kSentinels, width);
    out_.reserve(4096);
}

void Group4Encoder::Put(std::uint32_t code, unsigned length) {
    pending_ = pending_ << length | code;
    pendingBits_ += length;
    while (pendingBits_ >= 8) {
        pendingBits_ -= 8;
        out_.push_back(std::uint8_t(pending_ >> pendingBits_));
    }
}

// As libtiff does: the largest make-up code (2560) while 2624 or more remain, then one make-up
// code if 64 or more remain, then the terminating code.
void Group4Encoder::PutRun(std::uint32_t run, bool black) {
    const RunWords& words = black ? CodeWords().black : CodeWords().white;
    for (; run >= 2624; run -= 2560) Put(words.makeUp[40].bits, words.makeUp[40].length);
    if (run >= 64) {
        const CodeWord& word = words.makeUp[run >> 6];
        Put(word.bits, word.length);
        run &= 63;
    }
    Put(words.terminating[run].bits, words.terminating[run].length);
}

void Group4Encoder::AddRow(const std::uint8_t* row) {
    if (!valid_ || finished_) return;
    const Words& words = CodeWords();
    const std::size_t count = FindChanges(row, width_, cur_.data());
    for (std::size_t s = 0; s < kSentinels; ++s) cur_[count + s] = width_;
    const std::uint32_t* const a = cur_.data();
    const std::uint32_t* const b = ref_.data();
    // a0 is -1 before the row's first pel; i indexes a1 (the first change right of a0), j the
    // first reference change right of a0. b1 is the first one of the colour a1 changes to, so its
    // index has the parity of a1's.
    std::int64_t a0 = -1;
    std::size_t i = 0, j = 0;
    for (;;) {
        while (std::int64_t(b[j]) <= a0) ++j;
        const std::size_t k = j + ((j ^ i) & 1);
        const std::uint32_t a1 = a[i], b1 = b[k], b2 = b[k + 1];
        if (b2 < a1) {
            Put(words.pass.bits, words.pass.length);
            a0 = b2;
        } else if (std::int64_t(b1) - a1 >= -3 && std::int64_t(b1) - a1 <= 3) {
            const CodeWord& word = words.vertical[std::int64_t(a1) - b1 + 3];
            Put(word.bits, word.length);
            a0 = a1;
            ++i;
        } else {
            const std::uint32_t a2 = a[i + 1], start = a0 < 0 ? 0 : std::uint32_t(a0);
            const bool black = i & 1;
            Put(words.horizontal.bits, words.horizontal.length);
            PutRun(a1 - start, black);
            PutRun(a2 - a1, !black);
            a0 = a2;
            i += 2;
        }
        if (a0 >= std::int64_t(width_)) break;
    }
    cur_.swap(ref_);
    ++rows_;
}

void Group4Encoder::Finish() {
    if (!valid_ || finished_) return;
    Put(1, 12);
    Put(1, 12);
    if (pendingBits_) Put(0, 8 - pendingBits_);
    finished_ = true;
}

std::vector<std::uint8_t> EncodeGroup4(const std::uint8_t* rows, std::size_t stride, std::uint32_t width,
                                       std::uint32_t height) {
    Group4Encoder encoder(width);
    for (std::uint32_t r = 0; r < height; ++r) encoder.AddRow(rows + std::size_t(r) * stride);
    encoder.Finish();
    return std::move(encoder.Bytes());
}

} // namespace scanleaf::core
