// The host's progress window, recording the progress notifications it is
// sent, so tests compare whole sequences of (wParam, lParam).
#pragma once

#include <functional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "bmpfile/progress_window.h"

namespace testing_support {

using ProgressMessage = std::pair<WPARAM, LPARAM>;

class ProgressWindow {
public:
    // `onMessage` sees each notification as it arrives, while the sender waits.
    explicit ProgressWindow(std::function<void(WPARAM)> onMessage = nullptr)
        : window_([this, onMessage](WPARAM stage, LPARAM value) {
              if (onMessage)
                  onMessage(stage);
              messages_.emplace_back(stage, value);
          }) {
        if (window_.handle() == NULL)
            throw std::runtime_error("RegisterClassA or CreateWindowExA failed");
    }
    HWND handle() const { return window_.handle(); }
    const std::vector<ProgressMessage> &messages() const { return messages_; }

private:
    std::vector<ProgressMessage> messages_; // before the window, which may report from its construction on
    bmpfile::ProgressWindow window_;
};

} // namespace testing_support
