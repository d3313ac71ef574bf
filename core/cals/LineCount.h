// What a type 1 drawing's own stream proves of its line count: the one header damage that can be
// mended from the file alone, by `repair`.
#pragma once

#include "core/fax/Group4.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace scanleaf::core {

enum class LineCountVerdict {
    Sound,    // the end-of-block code after rpelcnt's lines
    Mend,     // the end-of-block code after another number of whole lines: `header` says it
    Short,    // shorter than a header
    NotType1, // no Group 4 stream to tell its lines
    NoSize,   // no usable rpelcnt
    CutShort, // the stream ends without its end-of-block code
    Fails,    // the stream fails (a wrong width or damaged data): `stop` says how
    NoLine,   // the end-of-block code before any line
    NoRoom,   // rpelcnt has no room for the decoded count
};

struct LineCountProof {
    LineCountVerdict verdict = LineCountVerdict::Short;
    std::uint32_t lines = 0;   // rpelcnt's
    std::uint32_t decoded = 0; // whole lines before the stream stopped
    G4Stop stop = G4Stop::None;
    std::string header;        // Mend: the file's header with the decoded count, no other byte changed
};

// The proof from a whole file's bytes (its header and stream); the stream is decoded to its end,
// so the time is the stream's, the memory a line's.
LineCountProof ProveLineCount(const unsigned char* file, std::size_t size);

} // namespace scanleaf::core
