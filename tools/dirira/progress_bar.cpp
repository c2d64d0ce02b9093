// Opening a display (wParam 0) names it by its caption, each percentage
// (wParam 1) redraws the line when the number changed, and closing it
// (wParam 2) wipes the line, so what the program prints afterwards starts
// on a clean line. The library opens and closes several displays in one
// read (CBmp::Read's own, then the image library's decoding).
#include "tools/dirira/progress_bar.h"

#include <unistd.h>

#include <algorithm>

namespace dirira_tool {
namespace {

constexpr char kClassName[] = "dirira-progress-bar";
constexpr int kBarWidth = 30;
constexpr int kCaptionWidth = 40;
constexpr WPARAM kOpen = 0, kPercent = 1;

bool register_class_once() {
    static const ATOM atom = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = kClassName;
        return RegisterClassA(&wc);
    }();
    return atom != 0;
}

// The tail of a long caption, which is where a path's file name is.
std::string fitted(const std::string &caption) {
    if (caption.size() <= std::size_t(kCaptionWidth))
        return caption;
    return "..." + caption.substr(caption.size() - std::size_t(kCaptionWidth) + 3);
}

}  // namespace

bool wants_progress_bar(std::FILE *out, bool quiet) { return !quiet && isatty(fileno(out)) == 1; }

ProgressBar::ProgressBar(std::FILE *out, bool enabled) : out_(out), enabled_(enabled) {
    if (!register_class_once())
        return;
    window_ = CreateWindowExA(0, kClassName, "progress", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    if (window_ == NULL)
        return;
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ProgressBar::procedure));
}

ProgressBar::~ProgressBar() {
    clear();
    if (window_ != NULL)
        DestroyWindow(window_);
}

LRESULT CALLBACK ProgressBar::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *self = reinterpret_cast<ProgressBar *>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message != WM_IMAGEIO_PROGRESS || self == nullptr)
        return DefWindowProcA(window, message, wParam, lParam);
    if (wParam == kOpen) {
        const auto *caption = reinterpret_cast<const char *>(lParam);
        self->caption_ = caption != nullptr ? caption : "";
        self->draw(0);
    } else if (wParam == kPercent) {
        self->draw(int(std::clamp<LPARAM>(lParam, 0, 100)));
    } else {
        self->clear();
    }
    return 0;
}

void ProgressBar::draw(int percent) {
    if (!enabled_ || percent == shown_)
        return;
    const int filled = percent * kBarWidth / 100;
    std::fprintf(out_, "\r%-*s [%s%s] %3d%%", kCaptionWidth, fitted(caption_).c_str(), std::string(std::size_t(filled), '#').c_str(),
                 std::string(std::size_t(kBarWidth - filled), '.').c_str(), percent);
    std::fflush(out_);
    shown_ = percent;
}

void ProgressBar::clear() {
    if (!enabled_ || shown_ < 0)
        return;
    std::fprintf(out_, "\r%*s\r", kCaptionWidth + kBarWidth + 8, "");
    std::fflush(out_);
    shown_ = -1;
}

}  // namespace dirira_tool
