#include "tools/card/Card.h"

#include "hostenv/Bstr.h"
#include "hostenv/ComPtr.h"
#include "navigator/CalsFile.h"
#include "navigator/HeaderRecord.h"
#include "tools/card/HeaderFile.h"
#include "tools/common/VariableArray.h"

#include <algorithm>

namespace card {

using scanleaf::Bstr;
using scanleaf::ComPtr;
using toolsupport::VariableArray;

HRESULT VariableNames(const std::wstring& path, std::vector<std::wstring>& names) {
    scanleaf::ComObject<scanleaf::CCalsFile>* raw = nullptr;
    HRESULT hr = scanleaf::ComObject<scanleaf::CCalsFile>::Create(&raw);
    if (FAILED(hr)) return hr;
    ComPtr<IVorFileNavigator> keep(raw);
    hr = raw->OpenFile(path);
    if (FAILED(hr)) return hr;
    auto add = [&names](const std::wstring& name) {
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    };
    for (const scanleaf::Tag& tag : raw->Tags().tags) {
        add(tag.name);
        for (const scanleaf::SubTag& sub : tag.subTags) add(sub.name);
    }
    return S_OK;
}

namespace {

// The fill byte and every record name of the header, or false when the header cannot be read.
bool HeaderSignature(const std::wstring& path, std::string& signature) {
    std::string bytes;
    if (FAILED(ReadHeaderBytes(path, bytes))) return false;
    const auto* header = reinterpret_cast<const unsigned char*>(bytes.data());
    signature.assign(1, char(header[scanleaf::kFillByteOffset]));
    try {
        for (size_t slot = 0; slot < scanleaf::kParsedSlots; ++slot) {
            std::wstring name, value;
            if (!scanleaf::SplitRecord(scanleaf::DecodeSlot(&header[slot * scanleaf::kSlotSize]), name, value))
                continue;
            // Each name with its length, so that no two lists of names read alike.
            signature += std::to_string(name.size()) + ':';
            signature.append(reinterpret_cast<const char*>(name.data()), name.size() * sizeof(wchar_t));
        }
    } catch (...) {
        return false; // undecodable: the full open below gives the reason
    }
    return true;
}

} // namespace

HRESULT NameCache::Names(const std::wstring& path, std::vector<std::wstring>& names) {
    std::string signature;
    if (!HeaderSignature(path, signature)) return VariableNames(path, names);
    auto found = bySignature_.find(signature);
    if (found != bySignature_.end()) {
        names = found->second;
        return S_OK;
    }
    HRESULT hr = VariableNames(path, names);
    if (FAILED(hr)) return hr;
    if (bySignature_.size() >= 256) bySignature_.clear();
    bySignature_.emplace(std::move(signature), names);
    return S_OK;
}

HRESULT ReadCard(IVorFileFormat* format, const std::wstring& path, std::vector<CardEntry>& card, NameCache* cache) {
    card.clear();
    ComPtr<IVorFileNavigator> navigator;
    Bstr bpath(path);
    HRESULT hr = format->CreateNavigator(bpath.Get(), 0, navigator.Put());
    if (FAILED(hr)) return hr;

    std::vector<std::wstring> names;
    hr = cache ? cache->Names(path, names) : VariableNames(path, names);
    if (FAILED(hr)) return hr;

    VariableArray vars(names);
    hr = navigator->ReadVariable(0, 0, 0, vars.Count(), vars.Data());
    if (FAILED(hr)) return hr;
    for (size_t i = 0; i < names.size(); ++i) {
        CardEntry entry;
        entry.name = names[i];
        entry.found = vars[i].found != 0;
        entry.value = vars.Text(i);
        card.push_back(entry);
    }

    // Writability as the host meets it: write each value back, unsaved; found says whether it was taken.
    for (size_t i = 0; i < names.size(); ++i) vars[i].found = 0;
    hr = navigator->WriteVariable(0, 0, 0, vars.Count(), vars.Data(), 0);
    if (FAILED(hr)) return hr;
    for (size_t i = 0; i < names.size(); ++i) card[i].readOnly = vars[i].found == 0;
    return S_OK; // the navigator is released without saving
}

} // namespace card
