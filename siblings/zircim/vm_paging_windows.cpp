// vm_paging.h on Windows: VirtualAlloc for slot memory, a delete-on-close
// temporary file as the swap file, reached through a C runtime descriptor so
// that the store keeps one descriptor type on every platform.
#include "siblings/zircim/vm_paging.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>

namespace zircim {

namespace {

// ReadFile and WriteFile move at most a DWORD at a time.
constexpr std::size_t kLargestTransfer = 1u << 30;

OVERLAPPED at_offset(long long offset) {
    OVERLAPPED position = {};
    position.Offset = static_cast<DWORD>(offset);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return position;
}

HANDLE handle_of(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

// transfer(done, chunk, &moved, &position) moves one positioned chunk.
template <typename Transfer> bool transfer_all(Transfer transfer, std::size_t bytes, long long offset) {
    std::size_t done = 0;
    while (done < bytes) {
        const DWORD chunk = static_cast<DWORD>(std::min(bytes - done, kLargestTransfer));
        OVERLAPPED position = at_offset(offset + static_cast<long long>(done));
        DWORD moved = 0;
        if (!transfer(done, chunk, &moved, &position) || moved == 0)
            return false;
        done += moved;
    }
    return true;
}

} // namespace

std::size_t page_bytes() {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    return system.dwPageSize;
}

// Large pages need a privilege that ordinary processes lack; the huge
// request is served by ordinary pages, which VirtualAlloc aligns to 64 KiB.
unsigned char *map_table(std::size_t bytes) {
    return static_cast<unsigned char *>(VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
}

void unmap_table(unsigned char *memory, std::size_t /*bytes*/) {
    if (memory != nullptr)
        VirtualFree(memory, 0, MEM_RELEASE);
}

unsigned char *map_zeroed(std::size_t bytes, bool /*huge*/) {
    return static_cast<unsigned char *>(VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
}

void unmap(unsigned char *memory, std::size_t /*bytes*/) {
    if (memory != nullptr)
        VirtualFree(memory, 0, MEM_RELEASE);
}

int open_swap_file() {
    char directory[MAX_PATH + 1];
    char name[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof directory, directory);
    if (length == 0 || length > MAX_PATH || GetTempFileNameA(directory, "zir", 0, name) == 0)
        return -1;
    const HANDLE file = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DeleteFileA(name);
        return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
    if (fd < 0)
        CloseHandle(file);
    return fd;
}

void close_swap_file(int fd) {
    if (fd >= 0)
        _close(fd); // closes the handle, which deletes the file
}

bool write_at(int fd, const unsigned char *data, std::size_t bytes, long long offset) {
    return transfer_all(
        [&](std::size_t done, DWORD chunk, DWORD *moved, OVERLAPPED *position) {
            return WriteFile(handle_of(fd), data + done, chunk, moved, position);
        },
        bytes, offset);
}

bool read_at(int fd, unsigned char *data, std::size_t bytes, long long offset) {
    return transfer_all(
        [&](std::size_t done, DWORD chunk, DWORD *moved, OVERLAPPED *position) {
            return ReadFile(handle_of(fd), data + done, chunk, moved, position);
        },
        bytes, offset);
}

unsigned long long physical_memory_bytes() {
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : 0;
}

} // namespace zircim
