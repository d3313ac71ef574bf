// Pictures that the Windows Imaging Component decodes (TIFF, PNG, BMP, GIF, JPEG, ...), read
// frame by frame as packed bilevel rows, a band at a time.
#pragma once

#include "hostenv/ComPtr.h"

#include <windows.h>
#include <wincodec.h>

#include <cstdint>
#include <string>
#include <vector>

namespace card {

enum class PelKind { Bilevel, Grey, Colour };

class PictureFrame {
public:
    std::uint32_t Width() const { return width_; }
    std::uint32_t Height() const { return height_; }
    PelKind Kind() const { return kind_; }
    // Pels per inch across and down, as the decoder reports them (formats without one report 96
    // or 72; 0 where the decoder reports none).
    void Resolution(double& x, double& y) const {
        x = dpiX_;
        y = dpiY_;
    }

    // `count` rows from row `y` into `rows` (`stride` bytes apart), most significant bit first,
    // 1 = black. Grey and colour pels are black below `thresholdPercent` of full lightness.
    HRESULT ReadRows(std::uint32_t y, std::uint32_t count, std::uint8_t* rows, std::size_t stride,
                     int thresholdPercent);

private:
    friend class PictureFile;
    enum class Path { BlackWhite, Indexed, Grey };
    scanleaf::ComPtr<IWICBitmapFrameDecode> frame_;
    scanleaf::ComPtr<IWICBitmapSource> pels_; // grey and colour: 8-bit grey or 32-bit BGRA pels
    std::size_t pelBytes_ = 1;
    std::uint32_t width_ = 0, height_ = 0;
    double dpiX_ = 0, dpiY_ = 0;
    PelKind kind_ = PelKind::Colour;
    Path path_ = Path::Grey;
    std::uint8_t indexedFlip_ = 0;  // 1-bit indexed: XOR that makes 1 black
    std::uint8_t indexedFill_ = 0;  // both entries alike: 0x00 or 0xFF for every byte; else 0
    bool indexedSame_ = false;
    std::vector<std::uint8_t> band_; // the pels of the band being read
};

class PictureFile {
public:
    // COM is initialised by the caller.
    HRESULT Open(const std::wstring& path);
    // A picture held in memory (a PDF page's JPEG); the bytes are kept while it is read.
    HRESULT OpenBytes(std::string bytes);
    std::uint32_t Frames() const { return frames_; }
    HRESULT Frame(std::uint32_t index, PictureFrame& frame);

private:
    scanleaf::ComPtr<IWICImagingFactory> factory_;
    scanleaf::ComPtr<IWICBitmapDecoder> decoder_;
    scanleaf::ComPtr<IWICStream> stream_;
    std::string bytes_;
    std::uint32_t frames_ = 0;
};

} // namespace card
