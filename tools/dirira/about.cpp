// `dirira about`: the version block and string table of the loaded library,
// read back through the platform's resource services as any host would.
#include <cstdio>
#include <vector>

#include <dirira/dirira.h>

#include "tools/dirira/commands.h"

namespace dirira_tool {
namespace {

void print_version_field(const std::vector<char> &block, const char *translation, const char *name) {
    char query[96];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%s\\%s", translation, name);
    LPVOID value = nullptr;
    UINT length = 0;
    if (VerQueryValueA(block.data(), query, &value, &length))
        std::printf("  %-17s %s\n", name, static_cast<const char *>(value));
}

// The version block of the module file, or nothing when it has none (a
// size of 0, for which the copy fails too).
std::vector<char> version_block(const char *file) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(file, &ignored);
    std::vector<char> block(size);
    if (!GetFileVersionInfoA(file, 0, size, block.data()))
        return {};
    return block;
}

} // namespace

int about() {
    // The library registered its string table at load: the module that
    // holds the first format name is the library itself.
    const HINSTANCE library = AfxFindStringResourceHandle(IDS_FORMAT_BMP);
    char file[4096] = "";
    if (library == NULL || !GetModuleFileNameA(library, file, sizeof file)) {
        std::fprintf(stderr, "dirira: the library's resources are not registered\n");
        return 1;
    }
    std::printf("library: %s\n", file);
    const std::vector<char> block = version_block(file);
    if (!block.empty()) {
        std::printf("version block:\n");
        for (const char *name :
             {"FileDescription", "FileVersion", "ProductVersion", "InternalName", "OriginalFilename"})
            print_version_field(block, "041104b0", name);
    }
    std::printf("format names:\n");
    for (UINT id : {UINT{IDS_FORMAT_BMP}, UINT{IDS_FORMAT_BMP_RLE}}) {
        CString name;
        name.LoadString(id);
        std::printf("  %u %s\n", id, static_cast<LPCSTR>(name));
    }
    return 0;
}

} // namespace dirira_tool
