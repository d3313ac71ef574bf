#include "tools/card/batch/Outputs.h"

#include "hostenv/HostNames.h"
#include "hostenv/LongPath.h"
#include "hostenv/SystemText.h"
#include "hostenv/Unique.h"
#include "tools/card/batch/Files.h"
#include "tools/card/batch/Console.h"

#include "Version.h"

#include <algorithm>

namespace card {

namespace {

// Every extension a command of this tool writes: an -o ending in one of these names a file.
const std::vector<std::wstring> kWrittenExtensions = [] {
    std::vector<std::wstring> extensions = {L".pdf", L".tif", L".tiff", L".png", L".html", L".htm", L".csv", L".json"};
    for (const std::wstring& e : scanleaf::CalsExtensionNames()) extensions.push_back(L"." + e);
    return extensions;
}();
// Files of kinds the tool never writes, which no one means as a folder: -o naming one is refused.
const std::vector<std::wstring> kOtherFileExtensions = {L".jpg", L".jpeg", L".bmp", L".gif", L".webp", L".jp2",
                                                        L".txt", L".xml",  L".doc", L".docx", L".xls", L".xlsx"};

std::wstring Extension(const std::wstring& path) {
    const size_t dot = path.find_last_of(L'.'), slash = path.find_last_of(L"\\/");
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return std::wstring();
    return Lower(path.substr(dot));
}

std::wstring Reason(DWORD error) { return SystemErrorText(HRESULT_FROM_WIN32(error)); }

std::string OutputLine(const std::wstring& output) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(scanleaf::FileSystemPath(output).c_str(), GetFileExInfoStandard, &data)) return "";
    return "output\t" + std::to_string((std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow) + "\n";
}

std::string Complete(const scanleaf::core::InputRecord& record) {
    return record.Bytes() + "tool\t" SCANLEAF_VERSION_TEXT "\n";
}

} // namespace

bool ReadOutputTarget(const std::wstring& given, const std::vector<std::wstring>& fileExtensions, const wchar_t* what,
                      OutputTarget& target, std::wstring& error, bool folders) {
    target = OutputTarget();
    const std::wstring extension = Extension(given);
    for (const std::wstring& e : fileExtensions)
        if (extension == e) {
            target.file = given;
            target.stem = given.substr(0, given.size() - e.size());
            return true;
        }
    auto anyOf = [&extension](const std::vector<std::wstring>& list) {
        return std::find(list.begin(), list.end(), extension) != list.end();
    };
    if ((anyOf(kWrittenExtensions) || anyOf(kOtherFileExtensions)) && !IsFolder(given)) {
        std::wstring list;
        for (const std::wstring& f : fileExtensions) list += (list.empty() ? L"" : L", ") + f;
        error = L"-o " + given + L" names a " + extension.substr(1) + L" file, but " + what + L" writes " +
                (list.empty() ? std::wstring(L"into a folder") : list + (folders ? L" files or into a folder" : L" files"));
        return false;
    }
    if (!folders) {
        error = std::wstring(what) + L" needs -o naming a file ending in " + fileExtensions.front() + L", not a folder";
        return false;
    }
    target.folder = given.empty() ? L"." : given;
    return true;
}

std::wstring MakeFolders(const std::wstring& folder) {
    // Made first and judged by the error after, so that jobs making the same folder at once all
    // find it made.
    const std::wstring absolute = AbsolutePath(folder);
    auto make = [&absolute] {
        return CreateDirectoryW(scanleaf::FileSystemPath(absolute).c_str(), nullptr) ? DWORD(0) : GetLastError();
    };
    DWORD error = make();
    const size_t slash = absolute.find_last_of(L"\\/");
    if (error == ERROR_PATH_NOT_FOUND && slash != std::wstring::npos && slash > 2) {
        const std::wstring problem = MakeFolders(absolute.substr(0, slash));
        if (!problem.empty()) return problem;
        error = make();
    }
    if (error == 0 || (error == ERROR_ALREADY_EXISTS && IsFolder(absolute))) return std::wstring();
    return L"cannot make the folder " + folder + L": " +
           (error == ERROR_ALREADY_EXISTS ? std::wstring(L"a file has that name") : Reason(error));
}

std::wstring MakeFoldersOf(const std::wstring& file) {
    const size_t slash = file.find_last_of(L"\\/");
    if (slash == std::wstring::npos || slash == 0 || (slash == 2 && file[1] == L':')) return std::wstring();
    return MakeFolders(file.substr(0, slash));
}

std::wstring MakeTargetFolders(const OutputTarget& target) {
    return target.Single() ? MakeFoldersOf(target.file) : MakeFolders(target.folder);
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(scanleaf::FileSystemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring OccupiedText(const std::wstring& output, bool overwriteHelps) {
    if (IsFolder(output)) return output + L" is a folder; name another output";
    if (!Exists(output)) return std::wstring();
    return output + L" exists" + (overwriteHelps ? L"; --overwrite replaces it" : L"");
}

std::wstring CannotWrite(const std::wstring& path, DWORD error) {
    return L"cannot write " + path + (error ? L": " + Reason(error) : std::wstring());
}

std::wstring InTheWay(const std::wstring& output, bool replaceExisting, bool overwriteHelps) {
    return IsFolder(output) || !replaceExisting ? OccupiedText(output, overwriteHelps) : std::wstring();
}

OutputPlan PlanOutputs(const std::vector<scanleaf::core::PlannedSource>& everyone, const std::vector<size_t>& mine,
                       const OutputTarget& target, const std::wstring& extension, bool replaceExisting,
                       bool overwriteHelps) {
    scanleaf::core::OutputNaming naming;
    naming.folder = target.Single() ? std::wstring() : target.folder;
    naming.single = target.stem;
    naming.extension = target.Single() ? target.file.substr(target.stem.size()) : extension;
    const std::vector<std::vector<std::wstring>> names =
        scanleaf::core::PlanOutputNames(everyone, naming, scanleaf::SystemLowerCaser());
    OutputPlan plan;
    plan.blocked.resize(mine.size());
    for (size_t i = 0; i < mine.size(); ++i) {
        plan.names.push_back(names[mine[i]]);
        for (const std::wstring& name : plan.names[i])
            if (plan.blocked[i].empty()) plan.blocked[i] = InTheWay(name, replaceExisting, overwriteHelps);
    }
    return plan;
}

std::uint64_t HashBytes(const void* bytes, std::size_t size) {
    scanleaf::core::ContentHash hash;
    hash.Add(bytes, size);
    return hash.Value();
}

bool IdentifyFile(const std::wstring& path, std::uint64_t& size, std::uint64_t& hash) {
    const scanleaf::StdFileHandle file(_wfopen(scanleaf::FileSystemPath(path).c_str(), L"rb"));
    if (!file) return false;
    scanleaf::core::ContentHash content;
    size = 0;
    static thread_local char buffer[1 << 16];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file.Get())) > 0) {
        content.Add(buffer, n);
        size += n;
    }
    const bool ok = !ferror(file.Get());
    hash = content.Value();
    return ok;
}

std::wstring InputsKept::RecordPath(const std::wstring& output) {
    const size_t slash = output.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? L"." : output.substr(0, slash);
    const std::wstring name = slash == std::wstring::npos ? output : output.substr(slash + 1);
    return folder + L"\\.scanleaf\\" + name + L".inputs";
}

InputsKept::Verdict InputsKept::Judge(const std::wstring& output, const scanleaf::core::InputRecord& record,
                                      std::wstring* option) {
    if (!Exists(output) || IsFolder(output)) return Verdict::Missing;
    std::string kept;
    if (!ReadWholeFile(RecordPath(output), kept)) return Verdict::NoRecord;
    const scanleaf::core::RecordChange change = scanleaf::core::CompareRecords(kept, Complete(record) + OutputLine(output));
    switch (change.kind) {
    case scanleaf::core::RecordChange::Same: return Verdict::UpToDate;
    case scanleaf::core::RecordChange::Option:
        if (option) *option = change.option;
        return Verdict::OptionChanged;
    case scanleaf::core::RecordChange::Source: return Verdict::SourceChanged;
    case scanleaf::core::RecordChange::Tool: return Verdict::OtherVersion;
    default: return Verdict::OutputChanged;
    }
}

bool InputsKept::Keep(const std::wstring& output, const scanleaf::core::InputRecord& record) {
    const std::wstring path = RecordPath(output);
    const std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
    if (!IsFolder(folder)) {
        if (!MakeFolders(folder).empty()) return false;
        SetFileAttributesW(scanleaf::FileSystemPath(folder).c_str(), FILE_ATTRIBUTE_HIDDEN);
    }
    AtomicFile file(path);
    return file.Write(Complete(record) + OutputLine(output)) && file.Commit();
}

std::wstring InputsKept::Note(Verdict verdict, const std::wstring& option) {
    if (verdict == Verdict::OptionChanged && !option.empty()) {
        // A card value (from --set or --table) is recorded as "value NAME".
        const std::wstring value = L"value ";
        const std::wstring named = option.compare(0, value.size(), value) == 0 ? L"the value of " + option.substr(value.size()) : option;
        return L" (made again: an option changed: " + named + L")";
    }
    switch (verdict) {
    case Verdict::UpToDate: return L" (up to date)";
    case Verdict::NoRecord: return L" (made again: no record of its sources)";
    case Verdict::SourceChanged: return L" (made again: a source changed)";
    case Verdict::OptionChanged: return L" (made again: an option changed)";
    case Verdict::OutputChanged: return L" (made again: it changed since it was made)";
    case Verdict::OtherVersion: return L" (made again: another version made it)";
    default: return std::wstring();
    }
}

} // namespace card
