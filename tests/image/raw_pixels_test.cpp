// Raw sample decoding by BITPIX, Signed, BSCALE and BZERO, addressing by
// sample size, and the store reached through the image; expected values
// worked out by hand.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "image/image.h"
#include "image/stl_image.h"
#include "image/vm_store.h"
#include "siblings/zircim/vm_seams.h"

namespace {

template <typename T>
std::vector<unsigned char> bytes_of(T value) {
    std::vector<unsigned char> b(sizeof value);
    std::memcpy(b.data(), &value, sizeof value);
    return b;
}

// The product is formed before BZERO is added; unsupported BITPIX reads nothing and decodes to 0.
TEST(RawPixels, DecodeByBitpix) {
    const struct { const char *name; int bitsPixel, isSigned; double bscale, bzero; std::vector<unsigned char> bytes;
                   double expected; } cases[] = {
        {"u16_all_ones", 16, 0, 1, 0, {0xFF, 0xFF}, 65535.0},
        {"s16_all_ones", 16, 1, 1, 0, {0xFF, 0xFF}, -1.0},
        {"s16_any_nonzero_is_signed", 16, 7, 1, 0, {0x00, 0x80}, -32768.0},
        {"u16_bzero_32768", 16, 0, 1, 32768, {0x00, 0x00}, 32768.0},
        {"u32_all_ones", 32, 0, 1, 0, {0xFF, 0xFF, 0xFF, 0xFF}, 4294967295.0},
        {"u32_zero_stays_zero", 32, 0, 1, 0, {0, 0, 0, 0}, 0.0},
        {"s32_all_ones", 32, 1, 1, 0, {0xFF, 0xFF, 0xFF, 0xFF}, -1.0},
        {"u8_ignores_signed", 8, 1, 2, 1, {0xFF}, 511.0},
        {"f32_scaled", -32, 0, 2, 1, bytes_of(1.5f), 4.0},
        {"f64_scaled", -64, 1, 3, 0, bytes_of(0.1), 0.30000000000000004},
        {"bitpix_24_is_zero", 24, 0, 2, 5, {1, 2, 3}, 0.0},
        {"bitpix_64_is_zero", 64, 0, 1, 0, bytes_of(7.0), 0.0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        CImage image;
        image.SetBitsPixel(c.bitsPixel);
        image.SetSigned(c.isSigned);
        image.SetBscale(c.bscale);
        image.SetBzero(c.bzero);
        std::vector<unsigned char> sample = c.bytes;
        EXPECT_EQ(image.GetPixel(sample.data()), c.expected);
    }
}

// |BITPIX| / 8, remainder dropped, INT_MIN included; steps and the image
// size (4 x 65536 x 16384 = 2^32, wrapping) follow it.
TEST(RawPixels, SampleSizeDecidesImageSizeAndSteps) {
    const std::pair<int, int> bytes[] = {{8, 1}, {-64, 8}, {12, 1}, {7, 0}, {INT_MIN, 268435456}};
    CImage image;
    for (const auto &[bitsPixel, expected] : bytes) {
        image.SetBitsPixel(bitsPixel);
        EXPECT_EQ(image.GetBytesPixel(), expected) << bitsPixel;
    }
    unsigned char row[32] = {};
    image.SetBitsPixel(-64);
    EXPECT_EQ(image.GetNextAdr(row + 8), row + 16);
    EXPECT_EQ(image.GetPrevAdr(row + 8), row);
    image.SetBitsPixel(-32);
    image.SetWidth(65536);
    image.SetHeight(16384);
    image.SetPlanes(1);
    EXPECT_EQ(image.GetImageSize(), 0u);
}

// A 16-bit signed image written at the store's addresses and read back by
// position, scaled; locks taken through the image go back through it with
// the store's own results (locks left, then -1 for a spent token).
TEST(RawPixels, PositionFormAndLocksReachTheStore) {
    CImage image;
    ASSERT_NE(image.Create(3, 2, 2, 16), 0);
    image.SetSigned(1);
    image.SetBscale(0.5);
    image.SetBzero(10);
    void *first = nullptr, *second = nullptr;
    std::int16_t *p = reinterpret_cast<std::int16_t *>(image.GetImageAdr(0, 1, 1, 0, &first));
    p[0] = -4;
    p[2] = 300;
    EXPECT_EQ(image.GetPixel(0, 1, 1), 8.0);
    EXPECT_EQ(image.GetPixel(2, 1, 1), 160.0);
    EXPECT_EQ(image.GetPixel(0, 1, 0), 10.0) << "planes are separate";
    ASSERT_NE(image.GetImageAdr(1, 1, 1, 1, &second), nullptr);
    EXPECT_EQ(image.Unlock(first), 1);
    EXPECT_EQ(image.Unlock(second), 0);
    EXPECT_EQ(image.Unlock(second), -1);
    image.GetImageAdr(2, 0, 0, 1, &first);
    image.UnlockAll();
    EXPECT_EQ(image.Unlock(first), -1) << "UnlockAll released it";
}

// What reaches the store's full lookup: each member's first lookup in a
// block asks for reading (1) or writing (0) with second flag 0, the address
// members pass their mode's bits; a second lookup in the same block is
// answered inline. Rows 600 and 601 lie in a plane's second block.
TEST(RawPixels, LookupsReachTheStoreWithTheirFlags) {
    using zircim::FullLookup;
    const struct { const char *name; void (*call)(CStlImage &, int x, int y); FullLookup first; } members[] = {
        {"CImage::GetPixel", [](CStlImage &i, int x, int y) { i.GetPixel(x, y, 1); }, {7, 600, 1, 1, 0}},
        {"GetPixelGrayRaw(int)", [](CStlImage &i, int x, int y) { i.GetPixelGrayRaw(x, y, 1); }, {7, 600, 1, 1, 0}},
        {"GetPixelGray256(int)", [](CStlImage &i, int x, int y) { i.GetPixelGray256(x, y, 1); }, {7, 600, 1, 1, 0}},
        {"GetPixelGrayRaw(double)", [](CStlImage &i, int x, int y) { i.GetPixelGrayRaw(x + 0.5, y + 0.5, 1); },
         {7, 600, 1, 1, 0}},
        {"SetPixelGrayRaw(int)", [](CStlImage &i, int x, int y) { i.SetPixelGrayRaw(x, y, 2.0f, 1); }, {7, 600, 1, 0, 0}},
        {"SetPixelGray256f(int)", [](CStlImage &i, int x, int y) { i.SetPixelGray256f(x, y, 2.0f, 1); }, {7, 600, 1, 0, 0}},
        {"CStlImage::GetImageAdr(3)", [](CStlImage &i, int x, int y) { i.GetImageAdr(x, y, 1, 3, NULL); }, {7, 600, 1, 1, 2}},
        {"CImage::GetImageAdr(6)", [](CStlImage &i, int x, int y) { static_cast<CImage &>(i).GetImageAdr(x, y, 1, 6, NULL); },
         {7, 600, 1, 0, 2}},
    };
    CStlImage image;
    ASSERT_NE(image.Create(1024, 1100, 2), 0);
    for (const auto &m : members) {
        SCOPED_TRACE(m.name);
        image.Store->GetImageAdr(0, 0, 1, 1, 0, NULL);  // the plane's first block
        std::vector<FullLookup> log;
        zircim::WatchFullLookups(&log);
        m.call(image, 7, 600);
        m.call(image, 8, 601);
        zircim::WatchFullLookups(NULL);
        EXPECT_EQ(log, std::vector<FullLookup>{m.first});
    }
}

}  // namespace
