// The DIB helper library of the host application (zirdib): sizes of the
// colour table that belongs to a DIB header.
#pragma once

#include <windows.h>

// A packed DIB in one movable global memory block: a 40-byte
// BITMAPINFOHEADER, the colour table, then the pixel rows.
typedef HGLOBAL HDIB;

#if defined(_WIN32) && defined(ZIRDIB_BUILDING)
#define ZIRDIB_API __declspec(dllexport)
#elif defined(_WIN32)
#define ZIRDIB_API __declspec(dllimport)
#else
#define ZIRDIB_API __attribute__((visibility("default")))
#endif

extern "C" {

// Entries of the colour table that follow `header`, which points at a
// BITMAPINFOHEADER (first field 40) or a BITMAPCOREHEADER (first field 12).
// An information header with a non-zero biClrUsed has that many entries;
// otherwise 1, 4 and 8 bits per pixel have 2, 16 and 256 entries, a
// BI_BITFIELDS header of 16 or 32 bits has 3 (its red, green and blue
// masks travel in the table's place) and every other header has none.
ZIRDIB_API WORD WINAPI DibNumColors(const void *header);

// Bytes of that colour table: 4 per entry after an information header,
// 3 per entry (RGBTRIPLE) after a core header.
ZIRDIB_API WORD WINAPI PaletteSize(const void *header);

} // extern "C"
