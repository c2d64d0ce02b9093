// The floor of `dirira convert -j N --to fits -o DIR` over a night of small
// frames (scripts/bench-program.sh): the same FITS bytes from the same BMP
// files, with the same guarantee that an output appears under its name only
// once it is whole on disk, done as cheaply as a program written for just
// this can: N worker processes, each reading its share of the files whole,
// looking 8-bit samples up in the palette, splitting 24-bit ones into
// planes, and writing one temporary file in one write; then one syncfs, the
// renames, and one fsync of the folder.
//
//   batch_floor JOBS DIR IN.bmp...
//
// Only what the benchmark gives it: the 40-byte header, bottom-up rows,
// 8-bit gray palettes and 24-bit, no compression.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kRecord = 2880;

[[noreturn]] void fail(const std::string &what) {
    std::perror(what.c_str());
    std::exit(1);
}

std::vector<unsigned char> read_whole(const std::string &path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status;
    if (fd < 0 || fstat(fd, &status) != 0)
        fail(path);
    std::vector<unsigned char> bytes(std::size_t(status.st_size));
    if (read(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size()))
        fail(path);
    close(fd);
    return bytes;
}

std::uint32_t le32(const unsigned char *at) { return at[0] | at[1] << 8 | at[2] << 16 | std::uint32_t(at[3]) << 24; }

// An 80-column card from a printf format.
template <typename... Values> std::string line80(const char *format, Values... values) {
    char line[160]; // room for any value; the card is its first 80 columns
    std::snprintf(line, sizeof line, format, values...);
    return std::string(line).append(80, ' ').substr(0, 80);
}

std::string card(const char *key, const std::string &value, const char *comment) {
    return line80("%-8s= %20s / %s", key, value.c_str(), comment);
}

std::string text(const char *key, const std::string &value, const char *comment) {
    return line80("%-8s= %-20s / %s", key,
                  ("'" + value + std::string(value.size() < 8 ? 8 - value.size() : 0, ' ') + "'").c_str(), comment);
}

std::string comment(const char *words) { return line80("COMMENT   %s", words); }

// The header dirira writes for a BMP frame at the default BITPIX.
std::string header(const std::string &name, int width, int height, int bits) {
    const int planes = bits == 24 ? 3 : 1;
    std::string h = card("SIMPLE", "T", "file does conform to FITS standard") +
                    card("BITPIX", "8", "number of bits per data pixel") +
                    card("NAXIS", planes == 3 ? "3" : "2", "number of data axes") +
                    card("NAXIS1", std::to_string(width), "length of data axis 1") +
                    card("NAXIS2", std::to_string(height), "length of data axis 2");
    if (planes == 3)
        h += card("NAXIS3", "3", "length of data axis 3");
    h += card("EXTEND", "T", "FITS dataset may contain extensions") +
         comment("FITS (Flexible Image Transport System) format is defined in 'Astronomy") +
         comment("and Astrophysics', volume 376, page 359; bibcode: 2001A&A...376..359H") +
         text("ORIGIN", "dirira", "written by the dirira program") + text("SRCFILE", name, "BMP file converted") +
         card("SRCBITS", std::to_string(bits), "bits per pixel of the BMP file");
    static const char *const colours[] = {"red", "green", "blue"};
    for (int p = 0; planes == 3 && p < 3; ++p)
        h += text(("PLANE" + std::to_string(p + 1)).c_str(), colours[p], "colour of this plane");
    for (int p = 1; p <= planes; ++p)
        h += card(("LEVMIN" + std::to_string(p)).c_str(), "0.", "display level: black") +
             card(("LEVMAX" + std::to_string(p)).c_str(), "255.", "display level: white");
    h += std::string("END").append(77, ' ');
    h.append((kRecord - h.size() % kRecord) % kRecord, ' ');
    return h;
}

std::string base_name(const std::string &path) { return path.substr(path.rfind('/') + 1); }

std::string output_of(const std::string &folder, const std::string &input) {
    const std::string name = base_name(input);
    return folder + "/" + name.substr(0, name.rfind('.')) + ".fits";
}

std::string temporary_of(const std::string &output, pid_t owner) {
    return output + ".floor-" + std::to_string(owner) + ".tmp";
}

void convert(const std::string &input, const std::string &temporary) {
    const std::vector<unsigned char> bmp = read_whole(input);
    const unsigned char *info = bmp.data() + 14;
    const int width = int(le32(info + 4)), height = int(le32(info + 8)), bits = info[14] | info[15] << 8;
    const unsigned char *rows = bmp.data() + le32(bmp.data() + 10), *palette = info + 40;
    const std::size_t stride = (std::size_t(width) * bits / 8 + 3) & ~std::size_t(3),
                      plane = std::size_t(width) * height;
    const int planes = bits == 24 ? 3 : 1;
    std::string file = header(base_name(input), width, height, bits);
    const std::size_t data = file.size();
    file.resize(data + (plane * planes + kRecord - 1) / kRecord * kRecord, '\0');
    auto *out = reinterpret_cast<unsigned char *>(&file[data]);
    for (int y = 0; y < height; ++y, rows += stride, out += width)
        if (bits == 8)
            for (int x = 0; x < width; ++x)
                out[x] = palette[4 * rows[x] + 2];
        else
            for (int x = 0; x < width; ++x) {
                out[x] = rows[3 * x + 2];
                out[plane + x] = rows[3 * x + 1];
                out[2 * plane + x] = rows[3 * x];
            }
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || write(fd, file.data(), file.size()) != ssize_t(file.size()) || close(fd) != 0)
        fail(temporary);
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 4)
        return std::fprintf(stderr, "usage: batch_floor JOBS DIR IN.bmp...\n"), 2;
    const int jobs = std::atoi(argv[1]);
    const std::string folder = argv[2];
    const std::vector<std::string> inputs(argv + 3, argv + argc);
    const pid_t owner = getpid();
    for (int job = 0; job < jobs; ++job)
        if (fork() == 0) {
            for (std::size_t i = std::size_t(job); i < inputs.size(); i += std::size_t(jobs))
                convert(inputs[i], temporary_of(output_of(folder, inputs[i]), owner));
            _exit(0);
        }
    int status = 0;
    for (int job = 0; job < jobs; ++job)
        if (wait(&status) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return 1;
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0 || syncfs(dir) != 0)
        fail(folder);
    for (const std::string &input : inputs)
        if (std::rename(temporary_of(output_of(folder, input), owner).c_str(), output_of(folder, input).c_str()) != 0)
            fail(input);
    if (fsync(dir) != 0)
        fail(folder);
    return 0;
}
