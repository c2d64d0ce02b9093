#include "support/temp_dir.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testing_support {

// A fresh random name each try: create_directory is false only when the
// name is taken. (std::filesystem, not mkdtemp: Windows has none.)
TempDir::TempDir() {
    std::random_device entropy;
    fs::path candidate;
    do candidate = fs::temp_directory_path() / ("dirira-test-" + std::to_string(entropy()));
    while (!fs::create_directory(candidate));
    path_ = candidate.string();
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Files a test made read-only must still go.
    for (const auto &entry : fs::recursive_directory_iterator(path_, ignored))
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

std::string TempDir::write(const std::string &name, const std::vector<std::uint8_t> &bytes) const {
    const std::string full = file(name);
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + full);
    return full;
}

std::vector<std::uint8_t> read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace testing_support
