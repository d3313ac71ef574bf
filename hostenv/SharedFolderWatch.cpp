#include "hostenv/SharedFolderWatch.h"

#include "hostenv/ExclusiveLock.h"
#include "hostenv/SettingsLight.h"

namespace scanleaf {

namespace {

std::wstring ReadSharedFolder() {
    SettingsLight settings;
    return settings.GetFolder(SharedFolder);
}

} // namespace

SharedFolderWatch& SharedFolderWatch::Instance() {
    static SharedFolderWatch watch;
    return watch;
}

SharedFolderWatch::~SharedFolderWatch() {
    Drop();
    if (changed_) CloseHandle(changed_);
}

void SharedFolderWatch::Drop() {
    if (key_) RegCloseKey(key_);
    key_ = nullptr;
    valid_ = false;
}

bool SharedFolderWatch::Arm() {
    if (!changed_ && !(changed_ = CreateEventW(nullptr, TRUE, FALSE, nullptr))) return false;
    // The same key and view that SettingsLight reads.
    if (!key_ && RegOpenKeyExW(HKEY_LOCAL_MACHINE, kHostApplicationKey, 0, KEY_READ | KEY_NOTIFY, &key_) != ERROR_SUCCESS) {
        key_ = nullptr;
        return false;
    }
    ResetEvent(changed_);
    // Fails on a key deleted since it was opened: opened afresh at the next call.
    if (RegNotifyChangeKeyValue(key_, FALSE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, changed_, TRUE) !=
        ERROR_SUCCESS) {
        Drop();
        return false;
    }
    return true;
}

std::wstring SharedFolderWatch::Get() {
    ExclusiveLock guard(lock_);
    // A signal may also come from the registering thread's end: then the value is read again.
    if (valid_ && WaitForSingleObject(changed_, 0) == WAIT_TIMEOUT) return folder_;
    valid_ = false; // stays so if the read below throws
    if (!Arm()) return ReadSharedFolder();
    folder_ = ReadSharedFolder();
    valid_ = true;
    return folder_;
}

} // namespace scanleaf
