// The one file a fuzz target writes each input to, for the entry points
// that take a path. In /dev/shm where it exists: a file system in memory
// costs a fraction of a disk's per write, which a target pays on every
// input. The target keeps the file open and writes each input over the
// last (an open and a close per input were a tenth of a short run), and
// removes it when it exits, so that runs leave nothing behind.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace fuzz_support {

class ScratchFile {
public:
    explicit ScratchFile(const char *extension)
        : m_path(std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/dirira-fuzz-" +
                 std::to_string(getpid()) + extension) {}
    ~ScratchFile() {
        if (m_fd >= 0)
            close(m_fd);
        unlink(m_path.c_str());
    }
    ScratchFile(const ScratchFile &) = delete;
    ScratchFile &operator=(const ScratchFile &) = delete;

    const std::string &path() const { return m_path; }

    const std::string &write(const std::uint8_t *data, std::size_t size) {
        if (m_fd < 0)
            m_fd = open(m_path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        if (m_fd < 0 || pwrite(m_fd, data, size, 0) != static_cast<ssize_t>(size) ||
            ftruncate(m_fd, static_cast<off_t>(size)) != 0)
            std::abort();
        return m_path;
    }

private:
    std::string m_path;
    int m_fd = -1;
};

// The target's scratch file; every target uses one extension.
inline ScratchFile &scratch_file(const char *extension) {
    static ScratchFile file(extension);
    return file;
}

inline const std::string &scratch_path(const char *extension) { return scratch_file(extension).path(); }

// Writes the input to the scratch file; returns its path.
inline const std::string &write_scratch(const std::uint8_t *data, std::size_t size, const char *extension) {
    return scratch_file(extension).write(data, size);
}

} // namespace fuzz_support
