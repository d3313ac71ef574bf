#include "core/pdf/PdfFilters.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace scanleaf::core {

namespace {

constexpr std::size_t kPiece = 65536;

bool Named(const std::string& name, const char* full, const char* shortName) { return name == full || name == shortName; }

std::int64_t IntParm(const PdfObject& parms, const char* key, std::int64_t otherwise) {
    const PdfObject* v = parms.Find(key);
    return v ? PdfInt(*v, otherwise) : otherwise;
}

using State = PdfFilterChain::State;

class Raw : public PdfByteSource {
public:
    Raw(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::size_t Read(std::uint8_t* out, std::size_t n) override {
        n = std::min(n, size_ - at_);
        std::memcpy(out, data_ + at_, n);
        at_ += n;
        return n;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_, at_ = 0;
};

// A filter that decodes a piece at a time into a buffer of its own, which Read hands out. Every
// byte it makes is spent from the document's budget.
class Stage : public PdfByteSource {
public:
    Stage(PdfByteSource& in, State& state) : state_(state), in_(in) {}

    std::size_t Read(std::uint8_t* out, std::size_t n) final {
        std::size_t got = 0;
        while (got < n) {
            if (at_ == pending_.size()) {
                pending_.clear();
                at_ = 0;
                if (ended_ || !state_.problem.empty()) break;
                ended_ = !Fill(pending_);
                if (!state_.problem.empty()) pending_.clear(); // nothing past a fault
                if (state_.budget && !state_.budget->Spend(pending_.size())) {
                    state_.problem = "the document decodes to more than " + std::to_string(state_.budget->Limit()) + " bytes in all";
                    pending_.clear();
                }
                continue;
            }
            const std::size_t take = std::min(n - got, pending_.size() - at_);
            std::memcpy(out + got, pending_.data() + at_, take);
            got += take;
            at_ += take;
        }
        return got;
    }

protected:
    // Appends the next piece to `out`; false when the data has ended (what it appended stands).
    virtual bool Fill(std::string& out) = 0;
    // The next piece of input; empty at its end.
    std::size_t Input(std::uint8_t* buffer, std::size_t n) { return in_.Read(buffer, n); }
    bool Fail(std::string why) {
        state_.problem = std::move(why);
        return false;
    }
    State& state_;

private:
    PdfByteSource& in_;
    std::string pending_;
    std::size_t at_ = 0;
    bool ended_ = false;
};

class Flate : public Stage {
public:
    Flate(PdfByteSource& in, State& state) : Stage(in, state) {
        std::memset(&z_, 0, sizeof z_);
        started_ = inflateInit(&z_) == Z_OK;
    }
    ~Flate() override {
        if (started_) inflateEnd(&z_);
    }

protected:
    bool Fill(std::string& out) override {
        if (!started_) return Fail("zlib cannot start");
        if (z_.avail_in == 0 && !inputEnded_) {
            const std::size_t got = Input(input_, sizeof input_);
            inputEnded_ = got == 0;
            z_.next_in = input_;
            z_.avail_in = uInt(got);
        }
        out.resize(kPiece);
        z_.next_out = reinterpret_cast<Bytef*>(out.data());
        z_.avail_out = uInt(kPiece);
        const int status = inflate(&z_, Z_NO_FLUSH);
        out.resize(kPiece - z_.avail_out);
        if (status == Z_STREAM_END) return false;
        if (status == Z_OK) return true;
        // Data cut short: what came out stands.
        if (status == Z_BUF_ERROR) return !(z_.avail_in == 0 && inputEnded_) || !out.empty();
        const std::string message = z_.msg ? z_.msg : "error " + std::to_string(status);
        if (status == Z_DATA_ERROR && message == "incorrect data check") {
            // Every byte came out whole; only the checksum of them is wrong, as readers forgive.
            state_.note = "its FlateDecode data ends with a wrong checksum, which is forgiven";
            return false;
        }
        return Fail("its FlateDecode data is damaged (zlib: " + message + ")");
    }

private:
    z_stream z_;
    bool started_ = false, inputEnded_ = false;
    std::uint8_t input_[kPiece];
};

class Lzw : public Stage {
public:
    Lzw(PdfByteSource& in, State& state, bool early) : Stage(in, state), early_(early) { Reset(); }

protected:
    bool Fill(std::string& out) override {
        while (out.size() < kPiece) {
            while (count_ < width_) {
                if (inAt_ == inSize_) {
                    inSize_ = Input(input_, sizeof input_);
                    inAt_ = 0;
                    if (inSize_ == 0) return false;
                }
                bits_ = (bits_ << 8) | input_[inAt_++];
                count_ += 8;
            }
            const std::uint32_t code = (bits_ >> (count_ - width_)) & ((1u << width_) - 1);
            count_ -= width_;
            if (code == 256) {
                Reset();
                continue;
            }
            if (code == 257) return false;
            if (code > size_ || (code == size_ && previous_ < 0))
                return Fail("its LZWDecode data holds a code " + std::to_string(code) + " that is not in its table");
            if (previous_ >= 0 && size_ < 4096) {
                // The previous string and the first byte of this one (of itself, where it is the new entry).
                prefix_[size_] = std::uint16_t(previous_);
                first_[size_] = first_[previous_];
                suffix_[size_] = code == size_ ? first_[previous_] : first_[code];
                length_[size_] = std::uint16_t(length_[previous_] + 1);
                ++size_;
            }
            const std::size_t start = out.size();
            out.resize(start + length_[code]);
            for (std::uint32_t c = code, i = length_[code]; i-- > 0; c = prefix_[c]) out[start + i] = char(suffix_[c]);
            previous_ = std::int32_t(code);
            const std::size_t next = size_ + (early_ ? 1 : 0);
            width_ = next >= 2048 ? 12 : next >= 1024 ? 11 : next >= 512 ? 10 : 9;
        }
        return true;
    }

private:
    void Reset() {
        for (std::uint32_t i = 0; i < 256; ++i) {
            prefix_[i] = 0;
            suffix_[i] = first_[i] = std::uint8_t(i);
            length_[i] = 1;
        }
        size_ = 258; // 256: clear, 257: end
        width_ = 9;
        previous_ = -1;
    }

    bool early_;
    std::uint16_t prefix_[4096];
    std::uint8_t suffix_[4096], first_[4096];
    std::uint16_t length_[4096];
    std::uint32_t size_ = 258;
    int width_ = 9;
    std::int32_t previous_ = -1;
    std::uint32_t bits_ = 0;
    int count_ = 0;
    std::uint8_t input_[4096];
    std::size_t inAt_ = 0, inSize_ = 0;
};

// A stage that reads its input a piece at a time and turns each byte as it comes.
class Bytewise : public Stage {
public:
    using Stage::Stage;

protected:
    bool Fill(std::string& out) override {
        std::uint8_t input[kPiece];
        const std::size_t got = done_ ? 0 : Input(input, sizeof input);
        for (std::size_t i = 0; i < got && !done_; ++i)
            if (!Byte(input[i], out)) return false;
        if (got == 0 || done_) {
            Finish(out);
            return false;
        }
        return true;
    }
    // False at a fault; `done_` set at the data's own end mark.
    virtual bool Byte(std::uint8_t c, std::string& out) = 0;
    virtual void Finish(std::string& out) = 0;
    bool done_ = false;
};

class AsciiHex : public Bytewise {
public:
    using Bytewise::Bytewise;

protected:
    bool Byte(std::uint8_t c, std::string& out) override {
        if (c == '>') return done_ = true;
        if (PdfParser::IsSpace(c)) return true;
        const int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (v < 0) return Fail("its ASCIIHexDecode data holds a byte that is no hexadecimal digit");
        if (high_ < 0) {
            high_ = v;
        } else {
            out += char(high_ * 16 + v);
            high_ = -1;
        }
        return true;
    }
    void Finish(std::string& out) override {
        if (high_ >= 0 && state_.problem.empty()) out += char(high_ * 16);
        high_ = -1;
    }

private:
    int high_ = -1;
};

class Ascii85 : public Bytewise {
public:
    using Bytewise::Bytewise;

protected:
    bool Byte(std::uint8_t c, std::string& out) override {
        if (c == '~') return done_ = true;
        if (PdfParser::IsSpace(c)) return true;
        if (c == 'z' && n_ == 0) {
            out.append(4, '\0');
            return true;
        }
        if (c < '!' || c > 'u') return Fail("its ASCII85Decode data holds a byte outside ! to u");
        group_ = group_ * 85 + (c - '!');
        if (++n_ == 5) {
            if (group_ > 0xFFFFFFFFull) return Fail("its ASCII85Decode data holds a group past 2^32");
            for (int s = 24; s >= 0; s -= 8) out += char((group_ >> s) & 0xFF);
            group_ = 0;
            n_ = 0;
        }
        return true;
    }
    void Finish(std::string& out) override {
        if (!state_.problem.empty()) return;
        if (n_ == 1) {
            Fail("its ASCII85Decode data ends with a single character");
        } else if (n_ > 1) {
            for (int k = n_; k < 5; ++k) group_ = group_ * 85 + 84;
            for (int k = 0; k < n_ - 1; ++k) out += char((group_ >> (24 - 8 * k)) & 0xFF);
        }
        n_ = 0;
    }

private:
    std::uint64_t group_ = 0;
    int n_ = 0;
};

class RunLength : public Bytewise {
public:
    using Bytewise::Bytewise;

protected:
    bool Byte(std::uint8_t c, std::string& out) override {
        if (literal_ > 0) {
            out += char(c);
            --literal_;
        } else if (repeat_ > 0) {
            out.append(repeat_, char(c));
            repeat_ = 0;
        } else if (c == 128) {
            done_ = true;
        } else if (c < 128) {
            literal_ = c + 1u;
        } else {
            repeat_ = 257u - c;
        }
        return true;
    }
    void Finish(std::string&) override {}

private:
    unsigned literal_ = 0, repeat_ = 0;
};

// PNG's predictors (10 to 15: each row tagged with its own) and TIFF's 2 for 8 bits a component,
// a row at a time.
class Predictor : public Stage {
public:
    Predictor(PdfByteSource& in, State& state, std::int64_t predictor, std::size_t rowBytes, std::size_t pel)
        : Stage(in, state), png_(predictor >= 10), rowBytes_(rowBytes), pel_(pel), prior_(rowBytes, '\0') {}

protected:
    bool Fill(std::string& out) override {
        out.resize(rowBytes_ + (png_ ? 1 : 0));
        std::size_t got = 0;
        while (got < out.size()) {
            const std::size_t n = Input(reinterpret_cast<std::uint8_t*>(out.data()) + got, out.size() - got);
            if (n == 0) break;
            got += n;
        }
        if (!png_) {
            // Only whole rows are predicted; a part row at the end stands as it is.
            out.resize(got);
            if (got == rowBytes_)
                for (std::size_t i = pel_; i < rowBytes_; ++i) out[i] = char(out[i] + out[i - pel_]);
            return got == rowBytes_;
        }
        if (got == 0) {
            out.clear();
            return false;
        }
        // A row cut short is made whole with zeros, as readers show it.
        std::fill(out.begin() + std::ptrdiff_t(got), out.end(), '\0');
        const unsigned char type = static_cast<unsigned char>(out[0]);
        out.erase(0, 1);
        for (std::size_t i = 0; i < rowBytes_; ++i) {
            const int a = i >= pel_ ? static_cast<unsigned char>(out[i - pel_]) : 0;
            const int b = static_cast<unsigned char>(prior_[i]);
            const int c = i >= pel_ ? static_cast<unsigned char>(prior_[i - pel_]) : 0;
            int add = 0;
            switch (type) {
            case 0: break;
            case 1: add = a; break;
            case 2: add = b; break;
            case 3: add = (a + b) / 2; break;
            case 4: {
                const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                add = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
                break;
            }
            default: return Fail("a PNG predictor row of type " + std::to_string(type));
            }
            out[i] = char(static_cast<unsigned char>(out[i]) + add);
        }
        prior_ = out;
        return got == rowBytes_ + 1;
    }

private:
    bool png_;
    std::size_t rowBytes_, pel_;
    std::string prior_;
};

} // namespace

bool IsPdfImageFilter(const std::string& name) {
    return Named(name, "CCITTFaxDecode", "CCF") || Named(name, "DCTDecode", "DCT") || name == "JPXDecode" ||
           name == "JBIG2Decode";
}

PdfFilterChain::PdfFilterChain(const std::uint8_t* data, std::size_t size, const std::vector<PdfFilter>& filters, PdfBudget* budget) {
    state_.budget = budget;
    stages_.push_back(std::make_unique<Raw>(data, size));
    for (const PdfFilter& f : filters) {
        if (IsPdfImageFilter(f.name)) break;
        PdfByteSource& in = *stages_.back();
        const bool flate = Named(f.name, "FlateDecode", "Fl"), lzw = Named(f.name, "LZWDecode", "LZW");
        if (flate) {
            stages_.push_back(std::make_unique<Flate>(in, state_));
        } else if (lzw) {
            stages_.push_back(std::make_unique<Lzw>(in, state_, IntParm(f.parms, "EarlyChange", 1) != 0));
        } else if (Named(f.name, "ASCIIHexDecode", "AHx")) {
            stages_.push_back(std::make_unique<AsciiHex>(in, state_));
        } else if (Named(f.name, "ASCII85Decode", "A85")) {
            stages_.push_back(std::make_unique<Ascii85>(in, state_));
        } else if (Named(f.name, "RunLengthDecode", "RL")) {
            stages_.push_back(std::make_unique<RunLength>(in, state_));
        } else {
            state_.problem = "its filter " + f.name + " is not one PDF names";
            return;
        }
        const std::int64_t predictor = IntParm(f.parms, "Predictor", 1);
        if ((flate || lzw) && predictor > 1) {
            const std::int64_t colors = IntParm(f.parms, "Colors", 1), bpc = IntParm(f.parms, "BitsPerComponent", 8),
                               columns = IntParm(f.parms, "Columns", 1);
            if (colors < 1 || colors > 32 || (bpc != 1 && bpc != 2 && bpc != 4 && bpc != 8 && bpc != 16) || columns < 1 ||
                columns > (1 << 24)) {
                state_.problem = "its predictor's Colors, BitsPerComponent or Columns are out of range";
                return;
            }
            const std::size_t rowBytes = std::size_t((colors * bpc * columns + 7) / 8);
            if (rowBytes > kMaxPredictorRow) {
                state_.problem = "its predictor's rows of " + std::to_string(rowBytes) + " bytes are longer than " +
                                 std::to_string(kMaxPredictorRow);
                return;
            }
            if (predictor == 2 && bpc != 8) {
                state_.problem = "a TIFF predictor on " + std::to_string(bpc) + "-bit components, which is not read";
                return;
            }
            if (predictor != 2 && (predictor < 10 || predictor > 15)) {
                state_.problem = "Predictor " + std::to_string(predictor) + " is no predictor";
                return;
            }
            const std::size_t pel = std::size_t(std::max<std::int64_t>(1, colors * bpc / 8));
            stages_.push_back(std::make_unique<Predictor>(*stages_.back(), state_, predictor, rowBytes, pel));
        }
        ++undone_;
    }
}

PdfFilterChain::~PdfFilterChain() {
    // Each stage reads the one before it: the last goes first.
    while (!stages_.empty()) stages_.pop_back();
}

std::size_t PdfFilterChain::Read(std::uint8_t* out, std::size_t n) {
    if (!state_.problem.empty()) return 0;
    return stages_.back()->Read(out, n);
}

PdfDecoded PdfDecode(const std::uint8_t* data, std::size_t size, const std::vector<PdfFilter>& filters, std::size_t limit,
                     PdfBudget* budget) {
    PdfDecoded result;
    PdfFilterChain chain(data, size, filters, budget);
    result.undone = chain.Undone();
    if (!chain.Problem().empty()) {
        result.problem = chain.Problem();
        return result;
    }
    for (;;) {
        const std::size_t at = result.bytes.size();
        const std::size_t want = std::min<std::size_t>(kPiece, limit - std::min(limit, at) + 1);
        result.bytes.resize(at + want);
        const std::size_t got = chain.Read(reinterpret_cast<std::uint8_t*>(result.bytes.data()) + at, want);
        result.bytes.resize(at + got);
        if (result.bytes.size() > limit) {
            result.problem = "it decodes to more than " + std::to_string(limit) + " bytes";
            break;
        }
        if (got < want) break;
    }
    if (result.problem.empty()) result.problem = chain.Problem();
    result.note = chain.Note();
    if (!result.problem.empty()) result.bytes.clear();
    return result;
}

} // namespace scanleaf::core
