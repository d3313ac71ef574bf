#include "comframe/ComObject.h"

namespace scanleaf {

HRESULT QueryInterfaceFromMap(void* self, const InterfaceEntry* map, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    bool identity = IsEqualIID(iid, IID_IUnknown);
    for (const InterfaceEntry* entry = map; entry->iid; ++entry) {
        if (!identity && !IsEqualIID(iid, *entry->iid)) continue;
        if (entry->query) {
            if (SUCCEEDED(entry->query(self, iid, out))) return S_OK;
            *out = nullptr;
            continue;
        }
        auto* unknown = reinterpret_cast<IUnknown*>(static_cast<BYTE*>(self) + entry->offset);
        unknown->AddRef();
        *out = unknown;
        return S_OK;
    }
    return E_NOINTERFACE;
}

} // namespace scanleaf
