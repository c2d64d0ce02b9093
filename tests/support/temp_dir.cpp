#include "support/temp_dir.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace testing_support {

// A fresh random name each try: create_directory is false only when the
// name is taken. (std::filesystem, not mkdtemp: Windows has none.)
TempDir::TempDir() {
    std::random_device entropy;
    for (;;) {
        const std::filesystem::path candidate =
            std::filesystem::temp_directory_path() / ("dirira-test-" + std::to_string(entropy()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate.string();
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Files a test made read-only must still go.
    for (const auto &entry : std::filesystem::recursive_directory_iterator(path_, ignored))
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::write(const std::string &name, const std::vector<std::uint8_t> &bytes) const {
    const std::string full = file(name);
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + full);
    return full;
}

std::vector<std::uint8_t> read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace testing_support
