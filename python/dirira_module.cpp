// _dirira: the image model for Python, over the C++ library. The package
// `dirira` (python/dirira/__init__.py) wraps it: error classes, FITS cards,
// astropy and pickling live there; here is what must touch the library.
//
// Samples reach numpy without a copy where the store allows it: a store
// made within its budget (or without one) lays each plane out as a plain array in one region
// that never moves, which numpy can view. A store that pages under a budget
// is copied instead, one memcpy a row, into memory that numpy then owns;
// that destination is 2 MiB-aligned and advised for transparent huge pages,
// so that 768 MiB of float planes fault in as 384 huge pages rather than
// 196 608 small ones.
#include <pybind11/functional.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <tuple>

#include <dirira/dirira.h>

#include "bmpfile/durable_write.h"
#include "bmpfile/file_kind.h"
#include "bmpfile/progress_window.h"
#include "bmpfile/read_image.h"
#include "tools/dirira/commands.h"
#include "tools/dirira/display_levels.h"

#ifndef _WIN32
#include <win32_standin.h> // the accounting counters
#endif

namespace py = pybind11;

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr unsigned kReadSamples = 1; // GetImageAdr mode: bit 0 set reads
constexpr unsigned kWriteSamples = 0;
constexpr int kFloatSamples = -32;
constexpr int kColourPlanes = 3;
constexpr WPARAM kPercent = 1;

// Raised by every failing call; the package turns it into the BmpError
// subclass of its status (and of the system's reason, which ends the message).
struct Failure {
    int status;
    std::string message;
};

// Row y of a plane of the store; a store that cannot bring it in (no memory
// for a slot, a failing swap file) is a Failure of status 6.
float *store_row(CStlImage &image, int y, int plane, unsigned mode) {
    float *row = image.GetImageAdr(0, y, plane, mode, NULL);
    if (row == nullptr)
        throw Failure{dirira::kBmpNoMemory, "the image's store cannot bring a row back into memory"};
    return row;
}

// Memory for numpy, freed by the array's capsule.
struct HugeBuffer {
    void *base = nullptr;
    std::size_t length = 0;
    float *data = nullptr;
};

HugeBuffer *huge_buffer(std::size_t bytes) {
    const std::size_t length = (bytes + 2 * kHugePage - 1) / kHugePage * kHugePage + kHugePage;
    void *base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = (reinterpret_cast<std::uintptr_t>(base) + kHugePage - 1) & ~(kHugePage - 1);
    madvise(reinterpret_cast<void *>(start), length - (start - reinterpret_cast<std::uintptr_t>(base)), MADV_HUGEPAGE);
    return new HugeBuffer{base, length, reinterpret_cast<float *>(start)};
}

py::array_t<float> array_over(HugeBuffer *buffer, std::vector<py::ssize_t> shape) {
    py::capsule owner(buffer, [](void *p) {
        auto *b = static_cast<HugeBuffer *>(p);
        munmap(b->base, b->length);
        delete b;
    });
    return py::array_t<float>(shape, buffer->data, owner);
}

// Progress messages for a Python callable as (stage, value): stage 0 opens
// and 2 closes, each with the caption ("" where the message carries none);
// 1 is a percentage. Without a callable, no window: the library then sends
// nothing.
class ProgressCallback {
public:
    explicit ProgressCallback(std::optional<py::function> callback) : callback_(std::move(callback)) {
        if (!callback_)
            return;
        window_ =
            std::make_unique<bmpfile::ProgressWindow>([this](WPARAM stage, LPARAM value) { deliver(stage, value); });
        if (window_->handle() == NULL)
            throw Failure{dirira::kBmpNoMemory, "no window for the progress callback"};
    }
    HWND handle() const { return window_ ? window_->handle() : NULL; }
    // A callback's exception, kept until the library has returned.
    void rethrow() {
        if (error_)
            std::rethrow_exception(error_);
    }

private:
    void deliver(WPARAM stage, LPARAM value) {
        if (error_)
            return;
        try {
            if (stage == kPercent)
                (*callback_)(int(stage), int(value));
            else
                // The caption is the file name, in the file system's bytes: the package decodes it as os.fsdecode does.
                (*callback_)(int(stage), py::bytes(value != 0 ? reinterpret_cast<const char *>(value) : ""));
        } catch (...) {
            error_ = std::current_exception();
        }
    }

    std::optional<py::function> callback_;
    std::exception_ptr error_;
    std::unique_ptr<bmpfile::ProgressWindow> window_; // last: its messages use the members above
};

void set_budget(std::optional<unsigned long long> memory) {
    if (memory)
        CVmImage::SetMemoryBudget(SIZE_T(*memory));
}

// The image and where it came from.
struct Image {
    std::shared_ptr<CStlImage> image = std::make_shared<CStlImage>();
    std::string source; // "" for an image made from an array
    std::string warning;
    std::string format; // the file's format in a user's words, for info(); "" unless read from a file

    int planes() const { return image->GetPlanes(); }
    void check_plane(int plane) const {
        if (plane < 0 || plane >= planes())
            throw py::index_error("plane " + std::to_string(plane) + " of an image of " + std::to_string(planes()) +
                                  " planes");
    }

    py::array_t<float> data() const {
        const int width = image->GetWidth(), height = image->GetHeight(), count = planes();
        std::vector<py::ssize_t> shape = {height, width};
        if (count != 1)
            shape.insert(shape.begin(), count);
        auto array = view_of_store(shape);
        if (array.size() == 0)
            array = copy_of_store(shape);
        array.attr("flags").attr("writeable") = false;
        return array;
    }

    // An array over the store itself when every row sits at base + plane x P
    // + y x R, which is the store's one region (a paged store's rows repeat
    // addresses, as blocks share slots); an empty array otherwise. The array
    // keeps the image alive.
    py::array_t<float> view_of_store(const std::vector<py::ssize_t> &shape) const {
        const int height = image->GetHeight(), count = planes();
        auto row = [this](int y, int plane) {
            return reinterpret_cast<std::uintptr_t>(image->GetImageAdr(0, y, plane, kReadSamples, NULL));
        };
        const std::uintptr_t base = row(0, 0);
        const std::uintptr_t rowStride = height > 1 ? row(1, 0) - base : 0;
        const std::uintptr_t planeStride = count > 1 ? row(0, 1) - base : 0;
        for (int plane = 0; plane < count; ++plane)
            for (int y = 0; y < height; ++y)
                if (row(y, plane) != base + std::uintptr_t(plane) * planeStride + std::uintptr_t(y) * rowStride)
                    return py::array_t<float>();
        std::vector<py::ssize_t> strides = {py::ssize_t(rowStride), py::ssize_t(sizeof(float))};
        if (count != 1)
            strides.insert(strides.begin(), py::ssize_t(planeStride));
        py::capsule owner(new std::shared_ptr<CStlImage>(image),
                          [](void *p) { delete static_cast<std::shared_ptr<CStlImage> *>(p); });
        return py::array_t<float>(shape, strides, reinterpret_cast<const float *>(base), owner);
    }

    py::array_t<float> copy_of_store(const std::vector<py::ssize_t> &shape) const {
        const int width = image->GetWidth(), height = image->GetHeight(), count = planes();
        const std::size_t row = std::size_t(width) * sizeof(float);
        HugeBuffer *buffer = huge_buffer(row * std::size_t(height) * std::size_t(count));
        auto *out = reinterpret_cast<unsigned char *>(buffer->data);
        for (int plane = 0; plane < count; ++plane)
            for (int y = 0; y < height; ++y, out += row)
                std::memcpy(out, store_row(*image, y, plane, kReadSamples), row);
        return array_over(buffer, shape);
    }

    std::vector<std::pair<double, double>> levels() const {
        std::vector<std::pair<double, double>> out;
        for (int plane = 0; plane < planes(); ++plane)
            out.emplace_back(image->GetLevelMin(plane), image->GetLevelMax(plane));
        return out;
    }

    void set_levels(const std::vector<std::pair<double, double>> &levels) {
        if (int(levels.size()) != planes())
            throw py::value_error("one (low, high) pair per plane");
        for (int plane = 0; plane < planes(); ++plane) {
            image->LevelMin[plane] = levels[std::size_t(plane)].first;
            image->LevelMax[plane] = levels[std::size_t(plane)].second;
            image->LevelRange[plane] = levels[std::size_t(plane)].second - levels[std::size_t(plane)].first;
        }
    }

    py::dict attributes() const {
        py::dict a;
        a["width"] = image->GetWidth(), a["height"] = image->GetHeight(), a["planes"] = planes();
        a["bitpix"] = image->GetBitsPixel(), a["bscale"] = image->GetBscale(), a["bzero"] = image->GetBzero();
        a["blank"] = image->IsBlankUsed() ? py::object(py::int_(image->GetBlank())) : py::object(py::none());
        a["colour"] = bool(image->IsColor());
        a["file"] = py::bytes(image->GetOrgFileName()), a["format"] = std::string(image->GetOrgFileFormat());
        a["file_bits"] = image->GetOrgBitsPixel();
        a["saveable_format"] = bool(image->IsSaveableFormat()), a["saveable_file"] = bool(image->IsSaveableFile());
        a["source"] = source;
        return a;
    }

    // Samples at integer positions (exact members) or fractional ones
    // (bilinear members), element by element over broadcast arrays.
    template <typename AtInt, typename AtDouble>
    py::array sample(const py::array &x, const py::array &y, AtInt atInt, AtDouble atDouble) const {
        const auto whole = [](const py::array &a) { return a.dtype().kind() == 'i' || a.dtype().kind() == 'u'; };
        const bool integral = whole(x) && whole(y);
        if (integral) {
            auto xi = py::array_t<int, py::array::forcecast>(x), yi = py::array_t<int, py::array::forcecast>(y);
            return py::vectorize([&](int a, int b) { return check_int(a, b), atInt(a, b); })(xi, yi);
        }
        auto xd = py::array_t<double, py::array::forcecast>(x), yd = py::array_t<double, py::array::forcecast>(y);
        return py::vectorize([&](double a, double b) { return check_double(a, b), atDouble(a, b); })(xd, yd);
    }
    void check_int(int x, int y) const {
        if (x < 0 || y < 0 || x >= image->GetWidth() || y >= image->GetHeight())
            throw py::index_error("position (" + std::to_string(x) + ", " + std::to_string(y) + ") is outside the " +
                                  std::to_string(image->GetWidth()) + " x " + std::to_string(image->GetHeight()) +
                                  " image");
    }
    void check_double(double x, double y) const {
        if (!(x >= 0 && y >= 0 && x <= image->GetWidth() - 1 && y <= image->GetHeight() - 1))
            throw py::index_error("position (" + std::to_string(x) + ", " + std::to_string(y) + ") is outside the " +
                                  std::to_string(image->GetWidth()) + " x " + std::to_string(image->GetHeight()) +
                                  " image");
    }
};

Image read_image(const std::string &path, std::optional<unsigned long long> memory,
                 std::optional<py::function> progress, bool allowShort, unsigned long long maxPixels) {
    set_budget(memory);
    Image image;
    ProgressCallback window(std::move(progress));
    bmpfile::ReadSource source;
    bmpfile::ReadFailure failure;
    const bmpfile::ReadLimits limits{allowShort, maxPixels, "allow_short=True", "max_pixels"};
    const bool read = bmpfile::read_bmp(path.c_str(), *image.image, window.handle(), source, failure, limits);
    window.rethrow();
    if (!read)
        throw Failure{failure.status, path + ": " + failure.why};
    image.source = bmpfile::describe_source(source), image.warning = source.warning;
    image.format = bmpfile::describe_format(source);
    return image;
}

py::dict read_header(const std::string &path) {
    struct Headers : CBmp {
        using CBmp::GetOrgWidthAndHeight;
    };
    struct stat status;
    std::string why;
    const int fd = bmpfile::open_for_reading(path.c_str(), status, why); // a FIFO would keep the library waiting
    if (fd < 0)
        throw Failure{dirira::kBmpCannotOpen, path + ": " + why};
    close(fd);
    int size[3] = {};
    if (!Headers::GetOrgWidthAndHeight(path.c_str(), &size[0], &size[1], &size[2]))
        throw Failure{dirira::kBmpHeaderUnusable,
                      path + ": status 17: " + dirira::bmp_status_message(dirira::kBmpHeaderUnusable)};
    py::dict header;
    header["width"] = size[0], header["height"] = size[1], header["planes"] = size[2];
    return header;
}

// An image of float samples from a (height, width) or (3, height, width) array, top row first.
Image from_array(const py::array_t<float, py::array::c_style | py::array::forcecast> &data,
                 std::optional<std::vector<std::pair<double, double>>> levels) {
    if (data.ndim() != 2 && !(data.ndim() == 3 && data.shape(0) == kColourPlanes))
        throw py::value_error("an image is a (height, width) or (3, height, width) array");
    const int count = data.ndim() == 2 ? 1 : kColourPlanes;
    const py::ssize_t height = data.shape(data.ndim() - 2), width = data.shape(data.ndim() - 1);
    if (width < 1 || height < 1 || width > INT32_MAX || height > INT32_MAX)
        throw py::value_error("an image has 1 to 2147483647 rows and as many columns");
    Image image;
    if (!image.image->Create(int(width), int(height), count, kFloatSamples))
        throw Failure{dirira::kBmpNoMemory,
                      "no memory for a " + std::to_string(width) + " x " + std::to_string(height) + " image"};
    const float *in = data.data();
    const std::size_t row = std::size_t(width) * sizeof(float);
    // Levels and extremes come from the finite samples: one infinite sample
    // would otherwise make levels that render the rest of the picture black.
    std::vector<std::pair<double, double>> ranges;
    for (int plane = 0; plane < count; ++plane) {
        double low = INFINITY, high = -INFINITY;
        for (int y = 0; y < int(height); ++y, in += width) {
            std::memcpy(store_row(*image.image, y, plane, kWriteSamples), in, row);
            for (py::ssize_t x = 0; x < width; ++x)
                if (std::isfinite(in[x]))
                    low = std::min(low, double(in[x])), high = std::max(high, double(in[x]));
        }
        const bool any = low <= high;
        image.image->MinPixel[plane] = any ? low : NAN, image.image->MaxPixel[plane] = any ? high : NAN;
        ranges.emplace_back(any ? low : 0.0, any ? high : 0.0);
    }
    image.set_levels(levels ? *levels : ranges);
    return image;
}

// The program's stretch (tools/dirira/display_levels.cpp, one implementation
// for both) applied to the image: its levels, and for asinh its samples.
// Each plane's black, white, and whether a finite sample set them, for the
// warnings the program gives.
std::vector<std::tuple<double, double, bool>> stretch(Image &image, const std::string &name, bool perPlane) {
    dirira_tool::Stretch chosen;
    if (!dirira_tool::parse_stretch(name, chosen))
        throw py::value_error("stretch is minmax, percentile:LO,HI, zscale or asinh, not '" + name + "'");
    std::vector<std::tuple<double, double, bool>> levels;
    for (const dirira_tool::Levels &l : dirira_tool::stretch_image(*image.image, chosen, perPlane))
        levels.emplace_back(l.black, l.white, l.finite);
    return levels;
}

// Through the durable writer, as the program writes: the old file stays
// whole on any failure. A name that says another format is refused first.
void write_image(const std::string &path, Image &image, int option, std::optional<py::function> progress) {
    const std::string named = bmpfile::format_of_name(path);
    if (!named.empty() && named != "BMP") {
        // The name as os.fsdecode gives it back: its bytes need not be UTF-8.
        const py::object name =
            py::reinterpret_steal<py::object>(PyUnicode_DecodeFSDefaultAndSize(path.data(), py::ssize_t(path.size())));
        PyErr_Format(PyExc_ValueError,
                     "%U: the name says %s, but dirira.write writes BMP (.bmp); Image.to_hdu().writeto() writes FITS",
                     name.ptr(), named.c_str());
        throw py::error_already_set();
    }
    ProgressCallback window(std::move(progress));
    int status = dirira::kBmpOk;
    const std::string why = bmpfile::write_bmp_durably(*image.image, path.c_str(), option, window.handle(), status);
    window.rethrow();
    if (!why.empty())
        throw Failure{status != dirira::kBmpOk ? status : dirira::kBmpCannotCreate, path + ": " + why};
}

// Any file Python writes, through the same durable writer: `writer` gets
// the temporary path (bytes) and writes the whole file there; an exception
// it raises removes the temporary file and goes on up.
void write_durably(const std::string &path, const py::function &writer) {
    const std::string why = bmpfile::write_durably(path.c_str(), [&writer](const char *temporary) {
        writer(py::bytes(temporary));
        return std::string();
    });
    if (!why.empty())
        throw Failure{dirira::kBmpCannotCreate, path + ": " + why};
}

} // namespace

// display_levels.cpp reads and writes rows through its host's store_row:
// here, as for every other row of the module, one the store cannot bring in
// is a Failure.
float *dirira_tool::store_row(CStlImage &image, int y, int plane, unsigned mode) {
    return ::store_row(image, y, plane, mode);
}

PYBIND11_MODULE(_dirira, m) {
    m.doc() = "The dirira library's image model; use the package `dirira`, which wraps this module.";
    static py::exception<Failure> failure(m, "_Failure");
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p)
                std::rethrow_exception(p);
        } catch (const Failure &f) {
            // The message names the file in the file system's bytes, which need not be UTF-8.
            PyErr_SetObject(failure.ptr(), py::make_tuple(f.status, py::bytes(f.message)).ptr());
        }
    });

    py::class_<Image>(m, "Image")
        .def_property_readonly("data", &Image::data)
        .def_property("levels", &Image::levels, &Image::set_levels)
        .def_property_readonly("attributes", &Image::attributes)
        .def_readonly("warning", &Image::warning)
        .def_readonly("_format", &Image::format)
        .def(
            "min", [](Image &i, int plane) { return i.check_plane(plane), i.image->GetMinPixel(plane); },
            py::arg("plane") = 0)
        .def(
            "max", [](Image &i, int plane) { return i.check_plane(plane), i.image->GetMaxPixel(plane); },
            py::arg("plane") = 0)
        .def(
            "gray",
            [](Image &i, py::array x, py::array y, int plane) {
                i.check_plane(plane);
                return i.sample(
                    x, y, [&](int a, int b) { return i.image->GetPixelGrayRaw(a, b, plane); },
                    [&](double a, double b) { return i.image->GetPixelGrayRaw(a, b, plane); });
            },
            py::arg("x"), py::arg("y"), py::arg("plane") = 0)
        .def(
            "gray256",
            [](Image &i, py::array x, py::array y, int plane) {
                i.check_plane(plane);
                return i.sample(
                    x, y, [&](int a, int b) { return i.image->GetPixelGray256(a, b, plane); },
                    [&](double a, double b) { return i.image->GetPixelGray256(a, b, plane); });
            },
            py::arg("x"), py::arg("y"), py::arg("plane") = 0)
        .def(
            "bright",
            [](Image &i, py::array x, py::array y) {
                return i.sample(
                    x, y, [&](int a, int b) { return i.image->GetPixelBrightRaw(a, b); },
                    [&](double a, double b) { return i.image->GetPixelBrightRaw(a, b); });
            },
            py::arg("x"), py::arg("y"))
        .def("_set_record",
             [](Image &i, const std::string &file, const std::string &format, int bits, bool saveableFormat,
                bool saveableFile, const std::string &source, const std::string &warning) {
                 i.image->SetOrgFileName(file.c_str());
                 i.image->SetOrgFileFormat(format.c_str());
                 i.image->SetOrgBitsPixel(bits);
                 i.image->SetSaveableFormat(saveableFormat);
                 i.image->SetSaveableFile(saveableFile);
                 i.source = source;
                 i.warning = warning;
             });

    m.def("read", &read_image, py::arg("path"), py::arg("memory") = py::none(), py::arg("progress") = py::none(),
          py::arg("allow_short") = false, py::arg("max_pixels") = bmpfile::kDefaultMaxPixels);
    m.def("read_header", &read_header, py::arg("path"));
    m.def("from_array", &from_array, py::arg("data"), py::arg("levels") = py::none());
    m.def("write", &write_image, py::arg("path"), py::arg("image"), py::arg("option") = 0,
          py::arg("progress") = py::none());
    m.def("write_durably", &write_durably, py::arg("path"), py::arg("writer"));
    m.def("stretch", &stretch, py::arg("image"), py::arg("stretch"), py::arg("per_plane") = false);
    m.def("remove_stale_temporaries", &bmpfile::remove_stale_temporaries, py::arg("folder"));
    m.def("memory_budget", [] { return CVmImage::GetMemoryBudget(); });
    m.def("set_memory_budget", [](unsigned long long bytes) { CVmImage::SetMemoryBudget(SIZE_T(bytes)); });
    m.def("accounting", [] {
        py::dict counts;
        counts["mapped_bytes"] = CVmImage::GetMappedBytesTotal();
#ifndef _WIN32
        counts["open_files"] = win32_standin::OpenFileHandles();
        counts["global_blocks"] = win32_standin::LiveGlobalBlocks();
        counts["locked_blocks"] = win32_standin::LockedGlobalBlocks();
#endif
        return counts;
    });
}
