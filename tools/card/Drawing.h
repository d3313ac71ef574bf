// A CALS file's picture as the card tool reads it: mapped (never loaded whole), its header's
// image records, and its Group 4 stream decoded line by line.
#pragma once

#include "core/CalsImage.h"
#include "core/Group4.h"

#include <windows.h>

#include <functional>
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

// Decodes the file in full; each decoded line's changing elements go to `line` (if given),
// at most the lines that the header names.
DrawingCheck DecodeDrawing(const std::wstring& path,
                           const std::function<void(const std::vector<std::uint32_t>&)>& line = {});

} // namespace card
