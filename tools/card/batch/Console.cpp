#include "tools/card/batch/Console.h"

#include <cstdio>
#include <cwchar>
#include <io.h>
#include <mutex>

#include "hostenv/Unique.h"

namespace card {

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

namespace {

// Whole lines only: standard output and error often go to one log file, and a line must not be
// cut by the other stream's. A line is written (and flushed) once its end is there; the rest
// waits for it, or for FlushOutput. A progress line shown on the terminal is cleared before any
// line is written, so that no line lands on it; the next step draws it again.
std::mutex outputLock;
bool progressShown = false;

void ClearProgressLocked() {
    if (!progressShown) return;
    fputs("\r\x1b[K", stderr);
    fflush(stderr);
    progressShown = false;
}

constexpr size_t kLongestHeld = size_t(1) << 20;

class LineWriter {
public:
    explicit LineWriter(FILE* file) : file_(file) {}
    bool Add(const char* bytes, size_t size) {
        std::lock_guard<std::mutex> hold(outputLock);
        pending_.append(bytes, size);
        size_t end = pending_.find_last_of('\n');
        // A line longer than this (show --json writes one array) goes out in pieces, so that
        // memory stays small.
        if (end == std::string::npos && pending_.size() >= kLongestHeld) end = pending_.size() - 1;
        if (end == std::string::npos) return ok_;
        ClearProgressLocked();
        ok_ = fwrite(pending_.data(), 1, end + 1, file_) == end + 1 && fflush(file_) == 0 && ok_;
        pending_.erase(0, end + 1);
        return ok_;
    }
    bool Flush() {
        std::lock_guard<std::mutex> hold(outputLock);
        if (!pending_.empty()) {
            ClearProgressLocked();
            ok_ = fwrite(pending_.data(), 1, pending_.size(), file_) == pending_.size() && ok_;
        }
        pending_.clear();
        return fflush(file_) == 0 && ok_;
    }

private:
    FILE* file_;
    std::string pending_;
    bool ok_ = true;
};

LineWriter& StandardOutput() {
    static LineWriter writer(stdout);
    return writer;
}

LineWriter& StandardError() {
    static LineWriter writer(stderr);
    return writer;
}

} // namespace

void Out(const std::wstring& text) { WriteOut(Utf8(text)); }

bool WriteOut(const std::string& bytes) { return StandardOutput().Add(bytes.data(), bytes.size()); }

void Err(const std::wstring& text) {
    const std::string bytes = Utf8(text);
    StandardError().Add(bytes.data(), bytes.size());
}

void ShowProgress(const std::wstring& line) {
    const std::string bytes = Utf8(L"\r" + line + L"\x1b[K");
    std::lock_guard<std::mutex> hold(outputLock);
    fwrite(bytes.data(), 1, bytes.size(), stderr);
    fflush(stderr);
    progressShown = true;
}

void ClearProgress() {
    std::lock_guard<std::mutex> hold(outputLock);
    ClearProgressLocked();
}

bool FlushOutput() {
    const bool out = StandardOutput().Flush();
    const bool err = StandardError().Flush();
    ClearProgress();
    return out && err;
}

std::wstring SystemErrorText(HRESULT hr) {
    std::wstring text = L"failed";
    scanleaf::LocalMemory<wchar_t> message;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(message.Put()), 0, nullptr);
    if (n && message) {
        text.assign(message.Get(), n);
        while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.')) text.pop_back();
    }
    wchar_t code[16];
    swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return text + L" (" + code + L")";
}

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

} // namespace card
