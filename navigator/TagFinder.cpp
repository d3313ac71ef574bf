// Building the tag list when a file is opened.
#include "navigator/TagFinder.h"

#include "hostenv/ExclusiveLock.h"
#include "hostenv/SettingsLight.h"
#include "hostenv/SharedFolderWatch.h"
#include "navigator/LowerCase.h"
#include "navigator/TagSettings.h"

#include <windows.h>

#include <map>
#include <vector>

namespace scanleaf {

namespace {

const wchar_t kSettingsFile[] = L"FileFormats\\Scanleaf.ini";
constexpr DWORD kProfileBuffer = 32767;

std::wstring ReadProfileString(const std::wstring& section, const wchar_t* key, const std::wstring& path,
                               std::vector<wchar_t>& buffer) {
    DWORD n = GetPrivateProfileStringW(section.c_str(), key, L"", buffer.data(), kProfileBuffer, path.c_str());
    return std::wstring(buffer.data(), n);
}

// What the settings file answers for one section: the three keys that a record reads.
struct SectionAnswers {
    int readonly = 0;
    std::wstring names;
    std::wstring positions;
};

SectionAnswers ReadSection(const std::wstring& section, const std::wstring& path) {
    SectionAnswers answers;
    answers.readonly = static_cast<int>(GetPrivateProfileIntW(section.c_str(), L"Readonly", 0, path.c_str()));
    std::vector<wchar_t> buffer(kProfileBuffer);
    answers.names = ReadProfileString(section, L"Tagnames", path, buffer);
    answers.positions = ReadProfileString(section, L"Tagpositions", path, buffer);
    return answers;
}

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
class SettingsCache {
public:
    static SettingsCache& Instance() {
        static SettingsCache cache;
        return cache;
    }

    // At every open, before its records are read.
    void Check(const std::wstring& path) {
        WIN32_FILE_ATTRIBUTE_DATA now{};
        const bool exists = GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &now) != FALSE;
        FILETIME clock{};
        GetSystemTimeAsFileTime(&clock);
        const bool settled = exists && Ticks(clock) >= Ticks(now.ftLastWriteTime) &&
                             Ticks(clock) - Ticks(now.ftLastWriteTime) >= kSettledTime;
        ExclusiveLock guard(lock_);
        if (path_ == path && usable_ && settled && Same(stamp_, now)) return;
        sections_.clear();
        chars_ = 0;
        path_ = path;
        stamp_ = now;
        usable_ = settled;
    }

    bool Find(const std::wstring& path, const std::wstring& section, SectionAnswers& out) {
        ExclusiveLock guard(lock_);
        if (!usable_ || path != path_) return false;
        auto it = sections_.find(section);
        if (it == sections_.end()) return false;
        out = it->second;
        return true;
    }

    SectionAnswers Read(const std::wstring& path, const std::wstring& section) {
        {
            ExclusiveLock guard(lock_);
            if (!usable_ || path != path_) return ReadSection(section, path);
        }
        // Held open, with the sharing of the profile functions' own open, while they read:
        // if this open succeeds, so do theirs, and the answers are the file's.
        HANDLE probe = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        SectionAnswers answers = ReadSection(section, path);
        if (probe == INVALID_HANDLE_VALUE) return answers;
        CloseHandle(probe);
        ExclusiveLock guard(lock_);
        const std::size_t size = section.size() + answers.names.size() + answers.positions.size();
        if (usable_ && path == path_ && chars_ + size <= kMaxChars) {
            if (sections_.emplace(section, answers).second) chars_ += size;
        }
        return answers;
    }

private:
    static constexpr unsigned long long kSettledTime = 3 * 10000000ULL; // 3 s in 100 ns units
    static constexpr std::size_t kMaxChars = 1 << 20;

    static unsigned long long Ticks(const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    }
    // The last access time is left out: reading the file changes it.
    static bool Same(const WIN32_FILE_ATTRIBUTE_DATA& a, const WIN32_FILE_ATTRIBUTE_DATA& b) {
        return a.dwFileAttributes == b.dwFileAttributes && Ticks(a.ftCreationTime) == Ticks(b.ftCreationTime) &&
               Ticks(a.ftLastWriteTime) == Ticks(b.ftLastWriteTime) && a.nFileSizeHigh == b.nFileSizeHigh &&
               a.nFileSizeLow == b.nFileSizeLow;
    }

    SRWLOCK lock_ = SRWLOCK_INIT;
    std::wstring path_;
    WIN32_FILE_ATTRIBUTE_DATA stamp_{};
    bool usable_ = false;
    std::map<std::wstring, SectionAnswers> sections_;
    std::size_t chars_ = 0;
};

} // namespace

bool TagFinder::Reset(unsigned char fill) {
    tags.clear();
    if (!LocateSettings()) return false;
    SettingsCache::Instance().Check(settingsPath);
    fillByte = fill;
    return true;
}

bool TagFinder::LocateSettings() {
    std::wstring folder = SharedFolderWatch::Instance().Get();
    if (folder.empty()) return false;
    settingsPath = folder + kSettingsFile;
    return true;
}

bool TagFinder::AddTag(const std::wstring& name, const std::wstring& value) {
    Tag tag;
    tag.name = LowerCase(name);
    tag.value = value;
    const std::wstring& section = tag.name;

    SettingsCache& cache = SettingsCache::Instance();
    SectionAnswers answers;
    if (!cache.Find(settingsPath, section, answers)) answers = cache.Read(settingsPath, section);
    tag.readOnly = answers.readonly == 1;
    const std::wstring names = TerminateList(std::move(answers.names));
    const std::wstring positions = TerminateList(std::move(answers.positions));

    const int nameLength = static_cast<int>(tag.name.size());
    if (!ReadSubTags(names, positions, nameLength, tag.subTags, tag.valueWidth)) return false;
    if (tag.subTags.empty()) tag.valueWidth = kRecordTextWidth - nameLength;

    tags.push_back(tag);

    if (tag.name == L"rpelcnt" && tag.value.find(L',') != std::wstring::npos) {
        std::wstring width;
        std::wstring height;
        ReadPixelCounts(tag.value, width, height);
        tag.readOnly = true;
        tag.inHeader = false;
        tag.subTags.clear();
        tag.name = L"width";
        tag.value = width;
        tags.push_back(tag);
        tag.name = L"height";
        tag.value = height;
        tags.push_back(tag);
        tag.name = L"colordepth";
        tag.value = L"1";
        tags.push_back(tag);
    }
    return true;
}

} // namespace scanleaf
