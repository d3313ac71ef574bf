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

HRESULT CCalsFile::WriteVariable(VorWord, LONG, VorWord, LONG, VorVariable* variables, LONG) {
    if (!variables) return E_POINTER;
    return E_NOTIMPL;
}

HRESULT CCalsFile::ReadVariable(VorWord, LONG, VorWord, LONG, VorVariable* variables) {
    if (!variables) return E_POINTER;
    return E_NOTIMPL;
}

HRESULT CCalsFile::SaveFile() { return E_NOTIMPL; }

} // namespace scanleaf
