#include "siblings/zircim/progress.h"

namespace zircim {

Progress::Progress(HWND window, const char *caption) : m_window(window) {
    dirira::send_progress(m_window, dirira::kProgressOpen, reinterpret_cast<LPARAM>(caption));
}

Progress::~Progress() { dirira::send_progress(m_window, dirira::kProgressClose, 0); }

void Progress::report(unsigned long long done, unsigned long long total) {
    if (total == 0)
        return;
    const int percent = static_cast<int>((done < total ? done : total) * 100 / total);
    if (percent == m_lastPercent)
        return;
    m_lastPercent = percent;
    dirira::send_progress(m_window, dirira::kProgressPosition, percent);
}

} // namespace zircim
