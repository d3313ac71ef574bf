#include "tools/card/cards/Trial.h"
#include "tools/card/cards/PluginCodes.h"

#include "hostenv/Bstr.h"
#include "hostenv/ComError.h"
#include "hostenv/Unique.h"
#include "tools/card/batch/Console.h"
#include "tools/card/cards/HeaderFile.h"
#include "tools/common/VariableArray.h"

namespace card {

using scanleaf::Bstr;
using scanleaf::ComPtr;
using scanleaf::FileHandle;
using toolsupport::VariableArray;

namespace {

std::vector<std::wstring> NamesOf(const std::vector<NewValue>& values) {
    std::vector<std::wstring> names;
    for (const NewValue& v : values) names.push_back(v.name);
    return names;
}

} // namespace

HRESULT WriteValues(IVorFileFormat* format, const std::wstring& path, const std::vector<NewValue>& values, long style,
                    ComPtr<IVorFileNavigator>& navigator, bool& allTaken) {
    Bstr bpath(path);
    HRESULT hr = format->CreateNavigator(bpath.Get(), 0, navigator.Put());
    if (FAILED(hr)) return FromPluginOpen(hr);
    VariableArray vars(NamesOf(values));
    for (size_t i = 0; i < values.size(); ++i) {
        if (values[i].isDate)
            vars.SetDate(i, values[i].date);
        else
            vars.SetText(i, values[i].text);
    }
    hr = navigator->WriteVariable(0, 0, 0, vars.Count(), vars.Data(), style);
    allTaken = vars.AllFound();
    return hr;
}

TrialFile::TrialFile() {
    wchar_t folder[MAX_PATH + 1], name[MAX_PATH + 1];
    if (GetTempPathW(MAX_PATH + 1, folder) && GetTempFileNameW(folder, L"slt", 0, name)) path_ = name;
}

TrialFile::~TrialFile() {
    if (!path_.empty()) DeleteFileW(path_.c_str());
}

HRESULT TrialFile::Store(IVorFileFormat* format, const std::string& header, const std::vector<NewValue>& values,
                         long style, std::vector<std::wstring>& stored) {
    if (path_.empty()) return HRESULT_FROM_WIN32(ERROR_CANNOT_MAKE);
    {
        FileHandle file(
            CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid()) return scanleaf::LastErrorAsHresult();
        if (!WriteAll(file.Get(), header)) return scanleaf::LastErrorAsHresult();
    }
    {
        ComPtr<IVorFileNavigator> navigator;
        bool allTaken = false; // one not taken reads back unchanged, and is reported so
        HRESULT hr = WriteValues(format, path_, values, style, navigator, allTaken);
        if (FAILED(hr)) return hr;
        hr = navigator->SaveFile();
        if (FAILED(hr)) return hr;
    }
    ComPtr<IVorFileNavigator> reopened;
    Bstr bpath(path_);
    HRESULT hr = format->CreateNavigator(bpath.Get(), 0, reopened.Put());
    if (FAILED(hr)) return FromPluginOpen(hr);
    VariableArray vars(NamesOf(values));
    hr = reopened->ReadVariable(0, 0, 0, vars.Count(), vars.Data());
    if (FAILED(hr)) return hr;
    stored.clear();
    for (size_t i = 0; i < values.size(); ++i) stored.push_back(vars.Text(i));
    return S_OK;
}

bool FitsCodePage(const std::wstring& text) {
    if (text.empty()) return true;
    bool utf8 = GetACP() == CP_UTF8;
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, text.data(), int(text.size()), nullptr, 0,
                                nullptr, utf8 ? nullptr : &usedDefault);
    if (n <= 0 || usedDefault) return false;
    std::string bytes(size_t(n), '\0');
    WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, text.data(), int(text.size()), bytes.data(), n,
                        nullptr, nullptr);
    int back = MultiByteToWideChar(CP_ACP, 0, bytes.data(), n, nullptr, 0);
    std::wstring wide(size_t(back), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), n, wide.data(), back);
    return wide == text;
}

std::wstring CodePageProblem(const std::wstring& text) {
    return Quote(text) + L" has characters that the code page " + std::to_wstring(GetACP()) + L" cannot store";
}

std::wstring Quote(const std::wstring& text) { return L"\"" + text + L"\""; }

std::wstring TrimRight(std::wstring text) {
    while (!text.empty() && text.back() == L' ') text.pop_back();
    return text;
}

bool StoredAsAsked(const std::wstring& asked, const std::wstring& stored) {
    return TrimRight(stored) == TrimRight(asked.empty() ? std::wstring(L"NONE") : asked);
}

} // namespace card
