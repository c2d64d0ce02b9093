// Reading an 8192 x 8192 BMP into an image, against the floor of the same
// job done the fastest honest way in the same run: one read of the whole
// file into fresh memory, then the tightest conversion of its bytes into
// fresh float planes.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/huge_pages.h"
#include "bmpio/bmp.h"
#include "image/stl_image.h"

namespace {

using bench_support::HugeBuffer;

constexpr int kSide = 8192;

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

// The floor: the file into memory, then bytes to float planes, red, green,
// blue (or one gray plane through the table), rows turned top-down.
void floor_read(const std::string &path, int bitCount) {
    HugeBuffer file(std::filesystem::file_size(path));
    read_whole(path, file);
    const int planes = bitCount == 24 ? 3 : 1;
    const std::size_t planeSamples = std::size_t{kSide} * kSide;
    HugeBuffer samples(planes * planeSamples * sizeof(float));
    float *out = samples.as<float>();
    const std::uint8_t *pixels = file.as<std::uint8_t>() + pixel_offset(bitCount);
    float gray[256];
    for (int i = 0; i < 256; ++i)
        gray[i] = float(file.as<std::uint8_t>()[14 + 40 + 4 * i]);
    for (int row = 0; row < kSide; ++row) {
        const std::uint8_t *src = pixels + std::size_t{row_bytes(bitCount)} * row;
        const std::size_t y = std::size_t(kSide - 1 - row) * kSide;
        if (bitCount == 24) {
            float *r = out + y, *g = out + planeSamples + y, *b = out + 2 * planeSamples + y;
            for (int x = 0; x < kSide; ++x) {
                b[x] = src[3 * x];
                g[x] = src[3 * x + 1];
                r[x] = src[3 * x + 2];
            }
        } else {
            for (int x = 0; x < kSide; ++x)
                out[y + x] = gray[src[x]];
        }
    }
    benchmark::DoNotOptimize(out[planeSamples / 2]);
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

BENCHMARK(BM_Floor)->Arg(8)->Arg(24)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_Read)->Arg(8)->Arg(24)->Unit(benchmark::kMillisecond)->Iterations(4);

}  // namespace

BENCHMARK_MAIN();
