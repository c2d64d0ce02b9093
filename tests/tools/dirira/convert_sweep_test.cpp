// Every fault point of the program's conversions (BMP to BMP, BMP to FITS,
// FITS to BMP, with and without a memory budget that makes the store page):
// each runs once to count the calls every seam sees, then once per call
// with that call failing. A faulted conversion exits 0 with the very output
// of the fault-free one (another one only when the failed call is the read
// of the pixels, which the library's reader does not examine), or 1; either way the folder holds the previous
// output or the new one, never a temporary file, and the process holds
// nothing it did not hold before. The counts are printed per conversion.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cstdio>
#include <string>
#include <vector>

#include "support/fault_sweep.h"
#include "support/temp_dir.h"
#include "tools/dirira/commands.h"

#ifndef _WIN32
namespace {

using Bytes = std::vector<std::uint8_t>;

int quiet_run(std::vector<std::string> args) {
    std::vector<char *> argv{const_cast<char *>("dirira")};
    for (std::string &arg : args)
        argv.push_back(arg.data());
    testing::internal::CaptureStderr();
    const int code = dirira_tool::run(int(argv.size()), argv.data());
    testing::internal::GetCapturedStderr();
    return code;
}

std::vector<std::string> entries(const std::string &folder) {
    std::vector<std::string> names;
    if (DIR *dir = opendir(folder.c_str())) {
        while (const dirent *entry = readdir(dir))
            names.emplace_back(entry->d_name);
        closedir(dir);
    }
    return names;
}

void save(const std::string &path, const Bytes &bytes) {
    std::FILE *file = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

// A 24-bit picture of 1024 x 600, so that a budget of one slot pages (its
// planes are two blocks each); written by the program from a FITS file
// the program wrote from a BMP file.
class ConvertSweep : public testing::Test {
protected:
    void SetUp() override {
        Bytes file{'B', 'M'};
        const std::uint32_t width = 1024, height = 600, size = 54 + width * height * 3;
        auto u32 = [&file](std::uint32_t v) {
            for (int i = 0; i < 4; ++i)
                file.push_back(std::uint8_t(v >> (8 * i)));
        };
        u32(size), u32(0), u32(54), u32(40), u32(width), u32(height), u32(1 | 24 << 16), u32(0), u32(width * height * 3);
        u32(0), u32(0), u32(0), u32(0);
        for (std::uint32_t i = 0; i < width * height * 3; ++i)
            file.push_back(std::uint8_t(i * 2654435761u >> 24));
        save(bmp_, file);
        ASSERT_EQ(quiet_run({"convert", "-q", bmp_, fits_}), 0);
    }
    void TearDown() override { quiet_run({"convert", "-q", "--memory", "0", bmp_, dir_.file("reset.bmp")}); }

    // Returns the fault-free output.
    Bytes sweep(const char *name, std::vector<std::string> args, const std::string &output) {
        const Bytes previous = {'o', 'l', 'd'};
        save(output, previous);
        const std::size_t files = entries(dir_.path()).size();
        Bytes clean;
        int code = -1;
        const testing_support::Holdings before;
        const std::string counts = testing_support::SweepSeams(
            [&] {
                save(output, previous);
                code = quiet_run(args);
            },
            [&](const char *seam, int k) {
                const Bytes now = testing_support::read_file(output);
                if (seam == nullptr)
                    clean = now;
                // The library's reader does not examine its read of the pixels.
                const bool lossy = seam != nullptr && std::string(seam) == "ReadFile";
                const bool passed = code == 0 && (now == clean || lossy);
                EXPECT_TRUE(passed || (code == 1 && now == previous))
                    << name << ", " << (seam ? seam : "no fault") << " call " << k << ": exit " << code;
                EXPECT_EQ(entries(dir_.path()).size(), files) << name << ", a temporary file is left";
                EXPECT_TRUE(testing_support::Holdings() == before) << name << ", " << (seam ? seam : "") << " call " << k;
            });
        std::printf("%s: %s\n", name, counts.c_str());
        return clean;
    }

    testing_support::TempDir dir_;
    const std::string bmp_ = dir_.file("in.bmp"), fits_ = dir_.file("in.fits");
};

TEST_F(ConvertSweep, FailedConversionsLeaveThePreviousOutputAndNothingElse) {
    const std::string bmp = dir_.file("out.bmp"), fits = dir_.file("out.fits");
    const Bytes direct = sweep("BMP to BMP", {"convert", "-q", bmp_, bmp}, bmp);
    const Bytes toFits = sweep("BMP to FITS", {"convert", "-q", bmp_, fits}, fits);
    EXPECT_EQ(sweep("BMP to FITS, paging", {"convert", "-q", "--memory", "1", bmp_, fits}, fits), toFits);
    EXPECT_EQ(sweep("FITS to BMP", {"convert", "-q", fits_, bmp}, bmp), direct);
    EXPECT_EQ(sweep("BMP to BMP, paging", {"convert", "-q", "--memory", "1", bmp_, bmp}, bmp), direct);
    EXPECT_EQ(sweep("FITS to BMP, paging", {"convert", "-q", "--memory", "1", fits_, bmp}, bmp), direct);
}

// The FITS writer's own writes, refused by a file-size limit below the
// output's size (in a child process, which the limit then binds alone).
TEST_F(ConvertSweep, AFitsOutputTheDiskRefusesLeavesThePreviousOne) {
    const std::string fits = dir_.file("out.fits");
    const Bytes previous = {'o', 'l', 'd'};
    save(fits, previous);
    const std::size_t files = entries(dir_.path()).size();
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG instead of ending the process
        const rlimit limit = {1 << 20, 1 << 20};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(quiet_run({"convert", "-q", bmp_, fits}));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    EXPECT_EQ(testing_support::read_file(fits), previous);
    EXPECT_EQ(entries(dir_.path()).size(), files);
}

}  // namespace
#endif
