// dirira: the command-line face of the library.
#include <cstdio>
#include <cstring>

#include "tools/dirira/commands.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: dirira info FILE.bmp   what reading the file gives\n"
                 "       dirira about           the library's version and format names\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 3 && std::strcmp(argv[1], "info") == 0)
        return dirira_tool::info(argv[2]);
    if (argc == 2 && std::strcmp(argv[1], "about") == 0)
        return dirira_tool::about();
    return usage();
}
