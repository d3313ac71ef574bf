// The application object of a DLL: started on process attach, stopped on process detach.
#pragma once

#include <windows.h>

namespace scanleaf {

class DllApp {
public:
    DllApp() noexcept;
    virtual ~DllApp();
    DllApp(const DllApp&) = delete;
    DllApp& operator=(const DllApp&) = delete;

    // Start-up; false fails the DLL load (ExitInstance is then still called).
    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }

    // The framework's own part of the unload test: it keeps no objects of its own.
    static HRESULT CanUnloadNow() noexcept { return S_OK; }

    HINSTANCE InstanceHandle() const noexcept { return instance_; }

    // Called by DllMain.
    BOOL ProcessAttach(HINSTANCE instance);
    void ProcessDetach();

private:
    HINSTANCE instance_ = nullptr;
    bool started_ = false;
};

} // namespace scanleaf
