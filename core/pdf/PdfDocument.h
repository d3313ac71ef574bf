// A PDF document read from its bytes: the cross-reference tables and streams of every
// incremental update (the newest entry of an object wins), objects in object streams, and a
// damaged cross-reference recovered by a scan for objects, said in Repaired(); an encrypted
// document, or one whose catalog cannot be found, is refused with the reason. Its pages, with
// what they inherit. Pure: the bytes are the caller's, and stay put while the document is used.
#pragma once

#include "core/pdf/PdfFilters.h"
#include "core/pdf/PdfSyntax.h"

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
    std::string problem;                  // what it gives that no page can be (a /Rotate of no quarter turn)
};

// What one document may cost, whatever it holds: each bound is checked as it is reached, and
// what passes it is refused with the bound named.
struct PdfLimits {
    // Bytes decoded in all, by every filter of every stream (pictures too).
    static constexpr std::uint64_t kDecoded = std::uint64_t(2) << 30;
    // The most one content, form, object, cross-reference or metadata stream decodes to.
    static constexpr std::size_t kStream = std::size_t(64) << 20;
    // Pages, and page tree nodes visited (a node named twice counts twice).
    static constexpr std::size_t kPages = 100000;
    static constexpr std::size_t kTreeVisits = 2 * kPages;
    // Objects needed to read one object (a stream whose /Length is in another object stream...).
    static constexpr std::size_t kLoadChain = 32;
};

class PdfDocument {
public:
    static constexpr std::size_t kMaxPages = PdfLimits::kPages;

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
    // `limit` bytes: one that decodes to more is refused, named by its object number.
    PdfDecoded Decoded(const PdfObject& stream, std::size_t limit = PdfLimits::kStream);
    // What every stream of the document decodes against.
    PdfBudget& Budget() { return budget_; }
    const PdfBudget& Budget() const { return budget_; }
    // What was forgiven as streams were decoded (a wrong checksum), each once, in order.
    void Forgive(const std::string& note);
    const std::vector<std::string>& Forgiven() const { return forgiven_; }

    // Every page in order (a page named twice, twice, as readers show it); false with `problem`
    // for a page tree that loops, is deeper than 64, visits more nodes than kTreeVisits, or has
    // more than kPages pages. The walk keeps its own stack.
    bool Pages(std::vector<PdfPageInfo>& pages, std::string& problem);
    const PdfObject& Trailer() const { return trailer_; }
    // Each page's first bookmark, by the page's dictionary: its title as written (a text string).
    // The outline is walked on a stack of its own, each item once, at most kTreeVisits items.
    std::map<const PdfObject*, std::string> Bookmarks();

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

    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    PdfBudget budget_{PdfLimits::kDecoded};
    std::vector<std::string> forgiven_;
    std::string problem_, repaired_;
    std::map<std::uint32_t, Entry> entries_;
    PdfObject trailer_;
    std::map<std::uint32_t, std::unique_ptr<PdfObject>> objects_; // null: one that cannot be read
    std::set<std::size_t> recovered_; // where the scan found objects, in a rebuilt document
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
