// A CALS file's picture as the card tool reads it: mapped (never loaded whole), its header's
// image records, and its Group 4 stream decoded line by line.
#pragma once

#include "core/cals/CalsImage.h"
#include "core/fax/Group4.h"
#include "core/view/Thumbnail.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace card {

// What decoding a file in full found.
struct DrawingCheck {
    std::wstring unreadable;             // why the file could not be read; empty when it could
    bool foreign = false;                // a file of another format (unreadable says so)
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
    // A line: its changing elements, and its pels packed (most significant bit first, 1 = black;
    // null for a sink that does not want them).
    virtual void Line(scanleaf::core::G4Changes changes, const std::uint8_t* packed) = 0;
    virtual bool WantsPels() const { return true; }
};

// A thumbnail scaled line by line (area averaging), shown upright as the header's orientation says.
class ThumbnailSink : public DrawingSink {
public:
    explicit ThumbnailSink(std::uint32_t longest);
    ~ThumbnailSink() override;
    void Begin(const scanleaf::core::CalsImageInfo& info) override;
    void Line(scanleaf::core::G4Changes changes, const std::uint8_t*) override;
    bool WantsPels() const override { return false; }
    struct Picture {
        std::uint32_t width = 0, height = 0;
        std::vector<std::uint8_t> grey; // 0 black, 255 white, row after row
        double dpi = 0;
    };
    // Once decoding is done.
    Picture Shown();

private:
    std::uint32_t longest_;
    scanleaf::core::CalsImageInfo info_;
    std::uint32_t width_ = 0, height_ = 0;
    std::unique_ptr<scanleaf::core::Thumbnailer> thumbnail_;
};

// Decodes the file in full; each decoded line (at most the lines the header names) goes to the
// sink, if one is given.
DrawingCheck DecodeDrawing(const std::wstring& path, DrawingSink* sink = nullptr);
// The same for a file's bytes already read.
DrawingCheck DecodeDrawing(const std::uint8_t* data, std::uint64_t size, DrawingSink* sink = nullptr);

} // namespace card
