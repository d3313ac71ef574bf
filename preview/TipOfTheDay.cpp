#include "preview/TipOfTheDay.h"

#include "hostenv/Bstr.h"
#include "hostenv/ComError.h"
#include "hostenv/ComPtr.h"
#include "hostenv/Registry.h"

#include <cwchar>

namespace scanleaf {

namespace {

constexpr REGSAM kAccess = KEY_READ | KEY_WRITE;  // 0x2001F
// In-process server and handler, local and remote server.
constexpr DWORD kComponentContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER |
                                    CLSCTX_REMOTE_SERVER;
constexpr LONG kNoticeOptions = 6;
// Presenter result bit: the user has had the tip, keep the mark.
constexpr LONG kKeepMark = 2;

// Creates a host component for iid; null when it can't be created or run. The object may
// live in another process, so it is put into its running state before it is used.
template <class Itf>
ComPtr<Itf> CreateHostComponent(REFCLSID clsid, REFIID iid) {
    ComPtr<IUnknown> unknown;
    if (FAILED(CoCreateInstance(clsid, nullptr, kComponentContext, IID_IUnknown, unknown.PutVoid()))) return {};
    if (FAILED(OleRun(unknown.Get()))) return {};
    ComPtr<Itf> itf;
    if (FAILED(unknown->QueryInterface(iid, itf.PutVoid()))) return {};
    return itf;
}

template <class Itf>
Itf* Require(const ComPtr<Itf>& component) {
    if (!component) RaiseComError(E_POINTER);
    return component.Get();
}

void Check(HRESULT hr, IUnknown* component, REFIID iid) {
    if (FAILED(hr)) RaiseComErrorAfterCall(hr, component, iid);
}

Bstr MakeBstr(const wchar_t* text) {
    BSTR b = SysAllocString(text);
    if (!b) RaiseComError(E_OUTOFMEMORY);
    return Bstr::Attach(b);
}

void DeleteMark(Registry& tips, const wchar_t* name) { tips.lastError = RegDeleteValueW(tips.Key(), name); }

} // namespace

void ShowTipOfTheDay(VorWord owner, LONG tipNumber) {
    Registry tips;
    if (!tips.Open(HKEY_CURRENT_USER, kApplicationKey, kAccess, true)) return;
    if (!tips.OpenSubKey(kTipOfTheDaySubkey, kAccess, true)) return;

    wchar_t name[16];
    std::swprintf(name, sizeof name / sizeof name[0], L"%d", static_cast<int>(tipNumber));

    // Any 4-byte DWORD of that name, whatever its data, says the tip was given.
    DWORD mark = 0;
    if (tips.QueryDword(name, mark)) return;
    // Written before the tip is shown; an unwritable mark only means the tip comes again.
    tips.SetDword(name, 1);

    try {
        ComPtr<ITipTextSource> source = CreateHostComponent<ITipTextSource>(CLSID_VorTipTextSource, IID_ITipTextSource);
        Bstr product = MakeBstr(L"KESTRAVO PDM");
        Bstr category = MakeBstr(L"TipOfTheDay");
        Check(Require(source)->OpenCategory(product.Get(), category.Get()), source.Get(), IID_ITipTextSource);
        Bstr text;
        Check(source->GetTipText(tipNumber, text.Put()), source.Get(), IID_ITipTextSource);

        ComPtr<INoticePresenter> presenter =
            CreateHostComponent<INoticePresenter>(CLSID_VorNoticePresenter, IID_INoticePresenter);
        LONG result = 0;
        Check(Require(presenter)->ShowNotice(owner, text.Get(), kNoticeOptions, &result), presenter.Get(),
              IID_INoticePresenter);
        if (!(result & kKeepMark)) DeleteMark(tips, name);
        presenter.Reset();
        text.Reset();
        source.Reset();
    } catch (const ComError&) {
        // Everything made in the block is released by now; try the tip again next time.
        DeleteMark(tips, name);
    }
}

} // namespace scanleaf
