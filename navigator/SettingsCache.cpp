#include "navigator/SettingsCache.h"

#include "hostenv/ExclusiveLock.h"
#include "hostenv/Unique.h"

#include <vector>

namespace scanleaf {

namespace {

constexpr DWORD kProfileBuffer = 32767;

std::wstring ReadProfileString(const std::wstring& section, const wchar_t* key, const std::wstring& path,
                               std::vector<wchar_t>& buffer) {
    DWORD n = GetPrivateProfileStringW(section.c_str(), key, L"", buffer.data(), kProfileBuffer, path.c_str());
    return std::wstring(buffer.data(), n);
}

unsigned long long Ticks(const FILETIME& t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// The last access time is left out: reading the file changes it.
bool Same(const WIN32_FILE_ATTRIBUTE_DATA& a, const WIN32_FILE_ATTRIBUTE_DATA& b) {
    return a.dwFileAttributes == b.dwFileAttributes && Ticks(a.ftCreationTime) == Ticks(b.ftCreationTime) &&
           Ticks(a.ftLastWriteTime) == Ticks(b.ftLastWriteTime) && a.nFileSizeHigh == b.nFileSizeHigh &&
           a.nFileSizeLow == b.nFileSizeLow;
}

} // namespace

SectionAnswers ReadSection(const std::wstring& section, const std::wstring& path) {
    SectionAnswers answers;
    answers.readonly = static_cast<int>(GetPrivateProfileIntW(section.c_str(), L"Readonly", 0, path.c_str()));
    std::vector<wchar_t> buffer(kProfileBuffer);
    answers.names = ReadProfileString(section, L"Tagnames", path, buffer);
    answers.positions = ReadProfileString(section, L"Tagpositions", path, buffer);
    return answers;
}

unsigned long long SettingsCache::SystemClock() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return Ticks(now);
}

void SettingsCache::Check(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA now{};
    const bool exists = GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &now) != FALSE;
    const unsigned long long clock = clock_();
    const unsigned long long written = Ticks(now.ftLastWriteTime);
    const bool settled = exists && clock >= written && clock - written >= kSettledTime;
    ExclusiveLock guard(lock_);
    if (path_ == path && usable_ && settled && Same(stamp_, now)) return;
    sections_.clear();
    chars_ = 0;
    path_ = path;
    stamp_ = now;
    usable_ = settled;
}

bool SettingsCache::Find(const std::wstring& path, const std::wstring& section, SectionAnswers& out) {
    ExclusiveLock guard(lock_);
    if (!usable_ || path != path_) return false;
    auto it = sections_.find(section);
    if (it == sections_.end()) return false;
    out = it->second;
    return true;
}

SectionAnswers SettingsCache::Read(const std::wstring& path, const std::wstring& section) {
    {
        ExclusiveLock guard(lock_);
        if (!usable_ || path != path_) return ReadSection(section, path);
    }
    // Held open, with the sharing of the profile functions' own open, while they read:
    // if this open succeeds, so do theirs, and the answers are the file's.
    FileHandle probe(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    SectionAnswers answers = ReadSection(section, path);
    if (!probe.Valid()) return answers;
    probe.Reset();
    ExclusiveLock guard(lock_);
    const std::size_t size = section.size() + answers.names.size() + answers.positions.size();
    if (usable_ && path == path_ && chars_ + size <= kMaxChars) {
        if (sections_.emplace(section, answers).second) chars_ += size;
    }
    return answers;
}

} // namespace scanleaf
