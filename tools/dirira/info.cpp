// `dirira info [--histogram] [--json] FILE...`: what reading each file
// gives (CBmp::Read, or the reader of every other header version) and what
// CBmp::ReadHeader gives, or why the file cannot be read; as aligned text
// or as one JSON object a line for scripts.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <dirira/dirira.h>

#include "bmpfile/bmp_versions.h"
#include "bmpfile/file_kind.h"
#include "bmpfile/fits_image.h"
#include "tools/dirira/commands.h"

namespace dirira_tool {
namespace {

constexpr std::uint32_t kCoreHeaderSize = 12; // the other header CBmp::ReadHeader reads
constexpr int kHistogramBins = 64;
constexpr unsigned kReadSamples = 1; // GetImageAdr mode: bit 0 set reads

// What info says of a file: lines of text (label, value) and the members
// of its JSON object (key, value as JSON).
struct Report {
    std::vector<std::pair<std::string, std::string>> lines, members;

    void add(const std::string &label, const std::string &text) { lines.emplace_back(label, text); }
    void member(const std::string &key, const std::string &json) { members.emplace_back(key, json); }
};

// The length of the UTF-8 sequence that starts at `at`, or 0 when the bytes
// there are not one (a stray continuation, an overlong form, a surrogate,
// past U+10FFFF, cut short).
std::size_t utf8_sequence(const std::string &text, std::size_t at) {
    const auto byte = [&](std::size_t k) { return at + k < text.size() ? (unsigned char)(text[at + k]) : 0u; };
    const unsigned lead = byte(0);
    const std::size_t length = lead < 0x80                    ? 1
                               : lead >= 0xC2 && lead <= 0xDF ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((byte(k) & 0xC0) != 0x80)
            return 0;
    // The second byte's range rules out overlong forms, surrogates and code points past U+10FFFF.
    const unsigned second = byte(1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
        (lead == 0xF4 && second > 0x8F))
        return 0;
    return length;
}

std::string escaped(unsigned char c) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x", c);
    return escape;
}

// A JSON string of text that may not be UTF-8 (a file name is bytes): each
// byte outside a valid UTF-8 sequence becomes the character of that byte in
// Latin-1 (\u00XX), so that every parser reads the name, however strict.
std::string quoted(const std::string &text) {
    std::string out = "\"";
    for (std::size_t at = 0; at < text.size();) {
        const unsigned char c = (unsigned char)(text[at]);
        const std::size_t length = utf8_sequence(text, at);
        if (c == '"' || c == '\\')
            out += '\\', out += char(c);
        else if (c < 0x20 || length == 0)
            out += escaped(c);
        else
            out.append(text, at, length);
        at += length == 0 ? 1 : length;
    }
    return out + "\"";
}

std::string number(double value) {
    if (!std::isfinite(value))
        return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string shown(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// Counts of the finite samples in 64 equal bins from the plane's smallest to its largest sample.
std::vector<long> histogram(CStlImage &image, int plane, double low, double high) {
    std::vector<long> counts(kHistogramBins, 0);
    const double scale = high > low ? kHistogramBins / (high - low) : 0;
    for (int y = 0; y < image.GetHeight(); ++y) {
        const float *row = store_row(image, y, plane, kReadSamples);
        for (int x = 0; x < image.GetWidth(); ++x)
            if (std::isfinite(row[x]))
                ++counts[std::size_t(std::min(kHistogramBins - 1, int((row[x] - low) * scale)))];
    }
    return counts;
}

const char *boolean(bool value) { return value ? "true" : "false"; }

std::string header_planes(const bmpfile::ReadSource &source, int status, int planes) {
    if (status == dirira::kBmpOk)
        return std::to_string(planes);
    if (!source.byLibrary && source.headerSize != kCoreHeaderSize)
        return std::string("none (the library's header reader takes no ") +
               bmpfile::bmp_header_name(source.headerSize) + ")";
    return std::string("none (") + dirira::bmp_status_message(status) + ")";
}

// The picture as a whole, in the order and under the keys of the Python
// module's dirira.info().
void describe_image(const char *path, CStlImage &image, const bmpfile::ReadSource &source, Report &report) {
    const int count = image.GetPlanes();
    const std::string width = std::to_string(image.GetWidth()), height = std::to_string(image.GetHeight());
    const std::string bitPix = std::to_string(image.GetBitsPixel()), bits = std::to_string(image.GetOrgBitsPixel());
    report.add("file", path);
    report.member("file", quoted(path));
    report.add("header", bmpfile::describe_source(source));
    report.member("header", quoted(bmpfile::describe_source(source)));
    report.add("format", bmpfile::describe_format(source));
    report.member("format", quoted(bmpfile::describe_format(source)));
    report.add("size", width + " x " + height + ", " + std::to_string(count) + (count == 1 ? " plane" : " planes") +
                           (image.IsColor() ? " (colour)" : " (gray)"));
    report.member("width", width);
    report.member("height", height);
    report.member("planes", std::to_string(count));
    report.member("colour", boolean(image.IsColor()));
    report.add("samples",
               "BITPIX " + bitPix + ", BSCALE " + shown(image.GetBscale()) + ", BZERO " + shown(image.GetBzero()));
    report.member("BITPIX", bitPix);
    report.member("BSCALE", number(image.GetBscale()));
    report.member("BZERO", number(image.GetBzero()));
    report.add("original", bits + " bits per pixel");
    report.member("original_bits", bits);
}

void describe_planes(CStlImage &image, bool withHistogram, Report &report) {
    std::string stats;
    for (int p = 0; p < image.GetPlanes(); ++p) {
        const double low = image.GetMinPixel(p), high = image.GetMaxPixel(p);
        const std::string ordinal = " " + std::to_string(p + 1); // counted from 1, as --plane and LEVMINn count
        report.add("plane" + ordinal, "min " + shown(low) + ", max " + shown(high) + ", display levels " +
                                          shown(image.GetLevelMin(p)) + ".." + shown(image.GetLevelMax(p)));
        stats += std::string(p == 0 ? "" : ", ") + "{\"min\": " + number(low) + ", \"max\": " + number(high) +
                 ", \"levels\": [" + number(image.GetLevelMin(p)) + ", " + number(image.GetLevelMax(p)) + "]";
        if (withHistogram) {
            std::string text, list;
            for (long c : histogram(image, p, low, high)) {
                text += (text.empty() ? "" : " ") + std::to_string(c);
                list += (list.empty() ? "" : ", ") + std::to_string(c);
            }
            report.add("histogram" + ordinal, text);
            stats += ", \"histogram\": [" + list + "]";
        }
        stats += "}";
    }
    report.member("plane_stats", "[" + stats + "]");
}

void print(const Report &report, bool json) {
    if (!json) {
        for (const auto &[label, text] : report.lines)
            std::printf("%-18s%s\n", (label + ":").c_str(), text.c_str());
        return;
    }
    std::string object;
    for (const auto &[key, value] : report.members)
        object += (object.empty() ? "{" : ", ") + quoted(key) + ": " + value;
    std::printf("%s}\n", object.c_str());
}

// `printed`: whether a block came before, which a blank line ends.
int info_of(const char *path, const InfoOptions &options, bool &printed) {
    CStlImage image;
    bmpfile::ReadSource source;
    if (read_bmp_file(path, image, NULL, source, options.limits) != 0) {
        if (bmpfile::holds_fits(path))
            std::fprintf(stderr, "dirira: %s: `dirira fits-info %s` describes it\n", path, path);
        return 1;
    }
    // After the read, which refuses what is no regular file: the library's
    // header reader would wait for a FIFO's writer.
    CStlImage header;
    const int headerStatus = CBmp::ReadHeader(&header, path, NULL, NULL);
    const int headerPlaneCount = header.GetOrgPlanes();
    Report report;
    describe_image(path, image, source, report);
    report.add("header planes", header_planes(source, headerStatus, headerPlaneCount));
    report.member("header_planes", headerStatus == dirira::kBmpOk ? std::to_string(headerPlaneCount) : "null");
    report.add("saveable", "format " + std::to_string(image.IsSaveableFormat()) + ", file " +
                               std::to_string(image.IsSaveableFile()));
    report.member("saveable_format", boolean(image.IsSaveableFormat()));
    report.member("saveable_file", boolean(image.IsSaveableFile()));
    describe_planes(image, options.histogram, report);
    if (printed && !options.json)
        std::fputs("\n", stdout);
    print(report, options.json);
    std::fflush(stdout); // each block before the next file's messages, when both streams go to one file
    printed = true;
    return 0;
}

} // namespace

int info(const InfoOptions &options) {
    set_memory_budget(options.memory, 1);
    int status = 0;
    bool printed = false;
    for (const std::string &file : options.files)
        if (info_of(file.c_str(), options, printed) != 0)
            status = 1;
    return status;
}

} // namespace dirira_tool
