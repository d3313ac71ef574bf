// The methods of IVorFileNavigator that the navigator does not serve: fixed answers,
// after the null tests of the arguments that the host must always pass.
#include "navigator/CalsFile.h"

namespace scanleaf {

HRESULT CCalsFile::Method1(VorWord, VorWord a2, VorWord a3) { return (!a2 || !a3) ? E_POINTER : E_NOTIMPL; }
HRESULT CCalsFile::Method2(VorWord, VorWord, VorWord) { return E_NOTIMPL; }
HRESULT CCalsFile::Method3(VorWord a1) { return !a1 ? E_POINTER : E_NOTIMPL; }
HRESULT CCalsFile::Method4(VorWord a1, VorWord a2, VorWord a3, VorWord a4, VorWord a5) {
    return (!a1 || !a2 || !a3 || !a4 || !a5) ? E_POINTER : E_NOTIMPL;
}
HRESULT CCalsFile::Method5(VorWord, VorWord, VorWord a3, VorWord a4) { return (!a3 || !a4) ? E_POINTER : E_NOTIMPL; }
HRESULT CCalsFile::Method6(VorWord, VorWord, VorWord a3, VorWord a4) { return (!a3 || !a4) ? E_POINTER : E_NOTIMPL; }
HRESULT CCalsFile::Method9(VorWord a1, VorWord a2) { return (!a1 || !a2) ? E_POINTER : E_NOTIMPL; }
HRESULT CCalsFile::Method10(VorWord, VorWord, VorWord a3) { return !a3 ? E_POINTER : E_NOTIMPL; }
HRESULT CCalsFile::Method11(VorWord, VorWord a2, VorWord a3, VorWord, VorWord) {
    return (!a2 || !a3) ? E_POINTER : E_NOTIMPL;
}
HRESULT CCalsFile::Method12(VorWord, VorWord, VorWord, VorWord, VorWord, VorWord) { return E_NOTIMPL; }
HRESULT CCalsFile::Method14(VorWord a1) { return !a1 ? E_POINTER : E_NOTIMPL; }
HRESULT CCalsFile::Method15(VorWord, VorWord, VorWord, VorWord a4, VorWord a5) {
    return (!a4 || !a5) ? E_POINTER : E_NOTIMPL;
}
HRESULT CCalsFile::Method16(VorWord) { return E_NOTIMPL; }
HRESULT CCalsFile::Method17(VorWord, VorWord) { return S_OK; }
HRESULT CCalsFile::Method18(VorWord, VorWord, VorWord, VorWord) { return S_OK; }
HRESULT CCalsFile::Method19(VorWord) { return E_NOTIMPL; }
HRESULT CCalsFile::Method20(VorWord, VorWord, VorWord, VorWord, VorWord) { return E_NOTIMPL; }

} // namespace scanleaf
