#include "core/pdf/PdfDocument.h"

#include <algorithm>
#include <cstring>

namespace scanleaf::core {

const PdfObject PdfDocument::kNull;

namespace {

using Kind = PdfObject::Kind;

// The last occurrence of `word` in [from, to).
std::size_t FindLast(const std::uint8_t* data, std::size_t from, std::size_t to, const char* word) {
    const std::size_t n = std::strlen(word);
    for (std::size_t at = to >= n ? to - n + 1 : 0; at-- > from;)
        if (std::memcmp(data + at, word, n) == 0) return at;
    return std::string::npos;
}

std::size_t FindFirst(const std::uint8_t* data, std::size_t from, std::size_t to, const char* word) {
    const std::size_t n = std::strlen(word);
    for (std::size_t at = from; at + n <= to; ++at)
        if (std::memcmp(data + at, word, n) == 0) return at;
    return std::string::npos;
}

} // namespace

bool PdfDocument::Open(const std::uint8_t* data, std::size_t size) {
    data_ = data;
    size_ = size;
    if (FindFirst(data, 0, std::min<std::size_t>(size, 1024), "%PDF-") == std::string::npos)
        return problem_ = "no PDF: it does not start with %PDF-", false;
    std::string why;
    if (!ReadSections(why) || !CatalogFound()) {
        if (why.empty()) why = "its catalog is not where the cross-reference says";
        entries_.clear();
        objects_.clear();
        objectStreams_.clear();
        trailer_ = PdfObject();
        forgiven_.clear();
        Recover();
        if (!CatalogFound()) return problem_ = "its cross-reference is damaged (" + why + ") and no catalog was found in it", false;
        repaired_ = "its cross-reference is damaged (" + why + "); its objects were found by a scan";
    }
    if (trailer_.Find("Encrypt")) return problem_ = "encrypted: its contents cannot be read without its key", false;
    return true;
}

bool PdfDocument::CatalogFound() {
    const PdfObject* root = trailer_.Find("Root");
    return root && Resolve(*root).IsDictionary() && Get(Resolve(*root), "Pages").IsDictionary();
}

bool PdfDocument::ReadSections(std::string& why) {
    const std::size_t tail = size_ > 4096 ? size_ - 4096 : 0;
    const std::size_t at = FindLast(data_, tail, size_, "startxref");
    if (at == std::string::npos) return why = "no startxref at its end", false;
    PdfParser parser(data_, size_, at + 9);
    std::uint64_t offset = 0;
    if (!parser.Whole(offset)) return why = "startxref gives no offset", false;
    std::set<std::uint64_t> seen;
    bool first = true;
    while (true) {
        if (offset >= size_) return why = "a cross-reference section at " + std::to_string(offset) + ", past the file's end", false;
        if (!seen.insert(offset).second) return why = "its cross-reference sections link back to one read before", false;
        PdfObject trailer;
        parser.Seek(std::size_t(offset));
        if (parser.Keyword("xref")) {
            if (!ReadTable(parser, trailer, why)) return false;
            // A hybrid file's stream of the objects that the table leaves out.
            const PdfObject* stream = trailer.Find("XRefStm");
            PdfObject ignored;
            if (stream && PdfInt(*stream, -1) >= 0 && !ReadXrefStream(std::size_t(std::min<std::int64_t>(PdfInt(*stream, 0), std::int64_t(size_))), ignored, why))
                return false;
        } else if (!ReadXrefStream(std::size_t(offset), trailer, why)) {
            return false;
        }
        if (first) trailer_ = trailer;
        // Keys an update left out stand from an earlier trailer.
        for (const auto& [key, value] : trailer.entries)
            if (!trailer_.Find(key)) trailer_.entries.emplace_back(key, value);
        first = false;
        const PdfObject* prev = trailer.Find("Prev");
        if (!prev || PdfInt(*prev, -1) < 0) break;
        offset = std::uint64_t(PdfInt(*prev, 0));
    }
    trailer_.kind = Kind::Dictionary;
    return true;
}

bool PdfDocument::ReadTable(PdfParser& parser, PdfObject& trailer, std::string& why) {
    while (!parser.Keyword("trailer")) {
        std::uint64_t start = 0, count = 0;
        if (!parser.Whole(start) || !parser.Whole(count)) return why = "a cross-reference table that cannot be read", false;
        for (std::uint64_t i = 0; i < count; ++i) {
            std::uint64_t offset = 0, generation = 0;
            if (!parser.Whole(offset) || !parser.Whole(generation))
                return why = "a cross-reference table that cannot be read", false;
            const std::string kind = parser.Regular();
            if (kind != "n" && kind != "f") return why = "a cross-reference entry neither n nor f", false;
            const std::uint64_t number = start + i;
            if (number > 0xFFFFFFFFu) return why = "a cross-reference entry of no object number", false;
            // The newest section is read first: its entry stands (a free one too).
            Entry entry;
            entry.type = kind == "n" ? 1 : 0;
            entry.where = offset;
            entries_.emplace(std::uint32_t(number), entry);
        }
    }
    if (!parser.Object(trailer) || !trailer.Is(Kind::Dictionary)) return why = "a trailer that is no dictionary", false;
    return true;
}

bool PdfDocument::ReadXrefStream(std::size_t offset, PdfObject& trailer, std::string& why) {
    PdfParser parser(data_, size_, offset);
    std::uint32_t number = 0, generation = 0;
    PdfObject stream;
    if (!parser.Indirect(number, generation, stream) || !stream.Is(Kind::Stream) || !stream.Find("Type") ||
        !stream.Find("Type")->IsName("XRef"))
        return why = "no cross-reference table or stream at offset " + std::to_string(offset), false;
    // Its own entries may be needed to find its length: nothing here is resolved but /Length.
    const PdfDecoded decoded = Decoded(stream);
    if (!decoded.problem.empty() || decoded.undone != Filters(stream).size())
        return why = "a cross-reference stream that cannot be decoded" + (decoded.problem.empty() ? "" : ": " + decoded.problem), false;
    const PdfObject* w = stream.Find("W");
    if (!w || !w->Is(Kind::Array) || w->items.size() != 3) return why = "a cross-reference stream without /W of three", false;
    int widths[3];
    for (int i = 0; i < 3; ++i) {
        const std::int64_t width = PdfInt(w->items[i], -1);
        if (width < 0 || width > 8) return why = "a cross-reference stream whose /W is out of range", false;
        widths[i] = int(width);
    }
    std::vector<std::uint64_t> index;
    if (const PdfObject* given = stream.Find("Index"); given && given->Is(Kind::Array)) {
        for (const PdfObject& v : given->items) index.push_back(std::uint64_t(std::max<std::int64_t>(0, PdfInt(v, 0))));
    } else {
        index = {0, std::uint64_t(std::max<std::int64_t>(0, PdfInt(stream.Find("Size") ? *stream.Find("Size") : PdfObject(), 0)))};
    }
    const std::size_t row = std::size_t(widths[0] + widths[1] + widths[2]);
    if (row == 0) return why = "a cross-reference stream whose /W is all 0", false;
    std::size_t at = 0;
    for (std::size_t s = 0; s + 1 < index.size(); s += 2) {
        for (std::uint64_t i = 0; i < index[s + 1]; ++i, at += row) {
            if (at + row > decoded.bytes.size()) return why = "a cross-reference stream shorter than its /Index", false;
            std::uint64_t field[3] = {1, 0, 0}; // a type of width 0 is 1
            std::size_t p = at;
            for (int f = 0; f < 3; ++f) {
                if (widths[f] == 0) continue;
                field[f] = 0;
                for (int b = 0; b < widths[f]; ++b) field[f] = (field[f] << 8) | static_cast<unsigned char>(decoded.bytes[p++]);
            }
            const std::uint64_t object = index[s] + i;
            if (object > 0xFFFFFFFFu || field[0] > 2) continue;
            Entry entry;
            entry.type = std::uint8_t(field[0]);
            entry.where = field[1];
            entry.index = std::uint32_t(field[0] == 2 ? field[2] : 0);
            entries_.emplace(std::uint32_t(object), entry);
        }
    }
    trailer = stream;
    trailer.kind = Kind::Dictionary;
    return true;
}

void PdfDocument::Recover() {
    // Every "N G obj" at a line's start or after a delimiter; a later one of a number wins.
    for (std::size_t at = FindFirst(data_, 0, size_, "obj"); at != std::string::npos; at = FindFirst(data_, at + 3, size_, "obj")) {
        if (at + 3 < size_ && !PdfParser::IsSpace(data_[at + 3]) && !PdfParser::IsDelimiter(data_[at + 3])) continue;
        std::size_t p = at;
        auto skipSpace = [&] { while (p > 0 && PdfParser::IsSpace(data_[p - 1])) --p; };
        auto skipDigits = [&] {
            const std::size_t end = p;
            while (p > 0 && data_[p - 1] >= '0' && data_[p - 1] <= '9') --p;
            return p < end;
        };
        skipSpace();
        if (!skipDigits()) continue;
        skipSpace();
        if (!skipDigits()) continue;
        PdfParser parser(data_, size_, p);
        std::uint64_t number = 0;
        if (!parser.Whole(number) || number > 0xFFFFFFFFu) continue;
        Entry entry;
        entry.type = 1;
        entry.where = p;
        entries_[std::uint32_t(number)] = entry;
        recovered_.insert(p);
    }
    // The objects of object streams that stand nowhere else.
    std::vector<std::uint32_t> streams;
    for (const auto& [number, entry] : entries_) {
        (void)entry;
        const PdfObject* object = Load(number);
        if (object && object->Is(Kind::Stream) && object->Find("Type") && object->Find("Type")->IsName("ObjStm"))
            streams.push_back(number);
    }
    for (std::uint32_t s : streams) {
        const PdfObject* stream = Load(s);
        const PdfDecoded decoded = Decoded(*stream);
        if (!decoded.problem.empty()) continue;
        PdfParser parser(reinterpret_cast<const std::uint8_t*>(decoded.bytes.data()), decoded.bytes.size());
        const std::int64_t n = PdfInt(Get(*stream, "N"), 0);
        for (std::int64_t i = 0; i < n && i < 1000000; ++i) {
            std::uint64_t number = 0, offset = 0;
            if (!parser.Whole(number) || !parser.Whole(offset)) break;
            if (number > 0xFFFFFFFFu || entries_.count(std::uint32_t(number))) continue;
            Entry entry;
            entry.type = 2;
            entry.where = s;
            entry.index = std::uint32_t(i);
            entries_[std::uint32_t(number)] = entry;
        }
    }
    // The trailer: the last "trailer" dictionary or cross-reference stream whose catalog is one;
    // failing both, the catalog is the last object that says it is one and has pages.
    PdfObject chosen;
    auto tryTrailer = [this, &chosen](PdfObject trailer) {
        trailer.kind = Kind::Dictionary;
        std::swap(trailer_, trailer);
        if (CatalogFound()) chosen = trailer_;
        std::swap(trailer_, trailer);
    };
    for (std::size_t at = FindFirst(data_, 0, size_, "trailer"); at != std::string::npos; at = FindFirst(data_, at + 7, size_, "trailer")) {
        PdfParser parser(data_, size_, at + 7);
        PdfObject trailer;
        if (parser.Object(trailer) && trailer.Is(Kind::Dictionary) && trailer.Find("Root")) tryTrailer(trailer);
    }
    if (!chosen.Find("Root")) {
        for (const auto& [number, entry] : entries_) {
            (void)entry;
            const PdfObject* object = Load(number);
            if (object && object->Is(Kind::Stream) && object->Find("Type") && object->Find("Type")->IsName("XRef") && object->Find("Root"))
                tryTrailer(*object);
        }
    }
    if (!chosen.Find("Root")) {
        for (const auto& [number, entry] : entries_) {
            (void)entry;
            const PdfObject* object = Load(number);
            if (object && object->Is(Kind::Dictionary) && object->Find("Type") && object->Find("Type")->IsName("Catalog")) {
                PdfObject root, trailer;
                root.kind = Kind::Reference;
                root.object = number;
                trailer.entries.emplace_back("Root", root);
                tryTrailer(trailer);
            }
        }
    }
    trailer_ = chosen;
    trailer_.kind = Kind::Dictionary;
}

const PdfObject* PdfDocument::Load(std::uint32_t number) {
    const auto cached = objects_.find(number);
    if (cached != objects_.end()) return cached->second.get();
    const auto entry = entries_.find(number);
    if (entry == entries_.end() || entry->second.type == 0) return nullptr;
    // An object that needs itself to be read, or a chain of objects too long to follow (its
    // stream's length is then looked for by its endstream).
    if (loading_.size() >= PdfLimits::kLoadChain || !loading_.insert(number).second) return nullptr;
    const PdfObject* loaded = nullptr;
    if (entry->second.type == 2) {
        loaded = FromObjectStream(number, entry->second);
    } else if (entry->second.where < size_) {
        // In a document rebuilt by a scan, an object ends where the next one found starts: a
        // string left open cannot make every object a read to the file's end.
        const auto next = recovered_.upper_bound(std::size_t(entry->second.where));
        PdfParser parser(data_, next == recovered_.end() ? size_ : *next, std::size_t(entry->second.where));
        std::uint32_t n = 0, g = 0;
        auto object = std::make_unique<PdfObject>();
        if (parser.Indirect(n, g, *object) && n == number) {
            if (object->Is(Kind::Stream)) object->object = number; // its own number, for messages
            loaded = (objects_[number] = std::move(object)).get();
        }
    }
    loading_.erase(number);
    // One that cannot be read is not read again each time it is named.
    if (!loaded) objects_.emplace(number, nullptr);
    return loaded;
}

const PdfObject* PdfDocument::FromObjectStream(std::uint32_t number, const Entry& entry) {
    if (entry.where > 0xFFFFFFFFu) return nullptr;
    const std::uint32_t s = std::uint32_t(entry.where);
    auto found = objectStreams_.find(s);
    if (found == objectStreams_.end()) {
        ObjectStream parsed;
        const PdfObject* stream = Load(s);
        if (stream && stream->Is(Kind::Stream)) {
            const PdfDecoded decoded = Decoded(*stream);
            if (decoded.problem.empty()) {
                parsed.data = decoded.bytes;
                const std::int64_t first = PdfInt(Get(*stream, "First"), -1), n = PdfInt(Get(*stream, "N"), 0);
                PdfParser parser(reinterpret_cast<const std::uint8_t*>(parsed.data.data()), parsed.data.size());
                parsed.ok = first >= 0;
                for (std::int64_t i = 0; i < n && i < 1000000 && parsed.ok; ++i) {
                    std::uint64_t object = 0, offset = 0;
                    if (!parser.Whole(object) || !parser.Whole(offset) || object > 0xFFFFFFFFu) break;
                    parsed.numbers.push_back(std::uint32_t(object));
                    parsed.offsets[std::uint32_t(i)] = std::size_t(first) + std::size_t(offset);
                }
            }
        }
        found = objectStreams_.emplace(s, std::move(parsed)).first;
    }
    const ObjectStream& os = found->second;
    const auto at = os.offsets.find(entry.index);
    if (!os.ok || at == os.offsets.end() || os.numbers[entry.index] != number || at->second >= os.data.size()) return nullptr;
    PdfParser parser(reinterpret_cast<const std::uint8_t*>(os.data.data()), os.data.size(), at->second);
    auto object = std::make_unique<PdfObject>();
    if (!parser.Object(*object) || object->Is(Kind::Stream)) return nullptr;
    return (objects_[number] = std::move(object)).get();
}

const PdfObject& PdfDocument::Resolve(const PdfObject& object) {
    if (!object.Is(Kind::Reference)) return object;
    const PdfObject* loaded = Load(object.object);
    return loaded ? *loaded : kNull;
}

const PdfObject& PdfDocument::Get(const PdfObject& dictionary, const std::string& key) {
    const PdfObject* value = dictionary.Find(key);
    return value ? Resolve(*value) : kNull;
}

bool PdfDocument::RawStream(const PdfObject& stream, const std::uint8_t*& data, std::size_t& size, std::string& problem) {
    if (!stream.Is(Kind::Stream) || stream.streamStart > size_) return problem = "no stream", false;
    const std::size_t start = stream.streamStart;
    const std::int64_t length = PdfInt(Get(stream, "Length"), -1);
    // The length is trusted where "endstream" follows it; otherwise the keyword is looked for.
    if (length >= 0 && std::uint64_t(length) <= size_ - start) {
        PdfParser after(data_, size_, start + std::size_t(length));
        if (after.Keyword("endstream")) {
            data = data_ + start;
            size = std::size_t(length);
            return true;
        }
    }
    const std::size_t end = FindFirst(data_, start, size_, "endstream");
    if (end == std::string::npos) return problem = "a stream without its length or an endstream", false;
    std::size_t stop = end;
    if (stop > start && data_[stop - 1] == '\n') --stop;
    if (stop > start && data_[stop - 1] == '\r') --stop;
    data = data_ + start;
    size = stop - start;
    return true;
}

std::vector<PdfFilter> PdfDocument::Filters(const PdfObject& stream) {
    std::vector<PdfFilter> filters;
    const PdfObject& filter = Get(stream, "Filter");
    const PdfObject& parms = Get(stream, "DecodeParms");
    if (filter.Is(Kind::Name)) {
        filters.push_back({filter.text, parms.Is(Kind::Array) && !parms.items.empty() ? Resolve(parms.items[0]) : parms});
    } else if (filter.Is(Kind::Array)) {
        for (std::size_t i = 0; i < filter.items.size(); ++i) {
            const PdfObject& name = Resolve(filter.items[i]);
            const PdfObject& p = parms.Is(Kind::Array) && i < parms.items.size() ? Resolve(parms.items[i]) : kNull;
            filters.push_back({name.Is(Kind::Name) ? name.text : std::string("?"), p});
        }
    }
    return filters;
}

PdfDecoded PdfDocument::Decoded(const PdfObject& stream, std::size_t limit) {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    PdfDecoded decoded;
    if (!RawStream(stream, data, size, decoded.problem)) return decoded;
    decoded = PdfDecode(data, size, Filters(stream), limit, &budget_);
    const std::string object = stream.object ? "object " + std::to_string(stream.object) + ": " : std::string();
    if (!decoded.problem.empty()) decoded.problem = object + decoded.problem;
    if (!decoded.note.empty()) Forgive(object + decoded.note);
    return decoded;
}

void PdfDocument::Forgive(const std::string& note) {
    if (std::find(forgiven_.begin(), forgiven_.end(), note) == forgiven_.end()) forgiven_.push_back(note);
}

bool PdfDocument::Pages(std::vector<PdfPageInfo>& pages, std::string& problem) {
    pages.clear();
    // The path from the root to the node being read, each with the next kid to visit.
    struct Step {
        const PdfObject* node;
        PdfPageInfo inherited;
        const PdfObject* kids;
        std::size_t next;
    };
    std::vector<Step> path;
    std::set<const PdfObject*> onPath;
    std::size_t visits = 0;
    auto enter = [&](const PdfObject& node, PdfPageInfo inherited) {
        if (!node.IsDictionary()) return true; // a missing page is no page
        if (++visits > PdfLimits::kTreeVisits)
            return problem = "its page tree names more than " + std::to_string(PdfLimits::kTreeVisits) + " nodes", false;
        if (path.size() > 64) return problem = "its page tree is deeper than 64", false;
        // A node is a loop only below itself: one named twice among other kids is read twice.
        if (onPath.count(&node)) return problem = "its page tree loops", false;
        if (const PdfObject& r = Get(node, "Resources"); r.IsDictionary()) inherited.resources = &r;
        if (const PdfObject& box = Get(node, "MediaBox"); box.Is(Kind::Array) && box.items.size() == 4) {
            for (int i = 0; i < 4; ++i) inherited.mediaBox[i] = Resolve(box.items[std::size_t(i)]).number;
        }
        if (const PdfObject& rotate = Get(node, "Rotate"); !rotate.Is(Kind::Null)) {
            std::int64_t turn = 0;
            if (PdfWhole(rotate, -36000, 36000, turn) && turn % 90 == 0) {
                inherited.rotate = int(((turn % 360) + 360) % 360);
                inherited.problem.clear();
            } else {
                inherited.problem = "its /Rotate " + PdfWritten(rotate) + " is not a multiple of 90";
            }
        }
        const PdfObject& kids = Get(node, "Kids");
        const PdfObject& type = Get(node, "Type");
        if (type.IsName("Page") || (!type.IsName("Pages") && !kids.Is(Kind::Array))) {
            if (pages.size() >= PdfLimits::kPages) return problem = "more than " + std::to_string(PdfLimits::kPages) + " pages", false;
            inherited.page = &node;
            if (const PdfObject& unit = Get(node, "UserUnit"); unit.IsNumber() && unit.number > 0 && unit.number < 1e6)
                inherited.userUnit = unit.number;
            pages.push_back(std::move(inherited));
            return true;
        }
        if (kids.Is(Kind::Array)) {
            path.push_back({&node, std::move(inherited), &kids, 0});
            onPath.insert(&node);
        }
        return true;
    };
    if (!enter(Get(Get(trailer_, "Root"), "Pages"), PdfPageInfo())) return false;
    while (!path.empty()) {
        Step& top = path.back();
        if (top.next == top.kids->items.size()) {
            onPath.erase(top.node);
            path.pop_back();
            continue;
        }
        const PdfObject& kid = Resolve(top.kids->items[top.next++]);
        const PdfPageInfo inherited = top.inherited; // `top` moves as the path grows
        if (!enter(kid, inherited)) return false;
    }
    return true;
}

std::map<const PdfObject*, std::string> PdfDocument::Bookmarks() {
    std::map<const PdfObject*, std::string> titles;
    std::set<const PdfObject*> seen;
    std::vector<const PdfObject*> next = {&Get(Get(Get(trailer_, "Root"), "Outlines"), "First")};
    while (!next.empty() && seen.size() < PdfLimits::kTreeVisits) {
        const PdfObject* item = next.back();
        next.pop_back();
        if (!item->IsDictionary() || !seen.insert(item).second) continue;
        // Its destination: an array whose first item is the page, given or through a GoTo action.
        const PdfObject* dest = &Get(*item, "Dest");
        if (!dest->Is(Kind::Array)) {
            const PdfObject& action = Get(*item, "A");
            if (Get(action, "S").IsName("GoTo")) dest = &Get(action, "D");
        }
        const PdfObject& title = Get(*item, "Title");
        if (dest->Is(Kind::Array) && !dest->items.empty() && title.Is(Kind::String)) {
            const PdfObject& page = Resolve(dest->items[0]);
            if (page.IsDictionary()) titles.emplace(&page, title.text);
        }
        // Its siblings after its children, so that the outline is read in its order.
        next.push_back(&Get(*item, "Next"));
        next.push_back(&Get(*item, "First"));
    }
    return titles;
}

} // namespace scanleaf::core
