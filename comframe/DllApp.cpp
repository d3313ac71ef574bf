#include "comframe/DllApp.h"

namespace scanleaf {

DllApp* DllApp::current_ = nullptr;

DllApp::DllApp() noexcept { current_ = this; }

DllApp::~DllApp() {
    if (current_ == this) current_ = nullptr;
}

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
