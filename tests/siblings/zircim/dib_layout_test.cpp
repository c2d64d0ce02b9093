// DIBs the image cannot represent are refused: AttachDIB returns 0, reports
// no progress, and the image stays exactly as it was, with nothing leaked.
#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <ostream>
#include <string>

#include "dib_fixture.h"
#include "support/progress_window.h"

namespace {

using zircim_test::Bytes;
using zircim_test::info_header;

struct RefusalCase {
    const char *name;
    Bytes dib;           // empty: a NULL handle
    bool opens = false;  // refused only once the store is made: progress opens, then closes
};
void PrintTo(const RefusalCase &c, std::ostream *os) { *os << c.name; }  // names, not bytes

Bytes slice(const Bytes &b, std::size_t from, std::size_t to) {
    return Bytes().append({b.data().begin() + std::ptrdiff_t(from), b.data().begin() + std::ptrdiff_t(to)});
}
// A 24-bit header but for biSize, with room for a larger header and a row.
Bytes header_with_size(std::uint32_t size) {
    return Bytes().u32(size).append(slice(info_header(1, 1, 24), 4, 40)).fill(size > 40 ? size - 36 : 4, 0);
}
Bytes with_row(Bytes b) { return b.fill(64, 0); }

const RefusalCase kRefusalCases[] = {
    {"null_handle", Bytes()},
    {"block_shorter_than_header", slice(info_header(1, 1, 24), 0, 39)},
    {"block_shorter_than_table", info_header(1, 1, 8).fill(100, 0)},
    {"core_header", header_with_size(12)},
    {"v4_header", header_with_size(108)},
    {"width_zero", with_row(info_header(0, 1, 24))},
    {"width_negative", with_row(info_header(-1, 1, 24))},
    {"height_zero", with_row(info_header(1, 0, 24))},
    {"height_int_min", with_row(info_header(1, INT_MIN, 24))},
    {"bitcount_2", with_row(info_header(1, 1, 2))},
    {"bitcount_64", with_row(info_header(1, 1, 64))},
    {"rle8_with_4_bits", with_row(info_header(1, 1, 4, BI_RLE8))},
    {"rle4_with_8_bits", with_row(info_header(1, 1, 8, BI_RLE4))},
    {"bitfields_with_24_bits", with_row(info_header(1, 1, 24, BI_BITFIELDS))},
    {"bitfields_with_two_masks", with_row(info_header(1, 1, 16, BI_BITFIELDS, 2))},
    {"bitfields_non_contiguous_mask", with_row(info_header(1, 1, 16, BI_BITFIELDS).u32(0x0F0F).u32(0xF0).u32(0xF000))},
    {"jpeg", with_row(info_header(1, 1, 24, 4))},
    {"top_down_rle8", with_row(info_header(1, -1, 8, BI_RLE8))},
    {"pixel_count_beyond_the_store", with_row(info_header(65536, 65536, 1, BI_RGB, 2)), true},
};

class DibRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(DibRefusal, ReturnsZeroAndLeavesTheImage) {
    SKIP_WITHOUT_WIN32_SEAMS("resource accounting");
    CImage image;  // with content of its own, all of which must stay
    image.Create(2, 1, 1);
    *reinterpret_cast<float *>(image.Store->GetImageAdr(1, 0, 0, 0, CVmImage::kReadBack, NULL)) = 42.0f;
    image.LevelMax[0] = 99.0;
    CVmImage *const store = image.Store;
    double *const levels = image.LevelMax;
    const SIZE_T mapped = CVmImage::GetMappedBytesTotal();
    {
        testing_support::ProgressWindow window;
        std::optional<zircim_test::DibBlock> dib;
        if (GetParam().dib.size() != 0) dib.emplace(GetParam().dib);
        EXPECT_EQ(image.AttachDIB(dib ? dib->handle() : NULL, window.handle(), NULL), 0);
        EXPECT_EQ(win32_standin::LockedGlobalBlocks(), 0);
        using Messages = std::vector<testing_support::ProgressMessage>;
        EXPECT_EQ(window.messages(), (GetParam().opens ? Messages{{0, 0}, {2, 0}} : Messages{}));
    }
    EXPECT_EQ(image.Store, store);
    EXPECT_EQ(image.LevelMax, levels);
    EXPECT_EQ(image.LevelMax[0], 99.0);
    EXPECT_EQ((std::vector<int>{2, 1, 1, 2}),
              (std::vector<int>{image.Width, image.Height, image.Planes, image.Dimension}));  // w, h, planes, dim
    EXPECT_EQ(zircim_test::plane_samples(image, 0), (std::vector<float>{0.0f, 42.0f}));
    EXPECT_EQ(CVmImage::GetMappedBytesTotal(), mapped);
    EXPECT_EQ(win32_standin::LiveGlobalBlocks(), 0);
}

INSTANTIATE_TEST_SUITE_P(Refused, DibRefusal, testing::ValuesIn(kRefusalCases),
                         [](const testing::TestParamInfo<RefusalCase> &row) { return std::string(row.param.name); });

}  // namespace
