// Per-call cost of the float image's hottest pixel members on a 4096 x 4096
// image, each next to its floor in the same run: the same formula with the
// same clamping on plain float planes in huge-page memory, written as tightly
// as a hand loop would be. One benchmark iteration is one row of calls; the
// positions move with every call and every result goes through
// DoNotOptimize, so no work can be hoisted out of the loop. Each member is
// timed sweeping rows (sequential) and at positions drawn at random over the
// whole image (<Name>Random), which leaves a block the store has just
// looked up on nearly every call.
//
// BM_Floor<Name>/<arg> is the floor of BM_<Name>/<arg> (scripts/bench.sh
// prints each ratio).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/huge_pages.h"
#include "bench/pixel_floors.h"
#include "image/stl_image.h"

namespace {

using bench_support::HugeBuffer;
using pixel_floors::kSide;
using pixel_floors::Levels;
using pixel_floors::PlainPlanes;

// Samples from below LevelMin to above LevelMax, so every branch of the
// byte rule is taken, in no pattern a predictor learns in one row.
float sample_value(int x, int y, int plane) {
    return static_cast<float>((x * 7 + y * 13 + (x ^ y) + plane * 31) % 300) - 20.0f;
}

// The floors' image: `planes` planes in huge-page memory.
class PlainImage {
public:
    explicit PlainImage(int planes)
        : buffer_(std::size_t(planes) * kSide * kSide * sizeof(float)), planes_{buffer_.as<float>(), kSide, kSide} {
        for (int plane = 0; plane < planes; ++plane)
            for (int y = 0; y < kSide; ++y)
                for (int x = 0; x < kSide; ++x)
                    *const_cast<float *>(planes_.at(x, y, plane)) = sample_value(x, y, plane);
    }
    PlainPlanes planes() const { return planes_; }

private:
    HugeBuffer buffer_;
    PlainPlanes planes_;
};

// The same samples in the library's image, written through its store.
std::unique_ptr<CStlImage> make_image(int planes) {
    auto image = std::make_unique<CStlImage>();
    image->Create(kSide, kSide, planes);
    for (int plane = 0; plane < planes; ++plane)
        for (int y = 0; y < kSide; ++y) {
            float *row = image->GetImageAdr(0, y, plane, 0, NULL);
            for (int x = 0; x < kSide; ++x)
                row[x] = sample_value(x, y, plane);
        }
    return image;
}

// Made once per program: the first benchmark that needs an image pays.
CStlImage &gray_image() {
    static const std::unique_ptr<CStlImage> image = make_image(1);
    return *image;
}
CStlImage &colour_image() {
    static const std::unique_ptr<CStlImage> image = make_image(3);
    return *image;
}
PlainPlanes plain_gray() {
    static const PlainImage image(1);
    return image.planes();
}
PlainPlanes plain_colour() {
    static const PlainImage image(3);
    return image.planes();
}

Levels plane_0_levels() {
    const CStlImage &image = gray_image();
    return {image.LevelMin[0], image.LevelMax[0], image.LevelRange[0]};
}

// The floors behind a call that the optimiser can neither inline nor
// specialise, in this program: what a plain C function over a plain array
// costs its caller when the call stays inside the program, handed its
// image record by address as the exported ones are (pixel_floors.h). The
// inlined floors also overlap the memory accesses of many calls, which no
// call can match.
[[gnu::noipa]] unsigned char called_gray256(const PlainPlanes &image, const Levels &levels, int x, int y) {
    return pixel_floors::gray256(image, levels, x, y);
}
[[gnu::noipa]] float called_gray_raw_at(const PlainPlanes &image, double x, double y) {
    return pixel_floors::gray_raw_at(image, x, y);
}
[[gnu::noipa]] float called_bright_raw(const PlainPlanes &image, int x, int y) {
    return pixel_floors::bright_raw(image, x, y);
}

// ---- The row loops ----

// Hides a position's value from the optimiser without going through memory,
// so that a floor clamps on every call, as the library does, instead of
// proving the row in range.
int opaque(int value) {
    asm("" : "+r"(value));
    return value;
}

// Calls read(x, y) for every column of one row per iteration, the rows
// cycling through the image, and reports the time per call.
template <typename Read> void sweep_rows(benchmark::State &state, Read read) {
    int y = 0;
    for (auto _ : state) {
        for (int x = 0; x < kSide; ++x)
            benchmark::DoNotOptimize(read(opaque(x), opaque(y)));
        y = (y + 1) % kSide;
    }
    state.counters["per_call"] = benchmark::Counter(double(state.iterations()) * kSide,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Positions spread over the whole image from a fixed seed, the same for a
// floor and its member: 64 rows' worth, cycled through.
struct Position {
    int x, y;
};

const std::vector<Position> &random_positions() {
    static const std::vector<Position> positions = [] {
        std::mt19937 rng(2026);
        std::vector<Position> made(std::size_t{kSide} * 64);
        for (Position &p : made)
            p = {int(rng() % kSide), int(rng() % kSide)};
        return made;
    }();
    return positions;
}

template <typename Read> void sweep_random(benchmark::State &state, Read read) {
    const std::vector<Position> &positions = random_positions();
    std::size_t next = 0;
    for (auto _ : state) {
        for (int i = 0; i < kSide; ++i) {
            const Position p = positions[next + std::size_t(i)];
            benchmark::DoNotOptimize(read(opaque(p.x), opaque(p.y)));
        }
        next = (next + kSide) % positions.size();
    }
    state.counters["per_call"] = benchmark::Counter(double(state.iterations()) * kSide,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Positions along the row with a fractional offset that changes from
// column to column (a quarter to three quarters, never a whole position).
double fractional_x(int x) { return x + 0.25 + 0.125 * (x & 3); }
double fractional_y(int y) { return y + 0.375; }

// Each member with its floors, inlined, called and exported from a shared
// library: functions that return the reader a sweep calls, making its image
// on first use.

auto floor_gray256_reader() {
    return [image = plain_gray(), levels = plane_0_levels()](int x, int y) {
        return pixel_floors::gray256(image, levels, x, y);
    };
}
auto called_gray256_reader() {
    return
        [image = plain_gray(), levels = plane_0_levels()](int x, int y) { return called_gray256(image, levels, x, y); };
}
auto shared_gray256_reader() {
    return [image = plain_gray(), levels = plane_0_levels()](int x, int y) {
        return pixel_floors::shared_gray256(image, levels, x, y);
    };
}
auto gray256_reader() {
    return [&image = gray_image()](int x, int y) { return image.GetPixelGray256(x, y, 0); };
}
auto floor_gray_raw_at_reader() {
    return [image = plain_gray()](int x, int y) {
        return pixel_floors::gray_raw_at(image, fractional_x(x), fractional_y(y));
    };
}
auto called_gray_raw_at_reader() {
    return [image = plain_gray()](int x, int y) { return called_gray_raw_at(image, fractional_x(x), fractional_y(y)); };
}
auto shared_gray_raw_at_reader() {
    return [image = plain_gray()](int x, int y) {
        return pixel_floors::shared_gray_raw_at(image, fractional_x(x), fractional_y(y));
    };
}
auto gray_raw_at_reader() {
    return [&image = gray_image()](int x, int y) { return image.GetPixelGrayRaw(fractional_x(x), fractional_y(y), 0); };
}
auto floor_bright_raw_reader() {
    return [image = plain_colour()](int x, int y) { return pixel_floors::bright_raw(image, x, y); };
}
auto called_bright_raw_reader() {
    return [image = plain_colour()](int x, int y) { return called_bright_raw(image, x, y); };
}
auto shared_bright_raw_reader() {
    return [image = plain_colour()](int x, int y) { return pixel_floors::shared_bright_raw(image, x, y); };
}
auto bright_raw_reader() {
    return [&image = colour_image()](int x, int y) { return image.GetPixelBrightRaw(x, y); };
}

// Registered under the names scripts/bench.sh pairs (BM_Floor<Name>,
// BM_Called<Name>, BM_Shared<Name>, BM_<Name>, with "Random" appended for random
// positions), the argument being the image side; floors run first.
template <typename MakeRead> void add(const std::string &name, MakeRead make) {
    benchmark::RegisterBenchmark(name.c_str(), [make](benchmark::State &state) {
        sweep_rows(state, make());
    })->Arg(kSide);
}
template <typename MakeRead> void add_random(const std::string &name, MakeRead make) {
    benchmark::RegisterBenchmark((name + "Random").c_str(), [make](benchmark::State &state) {
        sweep_random(state, make());
    })->Arg(kSide);
}

template <typename Add> void add_every_member(Add add_one) {
    add_one("BM_FloorGray256", floor_gray256_reader);
    add_one("BM_CalledGray256", called_gray256_reader);
    add_one("BM_SharedGray256", shared_gray256_reader);
    add_one("BM_Gray256", gray256_reader);
    add_one("BM_FloorGrayRawAt", floor_gray_raw_at_reader);
    add_one("BM_CalledGrayRawAt", called_gray_raw_at_reader);
    add_one("BM_SharedGrayRawAt", shared_gray_raw_at_reader);
    add_one("BM_GrayRawAt", gray_raw_at_reader);
    add_one("BM_FloorBrightRaw", floor_bright_raw_reader);
    add_one("BM_CalledBrightRaw", called_bright_raw_reader);
    add_one("BM_SharedBrightRaw", shared_bright_raw_reader);
    add_one("BM_BrightRaw", bright_raw_reader);
}

} // namespace

int main(int argc, char **argv) {
    add_every_member([](const char *name, auto make) { add(name, make); });
    add_every_member([](const char *name, auto make) { add_random(name, make); });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
