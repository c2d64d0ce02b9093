// The command line of the dirira program: which subcommand runs, with what.
//
// Exit statuses: 0 success; 1 a file could not be read or written (each
// named on standard error); 2 a command line the program does not take, or
// an output it refuses before reading anything (an input, or a name that
// says another format).
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/dirira/commands.h"
#include "tools/dirira/fits.h"

namespace {

constexpr char kVersion[] = "dirira 2.1 (library 2.0.1.1)";

constexpr char kUsage[] = "usage: dirira info FILE.bmp        what reading the file gives (--histogram, --json,\n"
                          "                                   --allow-short, --max-pixels N)\n"
                          "       dirira about                the library's version and format names\n"
                          "       dirira fits-info FILE.fits  the header of every HDU\n"
                          "       dirira preview [OPTIONS] IN OUT.png   a quicklook picture of a BMP or FITS image\n"
                          "       dirira convert [OPTIONS] IN OUT\n"
                          "       dirira convert [OPTIONS] IN... -o DIR --to fits|bmp\n"
                          "       dirira --version | --help | COMMAND --help\n";

constexpr char kConvertHelp[] = "usage: dirira convert [OPTIONS] IN OUT\n"
                                "       dirira convert [OPTIONS] IN... -o DIR --to fits|bmp\n"
                                "Reads BMP files of every header version (and FITS) and writes BMP or FITS,\n"
                                "chosen by the extension (.fits .fit .fts); an output is replaced only when\n"
                                "it is complete and on disk.\n"
                                "  -o DIR          write each input as DIR/NAME.fits or DIR/NAME.bmp\n"
                                "  --to fits|bmp   the format of the outputs in DIR\n"
                                "  --compress gzip|rice|none   FITS outputs in DIR: NAME.fits.gz, NAME.fits.fz\n"
                                "                  (lossless tile compression) or NAME.fits; a single\n"
                                "                  output's name decides (.fits.gz, .fz, .fits)\n"
                                "  --skip-existing keep outputs no older than their inputs (a rerun converts\n"
                                "                  what a run that died left undone)\n"
                                "  --shard K/N     with -o DIR: task K of N of a job array (input i goes to\n"
                                "                  task i mod N + 1)\n"
                                "  --bitpix B      FITS outputs: BITPIX 8, 16, 32, -32 or -64 (default: the\n"
                                "                  smallest that holds every sample exactly)\n"
                                "FITS inputs:\n"
                                "  --hdu N         the image of HDU N (default: the first holding one)\n"
                                "  --plane N       plane N of a cube alone, as a gray picture\n"
                                "  --stretch minmax|percentile:LO,HI|zscale|asinh   display levels (default:\n"
                                "                  the file's LEVMINn/LEVMAXn, 0..255 for bytes, else zscale)\n"
                                "  --levels LO,HI  these display levels for every plane\n"
                                "  --per-plane-levels   stretch each plane of a colour cube alone\n"
                                "  -j N            convert N files at once (default 1)\n"
                                "  --memory SIZE   memory the image may take before it pages to a swap file,\n"
                                "                  e.g. 512M or 4G (default: half of physical memory)\n"
                                "  -q, --quiet     no progress bar on a terminal\n"
                                "  --allow-short   read a BMP file cut short, its missing pixels as 0, with a\n"
                                "                  warning (refused by default)\n"
                                "  --max-pixels N  refuse pictures of more than N pixels (default 89478485;\n"
                                "                  0: no ceiling)\n"
                                "Exit status: 0 all converted, 1 a file failed (each is named), 2 usage, an\n"
                                "output that is an input, or an output named for another format.\n";

constexpr char kPreviewHelp[] = "usage: dirira preview [OPTIONS] IN OUT.png\n"
                                "A quicklook PNG of a BMP or FITS image: reduced by block averaging to fit\n"
                                "the size, display levels chosen by the stretch, rendered by the library's\n"
                                "display mapping. Prints the levels chosen.\n"
                                "  --stretch minmax|percentile:LO,HI|zscale|asinh   (default zscale)\n"
                                "  --levels LO,HI  these display levels for every plane\n"
                                "  --per-plane-levels   stretch each plane of a colour image alone\n"
                                "  --plane N       plane N (from 1) alone, in gray (of a FITS cube: any plane)\n"
                                "  --hdu N         the image of HDU N of a FITS file\n"
                                "  --colour        the three planes of a colour image (its default)\n"
                                "  --size WxH      the largest picture (default 1024x1024)\n"
                                "  --allow-short, --max-pixels N   as for convert\n";

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

int usage_error(const std::string &why) {
    std::fprintf(stderr, "dirira: %s\n", why.c_str());
    return usage();
}

bool parse_size(const char *text, unsigned long long &bytes) {
    char *end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (end == text || errno != 0 || text[0] == '-')
        return false;
    const std::string unit(end);
    const int shift = unit.empty() ? 0 : unit == "K" ? 10 : unit == "M" ? 20 : unit == "G" ? 30 : unit == "T" ? 40 : -1;
    if (shift < 0 || value > (~0ull >> shift))
        return false;
    bytes = value << shift;
    return bytes != 0;
}

bool parse_bitpix(const char *text, int &bitPix) {
    for (const char *known : {"8", "16", "32", "-32", "-64"})
        if (std::strcmp(text, known) == 0)
            return (bitPix = std::atoi(text)), true;
    return false;
}

// `--name VALUE` or `--name=VALUE` at argv[i]; i moves past what it took.
bool option_value(int argc, char **argv, int &i, const char *name, const char *&value) {
    const std::size_t length = std::strlen(name);
    if (std::strncmp(argv[i], name, length) != 0)
        return false;
    if (argv[i][length] == '=')
        value = argv[i] + length + 1;
    else if (argv[i][length] == '\0' && i + 1 < argc)
        value = argv[++i];
    else if (argv[i][length] == '\0')
        value = "";
    else
        return false;
    return true;
}

// --allow-short and --max-pixels N, which every command that reads a BMP
// file takes: 1 when argv[i] was one (i moved past its value), 0 when it was
// not, 2 after a usage error.
int read_limit_option(int argc, char **argv, int &i, bmpfile::ReadLimits &limits) {
    const char *value = nullptr;
    if (std::strcmp(argv[i], "--allow-short") == 0) {
        limits.allowShort = true;
        return 1;
    }
    if (!option_value(argc, argv, i, "--max-pixels", value))
        return 0;
    char *end = nullptr;
    errno = 0;
    limits.maxPixels = std::strtoull(value, &end, 10);
    if (end == value || *end != '\0' || errno != 0 || value[0] == '-')
        return usage_error(std::string("--max-pixels wants a number of pixels (0: no ceiling), not '") + value + "'");
    return 1;
}

// A number counted from 1 (an HDU, a plane).
bool parse_ordinal(const char *text, int &ordinal) {
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || value < 1 || value > 999999)
        return false;
    ordinal = int(value);
    return true;
}

// "LO,HI", two finite numbers, LO below HI.
bool parse_levels(const char *text, dirira_tool::Levels &levels) {
    char *end = nullptr;
    const double low = std::strtod(text, &end);
    if (end == text || *end != ',')
        return false;
    const char *second = end + 1;
    const double high = std::strtod(second, &end);
    if (end == second || *end != '\0' || !std::isfinite(low) || !std::isfinite(high) || !(low < high))
        return false;
    levels = {low, high};
    return true;
}

// The options that choose a FITS image's display levels and which image it
// is, shared by convert and preview; false when argv[i] is none of them, or
// after saying (exit status 2) what is wrong with its value.
bool display_option(int argc, char **argv, int &i, dirira_tool::FitsOptions &o, int &status) {
    const char *value = nullptr;
    status = 0;
    if (std::strcmp(argv[i], "--per-plane-levels") == 0) {
        o.perPlane = true;
    } else if (option_value(argc, argv, i, "--stretch", value)) {
        o.stretchGiven = dirira_tool::parse_stretch(value, o.stretch);
        if (!o.stretchGiven)
            status = usage_error(std::string("--stretch wants minmax, percentile:LO,HI, zscale or asinh, not '") +
                                 value + "'");
    } else if (option_value(argc, argv, i, "--levels", value)) {
        o.levelsGiven = parse_levels(value, o.levels);
        if (!o.levelsGiven)
            status = usage_error(std::string("--levels wants LOW,HIGH, LOW below HIGH, not '") + value + "'");
    } else if (option_value(argc, argv, i, "--hdu", value)) {
        if (!parse_ordinal(value, o.selection.hdu))
            status = usage_error(std::string("--hdu wants an HDU number from 1, not '") + value + "'");
    } else if (option_value(argc, argv, i, "--plane", value)) {
        if (!parse_ordinal(value, o.selection.plane))
            status = usage_error(std::string("--plane wants a plane number from 1, not '") + value + "'");
    } else {
        return false;
    }
    return true;
}

std::string lower_case(std::string text) {
    for (char &c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// "K/N", 1 <= K <= N: a job array's task K of N.
bool parse_shard(const char *text, int &shard, int &shards) {
    char slash = 0, rest = 0;
    return std::sscanf(text, "%d%c%d%c", &shard, &slash, &shards, &rest) == 3 && slash == '/' && shard >= 1 &&
           shard <= shards;
}

// Whether a single output's name says the compression --compress asks for.
bool names_compression(const char *output, const std::string &compress) {
    using dirira_tool::FitsCompression;
    const FitsCompression named =
        dirira_tool::is_fits_path(output) ? dirira_tool::fits_compression_of(output) : FitsCompression::kNone;
    return dirira_tool::is_fits_path(output) && named == (compress == "gzip"   ? FitsCompression::kGzip
                                                          : compress == "rice" ? FitsCompression::kTiles
                                                                               : FitsCompression::kNone);
}

int convert_command(int argc, char **argv) {
    dirira_tool::ConvertOptions options;
    for (int i = 2; i < argc; ++i) {
        const char *value = nullptr;
        int status = 0;
        const int limit = read_limit_option(argc, argv, i, options.limits);
        if (limit != 0) {
            if (limit == 2)
                return 2;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kConvertHelp, stdout);
            return 0;
        } else if (display_option(argc, argv, i, options.fits, status)) {
            if (status != 0)
                return status;
        } else if (std::strcmp(argv[i], "--quiet") == 0 || std::strcmp(argv[i], "-q") == 0) {
            options.quiet = true;
        } else if (option_value(argc, argv, i, "-o", value)) {
            options.directory = value;
        } else if (option_value(argc, argv, i, "--to", value)) {
            options.to = lower_case(value);
        } else if (std::strcmp(argv[i], "--skip-existing") == 0) {
            options.skipExisting = true;
        } else if (option_value(argc, argv, i, "--shard", value)) {
            if (!parse_shard(value, options.shard, options.shards))
                return usage_error(std::string("--shard wants K/N, 1 <= K <= N, not '") + value + "'");
        } else if (option_value(argc, argv, i, "--compress", value)) {
            options.compress = value;
            if (options.compress != "gzip" && options.compress != "rice" && options.compress != "none")
                return usage_error(std::string("--compress wants gzip, rice or none, not '") + value + "'");
        } else if (option_value(argc, argv, i, "-j", value)) {
            options.jobs = std::atoi(value);
            if (options.jobs < 1 || options.jobs > 1024)
                return usage_error(std::string("-j wants a number of jobs from 1 to 1024, not '") + value + "'");
        } else if (option_value(argc, argv, i, "--bitpix", value)) {
            if (!parse_bitpix(value, options.fits.bitPix))
                return usage_error(std::string("--bitpix wants 8, 16, 32, -32 or -64, not '") + value + "'");
        } else if (option_value(argc, argv, i, "--memory", value)) {
            if (!parse_size(value, options.memory))
                return usage_error(std::string("--memory wants a size such as 512M or 4G, not '") + value + "'");
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            return usage_error(std::string("convert has no option ") + argv[i]);
        } else {
            options.inputs.push_back(argv[i]);
        }
    }
    if (options.directory.empty()) {
        if (options.inputs.size() != 2 || !options.to.empty())
            return usage_error("convert wants IN OUT, or inputs with -o DIR --to fits|bmp");
        options.output = options.inputs.back();
        options.inputs.pop_back();
        if (options.shards != 0)
            return usage_error("--shard is for batches (-o DIR)");
        if (!options.compress.empty() && !names_compression(options.output.c_str(), options.compress))
            return usage_error("--compress " + options.compress + " does not match the name " + options.output +
                               " (.fits.gz: gzip, .fz: rice, .fits: none)");
    } else if (options.inputs.empty() || (options.to != "fits" && options.to != "bmp")) {
        return usage_error("convert -o DIR wants inputs and --to fits or --to bmp");
    } else if (!options.compress.empty() && options.to != "fits") {
        return usage_error("--compress is for FITS outputs");
    }
    return dirira_tool::convert(options);
}

int preview_command(int argc, char **argv) {
    dirira_tool::PreviewOptions options;
    dirira_tool::FitsOptions display;
    std::vector<std::string> files;
    for (int i = 2; i < argc; ++i) {
        const char *value = nullptr;
        int status = 0;
        const int limit = read_limit_option(argc, argv, i, options.limits);
        if (limit != 0) {
            if (limit == 2)
                return 2;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kPreviewHelp, stdout);
            return 0;
        } else if (std::strcmp(argv[i], "--colour") == 0 || std::strcmp(argv[i], "--color") == 0) {
            options.colour = true;
        } else if (display_option(argc, argv, i, display, status)) {
            if (status != 0)
                return status;
        } else if (option_value(argc, argv, i, "--size", value)) {
            char x = 0, rest = 0;
            if (std::sscanf(value, "%d%c%d%c", &options.width, &x, &options.height, &rest) != 3 || x != 'x' ||
                options.width < 1 || options.height < 1)
                return usage_error(std::string("--size wants WIDTHxHEIGHT, not '") + value + "'");
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            return usage_error(std::string("preview has no option ") + argv[i]);
        } else {
            files.push_back(argv[i]);
        }
    }
    options.stretch = display.stretch;
    options.levelsGiven = display.levelsGiven;
    options.levels = display.levels;
    options.perPlane = display.perPlane;
    options.hdu = display.selection.hdu;
    options.plane = display.selection.plane - 1;
    if (files.size() != 2)
        return usage_error("preview wants IN OUT.png");
    if (options.colour && options.plane >= 0)
        return usage_error("preview takes --plane or --colour, not both");
    options.input = files[0], options.output = files[1];
    return dirira_tool::preview(options);
}

int info_command(int argc, char **argv) {
    bool histogram = false, json = false;
    const char *path = nullptr;
    bmpfile::ReadLimits limits;
    for (int i = 2; i < argc; ++i) {
        const int limit = read_limit_option(argc, argv, i, limits);
        if (limit == 2)
            return 2;
        if (limit == 1)
            continue;
        if (std::strcmp(argv[i], "--histogram") == 0)
            histogram = true;
        else if (std::strcmp(argv[i], "--json") == 0)
            json = true;
        else if (path == nullptr && (argv[i][0] != '-' || argv[i][1] == '\0'))
            path = argv[i];
        else
            return usage();
    }
    return path == nullptr ? usage() : dirira_tool::info(path, histogram, json, limits);
}

bool asks_help(int argc, char **argv) {
    return argc == 3 && (std::strcmp(argv[2], "--help") == 0 || std::strcmp(argv[2], "-h") == 0);
}

} // namespace

namespace dirira_tool {

namespace {

int run_unguarded(int argc, char **argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0)
        return std::puts(kVersion), 0;
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0)
        return std::fputs(kUsage, stdout), 0;
    if (argc >= 2 && std::strcmp(argv[1], "convert") == 0)
        return convert_command(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "preview") == 0)
        return preview_command(argc, argv);
    if (asks_help(argc, argv))
        return std::fputs(kUsage, stdout), 0;
    if (argc >= 3 && std::strcmp(argv[1], "info") == 0)
        return info_command(argc, argv);
    if (argc == 2 && std::strcmp(argv[1], "about") == 0)
        return about();
    if (argc == 3 && std::strcmp(argv[1], "fits-info") == 0)
        return fits_info(argv[2]);
    return usage();
}

} // namespace

// Out of memory in the framework's classes ends a command with status 1,
// not with the exception; a conversion also catches it per file.
int run(int argc, char **argv) {
    try {
        return run_unguarded(argc, argv);
    } catch (CException *e) {
        e->Delete();
        std::fputs("dirira: out of memory\n", stderr);
        return 1;
    }
}

} // namespace dirira_tool
