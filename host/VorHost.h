// The host contract: the identifiers, records, interfaces and status codes that
// KESTRAVO PDM and its format plug-ins agree on. Other programs rely on these values.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oaidl.h>

#include <cstddef>

// A "word" of the host's untyped method arguments: pointer-sized.
typedef ULONG_PTR VorWord;

// ---------------------------------------------------------------------------
// Identifiers
// ---------------------------------------------------------------------------

// Module's own.
inline constexpr CLSID CLSID_CalsFormat = {0xA45B9238, 0x123E, 0x4BB4, {0x96, 0xD4, 0xAC, 0x34, 0xA5, 0x02, 0x0D, 0xE5}};
inline constexpr CLSID CLSID_CalsFile = {0xCDC4E6C0, 0xFE95, 0x49E0, {0x98, 0x3C, 0xDF, 0xC0, 0xAF, 0xAC, 0xFB, 0xFA}};
inline constexpr CLSID CLSID_CalsPreview = {0x2DEF5E83, 0xC876, 0x467B, {0xB0, 0xA5, 0x29, 0x1D, 0xB5, 0x92, 0xFF, 0x2F}};
inline constexpr IID IID_ICalsFormat = {0x48441332, 0x6F5B, 0x4FD1, {0xA7, 0xA1, 0xFE, 0x81, 0x6E, 0xE2, 0x74, 0x7E}};
inline constexpr IID IID_ICalsFile = {0xBF58DC29, 0x7CC4, 0x463F, {0xBA, 0x4F, 0xD0, 0x4F, 0xE2, 0x03, 0xF6, 0x99}};
inline constexpr IID IID_ICalsPreview = {0x777ACCEA, 0x0227, 0x4B1A, {0x9B, 0x53, 0xF0, 0x5B, 0xC7, 0x50, 0xDF, 0x20}};
// The proxy/stub factory is registered under the first interface of the proxy table.
inline constexpr CLSID CLSID_ScanleafProxyStub = IID_ICalsPreview;
inline constexpr GUID LIBID_SCANLEAFLib = {0x15420759, 0x5820, 0x4882, {0x94, 0x3E, 0xA4, 0x32, 0x71, 0x6C, 0xB9, 0xDA}};
// The navigator's list of its variables, for the project's own tools in the same process.
inline constexpr IID IID_ICalsVariableList = {0x86DA1F88, 0x92C1, 0x4573, {0x9D, 0x7E, 0x95, 0x38, 0x78, 0x6D, 0x3C, 0xA4}};

// Host's.
inline constexpr IID IID_IVorFileFormat = {0xBA021550, 0x0C19, 0x4ABB, {0xAE, 0xE7, 0xAD, 0x2E, 0x6F, 0x62, 0xC3, 0x1A}};
inline constexpr IID IID_IVorFileFormat2 = {0x165EA99F, 0x372B, 0x481C, {0xAA, 0x1E, 0x46, 0x18, 0x8F, 0xD4, 0x53, 0xF7}};
inline constexpr IID IID_IVorFileNavigator = {0x93E9FC5D, 0x7766, 0x4F74, {0xBF, 0x7A, 0x22, 0x75, 0x93, 0xB1, 0xC1, 0xA7}};
inline constexpr IID IID_IVorFilePreview = {0x72CE236E, 0xC945, 0x43E7, {0xA9, 0x9A, 0x2A, 0x30, 0x6C, 0x9A, 0xD4, 0x5E}};
inline constexpr GUID GUID_VorGroupCals = {0x583352B8, 0xFCBC, 0x4593, {0xAB, 0xF9, 0xB6, 0x69, 0xF9, 0x00, 0xF8, 0xEF}};
inline constexpr GUID GUID_VorGroupCal = {0x9C3D523A, 0x3CFB, 0x4E0A, {0x88, 0xD9, 0xB1, 0x29, 0x15, 0x3E, 0x36, 0x44}};
inline constexpr CLSID CLSID_VorExternalComponent = {0x7E2BBB9D, 0x2191, 0x4218, {0xAB, 0x70, 0x7D, 0x13, 0x06, 0x64, 0x6A, 0x3D}};
inline constexpr CLSID CLSID_VorTipTextSource = {0x812F1D38, 0xE949, 0x4675, {0xA5, 0xE0, 0xF6, 0xC7, 0x3B, 0x76, 0xF7, 0x5B}};
inline constexpr IID IID_ITipTextSource = {0xF77C7DD1, 0x8242, 0x4D30, {0xB2, 0xF0, 0xF2, 0x82, 0xB8, 0x1A, 0x1C, 0x1F}};
inline constexpr CLSID CLSID_VorNoticePresenter = {0x45AB5CDF, 0xF19F, 0x454C, {0xB1, 0x55, 0xC3, 0xCD, 0x91, 0x91, 0x26, 0xCD}};
inline constexpr IID IID_INoticePresenter = {0x3646ED24, 0x2A0C, 0x4DB4, {0xAD, 0xB4, 0xBF, 0x3B, 0xB5, 0x79, 0xCE, 0x61}};

// ---------------------------------------------------------------------------
// Status codes
// ---------------------------------------------------------------------------

inline constexpr HRESULT VOR_E_CANNOT_OPEN_FILE = static_cast<HRESULT>(0x80040228L);
inline constexpr HRESULT VOR_E_CANNOT_READ_HEADER = static_cast<HRESULT>(0x80040229L);
inline constexpr HRESULT VOR_E_PREVIEW_UNSUPPORTED = static_cast<HRESULT>(0x8004022AL);

// ---------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------

struct VorVariable {
    BSTR name;
    BSTR block;
    VARIANT value;
    LONG found;
    LONG reserved; // never read or written by the plug-in
};

struct ExtensionGroup {
    BSTR extensions;
    ULONG kind; // always 4
    GUID identifier;
};

#if defined(_WIN64)
static_assert(sizeof(VorVariable) == 48, "VorVariable is 48 bytes on the 64-bit target");
static_assert(offsetof(VorVariable, block) == 8 && offsetof(VorVariable, value) == 16 &&
                  offsetof(VorVariable, found) == 40 && offsetof(VorVariable, reserved) == 44,
              "VorVariable layout");
static_assert(sizeof(ExtensionGroup) == 32, "ExtensionGroup is 32 bytes on the 64-bit target");
static_assert(offsetof(ExtensionGroup, kind) == 8 && offsetof(ExtensionGroup, identifier) == 12,
              "ExtensionGroup layout");
#else
static_assert(sizeof(VorVariable) == 32, "VorVariable is 32 bytes on the 32-bit target");
static_assert(offsetof(VorVariable, block) == 4 && offsetof(VorVariable, value) == 8 &&
                  offsetof(VorVariable, found) == 24 && offsetof(VorVariable, reserved) == 28,
              "VorVariable layout");
static_assert(sizeof(ExtensionGroup) == 24, "ExtensionGroup is 24 bytes on the 32-bit target");
static_assert(offsetof(ExtensionGroup, kind) == 4 && offsetof(ExtensionGroup, identifier) == 8,
              "ExtensionGroup layout");
#endif

// ---------------------------------------------------------------------------
// Interfaces (vtable order is the contract)
// ---------------------------------------------------------------------------

struct IVorFileNavigator;
struct IVorFilePreview;

struct IVorFileFormat : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetFormatInfo(BSTR* product, BSTR* description, BSTR* extensions) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExtensionFlags(BSTR extension, ULONG* flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateNavigator(BSTR path, LONG reserved, IVorFileNavigator** navigator) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreatePreview(VorWord owner, VorWord arg2, VorWord arg3, VorWord arg4,
                                                    IVorFilePreview** preview) = 0;
    virtual HRESULT STDMETHODCALLTYPE Method5(LONG arg1, void* arg2) = 0;
};

struct IVorFileFormat2 : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetExtensionGroups(ULONG* count, ExtensionGroup** groups) = 0;
};

struct IVorFileNavigator : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Method1(VorWord, VorWord, VorWord) = 0;
    virtual HRESULT STDMETHODCALLTYPE Method2(VorWord, VorWord, VorWord) = 0;
    virtual HRESULT STDMETHODCALLTYPE Method3(VorWord) = 0;
    virtual HRESULT STDMETHODCALLTYPE Method4(VorWord, VorWord, VorWord, VorWord, VorWord) = 0;
    virtual HRESULT STDMETHODCALLTYPE Method5(VorWord, VorWord, VorWord, VorWord) = 0;
    virtual HRESULT STDMETHODCALLTYPE Method6(VorWord, VorWord, VorWord, VorWord) = 0;
    virtual HRESULT STDMETHODCALLTYPE WriteVariable(VorWord reserved1, LONG stopAtFirst, VorWord reserved2, LONG count,
                                                    VorVariable* variables, LONG dateStyle) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReadVariable(VorWord reserved1, LONG stopAtFirst, VorWord reserved2, LONG count,
                                                   VorVariable* variables) = 0;
    virtual HRESULT STDMETHODCALLTYPE Method9(VorWord, VorWord) = 0;
    virtual HRESULT STDMETHODCALLTYPE Method10(VorWord, VorWord, VorWord) = 0;
    virtual HRESULT STDMETHODCALLTYPE Method11(VorWord, VorWord, VorWord, VorWord, VorWord) = 0;
    virtual HRESULT STDMETHODCALLTYPE Method12(VorWord, VorWord, VorWord, VorWord, VorWord, VorWord) = 0;
    virtual HRESULT STDMETHODCALLTYPE SaveFile() = 0;
    virtual HRESULT STDMETHODCALLTYPE Method14(VorWord) = 0;
    virtual HRESULT STDMETHODCALLTYPE Method15(VorWord, VorWord, VorWord, VorWord, VorWord) = 0;
    virtual HRESULT STDMETHODCALLTYPE Method16(VorWord) = 0;
    virtual HRESULT STDMETHODCALLTYPE Method17(VorWord, VorWord) = 0;
    virtual HRESULT STDMETHODCALLTYPE Method18(VorWord, VorWord, VorWord, VorWord) = 0;
    virtual HRESULT STDMETHODCALLTYPE Method19(VorWord) = 0;
    virtual HRESULT STDMETHODCALLTYPE Method20(VorWord, VorWord, VorWord, VorWord, VorWord) = 0;
};

struct IVorFilePreview : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Method1(VorWord, VorWord, VorWord, VorWord) = 0;
    virtual HRESULT STDMETHODCALLTYPE Method2(VorWord, VorWord, VorWord) = 0;
    virtual HRESULT STDMETHODCALLTYPE Method3() = 0;
    virtual HRESULT STDMETHODCALLTYPE Method4(VorWord) = 0;
    virtual HRESULT STDMETHODCALLTYPE Method5(VorWord) = 0;
    virtual HRESULT STDMETHODCALLTYPE Method6(VorWord, VorWord, VorWord) = 0;
    virtual HRESULT STDMETHODCALLTYPE Method7(VorWord, VorWord, VorWord, VorWord, VorWord) = 0;
    virtual HRESULT STDMETHODCALLTYPE Method8(VorWord) = 0;
    virtual HRESULT STDMETHODCALLTYPE Method9(VorWord) = 0;
};

struct ITipTextSource : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE GetTipText(LONG tipNumber, BSTR* text) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTipCount(LONG* count) = 0; // not called by the plug-in
    virtual HRESULT STDMETHODCALLTYPE OpenCategory(BSTR product, BSTR category) = 0;
};

struct INoticePresenter : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE ShowNotice(VorWord owner, BSTR text, LONG options, LONG* result) = 0;
};

// The module's own interfaces add nothing to IUnknown.
struct ICalsFormat : public IUnknown {};
struct ICalsFile : public IUnknown {};
struct ICalsPreview : public IUnknown {};

// Not the host's: the host names the variables it wants, a batch tool needs them listed. Not in
// the type library and without a proxy: only a caller in the navigator's apartment reaches it.
struct CalsVariableInfo {
    BSTR name;
    LONG writable; // 1: WriteVariable stores a value under this name; 0: it refuses one
};

struct ICalsVariableList : public IUnknown {
    // Every variable ReadVariable answers for the file, in card order, each once. The caller
    // frees each name with SysFreeString and the array with CoTaskMemFree.
    virtual HRESULT STDMETHODCALLTYPE GetVariables(ULONG* count, CalsVariableInfo** variables) = 0;
};

// __uuidof for the interfaces above, so that templates can name them by type.
__CRT_UUID_DECL(IVorFileFormat, 0xBA021550, 0x0C19, 0x4ABB, 0xAE, 0xE7, 0xAD, 0x2E, 0x6F, 0x62, 0xC3, 0x1A)
__CRT_UUID_DECL(IVorFileFormat2, 0x165EA99F, 0x372B, 0x481C, 0xAA, 0x1E, 0x46, 0x18, 0x8F, 0xD4, 0x53, 0xF7)
__CRT_UUID_DECL(IVorFileNavigator, 0x93E9FC5D, 0x7766, 0x4F74, 0xBF, 0x7A, 0x22, 0x75, 0x93, 0xB1, 0xC1, 0xA7)
__CRT_UUID_DECL(IVorFilePreview, 0x72CE236E, 0xC945, 0x43E7, 0xA9, 0x9A, 0x2A, 0x30, 0x6C, 0x9A, 0xD4, 0x5E)
__CRT_UUID_DECL(ITipTextSource, 0xF77C7DD1, 0x8242, 0x4D30, 0xB2, 0xF0, 0xF2, 0x82, 0xB8, 0x1A, 0x1C, 0x1F)
__CRT_UUID_DECL(INoticePresenter, 0x3646ED24, 0x2A0C, 0x4DB4, 0xAD, 0xB4, 0xBF, 0x3B, 0xB5, 0x79, 0xCE, 0x61)
__CRT_UUID_DECL(ICalsFormat, 0x48441332, 0x6F5B, 0x4FD1, 0xA7, 0xA1, 0xFE, 0x81, 0x6E, 0xE2, 0x74, 0x7E)
__CRT_UUID_DECL(ICalsFile, 0xBF58DC29, 0x7CC4, 0x463F, 0xBA, 0x4F, 0xD0, 0x4F, 0xE2, 0x03, 0xF6, 0x99)
__CRT_UUID_DECL(ICalsPreview, 0x777ACCEA, 0x0227, 0x4B1A, 0x9B, 0x53, 0xF0, 0x5B, 0xC7, 0x50, 0xDF, 0x20)
__CRT_UUID_DECL(ICalsVariableList, 0x86DA1F88, 0x92C1, 0x4573, 0x9D, 0x7E, 0x95, 0x38, 0x78, 0x6D, 0x3C, 0xA4)
