#include "tools/card/cards/Card.h"
#include "tools/card/cards/PluginCodes.h"

#include "tools/card/batch/Console.h"

#include "hostenv/Bstr.h"
#include "hostenv/ComPtr.h"
#include "hostenv/LongPath.h"
#include "hostenv/Unique.h"
#include "core/Fnv.h"
#include "core/cals/HeaderRecord.h"
#include "tools/card/cards/HeaderFile.h"
#include "tools/common/VariableArray.h"

namespace card {

using scanleaf::Bstr;
using scanleaf::ComPtr;
using toolsupport::VariableArray;

namespace {

bool ShorterThanHeader(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    return GetFileAttributesExW(scanleaf::FileSystemPath(path).c_str(), GetFileExInfoStandard, &data) &&
           data.nFileSizeHigh == 0 && data.nFileSizeLow < scanleaf::core::kHeaderSize;
}

// The list GetVariables hands over: each name and the array are freed here.
class VariableList {
public:
    HRESULT Fill(IVorFileNavigator* navigator) {
        ComPtr<ICalsVariableList> list;
        HRESULT hr = navigator->QueryInterface(IID_ICalsVariableList, list.PutVoid());
        if (FAILED(hr)) return hr;
        ULONG count = 0;
        CalsVariableInfo* items = nullptr;
        hr = list->GetVariables(&count, &items);
        items_ = Items(items, {items ? count : 0});
        count_ = items ? count : 0;
        return hr;
    }
    size_t Count() const { return count_; }
    std::wstring Name(size_t i) const { return std::wstring(items_.Get()[i].name, SysStringLen(items_.Get()[i].name)); }
    bool Writable(size_t i) const { return items_.Get()[i].writable != 0; }

private:
    using Items = scanleaf::TaskStringArray<CalsVariableInfo, &CalsVariableInfo::name>;
    ULONG count_ = 0;
    Items items_;
};

} // namespace

HRESULT CardReader::Read(const std::wstring& path, std::vector<CardEntry>& card) {
    card.clear();
    const HRESULT hr = CheckCalsFile(path);
    return FAILED(hr) ? hr : ReadChecked(path, card);
}

HRESULT CardReader::ReadChecked(const std::wstring& path, std::vector<CardEntry>& card) {
    card.clear();
    HRESULT hr = S_OK;
    ComPtr<IVorFileNavigator> navigator;
    Bstr bpath(path);
    hr = format_->CreateNavigator(bpath.Get(), 0, navigator.Put());
    if (hr == VOR_E_CANNOT_READ_HEADER && ShorterThanHeader(path)) return kShortHeader;
    if (FAILED(hr)) return FromPluginOpen(hr);

    VariableList list;
    hr = list.Fill(navigator.Get());
    if (FAILED(hr)) return hr;
    for (size_t i = 0; i < list.Count(); ++i) {
        CardEntry entry;
        entry.name = list.Name(i);
        entry.readOnly = !list.Writable(i);
        card.push_back(std::move(entry));
    }
    if (card.empty()) return S_OK; // a header without records: nothing to read, and no array to pass
    bool same = records_ && names_.size() == card.size();
    for (size_t i = 0; same && i < card.size(); ++i) same = names_[i] == card[i].name;
    if (!same) {
        names_.clear();
        for (const CardEntry& e : card) names_.push_back(e.name);
        records_ = std::make_unique<VariableArray>(names_);
    }
    records_->ClearValues(); // the last file's values
    hr = navigator->ReadVariable(0, 0, 0, records_->Count(), records_->Data());
    if (FAILED(hr)) return hr;
    for (size_t i = 0; i < card.size(); ++i) {
        card[i].found = (*records_)[i].found != 0;
        card[i].value = records_->Text(i);
    }
    return S_OK;
}

namespace {

const wchar_t kStatePrefix[] = L"card-";
constexpr size_t kStateDigits = 16;

} // namespace

std::wstring CardState(const std::vector<CardEntry>& card) {
    scanleaf::core::Fnv1a hash;
    auto add = [&hash](const std::wstring& text) {
        // Each character as two bytes, and a separator no name or value holds.
        for (wchar_t c : text) hash.AddUnit(unsigned(c));
        hash.Add(0x100);
    };
    for (const CardEntry& e : card) {
        add(e.name);
        add(e.value);
    }
    std::wstring text = kStatePrefix;
    for (int shift = 60; shift >= 0; shift -= 4) text += L"0123456789abcdef"[(hash.Value() >> shift) & 0xF];
    return text;
}

bool IsCardState(const std::wstring& text) {
    const std::wstring prefix = kStatePrefix;
    if (text.size() != prefix.size() + kStateDigits || text.compare(0, prefix.size(), prefix) != 0) return false;
    return text.find_first_not_of(L"0123456789abcdef", prefix.size()) == std::wstring::npos;
}

HRESULT ReadCard(IVorFileFormat* format, const std::wstring& path, std::vector<CardEntry>& card) {
    return CardReader(format).Read(path, card);
}

std::vector<std::unique_ptr<CardReader>> CardReaders(IVorFileFormat* format, unsigned count) {
    std::vector<std::unique_ptr<CardReader>> readers;
    for (unsigned i = 0; i < count; ++i) readers.push_back(std::make_unique<CardReader>(format));
    return readers;
}

} // namespace card
