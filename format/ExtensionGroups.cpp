#include "format/ExtensionGroups.h"

#include "hostenv/ComPtr.h"

#include <cstring>

namespace scanleaf {

namespace {

const wchar_t kBaseList[] = L"ct1,ct2,ct3,nif,ct4,c4,cg4,gp4,mil,rst";
const wchar_t kBaseListWithCal[] = L"ct1,ct2,ct3,nif,ct4,c4,cg4,gp4,mil,rst,cal";
const wchar_t kCalAlone[] = L"cal";
constexpr ULONG kGroupKind = 4;

// -1 not yet probed, then 0 or 1 for the life of the module.
volatile LONG g_externalProbe = -1;

void* TaskAlloc(SIZE_T bytes) { return CoTaskMemAlloc(bytes); }
void TaskFree(void* p) { CoTaskMemFree(p); }
BSTR StringAlloc(const OLECHAR* text) { return SysAllocString(text); }
void StringFree(BSTR text) { SysFreeString(text); }

} // namespace

const GroupAllocators& TaskAllocators() {
    static const GroupAllocators allocators{&TaskAlloc, &TaskFree, &StringAlloc, &StringFree};
    return allocators;
}

HRESULT MakeExtensionGroups(bool externalPresent, ULONG* count, ExtensionGroup** groups,
                            const GroupAllocators& allocators) {
    const ULONG n = externalPresent ? 2 : 1;
    auto* array = static_cast<ExtensionGroup*>(allocators.allocArray(n * sizeof(ExtensionGroup)));
    if (!array) return E_OUTOFMEMORY;
    std::memset(array, 0, n * sizeof(ExtensionGroup));
    *count = n;
    *groups = array;

    array[0].extensions = allocators.allocString(externalPresent ? kBaseList : kBaseListWithCal);
    array[0].kind = kGroupKind;
    array[0].identifier = GUID_VorGroupCals;
    if (externalPresent) {
        array[1].extensions = allocators.allocString(kCalAlone);
        array[1].kind = kGroupKind;
        array[1].identifier = GUID_VorGroupCal;
    }

    for (ULONG i = 0; i < n; ++i) {
        if (array[i].extensions) continue;
        // A record without its text: take everything back rather than hand out a half array.
        for (ULONG j = 0; j < n; ++j)
            if (array[j].extensions) allocators.freeString(array[j].extensions);
        allocators.freeArray(array);
        *count = 0;
        *groups = nullptr;
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

bool ExternalComponentPresent() {
    LONG known = g_externalProbe;
    if (known == 0 || known == 1) return known == 1;
    ComPtr<IUnknown> instance;
    HRESULT hr = CoCreateInstance(CLSID_VorExternalComponent, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, instance.PutVoid());
    LONG present = SUCCEEDED(hr) && instance ? 1 : 0;
    InterlockedExchange(&g_externalProbe, present);
    return present == 1;
}

} // namespace scanleaf
