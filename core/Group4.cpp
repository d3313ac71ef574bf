#include "core/Group4.h"

#include <cstring>

namespace scanleaf::core {

// A code as its bits, and what it stands for.
struct G4Code {
    const char* bits;
    int value;
};

struct G4Entry {
    std::int16_t value = -1; // -1: no code starts with these bits
    std::uint8_t length = 0;
};

// Every code's bits as an index of `bits` bits, with what the code stands for.
class G4CodeTable {
public:
    G4CodeTable(unsigned bits, const G4Code* codes, std::size_t count, const G4Code* more = nullptr, std::size_t moreCount = 0)
        : bits_(bits), entries_(std::size_t(1) << bits) {
        Add(codes, count);
        Add(more, moreCount);
    }
    unsigned Bits() const { return bits_; }
    const G4Entry& operator[](std::uint32_t index) const { return entries_[index]; }

private:
    void Add(const G4Code* codes, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            const unsigned length = unsigned(std::strlen(codes[i].bits));
            std::uint32_t value = 0;
            for (unsigned k = 0; k < length; ++k) value = (value << 1) | std::uint32_t(codes[i].bits[k] == '1');
            const std::uint32_t first = value << (bits_ - length), last = (value + 1) << (bits_ - length);
            for (std::uint32_t index = first; index < last; ++index)
                entries_[index] = G4Entry{std::int16_t(codes[i].value), std::uint8_t(length)};
        }
    }
    unsigned bits_;
    std::vector<G4Entry> entries_;
};


namespace {


// Modes: pass, horizontal, vertical -3..3 (as 2..8), extension.
constexpr int kPass = 0, kHorizontal = 1, kVertical0 = 5, kExtension = 9;
const G4Code kModeCodes[] = {{"0001", kPass}, {"001", kHorizontal}, {"1", 5},       {"011", 6},
                           {"000011", 7},   {"0000011", 8},       {"010", 4},     {"000010", 3},
                           {"0000010", 2},  {"0000001", kExtension}};

// Run lengths, terminating (0-63) and make-up (64-1728); the extended make-up codes
// (1792-2560) serve both colours.
const G4Code kWhiteCodes[] = {
    {"00110101", 0},   {"000111", 1},     {"0111", 2},       {"1000", 3},       {"1011", 4},       {"1100", 5},
    {"1110", 6},       {"1111", 7},       {"10011", 8},      {"10100", 9},      {"00111", 10},     {"01000", 11},
    {"001000", 12},    {"000011", 13},    {"110100", 14},    {"110101", 15},    {"101010", 16},    {"101011", 17},
    {"0100111", 18},   {"0001100", 19},   {"0001000", 20},   {"0010111", 21},   {"0000011", 22},   {"0000100", 23},
    {"0101000", 24},   {"0101011", 25},   {"0010011", 26},   {"0100100", 27},   {"0011000", 28},   {"00000010", 29},
    {"00000011", 30},  {"00011010", 31},  {"00011011", 32},  {"00010010", 33},  {"00010011", 34},  {"00010100", 35},
    {"00010101", 36},  {"00010110", 37},  {"00010111", 38},  {"00101000", 39},  {"00101001", 40},  {"00101010", 41},
    {"00101011", 42},  {"00101100", 43},  {"00101101", 44},  {"00000100", 45},  {"00000101", 46},  {"00001010", 47},
    {"00001011", 48},  {"01010010", 49},  {"01010011", 50},  {"01010100", 51},  {"01010101", 52},  {"00100100", 53},
    {"00100101", 54},  {"01011000", 55},  {"01011001", 56},  {"01011010", 57},  {"01011011", 58},  {"01001010", 59},
    {"01001011", 60},  {"00110010", 61},  {"00110011", 62},  {"00110100", 63},  {"11011", 64},     {"10010", 128},
    {"010111", 192},   {"0110111", 256},  {"00110110", 320}, {"00110111", 384}, {"01100100", 448}, {"01100101", 512},
    {"01101000", 576}, {"01100111", 640}, {"011001100", 704}, {"011001101", 768}, {"011010010", 832},
    {"011010011", 896}, {"011010100", 960}, {"011010101", 1024}, {"011010110", 1088}, {"011010111", 1152},
    {"011011000", 1216}, {"011011001", 1280}, {"011011010", 1344}, {"011011011", 1408}, {"010011000", 1472},
    {"010011001", 1536}, {"010011010", 1600}, {"011000", 1664}, {"010011011", 1728},
};
const G4Code kBlackCodes[] = {
    {"0000110111", 0},     {"010", 1},            {"11", 2},             {"10", 3},             {"011", 4},
    {"0011", 5},           {"0010", 6},           {"00011", 7},          {"000101", 8},         {"000100", 9},
    {"0000100", 10},       {"0000101", 11},       {"0000111", 12},       {"00000100", 13},      {"00000111", 14},
    {"000011000", 15},     {"0000010111", 16},    {"0000011000", 17},    {"0000001000", 18},    {"00001100111", 19},
    {"00001101000", 20},   {"00001101100", 21},   {"00000110111", 22},   {"00000101000", 23},   {"00000010111", 24},
    {"00000011000", 25},   {"000011001010", 26},  {"000011001011", 27},  {"000011001100", 28},  {"000011001101", 29},
    {"000001101000", 30},  {"000001101001", 31},  {"000001101010", 32},  {"000001101011", 33},  {"000011010010", 34},
    {"000011010011", 35},  {"000011010100", 36},  {"000011010101", 37},  {"000011010110", 38},  {"000011010111", 39},
    {"000001101100", 40},  {"000001101101", 41},  {"000011011010", 42},  {"000011011011", 43},  {"000001010100", 44},
    {"000001010101", 45},  {"000001010110", 46},  {"000001010111", 47},  {"000001100100", 48},  {"000001100101", 49},
    {"000001010010", 50},  {"000001010011", 51},  {"000000100100", 52},  {"000000110111", 53},  {"000000111000", 54},
    {"000000100111", 55},  {"000000101000", 56},  {"000001011000", 57},  {"000001011001", 58},  {"000000101011", 59},
    {"000000101100", 60},  {"000001011010", 61},  {"000001100110", 62},  {"000001100111", 63},  {"0000001111", 64},
    {"000011001000", 128}, {"000011001001", 192}, {"000001011011", 256}, {"000000110011", 320}, {"000000110100", 384},
    {"000000110101", 448}, {"0000001101100", 512}, {"0000001101101", 576}, {"0000001001010", 640},
    {"0000001001011", 704}, {"0000001001100", 768}, {"0000001001101", 832}, {"0000001110010", 896},
    {"0000001110011", 960}, {"0000001110100", 1024}, {"0000001110101", 1088}, {"0000001110110", 1152},
    {"0000001110111", 1216}, {"0000001010010", 1280}, {"0000001010011", 1344}, {"0000001010100", 1408},
    {"0000001010101", 1472}, {"0000001011010", 1536}, {"0000001011011", 1600}, {"0000001100100", 1664},
    {"0000001100101", 1728},
};
const G4Code kExtendedMakeUp[] = {
    {"00000001000", 1792}, {"00000001100", 1856}, {"00000001101", 1920}, {"000000010010", 1984},
    {"000000010011", 2048}, {"000000010100", 2112}, {"000000010101", 2176}, {"000000010110", 2240},
    {"000000010111", 2304}, {"000000011100", 2368}, {"000000011101", 2432}, {"000000011110", 2496},
    {"000000011111", 2560},
};

const G4CodeTable& Modes() {
    static const G4CodeTable table(7, kModeCodes, sizeof kModeCodes / sizeof kModeCodes[0]);
    return table;
}
const G4CodeTable& WhiteRuns() {
    static const G4CodeTable table(12, kWhiteCodes, sizeof kWhiteCodes / sizeof kWhiteCodes[0], kExtendedMakeUp,
                             sizeof kExtendedMakeUp / sizeof kExtendedMakeUp[0]);
    return table;
}
const G4CodeTable& BlackRuns() {
    static const G4CodeTable table(13, kBlackCodes, sizeof kBlackCodes / sizeof kBlackCodes[0], kExtendedMakeUp,
                             sizeof kExtendedMakeUp / sizeof kExtendedMakeUp[0]);
    return table;
}

constexpr std::uint32_t kEndOfLine = 1; // 000000000001, 12 bits

} // namespace

const char* G4StopText(G4Stop stop) {
    switch (stop) {
    case G4Stop::None: return "none";
    case G4Stop::EndOfBlock: return "end of block";
    case G4Stop::EndOfData: return "the data ends";
    case G4Stop::BadCode: return "an invalid code";
    case G4Stop::RunPastRow: return "a run past the row's end";
    case G4Stop::CodeBackwards: return "a code that moves backwards";
    case G4Stop::Unsupported: return "an extension code (uncompressed mode)";
    case G4Stop::BadWidth: return "no usable row width";
    }
    return "?";
}

void SetBits(std::uint8_t* row, std::uint32_t from, std::uint32_t to) {
    if (from >= to) return;
    std::uint32_t first = from >> 3, last = (to - 1) >> 3;
    const std::uint8_t head = std::uint8_t(0xFF >> (from & 7));
    const std::uint8_t tail = std::uint8_t(0xFF << (7 - ((to - 1) & 7)));
    if (first == last) {
        row[first] |= head & tail;
        return;
    }
    row[first] |= head;
    if (last > first + 1) std::memset(row + first + 1, 0xFF, last - first - 1);
    row[last] |= tail;
}

Group4Decoder::Group4Decoder(const std::uint8_t* data, std::size_t size, std::uint32_t width)
    : data_(data), size_(size), width_(width), modes_(&Modes()), white_(&WhiteRuns()), black_(&BlackRuns()) {
    if (width_ == 0 || width_ > kMaxG4Width) {
        stop_ = G4Stop::BadWidth;
        return;
    }
    ref_.reserve(std::size_t(width_) + 1);
    cur_.reserve(std::size_t(width_) + 1);
    // The row before the first is white.
}

// The next `bits` bits (at most 24), zeros past the end of the input: eight bytes at once where
// eight remain, byte by byte near the end.
std::uint32_t Group4Decoder::Peek(unsigned bits) const {
    const std::size_t byte = bit_ >> 3;
    std::uint64_t value = 0;
    if (byte + 8 <= size_) {
        std::memcpy(&value, data_ + byte, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        value = __builtin_bswap64(value);
#endif
    } else {
        for (unsigned k = 0; k < 8; ++k) value = (value << 8) | (byte + k < size_ ? data_[byte + k] : 0u);
    }
    return std::uint32_t((value << (bit_ & 7)) >> (64 - bits));
}

// False when the bits taken reach past the end of the input.
bool Group4Decoder::Take(unsigned bits) {
    bit_ += bits;
    return bit_ <= size_ * 8;
}

bool Group4Decoder::RestIsZero() const {
    if (Peek(8 - unsigned(bit_ & 7)) != 0) return false;
    for (std::size_t byte = (bit_ >> 3) + 1; byte < size_; ++byte)
        if (data_[byte]) return false;
    return true;
}

bool Group4Decoder::Fail(G4Stop stop) {
    stop_ = stop;
    return false;
}

bool Group4Decoder::ReadRun(bool black, std::uint32_t& run) {
    const G4CodeTable& table = black ? *black_ : *white_;
    run = 0;
    for (;;) {
        const G4Entry& e = table[Peek(table.Bits())];
        if (e.value < 0) return Fail(bit_ + table.Bits() > size_ * 8 ? G4Stop::EndOfData : G4Stop::BadCode);
        if (!Take(e.length)) return Fail(G4Stop::EndOfData);
        run += std::uint32_t(e.value);
        if (run > width_) return Fail(G4Stop::RunPastRow);
        if (e.value < 64) return true;
    }
}

// Appends a changing element. A run of length 0 (two at the same place) is kept: the next row's
// b1 and b2 count it, as libtiff's decoder (the reference that other readers use) does.
void Group4Decoder::AddChange(std::uint32_t at) { cur_.push_back(at); }

bool Group4Decoder::NextRow(std::uint8_t* row) {
    if (stop_ != G4Stop::None) return false;
    if (bit_ >= size_ * 8) return Fail(G4Stop::EndOfData);
    const std::int64_t width = width_;
    cur_.clear();
    // b1 is tracked as libtiff's decoder (the reference other readers use) tracks it, so that both
    // read even odd streams (runs of length 0) alike: an index into the reference row's changes
    // that moves on by one after a vertical code, back by one after a vertical-left code, by two
    // after a pass, and skips pairs left of a0 once the row has a change of its own.
    auto ref = [this](std::int64_t i) -> std::int64_t {
        return i < 0 ? 0 : std::size_t(i) < ref_.size() ? std::int64_t(ref_[std::size_t(i)]) : std::int64_t(width_);
    };
    std::int64_t a0 = 0;
    std::int64_t j = 0;
    bool black = false;
    auto checkB1 = [&] {
        if (!cur_.empty())
            while (ref(j) <= a0 && ref(j) < width) j += 2;
    };
    while (a0 < width) {
        const G4Entry& mode = (*modes_)[Peek(7)];
        if (mode.value < 0) {
            if (cur_.empty() && a0 == 0) {
                // At a row's start: the end-of-block code (two end-of-line codes; a lone one at the
                // very end too), or zeros that pad the stream to its end.
                if (Peek(12) == kEndOfLine) {
                    Take(12);
                    if (Peek(12) == kEndOfLine) Take(12);
                    return Fail(G4Stop::EndOfBlock);
                }
                if (RestIsZero()) return Fail(G4Stop::EndOfData);
            }
            return Fail(bit_ + 12 > size_ * 8 ? G4Stop::EndOfData : G4Stop::BadCode);
        }
        if (!Take(mode.length)) return Fail(G4Stop::EndOfData);
        if (mode.value == kPass) {
            checkB1();
            const std::int64_t b2 = ref(j + 1);
            if (b2 > width) return Fail(G4Stop::RunPastRow);
            if (b2 < a0) return Fail(G4Stop::CodeBackwards);
            a0 = b2;
            j += 2;
        } else if (mode.value == kHorizontal) {
            std::uint32_t first = 0, second = 0;
            if (!ReadRun(black, first) || !ReadRun(!black, second)) return false;
            const std::int64_t a1 = a0 + first, a2 = a1 + second;
            if (a2 > width) return Fail(G4Stop::RunPastRow);
            AddChange(std::uint32_t(a1));
            AddChange(std::uint32_t(a2));
            a0 = a2;
            checkB1();
        } else if (mode.value == kExtension) {
            return Fail(G4Stop::Unsupported);
        } else {
            checkB1();
            const std::int64_t d = mode.value - kVertical0, a1 = ref(j) + d;
            if (a1 > width) return Fail(G4Stop::RunPastRow);
            if (a1 < a0) return Fail(G4Stop::CodeBackwards);
            AddChange(std::uint32_t(a1));
            a0 = a1;
            black = !black;
            j += d < 0 ? -1 : 1;
        }
    }
    // A change at the row's end is no change of a pixel.
    if (!cur_.empty() && cur_.back() == width_) cur_.pop_back();
    if (row) {
        std::memset(row, 0, RowBytes());
        for (std::size_t i = 0; i < cur_.size(); i += 2)
            SetBits(row, cur_[i], i + 1 < cur_.size() ? cur_[i + 1] : width_);
    }
    ref_.swap(cur_);
    ++rows_;
    return true;
}

} // namespace scanleaf::core
