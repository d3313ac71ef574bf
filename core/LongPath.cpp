#include "core/LongPath.h"

#include <vector>

namespace scanleaf::core {

Text ExtendedLengthPath(const Text& path) {
    if (path.size() < kMaxPlainPath) return path;
    const Text extended = SL_T("\\\\?\\"), device = SL_T("\\\\.\\");
    if (path.compare(0, 4, extended) == 0 || path.compare(0, 4, device) == 0) return path;
    Text plain = path;
    for (Unit& c : plain)
        if (c == Unit('/')) c = Unit('\\');
    Text prefix, root;
    std::size_t rest = 0;
    const bool drive = plain.size() >= 3 && plain[1] == Unit(':') && plain[2] == Unit('\\') &&
                       ((plain[0] >= Unit('A') && plain[0] <= Unit('Z')) || (plain[0] >= Unit('a') && plain[0] <= Unit('z')));
    if (drive) {
        prefix = extended;
        root = plain.substr(0, 2);
        rest = 3;
    } else if (plain.compare(0, 2, SL_T("\\\\")) == 0) {
        // \\server\share: both names make the root.
        const std::size_t server = plain.find(Unit('\\'), 2);
        if (server == Text::npos || server == 2) return path;
        const std::size_t share = plain.find(Unit('\\'), server + 1);
        if (share == server + 1) return path;
        prefix = extended + SL_T("UNC\\");
        root = plain.substr(2, share == Text::npos ? Text::npos : share - 2);
        rest = share == Text::npos ? plain.size() : share + 1;
    } else {
        return path; // relative, or relative to a drive's current folder: the caller's to resolve
    }
    std::vector<Text> names;
    for (std::size_t at = rest; at <= plain.size();) {
        std::size_t end = plain.find(Unit('\\'), at);
        if (end == Text::npos) end = plain.size();
        const Text name = plain.substr(at, end - at);
        if (name == SL_T("..")) {
            if (!names.empty()) names.pop_back();
        } else if (!name.empty() && name != SL_T(".")) {
            names.push_back(name);
        }
        at = end + 1;
    }
    Text out = prefix + root;
    for (const Text& name : names) out += Unit('\\') + name;
    if (names.empty()) out += Unit('\\');
    return out;
}

} // namespace scanleaf::core
