#include "comframe/DllApp.h"

namespace scanleaf {

DllApp::DllApp() noexcept = default;

DllApp::~DllApp() = default;

BOOL DllApp::ProcessAttach(HINSTANCE instance) {
    instance_ = instance;
    if (!InitInstance()) {
        ExitInstance();
        return FALSE;
    }
    started_ = true;
    return TRUE;
}

void DllApp::ProcessDetach() {
    if (started_) ExitInstance();
    started_ = false;
}

} // namespace scanleaf
