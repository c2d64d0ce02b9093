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

constexpr int kBarWidth = 30;
constexpr int kCaptionWidth = 40;
constexpr WPARAM kOpen = 0, kPercent = 1;

// The tail of a long caption, which is where a path's file name is.
std::string fitted(const std::string &caption) {
    if (caption.size() <= std::size_t(kCaptionWidth))
        return caption;
    return "..." + caption.substr(caption.size() - std::size_t(kCaptionWidth) + 3);
}

} // namespace

bool wants_progress_bar(std::FILE *out, bool quiet) { return !quiet && isatty(fileno(out)) == 1; }

ProgressBar::ProgressBar(std::FILE *out, bool enabled)
    : out_(out), enabled_(enabled), window_([this](WPARAM stage, LPARAM value) { show(stage, value); }) {}

ProgressBar::~ProgressBar() { clear(); }

void ProgressBar::show(WPARAM stage, LPARAM value) {
    if (stage == kOpen) {
        const auto *caption = reinterpret_cast<const char *>(value);
        caption_ = caption != nullptr ? caption : "";
        draw(0);
    } else if (stage == kPercent) {
        draw(int(std::clamp<LPARAM>(value, 0, 100)));
    } else {
        clear();
    }
}

void ProgressBar::draw(int percent) {
    if (!enabled_ || percent == shown_)
        return;
    const int filled = percent * kBarWidth / 100;
    std::fprintf(out_, "\r%-*s [%s%s] %3d%%", kCaptionWidth, fitted(caption_).c_str(),
                 std::string(std::size_t(filled), '#').c_str(),
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

} // namespace dirira_tool
