// PDF's general stream filters undone: FlateDecode (zlib) and LZWDecode with their predictors,
// ASCIIHexDecode, ASCII85Decode and RunLengthDecode. The image filters (CCITTFaxDecode,
// DCTDecode, JPXDecode, JBIG2Decode) are left to the caller, which is told which one stopped the
// chain. Data flows a piece at a time: memory is a few buffers of 64 KB and a predictor's two
// rows, whatever the stream inflates to; what comes out is the caller's to take or leave.
#pragma once

#include "core/pdf/PdfSyntax.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace scanleaf::core {

struct PdfFilter {
    std::string name;   // as written; "AHx" and the other short names too
    PdfObject parms;    // its DecodeParms dictionary (Null when none)
};

// Whether a filter codes pictures (the caller decodes those, or keeps them).
bool IsPdfImageFilter(const std::string& name);

// The most a predictor's row may be: two of them are held.
inline constexpr std::size_t kMaxPredictorRow = std::size_t(16) << 20;

// What a document may decode in all, shared by its streams: past it every stream stops with a
// problem that says so.
class PdfBudget {
public:
    explicit PdfBudget(std::uint64_t limit) : limit_(limit) {}
    // False once `bytes` more would pass the limit.
    bool Spend(std::uint64_t bytes) {
        if (bytes > limit_ - spent_) return false;
        spent_ += bytes;
        return true;
    }
    std::uint64_t Limit() const { return limit_; }
    std::uint64_t Spent() const { return spent_; }

private:
    std::uint64_t limit_;
    std::uint64_t spent_ = 0;
};

// One stage of a chain: bytes pulled a piece at a time.
class PdfByteSource {
public:
    virtual ~PdfByteSource() = default;
    // Up to `n` bytes into `out`; fewer only at the end of the data or at a problem.
    virtual std::size_t Read(std::uint8_t* out, std::size_t n) = 0;
};

// The general filters of a stream, from the first up to the first image filter (or all), undone
// as the caller reads.
class PdfFilterChain {
public:
    PdfFilterChain(const std::uint8_t* data, std::size_t size, const std::vector<PdfFilter>& filters, PdfBudget* budget = nullptr);
    ~PdfFilterChain();
    PdfFilterChain(const PdfFilterChain&) = delete;
    PdfFilterChain& operator=(const PdfFilterChain&) = delete;

    // Up to `n` bytes; fewer only at the end of the data or at a problem, which Problem() names.
    std::size_t Read(std::uint8_t* out, std::size_t n);
    // The filters applied; the rest (an image filter first) is the caller's.
    std::size_t Undone() const { return undone_; }
    const std::string& Problem() const { return state_.problem; }
    // What was forgiven, as readers forgive it (a Flate stream whose checksum is wrong).
    const std::string& Note() const { return state_.note; }

    // What the stages share.
    struct State {
        std::string problem, note;
        PdfBudget* budget = nullptr;
    };

private:
    State state_;
    std::vector<std::unique_ptr<PdfByteSource>> stages_;
    std::size_t undone_ = 0;
};

struct PdfDecoded {
    std::string bytes;
    std::size_t undone = 0; // the filters applied; the rest (an image filter first) is the caller's
    std::string problem;    // why the chain could not be undone; empty when it could
    std::string note;       // what was forgiven
};

// The filters from the first up to the first image filter (or all) applied to `data`, whole; a
// stream that decodes to more than `limit` bytes is refused.
PdfDecoded PdfDecode(const std::uint8_t* data, std::size_t size, const std::vector<PdfFilter>& filters, std::size_t limit,
                     PdfBudget* budget = nullptr);

} // namespace scanleaf::core
