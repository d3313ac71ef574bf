// What Windows shows of a drawing without decoding it: each record of its 2048-byte header as a
// property (Windows' own where one fits), the picture's size as it is shown upright, and the
// text records written back into their own slots, nothing else of the header touched.
#pragma once

#include "core/cals/HeaderRecord.h"
#include "core/Text.h"

#include <cstdint>
#include <string>
#include <vector>

namespace scanleaf::core {

enum class DrawingKey {
    DocumentId,     // srcdocid
    DestinationId,  // dstdocid
    TextFileId,     // txtfilid
    Title,          // figid
    SourceGraphics, // srcgph
    DocumentClass,  // doccls
    Comment,        // notes
    Orientation,    // rorient, as written
    Width,          // pels across, as shown upright
    Height,         // pels down, as shown upright
    Dimensions,     // "W x H", as shown upright
    HorizontalResolution,
    VerticalResolution,
    ResolutionUnit, // 2: inches
    BitDepth,       // 1
    Compression,    // 4: CCITT T.6, as TIFF numbers it
};

struct DrawingValue {
    enum class Kind { Empty, Text, Number, Real } kind = Kind::Empty;
    Text text;
    std::uint32_t number = 0;
    double real = 0;

    bool operator==(const DrawingValue& o) const {
        return kind == o.kind && text == o.text && number == o.number && real == o.real;
    }
};

// A text record that is a property: the record's name, its key, and whether Explorer may write it.
struct RecordKey {
    const char* record;
    DrawingKey key;
    bool writable;
};
const std::vector<RecordKey>& RecordKeys();

// Every key that a drawing answers, in the order Explorer lists them.
const std::vector<DrawingKey>& DrawingKeys();

class DrawingProperties {
public:
    // The properties of a header; false, with why, for a header that is no CALS type 1 drawing's
    // (no "rtype: 1", no usable rpelcnt), of which nothing is shown.
    bool Read(const unsigned char* header, const CodePage& ansi, std::string& problem);

    // A record's value as written ("NONE" is no value), the size and resolution as numbers.
    DrawingValue Get(DrawingKey key) const;
    bool Writable(DrawingKey key) const;

    // A new value for a writable text record, checked as the card tool checks one: the code page
    // must hold every character and "name: value" fit the record's slot; an empty value is
    // written "NONE". False, with why, and nothing changed otherwise.
    bool Set(DrawingKey key, const Text& value, const CodePage& ansi, std::string& problem);
    bool Changed() const { return changed_; }

    // The header with every value set written into its record's own slot; the other bytes as read.
    const std::string& Header() const { return header_; }

private:
    struct Record {
        bool present = false;
        std::size_t slot = 0;
        Text name;  // as written
        Text value; // trimmed
    };
    const Record* Find(DrawingKey key) const;
    Record* Find(DrawingKey key);

    std::string header_;
    std::vector<std::pair<DrawingKey, Record>> records_;
    std::uint32_t shownWidth_ = 0, shownHeight_ = 0, density_ = 0;
    bool changed_ = false;
};

} // namespace scanleaf::core
