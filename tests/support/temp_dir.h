// A scratch folder that disappears with the test, and whole-file helpers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace testing_support {

class TempDir {
public:
    // A fresh random name each try: create_directory is false only when the
    // name is taken. (std::filesystem, not mkdtemp: Windows has none.)
    TempDir() {
        std::random_device entropy;
        do
            path_ = (std::filesystem::temp_directory_path() / ("dirira-test-" + std::to_string(entropy()))).string();
        while (!std::filesystem::create_directory(path_));
    }
    ~TempDir() {
        namespace fs = std::filesystem;
        std::error_code ignored;
        // Files a test made read-only must still go.
        for (const auto &entry : fs::recursive_directory_iterator(path_, ignored))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path_, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }
    // Writes `bytes` to a new file in the folder and returns its path.
    std::string write(const std::string &name, const std::vector<std::uint8_t> &bytes) const {
        const std::string full = file(name);
        std::ofstream out(full, std::ios::binary | std::ios::trunc);
        if (!out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size())))
            throw std::runtime_error("cannot write " + full);
        return full;
    }

private:
    std::string path_;
};

inline std::vector<std::uint8_t> read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace testing_support
