// The progress line of the batch commands, only on a terminal.
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
    ULONGLONG start_;
    ULONGLONG last_ = 0;
};


} // namespace card
