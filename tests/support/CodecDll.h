// ScanleafCodec.dll loaded beside the test program, its exports called by name.
#pragma once

#include "tests/support/TestSupport.h"

#include <windows.h>

namespace testsupport {

class CodecDll {
public:
    CodecDll() : module_(LoadLibraryW((ProgramFolder() + L"\\ScanleafCodec.dll").c_str())) {}
    ~CodecDll() {
        if (module_) FreeLibrary(module_);
    }
    CodecDll(const CodecDll&) = delete;
    CodecDll& operator=(const CodecDll&) = delete;
    HRESULT Call(const char* name) const {
        auto entry = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
        return entry ? entry() : E_NOTIMPL;
    }

private:
    HMODULE module_;
};

} // namespace testsupport
