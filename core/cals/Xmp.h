// A drawing's card in XMP, as the PDF and TIFF writers carry it, and read back: each variable a
// simple property of its own in the card's namespace, beside the title and what PDF/A asks.
#pragma once

#include "core/Text.h"

#include <string>
#include <utility>
#include <vector>

namespace scanleaf::core {

// A card as name and value pairs, in card order.
using CardValues = std::vector<std::pair<Text, Text>>;

// The PDF/A part and level a document keeps to, or none.
enum class Pdfa { None, Part1b, Part2b };

// What a PDF/A document's own packet says besides: its part and level, its producer, and a schema
// of the card's namespace that names each of `described` (property names as XmpPropertyName
// writes them).
struct XmpPdfa {
    Pdfa pdfa = Pdfa::None;
    std::string producer;
    std::vector<std::string> described;
    bool header = false; // a schema of kHeaderNamespace too
};

// A drawing's CALS header as it travels: its bytes as they were, and their records as text.
struct CarriedHeader {
    std::string bytes;         // kHeaderSize bytes; empty: none carried, or `edited`
    std::vector<Text> records; // each slot's text up to its first NUL, blanks at the end trimmed; blank slots left out
    // Read from a packet that carried the bytes by their sum only, whose records no longer make
    // them: the records are what there is.
    bool edited = false;

    bool Empty() const { return bytes.empty() && !edited; }
};
inline constexpr char kHeaderNamespace[] = "urn:scanleaf:cals-header:1.0/";
// Its properties: the records, one a line (or, where a record holds a line end or there is none,
// as an ordered array), and the bytes, in the shortest form that gives them back exactly: their
// sum where the records in the standard layout make them (StandardHeader), else themselves in
// base64.
inline constexpr char kHeaderBytesProperty[] = "bytes";
inline constexpr char kHeaderSumProperty[] = "sum";
inline constexpr char kHeaderLinesProperty[] = "lines";
inline constexpr char kHeaderRecordsProperty[] = "records";

// The header that `records` make in the standard layout: each in a slot of its own from the first,
// blanks to the slot's end, blank slots after. Empty unless every record is printable ASCII (the
// same bytes under every code page) and they fit.
std::string StandardHeader(const std::vector<Text>& records);
// The sum a packet carries for a header's bytes: FNV-1a of 64 bits, in 16 hexadecimal digits.
std::string HeaderSum(const std::string& bytes);

// An XMP packet: dc:title, and each card value as a property of its own in the namespace
// kCardNamespace (names that are no XML names have each other character written as _xHHHH_), an
// attribute of the description, padded for editing in place unless `padded` is false.
// With a header, its bytes and records in kHeaderNamespace.
std::string XmpPacket(const Text& title, const CardValues& card, const XmpPdfa& pdfa = XmpPdfa(), bool padded = true,
                      const CarriedHeader& header = CarriedHeader());
inline constexpr char kCardNamespace[] = "urn:scanleaf:card:1.0/";

// The readers below take a packet of any size, as another program may have written it, in time
// and memory linear in its size and without recursion: a quote never closed ends a search, and
// no item is looked for twice.

// The card of a packet that XmpPacket wrote (or any that holds the namespace's properties as
// simple elements), in its order; `problem` names what cannot be read (a property twice, a name
// that is no written name, markup where text belongs), and the card is then empty.
CardValues XmpCard(const std::string& packet, std::string& problem);

// The header a packet carries (Empty() when it carries none, or not its records and its bytes or
// their sum); `problem` names what cannot be read (bytes that are no base64 of kHeaderSize bytes,
// a sum that is none, markup in a record), and the header is then empty.
CarriedHeader XmpHeader(const std::string& packet, std::string& problem);

// The packet's dc:title (its first item), or empty.
Text XmpTitle(const std::string& packet);

// The text that XmpPacket writes as a property name for a variable name, and back (false for a
// name that XmpPropertyName does not write).
std::string XmpPropertyName(const Text& name);
bool VariableNameOf(const std::string& property, Text& name);

} // namespace scanleaf::core
