#include "tools/card/batch/Resume.h"

#include "hostenv/ComError.h"
#include "hostenv/LongPath.h"
#include "hostenv/Unique.h"
#include "tools/card/batch/Console.h"
#include "tools/card/batch/Files.h"
#include "tools/card/batch/Outputs.h"

#include <vector>

namespace card {

LineLog::~LineLog() { Close(); }

void LineLog::Close() {
    read_.Reset();
    append_.Reset();
}

HRESULT LineLog::Open(const std::wstring& path) {
    Close();
    readAt_ = 0;
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
    read_.Reset(_wfopen(scanleaf::FileSystemPath(path).c_str(), L"rb"));
    append_.Reset(_wfopen(scanleaf::FileSystemPath(path).c_str(), L"ab"));
    if (!read_ || !append_) return E_ACCESSDENIED;
    return S_OK;
}

bool LineLog::NextKept(std::string& line) {
    line.clear();
    if (!read_) return false;
    while (readAt_ < kept_) {
        const int c = fgetc(read_.Get());
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
    return append_ && fwrite(line.data(), 1, line.size(), append_.Get()) == line.size() && fwrite("\r\n", 1, 2, append_.Get()) == 2 &&
           fflush(append_.Get()) == 0;
}

HRESULT KeptRows::Open(const std::wstring& path, const std::wstring& run) {
    path_ = path;
    rows_.clear();
    restarted_ = false;
    HRESULT hr = log_.Open(path);
    if (FAILED(hr)) return hr;
    std::string line;
    std::wstring keptRun;
    const bool empty = log_.Empty();
    if (!empty && log_.NextKept(line) && scanleaf::core::ParseRunLine(line, keptRun) && keptRun == run) {
        scanleaf::core::KeptRow row;
        // A line that is no row (a file edited by hand) is passed over: its source is done again.
        while (log_.NextKept(line))
            if (scanleaf::core::ParseKeptRow(line, row)) rows_[Lower(row.path)] = row;
        return S_OK;
    }
    if (!empty) {
        restarted_ = true;
        log_.Close();
        if (!DeleteFileW(scanleaf::FileSystemPath(path).c_str())) return scanleaf::LastErrorAsHresult();
        hr = log_.Open(path);
        if (FAILED(hr)) return hr;
    }
    return log_.Append(scanleaf::core::FormatRunLine(run)) ? S_OK : scanleaf::LastErrorAsHresult();
}

const scanleaf::core::KeptRow* KeptRows::Find(const std::wstring& path) const {
    const auto found = rows_.find(Lower(path));
    return found == rows_.end() ? nullptr : &found->second;
}

bool KeptRows::Append(const scanleaf::core::KeptRow& row) { return log_.Append(scanleaf::core::FormatKeptRow(row)); }

Resumed LookUp(const KeptRows& rows, const std::wstring& path) {
    Resumed r;
    r.identity.path = path;
    r.identified = IdentifyFile(path, r.identity.size, r.identity.hash);
    const scanleaf::core::KeptRow* kept = rows.Find(path);
    if (!kept) return r;
    if (r.identified && kept->size == r.identity.size && kept->hash == r.identity.hash)
        r.row = &kept->row;
    else
        r.changed = true;
    return r;
}

bool ResumableRows::Open(const std::wstring& table, const std::wstring& run, const wchar_t* dropped) {
    table_ = table;
    if (table.empty()) return true;
    const std::wstring rowsPath = table + L".rows";
    const HRESULT hr = kept_.Open(rowsPath, run);
    if (FAILED(hr)) {
        Err(rowsPath + L": " + SystemErrorText(hr) + L"\n");
        return false;
    }
    if (kept_.Restarted()) Err(rowsPath + L": " + dropped + L"\n");
    return true;
}

Resumed ResumableRows::LookUp(const std::wstring& path) const { return On() ? card::LookUp(kept_, path) : Resumed(); }

void ResumableRows::Keep(const Resumed& resumed, const std::string& row) {
    if (!On() || !stopped_.empty()) return;
    if (resumed.changed) Err(resumed.identity.path + L": read again: it changed since the stopped run\n");
    scanleaf::core::KeptRow kept = resumed.identity;
    kept.row = row;
    if (!resumed.identified) kept.size = kept.hash = 0; // never taken as it was
    if (!kept_.Append(kept)) stopped_ = table_ + L".rows: cannot be written";
}

void KeptRows::Remove() {
    log_.Close();
    if (!path_.empty()) DeleteFileW(scanleaf::FileSystemPath(path_).c_str());
}

} // namespace card
