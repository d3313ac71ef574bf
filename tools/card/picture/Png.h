// PNG files through the Windows Imaging Component's own encoder, written line by line.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace card {

class PngWriter {
public:
    enum class Pixels { Grey8, BlackWhite }; // BlackWhite: packed, most significant bit first, 1 = white
    PngWriter();
    ~PngWriter();
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;

    HRESULT Begin(const std::wstring& path, std::uint32_t width, std::uint32_t height, Pixels pixels, double dpi);
    // The same into a stream of the caller's (kept referenced until the writer ends).
    HRESULT Begin(IStream* stream, std::uint32_t width, std::uint32_t height, Pixels pixels, double dpi);
    // The next `lines` lines, `stride` bytes apart.
    HRESULT Write(const std::uint8_t* lines, std::uint32_t count, std::uint32_t stride);
    // Completes the file; a writer not finished leaves no file behind.
    HRESULT Finish();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A grey picture (width by height bytes) as one PNG file, or as the bytes of one.
HRESULT WriteGreyPng(const std::wstring& path, std::uint32_t width, std::uint32_t height,
                     const std::vector<std::uint8_t>& grey, double dpi);
HRESULT GreyPngBytes(std::uint32_t width, std::uint32_t height, const std::vector<std::uint8_t>& grey, double dpi,
                     std::string& bytes);

} // namespace card
