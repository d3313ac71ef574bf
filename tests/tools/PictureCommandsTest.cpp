// verify and render on drawings of ImageMagick and GraphicsMagick, whole, cut short, corrupted
// or with a header that does not match; the PNG pictures read back through WIC.
#include "hostenv/ComPtr.h"
#include "tests/support/CalsFixtures.h"
#include "tests/tools/CardRun.h"

#include <gtest/gtest.h>

#include <wincodec.h>

#include <string>
#include <vector>

using namespace testsupport;

namespace {

class PictureCommands : public testing::Test {
protected:
    void SetUp() override {
        settings.WriteSettings(kCardSettings);
        for (const wchar_t* sample : {L"imagemagick-64x48.cal", L"graphicsmagick-97x61.cal"}) {
            ASSERT_TRUE(CopyFileW((ProgramFolder() + L"\\samples\\" + sample).c_str(), files.File(sample).c_str(), FALSE));
        }
    }
    std::wstring Damaged(const wchar_t* name, void (*spoil)(std::vector<unsigned char>&)) {
        std::vector<unsigned char> bytes = ReadBytes(files.File(L"imagemagick-64x48.cal"));
        spoil(bytes);
        WriteBytes(files.File(name), bytes);
        return files.File(name);
    }
    // A PNG's size and its pixel at (x, y) (its blue), through WIC's decoder.
    static bool ReadPng(const std::wstring& path, UINT& width, UINT& height, UINT x, UINT y, BYTE& grey) {
        scanleaf::ComPtr<IWICImagingFactory> factory;
        scanleaf::ComPtr<IWICBitmapDecoder> decoder;
        scanleaf::ComPtr<IWICBitmapFrameDecode> frame;
        scanleaf::ComPtr<IWICFormatConverter> converter;
        if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                    factory.PutVoid())) ||
            FAILED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                      WICDecodeMetadataCacheOnDemand, decoder.Put())) ||
            FAILED(decoder->GetFrame(0, frame.Put())) || FAILED(frame->GetSize(&width, &height)) ||
            FAILED(factory->CreateFormatConverter(converter.Put())) ||
            FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0,
                                         WICBitmapPaletteTypeCustom)))
            return false;
        // The whole line: Wine's converter refuses a rectangle that starts inside a byte of 1-bit pels.
        const WICRect line{0, INT(y), INT(width), 1};
        std::vector<BYTE> pixels(std::size_t(width) * 4);
        if (x >= width || FAILED(converter->CopyPixels(&line, width * 4, width * 4, pixels.data()))) return false;
        grey = pixels[std::size_t(x) * 4];
        return true;
    }

    HostSettings settings;
    TempFolder files;
    TempFolder scratch;
};

TEST_F(PictureCommands, VerifyNamesEveryDamagedDrawingAndWritesNothing) {
    Damaged(L"cut.cal", [](std::vector<unsigned char>& b) { b.resize(2048 + 100); });
    Damaged(L"flipped.cal", [](std::vector<unsigned char>& b) { b[2048 + 40] ^= 0xFF; b[2048 + 41] ^= 0xFF; });
    Damaged(L"short.cal", [](std::vector<unsigned char>& b) {
        const std::string header(b.begin(), b.begin() + 2048);
        const size_t at = header.find("rpelcnt: 000064,000048");
        ASSERT_NE(std::string::npos, at);
        b[at + 21] = '0'; // 48 lines become 40
    });
    Damaged(L"notype1.cal", [](std::vector<unsigned char>& b) {
        const size_t at = std::string(b.begin(), b.begin() + 2048).find("rtype: 1");
        ASSERT_NE(std::string::npos, at);
        b[at + 7] = '2';
    });
    ToolRun run = Card(L"verify " + Quoted(files.Path()), scratch);
    EXPECT_EQ(1u, run.exitCode) << run.err;
    const struct {
        const char* file;
        const char* says;
    } lines[] = {{"imagemagick-64x48.cal: sound, 48 lines, end of block", ""},
                 {"graphicsmagick-97x61.cal: sound, 61 lines, end of block", ""},
                 {"cut.cal: damaged: the data ends after line ", ""},
                 {"flipped.cal: damaged: ", " in line "},
                 {"short.cal: damaged: more lines than rpelcnt names (40)", ""},
                 {"notype1.cal: not type 1: not a type 1 CALS file", ""}};
    for (const auto& l : lines) {
        const size_t at = run.out.find(l.file);
        ASSERT_NE(std::string::npos, at) << l.file << "\n" << run.out;
        EXPECT_NE(std::string::npos, run.out.substr(at, run.out.find('\n', at) - at).find(l.says)) << run.out;
    }
    EXPECT_NE(std::string::npos, run.err.find("verify: files 6, sound 2, damaged 3, not type 1 1")) << run.err;

    run = Card(L"verify --format csv " + Quoted(files.File(L"imagemagick-64x48.cal")), scratch);
    EXPECT_EQ(0u, run.exitCode) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("SourceFile,Status,Type1,Width,Height,Lines,Ending,TrailingBytes,Problem\r\n"));
    EXPECT_NE(std::string::npos, run.out.find(",sound,yes,64,48,48,end of block,")) << run.out;
}

TEST_F(PictureCommands, RenderWritesUprightThumbnailsAndFullPictures) {
    const std::wstring im = files.File(L"imagemagick-64x48.cal");
    // The same drawing, its pels running up the page: shown a quarter turned.
    const std::wstring turned = Damaged(L"turned.cal", [](std::vector<unsigned char>& b) {
        const size_t at = std::string(b.begin(), b.begin() + 2048).find("rorient: 000,270");
        ASSERT_NE(std::string::npos, at);
        b[at + 10] = '9';
    });
    const struct {
        std::wstring args;
        const wchar_t* png;
        UINT width, height;
    } cases[] = {
        {L"-o " + Quoted(scratch.File(L"one.png")) + L" " + Quoted(im), L"one.png", 64, 48},
        {L"--size 16 -o " + Quoted(scratch.File(L"small.png")) + L" " + Quoted(im), L"small.png", 16, 12},
        {L"--size 0 -o " + Quoted(scratch.File(L"full.png")) + L" " + Quoted(im), L"full.png", 64, 48},
        {L"--size 32 -o " + Quoted(scratch.File(L"turned.png")) + L" " + Quoted(turned), L"turned.png", 24, 32},
        {L"--size 0 -o " + Quoted(scratch.File(L"turnedfull.png")) + L" " + Quoted(turned), L"turnedfull.png", 48, 64},
    };
    for (const auto& c : cases) {
        ToolRun run = Card(L"render " + c.args, scratch);
        EXPECT_EQ(0u, run.exitCode) << run.err;
        UINT width = 0, height = 0;
        BYTE grey = 0;
        ASSERT_TRUE(ReadPng(scratch.File(c.png), width, height, 0, 0, grey)) << Narrow(c.png);
        EXPECT_EQ(c.width, width) << Narrow(c.png);
        EXPECT_EQ(c.height, height) << Narrow(c.png);
    }
    // Full size: every pel as ImageMagick wrote it; the turned one holds the same pels elsewhere.
    UINT w = 0, h = 0;
    BYTE upright = 0, shown = 0;
    for (UINT x = 0; x < 64; x += 9) {
        ASSERT_TRUE(ReadPng(scratch.File(L"full.png"), w, h, x, 5, upright));
        ASSERT_TRUE(ReadPng(scratch.File(L"turnedfull.png"), w, h, 5, 63 - x, shown)); // pel x of line 5
        EXPECT_EQ(upright, shown) << x;
    }
    ToolRun folder = Card(L"render -o " + Quoted(scratch.File(L"thumbs")) + L" " + Quoted(files.Path()), scratch);
    EXPECT_EQ(0u, folder.exitCode) << folder.err;
    EXPECT_NE(std::string::npos, folder.err.find("render: pictures 3, failed 0")) << folder.err;
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(scratch.File(L"thumbs\\graphicsmagick-97x61.png").c_str()));
}

} // namespace
