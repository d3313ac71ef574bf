#include "comframe/ScriptRegistrar.h"

#include "hostenv/Registry.h"

#include <cstring>
#include <cwctype>

namespace scanleaf::regscript {

namespace {

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::towlower(a[i]) != std::towlower(b[i])) return false;
    return true;
}

struct Token {
    enum Kind { End, Word, Quoted, Open, Close, Equals } kind = End;
    std::wstring text; // raw text, placeholders not yet replaced
    size_t offset = 0;
};

class Parser {
public:
    Parser(std::wstring_view text, const Replacements& replacements, ParseError& error)
        : text_(text), replacements_(replacements), error_(error) {}

    bool ParseScript(Script& out) {
        if (!Next()) return false;
        while (tok_.kind != Token::End) {
            if (tok_.kind != Token::Word ||
                !(EqualsNoCase(tok_.text, L"HKCR") || EqualsNoCase(tok_.text, L"HKEY_CLASSES_ROOT")))
                return Fail(L"expected the root HKCR");
            if (!Next()) return false;
            if (tok_.kind != Token::Open) return Fail(L"expected '{' after the root");
            if (!Next() || !ParseBody(out.keys, true)) return false;
        }
        return true;
    }

private:
    // Entries up to and including the closing brace.
    bool ParseBody(std::vector<Node>& into, bool atRoot) {
        for (;;) {
            if (tok_.kind == Token::Close) return Next();
            if (tok_.kind == Token::End) return Fail(L"missing '}'");
            Node node;
            if (!ParseEntry(node, atRoot)) return false;
            into.push_back(std::move(node));
        }
    }

    bool ParseEntry(Node& node, bool atRoot) {
        if (tok_.kind == Token::Word && EqualsNoCase(tok_.text, L"val")) {
            if (atRoot) return Fail(L"a named value needs a key");
            node.isValue = true;
            if (!Next()) return false;
            if (!ParseName(node.name)) return false;
            if (tok_.kind != Token::Equals) return Fail(L"a named value needs '= s'");
            return ParseAssignment(node);
        }
        if (tok_.kind == Token::Word && EqualsNoCase(tok_.text, L"ForceRemove")) {
            node.marker = Marker::ForceRemove;
            if (!Next()) return false;
        } else if (tok_.kind == Token::Word && EqualsNoCase(tok_.text, L"NoRemove")) {
            node.marker = Marker::NoRemove;
            if (!Next()) return false;
        } else if (tok_.kind == Token::Word && EqualsNoCase(tok_.text, L"Delete")) {
            return Fail(L"the Delete marker is not supported");
        }
        if (!ParseName(node.name)) return false;
        if (tok_.kind == Token::Equals && !ParseAssignment(node)) return false;
        if (tok_.kind == Token::Open) {
            if (!Next()) return false;
            return ParseBody(node.children, false);
        }
        return true;
    }

    bool ParseName(std::wstring& name) {
        if (tok_.kind != Token::Word && tok_.kind != Token::Quoted) return Fail(L"expected a name");
        if (!Expand(tok_.text, name)) return false;
        if (name.empty()) return Fail(L"empty name");
        if (name.find(L'\\') != std::wstring::npos) return Fail(L"a name may not contain '\\'");
        return Next();
    }

    // At '=': "= s 'text'".
    bool ParseAssignment(Node& node) {
        if (!Next()) return false;
        if (tok_.kind != Token::Word) return Fail(L"expected a value type");
        if (!EqualsNoCase(tok_.text, L"s")) return Fail(L"only the string type s is supported");
        if (!Next()) return false;
        if (tok_.kind != Token::Quoted) return Fail(L"expected a quoted text");
        if (!Expand(tok_.text, node.value)) return false;
        node.hasValue = true;
        return Next();
    }

    bool Expand(const std::wstring& raw, std::wstring& out) {
        out.clear();
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != L'%') {
                out.push_back(raw[i]);
                continue;
            }
            size_t end = raw.find(L'%', i + 1);
            if (end == std::wstring::npos) return Fail(L"unterminated placeholder");
            std::wstring_view name(raw.data() + i + 1, end - i - 1);
            if (name.empty()) {
                out.push_back(L'%');
            } else {
                bool found = false;
                for (const auto& [key, value] : replacements_)
                    if (EqualsNoCase(key, name)) {
                        out += value;
                        found = true;
                        break;
                    }
                if (!found) return Fail(L"unknown placeholder %" + std::wstring(name) + L"%");
            }
            i = end;
        }
        return true;
    }

    bool Next() {
        while (pos_ < text_.size() && std::iswspace(text_[pos_])) ++pos_;
        tok_ = Token{};
        tok_.offset = pos_;
        if (pos_ >= text_.size()) return true;
        wchar_t c = text_[pos_];
        if (c == L'\'') {
            tok_.kind = Token::Quoted;
            for (++pos_;; ++pos_) {
                if (pos_ >= text_.size()) return Fail(L"unterminated quoted text");
                if (text_[pos_] == L'\'') {
                    if (pos_ + 1 < text_.size() && text_[pos_ + 1] == L'\'') {
                        tok_.text.push_back(L'\'');
                        ++pos_;
                        continue;
                    }
                    ++pos_;
                    return true;
                }
                tok_.text.push_back(text_[pos_]);
            }
        }
        // Like the scripts' usual tools, tokens are separated by white space, so a key
        // name may start with a brace: "{1234...}".
        while (pos_ < text_.size() && !std::iswspace(text_[pos_])) tok_.text.push_back(text_[pos_++]);
        tok_.kind = tok_.text == L"{" ? Token::Open
                    : tok_.text == L"}" ? Token::Close
                    : tok_.text == L"=" ? Token::Equals
                                        : Token::Word;
        return true;
    }

    bool Fail(std::wstring message) {
        error_.offset = tok_.offset;
        error_.message = std::move(message);
        return false;
    }

    std::wstring_view text_;
    const Replacements& replacements_;
    ParseError& error_;
    size_t pos_ = 0;
    Token tok_;
};

constexpr REGSAM kAccess = KEY_READ | KEY_WRITE;

HRESULT FromWin32(LONG error) { return HRESULT_FROM_WIN32(static_cast<unsigned long>(error)); }

bool IsMissing(LONG error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

HRESULT SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
    auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return FromWin32(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes));
}

// Deletes a key with everything below it; a missing key is no error.
HRESULT DeleteTree(HKEY parent, const std::wstring& name) {
    LONG error = RegDeleteTreeW(parent, name.c_str());
    if (error == ERROR_SUCCESS || IsMissing(error)) return S_OK;
    return FromWin32(error);
}

HRESULT Register(HKEY parent, const Node& node) {
    if (node.isValue) return SetString(parent, node.name.c_str(), node.value);
    if (node.marker == Marker::ForceRemove) {
        HRESULT hr = DeleteTree(parent, node.name);
        if (FAILED(hr)) return hr;
    }
    Registry key;
    if (!key.Open(parent, node.name.c_str(), kAccess, true)) return FromWin32(key.lastError);
    if (node.hasValue) {
        HRESULT hr = SetString(key.Key(), nullptr, node.value);
        if (FAILED(hr)) return hr;
    }
    for (const Node& child : node.children) {
        HRESULT hr = Register(key.Key(), child);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT Unregister(HKEY parent, const Node& node) {
    if (node.isValue) {
        LONG error = RegDeleteValueW(parent, node.name.c_str());
        return error == ERROR_SUCCESS || IsMissing(error) ? S_OK : FromWin32(error);
    }
    if (node.marker == Marker::ForceRemove) return DeleteTree(parent, node.name);

    DWORD subkeys = 0;
    {
        Registry key;
        if (!key.Open(parent, node.name.c_str(), kAccess, false)) {
            if (IsMissing(key.lastError)) return S_OK; // nothing of ours below it either
            return FromWin32(key.lastError);
        }
        for (const Node& child : node.children) {
            HRESULT hr = Unregister(key.Key(), child);
            if (FAILED(hr)) return hr;
        }
        if (node.marker == Marker::NoRemove) return S_OK;
        LONG error = RegQueryInfoKeyW(key.Key(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, nullptr, nullptr);
        if (error != ERROR_SUCCESS) return FromWin32(error);
    }
    if (subkeys != 0) return S_OK; // another program keeps something below it
    LONG error = RegDeleteKeyW(parent, node.name.c_str());
    return error == ERROR_SUCCESS || IsMissing(error) ? S_OK : FromWin32(error);
}

} // namespace

bool Parse(std::wstring_view text, const Replacements& replacements, Script& out, ParseError& error) {
    out = Script{};
    error = ParseError{};
    Parser parser(text, replacements, error);
    return parser.ParseScript(out);
}

HRESULT Run(const Script& script, Mode mode, HKEY classesRoot) {
    for (const Node& node : script.keys) {
        HRESULT hr = mode == Mode::Register ? Register(classesRoot, node) : Unregister(classesRoot, node);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

std::wstring DecodeScript(const void* data, size_t size) {
    auto bytes = static_cast<const unsigned char*>(data);
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        std::wstring text((size - 2) / sizeof(wchar_t), L'\0');
        if (!text.empty()) memcpy(&text[0], bytes + 2, text.size() * sizeof(wchar_t));
        return text;
    }
    if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        bytes += 3;
        size -= 3;
    }
    if (size == 0) return {};
    int length = MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char*>(bytes), static_cast<int>(size), nullptr, 0);
    std::wstring text(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char*>(bytes), static_cast<int>(size), &text[0], length);
    return text;
}

} // namespace scanleaf::regscript
