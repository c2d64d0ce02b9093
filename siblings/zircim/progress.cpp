#include "siblings/zircim/progress.h"

namespace zircim {

Progress::Progress(HWND window, const char *caption) : m_window(window) {
    if (m_window != NULL)
        SendMessageA(m_window, kProgressMessage, kProgressOpen, reinterpret_cast<LPARAM>(caption));
}

Progress::~Progress() {
    if (m_window != NULL)
        SendMessageA(m_window, kProgressMessage, kProgressClose, 0);
}

void Progress::report(unsigned long long done, unsigned long long total) {
    if (m_window == NULL || total == 0)
        return;
    const int percent = static_cast<int>((done < total ? done : total) * 100 / total);
    if (percent == m_lastPercent)
        return;
    m_lastPercent = percent;
    SendMessageA(m_window, kProgressMessage, kProgressPercent, percent);
}

}  // namespace zircim
