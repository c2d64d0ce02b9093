// The program's FITS side, checked with CFITSIO as the reader: what a BMP
// becomes, what a FITS image becomes, and the header records of every HDU.
#include <gtest/gtest.h>

#include <fitsio.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "tools/dirira/fits.h"

namespace {

const std::string kSamples = SAMPLES_DIR;

// A CFITSIO file built or read by a test; every call after a failed one
// does nothing, and the destructor closes the file.
struct Fits {
    fitsfile *file = nullptr;
    int status = 0;
    ~Fits() {
        int ignored = 0;
        if (file != nullptr)
            fits_close_file(file, &ignored);
    }
    double number(const char *key) {
        double value = 0;
        fits_read_key(file, TDOUBLE, key, &value, nullptr, &status);
        return value;
    }
    std::vector<float> row(int width, int fitsRow, int plane) {
        std::vector<float> samples(width);
        LONGLONG first[3] = {1, fitsRow, plane};
        fits_read_pixll(file, TFLOAT, first, width, nullptr, samples.data(), nullptr, &status);
        return samples;
    }
};

CStlImage read_bmp(const std::string &path) {
    CStlImage image;
    EXPECT_EQ(CBmp::Read(&image, path.c_str(), NULL, NULL), 0) << path;
    return image;
}

std::vector<float> image_row(CStlImage &image, int y, int plane) {
    std::vector<float> samples;
    for (int x = 0; x < image.GetWidth(); ++x)
        samples.push_back(image.GetPixelGrayRaw(x, y, plane));
    return samples;
}

// A float image with the given axis lengths whose samples are given in FITS
// order (bottom row first; none: all zero), with only the mandatory cards.
std::string write_fits(const std::string &path, std::vector<LONGLONG> axes, std::vector<float> samples = {}) {
    if (samples.empty()) {
        LONGLONG count = 1;
        for (LONGLONG length : axes)
            count *= length;
        samples.resize(std::size_t(count));
    }
    Fits fits;
    fits_create_diskfile(&fits.file, path.c_str(), &fits.status);
    fits_create_imgll(fits.file, FLOAT_IMG, int(axes.size()), axes.data(), &fits.status);
    fits_write_img(fits.file, TFLOAT, 1, LONGLONG(samples.size()), samples.data(), &fits.status);
    EXPECT_EQ(fits.status, 0);
    return path;
}

class FitsTool : public testing::Test {
protected:
    testing_support::TempDir dir_;
};

// Every sample arrives as a float, the picture's bottom row first; the
// display levels ride along in LEVMINn/LEVMAXn.
TEST_F(FitsTool, BmpBecomesAFloatImageBottomRowFirst) {
    for (const char *sample : {"starfield-gray.bmp", "starfield-colour.bmp"}) {
        SCOPED_TRACE(sample);
        CStlImage image = read_bmp(kSamples + sample);
        const std::string out = dir_.file("out.fits");
        ASSERT_EQ(dirira_tool::bmp_to_fits((kSamples + sample).c_str(), out.c_str()), 0);

        Fits fits;
        fits_open_diskfile(&fits.file, out.c_str(), READONLY, &fits.status);
        EXPECT_EQ(fits.number("BITPIX"), -32);
        EXPECT_EQ(fits.number("NAXIS"), image.IsColor() ? 3 : 2);
        const int height = image.GetHeight();
        for (int plane = 0; plane < image.GetPlanes(); ++plane) {
            EXPECT_EQ(fits.number(("LEVMIN" + std::to_string(plane + 1)).c_str()), image.GetLevelMin(plane));
            EXPECT_EQ(fits.number(("LEVMAX" + std::to_string(plane + 1)).c_str()), image.GetLevelMax(plane));
            for (int y = 0; y < height; ++y)
                ASSERT_EQ(fits.row(image.GetWidth(), height - y, plane + 1), image_row(image, y, plane)) << y;
        }
        EXPECT_EQ(fits.status, 0);
    }
}

TEST_F(FitsTool, BmpThroughFitsGivesBackTheSamples) {
    for (const char *sample : {"starfield-gray.bmp", "starfield-colour.bmp"}) {
        SCOPED_TRACE(sample);
        const std::string fits = dir_.file("round.fits"), back = dir_.file("back.bmp");
        ASSERT_EQ(dirira_tool::bmp_to_fits((kSamples + sample).c_str(), fits.c_str()), 0);
        ASSERT_EQ(dirira_tool::fits_to_bmp(fits.c_str(), back.c_str()), 0);
        CStlImage original = read_bmp(kSamples + sample), copy = read_bmp(back);
        ASSERT_EQ(copy.GetPlanes(), original.GetPlanes());
        for (int plane = 0; plane < original.GetPlanes(); ++plane)
            for (int y = 0; y < original.GetHeight(); ++y)
                ASSERT_EQ(image_row(copy, y, plane), image_row(original, y, plane)) << y;
    }
}

// Without level cards a plane's minimum and maximum are black and white:
// (s - 10) / 30 * 255 gives 0, 85, 170, 255. FITS row 1 is the bottom one.
TEST_F(FitsTool, FitsWithoutLevelsRendersFromMinimumToMaximum) {
    const std::string in = write_fits(dir_.file("plain.fits"), {2, 2}, {10, 20, 30, 40});
    const std::string out = dir_.file("plain.bmp");
    ASSERT_EQ(dirira_tool::fits_to_bmp(in.c_str(), out.c_str()), 0);
    CStlImage image = read_bmp(out);
    EXPECT_EQ(image_row(image, 0, 0), (std::vector<float>{170, 255}));
    EXPECT_EQ(image_row(image, 1, 0), (std::vector<float>{0, 85}));
}

TEST_F(FitsTool, RefusesWhatIsNoGrayOrColourImage) {
    struct Case {
        const char *name;
        std::vector<LONGLONG> axes;
    } const cases[] = {{"one axis", {4}}, {"two planes", {2, 2, 2}}, {"four axes", {2, 2, 1, 1}}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string in = write_fits(dir_.file(std::string(c.name) + ".fits"), c.axes);
        EXPECT_EQ(dirira_tool::fits_to_bmp(in.c_str(), dir_.file("refused.bmp").c_str()), 1);
    }
    EXPECT_EQ(dirira_tool::fits_to_bmp(dir_.file("absent.fits").c_str(), dir_.file("refused.bmp").c_str()), 1);
}

// A primary HDU without data and an ASCII table of two columns.
TEST_F(FitsTool, HeadersOfEveryHduFillOneRecordEach) {
    const std::string path = dir_.file("table.fits");
    {
        Fits fits;
        char *types[] = {const_cast<char *>("NAME"), const_cast<char *>("FLUX")};
        char *forms[] = {const_cast<char *>("A8"), const_cast<char *>("F10.3")};
        char *units[] = {const_cast<char *>(""), const_cast<char *>("Jy")};
        fits_create_diskfile(&fits.file, path.c_str(), &fits.status);
        fits_create_img(fits.file, BYTE_IMG, 0, nullptr, &fits.status);
        fits_create_tbl(fits.file, ASCII_TBL, 3, 2, types, forms, units, "STARS", &fits.status);
        ASSERT_EQ(fits.status, 0);
    }
    std::string error;
    const auto records = dirira_tool::read_fits_headers(path.c_str(), error);
    ASSERT_EQ(records.size(), 2u) << error;
    EXPECT_STREQ(records[0]->GetXtension(), "");
    EXPECT_EQ(records[0]->GetNAxis(), 0);
    CFitsExtension &table = *records[1];
    EXPECT_STREQ(table.GetXtension(), "TABLE");
    EXPECT_STREQ(table.GetExtName(), "STARS");
    EXPECT_EQ(table.GetBitPix(), 8);
    EXPECT_EQ(table.GetNAxis(), 2);
    EXPECT_EQ(table.GetNAxes(1), 3);
    ASSERT_EQ(table.GetTFields(), 2);
    EXPECT_STREQ(table.GetTType(1), "FLUX");
    EXPECT_STREQ(table.GetTForm(1), "F10.3");
    EXPECT_STREQ(table.GetTUnit(1), "Jy");
    EXPECT_EQ(table.GetTBCol(0), 1);
    EXPECT_GT(table.GetTBCol(1), 8);
}

}  // namespace
