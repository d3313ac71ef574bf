// The DLL's application object.
#pragma once

#include "comframe/DllApp.h"

namespace scanleaf {

class CScanleafApp : public DllApp {
public:
    BOOL InitInstance() override;
    int ExitInstance() override;
};

CScanleafApp& TheApp();

} // namespace scanleaf
