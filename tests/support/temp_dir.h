// A scratch folder that disappears with the test, and whole-file helpers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }
    // Writes `bytes` to a new file in the folder and returns its path.
    std::string write(const std::string &name, const std::vector<std::uint8_t> &bytes) const;

private:
    std::string path_;
};

std::vector<std::uint8_t> read_file(const std::string &path);

}  // namespace testing_support
