// The preview pane on a real display (Xvfb), driven as the preview host drives it, with the time
// each message keeps the UI thread measured: the first paint, every message while the drawing
// loads, and zoom, pan and key steps, on a dense A0 drawing at 400 dpi and on hostile streams;
// the time until the drawing shows as far as it will, the process's peak memory, and the pixels
// equal to the core's once shown. The file can be deleted while shown. The thumbnail decoder
// gives up on the hostile stream within its time. Each case prints its figures.
#include "codec/CalsFrame.h"
#include "codec/PaneDecoding.h"
#include "core/cals/CalsImage.h"
#include "core/fax/Group4Encoder.h"
#include "tests/support/CodecDll.h"
#include "tests/support/PreviewHost.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <psapi.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

using namespace scanleaf;
using namespace previewhost;

namespace {

template <class Step>
double Timed(Step&& step) {
    const double start = Now();
    step();
    return Now() - start;
}

// A0 at 400 dpi, dense: every line runs of 1 to 12 pels, its own (a 30 to 40 MB stream).
std::vector<unsigned char> DenseA0() {
    const std::uint32_t w = 13240, h = 18720;
    const std::string header = core::NewCalsHeader(w, h, 400, 0, 270);
    std::vector<unsigned char> file(header.begin(), header.end());
    core::Group4Encoder encoder(w);
    std::vector<std::uint8_t> row(encoder.RowBytes());
    std::uint32_t state = 2463534242u;
    for (std::uint32_t y = 0; y < h; ++y) {
        std::fill(row.begin(), row.end(), 0);
        bool black = false;
        for (std::uint32_t x = 0; x < w;) {
            state ^= state << 13, state ^= state >> 17, state ^= state << 5;
            const std::uint32_t run = std::min(1 + state % 12, w - x);
            if (black)
                for (std::uint32_t i = x; i < x + run; ++i) row[i >> 3] |= std::uint8_t(0x80 >> (i & 7));
            x += run;
            black = !black;
        }
        encoder.AddRow(row.data());
    }
    encoder.Finish();
    file.insert(file.end(), encoder.Bytes().begin(), encoder.Bytes().end());
    return file;
}

// rpelcnt 200000,200000: a first line of 200,000 one-pel runs, then `megabytes` of codes that each
// copy the line above (100 MB: 4000 lines, seconds of decoding).
void WriteCopies(const std::wstring& path, int megabytes) {
    const std::string header = core::NewCalsHeader(200000, 200000, 200, 0, 270);
    std::ofstream out(testsupport::Narrow(path), std::ios::binary);
    out.write(header.data(), std::streamsize(header.size()));
    // Horizontal mode, a white run of 1, a black run of 1: 001 000111 010, twice in three bytes.
    std::vector<char> first(150000);
    for (std::size_t i = 0; i < first.size(); i += 3) first[i] = '\x23', first[i + 1] = '\xA2', first[i + 2] = '\x3A';
    out.write(first.data(), std::streamsize(first.size()));
    const std::vector<char> copies(1 << 20, '\xFF');
    for (int mb = 0; mb < megabytes; ++mb) out.write(copies.data(), std::streamsize(copies.size()));
}

void WriteHostile(const std::wstring& path) { WriteCopies(path, 100); }

// rpelcnt 1048576,1048576 in 256 bytes: white lines of a code each, 128 KB a line to hold.
void WriteWide(const std::wstring& path) {
    const std::string header = core::NewCalsHeader(1u << 20, 1u << 20, 200, 0, 270);
    std::ofstream out(testsupport::Narrow(path), std::ios::binary);
    out.write(header.data(), std::streamsize(header.size()));
    const std::vector<char> codes(1 << 17, '\xFF');
    out.write(codes.data(), std::streamsize(codes.size()));
}

double PeakMegabytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return double(counters.PeakPagefileUsage) / (1 << 20);
}

struct Figures {
    double initialize = 0, firstPaint = 0, loadingMessage = 0, shown = 0, zoom = 0, pan = 0, key = 0, settledMessage = 0;
};

// The preview host's sequence on `path`, then the user's steps, each message timed.
Figures Drive(const std::wstring& path, HostWindow& host, const RECT& rect, Previewed& p, double loadSeconds) {
    Figures f;
    HWND pane = nullptr;
    f.initialize = Timed([&] { p = Preview(path, host.Get(), rect); });
    EXPECT_HRESULT_SUCCEEDED(p.hr);
    pane = host.Pane();
    if (!pane) return f;
    f.firstPaint = Timed([&] { UpdateWindow(pane); });
    EXPECT_TRUE(DeleteFileW(path.c_str())) << "the file is held while shown: " << GetLastError();
    const double start = Now();
    EXPECT_TRUE(Settle(pane, DWORD(loadSeconds * 1000), &f.loadingMessage)) << testsupport::Narrow(StateOf(pane));
    f.shown = Now() - start;
    // Steps as a user takes them: each message with its paint, the pictures arriving between.
    POINT middle{(rect.right - rect.left) / 3, (rect.bottom - rect.top) / 2};
    ClientToScreen(pane, &middle);
    auto step = [&](UINT message, WPARAM w, LPARAM l) {
        const double t = Timed([&] {
            SendMessageW(pane, message, w, l);
            UpdateWindow(pane);
        });
        f.settledMessage = std::max(f.settledMessage, Pump());
        return t;
    };
    for (int i = 0; i < 6; ++i) f.zoom = std::max(f.zoom, step(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(middle.x, middle.y)));
    step(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 200));
    for (int i = 1; i <= 20; ++i) f.pan = std::max(f.pan, step(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(200 - 7 * i, 200 - 5 * i)));
    step(WM_LBUTTONUP, 0, MAKELPARAM(60, 100));
    for (const auto& [message, code] : {std::pair<UINT, WPARAM>{WM_KEYDOWN, VK_RIGHT}, {WM_KEYDOWN, VK_DOWN}, {WM_CHAR, '-'},
                                       {WM_CHAR, '+'}, {WM_KEYDOWN, VK_LEFT}, {WM_CHAR, '0'}})
        f.key = std::max(f.key, step(message, code, 0));
    EXPECT_TRUE(Settle(pane, 30000, &f.settledMessage));
    return f;
}

void Print(const char* name, const Figures& f) {
    std::printf("pane %s: initialize %.0f ms; UI thread kept by the first paint %.1f ms, a message while loading %.1f ms at most, "
                "a zoom step %.1f ms, a pan step %.1f ms, a key %.1f ms, a message after %.1f ms; shown in %.0f ms; peak %.0f MB\n",
                name, f.initialize, f.firstPaint, f.loadingMessage, f.zoom, f.pan, f.key, f.settledMessage, f.shown, PeakMegabytes());
}

class PaneTiming : public testing::Test {
protected:
    void SetUp() override { ASSERT_HRESULT_SUCCEEDED(dll.Call("DllRegisterServer")); }
    void TearDown() override { dll.Call("DllUnregisterServer"); }
    testsupport::CodecDll dll;
    testsupport::TempFolder folder;
};

TEST_F(PaneTiming, ADenseA0NeverKeepsTheUIThreadAndShowsWithinFiveSeconds) {
    const std::vector<unsigned char> file = DenseA0();
    const std::wstring path = folder.File(L"a0.cal");
    testsupport::WriteBytes(path, file);
    std::printf("dense A0: 13240 x 18720 pels, %.1f MB stream\n", double(file.size() - core::kHeaderSize) / (1 << 20));
    HostWindow host(1000, 760, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    ASSERT_TRUE(host.Get());
    RECT rect{};
    GetClientRect(host.Get(), &rect);
    Previewed p;
    const Figures f = Drive(path, host, rect, p, 20);
    Print("dense A0", f);
    EXPECT_LE(f.firstPaint, 300);
    EXPECT_LE(f.loadingMessage, 100);
    EXPECT_LE(f.zoom, 100);
    EXPECT_LE(f.pan, 100);
    EXPECT_LE(f.key, 100);
    EXPECT_LE(f.shown, 5000);
    EXPECT_EQ(L"Shown.", StateOf(host.Pane()));
    // Fitted again: the core's own rendering.
    const Picture picture = Capture(host.Pane());
    const core::ViewRect at = picture.Drawing();
    EXPECT_EQ(CoreView(file, at), GreyOf(picture, at));
    if (p.handler) {
        EXPECT_HRESULT_SUCCEEDED(p.handler->Unload());
    }
}

TEST_F(PaneTiming, HostileStreamsNeverKeepTheUIThreadAndEndWithinTheirBudgets) {
    const struct {
        const char* name;
        void (*write)(const std::wstring&);
        const wchar_t* ending; // the state's start once it has ended
    } cases[] = {
        // Decodes whole within the time on this machine (its data ends first), or stops at it.
        {"hostile stream", WriteHostile, nullptr},
        {"1048576 pels square in 128 KB", WriteWide, L"Shown down to line 2048: the rest would take more than 256 MB to show."},
    };
    for (const auto& c : cases) {
        const std::wstring path = folder.File(L"hostile.cal");
        c.write(path);
        HostWindow host(900, 700, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
        RECT rect{};
        GetClientRect(host.Get(), &rect);
        Previewed p;
        const Figures f = Drive(path, host, rect, p, 30);
        Print(c.name, f);
        EXPECT_LE(f.firstPaint, 100) << c.name;
        EXPECT_LE(f.loadingMessage, 100) << c.name;
        EXPECT_LE(f.zoom, 100) << c.name;
        EXPECT_LE(f.pan, 100) << c.name;
        EXPECT_LE(f.key, 100) << c.name;
        EXPECT_LE(f.settledMessage, 100) << c.name;
        EXPECT_LE(f.shown, PaneDecoding::kTimeBudgetMs + 2000) << c.name;
        const std::wstring state = StateOf(host.Pane());
        if (c.ending)
            EXPECT_EQ(c.ending, state) << c.name;
        else
            EXPECT_TRUE(state.rfind(L"Damaged: the data ends in line ", 0) == 0 ||
                        state.find(L": decoding it whole takes longer than a preview waits.") != std::wstring::npos)
                << testsupport::Narrow(state);
        // Unload ends the decoding thread at once.
        if (p.handler) {
            EXPECT_LE(Timed([&] { EXPECT_HRESULT_SUCCEEDED(p.handler->Unload()); }), 100) << c.name;
        }
    }
}

TEST_F(PaneTiming, TheThumbnailOfAHostileStreamFailsWithinItsTime) {
    // Codes that take longer than the decoder's time on any machine here: 300 MB, or 160 MB in a
    // 32-bit process, whose address space seldom has room for 300 MB in one piece.
    const std::wstring path = folder.File(L"hostile.cal");
    WriteCopies(path, sizeof(void*) == 4 ? 160 : 300);
    ComPtr<IWICImagingFactory> factory;
    ASSERT_HRESULT_SUCCEEDED(
        CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory, factory.PutVoid()));
    ComPtr<IWICBitmapDecoder> decoder;
    ASSERT_HRESULT_SUCCEEDED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                                                decoder.Put()));
    ComPtr<IWICBitmapFrameDecode> frame;
    ASSERT_HRESULT_SUCCEEDED(decoder->GetFrame(0, frame.Put()));
    ComPtr<IWICBitmapSourceTransform> transform;
    ASSERT_HRESULT_SUCCEEDED(frame->QueryInterface(IID_IWICBitmapSourceTransform, transform.PutVoid()));
    std::vector<BYTE> pixels(256 * 256);
    WICPixelFormatGUID grey = GUID_WICPixelFormat8bppGray;
    HRESULT hr = S_OK;
    const double took = Timed([&] {
        hr = transform->CopyPixels(nullptr, 256, 256, &grey, WICBitmapTransformRotate0, 256, UINT(pixels.size()), pixels.data());
    });
    std::printf("thumbnail of the hostile stream: 0x%08lx after %.0f ms\n", static_cast<unsigned long>(hr), took);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_TIMEOUT), hr);
    EXPECT_LE(took, CCalsFrame::kDecodeBudgetMs + 1000);
}

} // namespace
