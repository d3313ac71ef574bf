// The extension groups that the format object hands to the host, and the once-per-process
// test for the external component that decides whether "cal" is a group of its own.
#pragma once

#include "host/VorHost.h"

namespace scanleaf {

// The allocators the groups are made with; the host frees what they give.
struct GroupAllocators {
    void* (*allocArray)(SIZE_T bytes);
    void (*freeArray)(void* array);
    BSTR (*allocString)(const OLECHAR* text);
    void (*freeString)(BSTR text);
};

// CoTaskMemAlloc/CoTaskMemFree and SysAllocString/SysFreeString.
const GroupAllocators& TaskAllocators();

// Fills count and groups for the external component present or not. Out-pointers must be
// valid and already cleared. On any failed allocation nothing is left with the host: the
// count is 0, the array null, and E_OUTOFMEMORY is returned.
HRESULT MakeExtensionGroups(bool externalPresent, ULONG* count, ExtensionGroup** groups,
                            const GroupAllocators& allocators);

// 1 when an instance of the external class can be created in process, else 0. Probed on the
// first call of the process and kept; racing first calls compute the same answer.
bool ExternalComponentPresent();

} // namespace scanleaf
