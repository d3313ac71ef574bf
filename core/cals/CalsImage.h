// What a CALS header says of its picture: the type, the size in pels and lines ("rpelcnt"), the
// density ("rdensty") and the orientation ("rorient"), read from whichever slot holds each
// record; and the orientation applied to a decoded picture.
#pragma once

#include "core/cals/HeaderRecord.h"

#include <cstdint>
#include <string>
#include <vector>

namespace scanleaf::core {

struct CalsImageInfo {
    bool type1 = false;          // "rtype: 1"
    bool sizeKnown = false;      // "rpelcnt: PELS,LINES", both above 0
    std::uint32_t width = 0;     // pels per line
    std::uint32_t height = 0;    // lines
    std::uint32_t density = 0;   // dots per inch; 0 when not given
    bool orientationKnown = false;
    int pelPath = 0;             // degrees counter-clockwise from the x axis: 0, 90, 180 or 270
    int lineProgression = 270;   // degrees counter-clockwise from the pel path: 90 or 270
    Text densityRecord;          // the rdensty and rorient records' values as written; empty
    Text orientationRecord;      // when the header has none
};

// The densities that scanners of drawings use; a header outside them is named, not drawn.
inline constexpr std::uint32_t kMinDensity = 50, kMaxDensity = 2400;

// The one rule for the pels per inch of a new drawing, from a picture's stated resolution (x
// and y in pels per inch; 0: not stated). A resolution that is not stated, one of 72 or 96 (what
// programs write, and Windows' decoders report, when they know none), one that differs across
// and down, or one outside kMinDensity to kMaxDensity gives no density: 0, with `why` ("gives 96
// dpi, which programs write when they know none"). `--dpi` is the caller's way out.
std::uint32_t DrawingDensity(double x, double y, std::string& why);

// Why a drawing cannot be drawn as its header says: an rdensty that gives no density from
// kMinDensity to kMaxDensity, or an rorient that is none of the eight orientations. A record of
// "NONE" says nothing, and the default stands. Empty when it can.
std::string DrawingHeaderProblem(const CalsImageInfo& info);

// The header's records, read as ASCII (the numbers and names here are ASCII in every code page).
CalsImageInfo ReadImageInfo(const unsigned char* header);

// The records a picture gives a header, as a new header writes them: rtype, rorient, rpelcnt and
// rdensty, numbers with leading zeros.
struct PictureRecord {
    const char* name;
    std::string text;
};
std::vector<PictureRecord> PictureRecords(std::uint32_t width, std::uint32_t height, std::uint32_t dpi, int pelPath,
                                          int lineProgression);

// A new type 1 header: the eleven records in the standard's order, each alone in its 128-byte
// slot and padded with blanks, "NONE" where nothing is known, and five blank slots.
std::string NewCalsHeader(std::uint32_t width, std::uint32_t height, std::uint32_t dpi, int pelPath,
                          int lineProgression);

// Sets the line count of the header's rpelcnt record (the first one, as ReadImageInfo reads it)
// in place: the digits keep their number with leading zeros, and take blanks after them when
// the new count needs more; no other byte changes. False (and nothing changed) when the record is
// not "rpelcnt: PELS,LINES" or has no room for the count.
bool SetLineCount(std::string& header, std::uint32_t lines);

// Whether kHeaderSize bytes are a CALS header at all, before anything is read from them as one.
// Every writer fills all 16 slots with text (records, then blanks or NULs) and writes "rtype" and
// "rpelcnt"; a picture or archive of another format renamed ".cal" has control bytes in its first
// 2048, and a text file lacks those two records at the start of a slot.
enum class HeaderKind {
    Cals,
    Binary,         // a slot holds a byte below 0x20 (other than tab, CR and LF) or 0x7F before its first NUL
    MissingRecords, // text, but without both "rtype" and "rpelcnt" records
};
HeaderKind ClassifyHeader(const unsigned char* header);

// Where a decoded pixel (pel x of line y, of a picture `width` pels by `height` lines) is shown
// upright, following the standard's angles: the pel path's direction, and the line progression's
// counter-clockwise from it. "000,270" leaves the picture as decoded; "090,270" turns it a quarter
// to the left, and so on for the eight cases.
class Orientation {
public:
    Orientation(int pelPath, int lineProgression, std::uint32_t width, std::uint32_t height);
    std::uint32_t ShownWidth() const { return turned_ ? height_ : width_; }
    std::uint32_t ShownHeight() const { return turned_ ? width_ : height_; }
    // Whether pels run up or down: the shown picture is as wide as the stored one is high.
    bool Turned() const { return turned_; }
    void Place(std::uint32_t x, std::uint32_t y, std::uint32_t& shownX, std::uint32_t& shownY) const;
    // The stored pels [x0, x1) by lines [y0, y1) that show as the shown rectangle [left, right) by
    // [top, bottom) (within the shown picture).
    void Stored(std::uint32_t left, std::uint32_t top, std::uint32_t right, std::uint32_t bottom, std::uint32_t& x0,
                std::uint32_t& y0, std::uint32_t& x1, std::uint32_t& y1) const;
    // A grey picture (width by height bytes, row after row) as shown.
    std::vector<std::uint8_t> Apply(const std::vector<std::uint8_t>& grey) const;

private:
    std::uint32_t width_, height_;
    bool turned_ = false;   // pels run up or down
    bool pelsBack_ = false; // pels run left, or up
    bool linesBack_ = false; // lines run up, or left
};

// The orientation the header gives (upright, 000,270, when it gives none it knows) for a
// picture of that size.
Orientation ShownAs(const CalsImageInfo& info, std::uint32_t width, std::uint32_t height);

} // namespace scanleaf::core
