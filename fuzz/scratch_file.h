// The one file a fuzz target writes each input to, for the entry points
// that take a path. In /dev/shm where it exists: a file system in memory
// costs a fraction of a disk's per open, write and close, which a target
// pays on every input.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz_support {

inline const std::string &scratch_path(const char *extension) {
    static const std::string path = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                    "/dirira-fuzz-" + std::to_string(getpid()) + extension;
    return path;
}

// Writes the input to the scratch file; returns its path.
inline const std::string &write_scratch(const std::uint8_t *data, std::size_t size, const char *extension) {
    const std::string &path = scratch_path(extension);
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    return path;
}

}  // namespace fuzz_support
