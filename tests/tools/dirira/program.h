// What the program's tests share: running a command line in this process
// with its output captured, and BMP files laid out here byte by byte, the
// way CBmp::Write lays them out, so that outputs compare whole.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/win32_seams.h"
#include "tools/dirira/commands.h"

namespace program_test {

using Bytes = std::vector<std::uint8_t>;
using Planes = std::vector<Bytes>;  // gray, or red, green, blue; top row first

struct Outcome {
    int code;
    std::string out, err;
};

inline Outcome program(std::vector<std::string> args) {
    std::vector<char *> argv{const_cast<char *>("dirira")};
    for (std::string &arg : args)
        argv.push_back(arg.data());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int code = dirira_tool::run(int(argv.size()), argv.data());
    std::string out = testing::internal::GetCapturedStdout();
    return {code, out, testing::internal::GetCapturedStderr()};
}

// Bytes as a string, for failures that show where two files differ.
inline std::string text(const Bytes &bytes) { return std::string(bytes.begin(), bytes.end()); }

inline void put(Bytes &out, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i)
        out.push_back(std::uint8_t(value >> 8 * i));
}

// File header and 40-byte information header, resolution 0, `entries`
// colour entries counted in biClrUsed.
inline Bytes bmp_headers(int width, int height, int bits, std::uint32_t entries, std::uint32_t pixelBytes) {
    Bytes out{'B', 'M'};
    put(out, 54 + 4 * entries + pixelBytes, 4);  // bfSize
    put(out, 0, 4);                              // bfReserved1, bfReserved2
    put(out, 54 + 4 * entries, 4);               // bfOffBits
    for (std::uint32_t field : {40, width, height})  // biSize, biWidth, biHeight
        put(out, field, 4);
    put(out, 1, 2);     // biPlanes
    put(out, bits, 2);  // biBitCount
    for (std::uint32_t field : {0u, pixelBytes, 0u, 0u, entries, 0u})  // biCompression .. biClrImportant
        put(out, field, 4);
    return out;
}

// 8-bit gray with a gray table, or 24-bit colour; rows bottom-up, padded.
inline Bytes bmp(int width, const Planes &planes) {
    const int count = int(planes.size()), height = int(planes[0].size()) / width;
    const int stride = (width * count + 3) / 4 * 4;
    Bytes out = bmp_headers(width, height, count * 8, count == 1 ? 256 : 0, std::uint32_t(stride * height));
    for (int i = 0; count == 1 && i < 256; ++i)
        out.insert(out.end(), {std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 0});
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x)
            for (int plane = count - 1; plane >= 0; --plane)  // blue first
                out.push_back(planes[plane][y * width + x]);
        out.resize(out.size() + stride - width * count);
    }
    return out;
}

inline Planes random_planes(std::mt19937 &random, int count, int pixels) {
    Planes planes(count, Bytes(pixels));
    for (Bytes &plane : planes)
        for (std::uint8_t &sample : plane)
            sample = std::uint8_t(random());
    return planes;
}

inline std::set<std::string> listing(const std::string &folder) {
    std::set<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// Leak-checked, with a scratch folder.
class ProgramTest : public testing_support::LeakCheckedTest {
protected:
    testing_support::TempDir dir_;
};

}  // namespace program_test
