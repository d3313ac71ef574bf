#include "tools/regrows/RegistryRows.h"

#include "core/Text.h"

#include <cwctype>

namespace regrows {

namespace {

bool EqualNoCase(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) ==
                                       CSTR_EQUAL;
}

bool ContainsNoCase(const std::wstring& text, const std::wstring& part) {
    if (part.empty() || part.size() > text.size()) return false;
    for (size_t i = 0; i + part.size() <= text.size(); ++i)
        if (EqualNoCase(text.substr(i, part.size()), part)) return true;
    return false;
}

// Key, value name and value columns are all formatted text to the installer.
const wchar_t* FormattedTextProblem(const std::wstring& text, bool isValue) {
    if (text.find_first_of(L"[]") != std::wstring::npos) return L"holds '[' or ']', which the installer would expand";
    if (text.find(L'\0') != std::wstring::npos) return L"holds a NUL character";
    if (isValue && !text.empty() && text[0] == L'#') return L"starts with '#', which the installer reads as a number";
    return nullptr;
}

std::wstring Describe(const Key& key, const Value* value) {
    std::wstring where = L"HKCR\\" + key.path;
    if (value) where += value->name.empty() ? L" (default value)" : L" value \"" + value->name + L"\"";
    return where;
}


} // namespace

bool KeptPerView(const std::wstring& keyPath) {
    std::wstring top = keyPath.substr(0, keyPath.find(L'\\'));
    for (const wchar_t* redirected : {L"CLSID", L"Interface", L"DirectShow", L"Media Type", L"MediaFoundation"})
        if (EqualNoCase(top, redirected)) return true;
    return false;
}

bool ToRows(const std::vector<Key>& tree, const std::vector<Substitution>& substitutions, std::vector<Row>& rows,
            std::wstring& error) {
    std::vector<Row> out;
    for (const Key& key : tree) {
        if (const wchar_t* problem = FormattedTextProblem(key.path, false)) {
            error = Describe(key, nullptr) + L": the key name " + problem;
            return false;
        }
        if (key.values.empty() && key.subkeyCount == 0) {
            error = Describe(key, nullptr) + L": an empty key cannot be a table row";
            return false;
        }
        for (const Value& value : key.values) {
            if (value.type != REG_SZ) {
                error = Describe(key, &value) + L": type " + std::to_wstring(value.type) +
                        L" is not text; only text values become table rows";
                return false;
            }
            Row row{key.path, value.name, value.data};
            const Substitution* whole = nullptr;
            for (const Substitution& s : substitutions)
                if (!whole && EqualNoCase(value.data, s.path)) whole = &s;
            const wchar_t* problem = FormattedTextProblem(value.name, false);
            if (!problem && !whole) problem = FormattedTextProblem(value.data, true);
            for (const Substitution& s : substitutions)
                if (!problem && !whole && ContainsNoCase(value.data, s.path))
                    problem = L"holds a path of the build machine inside other text";
            if (problem) {
                error = Describe(key, &value) + L": " + problem;
                return false;
            }
            if (whole) row.value = whole->token;
            row.shared = !whole && !KeptPerView(key.path);
            out.push_back(std::move(row));
        }
    }
    rows = std::move(out);
    return true;
}

void AppendXmlText(std::wstring& out, const std::wstring& text) { out += scanleaf::core::MarkupEscaped(text); }

std::wstring WixInclude(const std::vector<Row>& rows, bool shared, bool firstIsKeyPath) {
    std::wstring xml = L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                       L"<!-- Generated from the module's own registration; do not edit. -->\n"
                       L"<Include>\n";
    bool keyPath = firstIsKeyPath;
    for (const Row& row : rows) {
        if (row.shared != shared) continue;
        xml += L"  <RegistryValue Root=\"HKCR\" Key=\"";
        AppendXmlText(xml, row.key);
        xml += L"\"";
        if (!row.name.empty()) {
            xml += L" Name=\"";
            AppendXmlText(xml, row.name);
            xml += L"\"";
        }
        xml += L" Type=\"string\" Value=\"";
        AppendXmlText(xml, row.value);
        xml += keyPath ? L"\" KeyPath=\"yes\" />\n" : L"\" />\n";
        keyPath = false;
    }
    xml += L"</Include>\n";
    return xml;
}

} // namespace regrows
