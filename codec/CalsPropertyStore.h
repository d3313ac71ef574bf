// The property handler of CALS drawings, for Explorer's details and Windows Search: the header
// read from the stream it is given (never a path), each record a property, and the text records
// written back by Commit, the 2048-byte header alone and all at once. No UI; the indexer runs it
// in a process of low rights.
#pragma once

#include "comframe/ComObject.h"
#include "core/cals/DrawingProperties.h"
#include "codec/PropertyKeys.h"
#include "hostenv/ComPtr.h"

#include <propsys.h>

namespace scanleaf {

class CCalsPropertyStore : public ComObjectRoot<MultiThreadModel>,
                           public IInitializeWithStream,
                           public IPropertyStore,
                           public IPropertyStoreCapabilities {
public:
    CCalsPropertyStore() = default;
    static const InterfaceEntry* InterfaceMap();

    HRESULT STDMETHODCALLTYPE Initialize(IStream* stream, DWORD mode) override;

    HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override;
    HRESULT STDMETHODCALLTYPE GetAt(DWORD index, PROPERTYKEY* key) override;
    HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override;
    HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) override;
    HRESULT STDMETHODCALLTYPE Commit() override;

    HRESULT STDMETHODCALLTYPE IsPropertyWritable(REFPROPERTYKEY key) override;

private:
    // The value of a known key, under the lock.
    HRESULT Fill(const DrawingPropertyKey& key, PROPVARIANT* value) const;

    SRWLOCK lock_ = SRWLOCK_INIT;
    ComPtr<IStream> stream_;
    bool writable_ = false;
    core::DrawingProperties properties_;
    std::string committed_; // the header as the stream holds it
};

} // namespace scanleaf
