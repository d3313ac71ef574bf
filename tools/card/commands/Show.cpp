// show: each file's data card, as text or one JSON array.
#include "tools/card/commands/Commands.h"
#include "tools/card/cards/PluginCodes.h"

#include "tools/card/batch/Batch.h"
#include "tools/card/batch/Files.h"
#include "tools/card/batch/Console.h"
#include "tools/card/batch/Walk.h"
#include "tools/card/cards/Card.h"

#include <algorithm>
#include <cwchar>

namespace card {

namespace {

void PrintCardText(const std::wstring& path, const std::vector<CardEntry>& entries) {
    Out(path + L"\n");
    size_t width = 4;
    for (const CardEntry& e : entries) width = std::max(width, e.name.size());
    for (const CardEntry& e : entries) {
        std::wstring line = L"  " + e.name + std::wstring(width - e.name.size() + 2, L' ');
        line += e.readOnly ? L"[ro] " : L"     ";
        line += e.found ? e.value : L"(not found)";
        Out(line + L"\n");
    }
}

std::wstring CardJson(const std::wstring& path, const std::vector<CardEntry>& entries) {
    std::wstring json = L"{\"file\":" + JsonString(path) + L",\"variables\":[";
    for (size_t i = 0; i < entries.size(); ++i) {
        const CardEntry& e = entries[i];
        if (i) json += L",";
        json += L"{\"name\":" + JsonString(e.name) + L",\"value\":" + JsonString(e.value) +
                L",\"found\":" + (e.found ? L"true" : L"false") + L",\"readOnly\":" +
                (e.readOnly ? L"true" : L"false") + L"}";
    }
    return json + L"]}";
}

} // namespace

int Show(const ShowOptions& a, const Setup& setup) {
    const bool json = a.json;
    const std::vector<std::wstring>& paths = a.operands;
    IVorFileFormat* format = setup.Format();

    const Walked walked = WalkAndReport({paths, setup.Extensions(), false, {}});
    std::vector<std::wstring> files;
    for (const Source& s : walked.sources) files.push_back(s.path);

    bool progress = files.size() > 1 && StderrIsTerminal();
    int failures = int(walked.missing.size());
    if (json) Out(L"[");
    for (size_t i = 0; i < walked.missing.size(); ++i)
        if (json)
            Out(std::wstring(i ? L"," : L"") + L"{\"file\":" + JsonString(walked.missing[i]) +
                L",\"error\":\"no such file or folder\",\"hresult\":" +
                JsonString(Hex(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))) + L"}");
    for (size_t i = 0; i < files.size(); ++i) {
        if (progress) {
            wchar_t line[64];
            swprintf(line, 64, L"[%zu/%zu] ", i + 1, files.size());
            ShowProgress(line + files[i]);
        }
        std::vector<CardEntry> entries;
        HRESULT hr = ReadCard(format, files[i], entries);
        if (json && (i || !walked.missing.empty())) Out(L",");
        if (FAILED(hr)) {
            ++failures;
            Err(files[i] + L": " + DescribeHresult(hr) + L"\n");
            if (json)
                Out(L"{\"file\":" + JsonString(files[i]) + L",\"error\":" +
                    JsonString(DescribeHresult(hr)) + L",\"hresult\":" + JsonString(Hex(hr)) + L"}");
            continue;
        }
        if (json)
            Out(CardJson(files[i], entries));
        else
            PrintCardText(files[i], entries);
    }
    if (json) Out(L"]\n");
    if (progress) ClearProgress();
    return SayNothingFound(walked, {}) || failures ? 1 : 0;
}

} // namespace card
