#include "module/ClassTable.h"

#include "format/CalsFormat.h"
#include "module/resource.h"
#include "navigator/CalsFile.h"
#include "preview/CalsPreview.h"

namespace scanleaf {

ClassEntry g_classTable[kClassCount] = {
    {&CLSID_CalsFormat, IDR_CALSFORMAT, &Creator<CCalsFormat>::CreateInstance},
    {&CLSID_CalsFile, IDR_CALSFILE, &Creator<CCalsFile>::CreateInstance},
    {&CLSID_CalsPreview, IDR_CALSPREVIEW, &Creator<CCalsPreview>::CreateInstance},
};

} // namespace scanleaf
