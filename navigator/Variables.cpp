// Reading and writing variables.
#include "navigator/CalsFile.h"

namespace scanleaf {

HRESULT CCalsFile::ReadVariable(VorWord, LONG, VorWord, LONG, VorVariable* variables) {
    if (!variables) return E_POINTER;
    return E_NOTIMPL;
}

HRESULT CCalsFile::WriteVariable(VorWord, LONG, VorWord, LONG, VorVariable* variables, LONG) {
    if (!variables) return E_POINTER;
    return E_NOTIMPL;
}

std::wstring CCalsFile::VariantToText(const VARIANT&, int) { return std::wstring(); }

bool CCalsFile::TextToVariant(VARIANT*, const wchar_t*) { return false; }

} // namespace scanleaf
