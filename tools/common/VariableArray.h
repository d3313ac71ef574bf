// An owned array of the host's VorVariable records of block "CALS", as a host passes them.
#pragma once

#include "host/VorHost.h"

#include <string>
#include <vector>

namespace toolsupport {

class VariableArray {
public:
    VariableArray() = default;
    explicit VariableArray(const std::vector<std::wstring>& names);
    ~VariableArray();
    VariableArray(const VariableArray&) = delete;
    VariableArray& operator=(const VariableArray&) = delete;

    // Appends a record; a null text leaves its value empty.
    void Add(const std::wstring& name, const wchar_t* text = nullptr);
    void SetText(size_t i, const std::wstring& text);
    void SetDate(size_t i, DATE date);
    // The values that a read handed out go back to their owner, as a host frees them.
    void ClearValues();

    VorVariable* Data() { return records_.data(); }
    LONG Count() const { return static_cast<LONG>(records_.size()); }
    VorVariable& operator[](size_t i) { return records_[i]; }
    std::wstring Text(size_t i) const;
    bool AllFound() const;

private:
    std::vector<VorVariable> records_;
};

} // namespace toolsupport
