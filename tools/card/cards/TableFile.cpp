#include "tools/card/cards/TableFile.h"
#include "tools/card/cards/PluginCodes.h"

#include "tools/card/batch/Files.h"
#include "tools/card/batch/Console.h"

#include <windows.h>

namespace card {

bool ReadTableFile(const std::wstring& path, const TableReading& how, table::Table& table,
                   std::vector<table::Problem>& problems) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) {
        problems.push_back({L"table", L"cannot be read: " + DescribeHresult(HRESULT_FROM_WIN32(GetLastError()))});
        return false;
    }
    if (!how.ansi) return table::Parse(bytes, table, problems, how.parse);
    if (bytes.rfind(table::kUtf8Bom, 0) == 0) {
        problems.push_back({L"table", L"it begins with a UTF-8 byte-order mark: it is UTF-8, leave out --encoding ansi"});
        return false;
    }
    std::wstring text;
    if (!bytes.empty()) {
        const int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()), nullptr, 0);
        if (n <= 0) {
            problems.push_back({L"table", L"not text of the code page " + std::to_wstring(GetACP())});
            return false;
        }
        text.resize(size_t(n));
        MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()), text.data(), n);
    }
    return table::ParseText(text, table, problems, how.parse);
}

std::wstring RowSource(const std::wstring& given) { return AbsolutePath(given); }

} // namespace card
