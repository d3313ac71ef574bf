// Writing the header back.
#include "navigator/CalsFile.h"

namespace scanleaf {

HRESULT CCalsFile::SaveFile() { return E_NOTIMPL; }

} // namespace scanleaf
