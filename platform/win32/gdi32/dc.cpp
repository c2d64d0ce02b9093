// Device contexts: the screen's, which is the only kind the subset has.
#include "gdi32/gdi_private.h"

#include <atomic>

namespace win32_standin::internal::gdi {
namespace {

constexpr WORD kDefaultScreenDepth = 32;

std::atomic<WORD> screenDepth{kDefaultScreenDepth};
// DCs released with a palette of the caller's still selected.
std::atomic<int> abandonedPalettes{0};

bool IsScreenDepth(WORD bitsPerPixel) {
    return bitsPerPixel == 8 || bitsPerPixel == 16 || bitsPerPixel == 24 || bitsPerPixel == 32;
}

} // namespace

WORD ScreenDepth() { return screenDepth.load(); }

HDC OpenScreenDC() {
    ObjectTable &table = Objects();
    std::lock_guard<std::mutex> hold(table.mutex);
    return static_cast<HDC>(table.Add(DeviceContext{table.DefaultPalette()}));
}

// Windows resets a released screen DC to its defaults; a palette left in it
// is counted, so that a caller who forgot to select the previous one back
// shows up in SelectedPalettes.
bool ReleaseScreenDC(HDC dc) {
    ObjectTable &table = Objects();
    std::lock_guard<std::mutex> hold(table.mutex);
    const DeviceContext *context = table.Find<DeviceContext>(dc);
    if (!context)
        return false;
    if (context->palette != table.DefaultPalette())
        ++abandonedPalettes;
    table.Remove(dc);
    return true;
}

} // namespace win32_standin::internal::gdi

using namespace win32_standin::internal::gdi;

// SetScreenDepth (stand-in)
void win32_standin::SetScreenDepth(WORD bitsPerPixel) {
    if (IsScreenDepth(bitsPerPixel))
        screenDepth.store(bitsPerPixel);
}

// HeldDCs (stand-in)
int win32_standin::HeldDCs() {
    std::lock_guard<std::mutex> hold(Objects().mutex);
    return Objects().HeldDCs();
}

// SelectedPalettes (stand-in)
int win32_standin::SelectedPalettes() {
    std::lock_guard<std::mutex> hold(Objects().mutex);
    return Objects().DCsWithPalette() + abandonedPalettes.load();
}
