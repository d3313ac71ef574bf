#include "tools/card/Jobs.h"

#include "tools/card/CommandTable.h"
#include "tools/card/Commands.h"

namespace card {

unsigned DefaultJobs() {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors < 1 ? 1 : info.dwNumberOfProcessors > 64 ? 64 : info.dwNumberOfProcessors;
}

bool ReadJobs(const Arguments& args, unsigned& jobs) {
    jobs = DefaultJobs();
    if (!args.Has(L"--jobs")) return true;
    const std::wstring text = args.Value(L"--jobs");
    wchar_t* end = nullptr;
    const long n = wcstol(text.c_str(), &end, 10);
    if (text.empty() || !end || *end || n < 1 || n > 64) {
        UsageError(L"--jobs takes a number of threads from 1 to 64, not \"" + text + L"\"");
        return false;
    }
    jobs = unsigned(n);
    return true;
}

bool ReadShard(const Arguments& args, scanleaf::core::Shard& shard) {
    shard = scanleaf::core::Shard();
    if (!args.Has(L"--shard")) return true;
    const std::wstring text = args.Value(L"--shard");
    if (scanleaf::core::ParseShard(text, shard)) return true;
    UsageError(L"--shard takes K/N, this machine's share K of N (1 <= K <= N <= 100000), not \"" + text + L"\"");
    return false;
}

} // namespace card
