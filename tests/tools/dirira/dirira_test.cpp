// The dirira program run whole, in this process, against files laid out here.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>

#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <afx_standin.h>

#include "siblings/zircim/vm_seams.h"
#include "support/dib_bytes.h"
#include "support/progress_window.h"
#include "support/temp_dir.h"
#include "support/win32_seams.h"
#include "tools/dirira/commands.h"
#include "tools/dirira/progress_bar.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Planes = std::vector<Bytes>; // gray, or red, green, blue; top row first
using testing_support::read_file;

int run(std::vector<std::string> args) {
    std::vector<char *> argv{const_cast<char *>("dirira")};
    for (std::string &arg : args)
        argv.push_back(arg.data());
    return dirira_tool::run(int(argv.size()), argv.data());
}

std::string program(const std::vector<std::string> &args) { // exit status, standard output, standard error
    const int code = (testing::internal::CaptureStdout(), testing::internal::CaptureStderr(), run(args));
    return std::to_string(code) + testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
}

std::string text(const Bytes &bytes) { return std::string(bytes.begin(), bytes.end()); }

Planes random_planes(std::mt19937 &random, int count, std::size_t samples) {
    Planes planes(std::size_t(count), Bytes(samples, 0));
    for (Bytes &plane : planes)
        std::generate(plane.begin(), plane.end(), [&random] { return std::uint8_t(random()); });
    return planes;
}

// 8-bit gray or 24-bit colour as CBmp::Write lays them out: resolution 0, grays, rows bottom-up and blue first.
Bytes bmp(int width, const Planes &planes) {
    const std::uint32_t count = std::uint32_t(planes.size()), height = std::uint32_t(planes[0].size() / width);
    const std::uint32_t entries = count == 1 ? 256 : 0, offBits = 54 + 4 * entries, stride = (width * count + 3) & ~3u;
    testing_support::Bytes out = testing_support::file_header(offBits + stride * height, offBits)
                                     .append(testing_support::info_header(width, std::int32_t(height), WORD(8 * count),
                                                                          BI_RGB, entries, stride * height, 0));
    for (std::uint32_t i = 0; i < entries; ++i)
        testing_support::rgb(out, std::uint8_t(i), std::uint8_t(i), std::uint8_t(i));
    for (int y = int(height) - 1; y >= 0; --y, out.fill(stride - width * count, 0))
        for (int i = 0; i < width * int(count); ++i)
            out.u8(planes[count - 1 - i % count][y * width + i / count]);
    return out;
}

// The program run in a child whose every fork the kernel refuses (a seccomp filter answers EAGAIN, as when the
// user's process limit is reached): its exit status and its standard error.
std::string program_refused_fork(const std::vector<std::string> &args, const std::string &log) {
    if (const pid_t child = fork(); child != 0) {
        int status = 0;
        return waitpid(child, &status, 0), std::to_string(WEXITSTATUS(status)) + text(read_file(log));
    }
    sock_filter refuse[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_clone, 2, 0), BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_clone3, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW), BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EAGAIN)};
    const sock_fprog filter{sizeof refuse / sizeof *refuse, refuse};
    std::freopen(log.c_str(), "w", stderr);
    const int code =
        prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) ? 99 : run(args);
    _exit((std::fflush(nullptr), code));
}

struct Program : testing_support::LeakCheckedTest {
    void TearDown() override { CVmImage::SetMemoryBudget(0), LeakCheckedTest::TearDown(); }
    long entries() const { return long(std::distance(std::filesystem::directory_iterator(dir_.path()), {})); }
    testing_support::TempDir dir_;
};

// The store's budget each command line sets: --memory in bytes or K, M, G, T, fractions rounded down to a byte,
// else half of physical memory split between the jobs. (What command lines say is tests/tools/interface_test.py.)
TEST_F(Program, CommandLines) {
    const std::string in = dir_.file("none.bmp");
    const unsigned long long half =
        (unsigned long long)(sysconf(_SC_PHYS_PAGES)) * (unsigned long long)(sysconf(_SC_PAGESIZE)) / 2;
    const std::pair<std::vector<std::string>, unsigned long long> budgets[] = {
        {{"--memory", "1"}, 1},
        {{"--memory", "4095"}, 4095},
        {{"--memory=3K"}, 3ull << 10},
        {{"--memory", "5M", "-j2"}, 5ull << 20},
        {{"--memory=1.5k"}, 1536},
        {{"--memory", "0.0015K"}, 1},
        {{"--memory", "7G"}, 7ull << 30},
        {{"--memory", "16777215T"}, 16777215ull << 40},
        {{}, half},
        {{"-j", "1024"}, half / 1024}};
    for (auto [args, budget] : budgets) {
        args.insert(args.begin(), {"convert", in, dir_.file("out.bmp")});
        const std::string said = program(args); // before the budget is read
        EXPECT_EQ(said + std::to_string(CVmImage::GetMemoryBudget()),
                  "1dirira: " + in + ": cannot read: No such file or directory\n" + std::to_string(budget));
    }
}

// Out of the framework's memory at each of its allocations in turn: the library's refusal, or the program's last
// resort; never a half-printed description, nothing left allocated. An output not written is left as it was. (Files
// that cannot be read, named with their cause, are tests/tools/program_cases_test.py.)
TEST_F(Program, FaultsNameTheirCauseAndLeaveTheOutputAlone) {
    const std::string in = dir_.write("in.bmp", bmp(4, {{1, 2, 3, 4}})), clean = program({"info", in});
    const long live = afx_standin::LiveAllocations();
    afx_standin::ResetAllocationAttempts();
    program({"info", in});
    for (long k = 1, attempts = afx_standin::AllocationAttempts(); k <= attempts; ++k) {
        afx_standin::FailNthAllocation(int(k));
        const std::string said = program({"info", in});
        afx_standin::ClearFaults();
        EXPECT_TRUE(said == clean || said == "1dirira: out of memory\n" ||
                    said == "1dirira: " + in + ": cannot read: status 6: " + dirira::bmp_status_message(6) + "\n")
            << k << ": " << said;
        EXPECT_EQ(afx_standin::LiveAllocations(), live) << k;
    }
    // A refused creation (the fault sweep has every other fault of the path) and a folder in the output's place.
    const std::string old = dir_.write("old.bmp", {'o', 'l', 'd'});
    std::filesystem::create_directory(dir_.file("folder"));
    for (const auto &[to, why] :
         {std::make_pair("old.bmp", "cannot write: status 2: the output file cannot be created"),
          {"folder", "Is a directory"}}) {
        win32_standin::FailNth(win32_standin::Call::CreateFileA,
                               to[0] == 'o' ? 2 : 0); // the second: the first opens the input
        const std::string said = program({"convert", in, dir_.file(to)});
        EXPECT_EQ(said + text(read_file(old)) + std::to_string(entries()),
                  "1dirira: " + dir_.file(to) + ": " + why + "; it is unchanged\nold3");
    }
}

// Where the kernel refuses every new process, each input of a parallel batch is named with the cause; without threads
// to be had, a picture big enough for two is decoded, rendered and written by one, the same. (Batches that convert
// are tests/tools/program_cases_test.py.)
TEST_F(Program, BatchesWithoutProcessesOrThreads) {
    std::mt19937 random(77);
    std::vector<std::string> inputs;
    for (int i = 0; i < 2; ++i)
        inputs.push_back(
            dir_.write("in" + std::to_string(i) + ".bmp", bmp(6, random_planes(random, 1 + 2 * i, 6 * 4))));
    const std::string cannot = ": cannot start a process: Resource temporarily unavailable\n";
    EXPECT_EQ(program_refused_fork({"convert", "-j", "2", "--to", "fits", "-o", dir_.path(), inputs[0], inputs[1]},
                                   dir_.file("log")),
              "1dirira: " + inputs[0] + cannot + "dirira: " + inputs[1] + cannot +
                  "dirira: 2 of 2 files failed: " + inputs[0] + " " + inputs[1] + "\n");
    const std::string big = dir_.write("big.bmp", bmp(800, random_planes(random, 1, 800 * 700)));
    for (const char *to : {".bmp", ".fits"}) {
        const std::string alone = dir_.file(std::string("alone") + to), two = dir_.file(std::string("two") + to);
        const std::string said = program_refused_fork({"convert", "-q", big, alone}, dir_.file("log"));
        EXPECT_EQ(said + text(read_file(alone)), "0" + text((program({"convert", big, two}), read_file(two)))) << to;
    }
}

// The caption's tail in 40 columns, 30 cells filled by whole thirtieths, redrawn when the percentage changes,
// wiped on closing.
TEST_F(Program, ProgressBarsDrawWhatTheLibraryReports) {
    const std::string c39 = "a-caption-of-thirty-nine-characters-39:", c40 = c39 + "X", c41 = "Y" + c40;
    const std::string none = "..............................]   0%", part = "####################..........]  67%";
    const std::string full = "##############################] 100%", wipe = "\r" + std::string(78, ' ') + "\r";
    const struct {
        const char *caption;
        bool enabled;
        std::string field;
    } cases[] = {{c39.c_str(), true, c39 + " "},
                 {c40.c_str(), true, c40},
                 {c41.c_str(), true, "..." + c41.substr(4)},
                 {nullptr, true, std::string(40, ' ')},
                 {c40.c_str(), false, ""}};
    for (const auto &c : cases) {
        char *drawn = nullptr;
        std::size_t size = 0;
        std::FILE *out = open_memstream(&drawn, &size); // which shows what was flushed
        std::string flushed;                            // after a close, then after a redraw
        {
            dirira_tool::ProgressBar bar(out, c.enabled);
            for (const auto &[stage, value] : std::initializer_list<std::pair<WPARAM, LPARAM>>{
                     {0, LPARAM(c.caption)}, {1, 0}, {1, 67}, {1, 67}, {1, 150}, {1, -5}, {2, 0}, {2, 0}})
                SendMessageA(bar.window(), WM_USER + 0x70, stage, value);
            flushed.assign(drawn != nullptr ? drawn : "", size);
            flushed += "|" + (SendMessageA(bar.window(), WM_USER + 0x70, 1, 67),
                              std::string(drawn != nullptr ? drawn : "", size));
        }
        const std::string line = "\r" + c.field + " [", drew = (std::fclose(out), std::string(drawn, size));
        const std::string closed = c.enabled ? line + none + line + part + line + full + line + none + wipe : "",
                          redrawn = c.enabled ? line + part : "";
        EXPECT_EQ(flushed + "|" + drew,
                  closed + "|" + closed + redrawn + "|" + closed + redrawn + (c.enabled ? wipe : ""));
        std::free(drawn);
    }
}

// Killed while writing, the program leaves the old output and no temporary file: a BMP once the library has written
// it whole (its last progress position), before the rename; any other output part way.
TEST_F(Program, AnInterruptedConversionLeavesTheOldOutput) {
    const std::function<int(const char *)> writers[] = {
        [](const char *out) {
            CStlImage image;
            int positions = (image.Create(1, 1, 1), 0);
            testing_support::ProgressWindow window([&positions](WPARAM stage) {
                if (stage == 1 && ++positions == 3)
                    raise(SIGTERM);
            });
            return dirira_tool::write_bmp(image, out, window.handle());
        },
        [](const char *out) {
            return dirira_tool::write_replacing(out, [](const char *path) {
                std::FILE *file = std::fopen(path, "wb");
                return std::fputs("half a file", file), std::fflush(file), raise(SIGTERM), std::string();
            });
        }};
    for (const auto &write : writers) {
        const std::string out = dir_.write("out", {'o', 'l', 'd'});
        const pid_t child = fork();
        if (child == 0)
            _exit(write(out.c_str()));
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_EQ(text(read_file(out)) + std::to_string(entries()) +
                      std::to_string(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM),
                  "old11");
    }
}

// The preview's own store refused: the file's picture is the first store, the preview's the second.
TEST_F(Program, APreviewWithoutMemorySaysSo) {
    const std::string one = dir_.write("one.bmp", bmp(1, {{9}, {99}, {200}}));
    zircim::FailNthSlotMapping(2);
    EXPECT_EQ(program({"preview", one, dir_.file("out.png")}), "1dirira: " + one + ": no memory for a 1 x 1 preview\n");
    zircim::FailNthSlotMapping(0);
}

} // namespace
