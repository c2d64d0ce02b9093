// Every fault point (seam call) of the program's conversions, BMP to BMP, BMP to FITS, FITS to BMP, paging or not:
// a faulted run exits 0 with the fault-free output (or any, when the failed call is the pixels' read, which the
// library does not examine), or 1 with the previous output; no temporary file left, nothing more held.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/dib_bytes.h"
#include "support/fault_sweep.h"
#include "support/temp_dir.h"
#include "tools/dirira/commands.h"

#ifndef _WIN32
namespace {

using Bytes = std::vector<std::uint8_t>;

int quiet_run(std::vector<std::string> args) {
    std::vector<char *> argv{const_cast<char *>("dirira"), const_cast<char *>("convert"), const_cast<char *>("-q")};
    for (std::string &arg : args)
        argv.push_back(arg.data());
    testing::internal::CaptureStderr();
    const int code = dirira_tool::run(int(argv.size()), argv.data());
    return testing::internal::GetCapturedStderr(), code;
}

// A 24-bit picture of 1024 x 600, so that a budget of one slot pages (its planes are two blocks each), and its
// FITS file as the program writes it.
struct ConvertSweep : testing::Test {
    void SetUp() override {
        testing_support::Bytes file =
            testing_support::file_header(54 + 1024 * 600 * 3, 54)
                .append(testing_support::info_header(1024, 600, 24, BI_RGB, 0, 1024 * 600 * 3, 0));
        for (std::uint32_t i = 0; i < 1024 * 600 * 3; ++i)
            file.u8(std::uint8_t(i * 2654435761u >> 24));
        ASSERT_EQ(quiet_run({dir_.write("in.bmp", file), fits_}), 0);
    }
    void TearDown() override { quiet_run({"--memory", "0", bmp_, dir_.file("reset.bmp")}); }
    std::size_t files() const {
        return std::size_t(std::distance(std::filesystem::directory_iterator(dir_.path()), {}));
    }

    Bytes sweep(const char *name, const std::vector<std::string> &args) { // the fault-free output
        const Bytes previous = {'o', 'l', 'd'};
        const std::string &output = args.back(), base = output.substr(output.rfind('/') + 1);
        const std::size_t before = (dir_.write(base, previous), files());
        const testing_support::Holdings held;
        Bytes clean;
        int code = -1;
        const std::string counts = testing_support::SweepSeams(
            [&] { dir_.write(base, previous), code = quiet_run(args); },
            [&](const char *seam, int k) {
                const Bytes now = testing_support::read_file(output);
                clean = seam ? clean : now;
                const bool lossy = seam && std::string(seam) == "ReadFile"; // the pixels' read, not examined
                EXPECT_TRUE((code == 0 && (now == clean || lossy)) || (code == 1 && now == previous))
                    << name << ", " << (seam ? seam : "") << " " << k << ": exit " << code;
                EXPECT_TRUE(files() == before && testing_support::Holdings() == held)
                    << name << ", " << (seam ? seam : "") << " " << k << ": files or holdings";
            });
        return std::printf("%s: %s\n", name, counts.c_str()), clean;
    }

    testing_support::TempDir dir_;
    const std::string bmp_ = dir_.file("in.bmp"), fits_ = dir_.file("in.fits"), outBmp_ = dir_.file("out.bmp"),
                      outFits_ = dir_.file("out.fits");
};

TEST_F(ConvertSweep, FailedConversionsLeaveThePreviousOutputAndNothingElse) {
    const Bytes direct = sweep("BMP to BMP", {bmp_, outBmp_}), toFits = sweep("BMP to FITS", {bmp_, outFits_});
    EXPECT_EQ(sweep("BMP to FITS, paging", {"--memory", "1", bmp_, outFits_}), toFits);
    EXPECT_EQ(sweep("FITS to BMP", {fits_, outBmp_}), direct);
    EXPECT_EQ(sweep("BMP to BMP, paging", {"--memory", "1", bmp_, outBmp_}), direct);
    EXPECT_EQ(sweep("FITS to BMP, paging", {"--memory", "1", fits_, outBmp_}), direct);
}

} // namespace
#endif
