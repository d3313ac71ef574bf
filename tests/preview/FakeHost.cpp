#include "tests/preview/FakeHost.h"

#include "preview/TipOfTheDay.h"
#include "tests/support/TestSupport.h"

#include <new>
#include <sstream>
#include <stdexcept>

namespace fakehost {

namespace {

std::vector<std::string> g_events;
ComponentConfig g_config;
int g_live = 0;

std::string Words(const std::vector<VorWord>& words) {
    std::ostringstream s;
    for (size_t i = 0; i < words.size(); ++i) s << (i ? "," : "") << words[i];
    return s.str();
}

std::string Text(BSTR b) { return b ? testsupport::Narrow(std::wstring(b, SysStringLen(b))) : "<null>"; }

// A host component seen through an IDispatch-derived interface that the preview never
// dispatches through; counted, and destroyed at its last release.
template <class Interface>
class DispatchFake : public Interface {
public:
    virtual ~DispatchFake() = default;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

private:
    ULONG refs_ = 0;
};

class FakeTipSource : public DispatchFake<ITipTextSource>, public IRunnableObject {
public:
    static constexpr const CLSID& kClsid = CLSID_VorTipTextSource;
    FakeTipSource() { ++g_live; }
    virtual ~FakeTipSource() {
        --g_live;
        g_events.push_back("source.destroyed");
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
            (g_config.sourceHasInterface && IsEqualIID(iid, IID_ITipTextSource)))
            *out = static_cast<ITipTextSource*>(this);
        else if (g_config.sourceRunnable && IsEqualIID(iid, IID_IRunnableObject))
            *out = static_cast<IRunnableObject*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    // One count for both branches of the object.
    ULONG STDMETHODCALLTYPE AddRef() override { return DispatchFake::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return DispatchFake::Release(); }

    HRESULT STDMETHODCALLTYPE GetTipText(LONG tipNumber, BSTR* text) override {
        g_events.push_back("source.GetTipText(" + std::to_string(tipNumber) + ")");
        if (g_config.tipTextThrows) throw std::bad_alloc();
        if (FAILED(g_config.tipTextResult)) return g_config.tipTextResult;
        *text = SysAllocString(g_config.tipText.c_str());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTipCount(LONG*) override {
        g_events.push_back("source.GetTipCount");
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE OpenCategory(BSTR product, BSTR category) override {
        g_events.push_back("source.OpenCategory(" + Text(product) + "," + Text(category) + ")");
        return g_config.openCategoryResult;
    }

    // IRunnableObject
    HRESULT STDMETHODCALLTYPE GetRunningClass(CLSID* clsid) override {
        *clsid = CLSID_VorTipTextSource;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Run(IBindCtx*) override {
        g_events.push_back("source.Run");
        return g_config.runResult;
    }
    BOOL STDMETHODCALLTYPE IsRunning() override { return TRUE; }
    HRESULT STDMETHODCALLTYPE LockRunning(BOOL, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetContainedObject(BOOL) override { return S_OK; }
};

class FakePresenter : public DispatchFake<INoticePresenter> {
public:
    static constexpr const CLSID& kClsid = CLSID_VorNoticePresenter;
    FakePresenter() { ++g_live; }
    virtual ~FakePresenter() {
        --g_live;
        g_events.push_back("presenter.destroyed");
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch) && !IsEqualIID(iid, IID_INoticePresenter))
            return E_NOINTERFACE;
        *out = static_cast<INoticePresenter*>(this);
        AddRef();
        return S_OK;
    }


    HRESULT STDMETHODCALLTYPE ShowNotice(VorWord owner, BSTR text, LONG options, LONG* result) override {
        g_events.push_back("presenter.ShowNotice(" + std::to_string(owner) + "," + Text(text) + "," +
                           std::to_string(options) + ")");
        if (FAILED(g_config.showNoticeResult)) return g_config.showNoticeResult;
        *result = g_config.noticeResult;
        return g_config.showNoticeResult;
    }

private:
};

template <class T>
class FakeFactory : public IClassFactory {
public:
    explicit FakeFactory(const char* name) : name_(name) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
        *out = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    // Static objects: the counts don't own them.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        g_events.push_back(std::string(name_) + ".created");
        if (IsEqualCLSID(T::kClsid, CLSID_VorTipTextSource) && g_config.onSourceCreated) g_config.onSourceCreated();
        T* object = new T;
        object->AddRef();
        HRESULT hr = object->QueryInterface(iid, out);
        object->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    const char* name_;
};

FakeFactory<FakeTipSource> g_sourceFactory("source");
FakeFactory<FakePresenter> g_presenterFactory("presenter");

DWORD Register(REFCLSID clsid, IClassFactory* factory) {
    DWORD cookie = 0;
    HRESULT hr = CoRegisterClassObject(clsid, factory, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                       REGCLS_MULTIPLEUSE, &cookie);
    if (FAILED(hr)) throw std::runtime_error("CoRegisterClassObject failed");
    return cookie;
}

std::wstring TipKeyPath() { return std::wstring(scanleaf::kApplicationKey) + L"\\" + scanleaf::kTipOfTheDaySubkey; }

} // namespace

std::vector<std::string>& Events() { return g_events; }

std::vector<std::string> EventsOf(const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& e : g_events)
        if (e.compare(0, prefix.size(), prefix) == 0) out.push_back(e);
    return out;
}

ComponentConfig& Config() { return g_config; }
int LiveComponents() { return g_live; }

ComponentHost::ComponentHost(bool withSource, bool withPresenter) {
    g_config = ComponentConfig();
    g_events.clear();
    if (withSource) sourceCookie_ = Register(CLSID_VorTipTextSource, &g_sourceFactory);
    if (withPresenter) presenterCookie_ = Register(CLSID_VorNoticePresenter, &g_presenterFactory);
}

ComponentHost::~ComponentHost() {
    RevokeSource();
    RevokePresenter();
}

void ComponentHost::RevokeSource() {
    if (sourceCookie_) CoRevokeClassObject(sourceCookie_);
    sourceCookie_ = 0;
}

void ComponentHost::RevokePresenter() {
    if (presenterCookie_) CoRevokeClassObject(presenterCookie_);
    presenterCookie_ = 0;
}

HRESULT FakePreview::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IVorFilePreview)) return E_NOINTERFACE;
    *out = static_cast<IVorFilePreview*>(this);
    AddRef();
    return S_OK;
}

HRESULT FakePreview::Log(int method, std::vector<VorWord> words) {
    g_events.push_back("inner.Method" + std::to_string(method) + "(" + Words(words) + ")");
    return Result(method);
}

HRESULT FakePreview::Method1(VorWord a, VorWord b, VorWord c, VorWord d) { return Log(1, {a, b, c, d}); }
HRESULT FakePreview::Method2(VorWord a, VorWord b, VorWord c) { return Log(2, {a, b, c}); }
HRESULT FakePreview::Method3() { return Log(3, {}); }
HRESULT FakePreview::Method4(VorWord a) { return Log(4, {a}); }
HRESULT FakePreview::Method5(VorWord a) { return Log(5, {a}); }
HRESULT FakePreview::Method6(VorWord a, VorWord b, VorWord c) { return Log(6, {a, b, c}); }
HRESULT FakePreview::Method7(VorWord a, VorWord b, VorWord c, VorWord d, VorWord e) { return Log(7, {a, b, c, d, e}); }
HRESULT FakePreview::Method8(VorWord a) { return Log(8, {a}); }
HRESULT FakePreview::Method9(VorWord a) { return Log(9, {a}); }

HRESULT FakeFormat::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IVorFileFormat)) return E_NOINTERFACE;
    *out = static_cast<IVorFileFormat*>(this);
    AddRef();
    return S_OK;
}

HRESULT FakeFormat::CreatePreview(VorWord owner, VorWord arg2, VorWord arg3, VorWord arg4, IVorFilePreview** out) {
    g_events.push_back("format.CreatePreview(" + Words({owner, arg2, arg3, arg4}) + ")");
    *out = nullptr;
    if (FAILED(result)) return result;
    if (preview) {
        preview->AddRef();
        *out = preview;
    }
    return result;
}

std::vector<BYTE> DwordBytes(DWORD value) {
    const BYTE* p = reinterpret_cast<const BYTE*>(&value);
    return std::vector<BYTE>(p, p + 4);
}

std::vector<std::wstring> KeyPath() {
    std::vector<std::wstring> path;
    std::wstring full = TipKeyPath();
    // "Software" itself always exists; start below it.
    for (size_t pos = full.find(L'\\'); pos != std::wstring::npos; pos = full.find(L'\\', pos + 1)) {
        size_t next = full.find(L'\\', pos + 1);
        path.push_back(full.substr(0, next));
    }
    return path;
}

bool TipMarks::KeyExists(const wchar_t* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::optional<TipMarks::Value> TipMarks::Read(const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, TipKeyPath().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
    Value v{0, std::vector<BYTE>(64)};
    DWORD size = static_cast<DWORD>(v.data.size());
    LONG rc = RegQueryValueExW(key, name, nullptr, &v.type, v.data.data(), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return {};
    v.data.resize(size);
    return v;
}

void TipMarks::Write(const wchar_t* name, DWORD type, const std::vector<BYTE>& data) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, TipKeyPath().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create the tip key");
    LONG rc = RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) throw std::runtime_error("cannot write a tip mark");
}

void TipMarks::Remove(const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, TipKeyPath().c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    RegDeleteValueW(key, name);
    RegCloseKey(key);
}

bool TipMarks::RemoveKeys() {
    auto path = KeyPath();
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, it->c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
        DWORD subkeys = 0, values = 0;
        RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr);
        RegCloseKey(key);
        if (subkeys || values || RegDeleteKeyW(HKEY_CURRENT_USER, it->c_str()) != ERROR_SUCCESS) break;
    }
    return !KeyExists(path.back().c_str());
}

TipMarks::TipMarks() {
    for (const auto& key : KeyPath()) existed_.push_back(KeyExists(key.c_str()));
    saved1_ = Read(L"1");
    saved12_ = Read(L"12");
    Remove(L"1");
    Remove(L"12");
}

TipMarks::~TipMarks() {
    Remove(L"1");
    Remove(L"12");
    auto path = KeyPath();
    // Keys that were there come back (a test may have removed them), with their marks.
    for (size_t i = 0; i < path.size(); ++i) {
        if (!existed_[i]) continue;
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, path[i].c_str(), 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr) ==
            ERROR_SUCCESS)
            RegCloseKey(key);
    }
    try {
        if (saved1_) Write(L"1", saved1_->type, saved1_->data);
        if (saved12_) Write(L"12", saved12_->type, saved12_->data);
    } catch (const std::exception&) {
    }
    // Keys that a test made go again, deepest first, when nothing else lives in them.
    for (size_t i = path.size(); i-- > 0;) {
        if (existed_[i]) continue;
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, path[i].c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
        DWORD subkeys = 0, values = 0;
        RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr);
        RegCloseKey(key);
        if (!subkeys && !values) RegDeleteKeyW(HKEY_CURRENT_USER, path[i].c_str());
    }
}

} // namespace fakehost
