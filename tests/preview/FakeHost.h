// Stand-ins for the host's components that the preview works with: a format object and
// its inner preview, the tip text source and the notice presenter (registered as class
// objects of this process), and the tip marks in the current user's hive.
#pragma once

#include "host/VorHost.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace fakehost {

// What the fakes were asked, in order ("source.OpenCategory(KESTRAVO PDM,TipOfTheDay)", ...).
std::vector<std::string>& Events();
// The events that start with prefix.
std::vector<std::string> EventsOf(const std::string& prefix);

// How the tip components behave; reset by ComponentHost.
struct ComponentConfig {
    bool sourceHasInterface = true;      // else the created object lacks ITipTextSource
    bool sourceRunnable = false;         // implements IRunnableObject
    HRESULT runResult = S_OK;            // of IRunnableObject::Run
    HRESULT openCategoryResult = S_OK;
    HRESULT tipTextResult = S_OK;
    bool tipTextThrows = false;          // GetTipText throws std::bad_alloc
    std::wstring tipText = L"Drag a sheet onto the card.";
    HRESULT showNoticeResult = S_OK;
    LONG noticeResult = 2;
    std::function<void()> onSourceCreated; // runs as the factory makes a text source
};
ComponentConfig& Config();
// Tip components alive right now.
int LiveComponents();

// Registers the tip text source and the notice presenter with CoRegisterClassObject for the
// lifetime of the object; either can be left out or revoked early.
class ComponentHost {
public:
    explicit ComponentHost(bool withSource = true, bool withPresenter = true);
    ~ComponentHost();
    ComponentHost(const ComponentHost&) = delete;
    ComponentHost& operator=(const ComponentHost&) = delete;
    void RevokeSource();
    void RevokePresenter();

private:
    DWORD sourceCookie_ = 0;
    DWORD presenterCookie_ = 0;
};

// An inner preview that logs "inner.MethodN(w1,w2,...)" and answers result + N (N = 1..9).
class FakePreview : public IVorFilePreview {
public:
    explicit FakePreview(HRESULT result = 0x00040100) : result_(result) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE Method1(VorWord, VorWord, VorWord, VorWord) override;
    HRESULT STDMETHODCALLTYPE Method2(VorWord, VorWord, VorWord) override;
    HRESULT STDMETHODCALLTYPE Method3() override;
    HRESULT STDMETHODCALLTYPE Method4(VorWord) override;
    HRESULT STDMETHODCALLTYPE Method5(VorWord) override;
    HRESULT STDMETHODCALLTYPE Method6(VorWord, VorWord, VorWord) override;
    HRESULT STDMETHODCALLTYPE Method7(VorWord, VorWord, VorWord, VorWord, VorWord) override;
    HRESULT STDMETHODCALLTYPE Method8(VorWord) override;
    HRESULT STDMETHODCALLTYPE Method9(VorWord) override;

    HRESULT Result(int method) const { return result_ + method; }
    LONG refs = 0; // references that others hold; the test owns the object itself

private:
    HRESULT Log(int method, std::vector<VorWord> words);
    HRESULT result_;
};

// A format object whose CreatePreview logs its words and hands out preview (when set).
class FakeFormat : public IVorFileFormat {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetFormatInfo(BSTR*, BSTR*, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetExtensionFlags(BSTR, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateNavigator(BSTR, LONG, IVorFileNavigator**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreatePreview(VorWord owner, VorWord arg2, VorWord arg3, VorWord arg4,
                                            IVorFilePreview** preview) override;
    HRESULT STDMETHODCALLTYPE Method5(LONG, void*) override { return E_NOTIMPL; }

    IVorFilePreview* preview = nullptr;
    HRESULT result = S_OK;
    LONG refs = 0;
};

// The tip marks: HKCU\<application key>\TipOfTheDay. Saves the values named 1 and 12 and
// which keys of the path exist, and puts all of it back at the end.
class TipMarks {
public:
    TipMarks();
    ~TipMarks();
    TipMarks(const TipMarks&) = delete;
    TipMarks& operator=(const TipMarks&) = delete;

    struct Value {
        DWORD type;
        std::vector<BYTE> data;
    };
    static std::optional<Value> Read(const wchar_t* name);
    static void Write(const wchar_t* name, DWORD type, const std::vector<BYTE>& data);
    static void Remove(const wchar_t* name);
    static bool KeyExists(const wchar_t* path);
    // Removes the TipOfTheDay key and, up the path, each key left empty; false when the
    // TipOfTheDay key holds something else and stays.
    static bool RemoveKeys();

private:
    std::vector<bool> existed_;
    std::optional<Value> saved1_, saved12_;
};

std::vector<BYTE> DwordBytes(DWORD value);
// The keys from "Software\Kestravo" down to the TipOfTheDay key.
std::vector<std::wstring> KeyPath();

} // namespace fakehost
