// Opening a display (wParam 0) names it by its caption, each percentage
// (wParam 1) redraws the line when the number changed, and closing it
// (wParam 2) wipes the line, so what the program prints afterwards starts
// on a clean line. The library opens and closes several displays in one
// read (CBmp::Read's own, then the image library's decoding).
#include "tools/dirira/progress_bar.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

namespace dirira_tool {
namespace {

constexpr int kBarWidth = 30;     // at most; a narrow terminal gets less
constexpr int kCaptionWidth = 40; // at most
constexpr int kFixedWidth = 8;    // " [", "] " and "100%"
constexpr int kDefaultColumns = 80;
constexpr WPARAM kOpen = 0, kPercent = 1;

// The terminal's width now, asked at each drawing so that the bar follows a
// window resized while it runs (no SIGWINCH handler to install and race).
int terminal_columns(std::FILE *out) {
    winsize size{};
    if (ioctl(fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return kDefaultColumns;
}

// The last `width` bytes of a caption, which is where a path's file name is,
// "..." in front when it was cut, the cut moved past a UTF-8 sequence's
// continuation bytes so that no character is split.
std::string fitted(const std::string &caption, int width) {
    const std::size_t room = std::size_t(width);
    if (caption.size() <= room)
        return caption;
    const std::size_t dots = room > 3 ? 3 : 0;
    std::size_t start = caption.size() - (room - dots);
    while (start < caption.size() && (static_cast<unsigned char>(caption[start]) & 0xC0) == 0x80)
        ++start;
    return std::string(dots, '.') + caption.substr(start);
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

// One column is left free: a line that fills the last column wraps on many
// terminals, and the next "\r" would then redraw below instead of over it.
void ProgressBar::draw(int percent) {
    if (!enabled_ || percent == shown_)
        return;
    const int room = terminal_columns(out_) - 1 - kFixedWidth;
    if (room < 0)
        return;
    const int bar = std::min(kBarWidth, room / 2), caption = std::min(kCaptionWidth, room - bar);
    const int filled = percent * bar / 100;
    const std::string line = fitted(caption_, caption);
    std::fprintf(out_, "\r%-*s [%s%s] %3d%%", caption, line.c_str(), std::string(std::size_t(filled), '#').c_str(),
                 std::string(std::size_t(bar - filled), '.').c_str(), percent);
    std::fflush(out_);
    drawnWidth_ = caption + bar + kFixedWidth;
    shown_ = percent;
}

void ProgressBar::clear() {
    if (!enabled_ || shown_ < 0)
        return;
    std::fprintf(out_, "\r%*s\r", std::min(drawnWidth_, terminal_columns(out_) - 1), "");
    std::fflush(out_);
    shown_ = -1;
}

} // namespace dirira_tool
