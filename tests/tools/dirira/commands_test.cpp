// The program's command line, `dirira info`, `about` and BMP-to-BMP
// `convert`, run whole: exit status, standard output and error, the files
// written, byte for byte.
#include <algorithm>
#include <cstdio>

#include "tests/tools/dirira/program.h"

namespace {

using namespace program_test;

TEST_F(ProgramTest, UnknownCommandLinesGetTheUsage) {
    for (const auto &args : std::vector<std::vector<std::string>>{
             {}, {"info"}, {"about", "x"}, {"fits-info"}, {"convert", "a.bmp"}, {"info", "a", "b"}, {"inf", "a"}}) {
        const Outcome run = program(args);
        EXPECT_EQ(run.code, 2);
        EXPECT_EQ(run.err.rfind("usage: dirira info FILE.bmp", 0), 0u) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

TEST_F(ProgramTest, AboutNamesTheLibraryItsVersionAndFormats) {
    const Outcome run = program({"about"});
    EXPECT_EQ(run.code, 0);
    const std::size_t end = run.out.find('\n');
    EXPECT_NE(run.out.substr(0, end).find("dirira"), std::string::npos);
    EXPECT_EQ(run.out.substr(end + 1), "version block:\n  FileDescription   BITMAP I/O DLL\n"
                                       "  FileVersion       2.0.1.1\n  ProductVersion    2.1\n"
                                       "  InternalName      DIRIRA\n  OriginalFilename  DIRIRA.DLL\n"
                                       "format names:\n  7001 BMP (無圧縮)\n  7002 BMP (RLE圧縮)\n");
}

// A core-header file of 1 bit per pixel, 2 x 2, with a file header: 40 bytes
// of its own, widened by the reader to 40 + 2 x 4 before any pixel.
Bytes core_file(std::size_t size) {
    Bytes out{'B', 'M'};
    put(out, std::uint32_t(size), 4);
    put(out, 0, 8);
    for (std::uint32_t field : {12, 2, 2, 1, 1})  // bcSize, bcWidth, bcHeight, bcPlanes, bcBitCount
        put(out, field, field == 12 ? 4 : 2);
    out.insert(out.end(), {0, 0, 0, 255, 255, 255});
    out.resize(size);
    return out;
}

TEST_F(ProgramTest, InfoTellsWhatReadingGives) {
    std::mt19937 random(4711);
    const Planes gray = random_planes(random, 1, 12);
    Bytes topDown = bmp(6, gray);
    topDown[25] = topDown[24] = topDown[23] = 0xFF, topDown[22] = 0xFE;  // biHeight -2
    const Planes colour = random_planes(random, 3, 15);
    struct Case {
        const char *name;
        Bytes file;
        const char *shape, *headerPlanes;
        Planes planes;
    } const cases[] = {
        {"24-bit", bmp(5, colour), "5 x 3, 3 planes (colour)", "1", colour},
        {"top-down", topDown, "6 x 2, 1 plane (gray)",
         "none (the headers do not describe a picture of positive width and height)", gray},
        {"core header widened exactly to its size", core_file(48), "2 x 2, 1 plane (gray)", "1", {Bytes{0}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir_.write("in.bmp", c.file);
        const Outcome run = program({"info", path});
        ASSERT_EQ(run.code, 0) << run.err;
        std::string want = "file:             " + path + "\nformat:           BMP (無圧縮)\nsize:             " +
                           c.shape + "\nsamples:          BITPIX -32, BSCALE 1, BZERO 0\noriginal:         " +
                           std::to_string(c.file[c.file[14] == 12 ? 24 : 28]) + " bits per pixel\nheader planes:    " + c.headerPlanes +
                           "\nsaveable:         format 1, file 1\n";
        for (std::size_t plane = 0; plane < c.planes.size(); ++plane)
            want += "plane " + std::to_string(plane) + ":          min " +
                    std::to_string(*std::min_element(c.planes[plane].begin(), c.planes[plane].end())) + ", max " +
                    std::to_string(*std::max_element(c.planes[plane].begin(), c.planes[plane].end())) +
                    ", display levels 0..255\n";
        EXPECT_EQ(run.out, want);
    }
}

// Every command that reads a BMP says why it cannot in the same words.
TEST_F(ProgramTest, ReadFailuresNameTheirCause) {
    Bytes v4 = bmp_headers(2, 2, 24, 0, 16), bits2 = bmp_headers(4, 1, 2, 0, 4), bits64 = bmp_headers(1, 1, 64, 0, 8);
    v4[14] = 108;
    v4.resize(200);
    Bytes rle24 = bmp_headers(2, 2, 24, 0, 16);
    rle24[30] = 1;  // biCompression BI_RLE8
    const std::string bitsNote = " bits per pixel are not supported (only 1, 4, 8, 16, 24 and 32 are)";
    struct Case {
        const char *name;
        Bytes file;  // none: no file
        std::string why;
    } const cases[] = {
        {"absent", {}, "status 3: the file cannot be opened"},
        {"cut in the information header", Bytes(bits2.begin(), bits2.begin() + 40),
         "status 4: the file's headers cannot be read"},
        {"core header one byte short of its widened form", core_file(47),
         "status 4: a valid BITMAPCOREHEADER file, but its 47 bytes are fewer than the 48 of the 40-byte header "
         "and 4-byte colour entries the library widens it to, and the library refuses it"},
        {"2 bits", bits2, "status 6: 2" + bitsNote},
        {"64 bits", bits64, "status 6: 64" + bitsNote},
        {"run-length 24 bits", rle24, "status 6: out of memory, or the image cannot be represented"},
        {"V4 header", v4,
         "status 7: unsupported bitmap header: only the 40-byte BITMAPINFOHEADER and the 12-byte BITMAPCOREHEADER "
         "are read, not the 108- and 124-byte V4/V5 headers; this file has a 108-byte header: BITMAPV4HEADER"},
    };
    for (const Case &c : cases)
        for (const char *out : {"out.bmp", "out.fits"}) {
            SCOPED_TRACE(std::string(c.name) + " to " + out);
            const std::string in = c.file.empty() ? dir_.file("in.bmp") : dir_.write("in.bmp", c.file);
            const auto before = listing(dir_.path());
            for (const Outcome &run : {program({"info", in}), program({"convert", in, dir_.file(out)})}) {
                EXPECT_EQ(run.code, 1);
                EXPECT_EQ(run.out, "");
                EXPECT_EQ(run.err, "dirira: " + in + ": cannot read: " + c.why + "\n");
            }
            EXPECT_EQ(listing(dir_.path()), before);
        }
}

// What the library writes for an 8-bit gray or 24-bit image read from such
// a file is that file again, byte for byte.
TEST_F(ProgramTest, ConvertWritesTheSameBytesItRead) {
    std::mt19937 random(20240611);
    for (int planes : {1, 3, 1, 3})
        for (int i = 0; i < 3; ++i) {
            const int width = 1 + int(random() % 9), height = 1 + int(random() % 6);
            const Bytes file = bmp(width, random_planes(random, planes, width * height));
            const std::string in = dir_.write("in.bmp", file), out = dir_.file("out.bmp");
            const Outcome run = program({"convert", in, out});
            EXPECT_EQ(run.out, in + " -> " + out + ": " + std::to_string(width) + " x " + std::to_string(height) +
                                   (planes == 1 ? ", 1 plane\n" : ", 3 planes\n"));
            ASSERT_EQ(testing_support::read_file(out), file) << width << " x " << height;
        }
}

// A conversion that fails leaves the output as it was and no file beside it.
TEST_F(ProgramTest, FailedWritesLeaveTheOutputAlone) {
    const std::string in = dir_.write("in.bmp", bmp(3, {{1, 2, 3}}));
    const Bytes old{'o', 'l', 'd'};
    std::filesystem::create_directory(dir_.file("folder"));
    struct Case {
        const char *name, *out;
        win32_standin::Call fault;
        int nth;  // 0: no fault
        const char *why;
    } const cases[] = {
        {"create fails", "old.bmp", win32_standin::Call::CreateFileA, 2,
         "cannot write: status 2: the output file cannot be created"},
        {"second write fails", "old.bmp", win32_standin::Call::WriteFile, 2,
         "cannot write: status 5: writing the output file failed"},
        {"output is a folder", "folder", win32_standin::Call::WriteFile, 0, "not a regular file"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        dir_.write("old.bmp", old);
        const std::string out = dir_.file(c.out);
        const auto before = listing(dir_.path());
        if (c.nth != 0)
            win32_standin::FailNth(c.fault, c.nth);
        const Outcome run = program({"convert", in, out});
        win32_standin::ClearFaults();
        EXPECT_EQ(run.code, 1);
        EXPECT_EQ(run.err, "dirira: " + out + ": " + c.why + "; it is unchanged\n");
        EXPECT_EQ(listing(dir_.path()), before);
        EXPECT_EQ(testing_support::read_file(dir_.file("old.bmp")), old);
    }
}

}  // namespace
