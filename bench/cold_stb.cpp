// The stb peer of the whole-process benchmark (scripts/bench-cold.sh): a
// BMP file read with stb_image and written again with stb_image_write, the
// two calls a user reaching for a small header-only library would make.
//
//   cold_stb IN.bmp OUT.bmp
//
// stb_image keeps a file's channels (a gray-table file comes back as three),
// and stb_image_write writes 24 bits for them; it reads no RLE8.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image.h>
#include <stb_image_write.h>

#include <cstdio>

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: cold_stb IN.bmp OUT.bmp\n");
        return 2;
    }
    int width = 0, height = 0, channels = 0;
    stbi_uc *pixels = stbi_load(argv[1], &width, &height, &channels, 0);
    if (pixels == nullptr) {
        std::fprintf(stderr, "cold_stb: %s: %s\n", argv[1], stbi_failure_reason());
        return 1;
    }
    const int written = stbi_write_bmp(argv[2], width, height, channels, pixels);
    stbi_image_free(pixels);
    if (!written) {
        std::fprintf(stderr, "cold_stb: %s: cannot write\n", argv[2]);
        return 1;
    }
    return 0;
}
