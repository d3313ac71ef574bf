// The randomized tests' own statement of the rules: how a header's bytes become tags, how
// a settings section shapes a tag, what a read answers, what a write stores and which bytes
// a save lays down. Written from the rules, not from the navigator's code; it leans on the
// platform only where the rules name it (code pages, lower-casing, iswspace).
#pragma once

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace model {

using Bytes = std::vector<unsigned char>;

constexpr size_t kSlot = 128;
constexpr size_t kHeader = 2048;
constexpr size_t kParsedBytes = 1408;
constexpr HRESULT kCannotRead = static_cast<HRESULT>(0x80040229);

// One section of the settings file as the profile functions hand it back.
struct Section {
    std::optional<std::wstring> readonly; // raw text of "Readonly"
    std::wstring tagnames;                // "" when missing
    std::wstring tagpositions;
};
using Settings = std::map<std::wstring, Section>; // by lower-case section name

struct Sub {
    std::wstring name;
    int start = -1;
    int end = -1;
};

struct Tag {
    std::wstring name;
    std::wstring value;
    bool readOnly = false;
    bool inHeader = true;
    int width = 0;
    std::vector<Sub> subs;
};

inline std::wstring Lower(std::wstring s) {
    if (!s.empty()) CharLowerBuffW(&s[0], static_cast<DWORD>(s.size()));
    return s;
}

inline std::wstring Trim(const std::wstring& s) {
    size_t a = 0, b = s.size();
    while (a < b && std::iswspace(s[a])) ++a;
    while (b > a && std::iswspace(s[b - 1])) --b;
    return s.substr(a, b - a);
}

inline std::wstring TrimRight(std::wstring s) {
    while (!s.empty() && std::iswspace(s.back())) s.pop_back();
    return s;
}

// "%d": blanks, a sign, digits. The generators keep numbers far from overflow.
inline bool ScanInt(const std::wstring& s, size_t& i, int& out) {
    size_t j = i;
    while (j < s.size() && std::iswspace(s[j])) ++j;
    int sign = 1;
    if (j < s.size() && (s[j] == L'-' || s[j] == L'+')) sign = s[j++] == L'-' ? -1 : 1;
    size_t digits = j;
    long long v = 0;
    while (j < s.size() && s[j] >= L'0' && s[j] <= L'9') v = v * 10 + (s[j++] - L'0');
    if (j == digits) return false;
    out = static_cast<int>(sign * v);
    i = j;
    return true;
}

// The integer that the profile functions read for "Readonly": leading digits, else 0.
inline int ProfileInt(const std::optional<std::wstring>& text) {
    if (!text) return 0;
    size_t i = 0;
    int v = 0;
    return ScanInt(*text, i, v) ? v : 0;
}

inline std::vector<std::wstring> Items(std::wstring list) {
    std::vector<std::wstring> items;
    if (list.size() > 32766) list.resize(32766); // the profile buffer
    if (!list.empty() && list.back() != L';') list += L';';
    size_t from = 0;
    for (size_t at; (at = list.find(L';', from)) != std::wstring::npos; from = at + 1)
        items.push_back(list.substr(from, at - from));
    return items;
}

// The record's tags appended to list; false when its section is refused.
inline bool AddTag(const Settings& settings, const std::wstring& rawName, const std::wstring& value,
                   std::vector<Tag>& list) {
    Tag tag;
    tag.name = Lower(rawName);
    tag.value = value;
    const int limit = 126 - static_cast<int>(tag.name.size());
    auto section = settings.find(tag.name);
    if (section != settings.end()) {
        tag.readOnly = ProfileInt(section->second.readonly) == 1;
        std::vector<std::wstring> names = Items(section->second.tagnames);
        std::vector<std::wstring> positions = Items(section->second.tagpositions);
        for (size_t k = 0; k < names.size() && k < positions.size(); ++k) {
            Sub sub{Lower(names[k]), -1, -1};
            size_t i = 0;
            const std::wstring& p = positions[k];
            if (ScanInt(p, i, sub.start) && i < p.size() && p[i] == L'-') {
                ++i;
                ScanInt(p, i, sub.end);
            }
            if (sub.start > sub.end || (sub.start == -1 && sub.end == -1) || sub.end > limit) return false;
            tag.width = std::max(tag.width, sub.end);
            tag.subs.push_back(sub);
        }
    }
    if (tag.subs.empty()) tag.width = limit;
    list.push_back(tag);
    if (tag.name == L"rpelcnt" && tag.value.find(L',') != std::wstring::npos) {
        // Sizes that can't be read give empty text (the navigator's documented choice).
        std::wstring w, h;
        size_t i = 0;
        int n = 0;
        if (ScanInt(tag.value, i, n)) {
            w = std::to_wstring(n);
            if (i < tag.value.size() && tag.value[i] == L',') {
                ++i;
                if (ScanInt(tag.value, i, n)) h = std::to_wstring(n);
            }
        }
        Tag derived = tag;
        derived.readOnly = true;
        derived.inHeader = false;
        derived.subs.clear();
        for (auto [name, text] : {std::pair<const wchar_t*, std::wstring>{L"width", w}, {L"height", h}, {L"colordepth", L"1"}}) {
            derived.name = name;
            derived.value = text;
            list.push_back(derived);
        }
    }
    return true;
}

inline std::wstring Decode(const unsigned char* slot) {
    size_t n = 0;
    while (n < kSlot && slot[n]) ++n;
    if (!n) return L"";
    int w = MultiByteToWideChar(CP_THREAD_ACP, 0, reinterpret_cast<const char*>(slot), static_cast<int>(n), nullptr, 0);
    std::wstring text(w, L'\0');
    MultiByteToWideChar(CP_THREAD_ACP, 0, reinterpret_cast<const char*>(slot), static_cast<int>(n), &text[0], w);
    return text;
}

struct Opened {
    HRESULT hr = S_OK;
    unsigned char fill = 0;
    std::vector<Tag> tags;
};

// What opening a file with these bytes gives (the settings folder is known).
inline Opened Open(const Bytes& file, const Settings& settings) {
    Opened o;
    if (file.size() < 896 || file.size() < kHeader) {
        o.hr = kCannotRead;
        return o;
    }
    o.fill = file[895];
    for (size_t s = 0; s < 11; ++s) {
        std::wstring text = Decode(&file[s * kSlot]);
        size_t colon = text.find(L':');
        if (colon == std::wstring::npos) continue;
        if (!AddTag(settings, Trim(text.substr(0, colon)), Trim(text.substr(colon + 1)), o.tags)) {
            o.hr = E_FAIL;
            return o;
        }
    }
    return o;
}

inline std::wstring Cut(const std::wstring& value, const Sub& sub) {
    if (static_cast<long long>(value.size()) < sub.start) return L"";
    long long first = std::max(0, sub.start - 1);
    long long count = static_cast<long long>(sub.end) - sub.start + 1;
    if (first >= static_cast<long long>(value.size()) || count <= 0) return L"";
    return TrimRight(value.substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

inline bool Find(const std::vector<Tag>& tags, const std::wstring& name, std::wstring& out) {
    const std::wstring want = Lower(name);
    for (const Tag& t : tags) {
        for (const Sub& s : t.subs)
            if (s.name == want) {
                out = Cut(t.value, s);
                return true;
            }
        if (t.name == want) {
            out = t.value;
            return true;
        }
    }
    return false;
}

inline std::wstring Left(const std::wstring& s, long long n) {
    return n <= 0 ? L"" : s.substr(0, static_cast<size_t>(std::min<long long>(n, s.size())));
}
inline std::wstring Right(const std::wstring& s, long long n) {
    if (n <= 0) return L"";
    size_t k = static_cast<size_t>(std::min<long long>(n, s.size()));
    return s.substr(s.size() - k);
}

inline bool Set(std::vector<Tag>& tags, const std::wstring& name, std::wstring text) {
    if (text.empty()) text = L"NONE";
    const std::wstring want = Lower(name);
    const std::wstring pad(128, L' ');
    for (Tag& t : tags) {
        if (!t.subs.empty()) {
            for (const Sub& s : t.subs) {
                if (s.name != want) continue;
                if (t.readOnly) return false;
                std::wstring piece = Left(text + pad, static_cast<long long>(s.end) - s.start + 1);
                std::wstring work = t.value + pad;
                t.value = TrimRight(Left(work, s.start - 1LL) + piece + Right(work, static_cast<long long>(work.size()) - s.end));
                return true;
            }
        } else if (t.name == want) {
            if (t.readOnly) return false;
            t.value = text;
            return true;
        }
    }
    return false;
}

// The parsed area that a save lays down.
inline Bytes Build(const std::vector<Tag>& tags, unsigned char fill) {
    Bytes area(kParsedBytes, fill);
    size_t slot = 0;
    for (const Tag& t : tags) {
        if (!t.inHeader) continue;
        std::wstring text = t.name + L": ";
        if (t.width > 0) text += t.value.substr(0, std::min<size_t>(t.width, t.value.size()));
        int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
        std::string bytes(n, '\0');
        WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], n, nullptr, nullptr);
        // Single-byte code page here: the cut to the slot is a cut in bytes.
        std::copy_n(bytes.begin(), std::min(bytes.size(), kSlot), area.begin() + slot * kSlot);
        ++slot;
    }
    return area;
}

} // namespace model
