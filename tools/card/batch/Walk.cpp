#include "tools/card/batch/Walk.h"

#include "hostenv/LongPath.h"
#include "hostenv/SystemText.h"
#include "hostenv/Unique.h"
#include "tools/card/batch/Files.h"
#include "tools/card/batch/Console.h"

#include <windows.h>

#include <algorithm>
#include <set>

namespace card {

namespace {

void WalkFolder(const std::wstring& folder, const std::wstring& relative, const WalkRequest& request,
                std::vector<Source>& out) {
    WIN32_FIND_DATAW data;
    const scanleaf::FindHandle find(FindFirstFileW(scanleaf::FileSystemPath(folder + L"\\*").c_str(), &data));
    if (!find) return;
    std::vector<std::wstring> subfolders;
    do {
        const std::wstring name = data.cFileName;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (request.recursive && name != L"." && name != L"..") subfolders.push_back(name);
            continue;
        }
        const size_t dot = name.find_last_of(L'.');
        if (dot == std::wstring::npos) continue;
        const std::wstring extension = Lower(name.substr(dot + 1));
        if (std::find(request.extensions.begin(), request.extensions.end(), extension) != request.extensions.end())
            out.push_back({folder + L"\\" + name, relative + name});
    } while (FindNextFileW(find.Get(), &data));
    for (const std::wstring& sub : subfolders) WalkFolder(folder + L"\\" + sub, relative + sub + L"\\", request, out);
}

std::wstring WithoutTrailingSlash(std::wstring path) {
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    return path;
}

} // namespace

std::wstring MissingText(const std::wstring& path) { return path + L": no such file or folder"; }

Walked Walk(const WalkRequest& request) {
    Walked walked;
    std::vector<Source> found;
    for (const std::wstring& operand : request.operands) {
        const std::wstring absolute = WithoutTrailingSlash(AbsolutePath(operand));
        const DWORD attributes = GetFileAttributesW(scanleaf::FileSystemPath(absolute).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            walked.missing.push_back(operand);
        } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            WalkFolder(absolute, L"", request, found);
        } else {
            const size_t slash = absolute.find_last_of(L"\\/");
            found.push_back({absolute, slash == std::wstring::npos ? absolute : absolute.substr(slash + 1)});
        }
    }
    // One order for every command, the same whatever order the system lists a folder in.
    std::vector<std::pair<std::wstring, size_t>> keys;
    keys.reserve(found.size());
    for (size_t i = 0; i < found.size(); ++i) keys.emplace_back(Lower(found[i].path), i);
    std::sort(keys.begin(), keys.end());
    const scanleaf::core::LowerCaser& lower = scanleaf::SystemLowerCaser();
    for (size_t k = 0; k < keys.size(); ++k) {
        if (k > 0 && keys[k].first == keys[k - 1].first) continue; // a file named twice is one source
        Source& source = found[keys[k].second];
        walked.everyone.push_back(source.path);
        if (!request.shard.Takes(source.relative, lower)) {
            ++walked.otherShards;
            continue;
        }
        walked.mine.push_back(walked.everyone.size() - 1);
        walked.sources.push_back(std::move(source));
    }
    return walked;
}

Walked WalkAndReport(const WalkRequest& request) {
    Walked walked = Walk(request);
    for (const std::wstring& m : walked.missing) Err(MissingText(m) + L"\n");
    return walked;
}


} // namespace card
