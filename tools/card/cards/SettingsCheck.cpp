#include "tools/card/cards/SettingsCheck.h"

#include "cardcore/SettingsLines.h"
#include "core/cals/TagSettings.h"
#include "hostenv/SystemText.h"
#include "tools/card/batch/Console.h"

#include <windows.h>

#include <algorithm>

namespace card {

namespace {

const DWORD kValueBuffer = 32767; // the plug-in's buffer for one key

std::vector<std::wstring> SectionNames(const std::wstring& file) {
    std::vector<wchar_t> buffer(65536);
    for (;;) {
        DWORD n = GetPrivateProfileSectionNamesW(buffer.data(), static_cast<DWORD>(buffer.size()), file.c_str());
        if (n < buffer.size() - 2) {
            std::vector<std::wstring> names;
            for (const wchar_t* p = buffer.data(); *p; p += wcslen(p) + 1) names.emplace_back(p);
            return names;
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring ReadKey(const std::wstring& file, const std::wstring& section, const wchar_t* key) {
    std::vector<wchar_t> buffer(kValueBuffer);
    DWORD n = GetPrivateProfileStringW(section.c_str(), key, L"", buffer.data(), kValueBuffer, file.c_str());
    return std::wstring(buffer.data(), n);
}

// The items of a ';'-terminated list.
std::vector<std::wstring> Items(const std::wstring& list) {
    std::vector<std::wstring> items;
    size_t start = 0;
    for (size_t next; (next = list.find(L';', start)) != std::wstring::npos; start = next + 1)
        items.push_back(list.substr(start, next - start));
    return items;
}

// Every finding with its line, printed in line order once the file has been read.
class Report {
public:
    explicit Report(const scanleaf::core::SettingsLines& lines) : lines_(lines) {}
    int errors = 0;
    int warnings = 0;
    // At the line of `key` in the section, or of the section's header when the key is not there.
    void Error(const std::wstring& section, const wchar_t* key, const std::wstring& text) {
        Add(true, LineOf(section, key), L"[" + section + L"] " + text);
    }
    void Warning(const std::wstring& section, const wchar_t* key, const std::wstring& text) {
        Add(false, LineOf(section, key), L"[" + section + L"] " + text);
    }
    void Add(bool error, size_t line, const std::wstring& text) {
        ++(error ? errors : warnings);
        findings_.push_back({line, std::wstring(error ? L"error   " : L"warning ") + text});
    }
    // Each finding as a line of the report, in line order.
    std::vector<std::wstring> Lines() {
        std::stable_sort(findings_.begin(), findings_.end(),
                         [](const Finding& a, const Finding& b) { return a.line < b.line; });
        std::vector<std::wstring> lines;
        for (const Finding& f : findings_)
            lines.push_back((f.line ? L"line " + std::to_wstring(f.line) + L": " : std::wstring()) + f.text);
        return lines;
    }

private:
    size_t LineOf(const std::wstring& section, const wchar_t* key) const {
        const size_t line = key ? lines_.LineOf(section, key) : 0;
        return line ? line : lines_.SectionLine(section);
    }
    struct Finding {
        size_t line;
        std::wstring text;
    };
    const scanleaf::core::SettingsLines& lines_;
    std::vector<Finding> findings_;
};

// The file's text as the profile functions read it: UTF-16 after its byte-order mark, UTF-8
// after its own, else the ANSI code page.
std::wstring FileText(const std::string& bytes) {
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE')
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) return FromUtf8(bytes.substr(3));
    if (bytes.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    std::wstring text(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), text.data(), n);
    return text;
}

std::wstring Joined(const std::vector<std::wstring>& items, size_t from) {
    std::wstring list;
    for (size_t i = from; i < items.size(); ++i) list += (i > from ? L", \"" : L"\"") + items[i] + L"\"";
    return list;
}

std::wstring Number(long n) { return std::to_wstring(n); }

void CheckSection(const std::wstring& file, const std::wstring& section, Report& report) {
    const int errorsBefore = report.errors;
    std::wstring tagName = scanleaf::SystemLowerCaser().Lower(section);
    std::wstring names = scanleaf::core::TerminateList(ReadKey(file, section, L"Tagnames"));
    std::wstring positions = scanleaf::core::TerminateList(ReadKey(file, section, L"Tagpositions"));
    std::vector<std::wstring> nameItems = Items(names);
    std::vector<std::wstring> positionItems = Items(positions);
    const int limit = scanleaf::core::kRecordTextWidth - static_cast<int>(tagName.size());

    size_t pairs = std::min(nameItems.size(), positionItems.size());
    for (size_t i = 0; i < pairs; ++i) {
        int start = -1, end = -1;
        scanleaf::core::ReadPosition(positionItems[i], start, end);
        std::wstring what = L"sub-field \"" + nameItems[i] + L"\" at \"" + positionItems[i] + L"\": ";
        if (start == -1 && end == -1)
            report.Error(section, L"Tagpositions", what + L"no readable position (expected START-END)");
        else if (start > end)
            report.Error(section, L"Tagpositions", what + L"start " + Number(start) + L" is after end " + Number(end));
        else if (end > limit)
            report.Error(section, L"Tagpositions", what + L"end " + Number(end) + L" is beyond the record's width of " +
                                      Number(limit) + L" characters");
        else if (start < 1)
            report.Warning(section, L"Tagpositions", what + L"start below 1 reads from the first character");
        const std::wstring& n = nameItems[i];
        if (n.empty())
            report.Warning(section, L"Tagnames", L"sub-field " + Number(static_cast<long>(i + 1)) + L" has an empty name");
        else if (n.find_first_of(L" \t") != std::wstring::npos)
            report.Warning(section, L"Tagnames", L"sub-field name \"" + n + L"\" contains blanks; they are part of the name");
    }
    if (nameItems.size() > pairs)
        report.Warning(section, L"Tagnames",
                       Number(static_cast<long>(nameItems.size() - pairs)) +
                           L" surplus name(s) without a position are ignored: " + Joined(nameItems, pairs));
    if (positionItems.size() > pairs)
        report.Warning(section, L"Tagpositions",
                       Number(static_cast<long>(positionItems.size() - pairs)) +
                           L" surplus position(s) without a name are ignored: " + Joined(positionItems, pairs));

    // The plug-in's own verdict decides; the lines above only explain it.
    std::list<scanleaf::core::SubTag> subTags;
    int width = 0;
    bool accepted = scanleaf::core::ReadSubTags(names, positions, static_cast<int>(tagName.size()),
                                                  scanleaf::SystemLowerCaser(), subTags, width);
    if (!accepted && report.errors == errorsBefore)
        report.Error(section, L"Tagpositions", L"the plug-in refuses this section; a file holding this record can't be opened");

    std::wstring raw = ReadKey(file, section, L"Readonly");
    if (!raw.empty() && raw != L"0" && raw != L"1") {
        // Read as the plug-in reads it: only the number 1 makes a record read-only.
        UINT value = GetPrivateProfileIntW(section.c_str(), L"Readonly", 0, file.c_str());
        report.Warning(section, L"Readonly", L"Readonly=" + raw + L" is read as " + Number(static_cast<long>(value)) +
                                    (value == 1 ? L": read-only" : L": writable"));
    }
}

} // namespace

SettingsFindings CheckSettingsFile(const std::wstring& file, const std::string& bytes) {
    const scanleaf::core::SettingsLines lines = scanleaf::core::ReadSettingsLines(FileText(bytes));
    Report report(lines);
    // UTF-8 where the plug-in reads the ANSI code page: the names are other characters there.
    if (GetACP() != CP_UTF8) {
        const std::wstring page = std::to_wstring(GetACP());
        const std::wstring saveAs = L"save the file as ANSI (code page " + page + L")";
        if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) {
            report.Add(false, 1, L"the file begins with a UTF-8 byte-order mark, and the plug-in reads the code page " +
                                     page + L": " + saveAs);
        } else {
            const scanleaf::core::Utf8Finding utf8 = scanleaf::core::FindUtf8(bytes);
            if (utf8.line)
                report.Add(false, utf8.line, L"UTF-8 text \"" + FromUtf8(utf8.text) + L"\", which the plug-in reads in the code page " +
                                                 page + L" as \"" + FileText(utf8.text) + L"\": " + saveAs);
        }
    }
    for (const scanleaf::core::SettingsSlip& slip : lines.slips)
        report.Add(slip.error, slip.line, (slip.section.empty() ? L"" : L"[" + slip.section + L"] ") + slip.message);
    const std::vector<std::wstring> sections = SectionNames(file);
    for (const std::wstring& section : sections) CheckSection(file, section, report);
    SettingsFindings found;
    found.lines = report.Lines();
    found.sections = sections.size();
    found.errors = report.errors;
    found.warnings = report.warnings;
    return found;
}

} // namespace card
