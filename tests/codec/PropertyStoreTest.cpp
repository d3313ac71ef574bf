// The property handler as Explorer and the indexer meet it, created from the DLL's class object:
// every property of the writers' drawings as the core reads their headers, the order of calls
// and their faults answered, and writes that change the header's record slot alone, all at once
// on Commit, refused on a stream opened for reading and for what Explorer may not write.
#include "codec/api/CodecIds.h"
#include "codec/PropertyKeys.h"
#include "core/cals/CalsImage.h"
#include "core/cals/DrawingProperties.h"
#include "hostenv/ComPtr.h"
#include "hostenv/SystemText.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <propsys.h>
#include <shlwapi.h>
#include <wincodec.h>

#include <thread>

using namespace scanleaf;
using testsupport::ProgramFolder;

namespace {

class PropertyHandler : public testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryW((ProgramFolder() + L"\\ScanleafCodec.dll").c_str());
        ASSERT_NE(nullptr, module_);
        auto getClass = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
        ASSERT_NE(nullptr, getClass);
        ASSERT_HRESULT_SUCCEEDED(getClass(CLSID_CalsPropertyHandler, IID_IClassFactory, factory_.PutVoid()));
    }
    void TearDown() override {
        factory_.Reset();
        if (module_) FreeLibrary(module_);
    }
    ComPtr<IPropertyStore> Create() {
        ComPtr<IPropertyStore> store;
        EXPECT_HRESULT_SUCCEEDED(factory_->CreateInstance(nullptr, IID_IPropertyStore, store.PutVoid()));
        return store;
    }
    static ComPtr<IStream> Memory(const std::vector<unsigned char>& bytes) {
        return ComPtr<IStream>::Attach(SHCreateMemStream(bytes.data(), UINT(bytes.size())));
    }
    static ComPtr<IStream> OnFile(const std::wstring& path, DWORD mode) {
        ComPtr<IStream> stream;
        EXPECT_HRESULT_SUCCEEDED(SHCreateStreamOnFileEx(path.c_str(), mode, FILE_ATTRIBUTE_NORMAL, FALSE, nullptr, stream.Put()));
        return stream;
    }
    static HRESULT Initialize(IPropertyStore* store, IStream* stream, DWORD mode) {
        ComPtr<IInitializeWithStream> init;
        const HRESULT hr = store->QueryInterface(IID_IInitializeWithStream, init.PutVoid());
        return FAILED(hr) ? hr : init->Initialize(stream, mode);
    }
    static std::wstring Text(IPropertyStore* store, const PROPERTYKEY& key) {
        PROPVARIANT v;
        EXPECT_HRESULT_SUCCEEDED(store->GetValue(key, &v));
        const std::wstring text = v.vt == VT_LPWSTR ? v.pwszVal : L"";
        PropVariantClear(&v);
        return text;
    }
    static PROPVARIANT Lpwstr(const wchar_t* text) {
        PROPVARIANT v;
        PropVariantInit(&v);
        v.vt = VT_LPWSTR;
        v.pwszVal = const_cast<wchar_t*>(text);
        return v;
    }
    static const PROPERTYKEY& Key(core::DrawingKey which) {
        for (const DrawingPropertyKey& k : DrawingPropertyKeys())
            if (k.drawing == which) return k.key;
        static const PROPERTYKEY none{};
        return none;
    }
    static std::wstring Sample(const wchar_t* name) { return ProgramFolder() + L"\\samples\\" + name; }

    HMODULE module_ = nullptr;
    ComPtr<IClassFactory> factory_;
};

TEST_F(PropertyHandler, EveryPropertyOfTheWritersDrawingsAsTheCoreReadsIt) {
    for (const wchar_t* name : {L"imagemagick-64x48.cal", L"graphicsmagick-97x61.cal", L"gdal-300x200.cal"}) {
        SCOPED_TRACE(testsupport::Narrow(name));
        const std::vector<unsigned char> bytes = testsupport::ReadBytes(Sample(name));
        core::DrawingProperties core;
        std::string problem;
        ASSERT_TRUE(core.Read(bytes.data(), AnsiCodePage(), problem));
        ComPtr<IPropertyStore> store = Create();
        ASSERT_HRESULT_SUCCEEDED(Initialize(store.Get(), Memory(bytes).Get(), STGM_READ));
        DWORD count = 0;
        ASSERT_HRESULT_SUCCEEDED(store->GetCount(&count));
        ASSERT_EQ(DrawingPropertyKeys().size(), count);
        for (DWORD i = 0; i < count; ++i) {
            PROPERTYKEY key{};
            ASSERT_HRESULT_SUCCEEDED(store->GetAt(i, &key));
            const DrawingPropertyKey* known = FindDrawingPropertyKey(key);
            ASSERT_NE(nullptr, known);
            PROPVARIANT v;
            ASSERT_HRESULT_SUCCEEDED(store->GetValue(key, &v));
            const core::DrawingValue want = core.Get(known->drawing);
            switch (want.kind) {
            case core::DrawingValue::Kind::Empty: EXPECT_EQ(VT_EMPTY, v.vt) << i; break;
            case core::DrawingValue::Kind::Text:
                ASSERT_EQ(VT_LPWSTR, v.vt) << i;
                EXPECT_EQ(want.text, v.pwszVal);
                break;
            case core::DrawingValue::Kind::Real:
                ASSERT_EQ(VT_R8, v.vt) << i;
                EXPECT_EQ(want.real, v.dblVal);
                break;
            case core::DrawingValue::Kind::Number:
                ASSERT_EQ(known->type, v.vt) << i;
                EXPECT_EQ(want.number, known->type == VT_I2 ? ULONG(v.iVal) : known->type == VT_UI2 ? ULONG(v.uiVal) : v.ulVal);
                break;
            }
            PropVariantClear(&v);
        }
        // The size is the picture's, upright.
        const core::CalsImageInfo info = core::ReadImageInfo(bytes.data());
        PROPVARIANT width;
        ASSERT_HRESULT_SUCCEEDED(store->GetValue(Key(core::DrawingKey::Width), &width));
        EXPECT_EQ(info.pelPath % 180 ? info.height : info.width, width.ulVal);
    }
}

// GDAL's drawing with its rorient record made each of the eight orientations, and headers mutated
// at random: the size follows the orientation, and no header crashes the handler or leaks a value
// of the wrong type.
TEST_F(PropertyHandler, EightOrientationsAndHostileHeaders) {
    const std::vector<unsigned char> gdal = testsupport::ReadBytes(Sample(L"gdal-300x200.cal"));
    std::size_t orient = 0;
    while (orient < 2048 && std::string(gdal.begin() + long(orient), gdal.begin() + long(orient) + 8) != "rorient:") orient += 128;
    ASSERT_LT(orient, 2048u);
    const core::CalsImageInfo info = core::ReadImageInfo(gdal.data());
    for (const char* angles : {"000,270", "180,090", "180,270", "000,090", "270,090", "270,270", "090,090", "090,270"}) {
        std::vector<unsigned char> bytes = gdal;
        const std::string record = std::string("rorient: ") + angles;
        std::fill(bytes.begin() + long(orient), bytes.begin() + long(orient) + 128, ' ');
        std::copy(record.begin(), record.end(), bytes.begin() + long(orient));
        ComPtr<IPropertyStore> store = Create();
        ASSERT_EQ(S_OK, Initialize(store.Get(), Memory(bytes).Get(), STGM_READ)) << angles;
        PROPVARIANT width, height;
        ASSERT_HRESULT_SUCCEEDED(store->GetValue(Key(core::DrawingKey::Width), &width));
        ASSERT_HRESULT_SUCCEEDED(store->GetValue(Key(core::DrawingKey::Height), &height));
        const bool turned = angles[0] == '0' ? angles[1] == '9' : angles[0] == '2';
        EXPECT_EQ(turned ? info.height : info.width, width.ulVal) << angles;
        EXPECT_EQ(turned ? info.width : info.height, height.ulVal) << angles;
        EXPECT_EQ(std::wstring(angles, angles + 7), Text(store.Get(), Key(core::DrawingKey::Orientation)));
    }
    std::srand(7);
    for (int round = 0; round < 300; ++round) {
        std::vector<unsigned char> bytes(gdal.begin(), gdal.begin() + 2048 + std::rand() % 64);
        for (int flips = 1 + std::rand() % 40; flips > 0; --flips) bytes[std::size_t(std::rand()) % 2048] = static_cast<unsigned char>(std::rand());
        ComPtr<IPropertyStore> store = Create();
        const HRESULT hr = Initialize(store.Get(), Memory(bytes).Get(), STGM_READ);
        ASSERT_TRUE(hr == S_OK || hr == WINCODEC_ERR_BADHEADER) << round;
        DWORD count = 0;
        ASSERT_HRESULT_SUCCEEDED(store->GetCount(&count));
        for (DWORD i = 0; i < count; ++i) {
            PROPERTYKEY key{};
            ASSERT_HRESULT_SUCCEEDED(store->GetAt(i, &key));
            PROPVARIANT v;
            ASSERT_HRESULT_SUCCEEDED(store->GetValue(key, &v));
            EXPECT_TRUE(v.vt == VT_EMPTY || v.vt == FindDrawingPropertyKey(key)->type ||
                        (v.vt == VT_R8 && FindDrawingPropertyKey(key)->type == VT_R8))
                << round;
            PropVariantClear(&v);
        }
    }
}

TEST_F(PropertyHandler, CallsInAnyOrderAndTheirFaults) {
    const std::vector<unsigned char> drawing = testsupport::ReadBytes(Sample(L"imagemagick-64x48.cal"));
    ComPtr<IPropertyStore> store = Create();
    // Before Initialize: nothing to show, nothing to write.
    DWORD count = 7;
    EXPECT_EQ(S_OK, store->GetCount(&count));
    EXPECT_EQ(0u, count);
    PROPERTYKEY key{};
    EXPECT_EQ(E_INVALIDARG, store->GetAt(0, &key));
    PROPVARIANT v;
    EXPECT_EQ(S_OK, store->GetValue(Key(core::DrawingKey::Title), &v));
    EXPECT_EQ(VT_EMPTY, v.vt);
    const PROPVARIANT title = Lpwstr(L"x");
    EXPECT_EQ(E_UNEXPECTED, store->SetValue(Key(core::DrawingKey::Title), title));
    EXPECT_EQ(E_UNEXPECTED, store->Commit());
    EXPECT_EQ(E_POINTER, store->GetCount(nullptr));
    EXPECT_EQ(E_POINTER, store->GetAt(0, nullptr));
    EXPECT_EQ(E_POINTER, store->GetValue(Key(core::DrawingKey::Title), nullptr));
    EXPECT_EQ(E_INVALIDARG, Initialize(store.Get(), nullptr, STGM_READ));
    // Once, then never again.
    ASSERT_EQ(S_OK, Initialize(store.Get(), Memory(drawing).Get(), STGM_READ));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED), Initialize(store.Get(), Memory(drawing).Get(), STGM_READ));
    EXPECT_EQ(E_INVALIDARG, store->GetAt(DWORD(DrawingPropertyKeys().size()), &key));
    const PROPERTYKEY unknown = {kFmtScanleafCals, 99};
    EXPECT_EQ(S_OK, store->GetValue(unknown, &v));
    EXPECT_EQ(VT_EMPTY, v.vt);
    EXPECT_EQ(S_OK, store->Commit()); // nothing changed, nothing written
    // Headers of no drawing are refused.
    std::vector<unsigned char> typeTwo = drawing, cut(drawing.begin(), drawing.begin() + 2000);
    const std::string two = "rtype: 2";
    for (std::size_t i = 0; i + 8 <= 2048; i += 128)
        if (std::string(typeTwo.begin() + long(i), typeTwo.begin() + long(i) + 6) == "rtype:") std::copy(two.begin(), two.end(), typeTwo.begin() + long(i));
    for (const auto* bad : {&typeTwo, &cut}) {
        ComPtr<IPropertyStore> other = Create();
        EXPECT_EQ(WINCODEC_ERR_BADHEADER, Initialize(other.Get(), Memory(*bad).Get(), STGM_READ));
        EXPECT_EQ(S_OK, other->GetCount(&count));
        EXPECT_EQ(0u, count);
    }
}

TEST_F(PropertyHandler, WritesChangeTheRecordSlotAloneAllAtOnce) {
    testsupport::TempFolder folder;
    const std::wstring path = folder.File(L"drawing.cal");
    const std::vector<unsigned char> before = testsupport::ReadBytes(Sample(L"gdal-300x200.cal"));
    testsupport::WriteBytes(path, before);
    {
        ComPtr<IPropertyStore> store = Create();
        ASSERT_EQ(S_OK, Initialize(store.Get(), OnFile(path, STGM_READWRITE).Get(), STGM_READWRITE));
        ComPtr<IPropertyStoreCapabilities> caps;
        ASSERT_HRESULT_SUCCEEDED(store->QueryInterface(IID_IPropertyStoreCapabilities, caps.PutVoid()));
        for (const DrawingPropertyKey& k : DrawingPropertyKeys())
            EXPECT_EQ(k.drawing <= core::DrawingKey::Comment ? S_OK : S_FALSE, caps->IsPropertyWritable(k.key))
                << testsupport::Narrow(k.canonicalName);
        const std::wstring longest(121, L'x'), tooLong(123, L'x');
        const struct {
            core::DrawingKey key;
            PROPVARIANT value;
            HRESULT hr;
        } cases[] = {
            {core::DrawingKey::Title, Lpwstr(L"Pump housing \u00e9"), S_OK},
            {core::DrawingKey::Comment, Lpwstr(longest.c_str()), S_OK},
            {core::DrawingKey::DocumentId, Lpwstr(tooLong.c_str()), E_INVALIDARG}, // "srcdocid: " and 123
            {core::DrawingKey::Orientation, Lpwstr(L"000,270"), STG_E_ACCESSDENIED},
            {core::DrawingKey::Width, Lpwstr(L"5"), STG_E_ACCESSDENIED},
        };
        for (const auto& c : cases) EXPECT_EQ(c.hr, store->SetValue(Key(c.key), c.value)) << int(c.key);
        PROPVARIANT number;
        PropVariantInit(&number);
        number.vt = VT_UI4;
        EXPECT_EQ(DISP_E_TYPEMISMATCH, store->SetValue(Key(core::DrawingKey::Title), number));
        // Nothing reaches the file before Commit.
        EXPECT_EQ(before, testsupport::ReadBytes(path));
        ASSERT_EQ(S_OK, store->Commit());
        EXPECT_EQ(L"Pump housing \u00e9", Text(store.Get(), Key(core::DrawingKey::Title)));
    }
    const std::vector<unsigned char> after = testsupport::ReadBytes(path);
    ASSERT_EQ(before.size(), after.size());
    // The picture's stream is untouched, and in the header only the two records' slots changed.
    EXPECT_TRUE(std::equal(before.begin() + 2048, before.end(), after.begin() + 2048));
    core::DrawingProperties read;
    std::string problem;
    ASSERT_TRUE(read.Read(after.data(), AnsiCodePage(), problem));
    EXPECT_EQ(L"Pump housing \u00e9", read.Get(core::DrawingKey::Title).text);
    EXPECT_EQ(std::wstring(121, L'x'), read.Get(core::DrawingKey::Comment).text);
    for (std::size_t i = 0; i < 2048; ++i)
        if (before[i] != after[i]) {
            const std::string slot(after.begin() + long(i / 128 * 128), after.begin() + long(i / 128 * 128 + 6));
            EXPECT_TRUE(slot == "figid:" || slot == "notes:") << i << " " << slot;
        }
    // A stream opened for reading takes no value.
    ComPtr<IPropertyStore> reading = Create();
    ASSERT_EQ(S_OK, Initialize(reading.Get(), OnFile(path, STGM_READ).Get(), STGM_READ));
    const PROPVARIANT title = Lpwstr(L"other");
    EXPECT_EQ(STG_E_ACCESSDENIED, reading->SetValue(Key(core::DrawingKey::Title), title));
    EXPECT_EQ(S_OK, reading->Commit());
    EXPECT_EQ(after, testsupport::ReadBytes(path));
}

// The installer's actions call these by name, with its handle: both answer success (Wine's
// property system keeps no schema), on a thread with COM started or not.
TEST_F(PropertyHandler, TheInstallersSchemaStepsAreExportedByName) {
    for (const char* name : {"RegisterPropertySchema", "UnregisterPropertySchema"}) {
        auto step = reinterpret_cast<UINT(WINAPI*)(ULONG)>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
        ASSERT_NE(nullptr, step) << name;
        EXPECT_EQ(UINT(ERROR_SUCCESS), step(1)) << name;
        std::thread([&] { EXPECT_EQ(UINT(ERROR_SUCCESS), step(1)) << name << " without COM"; }).join();
    }
}

} // namespace
