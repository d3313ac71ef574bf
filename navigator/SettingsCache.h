// The settings file's answers, kept while the file stays the same. Three profile calls per
// record each open and scan the file (Wine re-parses a file changed in the last seconds on
// every call); with this, an open costs one look at the file's times and size.
//  - Every open looks again: another path, another size, creation or write time, or other
//    attributes drop everything kept, so an edited file counts from the next file opened.
//  - A file written less than kSettledTime ago is not kept: a second edit within the file
//    system's time resolution could leave times and size as they were.
//  - Answers are kept only when the file could be opened for reading while they were read;
//    a missing file, or one held open by another program, is asked again next time, so its
//    settings count as soon as it is readable again.
#pragma once

#include "core/cals/TagList.h"

#include <windows.h>

#include <map>
#include <string>

namespace scanleaf {

using core::SectionAnswers;

// The profile calls themselves, uncached.
SectionAnswers ReadSection(const std::wstring& section, const std::wstring& path);

class SettingsCache {
public:
    // The time now, in FILETIME's 100 ns units; tests pass a clock of their own.
    using Clock = unsigned long long (*)();
    static unsigned long long SystemClock();

    explicit SettingsCache(Clock clock = SystemClock) : clock_(clock) {}
    SettingsCache(const SettingsCache&) = delete;
    SettingsCache& operator=(const SettingsCache&) = delete;

    // At every open, before its records are read.
    void Check(const std::wstring& path);
    bool Find(const std::wstring& path, const std::wstring& section, SectionAnswers& out);
    SectionAnswers Read(const std::wstring& path, const std::wstring& section);

    static constexpr unsigned long long kSettledTime = 3 * 10000000ULL; // 3 s

private:
    static constexpr std::size_t kMaxChars = 1 << 20;

    Clock clock_;
    SRWLOCK lock_ = SRWLOCK_INIT;
    std::wstring path_;
    WIN32_FILE_ATTRIBUTE_DATA stamp_{};
    bool usable_ = false;
    std::map<std::wstring, SectionAnswers> sections_;
    std::size_t chars_ = 0;
};

} // namespace scanleaf
