// Progress of one long operation of the image library, reported with the
// application's progress notification (image/progress.h).
#pragma once

#include "image/progress.h"

namespace zircim {

// Opens on construction and closes on destruction, so every path that
// opened also closes. A NULL window receives nothing. Percentages are sent
// only when the integer value changes: at most 101 of them per operation.
class Progress {
public:
    Progress(HWND window, const char *caption);
    ~Progress();
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    void report(unsigned long long done, unsigned long long total);

private:
    HWND m_window;
    int m_lastPercent = -1;
};

} // namespace zircim
