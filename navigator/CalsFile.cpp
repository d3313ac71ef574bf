#include "navigator/CalsFile.h"

namespace scanleaf {

const InterfaceEntry* CCalsFile::InterfaceMap() {
    static const InterfaceEntry map[] = {
        InterfaceEntry::Of<CCalsFile, ICalsFile>(IID_ICalsFile),
        InterfaceEntry::Of<CCalsFile, IVorFileNavigator>(IID_IVorFileNavigator),
        InterfaceEntry::End(),
    };
    return map;
}

HRESULT CCalsFile::OpenFile(const std::wstring& path) {
    path_ = path;
    return E_NOTIMPL;
}

bool CCalsFile::ReadFillByte(FILE*) { return false; }

HRESULT CCalsFile::ReadHeader(FILE*) { return E_NOTIMPL; }

} // namespace scanleaf
