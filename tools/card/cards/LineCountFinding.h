// What a drawing's own stream proves of its line count, for repair: the header mended when the
// stream ends cleanly after another number of whole lines than rpelcnt's, else why it is left.
#pragma once

#include <cstdint>
#include <string>

namespace card {

struct LineCountFinding {
    bool sound = false;
    std::string before;  // the header the finding was made from
    std::string header;  // the mended header, when there is one
    std::uint32_t lines = 0, decoded = 0;
    std::wstring reason; // why it is left as it is
};

LineCountFinding ExamineLineCount(const std::wstring& path);
// "1 line", "12 lines".
std::wstring Lines(std::uint64_t n);

} // namespace card
