// A file of lines (each ended by CRLF) written one at a time and flushed, so that a run stopped
// at any moment leaves whole lines and at most part of one; opened again, it keeps the whole
// lines (the part is cut off), hands them back in order and takes new lines after them. The runs
// that --resume continues walk their files in the same order, so the kept lines are those of the
// first files, and a stopped run continued gives what an unbroken one gives.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

namespace card {

class LineLog {
public:
    LineLog() = default;
    ~LineLog();
    LineLog(const LineLog&) = delete;
    LineLog& operator=(const LineLog&) = delete;

    // Opens (or makes) the file; S_OK with the kept lines ready to read.
    HRESULT Open(const std::wstring& path);
    // The next kept line, without its CRLF; false when none is left.
    bool NextKept(std::string& line);
    // Appends a line (CRLF added) and flushes it.
    bool Append(const std::string& line);
    bool Empty() const { return kept_ == 0; }
    void Close();

private:
    FILE* read_ = nullptr;
    FILE* append_ = nullptr;
    std::uint64_t kept_ = 0; // bytes of whole lines
    std::uint64_t readAt_ = 0;
};

} // namespace card
