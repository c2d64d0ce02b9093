// Plumbing shared by the GDI subset's sources. Not Windows' layout: Windows
// keeps GDI objects in a handle table shared with the kernel and device
// bitmaps in the display driver's format; here one table maps opaque
// handles to the objects below, and a device bitmap holds one Rgb per pixel,
// already reduced to the colours that its depth can show.
#pragma once

#include "standin/internal.h"

#include <mutex>
#include <unordered_map>
#include <variant>
#include <vector>

namespace win32_standin::internal::gdi {

struct Rgb {
    BYTE red;
    BYTE green;
    BYTE blue;
};

// Top-down rows of width × height pixels.
struct DeviceBitmap {
    LONG width;
    LONG height;
    WORD bitsPixel; // 1, or the screen's depth when it was made
    std::vector<Rgb> pixels;
};

struct Palette {
    std::vector<PALETTEENTRY> entries;
};

struct DeviceContext {
    HPALETTE palette;
};

using Object = std::variant<DeviceContext, DeviceBitmap, Palette>;

// Every GDI object of the process. Handles are never reused, so a deleted
// or released handle stays recognisably invalid. Callers hold `mutex`.
class ObjectTable {
public:
    std::mutex mutex;

    template <typename Kind> Kind *Find(HGDIOBJ handle) {
        auto found = objects_.find(handle);
        return found == objects_.end() ? nullptr : std::get_if<Kind>(&found->second);
    }
    HGDIOBJ Add(Object object);
    void Remove(HGDIOBJ handle) { objects_.erase(handle); }
    bool IsStock(HGDIOBJ handle) const { return handle == defaultPalette_; }
    HPALETTE DefaultPalette() const { return defaultPalette_; }
    // Objects other than DCs and stock objects.
    int LiveObjects() const;
    int HeldDCs() const;
    // DCs whose palette is not the stock default.
    int DCsWithPalette() const;

    ObjectTable();

private:
    std::unordered_map<HGDIOBJ, Object> objects_;
    std::uintptr_t nextHandle_;
    HPALETTE defaultPalette_;
};

ObjectTable &Objects();

// Bits per pixel of the screen: 8, 16, 24 or 32.
WORD ScreenDepth();
// The screen's DC for GetDC(NULL), with the stock default palette selected.
HDC OpenScreenDC();
// False when `dc` is no DC held from OpenScreenDC.
bool ReleaseScreenDC(HDC dc);

// The 20 static colours of the system palette, which the stock default
// palette holds: 10 at the start of an 8-bit system palette, 10 at its end.
const std::vector<PALETTEENTRY> &SystemColors();
// The colour table GetDIBits writes for a device bitmap at 1, 4 and 8 bits
// per pixel; empty for deeper pixels.
const std::vector<RGBQUAD> &DefaultColorTable(WORD bitCount);
// The entry of `table` (not empty) nearest to `colour`.
BYTE NearestIndex(const std::vector<RGBQUAD> &table, Rgb colour);
Rgb ColorOf(const RGBQUAD &entry);

// `colour` as a device bitmap of `bitsPixel` shows it.
Rgb ReduceToDepth(Rgb colour, WORD bitsPixel);
// A new black device bitmap; null (with the last error set) for sizes
// Windows refuses. Callers hold the table's mutex.
HBITMAP NewDeviceBitmap(ObjectTable &table, int width, int height, WORD bitsPixel);

} // namespace win32_standin::internal::gdi
