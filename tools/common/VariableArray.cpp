#include "tools/common/VariableArray.h"

#include "hostenv/Bstr.h"

#include <algorithm>

namespace toolsupport {

using scanleaf::Bstr;

VariableArray::VariableArray(const std::vector<std::wstring>& names) {
    for (const std::wstring& name : names) Add(name);
}

VariableArray::~VariableArray() {
    for (VorVariable& v : records_) {
        SysFreeString(v.name);
        SysFreeString(v.block);
        VariantClear(&v.value);
    }
}

void VariableArray::Add(const std::wstring& name, const wchar_t* text) {
    VorVariable v{};
    VariantInit(&v.value);
    Bstr bname(name);
    Bstr block(L"CALS");
    Bstr value;
    if (text) value = Bstr(text);
    records_.reserve(records_.size() + 1); // nothing below may throw once the texts are out
    v.name = bname.Detach();
    v.block = block.Detach();
    if (text) {
        v.value.vt = VT_BSTR;
        v.value.bstrVal = value.Detach();
    }
    records_.push_back(v);
}

void VariableArray::SetText(size_t i, const std::wstring& text) {
    Bstr value(text);
    VariantClear(&records_[i].value);
    records_[i].value.vt = VT_BSTR;
    records_[i].value.bstrVal = value.Detach();
}

void VariableArray::SetDate(size_t i, DATE date) {
    VariantClear(&records_[i].value);
    records_[i].value.vt = VT_DATE;
    records_[i].value.date = date;
}

void VariableArray::ClearValues() {
    for (VorVariable& v : records_) VariantClear(&v.value);
}

std::wstring VariableArray::Text(size_t i) const {
    const VARIANT& value = records_[i].value;
    if (value.vt != VT_BSTR || !value.bstrVal) return std::wstring();
    return std::wstring(value.bstrVal, SysStringLen(value.bstrVal));
}

bool VariableArray::AllFound() const {
    return std::all_of(records_.begin(), records_.end(), [](const VorVariable& v) { return v.found == 1; });
}

} // namespace toolsupport
