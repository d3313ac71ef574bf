// A PDF document read from its bytes: the cross-reference tables and streams of every
// incremental update (the newest entry of an object wins), objects in object streams, and a
// damaged cross-reference recovered by a scan for objects, said in Repaired(); an encrypted
// document, or one whose catalog cannot be found, is refused with the reason. Its pages, with
// what they inherit. Pure: the bytes are the caller's, and stay put while the document is used.
#pragma once

#include "core/PdfFilters.h"
#include "core/PdfSyntax.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace scanleaf::core {

// A page and what it inherits from the page tree.
struct PdfPageInfo {
    const PdfObject* page = nullptr;      // the page's dictionary
    const PdfObject* resources = nullptr; // its own or inherited; may be null
    double mediaBox[4] = {0, 0, 612, 792};
    int rotate = 0;                       // 0, 90, 180 or 270
    double userUnit = 1;
};

class PdfDocument {
public:
    // The largest stream decoded, and the most pages read.
    static constexpr std::size_t kMaxDecoded = std::size_t(1) << 30;
    static constexpr std::size_t kMaxPages = 100000;

    // False with Problem() when the bytes are no PDF, are encrypted, or hold no catalog.
    bool Open(const std::uint8_t* data, std::size_t size);
    const std::string& Problem() const { return problem_; }
    // Why the cross-reference was rebuilt by a scan; empty when it was sound.
    const std::string& Repaired() const { return repaired_; }

    // The object a reference names (a direct object as it is); a Null object for one missing.
    const PdfObject& Resolve(const PdfObject& object);
    // A dictionary entry, resolved; Null when absent.
    const PdfObject& Get(const PdfObject& dictionary, const std::string& key);
    // A stream's data as stored, or false with `problem` when its length cannot be found.
    bool RawStream(const PdfObject& stream, const std::uint8_t*& data, std::size_t& size, std::string& problem);
    // A stream's filters, in order.
    std::vector<PdfFilter> Filters(const PdfObject& stream);
    // A stream's data with its general filters undone (those before an image filter), at most
    // `limit` bytes (0: the document's limit).
    PdfDecoded Decoded(const PdfObject& stream, std::size_t limit = 0);
    // The most any stream decodes to: kMaxDecoded unless set lower.
    void LimitDecoding(std::size_t limit) { limit_ = limit; }

    // Every page in order (a page named twice, twice, as readers show it); false with `problem`
    // for a page tree that loops, is deeper than 64, or has more than kMaxPages pages.
    bool Pages(std::vector<PdfPageInfo>& pages, std::string& problem);
    const PdfObject& Trailer() const { return trailer_; }

private:
    struct Entry {
        std::uint8_t type = 0;      // 1: at an offset, 2: in an object stream
        std::uint64_t where = 0;    // the offset, or the object stream's number
        std::uint32_t index = 0;    // in the object stream
    };
    bool ReadSections(std::string& why);
    bool ReadTable(PdfParser& parser, PdfObject& trailer, std::string& why);
    bool ReadXrefStream(std::size_t offset, PdfObject& trailer, std::string& why);
    void Recover();
    bool CatalogFound();
    const PdfObject* Load(std::uint32_t number);
    const PdfObject* FromObjectStream(std::uint32_t number, const Entry& entry);
    bool Walk(const PdfObject& node, PdfPageInfo inherited, int depth, std::set<const PdfObject*>& seen,
              std::vector<PdfPageInfo>& pages, std::string& problem);

    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t limit_ = kMaxDecoded;
    std::string problem_, repaired_;
    std::map<std::uint32_t, Entry> entries_;
    PdfObject trailer_;
    std::map<std::uint32_t, std::unique_ptr<PdfObject>> objects_;
    std::set<std::uint32_t> loading_;
    // Decoded object streams: their data, and where each object stands in it.
    struct ObjectStream {
        std::string data;
        std::map<std::uint32_t, std::size_t> offsets; // by index
        std::vector<std::uint32_t> numbers;
        bool ok = false;
    };
    std::map<std::uint32_t, ObjectStream> objectStreams_;
    static const PdfObject kNull;
};

} // namespace scanleaf::core
