// Reading an 8192 x 8192 BMP into an image, against the floor of the same
// job done the fastest honest way in the same run: one read of the whole
// file into fresh memory, then the tightest conversion of its bytes into
// fresh float planes with each plane's extremes, on both cores. An RLE8 file of 4096 x 4096 is read next to a
// one-pass decoder of the same file.
#include <benchmark/benchmark.h>

#include <emmintrin.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/huge_pages.h"
#include "bench/two_halves.h"
#include "bmpio/bmp.h"
#include "image/stl_image.h"

namespace {

using bench_support::HugeBuffer;

constexpr int kSide = 8192;
constexpr int kRleSide = 4096;
// Samples between the floor's planes beyond the plane itself: planes whose
// starts lie 256 MiB apart make every red, green and blue store of a pixel
// collide in the processor's caches (the floor took 3 s instead of 0.2 s
// here). The library's store places its planes apart anyway.
constexpr std::size_t kPlanePad = 1040; // 4 KiB and 64 bytes

std::uint32_t row_bytes(int bitCount) { return (std::uint32_t(bitCount) * kSide + 31) / 32 * 4; }
std::uint32_t table_entries(int bitCount) { return bitCount == 8 ? 256 : 0; }
std::uint32_t pixel_offset(int bitCount) { return 14 + 40 + 4 * table_entries(bitCount); }

void put(std::vector<std::uint8_t> &out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(std::uint8_t(value >> (8 * i)));
}

// A bottom-up file with a file header and a gray table for 8 bits; the
// pixels are a gradient with some texture, so nothing is constant.
std::string make_file(int bitCount) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("dirira-bench-" + std::to_string(bitCount) + ".bmp")).string();
    const std::uint64_t size = pixel_offset(bitCount) + std::uint64_t{row_bytes(bitCount)} * kSide;
    std::error_code ec;
    if (std::filesystem::file_size(path, ec) == size)
        return path;
    std::vector<std::uint8_t> head{'B', 'M'};
    put(head, std::uint32_t(size), 4);
    put(head, 0, 4);
    put(head, pixel_offset(bitCount), 4);
    for (std::uint32_t v : {40u, std::uint32_t(kSide), std::uint32_t(kSide)})
        put(head, v, 4);
    put(head, 1, 2);
    put(head, bitCount, 2);
    for (std::uint32_t v : {0u, row_bytes(bitCount) * kSide, 2835u, 2835u, table_entries(bitCount), 0u})
        put(head, v, 4);
    for (std::uint32_t i = 0; i < table_entries(bitCount); ++i)
        head.insert(head.end(), {std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 0});
    std::FILE *file = std::fopen(path.c_str(), "wb");
    std::fwrite(head.data(), 1, head.size(), file);
    std::vector<std::uint8_t> row(row_bytes(bitCount));
    for (int y = 0; y < kSide; ++y) {
        for (std::size_t i = 0; i < row.size(); ++i)
            row[i] = std::uint8_t((i * 7 + y * 3 + (i ^ y)) & 0xFF);
        std::fwrite(row.data(), 1, row.size(), file);
    }
    std::fclose(file);
    return path;
}

void read_whole(const std::string &path, HugeBuffer &buffer) {
    const int fd = open(path.c_str(), O_RDONLY);
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t got = read(fd, buffer.as<char>() + done, buffer.size() - done);
        if (got <= 0)
            break;
        done += std::size_t(got);
    }
    close(fd);
}

// The extremes of a row of floats folded into `low` and `high`, four at a
// time: the read keeps each plane's least and greatest sample.
void fold_extremes(const float *row, int count, float &low, float &high) {
    __m128 lows = _mm_set1_ps(low), highs = _mm_set1_ps(high);
    int x = 0;
    for (; x + 4 <= count; x += 4) {
        const __m128 samples = _mm_loadu_ps(row + x);
        lows = _mm_min_ps(lows, samples);
        highs = _mm_max_ps(highs, samples);
    }
    float l[4], h[4];
    _mm_storeu_ps(l, lows);
    _mm_storeu_ps(h, highs);
    for (int i = 0; i < 4; ++i)
        low = std::min(low, l[i]), high = std::max(high, h[i]);
    for (; x < count; ++x)
        low = std::min(low, row[x]), high = std::max(high, row[x]);
}

// Each half's extremes of each plane, merged once both halves are done.
struct Extremes {
    float low[3] = {255, 255, 255}, high[3] = {0, 0, 0};
};

// The floor: the file into memory, then bytes to float planes, red, green,
// blue (or one gray plane through the table), rows turned top-down, each
// plane's extremes folded from each row while it is in the cache, half the
// rows on a second thread as the library does (which also shares the first
// touch of the planes' fresh pages between the two cores).
void floor_read(const std::string &path, int bitCount) {
    HugeBuffer file(std::filesystem::file_size(path));
    read_whole(path, file);
    const int planes = bitCount == 24 ? 3 : 1;
    const std::size_t planeSamples = std::size_t{kSide} * kSide;
    HugeBuffer samples((planes * planeSamples + (planes - 1) * kPlanePad) * sizeof(float));
    float *out = samples.as<float>();
    const std::uint8_t *pixels = file.as<std::uint8_t>() + pixel_offset(bitCount);
    float gray[256];
    for (int i = 0; i < 256; ++i)
        gray[i] = float(file.as<std::uint8_t>()[14 + 40 + 4 * i]);
    Extremes halves[2];
    bench_support::in_two_halves(kSide, [&](std::size_t first, std::size_t end) {
        Extremes &extremes = halves[first == 0 ? 0 : 1];
        for (int row = int(first); row < int(end); ++row) {
            const std::uint8_t *src = pixels + std::size_t{row_bytes(bitCount)} * row;
            const std::size_t y = std::size_t(kSide - 1 - row) * kSide;
            if (bitCount == 24) {
                const std::size_t next = planeSamples + kPlanePad;
                float *rows[3] = {out + y, out + next + y, out + 2 * next + y};
                for (int x = 0; x < kSide; ++x) {
                    rows[2][x] = src[3 * x];
                    rows[1][x] = src[3 * x + 1];
                    rows[0][x] = src[3 * x + 2];
                }
                for (int plane = 0; plane < 3; ++plane)
                    fold_extremes(rows[plane], kSide, extremes.low[plane], extremes.high[plane]);
            } else {
                for (int x = 0; x < kSide; ++x)
                    out[y + x] = gray[src[x]];
                fold_extremes(out + y, kSide, extremes.low[0], extremes.high[0]);
            }
        }
    });
    for (int plane = 0; plane < planes; ++plane)
        benchmark::DoNotOptimize(std::min(halves[0].low[plane], halves[1].low[plane]) +
                                 std::max(halves[0].high[plane], halves[1].high[plane]));
    benchmark::DoNotOptimize(out[planeSamples / 2]);
}

// A sky of slow gradients where every twelfth pixel is noise, encoded as an
// ordinary encoder would: runs of three or more equal pixels as encoded
// runs, the pixels between them as absolute runs (three or more) or encoded
// runs of one or two.
std::string make_rle_file() {
    const std::string path = (std::filesystem::temp_directory_path() / "dirira-bench-rle8.bmp").string();
    std::vector<std::uint8_t> rows;
    std::vector<std::uint8_t> line(kRleSide);
    std::uint32_t seed = 12345;
    for (int y = 0; y < kRleSide; ++y) {
        for (int x = 0; x < kRleSide; ++x) {
            seed = seed * 1664525u + 1013904223u;
            line[x] = x % 12 == 5 ? std::uint8_t(seed >> 24) : std::uint8_t(40 + y / 64 + x / 128);
        }
        for (int x = 0; x < kRleSide;) {
            int same = 1;
            while (x + same < kRleSide && same < 255 && line[x + same] == line[x])
                ++same;
            if (same >= 3) {
                rows.insert(rows.end(), {std::uint8_t(same), line[x]});
                x += same;
                continue;
            }
            int end = x + 1; // up to the next run of three
            while (end < kRleSide && end - x < 255 &&
                   !(end + 2 < kRleSide && line[end] == line[end + 1] && line[end] == line[end + 2]))
                ++end;
            const int count = end - x;
            if (count < 3) {
                for (; x < end; ++x)
                    rows.insert(rows.end(), {1, line[x]});
                continue;
            }
            rows.insert(rows.end(), {0, std::uint8_t(count)});
            rows.insert(rows.end(), line.begin() + x, line.begin() + end);
            if (count % 2)
                rows.push_back(0);
            x = end;
        }
        rows.insert(rows.end(), {0, 0});
    }
    rows.insert(rows.end(), {0, 1});
    const std::uint32_t offset = 14 + 40 + 4 * 256;
    std::vector<std::uint8_t> head{'B', 'M'};
    put(head, std::uint32_t(offset + rows.size()), 4);
    put(head, 0, 4);
    put(head, offset, 4);
    for (std::uint32_t v : {40u, std::uint32_t(kRleSide), std::uint32_t(kRleSide)})
        put(head, v, 4);
    put(head, 1, 2);
    put(head, 8, 2);
    for (std::uint32_t v : {1u, std::uint32_t(rows.size()), 2835u, 2835u, 256u, 0u})
        put(head, v, 4);
    for (std::uint32_t i = 0; i < 256; ++i)
        head.insert(head.end(), {std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 0});
    std::FILE *file = std::fopen(path.c_str(), "wb");
    std::fwrite(head.data(), 1, head.size(), file);
    std::fwrite(rows.data(), 1, rows.size(), file);
    std::fclose(file);
    return path;
}

// The one-pass decoder: the file into memory, each encoded run one fill,
// rows turned top-down, pixels no command writes left 0.
void floor_read_rle(const std::string &path) {
    HugeBuffer file(std::filesystem::file_size(path));
    read_whole(path, file);
    HugeBuffer samples(std::size_t{kRleSide} * kRleSide * sizeof(float));
    float *plane = samples.as<float>();
    const std::uint8_t *data = file.as<std::uint8_t>() + 14 + 40 + 4 * 256;
    const std::size_t size = file.size() - (14 + 40 + 4 * 256);
    float gray[256];
    for (int i = 0; i < 256; ++i)
        gray[i] = float(file.as<std::uint8_t>()[14 + 40 + 4 * i]);
    auto out_row = [plane](int r) { return plane + std::size_t(kRleSide - 1 - r) * kRleSide; };
    std::size_t pos = 0;
    int x = 0, row = 0;
    float *out = out_row(0);
    while (row < kRleSide && pos + 2 <= size) {
        const unsigned count = data[pos], value = data[pos + 1];
        pos += 2;
        if (count > 0) {
            const int end = std::min(kRleSide, x + int(count));
            std::fill(out + x, out + std::max(x, end), gray[value]);
            x = std::max(x, end);
        } else if (value == 0) {
            x = 0;
            if (++row < kRleSide)
                out = out_row(row);
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            x = std::min(kRleSide, x + data[pos]);
            row += std::min(int(data[pos + 1]), kRleSide - row);
            pos += 2;
            if (row < kRleSide)
                out = out_row(row);
        } else {
            for (unsigned i = 0; i < value && x < kRleSide; ++i)
                out[x++] = gray[data[pos + i]];
            pos += value + (value & 1);
        }
    }
    benchmark::DoNotOptimize(plane[std::size_t{kRleSide} * kRleSide / 2]);
}

void BM_FloorRle8(benchmark::State &state) {
    const std::string path = make_rle_file();
    for (auto _ : state)
        floor_read_rle(path);
    state.SetBytesProcessed(state.iterations() * std::int64_t{kRleSide} * kRleSide);
}

void BM_Rle8(benchmark::State &state) {
    const std::string path = make_rle_file();
    for (auto _ : state) {
        CStlImage image;
        if (CBmp::Read(&image, path.c_str(), NULL, NULL) != 0) {
            state.SkipWithError("CBmp::Read failed");
            break;
        }
        benchmark::DoNotOptimize(image.Store);
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t{kRleSide} * kRleSide);
}

void BM_Floor(benchmark::State &state) {
    const int bitCount = int(state.range(0));
    const std::string path = make_file(bitCount);
    for (auto _ : state)
        floor_read(path, bitCount);
    state.SetBytesProcessed(state.iterations() * std::int64_t(std::filesystem::file_size(path)));
}

void BM_Read(benchmark::State &state) {
    const int bitCount = int(state.range(0));
    const std::string path = make_file(bitCount);
    for (auto _ : state) {
        CStlImage image;
        if (CBmp::Read(&image, path.c_str(), NULL, NULL) != 0) {
            state.SkipWithError("CBmp::Read failed");
            break;
        }
        benchmark::DoNotOptimize(image.Store);
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t(std::filesystem::file_size(path)));
}

BENCHMARK(BM_Floor)->Arg(8)->Arg(24)->Unit(benchmark::kMillisecond)->Iterations(4)->UseRealTime();
BENCHMARK(BM_Read)->Arg(8)->Arg(24)->Unit(benchmark::kMillisecond)->Iterations(4)->UseRealTime();
BENCHMARK(BM_FloorRle8)->Arg(kRleSide)->Unit(benchmark::kMillisecond)->Iterations(8);
BENCHMARK(BM_Rle8)->Arg(kRleSide)->Unit(benchmark::kMillisecond)->Iterations(8);

} // namespace

BENCHMARK_MAIN();
