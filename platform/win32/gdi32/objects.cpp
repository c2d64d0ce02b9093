// GDI objects: the handle table, stock objects, descriptions, deletion.
#include "gdi32/gdi_private.h"

#include <cstring>

namespace win32_standin::internal::gdi {
namespace {

// GDI handles are small multiples of 4, far from any heap address.
constexpr std::uintptr_t kFirstHandle = 0x10000;
constexpr std::uintptr_t kHandleStep = 4;

// Rows of a device bitmap are padded to 16 bits, as GetObject reports them.
LONG BitmapWidthBytes(LONG width, WORD bitsPixel) {
    return static_cast<LONG>(((static_cast<std::int64_t>(width) * bitsPixel + 15) >> 3) & ~std::int64_t{1});
}

template <typename Record> int CopyOut(const Record &record, int count, LPVOID buffer) {
    if (!buffer)
        return sizeof(Record);
    if (count < static_cast<int>(sizeof(Record)))
        return 0;
    std::memcpy(buffer, &record, sizeof(Record));
    return sizeof(Record);
}

int DescribeBitmap(const DeviceBitmap &bitmap, int count, LPVOID buffer) {
    BITMAP record{};
    record.bmWidth = bitmap.width;
    record.bmHeight = bitmap.height;
    record.bmWidthBytes = BitmapWidthBytes(bitmap.width, bitmap.bitsPixel);
    record.bmPlanes = 1;
    record.bmBitsPixel = bitmap.bitsPixel;
    return CopyOut(record, count, buffer);
}

// A palette describes itself by its entry count alone.
int DescribePalette(const Palette &palette, int count, LPVOID buffer) {
    const WORD entries = static_cast<WORD>(palette.entries.size());
    return CopyOut(entries, count, buffer);
}

} // namespace

ObjectTable::ObjectTable() : nextHandle_(kFirstHandle) {
    defaultPalette_ = static_cast<HPALETTE>(Add(Palette{SystemColors()}));
}

HGDIOBJ ObjectTable::Add(Object object) {
    auto handle = reinterpret_cast<HGDIOBJ>(nextHandle_);
    nextHandle_ += kHandleStep;
    objects_.emplace(handle, std::move(object));
    return handle;
}

int ObjectTable::LiveObjects() const {
    int live = 0;
    for (const auto &entry : objects_)
        live += !std::holds_alternative<DeviceContext>(entry.second) && !IsStock(entry.first);
    return live;
}

int ObjectTable::HeldDCs() const {
    int held = 0;
    for (const auto &entry : objects_)
        held += std::holds_alternative<DeviceContext>(entry.second);
    return held;
}

int ObjectTable::DCsWithPalette() const {
    int selected = 0;
    for (const auto &entry : objects_) {
        const auto *dc = std::get_if<DeviceContext>(&entry.second);
        selected += dc && dc->palette != defaultPalette_;
    }
    return selected;
}

ObjectTable &Objects() {
    static ObjectTable table;
    return table;
}

} // namespace win32_standin::internal::gdi

using namespace win32_standin::internal::gdi;

// GetStockObject (gdi32.@)
// The default palette is the only stock object of the subset.
extern "C" HGDIOBJ WINAPI GetStockObject(int object) {
    return object == DEFAULT_PALETTE ? Objects().DefaultPalette() : nullptr;
}

// GetObjectA (gdi32.@)
// Without a buffer the answer is the record's size; a buffer too small for
// the record gets nothing and 0.
extern "C" int WINAPI GetObjectA(HGDIOBJ object, int count, LPVOID buffer) {
    ObjectTable &table = Objects();
    std::lock_guard<std::mutex> hold(table.mutex);
    if (const DeviceBitmap *bitmap = table.Find<DeviceBitmap>(object))
        return DescribeBitmap(*bitmap, count, buffer);
    if (const Palette *palette = table.Find<Palette>(object))
        return DescribePalette(*palette, count, buffer);
    return 0;
}

// DeleteObject (gdi32.@)
// Stock objects survive it and answer TRUE, as on Windows.
extern "C" BOOL WINAPI DeleteObject(HGDIOBJ object) {
    ObjectTable &table = Objects();
    std::lock_guard<std::mutex> hold(table.mutex);
    if (table.IsStock(object))
        return TRUE;
    if (!table.Find<DeviceBitmap>(object) && !table.Find<Palette>(object))
        return FALSE;
    table.Remove(object);
    return TRUE;
}

// LiveGdiObjects (stand-in)
int win32_standin::LiveGdiObjects() {
    std::lock_guard<std::mutex> hold(Objects().mutex);
    return Objects().LiveObjects();
}
