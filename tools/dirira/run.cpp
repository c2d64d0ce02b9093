// The command line of the dirira program: which subcommand runs, with what.
//
// Exit statuses: 0 success; 1 a file could not be read or written (each
// named on standard error); 2 a command line the program does not take, or
// an output it refuses before reading anything (an input, or a name that
// says another format).
#include <algorithm>
#include <cctype>
#include <climits>
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

constexpr char kUsage[] = "usage: dirira info FILE...         what reading each file gives (--histogram, --json)\n"
                          "       dirira about                the library's version and format names\n"
                          "       dirira fits-info FILE.fits  the header of every HDU\n"
                          "       dirira preview [OPTIONS] IN OUT.png   a quicklook picture of a BMP or FITS image\n"
                          "       dirira convert [OPTIONS] IN OUT\n"
                          "       dirira convert [OPTIONS] IN... -o DIR --to fits|bmp\n"
                          "       dirira --version | --help | COMMAND --help\n";

constexpr char kConvertUsage[] = "usage: dirira convert [OPTIONS] IN OUT\n"
                                 "       dirira convert [OPTIONS] IN... -o DIR --to fits|bmp\n";

constexpr char kConvertHelp[] = "Reads BMP files of every header version (and FITS) and writes BMP or FITS,\n"
                                "chosen by the extension (.fits .fit .fts); an output is replaced only when\n"
                                "it is complete and on disk.\n"
                                "  -o DIR          write each input as DIR/NAME.fits or DIR/NAME.bmp (a FITS\n"
                                "                  cube of other than 1 or 3 planes: NAME-planeK.bmp each)\n"
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
                                "                  e.g. 512M, 4g or 1.5G (default: half of physical memory)\n"
                                "  -q, --quiet     no progress bar, no line for each output written\n"
                                "  --allow-short   read a BMP file cut short, its missing pixels as 0, with a\n"
                                "                  warning (refused by default)\n"
                                "  --max-pixels N  refuse pictures (FITS: planes) of more than N pixels\n"
                                "                  (default 89478485; 0: no ceiling)\n"
                                "Exit status: 0 all converted, 1 a file failed (each is named), 2 usage, an\n"
                                "output that is an input, or an output named for another format.\n";

constexpr char kPreviewUsage[] = "usage: dirira preview [OPTIONS] IN OUT.png\n";

constexpr char kPreviewHelp[] = "A quicklook PNG of a BMP or FITS image: reduced by block averaging to fit\n"
                                "the size, display levels chosen by the stretch, rendered by the library's\n"
                                "display mapping. Prints the levels chosen.\n"
                                "  --stretch minmax|percentile:LO,HI|zscale|asinh   (default zscale)\n"
                                "  --levels LO,HI  these display levels for every plane\n"
                                "  --per-plane-levels   stretch each plane of a colour image alone\n"
                                "  --plane N       plane N (from 1) alone, in gray (of a FITS cube: any plane)\n"
                                "  --hdu N         the image of HDU N of a FITS file\n"
                                "  --colour        the three planes of a colour image (its default)\n"
                                "  --size WxH      the largest picture (default 1024x1024)\n"
                                "  -q, --quiet     no line for the picture written, nor for its levels\n"
                                "  --allow-short, --max-pixels N, --memory SIZE   as for convert\n";

constexpr char kInfoUsage[] = "usage: dirira info [OPTIONS] FILE...\n";

constexpr char kInfoHelp[] = "What reading each BMP file gives: its header, format, size, samples and each\n"
                             "plane's extremes and display levels; a block for each file, headed by its name.\n"
                             "  --histogram     each plane's samples counted in 64 equal bins from its\n"
                             "                  smallest to its largest\n"
                             "  --json          one JSON object a line for each file\n"
                             "  --allow-short, --max-pixels N, --memory SIZE   as for convert\n"
                             "Exit status: 0 every file read, 1 a file could not be read, 2 usage.\n";

constexpr char kAboutUsage[] = "usage: dirira about\n";

constexpr char kAboutHelp[] = "The library's version block and the names of the formats it reads.\n";

constexpr char kFitsInfoUsage[] = "usage: dirira fits-info FILE.fits\n";

constexpr char kFitsInfoHelp[] = "The header of every HDU of a FITS file.\n";

// A command's words: the usage lines, said again after a mistake on its
// command line, and what its --help adds to them.
struct CommandHelp {
    const char *usage;
    const char *details;
};

// The arguments of one command as they are walked: argv[i] is the one at
// hand; after "--" every argument is an operand, even one that begins with
// '-' (a file named "-x").
struct CommandLine {
    int argc;
    char **argv;
    const CommandHelp &help;
    int i = 2;
    bool optionsEnded = false;

    const char *argument() const { return argv[i]; }
    bool is(const char *name) const { return std::strcmp(argv[i], name) == 0; }
};

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

int usage_error(const CommandLine &line, const std::string &why) {
    std::fprintf(stderr, "dirira: %s\n", why.c_str());
    std::fputs(line.help.usage, stderr);
    return 2;
}

// True after printing the command's help, when argv[i] asks for it.
bool help_option(const CommandLine &line) {
    if (!line.is("--help") && !line.is("-h"))
        return false;
    std::fputs(line.help.usage, stdout);
    std::fputs(line.help.details, stdout);
    return true;
}

// True when argv[i] is no option: "--" (the end of the options), or an
// operand, which joins `operands`.
bool take_operand(CommandLine &line, std::vector<std::string> &operands) {
    const char *argument = line.argument();
    if (!line.optionsEnded && line.is("--"))
        return line.optionsEnded = true;
    if (!line.optionsEnded && argument[0] == '-' && argument[1] != '\0')
        return false;
    operands.push_back(argument);
    return true;
}

int unknown_option(const CommandLine &line) {
    return usage_error(line, std::string(line.argv[1]) + " has no option " + line.argument());
}

// 1024 to the power of a size's unit, K M G T in either case; 0 for another.
double unit_multiple(const std::string &unit) {
    const std::string units = "KMGT";
    if (unit.empty())
        return 1;
    const std::size_t power =
        unit.size() == 1 ? units.find(char(std::toupper(static_cast<unsigned char>(unit[0])))) : std::string::npos;
    return power == std::string::npos ? 0 : std::ldexp(1.0, 10 * int(power + 1));
}

// A size in bytes as people write it: digits, a fraction if wanted, and a
// unit (512M, 4g, 1.5G); whole bytes, at least 1, below 2^64.
bool parse_size(const char *text, unsigned long long &bytes) {
    std::size_t digits = std::strspn(text, "0123456789");
    if (digits == 0)
        return false;
    if (text[digits] == '.')
        digits += 1 + std::strspn(text + digits + 1, "0123456789");
    const double size = std::strtod(std::string(text, digits).c_str(), nullptr) * unit_multiple(text + digits);
    if (!(size >= 1) || size >= std::ldexp(1.0, 64))
        return false;
    bytes = static_cast<unsigned long long>(size);
    return true;
}

// The value of option `name` when argv[i] is it: `--name VALUE` or
// `--name=VALUE`, and for a one-letter option `-n VALUE` or `-nVALUE`, as
// getopt takes them; i moves past what it took. A missing value is "".
bool option_value(CommandLine &line, const char *name, const char *&value) {
    const char *argument = line.argument();
    const std::size_t length = std::strlen(name);
    const bool oneLetter = name[1] != '-';
    if (std::strncmp(argument, name, length) != 0)
        return false;
    if (oneLetter && argument[length] != '\0')
        value = argument + length;
    else if (argument[length] == '=')
        value = argument + length + 1;
    else if (argument[length] != '\0')
        return false;
    else if (line.i + 1 < line.argc)
        value = line.argv[++line.i];
    else
        value = "";
    return true;
}

// --allow-short, --max-pixels N and --memory SIZE, which every command that
// reads a BMP file takes: 1 when argv[i] was one (i moved past its value), 0
// when it was not, 2 after a usage error.
int read_limit_option(CommandLine &line, bmpfile::ReadLimits &limits, unsigned long long &memory) {
    const char *value = nullptr;
    if (line.is("--allow-short")) {
        limits.allowShort = true;
        return 1;
    }
    if (option_value(line, "--memory", value))
        return parse_size(value, memory)
                   ? 1
                   : usage_error(line,
                                 std::string("--memory wants a size such as 512M, 4g or 1.5G, not '") + value + "'");
    if (!option_value(line, "--max-pixels", value))
        return 0;
    char *end = nullptr;
    errno = 0;
    limits.maxPixels = std::strtoull(value, &end, 10);
    if (end == value || *end != '\0' || errno != 0 || value[0] == '-')
        return usage_error(line,
                           std::string("--max-pixels wants a number of pixels (0: no ceiling), not '") + value + "'");
    return 1;
}

bool parse_bitpix(const char *text, int &bitPix) {
    for (const char *known : {"8", "16", "32", "-32", "-64"})
        if (std::strcmp(text, known) == 0)
            return (bitPix = std::atoi(text)), true;
    return false;
}

// A whole number from 1 to `largest`, digits alone (no sign, no space),
// read from `text` on, which is left after it. A number too long for a
// long is refused, not taken as another.
bool parse_count(const char *&text, long largest, int &value) {
    if (!std::isdigit(static_cast<unsigned char>(*text)))
        return false;
    char *end = nullptr;
    errno = 0;
    const long read = std::strtol(text, &end, 10);
    text = end;
    value = int(read);
    return errno == 0 && read >= 1 && read <= largest;
}

// `text` whole as such a number.
bool parse_whole(const char *text, long largest, int &value) {
    return parse_count(text, largest, value) && *text == '\0';
}

// A number counted from 1 (an HDU, a plane).
bool parse_ordinal(const char *text, int &ordinal) { return parse_whole(text, 999999, ordinal); }

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
bool display_option(CommandLine &line, dirira_tool::FitsOptions &o, int &status) {
    const char *value = nullptr;
    status = 0;
    if (line.is("--per-plane-levels")) {
        o.perPlane = true;
    } else if (option_value(line, "--stretch", value)) {
        o.stretchGiven = dirira_tool::parse_stretch(value, o.stretch);
        if (!o.stretchGiven)
            status = usage_error(line, std::string("--stretch wants minmax, percentile:LO,HI, zscale or asinh, not '") +
                                           value + "'");
    } else if (option_value(line, "--levels", value)) {
        o.levelsGiven = parse_levels(value, o.levels);
        if (!o.levelsGiven)
            status = usage_error(line, std::string("--levels wants LOW,HIGH, LOW below HIGH, not '") + value + "'");
    } else if (option_value(line, "--hdu", value)) {
        if (!parse_ordinal(value, o.selection.hdu))
            status = usage_error(line, std::string("--hdu wants an HDU number from 1, not '") + value + "'");
    } else if (option_value(line, "--plane", value)) {
        if (!parse_ordinal(value, o.selection.plane))
            status = usage_error(line, std::string("--plane wants a plane number from 1, not '") + value + "'");
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

// A number of conversions at once, 1 to 1024.
bool parse_jobs(const char *text, int &jobs) { return parse_whole(text, 1024, jobs); }

// "K/N", 1 <= K <= N: a job array's task K of N.
bool parse_shard(const char *text, int &shard, int &shards) {
    return parse_count(text, INT_MAX, shard) && *text++ == '/' && parse_whole(text, INT_MAX, shards) && shard <= shards;
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

// The options of convert, one at argv[i]: 1 when it was one, 0 when it was
// not, 2 after a usage error.
int convert_option(CommandLine &line, dirira_tool::ConvertOptions &options) {
    const char *value = nullptr;
    int status = read_limit_option(line, options.limits, options.memory);
    if (status != 0 || display_option(line, options.fits, status))
        return status == 0 ? 1 : status;
    if (line.is("--quiet") || line.is("-q"))
        options.quiet = true;
    else if (line.is("--skip-existing"))
        options.skipExisting = true;
    else if (option_value(line, "-o", value))
        options.directory = value;
    else if (option_value(line, "--to", value))
        options.to = lower_case(value);
    else if (option_value(line, "--shard", value))
        return parse_shard(value, options.shard, options.shards)
                   ? 1
                   : usage_error(line, std::string("--shard wants K/N, 1 <= K <= N, not '") + value + "'");
    else if (option_value(line, "--compress", value))
        return (options.compress = lower_case(value)) == "gzip" || options.compress == "rice" ||
                       options.compress == "none"
                   ? 1
                   : usage_error(line, std::string("--compress wants gzip, rice or none, not '") + value + "'");
    else if (option_value(line, "-j", value))
        return parse_jobs(value, options.jobs)
                   ? 1
                   : usage_error(line, std::string("-j wants a number of jobs from 1 to 1024, not '") + value + "'");
    else if (option_value(line, "--bitpix", value))
        return parse_bitpix(value, options.fits.bitPix)
                   ? 1
                   : usage_error(line, std::string("--bitpix wants 8, 16, 32, -32 or -64, not '") + value + "'");
    else
        return 0;
    return 1;
}

// The first display option given, or nullptr: options that choose a FITS
// image and its levels, which only a FITS input written as BMP uses.
const char *display_option_given(const dirira_tool::FitsOptions &o) {
    return o.selection.hdu != 0     ? "--hdu"
           : o.selection.plane != 0 ? "--plane"
           : o.stretchGiven         ? "--stretch"
           : o.levelsGiven          ? "--levels"
           : o.perPlane             ? "--per-plane-levels"
                                    : nullptr;
}

// An option no conversion of the run would use is said, not passed over:
// the user meant it to change something. "" when each one given is used.
std::string unused_option(const dirira_tool::ConvertOptions &options) {
    const auto fits = [](const std::string &name) { return dirira_tool::is_fits_path(name.c_str()); };
    const bool fitsOutput = options.directory.empty() ? fits(options.output) : options.to == "fits";
    const bool fitsInput = std::any_of(options.inputs.begin(), options.inputs.end(), fits);
    if (options.fits.bitPix != 0 && !fitsOutput)
        return "--bitpix is for FITS outputs";
    if (options.limits.allowShort && std::all_of(options.inputs.begin(), options.inputs.end(), fits))
        return "--allow-short is for BMP inputs"; // CFITSIO reads whole records or nothing
    const char *display = display_option_given(options.fits);
    if (display != nullptr && (fitsOutput || !fitsInput))
        return std::string(display) + " is for FITS inputs written as BMP files";
    return "";
}

int convert_command(CommandLine &line) {
    dirira_tool::ConvertOptions options;
    for (; line.i < line.argc; ++line.i) {
        if (help_option(line))
            return 0;
        if (take_operand(line, options.inputs))
            continue;
        const int status = convert_option(line, options);
        if (status != 1)
            return status == 0 ? unknown_option(line) : status;
    }
    if (options.directory.empty()) {
        if (options.inputs.size() != 2 || !options.to.empty())
            return usage_error(line, "convert wants IN OUT, or inputs with -o DIR --to fits|bmp");
        options.output = options.inputs.back();
        options.inputs.pop_back();
        if (options.shards != 0)
            return usage_error(line, "--shard is for batches (-o DIR)");
        if (!options.compress.empty() && !names_compression(options.output.c_str(), options.compress))
            return usage_error(line, "--compress " + options.compress + " does not match the name " + options.output +
                                         " (.fits.gz: gzip, .fz: rice, .fits: none)");
    } else if (options.inputs.empty() || (options.to != "fits" && options.to != "bmp")) {
        return usage_error(line, "convert -o DIR wants inputs and --to fits or --to bmp");
    } else if (!options.compress.empty() && options.to != "fits") {
        return usage_error(line, "--compress is for FITS outputs");
    }
    if (const std::string unused = unused_option(options); !unused.empty())
        return usage_error(line, unused);
    options.fits.selection.cube =
        options.directory.empty() ? dirira_tool::FitsCube::kChoosePlaneOrFolder : dirira_tool::FitsCube::kEveryPlane;
    return dirira_tool::convert(options);
}

// The options of preview, one at argv[i]: 1 when it was one, 0 when it was
// not, 2 after a usage error.
int preview_option(CommandLine &line, dirira_tool::PreviewOptions &options, dirira_tool::FitsOptions &display) {
    const char *value = nullptr;
    int status = read_limit_option(line, options.limits, options.memory);
    if (status != 0 || display_option(line, display, status))
        return status == 0 ? 1 : status;
    if (line.is("--colour") || line.is("--color")) {
        options.colour = true;
        return 1;
    }
    if (line.is("--quiet") || line.is("-q")) {
        options.quiet = true;
        return 1;
    }
    if (!option_value(line, "--size", value))
        return 0;
    const char *size = value;
    if (!parse_count(size, INT_MAX, options.width) || *size++ != 'x' || !parse_whole(size, INT_MAX, options.height))
        return usage_error(line, std::string("--size wants WIDTHxHEIGHT, not '") + value + "'");
    return 1;
}

int preview_command(CommandLine &line) {
    dirira_tool::PreviewOptions options;
    dirira_tool::FitsOptions display;
    std::vector<std::string> files;
    for (; line.i < line.argc; ++line.i) {
        if (help_option(line))
            return 0;
        if (take_operand(line, files))
            continue;
        const int status = preview_option(line, options, display);
        if (status != 1)
            return status == 0 ? unknown_option(line) : status;
    }
    if (files.size() != 2)
        return usage_error(line, "preview wants a picture to read and a PNG file to write, IN OUT.png");
    if (options.colour && display.selection.plane > 0)
        return usage_error(line, "preview takes --plane or --colour, not both");
    if (display.selection.hdu != 0 && !dirira_tool::is_fits_path(files[0].c_str()))
        return usage_error(line, "--hdu is for FITS inputs");
    if (options.limits.allowShort && dirira_tool::is_fits_path(files[0].c_str()))
        return usage_error(line, "--allow-short is for BMP inputs");
    options.stretch = display.stretch;
    options.levelsGiven = display.levelsGiven;
    options.levels = display.levels;
    options.perPlane = display.perPlane;
    options.hdu = display.selection.hdu;
    options.plane = display.selection.plane - 1;
    options.input = files[0], options.output = files[1];
    return dirira_tool::preview(options);
}

int info_command(CommandLine &line) {
    dirira_tool::InfoOptions options;
    for (; line.i < line.argc; ++line.i) {
        if (help_option(line))
            return 0;
        if (take_operand(line, options.files))
            continue;
        const int status = read_limit_option(line, options.limits, options.memory);
        if (status == 2)
            return 2;
        if (line.is("--histogram"))
            options.histogram = true;
        else if (line.is("--json"))
            options.json = true;
        else if (status == 0)
            return unknown_option(line);
    }
    return options.files.empty() ? usage_error(line, "info wants the files to describe, FILE...")
                                 : dirira_tool::info(options);
}

// The operands of a command that takes no options but --help: 2 after a
// usage error, else 1 (0 after printing the help).
int operands_only(CommandLine &line, std::vector<std::string> &operands) {
    for (; line.i < line.argc; ++line.i) {
        if (help_option(line))
            return 0;
        if (!take_operand(line, operands))
            return unknown_option(line);
    }
    return 1;
}

int about_command(CommandLine &line) {
    std::vector<std::string> operands;
    const int status = operands_only(line, operands);
    if (status != 1)
        return status;
    return operands.empty() ? dirira_tool::about() : usage_error(line, "about takes no file");
}

int fits_info_command(CommandLine &line) {
    std::vector<std::string> operands;
    const int status = operands_only(line, operands);
    if (status != 1)
        return status;
    return operands.size() == 1 ? dirira_tool::fits_info(operands[0].c_str())
                                : usage_error(line, "fits-info wants one FITS file");
}

struct Command {
    const char *name;
    int (*run)(CommandLine &line);
    CommandHelp help;
};

const Command kCommands[] = {
    {"info", info_command, {kInfoUsage, kInfoHelp}},
    {"about", about_command, {kAboutUsage, kAboutHelp}},
    {"fits-info", fits_info_command, {kFitsInfoUsage, kFitsInfoHelp}},
    {"preview", preview_command, {kPreviewUsage, kPreviewHelp}},
    {"convert", convert_command, {kConvertUsage, kConvertHelp}},
};

} // namespace

namespace dirira_tool {

namespace {

int run_unguarded(int argc, char **argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0)
        return std::puts(kVersion), 0;
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0))
        return std::fputs(kUsage, stdout), 0;
    if (argc < 2)
        return usage();
    for (const Command &command : kCommands) {
        CommandLine line{argc, argv, command.help};
        if (std::strcmp(argv[1], command.name) == 0)
            return command.run(line);
    }
    std::fprintf(stderr, "dirira: unknown %s '%s'\n", argv[1][0] == '-' ? "option" : "command", argv[1]);
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
