// The free-threaded format object called from eight multithreaded-apartment threads at once,
// each with navigators of its own, while the settings file's time keeps changing; afterwards
// nothing is left alive and the module may be unloaded.
#include "hostenv/Bstr.h"
#include "hostenv/ComPtr.h"
#include "tests/support/CalsFixtures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace scanleaf;
using testsupport::MakeCalsImage;

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 150;

class Failures {
public:
    void Add(int thread, const std::string& what) {
        std::lock_guard<std::mutex> guard(mutex_);
        if (messages_.size() < 20) messages_.push_back("thread " + std::to_string(thread) + ": " + what);
        ++count_;
    }
    int Count() const { return count_; }
    std::string Text() const {
        std::string text;
        for (const std::string& m : messages_) text += m + "\n";
        return text;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> messages_;
    std::atomic<int> count_{0};
};

std::wstring ReadOne(IVorFileNavigator* navigator, const wchar_t* name) {
    VorVariable r{};
    r.name = SysAllocString(name);
    r.block = SysAllocString(L"CALS");
    VariantInit(&r.value);
    HRESULT hr = navigator->ReadVariable(0, 0, 0, 1, &r);
    std::wstring text = SUCCEEDED(hr) && r.found == 1 && r.value.vt == VT_BSTR ? r.value.bstrVal : L"<missing>";
    SysFreeString(r.name);
    SysFreeString(r.block);
    VariantClear(&r.value);
    return text;
}

HRESULT WriteOne(IVorFileNavigator* navigator, const wchar_t* name, const std::wstring& text) {
    VorVariable r{};
    r.name = SysAllocString(name);
    r.block = SysAllocString(L"CALS");
    r.value.vt = VT_BSTR;
    r.value.bstrVal = SysAllocString(text.c_str());
    HRESULT hr = navigator->WriteVariable(0, 0, 0, 1, &r, 0);
    if (SUCCEEDED(hr) && r.found != 1) hr = E_FAIL;
    SysFreeString(r.name);
    SysFreeString(r.block);
    VariantClear(&r.value);
    return hr;
}

// The settings file gets a new write time (same content), so kept settings are dropped.
void Touch(const std::wstring& path, unsigned long long ticks) {
    HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    ULARGE_INTEGER u;
    u.QuadPart = ticks;
    FILETIME t{u.LowPart, u.HighPart};
    SetFileTime(h, nullptr, nullptr, &t);
    CloseHandle(h);
}

class Worker {
public:
    Worker(int index, IStream* stream, IVorFileFormat* raw, const std::wstring& own, const std::wstring& shared,
           const std::wstring& settings, std::atomic<int>& ready, Failures& failures)
        : index_(index), stream_(stream), raw_(raw), own_(own), shared_(shared), settings_(settings), ready_(ready),
          failures_(failures) {}

    void Run() {
        if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return Fail("CoInitializeEx");
        Rounds();
        CoUninitialize();
    }

private:
    void Rounds() {
        ComPtr<IVorFileFormat> format;
        if (FAILED(CoGetInterfaceAndReleaseStream(stream_, IID_IVorFileFormat, format.PutVoid())))
            return Fail("unmarshal");
        // Free-threaded: every apartment gets the object itself, not a proxy.
        if (format.Get() != raw_) Fail("a proxy instead of the object");
        ComPtr<IVorFileFormat2> groups;
        if (FAILED(format.As(IID_IVorFileFormat2, groups))) return Fail("IVorFileFormat2");

        ready_.fetch_add(1);
        while (ready_.load() < kThreads) std::this_thread::yield();

        for (int round = 0; round < kRounds; ++round) {
            Bstr product, description, extensions;
            if (format->GetFormatInfo(product.Put(), description.Put(), extensions.Put()) != S_OK ||
                std::wstring(product.Get()) != L"KESTRAVO PDM")
                Fail("GetFormatInfo");

            ULONG count = 0;
            ExtensionGroup* array = nullptr;
            if (groups->GetExtensionGroups(&count, &array) != S_OK || count != 1 || !array ||
                std::wstring(array[0].extensions) != L"ct1,ct2,ct3,nif,ct4,c4,cg4,gp4,mil,rst,cal")
                Fail("GetExtensionGroups");
            for (ULONG i = 0; i < count; ++i) SysFreeString(array[i].extensions);
            CoTaskMemFree(array);

            ComPtr<IVorFileNavigator> mine = Open(format.Get(), own_);
            ComPtr<IVorFileNavigator> common = Open(format.Get(), shared_);
            if (!mine.Get() || !common.Get()) continue;
            // Each thread's own value, written and saved in the round before.
            const std::wstring expected = L"T" + std::to_wstring(index_) + L"-" + std::to_wstring(round);
            if (ReadOne(mine.Get(), L"notes") != expected) Fail("own value of round " + std::to_string(round));
            if (ReadOne(common.Get(), L"doc") != L"ALL" || ReadOne(common.Get(), L"width") != L"1728")
                Fail("shared file");
            const std::wstring next = L"T" + std::to_wstring(index_) + L"-" + std::to_wstring(round + 1);
            if (WriteOne(mine.Get(), L"notes", next) != S_OK || mine->SaveFile() != S_OK) Fail("save");
            // A read-only field stays so in every thread.
            if (WriteOne(common.Get(), L"rtype", L"9") != E_FAIL) Fail("read-only field written");

            if (index_ == 0 && round % 10 == 5) Touch(settings_, 132000000000000000ULL + 10000000ULL * round);
        }
    }

    ComPtr<IVorFileNavigator> Open(IVorFileFormat* format, const std::wstring& path) {
        ComPtr<IVorFileNavigator> navigator;
        Bstr b(path.c_str());
        HRESULT hr = format->CreateNavigator(b.Get(), 0, navigator.Put());
        if (hr != S_OK) Fail("CreateNavigator " + std::to_string(hr));
        return navigator;
    }

    void Fail(const std::string& what) { failures_.Add(index_, what); }

    int index_;
    IStream* stream_;
    IVorFileFormat* raw_;
    std::wstring own_, shared_, settings_;
    std::atomic<int>& ready_;
    Failures& failures_;
};

TEST(FormatConcurrency, EightThreadsThenNothingLeftAlive) {
    testsupport::HostSettings host;
    host.WriteSettings("[srcdocid]\r\nTagnames=doc\r\nTagpositions=1-3\r\n[rtype]\r\nReadonly=1\r\n");
    Touch(host.SettingsPath(), 132000000000000000ULL);
    testsupport::TempFolder temp;
    const std::wstring shared = temp.File(L"shared.cal");
    testsupport::WriteBytes(shared, MakeCalsImage({"srcdocid: ALL", "rtype: 1", "rpelcnt: 001728,002200"}));
    std::vector<std::wstring> own;
    for (int i = 0; i < kThreads; ++i) {
        own.push_back(temp.File(L"t" + std::to_wstring(i) + L".cal"));
        std::string record = "notes: T" + std::to_string(i) + "-0";
        testsupport::WriteBytes(own.back(), MakeCalsImage({record, "rtype: 1"}));
    }

    testsupport::ScanleafDll dll;
    Failures failures;
    {
        ComPtr<IVorFileFormat> format;
        ASSERT_EQ(S_OK, dll.Create(CLSID_CalsFormat, IID_IVorFileFormat, format.PutVoid()));
        std::atomic<int> ready{0};
        std::vector<Worker> workers;
        for (int i = 0; i < kThreads; ++i) {
            IStream* stream = nullptr;
            ASSERT_EQ(S_OK, CoMarshalInterThreadInterfaceInStream(IID_IVorFileFormat, format.Get(), &stream));
            workers.emplace_back(i, stream, format.Get(), own[i], shared, host.SettingsPath(), ready, failures);
        }
        std::vector<std::thread> threads;
        for (Worker& w : workers) threads.emplace_back([&w] { w.Run(); });
        for (std::thread& t : threads) t.join();
        EXPECT_EQ(S_FALSE, dll.CanUnloadNow()) << "the format object is still held";
    }
    EXPECT_EQ(0, failures.Count()) << failures.Text();
    EXPECT_EQ(S_OK, dll.CanUnloadNow());
    for (int i = 0; i < kThreads; ++i) {
        // Every thread's last save is in its file.
        std::vector<unsigned char> bytes = testsupport::ReadBytes(own[i]);
        std::string expected = "notes: T" + std::to_string(i) + "-" + std::to_string(kRounds);
        EXPECT_EQ(expected, std::string(bytes.begin(), bytes.begin() + expected.size()));
    }
}

} // namespace
