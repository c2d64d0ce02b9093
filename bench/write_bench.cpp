// Writing an 8192 x 8192 three-plane float image as a BMP file, against the
// floor of the same job done the fastest honest way in the same run: the
// float planes, held in plain arrays, rendered through their display levels
// into fresh huge-page memory by the tightest loop, then one write() of that
// buffer to a file in the same folder.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>

#include "bench/huge_pages.h"
#include "bench/two_halves.h"
#include "bmpio/bmp.h"
#include "image/stl_image.h"
#include "image/vm_store.h"

namespace {

using bench_support::HugeBuffer;

constexpr int kSide = 8192;
constexpr int kPlanes = 3;
constexpr std::size_t kPlaneSamples = std::size_t{kSide} * kSide;
constexpr std::size_t kRowBytes = std::size_t{kSide} * 3; // a multiple of 4: no padding
constexpr double kLevelMin = 16.0, kLevelMax = 240.0;

std::string output_path(const char *name) {
    return (std::filesystem::temp_directory_path() / (std::string("dirira-bench-") + name + ".bmp")).string();
}

// A gradient with texture and fractions, partly outside the levels.
float sample_at(int x, int y, int plane) {
    return float((x * 7 + y * 3 + (x ^ y) + plane * 85) & 0xFF) + 0.25f * float(plane);
}

// The samples as plain planes, for the floor.
void fill_planes(const HugeBuffer &planes) {
    for (int plane = 0; plane < kPlanes; ++plane)
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x)
                planes.as<float>()[plane * kPlaneSamples + std::size_t(y) * kSide + x] = sample_at(x, y, plane);
}

bool fill_image(CStlImage &image) {
    if (!image.Create(kSide, kSide, kPlanes))
        return false;
    for (int plane = 0; plane < kPlanes; ++plane) {
        image.LevelMin[plane] = kLevelMin;
        image.LevelMax[plane] = kLevelMax;
        image.LevelRange[plane] = kLevelMax - kLevelMin;
        for (int y = 0; y < kSide; ++y) {
            auto *row = reinterpret_cast<float *>(image.Store->GetImageAdr(0, y, plane, 0, CVmImage::kReadBack, NULL));
            for (int x = 0; x < kSide; ++x)
                row[x] = sample_at(x, y, plane);
        }
    }
    return true;
}

// The display byte of a sample, exactly as the library computes it.
inline std::uint8_t display_byte(float sample) {
    const double s = sample;
    if (s <= kLevelMin)
        return 0;
    if (s >= kLevelMax)
        return 255;
    const double scaled = (s - kLevelMin) / (kLevelMax - kLevelMin) * 255.0;
    return std::uint8_t((std::fabs(scaled) < 2147483648.0 ? std::int32_t(scaled) : INT32_MIN) & 0xFF);
}

void floor_write(const float *planes, const std::string &path) {
    HugeBuffer pixels(kRowBytes * kSide);
    bench_support::in_two_halves(kSide, [&](std::size_t first, std::size_t end) { // as the library renders
        for (int y = int(first); y < int(end); ++y) {
            std::uint8_t *out = pixels.as<std::uint8_t>() + std::size_t(kSide - 1 - y) * kRowBytes;
            for (int plane = 0; plane < kPlanes; ++plane) {
                const float *row = planes + plane * kPlaneSamples + std::size_t(y) * kSide;
                std::uint8_t *channel = out + (kPlanes - 1 - plane);
                for (int x = 0; x < kSide; ++x)
                    channel[3 * x] = display_byte(row[x]);
            }
        }
    });
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    benchmark::DoNotOptimize(write(fd, pixels.as<char>(), pixels.size()));
    close(fd);
}

void BM_Floor(benchmark::State &state) {
    const std::string path = output_path("floor");
    const HugeBuffer planes(kPlanes * kPlaneSamples * sizeof(float));
    fill_planes(planes);
    for (auto _ : state)
        floor_write(planes.as<float>(), path);
    state.SetBytesProcessed(state.iterations() * std::int64_t(kPlanes * kPlaneSamples * sizeof(float)));
}

void BM_Write(benchmark::State &state) {
    const std::string path = output_path("write");
    CStlImage image;
    if (!fill_image(image)) {
        state.SkipWithError("the image cannot be created");
        return;
    }
    for (auto _ : state) {
        if (CBmp::Write(&image, path.c_str(), 0, NULL, NULL) != 0) {
            state.SkipWithError("CBmp::Write failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t(kPlanes * kPlaneSamples * sizeof(float)));
}

// The argument is the side, which pairs the two in scripts/bench.sh.
BENCHMARK(BM_Floor)->Arg(kSide)->Unit(benchmark::kMillisecond)->Iterations(4)->UseRealTime();
BENCHMARK(BM_Write)->Arg(kSide)->Unit(benchmark::kMillisecond)->Iterations(4)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
