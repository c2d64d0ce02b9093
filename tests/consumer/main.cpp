// Links against an installed dirira and uses it as an application would:
// reads a BMP file into an image, and finds the format name it recorded
// through the framework's resource chain, where loading the library
// registered its string table.
//
//   consumer FILE.bmp
#include <dirira/dirira.h>

#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
    if (argc != 2)
        return 2;
    CStlImage image;
    const int status = CBmp::Read(&image, argv[1], NULL, NULL);
    CString uncompressed;
    uncompressed.LoadString(IDS_FORMAT_BMP);
    std::printf("status %d: %d x %d x %d, %s; 7001 %s\n", status, image.GetWidth(), image.GetHeight(),
                image.GetPlanes(), image.GetOrgFileFormat(), static_cast<LPCSTR>(uncompressed));
    const bool ok = status == 0 && std::strcmp(image.GetOrgFileFormat(), "BMP (無圧縮)") == 0 &&
                    std::strcmp(uncompressed, "BMP (無圧縮)") == 0;
    return ok ? 0 : 1;
}
