// Links against an installed dirira and shows that loading it registered
// the library's string table with the framework: the two format names are
// found by identifier through the resource chain.
#include <dirira/dirira.h>

#include <cstdio>
#include <cstring>

int main() {
    CString uncompressed;
    CString rle;
    uncompressed.LoadString(7001);
    rle.LoadString(7002);
    std::printf("7001 %s\n7002 %s\n", static_cast<LPCSTR>(uncompressed), static_cast<LPCSTR>(rle));
    const bool ok = std::strcmp(uncompressed, "BMP (無圧縮)") == 0 && std::strcmp(rle, "BMP (RLE圧縮)") == 0;
    return ok ? 0 : 1;
}
