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
#include <memory>
#include <string>
#include <vector>

namespace card {

class LineLog {
public:
    LineLog() = default;
    ~LineLog();
    LineLog(const LineLog&) = delete;
    LineLog& operator=(const LineLog&) = delete;

    // Opens (or makes) the file; S_OK with the kept lines ready to read.
    HRESULT Open(const std::wstring& path);
    // Opens a file only to read its whole lines (another run's, which is not changed).
    HRESULT OpenToRead(const std::wstring& path);
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
    // Reads the rows another table's run kept, for the run named `run`, to take but not to add to.
    HRESULT Lend(const std::wstring& path, const std::wstring& run);
    // Rows were kept by another run (or the file was no file of kept rows), and were dropped.
    bool Restarted() const { return restarted_; }
    // The row last kept for the path (case-blind), or null. Safe from any thread while no Open runs.
    const scanleaf::core::KeptRow* Find(const std::wstring& path) const;
    bool Append(const scanleaf::core::KeptRow& row);
    // Closes and removes the file, once the table it kept for is written.
    void Remove();

private:
    void ReadRows(const std::wstring& run);

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
    bool lent = false;                // the row is another table's
};
// The source's identity now, and the row `rows` kept for it while it is what it was.
Resumed Identify(const std::wstring& path);
void Match(const KeptRows& rows, Resumed& resumed);

// The one resumable table of export and verify: TABLE.rows opened for the run (nothing without
// --resume), each source looked up on a job's thread, each new row kept as it is reported, and
// the rows removed once TABLE is written whole. The tables after the first lend their kept rows
// (OTHER.rows, left as they are): one table of many, each source's row taken from the first that
// kept it for the source as it is now. A shard's run keeps its rows beside its table for that.
class ResumableRows {
public:
    // `tables` empty: the run keeps nothing; else it writes the first. False, with the reason
    // said, when its rows cannot be opened; rows of another run are dropped and `dropped` said
    // ("kept by another ..."). `keepRows`: TABLE.rows stays once TABLE is written.
    bool Open(const std::vector<std::wstring>& tables, const std::wstring& run, const wchar_t* dropped, bool keepRows);
    bool On() const { return !table_.empty(); }
    const std::wstring& Table() const { return table_; }
    Resumed LookUp(const std::wstring& path) const;
    // Keeps the row a source gave now (not one taken from the kept rows), naming a source that
    // changed since the stopped run; once a row cannot be kept, Stopped says why.
    void Keep(const Resumed& resumed, const std::string& row);
    // A row taken as it was kept: another table's is kept in TABLE.rows too.
    void Taken(const Resumed& resumed);
    const std::wstring& Stopped() const { return stopped_; }
    // The table is written: the kept rows go (unless kept for a merge).
    void Remove() {
        if (!keepRows_) kept_.Remove();
    }

private:
    std::wstring table_;
    KeptRows kept_;
    std::vector<std::unique_ptr<KeptRows>> lenders_;
    bool keepRows_ = false;
    std::wstring stopped_;
};

} // namespace card
