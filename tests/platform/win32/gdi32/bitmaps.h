// Device bitmaps made from 24-bit DIB rows, and read back as DIBs, for the
// GDI subset's tests and the device-bitmap conversions' tests.
#pragma once

#include <windows.h>

#include <vector>

namespace gdi_test {

// A bottom-up header with room behind it for a 256-colour table.
struct Dib {
    BITMAPINFOHEADER header;
    RGBQUAD colors[256];
};

inline Dib DibOf(LONG width, LONG height, WORD bitCount, DWORD compression = BI_RGB) {
    Dib dib{};
    dib.header = {sizeof(BITMAPINFOHEADER), width, height, 1, bitCount, compression, 0, 0, 0, 0, 0};
    return dib;
}

inline BITMAPINFO *InfoOf(Dib &dib) { return reinterpret_cast<BITMAPINFO *>(&dib); }

// A bitmap of the screen's depth from bottom-up 24-bit rows.
inline HBITMAP ScreenBitmap(LONG width, LONG height, const std::vector<BYTE> &rows) {
    HDC screen = GetDC(NULL);
    Dib dib = DibOf(width, height, 24);
    HBITMAP bitmap = CreateDIBitmap(screen, &dib.header, CBM_INIT, rows.data(), InfoOf(dib), DIB_RGB_COLORS);
    ReleaseDC(NULL, screen);
    return bitmap;
}

// The rows GetDIBits copies at `bitCount` bits per pixel; empty when it
// copies none.
inline std::vector<BYTE> RowsOf(HBITMAP bitmap, LONG width, LONG height, WORD bitCount, DWORD compression = BI_RGB) {
    Dib dib = DibOf(width, height, bitCount, compression); // height < 0: the rows top-down
    const LONG count = height < 0 ? -height : height;
    std::vector<BYTE> rows(((width * bitCount + 31) / 32) * 4 * count, 0xAA);
    HDC screen = GetDC(NULL);
    const int lines = GetDIBits(screen, bitmap, 0, count, rows.data(), InfoOf(dib), DIB_RGB_COLORS);
    ReleaseDC(NULL, screen);
    return lines == count ? rows : std::vector<BYTE>{};
}

} // namespace gdi_test
