#include "module/ScanleafApp.h"

#include "host/VorHost.h"
#include "module/ClassTable.h"

namespace scanleaf {

CScanleafApp& TheApp() {
    static CScanleafApp app;
    return app;
}

BOOL CScanleafApp::InitInstance() {
    TheModule().Init(g_classTable, kClassCount, InstanceHandle(), LIBID_SCANLEAFLib);
    return DllApp::InitInstance();
}

int CScanleafApp::ExitInstance() {
    TheModule().Term();
    return DllApp::ExitInstance();
}

} // namespace scanleaf
