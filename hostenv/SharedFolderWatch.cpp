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

// The keys go before their events, as a closed watched key may signal its event.
SharedFolderWatch::~SharedFolderWatch() { Drop(); }

void SharedFolderWatch::Drop() {
    key_.Reset();
    software_.Reset();
    valid_ = false;
}

bool SharedFolderWatch::Arm() {
    for (KernelHandle& event : changed_)
        if (!event) {
            event.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
            if (!event) return false;
        }
    // Fresh handles every time: the old key may be a deleted one. Closing a watched key may
    // signal its event, so they are reset only after.
    Drop();
    for (const KernelHandle& event : changed_) ResetEvent(event.Get());
    // The same view that SettingsLight reads; the subtree is watched first, so that the key
    // deleted or made again between the two opens is seen too.
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRoot, 0, KEY_NOTIFY, software_.Put()) != ERROR_SUCCESS) {
        software_.Release(); // what a failed open left there is no key
        return false;
    }
    if (!Watch(software_.Get(), TRUE, REG_NOTIFY_CHANGE_NAME, changed_[0].Get()) ||
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, kHostApplicationKey, 0, KEY_QUERY_VALUE | KEY_NOTIFY, key_.Put()) !=
            ERROR_SUCCESS) {
        key_.Release();
        Drop();
        return false;
    }
    if (!Watch(key_.Get(), FALSE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_SECURITY,
               changed_[1].Get())) {
        Drop();
        return false;
    }
    return true;
}

// An expandable value's text follows the process's environment, which is not watched.
bool SharedFolderWatch::Keepable() const {
    DWORD type = REG_NONE;
    return RegQueryValueExW(key_.Get(), kValueName, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS ||
           type != REG_EXPAND_SZ;
}

std::wstring SharedFolderWatch::Get() {
    ExclusiveLock guard(lock_);
    // A signal may also come from the registering thread's end: then the value is read again.
    const HANDLE events[2] = {changed_[0].Get(), changed_[1].Get()};
    if (valid_ && WaitForMultipleObjects(2, events, FALSE, 0) == WAIT_TIMEOUT) return folder_;
    valid_ = false; // stays so if the read below throws
    if (!Arm()) return ReadSharedFolder();
    std::wstring folder = ReadSharedFolder();
    if (!Keepable()) return folder;
    folder_ = folder;
    valid_ = true;
    return folder_;
}

} // namespace scanleaf
