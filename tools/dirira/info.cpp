// `dirira info [--histogram] [--json] FILE.bmp`: what reading a file gives
// (CBmp::Read, or the reader of every other header version) and what
// CBmp::ReadHeader gives, or why the file cannot be read; as aligned text
// or as one JSON object for scripts.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <dirira/dirira.h>

#include "bmpfile/bmp_versions.h"
#include "bmpfile/file_kind.h"
#include "tools/dirira/commands.h"

namespace dirira_tool {
namespace {

constexpr std::uint32_t kCoreHeaderSize = 12; // the other header CBmp::ReadHeader reads
constexpr int kHistogramBins = 64;
constexpr unsigned kReadSamples = 1;           // GetImageAdr mode: bit 0 set reads
constexpr std::size_t kFitsSignatureBytes = 9; // "SIMPLE  ="

// One line of the report: its text label, its JSON key, and the value as
// text and as JSON.
struct Field {
    std::string label, key, text, json;
};

std::string quoted(const std::string &text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\')
            out += '\\', out += char(c);
        else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else
            out += char(c);
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

Field text_field(const char *label, const char *key, const std::string &value) {
    return {label, key, value, quoted(value)};
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

bool is_fits_file(const char *path) {
    std::uint8_t bytes[kFitsSignatureBytes] = {};
    std::FILE *file = std::fopen(path, "rb");
    const std::size_t got = file != nullptr ? std::fread(bytes, 1, sizeof bytes, file) : 0;
    if (file != nullptr)
        std::fclose(file);
    return bmpfile::format_of_bytes(bytes, got) == "FITS";
}

std::string header_planes(const bmpfile::ReadSource &source, int status, int planes) {
    if (status == dirira::kBmpOk)
        return std::to_string(planes);
    if (!source.byLibrary && source.headerSize != kCoreHeaderSize)
        return std::string("none (CBmp::ReadHeader reads no ") + bmpfile::bmp_header_name(source.headerSize) + ")";
    return std::string("none (") + dirira::bmp_status_message(status) + ")";
}

void print(const std::vector<Field> &fields, const std::vector<std::vector<Field>> &planes, bool json) {
    if (!json) {
        for (const Field &f : fields)
            std::printf("%-18s%s\n", (f.label + ":").c_str(), f.text.c_str());
        for (std::size_t p = 0; p < planes.size(); ++p)
            for (const Field &f : planes[p])
                std::printf("%-18s%s\n", (f.label + " " + std::to_string(p) + ":").c_str(), f.text.c_str());
        return;
    }
    std::printf("{");
    for (const Field &f : fields)
        std::printf("%s: %s, ", quoted(f.key).c_str(), f.json.c_str());
    std::printf("\"planes\": [");
    for (std::size_t p = 0; p < planes.size(); ++p) {
        std::printf("%s{", p == 0 ? "" : ", ");
        for (std::size_t i = 0; i < planes[p].size(); ++i)
            std::printf("%s%s: %s", i == 0 ? "" : ", ", quoted(planes[p][i].key).c_str(), planes[p][i].json.c_str());
        std::printf("}");
    }
    std::printf("]}\n");
}

} // namespace

int info(const char *path, bool withHistogram, bool json, const bmpfile::ReadLimits &limits) {
    CStlImage image;
    const int headerStatus = CBmp::ReadHeader(&image, path, NULL, NULL);
    const int headerPlaneCount = image.GetOrgPlanes();
    bmpfile::ReadSource source;
    if (read_bmp_file(path, image, NULL, source, limits) != 0) {
        if (is_fits_file(path))
            std::fprintf(stderr, "dirira: %s: `dirira fits-info %s` describes it\n", path, path);
        return 1;
    }
    const int count = image.GetPlanes();
    const std::vector<Field> fields = {
        text_field("file", "file", image.GetOrgFileName()),
        text_field("header", "header", bmpfile::describe_source(source)),
        text_field("format", "format", image.GetOrgFileFormat()),
        {"size", "size",
         std::to_string(image.GetWidth()) + " x " + std::to_string(image.GetHeight()) + ", " + std::to_string(count) +
             (count == 1 ? " plane" : " planes") + (image.IsColor() ? " (colour)" : " (gray)"),
         "{\"width\": " + std::to_string(image.GetWidth()) + ", \"height\": " + std::to_string(image.GetHeight()) +
             ", \"planes\": " + std::to_string(count) + ", \"colour\": " + (image.IsColor() ? "true" : "false") + "}"},
        {"samples", "samples",
         "BITPIX " + std::to_string(image.GetBitsPixel()) + ", BSCALE " + shown(image.GetBscale()) + ", BZERO " +
             shown(image.GetBzero()),
         "{\"BITPIX\": " + std::to_string(image.GetBitsPixel()) + ", \"BSCALE\": " + number(image.GetBscale()) +
             ", \"BZERO\": " + number(image.GetBzero()) + "}"},
        {"original", "original_bits", std::to_string(image.GetOrgBitsPixel()) + " bits per pixel",
         std::to_string(image.GetOrgBitsPixel())},
        {"header planes", "header_planes", header_planes(source, headerStatus, headerPlaneCount),
         headerStatus == dirira::kBmpOk ? std::to_string(headerPlaneCount) : "null"},
        {"saveable", "saveable",
         "format " + std::to_string(image.IsSaveableFormat()) + ", file " + std::to_string(image.IsSaveableFile()),
         std::string("{\"format\": ") + (image.IsSaveableFormat() ? "true" : "false") +
             ", \"file\": " + (image.IsSaveableFile() ? "true" : "false") + "}"},
    };
    std::vector<std::vector<Field>> planes(static_cast<std::size_t>(count));
    for (int p = 0; p < count; ++p) {
        const double low = image.GetMinPixel(p), high = image.GetMaxPixel(p);
        planes[std::size_t(p)].push_back({"plane", "range",
                                          "min " + shown(low) + ", max " + shown(high) + ", display levels " +
                                              shown(image.GetLevelMin(p)) + ".." + shown(image.GetLevelMax(p)),
                                          "{\"min\": " + number(low) + ", \"max\": " + number(high) +
                                              ", \"levels\": [" + number(image.GetLevelMin(p)) + ", " +
                                              number(image.GetLevelMax(p)) + "]}"});
        if (!withHistogram)
            continue;
        std::string text, list;
        for (long c : histogram(image, p, low, high))
            text += (text.empty() ? "" : " ") + std::to_string(c),
                list += (list.empty() ? "" : ", ") + std::to_string(c);
        planes[std::size_t(p)].push_back({"histogram", "histogram", text, "[" + list + "]"});
    }
    print(fields, planes, json);
    return 0;
}

} // namespace dirira_tool
