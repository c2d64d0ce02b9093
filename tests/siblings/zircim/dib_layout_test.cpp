// DIBs the image cannot represent are refused: AttachDIB returns 0 and the
// image stays exactly as it was, with the block unlocked.
#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>

#include "dib_fixture.h"

namespace {

using zircim_test::Bytes;
using zircim_test::info_header;

struct RefusalCase {
    const char *name;
    Bytes dib;
};

Bytes header_with_size(std::uint32_t size) {
    Bytes b = info_header(1, 1, 24);
    std::vector<std::uint8_t> bytes = b.data();
    bytes[0] = static_cast<std::uint8_t>(size);
    return Bytes().append(bytes).fill(size > 40 ? size - 40 + 4 : 4, 0);
}

Bytes first_bytes(const Bytes &b, std::size_t count) {
    return Bytes().append({b.data().begin(), b.data().begin() + static_cast<std::ptrdiff_t>(count)});
}

Bytes with_row(Bytes b) { return b.fill(64, 0); }

std::vector<RefusalCase> refusal_cases() {
    return {
        {"block_shorter_than_header", first_bytes(info_header(1, 1, 24), 39)},
        {"block_shorter_than_table", info_header(1, 1, 8).fill(100, 0)},
        {"core_header", header_with_size(12)},
        {"v4_header", header_with_size(108)},
        {"width_zero", with_row(info_header(0, 1, 24))},
        {"width_negative", with_row(info_header(-1, 1, 24))},
        {"height_zero", with_row(info_header(1, 0, 24))},
        {"height_int_min", with_row(info_header(1, INT_MIN, 24))},
        {"bitcount_2", with_row(info_header(1, 1, 2))},
        {"bitcount_0", with_row(info_header(1, 1, 0))},
        {"bitcount_64", with_row(info_header(1, 1, 64))},
        {"rle8_with_4_bits", with_row(info_header(1, 1, 4, BI_RLE8))},
        {"rle4_with_8_bits", with_row(info_header(1, 1, 8, BI_RLE4))},
        {"bitfields_with_24_bits", with_row(info_header(1, 1, 24, BI_BITFIELDS))},
        {"bitfields_with_two_masks", with_row(info_header(1, 1, 16, BI_BITFIELDS, 2))},
        {"bitfields_non_contiguous_mask",
         with_row(info_header(1, 1, 16, BI_BITFIELDS).u32(0x0F0F).u32(0x00F0).u32(0xF000))},
        {"jpeg", with_row(info_header(1, 1, 24, 4))},
        {"png", with_row(info_header(1, 1, 24, 5))},
        {"top_down_rle8", with_row(info_header(1, -1, 8, BI_RLE8))},
        {"pixel_count_beyond_the_store", with_row(info_header(65536, 65536, 1, BI_RGB, 2))},
    };
}

// An image with content of its own: every refusal must leave all of it.
struct KeptImage {
    CImage image;
    CVmImage *store;
    double *levels;

    KeptImage() {
        image.Create(2, 1, 1);
        *reinterpret_cast<float *>(image.Store->GetImageAdr(1, 0, 0, 0, CVmImage::kReadBack, NULL)) = 42.0f;
        image.LevelMax[0] = 99.0;
        store = image.Store;
        levels = image.LevelMax;
    }

    void expect_unchanged() const {
        EXPECT_EQ(image.Store, store);
        EXPECT_EQ(image.LevelMax, levels);
        EXPECT_EQ(image.LevelMax[0], 99.0);
        EXPECT_EQ(image.Width, 2);
        EXPECT_EQ(image.Height, 1);
        EXPECT_EQ(image.Planes, 1);
        EXPECT_EQ(image.Dimension, 2);
        EXPECT_EQ(zircim_test::plane_samples(image, 0), (std::vector<float>{0.0f, 42.0f}));
    }
};

// Test names carry the case name, not the bytes.
void PrintTo(const RefusalCase &c, std::ostream *os) { *os << c.name; }

class DibRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(DibRefusal, ReturnsZeroAndLeavesTheImage) {
    SKIP_WITHOUT_WIN32_SEAMS("resource accounting");
    KeptImage kept;
    const SIZE_T mapped = CVmImage::GetMappedBytesTotal();
    {
        zircim_test::DibBlock dib(GetParam().dib);
        EXPECT_EQ(kept.image.AttachDIB(dib.handle(), NULL, NULL), 0);
        EXPECT_EQ(win32_standin::LockedGlobalBlocks(), 0);
    }
    kept.expect_unchanged();
    EXPECT_EQ(CVmImage::GetMappedBytesTotal(), mapped);
    EXPECT_EQ(win32_standin::LiveGlobalBlocks(), 0);
}

INSTANTIATE_TEST_SUITE_P(Refused, DibRefusal, testing::ValuesIn(refusal_cases()),
                         [](const testing::TestParamInfo<RefusalCase> &param) { return std::string(param.param.name); });

TEST(DibRefusal, NullHandle) {
    KeptImage kept;
    EXPECT_EQ(kept.image.AttachDIB(NULL, NULL, NULL), 0);
    kept.expect_unchanged();
}

}  // namespace
