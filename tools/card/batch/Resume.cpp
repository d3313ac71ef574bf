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

HRESULT LineLog::OpenToRead(const std::wstring& path) {
    Close();
    readAt_ = 0;
    read_.Reset(_wfopen(scanleaf::FileSystemPath(path).c_str(), L"rb"));
    if (!read_) return HRESULT_FROM_WIN32(GetFileAttributesW(scanleaf::FileSystemPath(path).c_str()) == INVALID_FILE_ATTRIBUTES
                                              ? ERROR_FILE_NOT_FOUND
                                              : ERROR_ACCESS_DENIED);
    // Whole lines only: NextKept stops at the end, and a last line without its CRLF is no row.
    kept_ = UINT64_MAX;
    return S_OK;
}

bool LineLog::NextKept(std::string& line) {
    line.clear();
    if (!read_) return false;
    while (readAt_ < kept_) {
        const int c = fgetc(read_.Get());
        if (c == EOF) return false; // (a line cut short, read to its end, is not handed back)
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

// The rows after a first line that names `run`; restarted_ when the file names another run.
void KeptRows::ReadRows(const std::wstring& run) {
    rows_.clear();
    std::string line;
    std::wstring keptRun;
    if (!log_.NextKept(line)) return;
    if (!scanleaf::core::ParseRunLine(line, keptRun) || keptRun != run) {
        restarted_ = true;
        return;
    }
    scanleaf::core::KeptRow row;
    // A line that is no row (a file edited by hand) is passed over: its source is done again.
    while (log_.NextKept(line))
        if (scanleaf::core::ParseKeptRow(line, row)) rows_[Lower(row.path)] = row;
}

HRESULT KeptRows::Open(const std::wstring& path, const std::wstring& run) {
    path_ = path;
    restarted_ = false;
    HRESULT hr = log_.Open(path);
    if (FAILED(hr)) return hr;
    const bool empty = log_.Empty();
    if (!empty) ReadRows(run);
    if (!empty && !restarted_) return S_OK;
    if (restarted_) {
        log_.Close();
        if (!DeleteFileW(scanleaf::FileSystemPath(path).c_str())) return scanleaf::LastErrorAsHresult();
        hr = log_.Open(path);
        if (FAILED(hr)) return hr;
    }
    return log_.Append(scanleaf::core::FormatRunLine(run)) ? S_OK : scanleaf::LastErrorAsHresult();
}

HRESULT KeptRows::Lend(const std::wstring& path, const std::wstring& run) {
    restarted_ = false;
    const HRESULT hr = log_.OpenToRead(path);
    if (FAILED(hr)) return hr;
    ReadRows(run);
    log_.Close();
    return S_OK;
}

const scanleaf::core::KeptRow* KeptRows::Find(const std::wstring& path) const {
    const auto found = rows_.find(Lower(path));
    return found == rows_.end() ? nullptr : &found->second;
}

bool KeptRows::Append(const scanleaf::core::KeptRow& row) { return log_.Append(scanleaf::core::FormatKeptRow(row)); }

Resumed Identify(const std::wstring& path) {
    Resumed r;
    r.identity.path = path;
    r.identified = IdentifyFile(path, r.identity.size, r.identity.hash);
    return r;
}

void Match(const KeptRows& rows, Resumed& r) {
    const scanleaf::core::KeptRow* kept = rows.Find(r.identity.path);
    if (!kept) return;
    if (r.identified && kept->size == r.identity.size && kept->hash == r.identity.hash)
        r.row = &kept->row;
    else
        r.changed = true;
}

bool ResumableRows::Open(const std::vector<std::wstring>& tables, const std::wstring& run, const wchar_t* dropped,
                         bool keepRows) {
    table_ = tables.empty() ? std::wstring() : tables.front();
    keepRows_ = keepRows;
    if (table_.empty()) return true;
    const std::wstring rowsPath = table_ + L".rows";
    const HRESULT hr = kept_.Open(rowsPath, run);
    if (FAILED(hr)) {
        Err(rowsPath + L": " + SystemErrorText(hr) + L"\n");
        return false;
    }
    if (kept_.Restarted()) Err(rowsPath + L": " + dropped + L"\n");
    for (size_t i = 1; i < tables.size(); ++i) {
        const std::wstring lent = tables[i] + L".rows";
        auto rows = std::make_unique<KeptRows>();
        const HRESULT lendHr = rows->Lend(lent, run);
        if (FAILED(lendHr)) {
            Err(lent + L": " + SystemErrorText(lendHr) + L"; the files of " + tables[i] + L" are read again\n");
            continue;
        }
        if (rows->Restarted()) Err(lent + L": " + dropped + L"\n");
        lenders_.push_back(std::move(rows));
    }
    return true;
}

Resumed ResumableRows::LookUp(const std::wstring& path) const {
    if (!On()) return Resumed();
    Resumed r = Identify(path);
    Match(kept_, r);
    for (size_t i = 0; !r.row && i < lenders_.size(); ++i) {
        Resumed lent = r;
        lent.changed = false;
        Match(*lenders_[i], lent);
        if (lent.row) {
            r = lent;
            r.lent = true;
        }
    }
    return r;
}

void ResumableRows::Keep(const Resumed& resumed, const std::string& row) {
    if (!On() || !stopped_.empty()) return;
    if (resumed.changed) Err(resumed.identity.path + L": read again: it changed since the stopped run\n");
    scanleaf::core::KeptRow kept = resumed.identity;
    kept.row = row;
    if (!resumed.identified) kept.size = kept.hash = 0; // never taken as it was
    if (!kept_.Append(kept)) stopped_ = table_ + L".rows: cannot be written";
}

void ResumableRows::Taken(const Resumed& resumed) {
    if (resumed.lent && resumed.row) Keep(Resumed{resumed.identity, resumed.identified, nullptr, false, false}, *resumed.row);
}

void KeptRows::Remove() {
    log_.Close();
    if (!path_.empty()) DeleteFileW(scanleaf::FileSystemPath(path_).c_str());
}

} // namespace card
