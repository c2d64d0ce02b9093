// Reads a BMP file of another header version (a V5 file, as ImageMagick
// writes them) through dirira::files, and checks that it holds the picture
// that CBmp::Read gives of the same picture in a 40-byte file; then writes
// it as a FITS file through the same library, for the caller to check.
//
//   read_every_version OTHER.bmp SAME-PICTURE-40.bmp OUT.fits
#include <dirira/files.h>
#include <dirira/fits.h>

#include <cstdio>

namespace {

bool same_samples(CStlImage &a, CStlImage &b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() || a.GetPlanes() != b.GetPlanes())
        return false;
    for (int plane = 0; plane < a.GetPlanes(); ++plane)
        for (int y = 0; y < a.GetHeight(); ++y)
            for (int x = 0; x < a.GetWidth(); ++x)
                if (a.GetPixelGrayRaw(x, y, plane) != b.GetPixelGrayRaw(x, y, plane))
                    return false;
    return true;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 4)
        return 2;
    CStlImage other, reference;
    dirira::BmpReadResult result;
    if (!dirira::read_bmp_file(argv[1], other, result)) {
        std::printf("%s: status %d: %s\n", argv[1], result.status, result.why.c_str());
        return 1;
    }
    const int status = CBmp::Read(&reference, argv[2], NULL, NULL);
    const bool same = status == 0 && same_samples(other, reference);
    std::printf("%s: %s; %s the picture of %s\n", argv[1], result.source.c_str(), same ? "holds" : "DIFFERS FROM",
                argv[2]);
    dirira::FitsWriteResult written;
    if (!dirira::write_fits_file(argv[3], other, written))
        std::printf("%s: %s\n", argv[3], written.why.c_str());
    else
        std::printf("%s: BITPIX %d\n", argv[3], written.bitPix);
    return same && written.why.empty() ? 0 : 1;
}
