// Palettes: the system's static colours, the default colour tables of
// device-bitmap captures, and the logical palettes of a DC.
#include "gdi32/gdi_private.h"

#include <climits>

namespace win32_standin::internal::gdi {
namespace {

constexpr int kStaticColors = 20;
constexpr int kStaticColorsAtEachEnd = kStaticColors / 2;

PALETTEENTRY Entry(BYTE red, BYTE green, BYTE blue) { return {red, green, blue, 0}; }

RGBQUAD Quad(const PALETTEENTRY &entry) { return {entry.peBlue, entry.peGreen, entry.peRed, 0}; }

std::vector<RGBQUAD> MonochromeTable() { return {Quad(Entry(0, 0, 0)), Quad(Entry(0xFF, 0xFF, 0xFF))}; }

// The VGA colours: the first 7 static colours, then dark gray and light
// gray (which the system palette holds the other way round), then the last 7.
std::vector<RGBQUAD> SixteenColorTable() {
    const std::vector<PALETTEENTRY> &system = SystemColors();
    std::vector<RGBQUAD> table;
    for (int i = 0; i < 7; ++i)
        table.push_back(Quad(system[i]));
    table.push_back(Quad(system[12]));
    table.push_back(Quad(system[7]));
    for (int i = 13; i < kStaticColors; ++i)
        table.push_back(Quad(system[i]));
    return table;
}

// The static colours at both ends; between them the colours of a 2-3-3 cube
// (blue in the top 2 bits of the index, green in the next 3, red in the
// low 3), as Wine's tests record Windows' table.
std::vector<RGBQUAD> TwoFiftySixColorTable() {
    const std::vector<PALETTEENTRY> &system = SystemColors();
    std::vector<RGBQUAD> table(256);
    for (int i = 0; i < 256; ++i) {
        if (i < kStaticColorsAtEachEnd)
            table[i] = Quad(system[i]);
        else if (i >= 256 - kStaticColorsAtEachEnd)
            table[i] = Quad(system[i - (256 - kStaticColors)]);
        else
            table[i] = Quad(Entry(static_cast<BYTE>((i & 0x07) << 5), static_cast<BYTE>((i & 0x38) << 2),
                                  static_cast<BYTE>(i & 0xC0)));
    }
    return table;
}

int SquaredDistance(const RGBQUAD &entry, Rgb colour) {
    const int red = entry.rgbRed - colour.red;
    const int green = entry.rgbGreen - colour.green;
    const int blue = entry.rgbBlue - colour.blue;
    return red * red + green * green + blue * blue;
}

} // namespace

const std::vector<PALETTEENTRY> &SystemColors() {
    static const std::vector<PALETTEENTRY> colors = {
        Entry(0x00, 0x00, 0x00), Entry(0x80, 0x00, 0x00), Entry(0x00, 0x80, 0x00), Entry(0x80, 0x80, 0x00),
        Entry(0x00, 0x00, 0x80), Entry(0x80, 0x00, 0x80), Entry(0x00, 0x80, 0x80), Entry(0xC0, 0xC0, 0xC0),
        Entry(0xC0, 0xDC, 0xC0), Entry(0xA6, 0xCA, 0xF0), // money green, sky blue
        Entry(0xFF, 0xFB, 0xF0), Entry(0xA0, 0xA0, 0xA4), // cream, medium gray
        Entry(0x80, 0x80, 0x80), Entry(0xFF, 0x00, 0x00), Entry(0x00, 0xFF, 0x00), Entry(0xFF, 0xFF, 0x00),
        Entry(0x00, 0x00, 0xFF), Entry(0xFF, 0x00, 0xFF), Entry(0x00, 0xFF, 0xFF), Entry(0xFF, 0xFF, 0xFF),
    };
    return colors;
}

const std::vector<RGBQUAD> &DefaultColorTable(WORD bitCount) {
    static const std::vector<RGBQUAD> none;
    static const std::vector<RGBQUAD> one = MonochromeTable();
    static const std::vector<RGBQUAD> four = SixteenColorTable();
    static const std::vector<RGBQUAD> eight = TwoFiftySixColorTable();
    switch (bitCount) {
    case 1:
        return one;
    case 4:
        return four;
    case 8:
        return eight;
    default:
        return none;
    }
}

// Squared distance in RGB; the first of equally near entries wins. Windows
// does not document its metric; colours that are table entries map to
// themselves under any.
BYTE NearestIndex(const std::vector<RGBQUAD> &table, Rgb colour) {
    std::size_t best = 0;
    int bestDistance = INT_MAX;
    for (std::size_t i = 0; i < table.size() && bestDistance > 0; ++i) {
        const int distance = SquaredDistance(table[i], colour);
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return static_cast<BYTE>(best);
}

Rgb ColorOf(const RGBQUAD &entry) { return {entry.rgbRed, entry.rgbGreen, entry.rgbBlue}; }

} // namespace win32_standin::internal::gdi

using namespace win32_standin::internal::gdi;

// CreatePalette (gdi32.@)
// palVersion is not checked, as on Windows.
extern "C" HPALETTE WINAPI CreatePalette(const LOGPALETTE *palette) {
    if (!palette)
        return nullptr;
    Palette made{{palette->palPalEntry, palette->palPalEntry + palette->palNumEntries}};
    ObjectTable &table = Objects();
    std::lock_guard<std::mutex> hold(table.mutex);
    return static_cast<HPALETTE>(table.Add(std::move(made)));
}

// SelectPalette (gdi32.@)
// The background flag only matters to the window manager's palette
// priority, which the subset does not have.
extern "C" HPALETTE WINAPI SelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground) {
    (void)forceBackground;
    ObjectTable &table = Objects();
    std::lock_guard<std::mutex> hold(table.mutex);
    DeviceContext *context = table.Find<DeviceContext>(dc);
    if (!context || !table.Find<Palette>(palette))
        return nullptr;
    const HPALETTE previous = context->palette;
    context->palette = palette;
    return previous;
}

// RealizePalette (gdi32.@)
// A screen of more than 8 bits per pixel has no system palette: nothing is
// mapped. On an 8-bit screen every entry of the palette is counted as mapped.
extern "C" UINT WINAPI RealizePalette(HDC dc) {
    ObjectTable &table = Objects();
    std::lock_guard<std::mutex> hold(table.mutex);
    const DeviceContext *context = table.Find<DeviceContext>(dc);
    if (!context)
        return GDI_ERROR;
    const Palette *palette = table.Find<Palette>(context->palette);
    if (ScreenDepth() > 8 || !palette)
        return 0;
    return static_cast<UINT>(palette->entries.size());
}
