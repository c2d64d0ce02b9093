// Raw pixel addressing and decoding of CImage: samples of any BITPIX, read
// in native byte order and scaled by BSCALE and BZERO.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "image/image.h"
#include "image/range_checks.h"
#include "image/vm_store.h"

namespace {

// |BitsPixel| / 8 with the remainder dropped, without the overflow of
// negating INT_MIN.
unsigned bytes_per_sample(int bitsPixel) {
    const unsigned magnitude = bitsPixel < 0 ? 0u - static_cast<unsigned>(bitsPixel) : static_cast<unsigned>(bitsPixel);
    return magnitude / 8;
}

// Samples have no alignment promise: a store may place a row anywhere.
template <typename Raw> Raw load(const unsigned char *address) {
    Raw value;
    std::memcpy(&value, address, sizeof value);
    return value;
}

// The unsigned 32-bit reading the application has always used: the bits as
// a signed integer, then 2^32 added to a negative value.
double unsigned32(const unsigned char *address) {
    const std::int32_t bits = load<std::int32_t>(address);
    double value = bits;
    if (bits < 0)
        value += 4294967296.0;
    return value;
}

} // namespace

void range_checks::position_outside(const char *member, const CImage &image, int x, int y, int plane) {
    std::fprintf(stderr, "%s: position (%d, %d) of plane %d is outside the %d x %d image of %d planes\n", member, x, y,
                 plane, image.Width, image.Height, image.Planes);
    std::abort();
}

// Planes x Height x Width x bytes per sample, wrapping in 32 bits.
unsigned int CImage::GetImageSize() const {
    return static_cast<unsigned>(Planes) * static_cast<unsigned>(Height) * static_cast<unsigned>(Width) *
           bytes_per_sample(BitsPixel);
}

int CImage::GetBytesPixel() const { return static_cast<int>(bytes_per_sample(BitsPixel)); }

// Bit 0 of the mode is the store's read-only flag; bit 1 is its second flag,
// passed masked but not shifted (0 or 2): the store's flag values depend on
// it. Coordinates pass through unclamped.
unsigned char *CImage::GetImageAdr(int x, int y, int plane, unsigned int mode, void **lock) const {
    return Store->GetImageAdr(x, y, plane, static_cast<int>(mode & 1u), static_cast<int>(mode & 2u), lock);
}

int CImage::Unlock(void *lock) { return Store->Unlock(lock); }

void CImage::UnlockAll() { Store->UnlockAll(); }

unsigned char *CImage::GetNextAdr(void *address) const {
    return static_cast<unsigned char *>(address) + bytes_per_sample(BitsPixel);
}

unsigned char *CImage::GetPrevAdr(void *address) const {
    return static_cast<unsigned char *>(address) - bytes_per_sample(BitsPixel);
}

// One dispatch on BITPIX, no lookup, no lock, no allocation. The product is
// formed before BZERO is added, for the floating-point cases too. Any other
// BITPIX reads nothing and decodes to 0.
double CImage::GetPixel(unsigned char *address) const {
    double raw;
    switch (BitsPixel) {
    case -64:
        raw = load<double>(address);
        break;
    case -32:
        raw = load<float>(address);
        break;
    case 8:
        raw = *address; // bytes are unsigned whatever Signed says
        break;
    case 16:
        raw = Signed ? double(load<std::int16_t>(address)) : double(load<std::uint16_t>(address));
        break;
    case 32:
        raw = Signed ? double(load<std::int32_t>(address)) : unsigned32(address);
        break;
    default:
        return 0.0;
    }
    return raw * Bscale + Bzero;
}

// Read-only, second flag 0, no lock token: nothing to release afterwards.
double CImage::GetPixel(int x, int y, int plane) const {
    range_checks::expect_inside("CImage::GetPixel", *this, x, y, plane);
    return GetPixel(Store->GetImageAdr(x, y, plane, 1, 0, NULL));
}
