// A file of lines (each ended by CRLF) written one at a time and flushed, so that a run stopped
// at any moment leaves whole lines and at most part of one; opened again, it keeps the whole
// lines (the part is cut off), hands them back in order and takes new lines after them. The runs
// that --resume continues walk their files in the same order, so the kept lines are those of the
// first files, and a stopped run continued gives what an unbroken one gives.
#pragma once

#include "cardcore/BatchPlan.h"
#include "hostenv/Unique.h"

#include <windows.h>

#include <cstdio>
#include <map>
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
    scanleaf::StdFileHandle read_;
    scanleaf::StdFileHandle append_;
    std::uint64_t kept_ = 0; // bytes of whole lines
    std::uint64_t readAt_ = 0;
};

// The rows that --resume keeps in TABLE.rows as they come, each with its source's identity
// (path, size, content hash), after a first line that names the run (the command, the options
// that change its rows, the version). A continued run takes a kept row only for a source that is
// still what it was; rows of a run named otherwise are all dropped.
class KeptRows {
public:
    // Opens (or makes) the file for the run named `run`.
    HRESULT Open(const std::wstring& path, const std::wstring& run);
    // Rows were kept by another run (or the file was no file of kept rows), and were dropped.
    bool Restarted() const { return restarted_; }
    // The row last kept for the path (case-blind), or null. Safe from any thread while no Open runs.
    const scanleaf::core::KeptRow* Find(const std::wstring& path) const;
    bool Append(const scanleaf::core::KeptRow& row);
    // Closes and removes the file, once the table it kept for is written.
    void Remove();

private:
    LineLog log_;
    std::wstring path_;
    std::map<std::wstring, scanleaf::core::KeptRow> rows_;
    bool restarted_ = false;
};

// What a job finds of a source under --resume, before any work: its identity, and the row kept
// for it while the source is what it was.
struct Resumed {
    scanleaf::core::KeptRow identity; // the path, size and hash now (no row)
    bool identified = false;          // false: the file could not be read whole
    const std::string* row = nullptr; // the kept row, still good
    bool changed = false;             // a row was kept for the source as it was before
};
Resumed LookUp(const KeptRows& rows, const std::wstring& path);

// The one resumable table of export and verify: TABLE.rows opened for the run (nothing without
// --resume), each source looked up on a job's thread, each new row kept as it is reported, and
// the rows removed once TABLE is written whole.
class ResumableRows {
public:
    // `table` empty: the run keeps nothing. False, with the reason said, when the rows cannot be
    // opened; rows of another run are dropped and `dropped` said ("kept by another ...").
    bool Open(const std::wstring& table, const std::wstring& run, const wchar_t* dropped);
    bool On() const { return !table_.empty(); }
    Resumed LookUp(const std::wstring& path) const;
    // Keeps the row a source gave now (not one taken from the kept rows), naming a source that
    // changed since the stopped run; once a row cannot be kept, Stopped says why.
    void Keep(const Resumed& resumed, const std::string& row);
    const std::wstring& Stopped() const { return stopped_; }
    // The table is written: the kept rows go.
    void Remove() { kept_.Remove(); }

private:
    std::wstring table_;
    KeptRows kept_;
    std::wstring stopped_;
};

} // namespace card
