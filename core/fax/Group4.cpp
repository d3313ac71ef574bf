#include "core/fax/Group4.h"

#include "core/fax/Group4Codes.h"

#include <algorithm>
#include <cstring>

namespace scanleaf::core {

// Two bytes, so that the tables stay in the first-level cache.
struct G4Entry {
    std::uint16_t packed = 0; // the value above four bits of length; length 0: no code starts so
    bool Valid() const { return (packed & 15) != 0; }
    int Value() const { return packed >> 4; }
    unsigned Length() const { return packed & 15u; }
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
    const G4Entry* Entries() const { return entries_.data(); }

private:
    void Add(const G4Code* codes, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            const unsigned length = unsigned(std::strlen(codes[i].bits));
            std::uint32_t value = 0;
            for (unsigned k = 0; k < length; ++k) value = (value << 1) | std::uint32_t(codes[i].bits[k] == '1');
            const std::uint32_t first = value << (bits_ - length), last = (value + 1) << (bits_ - length);
            for (std::uint32_t index = first; index < last; ++index)
                entries_[index] = G4Entry{std::uint16_t(codes[i].value << 4 | int(length))};
        }
    }
    unsigned bits_;
    std::vector<G4Entry> entries_;
};

namespace {

const G4CodeTable& Modes() {
    static const G4CodeTable table(7, kG4ModeCodes, sizeof kG4ModeCodes / sizeof kG4ModeCodes[0]);
    return table;
}
const G4CodeTable& WhiteRuns() {
    static const G4CodeTable table(12, kG4WhiteCodes, sizeof kG4WhiteCodes / sizeof kG4WhiteCodes[0], kG4ExtendedMakeUp,
                             sizeof kG4ExtendedMakeUp / sizeof kG4ExtendedMakeUp[0]);
    return table;
}
const G4CodeTable& BlackRuns() {
    static const G4CodeTable table(13, kG4BlackCodes, sizeof kG4BlackCodes / sizeof kG4BlackCodes[0], kG4ExtendedMakeUp,
                             sizeof kG4ExtendedMakeUp / sizeof kG4ExtendedMakeUp[0]);
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
    case G4Stop::NoEndOfLine: return "no end-of-line code before the row";
    case G4Stop::PastReference: return "a code that refers past the end of the row above";
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

namespace {

// Eight bytes as one number, the first byte highest.
inline std::uint64_t BigEndian64(std::uint64_t value) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    value = __builtin_bswap64(value);
#endif
    return value;
}

// A row from its changing elements. Few changes: run by run. Many (a halftone): a flip marked
// at each change, then one pass of running parity over the row, with no branch per run.
void FillRow(std::uint8_t* row, std::size_t rowBytes, const std::uint32_t* changes, std::size_t count,
             std::uint32_t width) {
    std::memset(row, 0, rowBytes);
    if (count * 2 < rowBytes) {
        for (std::size_t i = 0; i < count; i += 2) SetBits(row, changes[i], i + 1 < count ? changes[i + 1] : width);
        return;
    }
    for (std::size_t i = 0; i < count; ++i)
        if (changes[i] < width) row[changes[i] >> 3] ^= std::uint8_t(0x80 >> (changes[i] & 7));
    std::uint64_t carry = 0;
    std::size_t b = 0;
    for (; b + 8 <= rowBytes; b += 8) {
        // Running parity from the highest bit down, then the words before carried in.
        std::uint64_t word;
        std::memcpy(&word, row + b, 8);
        word = BigEndian64(word);
        word ^= word >> 1;
        word ^= word >> 2;
        word ^= word >> 4;
        word ^= word >> 8;
        word ^= word >> 16;
        word ^= word >> 32;
        word ^= carry;
        carry = 0 - (word & 1);
        word = BigEndian64(word);
        std::memcpy(row + b, &word, 8);
    }
    for (; b < rowBytes; ++b) {
        unsigned value = row[b];
        value ^= value >> 1;
        value ^= value >> 2;
        value ^= value >> 4;
        value ^= unsigned(carry) & 0xFF;
        row[b] = std::uint8_t(value);
        carry = 0 - std::uint64_t(value & 1);
    }
    if (width & 7) row[rowBytes - 1] &= std::uint8_t(0xFF << (8 - (width & 7)));
}

} // namespace

// The stream's bits, most significant first, zeros past its end. A row is decoded with a copy
// in locals, so that the compiler keeps the bits in registers rather than in the decoder.
class G4Bits {
public:
    G4Bits(const std::uint8_t* data, std::size_t size, std::size_t bit) : data_(data), size_(size), bit_(bit) {
        next_ = bit >> 3;
        if (next_ < size_) {
            acc_ = std::uint64_t(data_[next_++]) << (56 + (bit & 7));
            count_ = 8 - unsigned(bit & 7);
        }
    }
    std::size_t Position() const { return bit_; }
    // The next `bits` bits (at most 24); zeros past the end.
    std::uint32_t Peek(unsigned bits) {
        if (count_ < bits) Refill();
        return std::uint32_t(acc_ >> (64 - bits));
    }
    // At most the bits just peeked at.
    void Take(unsigned bits) {
        acc_ <<= bits;
        count_ -= bits;
        bit_ += bits;
    }
    // Whether the bits taken, or `bits` more, reach past the end of the input.
    bool Beyond(unsigned bits = 0) const { return bit_ + bits > size_ * 8; }
    bool RestIsZero() const {
        std::size_t byte = bit_ >> 3;
        if (byte >= size_) return true;
        if (std::uint8_t(data_[byte] << (bit_ & 7)) != 0) return false;
        for (++byte; byte < size_; ++byte)
            if (data_[byte]) return false;
        return true;
    }

private:
    // Whole bytes into the accumulator behind the `count_` bits it holds. Eight at once where
    // eight remain: the bits loaded beyond the bytes counted are the stream's own, so loading
    // them again later changes nothing.
    void Refill() {
        if (next_ + 8 <= size_) {
            std::uint64_t value;
            std::memcpy(&value, data_ + next_, 8);
            acc_ |= BigEndian64(value) >> count_;
            next_ += (63 - count_) >> 3;
            count_ |= 56;
            return;
        }
        for (; count_ <= 56 && next_ < size_; count_ += 8) acc_ |= std::uint64_t(data_[next_++]) << (56 - count_);
        if (next_ >= size_) count_ = 64; // nothing but zeros beyond
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t bit_;       // bits taken
    std::size_t next_ = 0;  // the next byte to load
    std::uint64_t acc_ = 0; // the next bits, first at the top
    unsigned count_ = 0;    // how many of them are loaded
};

namespace {

// Row storage: a 0 before the first change and the width four times after the last, so that
// the reference row reads as 0 before its first change and as the width after its last
// without a test; the index is still held within them.
constexpr std::size_t kBefore = 1, kAfter = 4;

inline std::int64_t RefAt(const std::uint32_t* refs, std::int64_t count, std::int64_t i) {
    return refs[std::min(std::max(i, std::int64_t(-1)), count + std::int64_t(kAfter) - 1)];
}

} // namespace

RowCoder::RowCoder(std::uint32_t width) : width_(width) {
    if (width_ == 0 || width_ > kMaxG4Width) return;
    ref_.assign(kBefore + std::size_t(width_) + 2 + kAfter, width_);
    cur_.assign(ref_.size(), width_);
    ref_[0] = cur_[0] = 0;
    // The row before the first is white.
}

FaxRowDecoder::FaxRowDecoder(const std::uint8_t* data, std::size_t size, std::uint32_t width)
    : data_(data), size_(size), width_(width), rows_coder_(width) {
    if (width_ == 0 || width_ > kMaxG4Width) stop_ = G4Stop::BadWidth;
}

bool FaxRowDecoder::Fail(G4Stop stop) {
    stop_ = stop;
    return false;
}

bool FaxRowDecoder::EndRow(G4Stop stop, std::uint8_t* row) {
    if (stop != G4Stop::None) return Fail(stop);
    rows_coder_.Keep(row);
    ++rows_;
    return true;
}

namespace {

// A run's make-up codes and its terminating code, into `run`.
inline G4Stop ReadRun(G4Bits& in, const G4Entry* table, unsigned bits, std::uint32_t width, std::uint32_t& run) {
    run = 0;
    for (;;) {
        const G4Entry e = table[in.Peek(bits)];
        if (!e.Valid()) return in.Beyond(bits) ? G4Stop::EndOfData : G4Stop::BadCode;
        in.Take(e.Length());
        run += std::uint32_t(e.Value());
        if (run > width) return G4Stop::RunPastRow;
        if (e.Value() < 64) return G4Stop::None;
    }
}

} // namespace

// The rows' shared storage and their codes, for the Group 4 decoder and the Group 3 one.
G4Stop RowCoder::Row2D(G4Bits& in, bool blockMayEnd) {
    const G4Entry* const modes = Modes().Entries();
    const G4Entry* const whites = WhiteRuns().Entries();
    const G4Entry* const blacks = BlackRuns().Entries();
    const std::int64_t width = width_;
    const std::uint32_t* const refs = ref_.data() + kBefore;
    const std::int64_t refCount = std::int64_t(refCount_);
    std::uint32_t* first = cur_.data() + kBefore;
    std::uint32_t* out = first;            // the next change of this row
    std::uint32_t* room = cur_.data() + cur_.size() - kAfter - 2; // room for two more up to here
    // b1 is tracked as libtiff's decoder (the reference other readers use) tracks it, so that both
    // read even odd streams (runs of length 0) alike: an index into the reference row's changes
    // that moves on by one after a vertical code, back by one after a vertical-left code, by two
    // after a pass, and skips pairs left of a0 once the row has a change of its own. Past the
    // reference row's last change come its end and an imaginary change, both at the width; a code
    // that refers further is refused (libtiff reads whatever its buffer holds there).
    std::int64_t a0 = 0;
    std::int64_t j = 0;
    bool black = false;
    G4Stop stop = G4Stop::None;
    while (a0 < width) {
        const G4Entry mode = modes[in.Peek(7)];
        if (!mode.Valid()) {
            stop = in.Beyond(12) ? G4Stop::EndOfData : G4Stop::BadCode;
            if (blockMayEnd && out == first && a0 == 0) {
                // At a row's start: the end-of-block code (two end-of-line codes; a lone one at the
                // very end too), or zeros that pad the stream to its end.
                if (in.Peek(12) == kEndOfLine) {
                    in.Take(12);
                    if (in.Peek(12) == kEndOfLine) in.Take(12);
                    stop = G4Stop::EndOfBlock;
                } else if (in.RestIsZero()) {
                    stop = G4Stop::EndOfData;
                }
            }
            break;
        }
        in.Take(mode.Length());
        if (out > room) {
            const std::size_t count = std::size_t(out - first);
            cur_.resize(cur_.size() * 2);
            first = cur_.data() + kBefore;
            out = first + count;
            room = cur_.data() + cur_.size() - kAfter - 2;
        }
        // (a0 is left of the width here, and the storage ends in the width.)
        if (mode.Value() != kG4Horizontal && out != first)
            while (RefAt(refs, refCount, j) <= a0) j += 2;
        if (mode.Value() >= kG4Vertical0 - 3 && mode.Value() <= kG4Vertical0 + 3) {
            if (j > refCount + 1) {
                stop = G4Stop::PastReference;
                break;
            }
            const std::int64_t d = mode.Value() - kG4Vertical0, a1 = RefAt(refs, refCount, j) + d;
            if (a1 > width || a1 < a0) {
                stop = a1 > width ? G4Stop::RunPastRow : G4Stop::CodeBackwards;
                break;
            }
            *out++ = std::uint32_t(a1);
            a0 = a1;
            black = !black;
            j += d < 0 ? -1 : 1;
        } else if (mode.Value() == kG4Horizontal) {
            std::uint32_t run1 = 0, run2 = 0;
            stop = ReadRun(in, black ? blacks : whites, black ? 13 : 12, width_, run1);
            if (stop == G4Stop::None) stop = ReadRun(in, black ? whites : blacks, black ? 12 : 13, width_, run2);
            const std::int64_t a1 = a0 + run1, a2 = a1 + run2;
            if (stop == G4Stop::None && a2 > width) stop = G4Stop::RunPastRow;
            if (stop != G4Stop::None) break;
            // A run of length 0 (two changes at the same place) is kept: the next row's b1 and b2
            // count it, as libtiff's do.
            *out++ = std::uint32_t(a1);
            *out++ = std::uint32_t(a2);
            a0 = a2;
            if (a0 < width)
                while (RefAt(refs, refCount, j) <= a0) j += 2;
        } else if (mode.Value() == kG4Pass) {
            if (j + 1 > refCount + 1) {
                stop = G4Stop::PastReference;
                break;
            }
            const std::int64_t b2 = RefAt(refs, refCount, j + 1);
            if (b2 > width || b2 < a0) {
                stop = b2 > width ? G4Stop::RunPastRow : G4Stop::CodeBackwards;
                break;
            }
            a0 = b2;
            j += 2;
        } else {
            stop = G4Stop::Unsupported;
            break;
        }
    }
    count_ = std::size_t(out - first);
    return stop;
}

G4Stop RowCoder::Row1D(G4Bits& in) {
    const G4Entry* const whites = WhiteRuns().Entries();
    const G4Entry* const blacks = BlackRuns().Entries();
    std::uint32_t* first = cur_.data() + kBefore;
    std::uint32_t* out = first;
    std::uint32_t a0 = 0;
    bool black = false;
    // Runs of each colour in turn, white first, until the row is whole: a row of W pels has at
    // most W + 1 changes, which the storage holds.
    while (a0 < width_) {
        std::uint32_t run = 0;
        const G4Stop stop = ReadRun(in, black ? blacks : whites, black ? 13 : 12, width_, run);
        if (stop != G4Stop::None) return stop;
        if (run > width_ - a0) return G4Stop::RunPastRow;
        a0 += run;
        *out++ = a0;
        black = !black;
    }
    count_ = std::size_t(out - first);
    return G4Stop::None;
}

void RowCoder::Keep(std::uint8_t* row) {
    std::uint32_t* first = cur_.data() + kBefore;
    std::uint32_t* out = first + count_;
    // A change at the row's end is no change of a pixel.
    if (out != first && out[-1] == width_) --out;
    const std::size_t count = std::size_t(out - first);
    if (row) FillRow(row, RowBytes(), first, count, width_);
    std::fill(out, out + kAfter, width_);
    ref_.swap(cur_);
    refCount_ = count;
}

bool Group3Decoder::NextRow(std::uint8_t* row) {
    if (stop_ != G4Stop::None) return false;
    G4Stop stop = G4Stop::None;
    if (coding_ == G3Coding::ModifiedHuffman) {
        // Each row from a byte boundary.
        bit_ = (bit_ + 7) & ~std::size_t(7);
        if (bit_ >= size_ * 8) return Fail(G4Stop::EndOfData);
        G4Bits in(data_, size_, bit_);
        stop = rows_coder_.Row1D(in);
        bit_ = in.Position();
        if (in.Beyond()) stop = G4Stop::EndOfData;
    } else {
        G4Bits in(data_, size_, bit_);
        // The end-of-line code before the row: eleven zeros or more (fill bits included), then a 1.
        std::size_t zeros = 0;
        while (!in.Beyond(1) && in.Peek(1) == 0) {
            in.Take(1);
            ++zeros;
        }
        if (in.Beyond(1)) return Fail(G4Stop::EndOfData);
        // Where codes are aligned, an end-of-line code ends on a byte boundary (its fill bits
        // come before it); zeros that end elsewhere are fill bits and a row's first code.
        const bool endOfLine = zeros >= 11 && (!aligned_ || !eolOptional_ || (in.Position() + 1) % 8 == 0);
        // (libtiff then skips ahead to the next end-of-line code, and so to another row.)
        if (!endOfLine && !eolOptional_) return Fail(G4Stop::NoEndOfLine);
        if (!endOfLine) {
            // No end-of-line code: the row starts here, or at the next byte where rows are aligned.
            if (aligned_) bit_ = (bit_ + 7) & ~std::size_t(7);
            in = G4Bits(data_, size_, bit_);
        } else {
            in.Take(1);
        }
        bool oneD = coding_ == G3Coding::OneD;
        if (!oneD) {
            oneD = in.Peek(1) == 1; // the tag: 1 for a row of 1-D codes
            in.Take(1);
        }
        // A second end-of-line code straight after: the return to control, the page's end.
        if (in.Peek(12) == kEndOfLine) {
            bit_ = in.Position();
            return Fail(G4Stop::EndOfBlock);
        }
        stop = oneD ? rows_coder_.Row1D(in) : rows_coder_.Row2D(in, false);
        bit_ = in.Position();
        if (in.Beyond()) stop = G4Stop::EndOfData;
    }
    return EndRow(stop, row);
}

bool Group4Decoder::NextRow(std::uint8_t* row) {
    if (stop_ != G4Stop::None) return false;
    if (aligned_) bit_ = (bit_ + 7) & ~std::size_t(7);
    if (bit_ >= size_ * 8) return Fail(G4Stop::EndOfData);
    G4Bits in(data_, size_, bit_);
    G4Stop stop = rows_coder_.Row2D(in, true);
    bit_ = in.Position();
    // A code that reached into the zeros past the input's end ends the data, whatever followed.
    if (in.Beyond()) stop = G4Stop::EndOfData;
    return EndRow(stop, row);
}

} // namespace scanleaf::core
