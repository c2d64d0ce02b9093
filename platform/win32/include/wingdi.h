// The Win32 graphics interface: the bitmap structures, packed exactly as the
// SDK packs them (they are read from and written to BMP files byte for
// byte), and the GDI subset that converts between DIBs and device bitmaps.
#pragma once

#include "windef.h"

#define BI_RGB 0L
#define BI_RLE8 1L
#define BI_RLE4 2L
#define BI_BITFIELDS 3L

#define DIB_RGB_COLORS 0
#define DIB_PAL_COLORS 1

#define CBM_INIT 0x04L
#define DEFAULT_PALETTE 15
#define GDI_ERROR (0xFFFFFFFFL)

typedef struct tagRGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
} RGBQUAD, *LPRGBQUAD;

typedef struct tagRGBTRIPLE {
    BYTE rgbtBlue;
    BYTE rgbtGreen;
    BYTE rgbtRed;
} RGBTRIPLE, *LPRGBTRIPLE;

typedef struct tagBITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
} BITMAPINFOHEADER, *LPBITMAPINFOHEADER, *PBITMAPINFOHEADER;

typedef struct tagBITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
} BITMAPINFO, *LPBITMAPINFO, *PBITMAPINFO;

typedef struct tagBITMAPCOREHEADER {
    DWORD bcSize;
    WORD bcWidth;
    WORD bcHeight;
    WORD bcPlanes;
    WORD bcBitCount;
} BITMAPCOREHEADER, *LPBITMAPCOREHEADER, *PBITMAPCOREHEADER;

typedef struct tagBITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
} BITMAP, *PBITMAP, *LPBITMAP;

typedef struct tagPALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
} PALETTEENTRY, *PPALETTEENTRY, *LPPALETTEENTRY;

typedef struct tagLOGPALETTE {
    WORD palVersion;
    WORD palNumEntries;
    PALETTEENTRY palPalEntry[1];
} LOGPALETTE, *PLOGPALETTE, *LPLOGPALETTE;

// The file header is the one structure the SDK packs to 2 bytes: bfSize
// follows the 2-byte signature directly.
#pragma pack(push, 2)
typedef struct tagBITMAPFILEHEADER {
    WORD bfType;
    DWORD bfSize;
    WORD bfReserved1;
    WORD bfReserved2;
    DWORD bfOffBits;
} BITMAPFILEHEADER, *LPBITMAPFILEHEADER, *PBITMAPFILEHEADER;
#pragma pack(pop)

static_assert(sizeof(RGBQUAD) == 4, "RGBQUAD layout");
static_assert(sizeof(RGBTRIPLE) == 3, "RGBTRIPLE layout");
static_assert(sizeof(BITMAPCOREHEADER) == 12, "BITMAPCOREHEADER layout");
static_assert(offsetof(BITMAPCOREHEADER, bcBitCount) == 10, "BITMAPCOREHEADER layout");
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER layout");
static_assert(offsetof(BITMAPINFOHEADER, biCompression) == 16, "BITMAPINFOHEADER layout");
static_assert(offsetof(BITMAPINFOHEADER, biClrUsed) == 32, "BITMAPINFOHEADER layout");
static_assert(sizeof(BITMAPINFO) == 44, "BITMAPINFO layout");
static_assert(sizeof(BITMAPFILEHEADER) == 14, "BITMAPFILEHEADER layout");
static_assert(offsetof(BITMAPFILEHEADER, bfSize) == 2, "BITMAPFILEHEADER layout");
static_assert(offsetof(BITMAPFILEHEADER, bfOffBits) == 10, "BITMAPFILEHEADER layout");
// bmBits is pointer-aligned: 24 bytes on 32-bit Windows, 32 on 64-bit.
static_assert(sizeof(BITMAP) == (sizeof(void *) == 8 ? 32 : 24), "BITMAP layout");
static_assert(offsetof(BITMAP, bmPlanes) == 16, "BITMAP layout");
static_assert(sizeof(PALETTEENTRY) == 4, "PALETTEENTRY layout");
static_assert(sizeof(LOGPALETTE) == 8, "LOGPALETTE layout");

extern "C" {

WINGDIAPI HGDIOBJ WINAPI GetStockObject(int object);
WINGDIAPI int WINAPI GetObjectA(HGDIOBJ object, int count, LPVOID buffer);
WINGDIAPI BOOL WINAPI DeleteObject(HGDIOBJ object);

WINGDIAPI HPALETTE WINAPI CreatePalette(const LOGPALETTE *palette);
WINGDIAPI HPALETTE WINAPI SelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground);
WINGDIAPI UINT WINAPI RealizePalette(HDC dc);

WINGDIAPI HBITMAP WINAPI CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void *bits);
WINGDIAPI int WINAPI GetDIBits(HDC dc, HBITMAP bitmap, UINT startScan, UINT lines, LPVOID bits, LPBITMAPINFO info,
                               UINT usage);
WINGDIAPI HBITMAP WINAPI CreateDIBitmap(HDC dc, const BITMAPINFOHEADER *header, DWORD init, const void *bits,
                                        const BITMAPINFO *info, UINT usage);

} // extern "C"
