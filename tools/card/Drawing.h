// A CALS file's picture as the card tool reads it: mapped (never loaded whole), its header's
// image records, and its Group 4 stream decoded line by line.
#pragma once

#include "core/CalsImage.h"
#include "core/Group4.h"

#include <windows.h>

#include <string>
#include <vector>

namespace card {

// What decoding a file in full found.
struct DrawingCheck {
    std::wstring unreadable;             // why the file could not be read; empty when it could
    scanleaf::core::CalsImageInfo info;
    std::uint32_t rows = 0;              // lines decoded
    scanleaf::core::G4Stop stop = scanleaf::core::G4Stop::None;
    bool moreRows = false;               // the stream goes on after the lines the header names
    std::uint64_t trailing = 0;          // bytes after the end-of-block code
    std::uint64_t streamBytes = 0;

    bool Decodable() const { return unreadable.empty() && info.type1 && info.sizeKnown; }
    // Readable, type 1, every line the header names, nothing wrong in the stream.
    bool Sound() const;
    // The first thing wrong, in words; empty when sound.
    std::wstring Problem() const;
};

// What takes the picture as it is decoded: first what the header says, then each line.
class DrawingSink {
public:
    virtual ~DrawingSink() = default;
    virtual void Begin(const scanleaf::core::CalsImageInfo&) {}
    // A line: its changing elements, and its pels packed (most significant bit first, 1 = black).
    virtual void Line(const std::vector<std::uint32_t>& changes, const std::uint8_t* packed) = 0;
};

// Decodes the file in full; each decoded line (at most the lines the header names) goes to the
// sink, if one is given.
DrawingCheck DecodeDrawing(const std::wstring& path, DrawingSink* sink = nullptr);

} // namespace card
