// libtiff's fax codec as the reference for the Group 4 decoder (native tests only: it does not
// ship): a packed bilevel image to a T.6 stream, and a stream back to rows, with the first line
// at which libtiff reported a problem.
#pragma once

#include <tiffio.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace libtiff {

using Rows = std::vector<std::vector<std::uint8_t>>; // packed, most significant bit first, 1 = black

// `height` rows of `width` pels drawn from `bits` over and over (all white when there are none),
// the pels past the width clear.
inline Rows DrawnRows(const std::vector<std::uint8_t>& bits, std::uint32_t width, std::uint32_t height) {
    const std::size_t rowBytes = (std::size_t(width) + 7) / 8;
    Rows rows;
    for (std::uint32_t r = 0; r < height; ++r) {
        std::vector<std::uint8_t> row(rowBytes, 0);
        for (std::size_t b = 0; b < rowBytes && !bits.empty(); ++b) row[b] = bits[(r * rowBytes + b) % bits.size()];
        if (width % 8) row.back() &= std::uint8_t(0xFF << (8 - width % 8));
        rows.push_back(row);
    }
    return rows;
}

// A temporary file, removed at the end.
class TempPath {
public:
    TempPath() {
        char name[] = "/tmp/scanleaf-g4-XXXXXX";
        const int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        path_ = name;
    }
    ~TempPath() { std::remove(path_.c_str()); }
    const char* c_str() const { return path_.c_str(); }

private:
    std::string path_;
};

// The coding of a fax stream: TIFF's compression, and T4Options for Group 3.
struct Coding {
    std::uint16_t compression = COMPRESSION_CCITTFAX4;
    std::uint32_t t4Options = 0;
};

inline void Describe(TIFF* tif, std::uint32_t width, std::uint32_t height, Coding coding = Coding()) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, coding.compression);
    if (coding.compression == COMPRESSION_CCITTFAX3) TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, coding.t4Options);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height);
}

inline std::vector<std::uint8_t> Encode(const Rows& rows, std::uint32_t width, Coding coding = Coding()) {
    TempPath path;
    TIFF* out = TIFFOpen(path.c_str(), "w");
    if (!out) return {};
    Describe(out, width, std::uint32_t(rows.size()), coding);
    for (std::uint32_t r = 0; r < rows.size(); ++r) {
        std::vector<std::uint8_t> row = rows[r];
        TIFFWriteScanline(out, row.data(), r, 0);
    }
    TIFFClose(out);
    TIFF* in = TIFFOpen(path.c_str(), "r");
    if (!in) return {};
    std::vector<std::uint8_t> raw(std::size_t(TIFFRawStripSize(in, 0)));
    const tmsize_t got = TIFFReadRawStrip(in, 0, raw.data(), tmsize_t(raw.size()));
    raw.resize(got > 0 ? std::size_t(got) : 0);
    TIFFClose(in);
    return raw;
}

// The first line libtiff's fax codec named in an error or a warning; -1 for none.
inline long& FirstProblemLine() {
    static long line = -1;
    return line;
}

inline void Note(const char*, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    const char* at = std::strstr(text, "line ");
    long line = at ? std::strtol(at + 5, nullptr, 10) : 0;
    if (FirstProblemLine() < 0 || line < FirstProblemLine()) FirstProblemLine() = line;
}

// A TIFF file whose one strip is the stream as it stands.
inline void WriteRaw(const std::vector<std::uint8_t>& stream, std::uint32_t width, std::uint32_t height, const char* path,
                     Coding coding = Coding()) {
    if (TIFF* out = TIFFOpen(path, "w")) {
        Describe(out, width, height, coding);
        std::vector<std::uint8_t> copy = stream;
        TIFFWriteRawStrip(out, 0, copy.empty() ? nullptr : copy.data(), tmsize_t(copy.size()));
        TIFFClose(out);
    }
}

// libtiff's rows of the stream; its first problem line in `problem` (-1: none).
inline Rows Decode(const std::vector<std::uint8_t>& stream, std::uint32_t width, std::uint32_t height, long& problem,
                   Coding coding = Coding()) {
    TIFFErrorHandler oldError = TIFFSetErrorHandler(Note), oldWarning = TIFFSetWarningHandler(Note);
    FirstProblemLine() = -1;
    Rows rows;
    TempPath path;
    WriteRaw(stream, width, height, path.c_str(), coding);
    if (TIFF* in = TIFFOpen(path.c_str(), "r")) {
        const std::size_t rowBytes = (std::size_t(width) + 7) / 8;
        std::vector<std::uint8_t> strip(rowBytes * height);
        if (TIFFReadEncodedStrip(in, 0, strip.data(), tmsize_t(strip.size())) < 0 && FirstProblemLine() < 0)
            FirstProblemLine() = 0;
        for (std::uint32_t r = 0; r < height; ++r)
            rows.emplace_back(strip.begin() + std::ptrdiff_t(r * rowBytes), strip.begin() + std::ptrdiff_t((r + 1) * rowBytes));
        TIFFClose(in);
    }
    TIFFSetErrorHandler(oldError);
    TIFFSetWarningHandler(oldWarning);
    problem = FirstProblemLine();
    return rows;
}

// A file's first page: its rows as libtiff decodes them, and its first strip as stored.
struct Page {
    std::uint32_t width = 0, height = 0;
    Rows rows;
    std::vector<std::uint8_t> strip;
};

inline bool ReadFirstPage(const char* path, Page& page) {
    TIFF* in = TIFFOpen(path, "r");
    if (!in) return false;
    TIFFGetField(in, TIFFTAG_IMAGEWIDTH, &page.width);
    TIFFGetField(in, TIFFTAG_IMAGELENGTH, &page.height);
    bool ok = true;
    std::vector<std::uint8_t> row(std::size_t(TIFFScanlineSize(in)));
    for (std::uint32_t r = 0; r < page.height && ok; ++r) {
        ok = TIFFReadScanline(in, row.data(), r, 0) >= 0;
        page.rows.push_back(row);
    }
    page.strip.resize(std::size_t(TIFFRawStripSize(in, 0)));
    const tmsize_t got = TIFFReadRawStrip(in, 0, page.strip.data(), tmsize_t(page.strip.size()));
    page.strip.resize(got > 0 ? std::size_t(got) : 0);
    TIFFClose(in);
    return ok;
}

} // namespace libtiff
