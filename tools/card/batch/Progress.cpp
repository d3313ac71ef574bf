#include "tools/card/batch/Progress.h"

#include "tools/card/batch/Console.h"

#include <cwchar>

namespace card {

Progress::Progress(size_t total) : total_(total), shown_(StderrIsTerminal()), start_(GetTickCount64()) {}

Progress::~Progress() { Clear(); }

void Progress::Step(size_t done, const std::wstring& file) {
    if (!shown_) return;
    ULONGLONG now = GetTickCount64();
    if (done != 0 && done != total_ && now - last_ < 200) return;
    last_ = now;
    double seconds = double(now - start_) / 1000.0;
    double rate = seconds > 0 ? double(done) / seconds : 0;
    wchar_t line[96];
    if (rate > 0)
        swprintf(line, 96, L"[%zu/%zu] %.0f files/s, %.0f s left  ", done, total_, rate,
                 double(total_ - done) / rate);
    else
        swprintf(line, 96, L"[%zu/%zu]  ", done, total_);
    ShowProgress(line + file);
}

void Progress::Clear() {
    if (shown_) ClearProgress(); // the console knows whether a line is shown
}


} // namespace card
