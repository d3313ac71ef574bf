// The host's shared folder, as SettingsLight reads it, kept between file opens for as long as
// the host's machine key stays unchanged. The key is watched: setting or deleting any of its
// values, or deleting the key, signals a change notification, and the next call reads the
// registry again (after arming the next notification, so no change slips between the two).
// Where the key cannot be opened or watched, every call reads, as without the watch.
#pragma once

#include <windows.h>

#include <string>

namespace scanleaf {

class SharedFolderWatch {
public:
    static SharedFolderWatch& Instance();
    ~SharedFolderWatch();
    SharedFolderWatch(const SharedFolderWatch&) = delete;
    SharedFolderWatch& operator=(const SharedFolderWatch&) = delete;

    // Same text as SettingsLight().GetFolder(SharedFolder).
    std::wstring Get();

private:
    SharedFolderWatch() = default;
    bool Arm(); // under the lock; false: not watchable now
    void Drop();

    SRWLOCK lock_ = SRWLOCK_INIT;
    HKEY key_ = nullptr;
    HANDLE changed_ = nullptr;
    bool valid_ = false;
    std::wstring folder_;
};

} // namespace scanleaf
