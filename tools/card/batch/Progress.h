// The progress line of the batch commands (only on a terminal) and their closing summary.
#pragma once

#include <windows.h>

#include <string>

namespace card {

class Progress {
public:
    Progress(size_t total); // shows nothing unless standard error is a terminal
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    // "[120/10000] 850 files/s, 11 s left  PATH", at most a few times a second.
    void Step(size_t done, const std::wstring& file);
    void Clear();

private:
    size_t total_;
    bool shown_;
    bool dirty_ = false;
    ULONGLONG start_;
    ULONGLONG last_ = 0;
};

struct Summary {
    size_t read = 0;
    size_t changed = 0;
    size_t unchanged = 0;
    size_t failed = 0;
    size_t skipped = 0; // read, and left as they are on purpose
    std::wstring Line() const; // "files read 3, changed 1, unchanged 2, failed 0[, skipped 1]"
};

} // namespace card
