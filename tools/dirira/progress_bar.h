// The program as a host of the library: a message-only window that takes the
// progress messages of CBmp::Read, CBmp::Write and the image library, and
// draws them as a bar on a terminal.
#pragma once

#include <cstdio>
#include <string>

#include <dirira/dirira.h>

#include "bmpfile/progress_window.h"

namespace dirira_tool {

class ProgressBar {
public:
    // Draws on `out` when `enabled`; the window exists either way, so that
    // the library's calls are the same with and without a bar.
    ProgressBar(std::FILE *out, bool enabled);
    ~ProgressBar();
    ProgressBar(const ProgressBar &) = delete;
    ProgressBar &operator=(const ProgressBar &) = delete;

    // The window to give the library; NULL when none could be made.
    HWND window() const { return window_.handle(); }

private:
    void show(WPARAM stage, LPARAM value);
    void draw(int percent);
    void clear();

    std::FILE *out_;
    bool enabled_;
    std::string caption_;
    int shown_ = -1;                 // the percentage on screen; -1: nothing drawn
    int drawnWidth_ = 0;             // the columns it took
    bmpfile::ProgressWindow window_; // last: its messages use the members above
};

// Whether a bar belongs on `out`: a terminal, and not silenced.
bool wants_progress_bar(std::FILE *out, bool quiet);

} // namespace dirira_tool
