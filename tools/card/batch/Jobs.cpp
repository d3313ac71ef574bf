#include "tools/card/batch/Jobs.h"

namespace card {

unsigned DefaultJobs() {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors < 1 ? 1 : info.dwNumberOfProcessors > 64 ? 64 : info.dwNumberOfProcessors;
}

} // namespace card
