// The host's shared folder, as SettingsLight reads it, kept between file opens for as long as
// nothing that a read of it depends on has changed. Two change notifications, each with an
// event of its own:
//  - on the host's application key: any of its values set or deleted, its security changed;
//  - on "Software" with its whole subtree: any key below it made or deleted. A notification
//    on a key says nothing when that key itself is deleted (and, under Wine, one armed again
//    on the deleted key's handle succeeds and never fires), so the key's own deletion, a
//    parent's, and the key made again are seen from here.
// Arming a notification may reset its event (Wine's does): with one event for both, a change
// anywhere below "Software" between the two (another program's registration) spent the first
// and was reset by the second, and a deletion of the host's key went unseen from then on.
// Either event signalled drops both keys and the kept text: the next call opens them again, arms
// both notifications, then reads, so no change slips between the read and the watch. Where
// either key cannot be opened or watched, or the value is REG_EXPAND_SZ (its text depends on
// the environment, which no notification covers), every call reads, as without the watch.
#pragma once

#include "hostenv/Unique.h"

#include <windows.h>

#include <string>

namespace scanleaf {

class SharedFolderWatch {
public:
    SharedFolderWatch() = default;
    ~SharedFolderWatch();
    SharedFolderWatch(const SharedFolderWatch&) = delete;
    SharedFolderWatch& operator=(const SharedFolderWatch&) = delete;

    // Same text as SettingsLight().GetFolder(SharedFolder).
    std::wstring Get();

private:
    bool Arm(); // under the lock; false: not watchable now
    bool Keepable() const;
    void Drop();

    SRWLOCK lock_ = SRWLOCK_INIT;
    KernelHandle changed_[2]; // "Software", the host's key
    KeyHandle software_;
    KeyHandle key_;
    bool valid_ = false;
    std::wstring folder_;
};

} // namespace scanleaf
