// Reading and writing variables.
#include "navigator/CalsFile.h"

#include "hostenv/Bstr.h"
#include "hostenv/ComError.h"
#include "hostenv/FormatDate.h"
#include "hostenv/Unique.h"

#include <new>
#include <vector>

namespace scanleaf {

namespace {

bool IsCalsBlock(BSTR block) { return lstrcmpiW(block ? block : L"", L"CALS") == 0; }

std::wstring TextOf(BSTR text) { return text ? std::wstring(text) : std::wstring(); }

} // namespace

HRESULT CCalsFile::ReadVariable(VorWord, LONG stopAtFirst, VorWord, LONG count, VorVariable* variables) {
    if (!variables) return E_POINTER;
    return ComBoundary([&]() -> HRESULT {
        for (LONG i = 0; i < count; ++i) {
            VorVariable& record = variables[i];
            if (!IsCalsBlock(record.block)) continue;
            std::wstring text;
            const bool found = tagFinder_.FindValue(TextOf(record.name), text);
            record.found = found ? 1 : 0;
            if (!found) continue;
            if (!TextToVariant(&record.value, text.c_str())) return E_OUTOFMEMORY;
            if (stopAtFirst) return S_OK;
        }
        return S_OK;
    });
}

HRESULT CCalsFile::WriteVariable(VorWord, LONG stopAtFirst, VorWord, LONG count, VorVariable* variables,
                                 LONG dateStyle) {
    if (!variables) return E_POINTER;
    for (LONG i = 0; i < count; ++i) {
        VorVariable& record = variables[i];
        if (!IsCalsBlock(record.block)) continue;
        // A value that can't be turned into text ends the call with the conversion's own
        // code; that record is marked not stored, the ones before keep what they stored.
        bool stored = false;
        const HRESULT failure = ComBoundary([&]() -> HRESULT {
            std::wstring text = VariantToText(record.value, static_cast<int>(dateStyle));
            stored = tagFinder_.SetValue(TextOf(record.name), std::move(text));
            return S_OK;
        });
        record.found = stored ? 1 : 0;
        if (FAILED(failure)) return failure;
        if (stored) {
            modified_ = true;
            if (stopAtFirst) return S_OK;
        }
    }
    return S_OK;
}

HRESULT CCalsFile::GetVariables(ULONG* count, CalsVariableInfo** variables) {
    if (count) *count = 0;
    if (variables) *variables = nullptr;
    if (!count || !variables) return E_POINTER;
    return ComBoundary([&]() -> HRESULT {
        const std::vector<TagFinder::Variable> list = tagFinder_.Variables();
        if (list.empty()) return S_OK;
        auto* raw = static_cast<CalsVariableInfo*>(CoTaskMemAlloc(list.size() * sizeof(CalsVariableInfo)));
        if (!raw) return E_OUTOFMEMORY;
        // Every name null first, so that a failure part way frees what was made.
        for (std::size_t i = 0; i < list.size(); ++i) raw[i] = CalsVariableInfo{};
        TaskStringArray<CalsVariableInfo, &CalsVariableInfo::name> array(raw, {static_cast<ULONG>(list.size())});
        for (std::size_t i = 0; i < list.size(); ++i) {
            raw[i].name = SysAllocStringLen(list[i].name.data(), static_cast<UINT>(list[i].name.size()));
            raw[i].writable = list[i].writable ? 1 : 0;
            if (!raw[i].name) return E_OUTOFMEMORY;
        }
        *count = static_cast<ULONG>(list.size());
        *variables = array.Release();
        return S_OK;
    });
}

std::wstring CCalsFile::VariantToText(const VARIANT& value, int dateStyle) {
    if (value.vt == VT_DATE) {
        Str text;
        // A date of exactly 0.0 is refused by the formatter and takes the platform's text.
        if (FormatDate(text, value.date, dateStyle)) return text.Text();
    }
    Variant copy;
    HRESULT hr = VariantCopy(&copy.Get(), const_cast<VARIANT*>(&value));
    if (FAILED(hr)) RaiseComError(hr);
    if (copy.Get().vt != VT_BSTR) ChangeVariantType(&copy.Get(), VT_BSTR);
    // Up to the first NUL, as the text is used everywhere after.
    return copy.Get().bstrVal ? std::wstring(copy.Get().bstrVal) : std::wstring();
}

bool CCalsFile::TextToVariant(VARIANT* target, const wchar_t* text) {
    VariantClear(target);
    VariantInit(target); // empty even when the old content could not be cleared
    BSTR copy = SysAllocString(text ? text : L"");
    if (!copy) return false;
    target->vt = VT_BSTR;
    target->bstrVal = copy;
    return true;
}

} // namespace scanleaf
