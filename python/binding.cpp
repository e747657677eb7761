// orvi._orvi: the library for Python. Images share the library's pixel block with numpy
// (an array keeps its image alive), every library call releases the GIL, and failures
// raise orvi.Error subclasses carrying the result code and the command's sentence.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <new>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "orvi/orvi.h"

namespace py = pybind11;

namespace {

// The library the module's functions use, made on first use or by configure().
std::mutex library_lock;
std::shared_ptr<orvi::Library> current_library;
orvi::Options current_options;

std::shared_ptr<orvi::Library> library() {
    const std::lock_guard<std::mutex> held(library_lock);
    if (!current_library) {
        // As the command does, the package takes the modules' folder from the environment.
        if (current_options.module_folder.empty()) {
            current_options.module_folder = orvi::Options::from_environment().module_folder;
        }
        current_library = std::make_shared<orvi::Library>(current_options);
    }
    return current_library;
}

// The exception classes, made at import.
struct Exceptions {
    py::object error;
    py::object out_of_memory;
    py::object bad_file;
    py::object unsupported;
    py::object access;
    py::object usage;
};
Exceptions* exceptions = nullptr;

// Sets the Python exception for `error` (after `what`, when given), without throwing.
void set_error(const orvi::Error& error, const std::string& what) {
    const py::object* type = &exceptions->error;
    switch (error.kind()) {
    case orvi::ErrorKind::Memory:
        type = &exceptions->out_of_memory;
        break;
    case orvi::ErrorKind::Damaged:
        type = &exceptions->bad_file;
        break;
    case orvi::ErrorKind::Unsupported:
        type = &exceptions->unsupported;
        break;
    case orvi::ErrorKind::Access:
        type = &exceptions->access;
        break;
    case orvi::ErrorKind::Usage:
        type = &exceptions->usage;
        break;
    }
    // The keyword or call that would change the outcome, in Python's own words.
    static constexpr std::pair<const char*, const char*> kHints[] = {
        {"max_pixels", "orvi.configure(max_pixels=N) sets the limit, 0 for none"},
        {"page", "page=N picks one"},
        {"format", "format= chooses one"},
        {"exact", "without exact=True they are reduced to that many"},
        {"force", "force=True replaces it"},
        {"depth", "depth= chooses one"},
    };
    std::string told = error.sentence;
    for (const auto& [option, hint] : kHints) {
        if (error.option == option) {
            told += std::string(" (") + hint + ")";
        }
    }
    const std::string sentence = what.empty() ? told : what + ": " + told;
    py::object exception = (*type)(sentence);
    exception.attr("code") = error.code;
    exception.attr("sentence") = sentence;
    PyErr_SetObject(type->ptr(), exception.ptr());
}

[[noreturn]] void raise(const orvi::Error& error, const std::string& what) {
    set_error(error, what);
    throw py::error_already_set();
}

// A keyword's whole number from 0 to `most`: a TypeError for anything else than an int,
// a ValueError outside the range.
uint64_t whole_number(const py::object& value, const char* name, uint64_t most) {
    if (!py::isinstance<py::int_>(value) || py::isinstance<py::bool_>(value)) {
        throw py::type_error(std::string(name) + " is a whole number");
    }
    const py::int_ number(value);
    if (number < py::int_(0) || number > py::int_(most)) {
        throw py::value_error(std::string(name) + " takes 0 to " + std::to_string(most) + ", not " +
                              std::string(py::str(value)));
    }
    return number.cast<uint64_t>();
}

// The pixels of an array as orvi takes them: uint8, height x width x 3 or height x width,
// C-contiguous (a copy when they are not); a TypeError or ValueError naming what is
// wanted otherwise. Floats are never cast: 0.9 would become black.
py::array_t<uint8_t, py::array::c_style> pixel_array(const py::handle& object) {
    if (!py::isinstance<py::array>(object)) {
        throw py::type_error("pixels are a numpy array of uint8, not " +
                             std::string(py::str(py::type::of(object).attr("__name__"))));
    }
    const auto array = py::reinterpret_borrow<py::array>(object);
    if (!array.dtype().is(py::dtype::of<uint8_t>())) {
        throw py::type_error("pixels are uint8, not " + std::string(py::str(array.dtype())));
    }
    if ((array.ndim() != 2 && array.ndim() != 3) || (array.ndim() == 3 && array.shape(2) != 3) ||
        array.shape(0) < 1 || array.shape(1) < 1) {
        throw py::value_error("pixels are height x width x 3, height x width x 4 with alpha, "
                              "or height x width for grey, not of shape " +
                              std::string(py::str(array.attr("shape"))));
    }
    return py::array_t<uint8_t, py::array::c_style>::ensure(array);
}

// An image as Python holds it: shared, so that arrays of its pixels keep it alive.
struct PyImage {
    std::shared_ptr<orvi::Image> image;
    std::shared_ptr<orvi::Library> owner; // the library whose memory holds the pixels
};

py::dict details_of(const orvi::Image& image) {
    py::dict details;
    for (const orvi::Detail& detail : image.details()) {
        if (detail.is_number()) {
            details[py::str(detail.key)] = py::int_(detail.number());
        } else {
            details[py::str(detail.key)] = py::str(detail.text());
        }
    }
    return details;
}

// The pixels of an image as an array sharing its memory: height x width x 3, or height x
// width for a grey image.
// What keeps an image alive for as long as an array of its memory lives.
py::capsule owner_of(const PyImage& held) {
    auto* keep = new std::shared_ptr<orvi::Image>(held.image);
    return py::capsule(
        keep, [](void* pointer) { delete static_cast<std::shared_ptr<orvi::Image>*>(pointer); });
}

py::array pixels_of(const PyImage& held) {
    const orvi::Image& image = *held.image;
    const py::capsule owner = owner_of(held);
    const auto height = static_cast<py::ssize_t>(image.height());
    const auto width = static_cast<py::ssize_t>(image.width());
    const auto channels = static_cast<py::ssize_t>(image.bytes_per_pixel());
    uint8_t* data = held.image->pixels();
    if (channels == 1) {
        return py::array_t<uint8_t>({height, width}, {width, py::ssize_t{1}}, data, owner);
    }
    return py::array_t<uint8_t>({height, width, channels},
                                {width * channels, channels, py::ssize_t{1}}, data, owner);
}

// A plane of a byte a pixel of an image (its indices, its alpha) as an array sharing its
// memory, height x width; None when the image has none.
py::object plane_of(const PyImage& held, const uint8_t* plane) {
    if (plane == nullptr) {
        return py::none();
    }
    const py::capsule owner = owner_of(held);
    const auto height = static_cast<py::ssize_t>(held.image->height());
    const auto width = static_cast<py::ssize_t>(held.image->width());
    return py::array_t<uint8_t>({height, width}, {width, py::ssize_t{1}}, plane, owner);
}

// The palette, entries x 3 (a copy), or None for a true-colour picture.
py::object palette_of(const PyImage& held) {
    const std::vector<uint8_t>& palette = held.image->palette();
    if (palette.empty()) {
        return py::none();
    }
    py::array_t<uint8_t> array({static_cast<py::ssize_t>(palette.size() / 3), py::ssize_t{3}});
    std::memcpy(array.mutable_data(), palette.data(), palette.size());
    return array;
}

// The colours and opacity, height x width x 4 (a copy), or None without alpha.
py::object rgba_of(const PyImage& held) {
    const orvi::Image& image = *held.image;
    if (image.alpha() == nullptr) {
        return py::none();
    }
    const auto height = static_cast<py::ssize_t>(image.height());
    const auto width = static_cast<py::ssize_t>(image.width());
    py::array_t<uint8_t> array({height, width, py::ssize_t{4}});
    uint8_t* out = array.mutable_data();
    const uint8_t* colours = image.straight_pixels();
    const size_t bytes = image.bytes_per_pixel();
    for (size_t i = 0; i < size_t{image.width()} * image.height(); ++i) {
        for (size_t c = 0; c < 3; ++c) {
            out[4 * i + c] = colours[bytes * i + (bytes == 1 ? 0 : c)];
        }
        out[4 * i + 3] = image.alpha()[i];
    }
    return array;
}

// What the file says about the picture, as a dict: its texts by key, and "dpi", "aspect"
// and "hot_spot" as (x, y), "camg" (the display mode) as a number, "ranges" as a list
// of dicts.
py::dict info_of(const orvi::Image& image) {
    py::dict info;
    const orvi::Description& description = image.description();
    for (const orvi::Text& text : description.texts) {
        if (!info.contains(text.key)) {
            info[py::str(text.key)] = py::str(text.value);
        }
    }
    const std::pair<const char*, const std::optional<orvi::Pair>*> pairs[] = {
        {"dpi", &description.dpi}, {"aspect", &description.aspect}, {"hot_spot", &description.hot_spot}};
    for (const auto& [key, pair] : pairs) {
        if (*pair) {
            info[key] = py::make_tuple((*pair)->x, (*pair)->y);
        }
    }
    if (description.display_mode) {
        info["camg"] = *description.display_mode;
    }
    if (!description.ranges.empty()) {
        py::list ranges;
        for (const orvi::ColourRange& range : description.ranges) {
            py::dict entry;
            entry["low"] = range.low;
            entry["high"] = range.high;
            entry["steps_a_second"] = range.steps_a_second();
            entry["reverse"] = range.reverse;
            entry["active"] = range.live();
            ranges.append(entry);
        }
        info["ranges"] = ranges;
    }
    return info;
}

// An image holding a copy of an array: height x width x 3 or height x width, uint8.
PyImage image_of_array(const py::object& array) {
    if (py::isinstance<py::array>(array)) {
        const auto rgba = py::reinterpret_borrow<py::array>(array);
        if (rgba.ndim() == 3 && rgba.shape(2) == 4 && rgba.dtype().is(py::dtype::of<uint8_t>()) &&
            rgba.shape(0) > 0 && rgba.shape(1) > 0) {
            const auto pixels = py::array_t<uint8_t, py::array::c_style>::ensure(rgba);
            auto owner = library();
            orvi::Error error;
            std::optional<orvi::Image> made;
            {
                const py::gil_scoped_release released;
                made = owner->make_rgba_image(static_cast<uint32_t>(pixels.shape(1)),
                                              static_cast<uint32_t>(pixels.shape(0)),
                                              pixels.data(), error);
            }
            if (!made) {
                raise(error, "");
            }
            return {std::make_shared<orvi::Image>(std::move(*made)), owner};
        }
    }
    const auto pixels = pixel_array(array);
    const auto height = static_cast<uint32_t>(pixels.shape(0));
    const auto width = static_cast<uint32_t>(pixels.shape(1));
    const uint32_t bytes = pixels.ndim() == 3 ? 3 : 1;
    auto owner = library();
    orvi::Error error;
    std::optional<orvi::Image> made;
    {
        const py::gil_scoped_release released;
        made = owner->make_image(width, height, bytes, pixels.data(), error);
    }
    if (!made) {
        raise(error, "");
    }
    return {std::make_shared<orvi::Image>(std::move(*made)), owner};
}

// The path a source names (a str or an os.PathLike), or nothing for bytes or a file.
std::optional<std::string> path_of(const py::object& source) {
    if (py::isinstance<py::str>(source) || py::hasattr(source, "__fspath__")) {
        return std::string(py::str(py::module_::import("os").attr("fspath")(source)));
    }
    return std::nullopt;
}

// The bytes of a source that is not a path: itself, or what its read() gives (a file
// object); a TypeError naming `function` for anything else.
py::object content_of(const py::object& source, const char* function) {
    py::object content = py::hasattr(source, "read") ? source.attr("read")() : source;
    if (!PyObject_CheckBuffer(content.ptr())) {
        throw py::type_error(std::string(function) + " takes a path, bytes or a file object, not " +
                             std::string(py::str(py::type::of(content).attr("__name__"))));
    }
    return content;
}

// The pictures of one file, loaded one at a time (an animation's frames in order cost a
// delta each). The library outlives them: it is held here, and let go after them.
struct PyPictures {
    std::shared_ptr<orvi::Library> owner;
    std::unique_ptr<orvi::Pictures> pictures;
    std::unique_ptr<std::mutex> lock = std::make_unique<std::mutex>();
};

PyPictures open_pictures(const py::object& source) {
    auto owner = library();
    orvi::Error error;
    std::optional<orvi::Pictures> opened;
    std::string shown;
    if (const std::optional<std::string> path = path_of(source)) {
        shown = orvi::quoted(*path);
        const py::gil_scoped_release released;
        opened = owner->open(*path, error);
    } else {
        // Bytes or a file object's: read through a file in memory, as a stream is.
        const std::string bytes = py::bytes(content_of(source, "open"));
        const int fd = ::memfd_create("orvi-frames", MFD_CLOEXEC);
        bool written = fd >= 0;
        for (size_t done = 0; written && done < bytes.size();) {
            const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
            written = put > 0;
            done += written ? static_cast<size_t>(put) : 0;
        }
        if (written && ::lseek(fd, 0, SEEK_SET) == 0) {
            const py::gil_scoped_release released;
            opened = owner->open_from(fd, error);
        } else {
            error = {orvi::kCannotRead, "the bytes cannot be held in memory to be read"};
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }
    if (!opened) {
        raise(error, shown.empty() ? "" : "cannot load " + shown);
    }
    return {owner, std::make_unique<orvi::Pictures>(std::move(*opened))};
}

PyImage load_picture(PyPictures& held, uint32_t number, bool details) {
    if (number < 1 || number > held.pictures->count()) {
        throw py::index_error("picture " + std::to_string(number) + " of " +
                              std::to_string(held.pictures->count()));
    }
    orvi::LoadOptions options;
    options.details = details;
    orvi::Error error;
    std::optional<orvi::Image> loaded;
    {
        const py::gil_scoped_release released;
        const std::lock_guard<std::mutex> one_at_a_time(*held.lock);
        loaded = held.pictures->load(number, error, options);
    }
    if (!loaded) {
        raise(error, "");
    }
    return {std::make_shared<orvi::Image>(std::move(*loaded)), held.owner};
}

PyImage load(const py::object& source, bool details, uint32_t page) {
    auto owner = library();
    orvi::LoadOptions options;
    options.details = details;
    options.page = page;
    orvi::Error error;
    std::optional<orvi::Image> loaded;
    std::string shown;
    if (const std::optional<std::string> path = path_of(source)) {
        shown = orvi::quoted(*path);
        const py::gil_scoped_release released;
        loaded = owner->load(*path, error, options);
    } else {
        // Bytes, or anything with read(): a file object.
        py::object content = content_of(source, "load");
        // The bytes as one C-contiguous block: a view with strides (memoryview(b)[::-1])
        // is copied in its own order first.
        Py_buffer view{};
        if (PyObject_GetBuffer(content.ptr(), &view, PyBUF_C_CONTIGUOUS) != 0) {
            PyErr_Clear();
            content = py::reinterpret_steal<py::object>(PyBytes_FromObject(content.ptr()));
            if (!content || PyObject_GetBuffer(content.ptr(), &view, PyBUF_C_CONTIGUOUS) != 0) {
                throw py::error_already_set();
            }
        }
        const std::unique_ptr<Py_buffer, void (*)(Py_buffer*)> held_view(&view, PyBuffer_Release);
        const std::span<const uint8_t> bytes(static_cast<const uint8_t*>(view.buf),
                                             static_cast<size_t>(view.len));
        shown = "the bytes";
        const py::gil_scoped_release released;
        loaded = owner->load(bytes, error, options);
    }
    if (!loaded) {
        raise(error, "cannot load " + shown);
    }
    return {std::make_shared<orvi::Image>(std::move(*loaded)), owner};
}

// A colour given as (red, green, blue), each 0 to 255, as 0xRRGGBB.
uint32_t colour_of(const py::object& colour, const char* keyword) {
    const std::string rule = std::string(keyword) + " is (red, green, blue), each 0 to 255";
    if (!py::isinstance<py::sequence>(colour) || py::isinstance<py::str>(colour) ||
        py::len(colour) != 3) {
        throw py::type_error(rule);
    }
    uint32_t packed = 0;
    for (const py::handle part : colour) {
        if (!py::isinstance<py::int_>(part) || py::isinstance<py::bool_>(part)) {
            throw py::type_error(rule);
        }
        const auto value = part.cast<long long>();
        if (value < 0 || value > 255) {
            throw py::value_error(rule);
        }
        packed = packed << 8U | static_cast<uint32_t>(value);
    }
    return packed;
}

orvi::SaveOptions save_options(const py::object& format, const py::object& depth, bool plain,
                               bool compress, bool reduce, bool exact, bool dither, bool names,
                               bool force, const py::object& background) {
    orvi::SaveOptions options;
    if (!format.is_none()) {
        options.format = py::str(format);
    }
    if (!depth.is_none()) {
        if (!py::isinstance<py::int_>(depth) || py::isinstance<py::bool_>(depth)) {
            throw py::type_error("depth is a whole number: 1 to 8, or 24");
        }
        const auto value = depth.cast<long long>();
        if (value < 0 || (value > 8 && value != 24)) {
            throw py::value_error("depth takes 1 to 8, or 24, not " + std::to_string(value));
        }
        options.depth = static_cast<uint32_t>(value);
    }
    options.plain = plain;
    options.compress = compress;
    options.reduce = reduce;
    options.exact = exact;
    options.dither = dither;
    options.names = names;
    options.force = force;
    if (!background.is_none()) {
        options.background = colour_of(background, "background");
    }
    return options;
}

// A palette picture from its indices (height x width, uint8) and palette (entries x 3).
PyImage image_of_palette(const py::object& indices_in, const py::object& palette_in,
                         const py::object& transparency) {
    const auto indices = pixel_array(indices_in);
    if (indices.ndim() != 2) {
        throw py::value_error("with a palette, the picture is its indices: height x width");
    }
    if (!py::isinstance<py::array>(palette_in)) {
        throw py::type_error("a palette is a numpy array of uint8, entries x 3");
    }
    const auto palette = py::array_t<uint8_t, py::array::c_style>::ensure(palette_in);
    if (!palette || palette.ndim() != 2 || palette.shape(1) != 3 ||
        !py::reinterpret_borrow<py::array>(palette_in).dtype().is(py::dtype::of<uint8_t>())) {
        throw py::value_error("a palette is uint8, entries x 3");
    }
    const int32_t transparent =
        transparency.is_none() ? -1 : static_cast<int32_t>(whole_number(transparency, "transparency", 255));
    auto owner = library();
    orvi::Error error;
    std::optional<orvi::Image> made;
    {
        const py::gil_scoped_release released;
        made = owner->make_palette_image(
            static_cast<uint32_t>(indices.shape(1)), static_cast<uint32_t>(indices.shape(0)),
            {palette.data(), static_cast<size_t>(palette.size())}, indices.data(), transparent,
            error);
    }
    if (!made) {
        raise(error, "");
    }
    return {std::make_shared<orvi::Image>(std::move(*made)), owner};
}

void save(const py::object& picture, const py::object& target, const py::object& format,
          const py::object& depth, bool plain, bool compress, bool reduce, bool exact, bool dither,
          bool names, bool force, const py::object& background, const py::object& palette,
          const py::object& transparency) {
    if (!palette.is_none() && py::isinstance<PyImage>(picture)) {
        throw py::type_error("palette= goes with an array of indices, not an orvi.Image");
    }
    const PyImage held = py::isinstance<PyImage>(picture) ? picture.cast<PyImage>()
                         : !palette.is_none() ? image_of_palette(picture, palette, transparency)
                                              : image_of_array(picture);
    const orvi::SaveOptions options = save_options(format, depth, plain, compress, reduce, exact,
                                                   dither, names, force, background);
    orvi::Error error;
    if (py::isinstance<py::str>(target) || py::hasattr(target, "__fspath__")) {
        const std::string path = py::str(py::module_::import("os").attr("fspath")(target));
        bool saved = false;
        {
            const py::gil_scoped_release released;
            saved = held.owner->save(*held.image, path, options, error);
        }
        if (!saved) {
            raise(error, "cannot save " + orvi::quoted(path));
        }
        return;
    }
    // A file object: the file is made in memory, then written to it.
    if (options.format.empty()) {
        throw py::value_error("saving to a file object needs format=");
    }
    const int memory = ::memfd_create("orvi-save", MFD_CLOEXEC);
    if (memory < 0) {
        throw py::error_already_set();
    }
    bool saved = false;
    {
        const py::gil_scoped_release released;
        saved = held.owner->save_to(*held.image, memory, options, error);
    }
    if (!saved) {
        ::close(memory);
        raise(error, "cannot save to the file object");
    }
    const off_t size = ::lseek(memory, 0, SEEK_END);
    std::string bytes(static_cast<size_t>(size), '\0');
    const ssize_t got = ::pread(memory, bytes.data(), bytes.size(), 0);
    ::close(memory);
    if (got != size) {
        throw std::runtime_error("cannot read back the file made in memory");
    }
    target.attr("write")(py::bytes(bytes));
}

// Applies an operation to a copy of `array`; the result as a new array, or copied into
// `out` (which must have the result's shape).
py::array apply(const py::object& array, const orvi::Operation& operation, const py::object& out) {
    PyImage held = image_of_array(array);
    orvi::Error error;
    bool applied = false;
    {
        const py::gil_scoped_release released;
        applied = held.owner->apply(*held.image, operation, error);
    }
    if (!applied) {
        raise(error, "");
    }
    py::array result = pixels_of(held);
    if (out.is_none()) {
        return result;
    }
    auto target = py::array_t<uint8_t>::ensure(out);
    if (!target || target.ndim() != result.ndim() || !target.writeable()) {
        throw py::value_error("out= must be a writable uint8 array of the result's shape");
    }
    for (py::ssize_t axis = 0; axis < result.ndim(); ++axis) {
        if (target.shape(axis) != result.shape(axis)) {
            throw py::value_error("out= must be a writable uint8 array of the result's shape");
        }
    }
    target.attr("__setitem__")(py::ellipsis(), result);
    return target;
}

bool direction(const std::string& value, const char* first, const char* second) {
    if (value != first && value != second) {
        throw py::value_error(std::string("takes '") + first + "' or '" + second + "', not '" +
                              value + "'");
    }
    return value == second;
}

// Each pixel's first index in a palette of at most 256 colours, or None when a colour is
// not in it: what Pillow's "P" mode needs from a picture read from a palette file.
py::object palette_indices(const py::array& pixels_in, const py::array& palette_in) {
    const auto pixels =
        py::array_t<uint8_t, py::array::c_style | py::array::forcecast>::ensure(pixels_in);
    const auto palette =
        py::array_t<uint8_t, py::array::c_style | py::array::forcecast>::ensure(palette_in);
    if (!pixels || pixels.ndim() != 3 || pixels.shape(2) != 3 || !palette || palette.ndim() != 2 ||
        palette.shape(1) != 3 || palette.shape(0) < 1 || palette.shape(0) > 256) {
        throw py::value_error("palette_indices takes height x width x 3 pixels and 1 to 256 "
                              "colours x 3, uint8");
    }
    auto owner = library();
    orvi::Error error;
    std::optional<orvi::Image> indices;
    {
        const py::gil_scoped_release released;
        indices = owner->palette_indices(pixels.data(), static_cast<uint32_t>(pixels.shape(1)),
                                         static_cast<uint32_t>(pixels.shape(0)), palette.data(),
                                         static_cast<size_t>(palette.shape(0)), error);
    }
    if (!indices) {
        if (error.code == orvi::kDoesNotFit) {
            return py::none();
        }
        raise(error, "");
    }
    return pixels_of(PyImage{std::make_shared<orvi::Image>(std::move(*indices)), owner});
}

} // namespace

PYBIND11_MODULE(_orvi, module) {
    module.doc() = "The Orvi library: old pictures (IFF ILBM, PCX, PNM, XPM, PNG) as numpy arrays";
    static Exceptions made;
    const py::object base = py::reinterpret_borrow<py::object>(PyExc_Exception);
    made.error = py::reinterpret_steal<py::object>(PyErr_NewExceptionWithDoc(
        "orvi.Error", "A failure of orvi: .code and .sentence say which.", base.ptr(), nullptr));
    // Each kind is an orvi.Error, and where Python has a kind of its own, that too: a
    // lack of memory is a MemoryError, a call that cannot be a ValueError.
    const auto subclass = [&](const char* name, const char* doc, PyObject* also = nullptr) {
        const py::object bases =
            also == nullptr
                ? made.error
                : py::object(py::make_tuple(made.error, py::reinterpret_borrow<py::object>(also)));
        return py::reinterpret_steal<py::object>(
            PyErr_NewExceptionWithDoc(name, doc, bases.ptr(), nullptr));
    };
    made.out_of_memory = subclass("orvi.OutOfMemory", "No memory, or a limit refused the picture.",
                                  PyExc_MemoryError);
    made.bad_file = subclass("orvi.BadFile", "The file breaks its format's rules.");
    made.unsupported =
        subclass("orvi.Unsupported", "A valid file of a kind orvi does not read or write.");
    made.access =
        subclass("orvi.AccessError", "A file or module cannot be opened, read or written.");
    made.usage = subclass("orvi.UsageError", "A call that cannot be: a bad operation or name.",
                          PyExc_ValueError);
    exceptions = &made;
    // What the binding's own work cannot allocate is orvi's lack of memory too.
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) {
                std::rethrow_exception(thrown);
            }
        } catch (const std::bad_alloc&) {
            set_error({orvi::kOutOfMemory, "there is not enough memory for it"}, "");
        }
    });
    module.attr("Error") = made.error;
    module.attr("OutOfMemory") = made.out_of_memory;
    module.attr("BadFile") = made.bad_file;
    module.attr("Unsupported") = made.unsupported;
    module.attr("AccessError") = made.access;
    module.attr("UsageError") = made.usage;
    module.attr("__version__") = ORVI_VERSION;
    module.attr("DEFAULT_MAX_PIXELS") = orvi::kDefaultMaxPixels;

    py::class_<PyImage>(module, "Image", "A picture in orvi's memory.")
        .def_property_readonly("width", [](const PyImage& held) { return held.image->width(); })
        .def_property_readonly("height", [](const PyImage& held) { return held.image->height(); })
        .def_property_readonly("format", [](const PyImage& held) { return held.image->format(); })
        .def_property_readonly("details",
                               [](const PyImage& held) { return details_of(*held.image); })
        .def_property_readonly("notes", [](const PyImage& held) { return held.image->notes(); })
        .def_property_readonly("complete",
                               [](const PyImage& held) { return held.image->complete(); })
        .def_property_readonly("gaps", [](const PyImage& held) { return held.image->gaps(); })
        .def_property_readonly(
            "palette", &palette_of,
            "A palette picture's palette in its file's order, entries x 3 uint8; None else.")
        .def_property_readonly(
            "indices", [](const PyImage& held) { return plane_of(held, held.image->indices()); },
            "A palette picture's indices, height x width uint8, sharing the image's memory.")
        .def_property_readonly(
            "alpha", [](const PyImage& held) { return plane_of(held, held.image->alpha()); },
            "The opacity of each pixel, height x width uint8 (sharing memory), or None.")
        .def_property_readonly(
            "transparency",
            [](const PyImage& held) -> py::object {
                if (held.image->transparent_index() < 0) {
                    return py::none();
                }
                return py::int_(held.image->transparent_index());
            },
            "The palette index of the transparent colour, or None.")
        .def_property_readonly("rgba", &rgba_of,
                               "Colours and opacity, height x width x 4 (a copy), or None "
                               "without alpha.")
        .def_property_readonly(
            "info", [](const PyImage& held) { return info_of(*held.image); },
            "What the file says of the picture: texts, dpi, aspect, hot_spot, camg, "
            "ranges.")
        .def_property_readonly(
            "duration", [](const PyImage& held) { return held.image->duration(); },
            "A frame of an animation: the seconds it is shown; 0 for a still.")
        .def_property_readonly("pixels", &pixels_of,
                               "The pixels, sharing the image's memory: height x width x 3 "
                               "(or height x width when grey), uint8.")
        .def("__repr__", [](const PyImage& held) {
            return "<orvi.Image " + held.image->format() + " " +
                   std::to_string(held.image->width()) + " x " +
                   std::to_string(held.image->height()) + ">";
        });

    py::class_<PyPictures>(module, "Pictures",
                           "The pictures of one file (pages, or an animation's frames), "
                           "loaded one at a time.")
        .def_property_readonly("count",
                               [](const PyPictures& held) { return held.pictures->count(); })
        .def_property_readonly("animated",
                               [](const PyPictures& held) { return held.pictures->frames(); })
        .def("load", &load_picture, py::arg("number"), py::kw_only(), py::arg("details") = true,
             "Picture `number`, from 1; frames load fastest in order.");
    module.def("open", &open_pictures, py::arg("source"),
               "The pictures of a path, bytes or a file object, to load one at a time.");
    module.def("load", &load, py::arg("source"), py::kw_only(), py::arg("details") = true,
               py::arg("page") = 1,
               "Loads a picture from a path, bytes or a file object into an orvi.Image; "
               "details=False leaves out what `orvi info` says of the file (.details is "
               "then empty), which for some formats takes a second look at the data; page "
               "picks a picture of a file holding several (DCX, an IFF LIST or CAT).");
    module.def("save", &save, py::arg("picture"), py::arg("target"), py::kw_only(),
               py::arg("format") = py::none(), py::arg("depth") = py::none(),
               py::arg("plain") = false, py::arg("compress") = true, py::arg("reduce") = false,
               py::arg("exact") = false, py::arg("dither") = false, py::arg("names") = false,
               py::arg("force") = false, py::arg("background") = py::none(),
               py::arg("palette") = py::none(), py::arg("transparency") = py::none(),
               "Saves an orvi.Image or a uint8 array (height x width x 3, x 4 with alpha, or "
               "height x width: grey, or with palette= (entries x 3) its indices, with "
               "transparency= the transparent one) to a path (atomically) or a file object; "
               "a depth of 1 to 8 reduces the colours to it unless exact=True; background="
               "(r, g, b) composes transparent pixels onto that colour; force=True replaces a "
               "file the user may not write.");
    module.def(
        "configure",
        [](const py::object& max_pixels, const py::object& memory_limit,
           const py::object& module_folder, const py::object& threads) {
            const std::lock_guard<std::mutex> held(library_lock);
            if (!threads.is_none()) {
                current_options.threads =
                    static_cast<uint32_t>(whole_number(threads, "threads", 1024));
            }
            if (!max_pixels.is_none()) {
                current_options.max_pixels = whole_number(max_pixels, "max_pixels", UINT64_MAX);
            }
            if (!memory_limit.is_none()) {
                current_options.memory_limit =
                    whole_number(memory_limit, "memory_limit", UINT64_MAX);
            }
            if (!module_folder.is_none()) {
                current_options.module_folder = py::str(module_folder);
            }
            current_library.reset(); // images made so far keep the library they came from
        },
        py::kw_only(), py::arg("max_pixels") = py::none(), py::arg("memory_limit") = py::none(),
        py::arg("module_folder") = py::none(), py::arg("threads") = py::none(),
        "Sets the pixel limit, the memory limit, the modules' folder or the threads one "
        "picture's operations use (0: one a core) for what comes next.");
    module.def("quoted", &orvi::quoted, py::arg("name"),
               "A file name as sentences show it: in single quotes, control characters "
               "escaped.");
    module.def("palette_indices", &palette_indices, py::arg("pixels"), py::arg("palette"),
               "Each pixel's first index in `palette` (n x 3, n <= 256) as a height x width "
               "uint8 array, or None when a colour is not in it.");
    module.def("formats", [] {
        py::list formats;
        for (const orvi::FormatInfo& format : orvi::Library::formats()) {
            py::dict entry;
            entry["name"] = format.name;
            entry["extensions"] = format.extensions;
            entry["reads"] = format.reads;
            entry["writes"] = format.writes;
            entry["most_side"] = format.most_side;
            entry["palette_depths"] = format.palette_depths;
            entry["true_colour"] = format.true_colour;
            formats.append(entry);
        }
        return formats;
    });
    module.def("filters", [] {
        orvi::Error error;
        const std::vector<orvi::Filter> filters = library()->filters(error);
        if (filters.empty()) {
            raise(error, "");
        }
        py::list list;
        for (const orvi::Filter& filter : filters) {
            py::dict entry;
            entry["name"] = filter.name;
            entry["size"] = filter.size;
            entry["weights"] = filter.weights;
            entry["default_divisor"] = filter.default_divisor;
            list.append(entry);
        }
        return list;
    });
    module.def(
        "memory",
        [] {
            const orvi::Library::Memory memory = library()->memory();
            py::dict use;
            use["bytes"] = memory.bytes;
            use["blocks"] = memory.blocks;
            use["peak_bytes"] = memory.peak_bytes;
            use["limit"] = memory.limit;
            return use;
        },
        "What the current library's images and work hold now.");

    py::module_ ops = module.def_submodule("ops", "The image operations, on uint8 arrays.");
    const auto out = py::arg("out") = py::none();
    ops.def(
        "gamma",
        [](const py::object& a, double g, const py::object& o) {
            return apply(a, orvi::Operation::gamma(g), o);
        },
        py::arg("pixels"), py::arg("gamma"), py::kw_only(), out);
    ops.def(
        "brightness",
        [](const py::object& a, int32_t v, const py::object& o) {
            return apply(a, orvi::Operation::brightness(v), o);
        },
        py::arg("pixels"), py::arg("offset"), py::kw_only(), out);
    ops.def(
        "rgb",
        [](const py::object& a, int32_t r, int32_t g, int32_t b, const py::object& o) {
            return apply(a, orvi::Operation::rgb(r, g, b), o);
        },
        py::arg("pixels"), py::arg("red"), py::arg("green"), py::arg("blue"), py::kw_only(), out);
    ops.def(
        "contrast",
        [](const py::object& a, int32_t v, const py::object& o) {
            return apply(a, orvi::Operation::contrast(v), o);
        },
        py::arg("pixels"), py::arg("contrast"), py::kw_only(), out);
    ops.def(
        "gray",
        [](const py::object& a, const py::object& o) {
            return apply(a, orvi::Operation::gray(), o);
        },
        py::arg("pixels"), py::kw_only(), out);
    ops.def(
        "negate",
        [](const py::object& a, const py::object& o) {
            return apply(a, orvi::Operation::negate(), o);
        },
        py::arg("pixels"), py::kw_only(), out);
    ops.def(
        "rotate",
        [](const py::object& a, const std::string& turn, const py::object& o) {
            return apply(a, orvi::Operation::rotate(direction(turn, "cw", "ccw")), o);
        },
        py::arg("pixels"), py::arg("turn") = "cw", py::kw_only(), out);
    ops.def(
        "flip",
        [](const py::object& a, const std::string& axis, const py::object& o) {
            return apply(a, orvi::Operation::flip(direction(axis, "h", "v")), o);
        },
        py::arg("pixels"), py::arg("axis") = "h", py::kw_only(), out);
    ops.def(
        "resize",
        [](const py::object& a, uint32_t width, uint32_t height, const py::object& o) {
            return apply(a, orvi::Operation::resize(width, height), o);
        },
        py::arg("pixels"), py::arg("width"), py::arg("height"), py::kw_only(), out);
    ops.def(
        "fill",
        [](const py::object& a, int32_t r, int32_t g, int32_t b, const py::object& o) {
            return apply(a, orvi::Operation::fill(r, g, b), o);
        },
        py::arg("pixels"), py::arg("red"), py::arg("green"), py::arg("blue"), py::kw_only(), out);
    ops.def(
        "convolve",
        [](const py::object& a, const std::string& name, std::optional<int32_t> divisor,
           uint8_t mode, const py::object& o) {
            return apply(a, orvi::Operation::convolve(name, divisor, mode), o);
        },
        py::arg("pixels"), py::arg("filter"), py::arg("divisor") = py::none(), py::arg("mode") = 0,
        py::kw_only(), out);
    ops.def(
        "kernel",
        [](const py::object& a, std::vector<int32_t> weights, std::optional<int32_t> divisor,
           uint8_t mode, const py::object& o) {
            return apply(a, orvi::Operation::kernel(std::move(weights), divisor, mode), o);
        },
        py::arg("pixels"), py::arg("weights"), py::arg("divisor") = py::none(), py::arg("mode") = 0,
        py::kw_only(), out);
}
