#include "tools/card/Files.h"
#include "hostenv/LongPath.h"

#include "hostenv/Bstr.h"

#include <algorithm>
#include <cwctype>

namespace card {

namespace {

void VisitFolder(const std::wstring& folder, const std::vector<std::wstring>& extensions, bool recursive,
                 const std::function<void(const std::wstring&)>& visit) {
    std::vector<std::wstring> here, subfolders;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(scanleaf::FileSystemPath(folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = data.cFileName;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (recursive && name != L"." && name != L"..") subfolders.push_back(folder + L"\\" + name);
            continue;
        }
        size_t dot = name.find_last_of(L'.');
        if (dot == std::wstring::npos) continue;
        if (std::find(extensions.begin(), extensions.end(), Lower(name.substr(dot + 1))) != extensions.end())
            here.push_back(folder + L"\\" + name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(here.begin(), here.end());
    std::sort(subfolders.begin(), subfolders.end());
    for (const std::wstring& file : here) visit(file);
    here.clear();
    here.shrink_to_fit();
    for (const std::wstring& sub : subfolders) VisitFolder(sub, extensions, recursive, visit);
}

} // namespace

bool IsFolder(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(scanleaf::FileSystemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring BaseName(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}

std::wstring OutputNames::Take(const std::wstring& base, const std::wstring& extension) {
    std::wstring name = base + extension;
    for (int n = 2; taken_.count(Lower(name)); ++n) name = base + L" (" + std::to_wstring(n) + L")" + extension;
    taken_.insert(Lower(name));
    return name;
}

std::wstring AbsolutePath(const std::wstring& path) {
    DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) return path;
    full.resize(length);
    return full;
}

std::wstring Lower(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towlower(c); });
    return text;
}

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        size_t next = text.find(separator, start);
        parts.push_back(text.substr(start, next - start));
        if (next == std::wstring::npos) return parts;
        start = next + 1;
    }
}

void VisitCalsFiles(IVorFileFormat* format, const std::vector<std::wstring>& paths, bool recursive,
                    const std::function<void(const std::wstring&)>& visit) {
    VisitFiles(paths, CalsExtensions(format), recursive, visit);
}

std::vector<std::wstring> CalsExtensions(IVorFileFormat* format) {
    scanleaf::Bstr product, description, extensionList;
    if (FAILED(format->GetFormatInfo(product.Put(), description.Put(), extensionList.Put()))) return {};
    return Split(Lower(extensionList.Text()), L',');
}

void VisitFiles(const std::vector<std::wstring>& paths, const std::vector<std::wstring>& extensions, bool recursive,
                const std::function<void(const std::wstring&)>& visit) {
    for (const std::wstring& p : paths) {
        if (IsFolder(p))
            VisitFolder(p, extensions, recursive, visit);
        else
            visit(p);
    }
}

std::vector<std::wstring> CollectCalsFiles(IVorFileFormat* format, const std::vector<std::wstring>& paths,
                                           bool recursive) {
    std::vector<std::wstring> files;
    VisitCalsFiles(format, paths, recursive, [&files](const std::wstring& file) { files.push_back(file); });
    return files;
}

FILE* OpenScratchFile(const wchar_t* prefix) {
    wchar_t folder[MAX_PATH + 1], name[MAX_PATH + 1];
    if (!GetTempPathW(MAX_PATH + 1, folder) || !GetTempFileNameW(folder, prefix, 0, name)) return nullptr;
    return _wfopen(name, L"w+bTD");
}

std::vector<std::wstring> CollectCalsFilesInPathOrder(IVorFileFormat* format, const std::vector<std::wstring>& paths,
                                                      bool recursive) {
    std::vector<std::wstring> files = CollectCalsFiles(format, paths, recursive);
    for (std::wstring& f : files) f = AbsolutePath(f);
    std::sort(files.begin(), files.end(), [](const std::wstring& a, const std::wstring& b) { return Lower(a) < Lower(b); });
    return files;
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
    FILE* file = _wfopen(scanleaf::FileSystemPath(path).c_str(), L"rb");
    if (!file) return false;
    bytes.clear();
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
    bool ok = !ferror(file);
    fclose(file);
    return ok;
}

bool IsUpToDate(const std::wstring& output, const std::wstring& source) {
    WIN32_FILE_ATTRIBUTE_DATA out{}, in{};
    if (!GetFileAttributesExW(scanleaf::FileSystemPath(output).c_str(), GetFileExInfoStandard, &out) ||
        !GetFileAttributesExW(scanleaf::FileSystemPath(source).c_str(), GetFileExInfoStandard, &in) || (out.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    return CompareFileTime(&out.ftLastWriteTime, &in.ftLastWriteTime) > 0;
}

AtomicFile::AtomicFile(const std::wstring& path) : path_(path), partial_(path + L".partial") {
    file_ = _wfopen(scanleaf::FileSystemPath(partial_).c_str(), L"wb");
}

AtomicFile::~AtomicFile() {
    if (file_) fclose(file_);
    if ((file_ || closed_) && !committed_) DeleteFileW(scanleaf::FileSystemPath(partial_).c_str());
}

bool AtomicFile::Write(const char* bytes, size_t size) {
    ok_ = ok_ && file_ && fwrite(bytes, 1, size, file_) == size;
    return ok_;
}

bool AtomicFile::Close() {
    if (!file_) return ok_ = false;
    ok_ = fclose(file_) == 0 && ok_;
    file_ = nullptr;
    closed_ = true;
    return ok_;
}

bool AtomicFile::Commit() {
    if (!file_ && !closed_) return false;
    if (file_) Close();
    if (!ok_ || !MoveFileExW(scanleaf::FileSystemPath(partial_).c_str(), scanleaf::FileSystemPath(path_).c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(scanleaf::FileSystemPath(partial_).c_str());
        closed_ = false;
        return false;
    }
    committed_ = true;
    return true;
}

} // namespace card
