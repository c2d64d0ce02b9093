// CStlImage::GetDib at unit scale over rows wide enough for every grouping of
// samples a renderer may use (the other suite's images are at most 9 wide):
// rows compared whole with the clip-and-truncate rule, its edge samples included.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "image/stl_image.h"
#include "image/vm_store.h"

namespace {

// Not above 0 (NaN, -0 included): 0; at or above 255: 255; else truncated.
std::uint8_t clipped(float s) { return !(s > 0.0f) ? 0 : s >= 255.0f ? 255 : std::uint8_t(s); }

TEST(GetDibRows, UnitScaleRowsOfEveryWidthAsTheRuleRendersThem) {
    const float inf = std::numeric_limits<float>::infinity();
    const float edges[] = {std::numeric_limits<float>::quiet_NaN(), -0.0f, 0.0f, 1e-30f, 0.999999f, 1.0f, 127.5f,
                           std::nextafter(255.0f, 0.0f), 255.0f, 255.5f, 1e30f, -1e30f, inf, -inf};
    std::mt19937 rng(2718);
    for (int width = 1; width <= 41; width += 1 + width / 8)
        for (int planes : {1, 3}) {
            CStlImage image;
            ASSERT_NE(image.Create(width, 3, planes), 0);
            const std::size_t stride = (std::size_t(width) * planes + 3) / 4 * 4, table = planes == 1 ? 1024 : 0;
            std::vector<std::uint8_t> want(stride * 3, 0);
            for (int c = 0; c < planes; ++c) {
                image.LevelMin[c] = 0, image.LevelMax[c] = 255, image.LevelRange[c] = 255;  // unit scale under option 0 too
                for (int i = 0; i < width * 3; ++i) {
                    const float v = rng() % 3 ? float(int(rng() % 3000) - 200) / 10.0f : edges[rng() % 14];
                    *reinterpret_cast<float *>(image.Store->GetImageAdr(i % width, i / width, c, 0, 0, NULL)) = v;
                    want[(2 - i / width) * stride + i % width * planes + planes - 1 - c] = clipped(v);
                }
            }
            for (int option : {0, 1}) {
                const HDIB dib = image.GetDib(option);
                ASSERT_NE(dib, nullptr);
                const auto *rows = static_cast<const std::uint8_t *>(GlobalLock(dib)) + 40 + table;
                const std::vector<std::uint8_t> got(rows, rows + want.size());
                GlobalUnlock(dib);
                GlobalFree(dib);
                EXPECT_EQ(got, want) << "width " << width << ", planes " << planes << ", option " << option;
            }
        }
}

}  // namespace
