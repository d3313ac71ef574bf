// PDF's objects and their syntax: the lexer and parser that the document reader and the content
// walk share. Pure and bounded: input is a span of bytes, never read past its end; nesting is
// limited, and every malformed object ends the parse with false.
#pragma once

#include "core/Text.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace scanleaf::core {

struct PdfObject {
    enum class Kind { Null, Boolean, Integer, Real, String, Name, Array, Dictionary, Reference, Stream };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0;                                      // Integer, Real
    std::string text;                                       // String's bytes, Name's (without "/", #xx undone), a number as written
    std::vector<PdfObject> items;                           // Array
    std::vector<std::pair<std::string, PdfObject>> entries; // Dictionary, and a Stream's dictionary
    std::uint32_t object = 0;                               // Reference: the object's number; Stream: its own, where known
    std::uint32_t generation = 0;
    std::size_t streamStart = 0;                            // Stream: where its data starts in the file

    bool Is(Kind k) const { return kind == k; }
    bool IsNumber() const { return kind == Kind::Integer || kind == Kind::Real; }
    bool IsName(const char* name) const { return kind == Kind::Name && text == name; }
    bool IsDictionary() const { return kind == Kind::Dictionary || kind == Kind::Stream; }
    // A dictionary's (or stream's) entry, or null.
    const PdfObject* Find(const std::string& key) const;
};

// A number that must be whole and within [low, high]: false for anything else (a real with a
// fraction, an overflow, no number), so that no conversion goes out of range.
bool PdfWhole(const PdfObject& object, std::int64_t low, std::int64_t high, std::int64_t& value);
// A whole number within what any count, offset or size of a document takes (2^53 either way),
// or `otherwise`.
std::int64_t PdfInt(const PdfObject& object, std::int64_t otherwise);
// A number as the document writes it, for messages.
std::string PdfWritten(const PdfObject& object);
// A text string's characters: UTF-16 after its byte order mark, else PDFDocEncoding (taken as
// Latin-1, which it is for every letter a title holds).
Text PdfText(const std::string& bytes);

// Where a parse stands in a span of bytes.
class PdfParser {
public:
    PdfParser(const std::uint8_t* data, std::size_t size, std::size_t at = 0) : data_(data), size_(size), at_(at) {}
    std::size_t At() const { return at_; }
    void Seek(std::size_t at) { at_ = at < size_ ? at : size_; }
    bool AtEnd() { SkipSpace(); return at_ >= size_; }

    // One object: "N G R" read as a reference. False for anything else, or nesting deeper than 100.
    bool Object(PdfObject& out) { return Parse(out, 0); }
    // "N G obj", its object, and for a stream the data's start (the caller reads its length);
    // false when what stands there is no indirect object.
    bool Indirect(std::uint32_t& number, std::uint32_t& generation, PdfObject& out);
    // A keyword (a run of regular characters) if one stands next; the place is kept otherwise.
    bool Keyword(const char* word);
    // The next run of regular characters, taken; empty at a delimiter or the end.
    std::string Regular();
    // A whole number that stands next (digits only), taken; false and nothing taken otherwise.
    bool Whole(std::uint64_t& value);
    void SkipSpace();
    // Whether the next byte starts an object (not an operator or keyword).
    bool ObjectNext();

    static bool IsSpace(std::uint8_t c) { return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32; }
    static bool IsDelimiter(std::uint8_t c) {
        return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}' || c == '/' || c == '%';
    }

private:
    bool Parse(PdfObject& out, int depth);
    bool Literal(std::string& out);
    bool Hex(std::string& out);
    bool NameText(std::string& out);

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_;
};

} // namespace scanleaf::core
