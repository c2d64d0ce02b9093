// Raw sample decoding by BITPIX, Signed, BSCALE and BZERO, with expected
// values worked out by hand.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "image/image.h"
#include "image/vm_store.h"

namespace {

struct DecodeCase {
    const char *name;
    int bitsPixel;
    int isSigned;
    double bscale, bzero;
    std::vector<unsigned char> bytes;  // native (little-endian) order
    double expected;
};

std::vector<unsigned char> float_bytes(float v) {
    std::vector<unsigned char> b(sizeof v);
    std::memcpy(b.data(), &v, sizeof v);
    return b;
}

std::vector<unsigned char> double_bytes(double v) {
    std::vector<unsigned char> b(sizeof v);
    std::memcpy(b.data(), &v, sizeof v);
    return b;
}

const std::vector<DecodeCase> &decode_cases() {
    static const std::vector<DecodeCase> cases = {
        {"u16_all_ones", 16, 0, 1, 0, {0xFF, 0xFF}, 65535.0},
        {"s16_all_ones", 16, 1, 1, 0, {0xFF, 0xFF}, -1.0},
        {"s16_most_negative", 16, 7, 1, 0, {0x00, 0x80}, -32768.0},
        {"u16_bzero_32768", 16, 0, 1, 32768, {0x00, 0x00}, 32768.0},
        {"u32_all_ones", 32, 0, 1, 0, {0xFF, 0xFF, 0xFF, 0xFF}, 4294967295.0},
        {"u32_top_bit", 32, 0, 1, 0, {0x00, 0x00, 0x00, 0x80}, 2147483648.0},
        {"s32_all_ones", 32, 1, 1, 0, {0xFF, 0xFF, 0xFF, 0xFF}, -1.0},
        {"u8_ignores_signed", 8, 1, 2, 1, {0xFF}, 511.0},
        {"f32_scaled", -32, 0, 2, 1, float_bytes(1.5f), 4.0},
        {"f64_scaled", -64, 1, 3, 0, double_bytes(0.1), 0.30000000000000004},
        {"bitpix_24_is_zero", 24, 0, 2, 5, {1, 2, 3}, 0.0},
        {"bitpix_0_is_zero", 0, 0, 2, 5, {1}, 0.0},
        {"bitpix_64_is_zero", 64, 0, 1, 0, double_bytes(7.0), 0.0},
    };
    return cases;
}

TEST(RawPixels, DecodeByBitpix) {
    for (const DecodeCase &c : decode_cases()) {
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

TEST(RawPixels, BytesPerSampleAndImageSize) {
    const std::pair<int, int> bytes[] = {{8, 1}, {16, 2}, {32, 4}, {-32, 4}, {-64, 8}, {12, 1}, {7, 0},
                                         {INT_MIN, 268435456}};
    CImage image;
    for (const auto &[bitsPixel, expected] : bytes) {
        SCOPED_TRACE(bitsPixel);
        image.SetBitsPixel(bitsPixel);
        EXPECT_EQ(image.GetBytesPixel(), expected);
    }
    image.SetBitsPixel(-32);
    image.SetWidth(100);
    image.SetHeight(200);
    image.SetPlanes(3);
    EXPECT_EQ(image.GetImageSize(), 240000u);
    image.SetWidth(65536);
    image.SetHeight(16384);
    image.SetPlanes(1);
    EXPECT_EQ(image.GetImageSize(), 0u) << "2^32 bytes wrap";
}

TEST(RawPixels, SteppingMovesOneSample) {
    unsigned char row[32] = {};
    CImage image;
    image.SetBitsPixel(-64);
    EXPECT_EQ(image.GetNextAdr(row + 8), row + 16);
    EXPECT_EQ(image.GetPrevAdr(image.GetNextAdr(row + 8)), row + 8);
    image.SetBitsPixel(16);
    EXPECT_EQ(image.GetPrevAdr(row + 8), row + 6);
}

// Through the store: a 16-bit signed image written at addresses from the
// store and read back by position, with scaling, and no lock left behind.
TEST(RawPixels, PositionFormReadsTheStore) {
    CImage image;
    ASSERT_NE(image.Create(3, 2, 2, 16), 0);
    image.SetSigned(1);
    image.SetBscale(0.5);
    image.SetBzero(10);
    std::int16_t *p = reinterpret_cast<std::int16_t *>(image.GetImageAdr(0, 1, 1, 0, NULL));
    p[0] = -4;
    p[2] = 300;
    EXPECT_EQ(image.GetPixel(0, 1, 1), 8.0);
    EXPECT_EQ(image.GetPixel(2, 1, 1), 160.0);
    EXPECT_EQ(image.GetPixel(1, 1, 1), 10.0);
    EXPECT_EQ(image.GetPixel(0, 1, 0), 10.0) << "planes are separate";
}

// Locks taken through the image are released through it.
TEST(RawPixels, LockTokensGoBackThroughTheImage) {
    CImage image;
    ASSERT_NE(image.Create(4, 4, 1, -32), 0);
    void *first = nullptr, *second = nullptr;
    ASSERT_NE(image.GetImageAdr(1, 1, 0, 1, &first), nullptr);
    ASSERT_NE(image.GetImageAdr(2, 1, 0, 1, &second), nullptr);
    // The store's own results, unchanged: locks left on the block, then -1
    // for a token that is no longer outstanding.
    EXPECT_EQ(image.Unlock(first), 1);
    EXPECT_EQ(image.Unlock(second), 0);
    EXPECT_EQ(image.Unlock(second), -1);
    image.GetImageAdr(2, 2, 0, 1, &first);
    image.UnlockAll();
    EXPECT_EQ(image.Unlock(first), -1) << "UnlockAll released it";
}

}  // namespace
