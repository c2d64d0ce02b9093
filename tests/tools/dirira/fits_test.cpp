// The program's FITS side, run whole: the FITS file that `dirira convert`
// writes compared byte for byte with one laid out here from the standard,
// the BMP it makes of FITS images (which HDU, which display levels) against
// a rendering written from the display-level rule, and `dirira fits-info`.
#include <fitsio.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>

#include "tests/tools/dirira/program.h"

namespace {

using namespace program_test;

// A FITS file laid out from its cards (each padded to 80 characters, then
// END and blanks to the 2880-byte block) and big-endian float samples
// padded with zeros.
Bytes fits_file(const std::vector<std::string> &cards, const std::vector<float> &samples) {
    std::string header;
    for (const std::string &card : cards)
        header += card + std::string(80 - card.size(), ' ');
    header += "END";
    header.resize((header.size() + 2879) / 2880 * 2880, ' ');
    Bytes out(header.begin(), header.end());
    for (float sample : samples) {
        std::uint32_t bits;
        std::memcpy(&bits, &sample, 4);
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(std::uint8_t(bits >> shift));
    }
    out.resize((out.size() + 2879) / 2880 * 2880, 0);
    return out;
}

std::string number_card(const std::string &key, const std::string &value, const char *comment) {
    char card[81];
    std::snprintf(card, sizeof card, "%-8s= %20s / %s", key.c_str(), value.c_str(), comment);
    return card;
}

// Every card and every sample, the picture's bottom row first; the BMP made
// of it again is the BMP converted. The source name needs two cards.
TEST_F(ProgramTest, BmpAndFitsConvertBothWaysExactly) {
    const std::string name = "a-star-field-taken-on-the-night-of-the-sixth-with-the-o'brien-camera-and-a-long-name";
    std::mt19937 random(1206);
    for (const char *extension : {".fits", ".FIT", ".fts"})
        for (int planes : {1, 3}) {
            const int width = 1 + int(random() % 9), height = 1 + int(random() % 6);
            SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height) + extension);
            const Planes picture = random_planes(random, planes, width * height);
            const std::string in = dir_.write(name + ".bmp", bmp(width, picture));
            const std::string fits = dir_.file(std::string("out") + extension), back = dir_.file("back.bmp");
            std::vector<std::string> cards = {
                number_card("SIMPLE", "T", "file does conform to FITS standard"),
                number_card("BITPIX", "-32", "number of bits per data pixel"),
                number_card("NAXIS", planes == 1 ? "2" : "3", "number of data axes")};
            for (int axis : {width, height, planes == 1 ? 0 : 3})
                if (axis != 0)
                    cards.push_back(number_card("NAXIS" + std::to_string(cards.size() - 2), std::to_string(axis),
                                                ("length of data axis " + std::to_string(cards.size() - 2)).c_str()));
            cards.insert(cards.end(),
                         {number_card("EXTEND", "T", "FITS dataset may contain extensions"),
                          "COMMENT   FITS (Flexible Image Transport System) format is defined in 'Astronomy",
                          "COMMENT   and Astrophysics', volume 376, page 359; bibcode: 2001A&A...376..359H",
                          "ORIGIN  = 'dirira  '           / written by the dirira program",
                          "SRCFILE = 'a-star-field-taken-on-the-night-of-the-sixth-with-the-o''brien-came&'",
                          "CONTINUE  'ra-and-a-long-name.bmp' / BMP file converted",
                          number_card("SRCBITS", std::to_string(8 * planes), "bits per pixel of the BMP file")});
            std::vector<float> samples;
            for (int plane = 0; plane < planes; ++plane) {
                cards.push_back(number_card("LEVMIN" + std::to_string(plane + 1), "0.", "display level: black"));
                cards.push_back(number_card("LEVMAX" + std::to_string(plane + 1), "255.", "display level: white"));
                for (int row = height - 1; row >= 0; --row)
                    samples.insert(samples.end(), &picture[plane][row * width], &picture[plane][(row + 1) * width]);
            }
            for (const auto &args : {std::vector<std::string>{"convert", in, fits}, {"convert", fits, back}}) {
                const Outcome run = program(args);
                EXPECT_EQ(run.code, 0);
                EXPECT_EQ(run.out + run.err, "");
            }
            EXPECT_EQ(text(testing_support::read_file(fits)), text(fits_file(cards, samples)));
            EXPECT_EQ(testing_support::read_file(back), testing_support::read_file(in));
        }
}

// An HDU as a test writes it: a table, or an image with random samples
// (some exactly at a level, some NaN) and level cards.
struct Hdu {
    std::vector<LONGLONG> axes;
    std::map<std::string, double> cards;
    int type = IMAGE_HDU;
    float constant = 0;  // the one value of every sample, when not 0
};

std::vector<float> samples_of(const Hdu &hdu, std::mt19937 &random) {
    LONGLONG count = hdu.axes.empty() ? 0 : 1;
    for (LONGLONG length : hdu.axes)
        count *= length;
    std::vector<float> samples(std::size_t(count), hdu.constant);
    std::vector<float> special{std::numeric_limits<float>::quiet_NaN()};
    for (const auto &card : hdu.cards)
        special.push_back(float(card.second));
    for (float &sample : samples)
        if (hdu.constant == 0)
            sample = random() % 5 == 0 ? special[random() % special.size()] : float(random() % 4096) / 16 - 20;
    return samples;
}

void write_fits(const std::string &path, const std::vector<Hdu> &hdus, std::vector<std::vector<float>> &samples) {
    std::mt19937 random(31);
    fitsfile *file = nullptr;
    int status = 0;
    char *names[] = {const_cast<char *>("FLUX")}, *forms[] = {const_cast<char *>("E10.4")};
    fits_create_diskfile(&file, path.c_str(), &status);
    for (const Hdu &hdu : hdus) {
        samples.push_back(samples_of(hdu, random));
        if (hdu.type != IMAGE_HDU)
            fits_create_tbl(file, hdu.type, 2, 1, names, forms, nullptr, "STARS", &status);
        if (hdu.type != IMAGE_HDU)
            continue;
        fits_create_imgll(file, FLOAT_IMG, int(hdu.axes.size()), const_cast<LONGLONG *>(hdu.axes.data()), &status);
        for (const auto &card : hdu.cards)
            fits_write_key(file, TDOUBLE, card.first.c_str(), const_cast<double *>(&card.second), "", &status);
        if (!samples.back().empty())
            fits_write_img(file, TFLOAT, 1, LONGLONG(samples.back().size()), samples.back().data(), &status);
    }
    fits_close_file(file, &status);
    ASSERT_EQ(status, 0);
}

// The BMP of an image through the display-level rule: black at or below the
// lower level (and for NaN), white at or above the upper one, else
// (s - lower) / (upper - lower) x 255 truncated.
Bytes rendered(const Hdu &hdu, const std::vector<float> &samples) {
    const int width = int(hdu.axes[0]), height = int(hdu.axes[1]), count = hdu.axes.size() > 2 ? int(hdu.axes[2]) : 1;
    Planes planes(count, Bytes(std::size_t(width * height)));
    for (int plane = 0; plane < count; ++plane) {
        const auto first = samples.begin() + plane * width * height, last = first + width * height;
        double low = 0, high = 0;
        bool defined = false;
        for (auto s = first; s != last; ++s)
            if (!std::isnan(*s)) {
                low = defined ? std::min(low, double(*s)) : *s, high = defined ? std::max(high, double(*s)) : *s;
                defined = true;
            }
        const std::string n = std::to_string(plane + 1);
        if (hdu.cards.count("LEVMIN" + n) && hdu.cards.count("LEVMAX" + n))
            low = hdu.cards.at("LEVMIN" + n), high = hdu.cards.at("LEVMAX" + n);
        for (int i = 0; i < width * height; ++i) {
            const double s = first[i];
            planes[plane][(height - 1 - i / width) * width + i % width] =
                !(s > low) ? 0 : s >= high ? 255 : std::uint8_t(int((s - low) / (high - low) * 255.0));
        }
    }
    return bmp(width, planes);
}

// The first HDU with image data is taken; a plane whose levels span nothing
// renders all the same with a warning.
TEST_F(ProgramTest, FitsBecomesTheBmpOfItsFirstImage) {
    const Hdu empty{{}, {}}, binary{{}, {}, BINARY_TBL}, ascii{{}, {}, ASCII_TBL};
    const std::map<std::string, double> colourLevels = {{"LEVMIN1", 10}, {"LEVMAX1", 100}, {"LEVMIN2", -5.5},
                                                        {"LEVMAX2", 250.25}, {"LEVMIN3", 60}, {"LEVMAX3", 70}};
    const std::string warn = "dirira: @: warning: ";
    struct Case {
        const char *name;
        std::vector<Hdu> hdus;
        std::string warnings;
    } const cases[] = {
        {"gray with levels", {{{7, 5}, {{"LEVMIN1", 12.5}, {"LEVMAX1", 200.25}}}}, ""},
        {"NAXIS3 1, no levels", {{{6, 4, 1}, {}}}, ""},
        {"colour with levels", {{{5, 3, 3}, colourLevels}}, ""},
        {"colour, LEVMAX3 missing", {{{4, 4, 3}, {{"LEVMIN1", 3}, {"LEVMAX1", 99}, {"LEVMIN3", 50}}}}, ""},
        {"after a binary table", {empty, binary, {{3, 4}, {{"LEVMIN1", 0}, {"LEVMAX1", 128}}}}, ""},
        {"after an ASCII table and no data", {empty, ascii, {{0, 3}, {}}, {{5, 2}, {}}}, ""},
        {"LEVMIN above LEVMAX", {{{3, 3}, {{"LEVMIN1", 150}, {"LEVMAX1", 90}}}},
         warn + "LEVMIN1 150 is not below LEVMAX1 90: samples above 150 render white, the rest black\n"},
        {"LEVMIN at LEVMAX", {{{2, 3, 3}, {{"LEVMIN2", 100.5}, {"LEVMAX2", 100.5}}}},
         warn + "LEVMIN2 100.5 is not below LEVMAX2 100.5: samples above 100.5 render white, the rest black\n"},
        {"constant", {{{4, 3, 3}, {}, IMAGE_HDU, 42.5f}},
         warn + "every sample of plane 1 is 42.5: it renders black\n" + warn +
             "every sample of plane 2 is 42.5: it renders black\n" + warn +
             "every sample of plane 3 is 42.5: it renders black\n"},
        {"one pixel", {{{1, 1}, {}, IMAGE_HDU, -7}}, warn + "every sample of plane 1 is -7: it renders black\n"},
        {"nothing defined", {{{2, 1}, {}, IMAGE_HDU, NAN}}, warn + "plane 1 has no defined sample: it renders black\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::vector<float>> samples;
        const std::string in = dir_.file("in.fits"), out = dir_.file("out.bmp");
        std::remove(in.c_str());
        write_fits(in, c.hdus, samples);
        const Outcome run = program({"convert", in, out});
        EXPECT_EQ(run.code, 0);
        EXPECT_EQ(run.out, "");
        std::string warnings = c.warnings;
        for (std::size_t at; (at = warnings.find('@')) != std::string::npos;)
            warnings.replace(at, 1, in);
        EXPECT_EQ(run.err, warnings);
        EXPECT_EQ(text(testing_support::read_file(out)), text(rendered(c.hdus.back(), samples.back())));
    }
}

TEST_F(ProgramTest, FitsWithoutAGrayOrColourImageIsRefused) {
    const std::string noImage = "not a gray or three-plane colour image";
    struct Case {
        const char *name;
        std::vector<Hdu> hdus;  // none: no file
        std::string why;
    } const cases[] = {
        {"one axis", {{{4}, {}}}, noImage},
        {"two planes", {{{2, 2, 2}, {}}}, noImage},
        {"four axes", {{{2, 2, 1, 1}, {}}}, noImage},
        {"tables only", {{{}, {}, BINARY_TBL}}, "no image in the file"},
        {"absent", {}, "could not open the named file"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string in = dir_.file(std::string(c.name) + ".fits");
        std::vector<std::vector<float>> samples;
        if (!c.hdus.empty())
            write_fits(in, c.hdus, samples);
        const Outcome run = program({"convert", in, dir_.file("out.bmp")});
        EXPECT_EQ(run.code, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "dirira: " + in + ": " + c.why + "\n");
        EXPECT_FALSE(std::filesystem::exists(dir_.file("out.bmp")));
    }
    const Outcome both = program({"convert", "a.fits", "b.fts"});
    EXPECT_EQ(both.err, "dirira: a.fits: convert with FITS goes from BMP to FITS or from FITS to BMP\n");
    EXPECT_EQ(both.code, 1);
}

TEST_F(ProgramTest, FitsInfoPrintsTheHeaderOfEveryHdu) {
    const std::string path = dir_.file("tables.fits");
    std::vector<std::vector<float>> samples;
    write_fits(path, {{{}, {}, ASCII_TBL}, {{}, {}, BINARY_TBL}, {{3, 2, 3}, {}}}, samples);
    const Outcome run = program({"fits-info", path});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "HDU 1: primary\n  BITPIX 16, NAXIS 0\n"
                       "HDU 2: TABLE, EXTNAME 'STARS'\n  BITPIX 8, NAXIS 2: 10 x 2\n  TFIELDS 1\n"
                       "  column 1: TTYPE 'FLUX', TFORM 'E10.4', TUNIT '', TBCOL 1\n"
                       "HDU 3: BINTABLE, EXTNAME 'STARS'\n  BITPIX 8, NAXIS 2: 4 x 2\n  TFIELDS 1\n"
                       "  column 1: TTYPE 'FLUX', TFORM 'E10.4', TUNIT ''\n"
                       "HDU 4: IMAGE\n  BITPIX -32, NAXIS 3: 3 x 2 x 3\n");
    const Outcome absent = program({"fits-info", dir_.file("absent.fits")});
    EXPECT_EQ(absent.code, 1);
    EXPECT_EQ(absent.err, "dirira: " + dir_.file("absent.fits") + ": could not open the named file\n");
}

}  // namespace
