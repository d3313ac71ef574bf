#include "hostenv/SharedFolderWatch.h"

#include "hostenv/ExclusiveLock.h"
#include "hostenv/SettingsLight.h"

namespace scanleaf {

namespace {

std::wstring ReadSharedFolder() {
    SettingsLight settings;
    return settings.GetFolder(SharedFolder);
}

const wchar_t kValueName[] = L"SharedLocation";
// Every key of the path to the host's key lies below it; Windows does not let it be deleted.
const wchar_t kRoot[] = L"Software";

bool Watch(HKEY key, BOOL subtree, DWORD filter, HANDLE event) {
    return RegNotifyChangeKeyValue(key, subtree, filter, event, TRUE) == ERROR_SUCCESS;
}

} // namespace

SharedFolderWatch::~SharedFolderWatch() {
    Drop();
    for (HANDLE event : changed_)
        if (event) CloseHandle(event);
}

void SharedFolderWatch::Drop() {
    if (key_) RegCloseKey(key_);
    if (software_) RegCloseKey(software_);
    key_ = nullptr;
    software_ = nullptr;
    valid_ = false;
}

bool SharedFolderWatch::Arm() {
    for (HANDLE& event : changed_)
        if (!event && !(event = CreateEventW(nullptr, TRUE, FALSE, nullptr))) return false;
    // Fresh handles every time: the old key may be a deleted one. Closing a watched key may
    // signal its event, so they are reset only after.
    Drop();
    for (HANDLE event : changed_) ResetEvent(event);
    // The same view that SettingsLight reads; the subtree is watched first, so that the key
    // deleted or made again between the two opens is seen too.
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRoot, 0, KEY_NOTIFY, &software_) != ERROR_SUCCESS) {
        software_ = nullptr;
        return false;
    }
    if (!Watch(software_, TRUE, REG_NOTIFY_CHANGE_NAME, changed_[0]) ||
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, kHostApplicationKey, 0, KEY_QUERY_VALUE | KEY_NOTIFY, &key_) !=
            ERROR_SUCCESS) {
        key_ = nullptr;
        Drop();
        return false;
    }
    if (!Watch(key_, FALSE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_SECURITY,
               changed_[1])) {
        Drop();
        return false;
    }
    return true;
}

// An expandable value's text follows the process's environment, which is not watched.
bool SharedFolderWatch::Keepable() const {
    DWORD type = REG_NONE;
    return RegQueryValueExW(key_, kValueName, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS ||
           type != REG_EXPAND_SZ;
}

std::wstring SharedFolderWatch::Get() {
    ExclusiveLock guard(lock_);
    // A signal may also come from the registering thread's end: then the value is read again.
    if (valid_ && WaitForMultipleObjects(2, changed_, FALSE, 0) == WAIT_TIMEOUT) return folder_;
    valid_ = false; // stays so if the read below throws
    if (!Arm()) return ReadSharedFolder();
    std::wstring folder = ReadSharedFolder();
    if (!Keepable()) return folder;
    folder_ = folder;
    valid_ = true;
    return folder_;
}

} // namespace scanleaf
