#include "tools/card/Resume.h"
#include "hostenv/LongPath.h"

#include "hostenv/ComError.h"
#include "hostenv/FileHandle.h"

#include <vector>

namespace card {

LineLog::~LineLog() { Close(); }

void LineLog::Close() {
    if (read_) fclose(read_);
    if (append_) fclose(append_);
    read_ = append_ = nullptr;
}

HRESULT LineLog::Open(const std::wstring& path) {
    // The whole lines' end: after the last CRLF (a line cut short by a stop has none).
    {
        scanleaf::FileHandle file(CreateFileW(scanleaf::FileSystemPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid()) return scanleaf::LastErrorAsHresult();
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file.Get(), &size)) return scanleaf::LastErrorAsHresult();
        std::uint64_t end = std::uint64_t(size.QuadPart);
        std::vector<char> block(65536);
        kept_ = 0;
        bool lastWasLf = false;
        while (end > 0 && kept_ == 0) {
            const std::uint64_t start = end > block.size() ? end - block.size() : 0;
            LARGE_INTEGER at;
            at.QuadPart = LONGLONG(start);
            DWORD got = 0;
            if (!SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN) ||
                !ReadFile(file.Get(), block.data(), DWORD(end - start), &got, nullptr) || got != end - start)
                return scanleaf::LastErrorAsHresult();
            for (std::uint64_t i = end - start; i-- > 0 && kept_ == 0;) {
                if (block[i] == '\r' && lastWasLf) kept_ = start + i + 2;
                lastWasLf = block[i] == '\n';
            }
            end = start;
        }
        LARGE_INTEGER cut;
        cut.QuadPart = LONGLONG(kept_);
        if (std::uint64_t(size.QuadPart) != kept_ &&
            (!SetFilePointerEx(file.Get(), cut, nullptr, FILE_BEGIN) || !SetEndOfFile(file.Get())))
            return scanleaf::LastErrorAsHresult();
    }
    read_ = _wfopen(scanleaf::FileSystemPath(path).c_str(), L"rb");
    append_ = _wfopen(scanleaf::FileSystemPath(path).c_str(), L"ab");
    if (!read_ || !append_) return E_ACCESSDENIED;
    return S_OK;
}

bool LineLog::NextKept(std::string& line) {
    line.clear();
    if (!read_) return false;
    while (readAt_ < kept_) {
        const int c = fgetc(read_);
        if (c == EOF) return false;
        ++readAt_;
        if (c == '\n' && !line.empty() && line.back() == '\r') {
            line.pop_back();
            return true;
        }
        line += char(c);
    }
    return false;
}

bool LineLog::Append(const std::string& line) {
    return append_ && fwrite(line.data(), 1, line.size(), append_) == line.size() && fwrite("\r\n", 1, 2, append_) == 2 &&
           fflush(append_) == 0;
}

} // namespace card
