// The library's public face: images, loading through the format table's readers,
// saving through its writers with an atomic replace, operations and filters.
#include "orvi/library.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "lib/atomic_save.h"
#include "lib/formats.h"
#include "lib/host_pool.h"
#include "lib/library_inside.h"
#include "lib/modules.h"
#include "lib/names.h"
#include "lib/operations.h"
#include "lib/palette.h"
#include "lib/save_plan.h"
#include "lib/spool.h"
#include "orvi/batch.h"
#include "runtime/bands.h"
#include "runtime/result_codes.h"

namespace orvi {

// ---- Images

Image::Image(std::unique_ptr<State> state) : state_(std::move(state)) {}
Image::Image(Image&& other) noexcept = default;
Image& Image::operator=(Image&& other) noexcept = default;
Image::~Image() = default;

uint32_t Image::width() const {
    return static_cast<uint32_t>(state_->picture.Width);
}
uint32_t Image::height() const {
    return static_cast<uint32_t>(state_->picture.Height);
}
uint32_t Image::bytes_per_pixel() const {
    return state_->picture.BytesPerPixel;
}
uint64_t Image::size_in_bytes() const {
    return uint64_t{width()} * height() * bytes_per_pixel();
}
uint8_t* Image::pixels() {
    return state_->picture.Data;
}
const uint8_t* Image::pixels() const {
    return state_->picture.Data;
}
const std::vector<uint8_t>& Image::palette() const {
    return state_->palette;
}
const uint8_t* Image::indices() const {
    return state_->indices;
}
int32_t Image::transparent_index() const {
    return state_->transparent;
}
const uint8_t* Image::alpha() const {
    return state_->alpha;
}
const uint8_t* Image::straight_pixels() const {
    return state_->straight != nullptr ? state_->straight : state_->picture.Data;
}
bool Image::has_transparency() const {
    return state_->alpha != nullptr || state_->transparent >= 0;
}
const std::vector<FileChunk>& Image::chunks() const {
    return state_->chunks;
}
const Description& Image::description() const {
    return state_->description;
}
Description& Image::description() {
    return state_->description;
}
const std::string& Image::format() const {
    return state_->format;
}
const Image::Kind& Image::kind() const {
    return state_->kind;
}
const Details& Image::details() const {
    return state_->details;
}
const Detail* Image::detail(std::string_view key) const {
    for (const Detail& detail : state_->details) {
        if (detail.key == key) {
            return &detail;
        }
    }
    return nullptr;
}
const std::vector<std::string>& Image::notes() const {
    return state_->notes;
}
double Image::duration() const {
    return state_->seconds;
}
bool Image::complete() const {
    return state_->gaps.empty();
}
const std::vector<std::string>& Image::gaps() const {
    return state_->gaps;
}

namespace {

// The library's own codes, and the kind of failure each is.
constexpr std::pair<int32_t, ErrorKind> kLibraryCodeKinds[] = {
    {kCannotRead, ErrorKind::Access},      {kNotRecognised, ErrorKind::Unsupported},
    {kCannotWrite, ErrorKind::Access},     {kNoWriter, ErrorKind::Usage},
    {kDoesNotFit, ErrorKind::Unsupported}, {kNoModule, ErrorKind::Access},
    {kDamagedPng, ErrorKind::Damaged},     {kBadOperation, ErrorKind::Usage},
    {kNoSuchPage, ErrorKind::Usage},       {kPageOutside, ErrorKind::Damaged},
};

} // namespace

ErrorKind Error::kind() const {
    for (const auto& [library_code, kind] : kLibraryCodeKinds) {
        if (library_code == code) {
            return kind;
        }
    }
    const ResultCodeText* entry = result_code_entry(code);
    switch (entry != nullptr ? entry->kind : CodeKind::Damaged) {
    case CodeKind::Memory:
        return ErrorKind::Memory;
    case CodeKind::Unsupported:
        return ErrorKind::Unsupported;
    case CodeKind::Access:
        return ErrorKind::Access;
    case CodeKind::Damaged:
        break;
    }
    return ErrorKind::Damaged;
}

namespace {

// The progress routine of the running job on this thread, for the Gauge word.
thread_local const Progress* running_progress = nullptr;

extern "C" void relay_progress(int32_t percent) {
    if (running_progress != nullptr && *running_progress) {
        (*running_progress)(percent);
    }
}

// "PNM files that orvi writes hold at most 32767 x 32767 pixels, and the picture is ...".
std::string side_rule(const orvi::FormatEntry& format, const Picture& picture) {
    const std::string most = std::to_string(format.most_side);
    return std::string(format.name) + " files" +
           (format.side_is_writers ? " that orvi writes" : "") + " hold at most " + most + " x " +
           most + " pixels, and the picture is " + std::to_string(picture.Width) + " x " +
           std::to_string(picture.Height) + (format.side_is_writers ? "; save it as PNG" : "");
}

// What a module writer is given of the plan beyond the pixels and palette: transparency,
// then what its format keeps of the description.
void carry_into(const orvi::FormatEntry& format, const orvi::SavePlan& plan,
                std::vector<uint8_t>& chunks, OrviExtras& extras) {
    extras.transparent = plan.carried.transparent;
    extras.alpha = const_cast<uint8_t*>(plan.carried.alpha);
    extras.hot_x = -1;
    extras.hot_y = -1;
    if (format.carry != nullptr) {
        format.carry(plan.kept, chunks, extras);
        extras.chunks = chunks.empty() ? nullptr : chunks.data();
        extras.chunks_size = chunks.size();
    }
}

// Applies an operation to one of an image's other planes (`block`, of `bytes` a pixel);
// false when it cannot be (the block is then left as it was).
bool apply_to_plane(const orvi::Module& ops, orvi::HostPool& pool, uint8_t*& block,
                    uint32_t width, uint32_t height, uint32_t bytes, const Operation& operation) {
    Picture plane{block, static_cast<int32_t>(width), static_cast<int32_t>(height), bytes, width,
                  height, 8 * bytes, 0, 0, 0};
    Error ignored;
    if (!orvi::apply_operation(ops, pool, plane, operation, ignored)) {
        return false;
    }
    block = plane.Data;
    return true;
}

// What an operation does to the rest of an image (`width` x `height` before it): a
// change of colour that treats each pixel alone changes the palette (the indices keep
// their meaning) and the colours under the alpha; a turn, mirror or resize moves the
// indices, the alpha and the colours under it, and the hot spot, and a turn swaps the
// aspect and resolution. Anything else (grey, convolution) leaves no palette the pixels
// come from. What cannot follow is dropped.
void follow_operation(const orvi::Module& ops, Image::State& image, const Operation& operation,
                      uint32_t width, uint32_t height) {
    using Kind = Operation::Kind;
    orvi::HostPool& pool = *image.pool;
    const Kind kind = operation.kind;
    const bool pointwise = kind == Kind::Gamma || kind == Kind::Brightness || kind == Kind::Rgb ||
                           kind == Kind::Contrast || kind == Kind::Negate || kind == Kind::Fill;
    const bool geometric = kind == Kind::Rotate || kind == Kind::Flip || kind == Kind::Resize;
    if (pointwise) {
        if (!image.palette.empty()) {
            const auto entries = static_cast<uint32_t>(image.palette.size() / 3);
            auto* block = static_cast<uint8_t*>(pool.allocate(image.palette.size()));
            if (block != nullptr) {
                std::memcpy(block, image.palette.data(), image.palette.size());
            }
            if (block != nullptr && apply_to_plane(ops, pool, block, entries, 1, 3, operation)) {
                std::memcpy(image.palette.data(), block, image.palette.size());
            } else {
                image.drop_palette();
            }
            if (block != nullptr) {
                pool.free(block);
            }
        }
        if (image.straight != nullptr &&
            !apply_to_plane(ops, pool, image.straight, width, height, 3, operation)) {
            image.free_block(image.straight);
        }
        return;
    }
    if (!geometric) {
        image.drop_palette();
        image.free_block(image.straight);
        return;
    }
    const std::pair<uint8_t**, uint32_t> planes[] = {
        {&image.indices, 1}, {&image.alpha, 1}, {&image.straight, 3}};
    for (const auto& [plane, bytes] : planes) {
        if (*plane != nullptr && !apply_to_plane(ops, pool, *plane, width, height, bytes, operation)) {
            image.free_block(*plane);
        }
    }
    if (image.indices == nullptr) {
        image.drop_palette();
    }
    if (image.alpha == nullptr) {
        image.free_block(image.straight);
    }
    Description& description = image.description;
    const auto w = static_cast<int32_t>(width);
    const auto h = static_cast<int32_t>(height);
    if (kind == Kind::Rotate) {
        if (description.aspect) { // the pixel turns with the picture
            std::swap(description.aspect->x, description.aspect->y);
        }
        if (description.dpi) {
            std::swap(description.dpi->x, description.dpi->y);
        }
    }
    if (!description.hot_spot) {
        return;
    }
    Pair& spot = *description.hot_spot;
    switch (kind) {
    case Kind::Rotate:
        spot = operation.values[0] == 1 ? Pair{spot.y, w - 1 - spot.x} : Pair{h - 1 - spot.y, spot.x};
        break;
    case Kind::Flip:
        spot = operation.values[0] == 1 ? Pair{spot.x, h - 1 - spot.y} : Pair{w - 1 - spot.x, spot.y};
        break;
    default: // a resize: the spot keeps its place in the picture
        spot = Pair{static_cast<int32_t>(int64_t{spot.x} * operation.values[0] / std::max(w, 1)),
                    static_cast<int32_t>(int64_t{spot.y} * operation.values[1] / std::max(h, 1))};
        break;
    }
}

bool fail(Error& error, int32_t code, std::string sentence) {
    error = {code, std::move(sentence)};
    return false;
}

} // namespace

ProgressScope::ProgressScope(const Progress& progress) : saved_(running_progress) {
    running_progress = &progress;
}

ProgressScope::~ProgressScope() {
    running_progress = saved_;
}

OrviGaugeRoutine ProgressScope::routine(const Progress& progress) {
    return progress ? relay_progress : nullptr;
}

std::mutex& module_call_lock(const std::string& name) {
    static std::mutex guard;
    static std::map<std::string, std::unique_ptr<std::mutex>> locks;
    const std::lock_guard<std::mutex> held(guard);
    auto& lock = locks[name];
    if (!lock) {
        lock = std::make_unique<std::mutex>();
    }
    return *lock;
}

Options Options::from_environment() {
    Options options;
    if (const char* folder = std::getenv("ORVI_MODULE_PATH"); folder != nullptr && *folder != 0) {
        options.module_folder = folder;
    }
    return options;
}

uint64_t default_memory_limit() {
    return orvi::HostPool::default_limit();
}

// ---- The library's state

const orvi::Module* Library::State::module(const std::string& name, bool operations, Error& error) {
    const std::lock_guard<std::mutex> held(modules_lock);
    const auto found = modules.find(name);
    if (found != modules.end()) {
        return &found->second;
    }
    std::string why;
    auto opened = operations ? orvi::Module::open_ops(module_folder, why)
                             : orvi::Module::open_codec(module_folder, name, why);
    if (!opened) {
        error = {kNoModule, why};
        return nullptr;
    }
    return &modules.emplace(name, std::move(*opened)).first->second;
}

Library::Library(Options options) : state_(std::make_unique<State>()) {
    Options& settings = state_->settings;
    settings = std::move(options);
    state_->module_folder =
        settings.module_folder.empty() ? orvi::default_module_folder() : settings.module_folder;
    const uint64_t limit =
        settings.memory_limit != 0 ? settings.memory_limit : orvi::HostPool::default_limit();
    state_->pool = std::make_shared<orvi::HostPool>(limit, settings.max_pixels);
    state_->pool->set_threads(settings.threads != 0
                                  ? settings.threads
                                  : std::max(1U, std::thread::hardware_concurrency()));
}

Library::~Library() = default;

const Options& Library::options() const {
    return state_->settings;
}

std::vector<FormatInfo> Library::formats() {
    std::vector<FormatInfo> formats;
    for (const orvi::FormatEntry* format : orvi::format_table()) {
        formats.push_back(orvi::format_info(*format));
    }
    return formats;
}

std::optional<FormatInfo> Library::output_format(const std::string& path, const std::string& name,
                                                 Error& error) {
    const orvi::FormatEntry* format =
        name.empty() ? orvi::format_for_path(path) : orvi::written_format(name);
    if (format != nullptr) {
        return orvi::format_info(*format);
    }
    const size_t dot = path.rfind('.');
    const std::string asked = !name.empty()              ? name
                              : dot != std::string::npos ? path.substr(dot + 1)
                                                         : std::string();
    for (const orvi::FormatEntry* entry : orvi::format_table()) {
        for (const char* extension : entry->extensions) {
            if (extension != nullptr && !asked.empty() &&
                (orvi::format_for_path("." + asked) == nullptr) &&
                std::equal(asked.begin(), asked.end(), extension,
                           extension + std::strlen(extension),
                           [](char a, char b) { return std::tolower(a) == std::tolower(b); })) {
                error = {kNoWriter, "orvi reads " + std::string(entry->name) +
                                        " files but does not write them"};
                return std::nullopt;
            }
        }
    }
    error = {kNoWriter,
             (!name.empty()   ? "no format is called '" + name + "'"
              : asked.empty() ? std::string("a name without an extension names no format")
                              : "no format writes the extension '." + asked + "'") +
                 "; orvi writes " + orvi::written_extensions(),
             "format"};
    return std::nullopt;
}

std::optional<Image> Library::make_image(uint32_t width, uint32_t height, uint32_t bytes_per_pixel,
                                         const uint8_t* pixels, Error& error) {
    if ((bytes_per_pixel != 1 && bytes_per_pixel != 3) || width == 0 || height == 0 ||
        width > INT32_MAX || height > INT32_MAX) {
        error = {kBadOperation, "an image has a width and height of at least 1 and "
                                "one or three bytes a pixel"};
        return std::nullopt;
    }
    auto image = state_->fresh_image();
    const uint64_t bytes = uint64_t{width} * height * bytes_per_pixel;
    auto* data = static_cast<uint8_t*>(state_->pool->allocate(bytes));
    if (data == nullptr) {
        error = {kOutOfMemory, orvi::result_code_sentence(kOutOfMemory)};
        return std::nullopt;
    }
    if (pixels != nullptr) {
        std::memcpy(data, pixels, bytes);
    }
    image->picture = Picture{data,
                             static_cast<int32_t>(width),
                             static_cast<int32_t>(height),
                             bytes_per_pixel,
                             width,
                             height,
                             8 * bytes_per_pixel,
                             0,
                             0,
                             0};
    return Image(std::move(image));
}

std::optional<Image> Library::copy_image(const Image& image, Error& error) {
    std::optional<Image> copy = make_image(image.width(), image.height(), image.bytes_per_pixel(),
                                           image.pixels(), error);
    if (!copy) {
        return std::nullopt;
    }
    const Image::State& from = *image.state_;
    Image::State& to = *copy->state_;
    const uint64_t count = uint64_t{image.width()} * image.height();
    const std::pair<const uint8_t*, uint8_t**> planes[] = {
        {from.indices, &to.indices}, {from.alpha, &to.alpha}, {from.straight, &to.straight}};
    for (const auto& [source, target] : planes) {
        if (source == nullptr) {
            continue;
        }
        const uint64_t bytes = source == from.straight ? 3 * count : count;
        *target = static_cast<uint8_t*>(to.pool->allocate(bytes));
        if (*target == nullptr) {
            error = {kOutOfMemory, orvi::result_code_sentence(kOutOfMemory)};
            return std::nullopt;
        }
        std::memcpy(*target, source, bytes);
    }
    to.palette = from.palette;
    to.transparent = from.transparent;
    to.description = from.description;
    to.format = from.format;
    to.kind = from.kind;
    to.details = from.details;
    to.seconds = from.seconds;
    return copy;
}

std::optional<Image> Library::make_palette_image(uint32_t width, uint32_t height,
                                                 std::span<const uint8_t> palette,
                                                 const uint8_t* indices, int32_t transparent,
                                                 Error& error) {
    const size_t entries = palette.size() / 3;
    if (entries < 1 || entries > 256 || palette.size() % 3 != 0 ||
        transparent >= static_cast<int32_t>(entries) || indices == nullptr) {
        error = {kBadOperation, "a palette picture has 1 to 256 entries of red, green and blue, "
                                "and its transparent index is one of them"};
        return std::nullopt;
    }
    const uint64_t count = uint64_t{width} * height;
    if (count != 0 && *std::max_element(indices, indices + count) >= entries) {
        error = {kBadOperation, "an index of the picture is past its palette's " +
                                    std::to_string(entries) + " entries"};
        return std::nullopt;
    }
    std::optional<Image> image = make_image(width, height, 3, nullptr, error);
    if (!image) {
        return std::nullopt;
    }
    Image::State& state = *image->state_;
    state.indices = static_cast<uint8_t*>(state.pool->allocate(count));
    if (state.indices == nullptr) {
        error = {kOutOfMemory, orvi::result_code_sentence(kOutOfMemory)};
        return std::nullopt;
    }
    std::memcpy(state.indices, indices, count);
    state.palette.assign(palette.begin(), palette.end());
    state.transparent = transparent;
    for (uint64_t i = 0; i < count; ++i) {
        std::memcpy(state.picture.Data + 3 * i, palette.data() + 3 * size_t{indices[i]}, 3);
    }
    return image;
}

std::optional<Image> Library::make_rgba_image(uint32_t width, uint32_t height, const uint8_t* rgba,
                                              Error& error) {
    std::optional<Image> image = make_image(width, height, 3, nullptr, error);
    if (!image) {
        return std::nullopt;
    }
    Image::State& state = *image->state_;
    const uint64_t count = uint64_t{width} * height;
    state.alpha = static_cast<uint8_t*>(state.pool->allocate(count));
    state.straight = static_cast<uint8_t*>(state.pool->allocate(3 * count));
    if (state.alpha == nullptr || state.straight == nullptr) {
        error = {kOutOfMemory, orvi::result_code_sentence(kOutOfMemory)};
        return std::nullopt;
    }
    for (uint64_t i = 0; i < count; ++i) {
        const uint8_t* in = rgba + 4 * i;
        std::memcpy(state.straight + 3 * i, in, 3);
        state.alpha[i] = in[3];
        for (size_t c = 0; c < 3; ++c) {
            state.picture.Data[3 * i + c] = static_cast<uint8_t>((in[c] * in[3] + 127U) / 255U);
        }
    }
    return image;
}

namespace {

// Runs `write` into `path`, replacing it only on success, or when `path` is null into `fd`
// through a spool.
orvi::SaveOutcome save_outcome(const std::string* path, int fd, const SaveOptions& options,
                               const std::function<int32_t(const char*)>& write) {
    return path != nullptr
               ? orvi::save_atomically(*path, write, {options.force, options.sweep_leftovers,
                                                      options.flush_folder})
               : orvi::save_through_spool(
                     fd, fd == STDOUT_FILENO ? "standard output" : "the output", write);
}

} // namespace

bool Library::State::write(const Image& image, const std::string* path, int fd,
                           const SaveOptions& options, Error& error,
                           std::vector<std::string>* notes) {
    const orvi::FormatEntry* format = !options.format.empty() ? orvi::written_format(options.format)
                                      : path != nullptr       ? orvi::format_for_path(*path)
                                                              : nullptr;
    if (format == nullptr) {
        (void)Library::output_format(path != nullptr ? *path : "", options.format, error);
        return false;
    }
    if (format->save_frames != nullptr) {
        // A still in a format of animations: an animation of one frame.
        bool given = false;
        return write_frames(
            *format,
            [&]() -> const Image* {
                const bool first = !given;
                given = true;
                return first ? &image : nullptr;
            },
            path, fd, options, error, notes);
    }
    const Picture& source = image.state_->picture;
    if (static_cast<uint32_t>(source.Width) > format->most_side ||
        static_cast<uint32_t>(source.Height) > format->most_side) {
        return fail(error, kDoesNotFit, side_rule(*format, source));
    }
    // A grey file asked for (a .pgm name) gets grey pixels: the writer chooses its kind by
    // the bytes a pixel takes.
    const bool grey = source.BytesPerPixel == 3 &&
                      orvi::grey_output(*format, options.format, path != nullptr ? *path : "");
    orvi::SavePlan plan;
    if (!orvi::plan_save(*pool, *image.state_, *format, options, grey, plan, error)) {
        return false;
    }
    if (notes != nullptr) {
        notes->insert(notes->end(), plan.notes.begin(), plan.notes.end());
    }
    Picture& picture = plan.picture;
    std::optional<orvi::IndexedImage>& indexed = plan.indexed;
    const ProgressScope scope(options.progress);
    const OrviGaugeRoutine gauge = ProgressScope::routine(options.progress);
    const orvi::Module* writer = nullptr;
    CodecRequest request{};
    OrviExtras extras{};
    std::vector<uint8_t> carried_chunks;
    if (format->module != nullptr) {
        writer = module(format->module, false, error);
        if (writer == nullptr) {
            return false;
        }
        request.Pic = &picture;
        format->pack(options, indexed ? &indexed->record : nullptr, request);
        carry_into(*format, plan, carried_chunks, extras);
    }
    std::string writer_error;
    const auto write_file = [&](const char* file) -> int32_t {
        if (writer == nullptr) {
            return format->save(*pool, file, picture, indexed ? &*indexed : nullptr, plan.carried,
                                options, gauge, writer_error);
        }
        const std::lock_guard<std::mutex> serving(module_call_lock(format->module));
        return orvi::run_codec_job(*writer, *pool,
                                   {kCommandSave, file, &request, gauge, {}, &extras});
    };
    const orvi::SaveOutcome outcome = save_outcome(path, fd, options, write_file);
    if (outcome.error.empty()) {
        return true;
    }
    if (outcome.code == kOk) {
        error = {kCannotWrite, outcome.error, outcome.forcible ? "force" : ""};
        return false;
    }
    const ResultCodeText* entry = result_code_entry(outcome.code);
    error = {outcome.code,
             writer == nullptr ? writer_error : orvi::result_code_sentence(outcome.code),
             entry != nullptr && entry->option != nullptr ? entry->option : ""};
    return false;
}

bool Library::State::write_frames(const orvi::FormatEntry& format, const orvi::NextFrame& next,
                                  const std::string* path, int fd, const SaveOptions& options,
                                  Error& error, std::vector<std::string>* notes) {
    // `error` may be set while the frames are given (a frame the caller could not make):
    // then the file is not kept.
    std::string writer_error;
    std::vector<std::string> told;
    int32_t code = kOk;
    // Each frame is checked as it comes against the format's sides and the first frame's
    // size, which every frame of an animation has.
    std::string refusal;
    uint32_t number = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    const orvi::NextFrame checked = [&]() -> const Image* {
        const Image* image = next();
        if (image == nullptr) {
            return nullptr;
        }
        if (++number == 1) {
            width = image->width();
            height = image->height();
        }
        if (image->width() > format.most_side || image->height() > format.most_side) {
            refusal = side_rule(format, image->state_->picture);
        } else if (image->width() != width || image->height() != height) {
            refusal = "frame " + std::to_string(number) + " is " +
                           std::to_string(image->width()) + " x " +
                           std::to_string(image->height()) + ", not the first frame's " +
                           std::to_string(width) + " x " + std::to_string(height);
        } else {
            return image;
        }
        code = kDoesNotFit;
        return nullptr;
    };
    const auto write_file = [&](const char* file) -> int32_t {
        const int32_t written = format.save_frames(*pool, file, checked, options, told, writer_error);
        if (code != kOk) {
            writer_error = refusal;
            return code;
        }
        return written != kOk ? written : error.code;
    };
    const orvi::SaveOutcome outcome = save_outcome(path, fd, options, write_file);
    if (notes != nullptr) {
        notes->insert(notes->end(), told.begin(), told.end());
    }
    if (outcome.error.empty()) {
        return true;
    }
    if (outcome.code == kOk) {
        error = {kCannotWrite, outcome.error, outcome.forcible ? "force" : ""};
    } else if (error.code == kOk) {
        error = {outcome.code, writer_error};
    }
    return false;
}

bool Library::save_animation(const NextImage& next, const std::string& path,
                             const SaveOptions& options, Error& error,
                             std::vector<std::string>* notes) {
    return without_throwing(error, false, [&] {
        const orvi::FormatEntry* format = !options.format.empty()
                                              ? orvi::written_format(options.format)
                                              : orvi::format_for_path(path);
        if (format == nullptr) {
            (void)Library::output_format(path, options.format, error);
            return false;
        }
        if (format->save_frames == nullptr) {
            return fail(error, kNoWriter,
                        std::string(format->name) + " files hold one picture, not an animation");
        }
        error = {};
        std::optional<Image> current;
        // A frame the caller could not make stops the save with the caller's error.
        const orvi::NextFrame frames = [&]() -> const Image* {
            if (error.code != kOk) {
                return nullptr;
            }
            current = next(error);
            return current ? &*current : nullptr;
        };
        const bool saved = state_->write_frames(*format, frames, &path, -1, options, error, notes);
        return saved && error.code == kOk;
    });
}

bool Library::save(const Image& image, const std::string& path, const SaveOptions& options,
                   Error& error, std::vector<std::string>* notes) {
    return without_throwing(error, false,
                            [&] { return state_->write(image, &path, -1, options, error, notes); });
}

bool Library::save_to(const Image& image, int fd, const SaveOptions& options, Error& error,
                      std::vector<std::string>* notes) {
    if (options.format.empty()) {
        error = {kNoWriter, "writing to a stream needs a format", "format"};
        return false;
    }
    return without_throwing(
        error, false, [&] { return state_->write(image, nullptr, fd, options, error, notes); });
}

bool Library::apply(Image& image, const Operation& operation, Error& error) {
    if (const std::string problem = check(operation); !problem.empty()) {
        return fail(error, kBadOperation, problem);
    }
    const orvi::Module* ops = state_->module("ops", true, error);
    if (ops == nullptr) {
        return false;
    }
    return without_throwing(error, false, [&] {
        const std::lock_guard<std::mutex> serving(module_call_lock("ops"));
        Image::State& state = *image.state_;
        const uint32_t width = image.width();
        const uint32_t height = image.height();
        if (!orvi::apply_operation(*ops, *state.pool, state.picture, operation, error)) {
            return false;
        }
        follow_operation(*ops, state, operation, width, height);
        return true;
    });
}

std::vector<Filter> Library::filters(Error& error) {
    const orvi::Module* ops = state_->module("ops", true, error);
    return ops != nullptr ? orvi::module_filters(*ops) : std::vector<Filter>{};
}

std::optional<Filter> Library::find_filter(const std::string& name, Error& error) {
    const orvi::Module* ops = state_->module("ops", true, error);
    if (ops == nullptr) {
        return std::nullopt;
    }
    std::vector<int32_t> weights;
    std::string why;
    if (!orvi::filter_weights(*ops, name, weights, why)) {
        error = {kBadOperation, why};
        return std::nullopt;
    }
    for (Filter& filter : orvi::module_filters(*ops)) {
        if (filter.weights == weights) {
            return filter;
        }
    }
    return std::nullopt;
}

void Library::in_bands(size_t count, size_t least,
                       const std::function<void(size_t first, size_t end)>& work) const {
    const size_t most = std::max<size_t>(1, count / std::max<size_t>(least, 1));
    const auto bands = static_cast<uint32_t>(
        std::min<size_t>({state_->pool->threads(), most, runtime::kMostBands}));
    runtime::run_bands(count, bands,
                       [&work](uint32_t /*band*/, size_t first, size_t end) { work(first, end); });
}

Library::Memory Library::memory() const {
    const orvi::HostPool& pool = *state_->pool;
    return {pool.live_bytes(), pool.live_blocks(), pool.peak_bytes(), pool.limit()};
}

orvi::HostPool& LibraryInside::pool(Library& library) {
    return *library.state_->pool;
}

void Library::open_modules() {
    for (const orvi::FormatEntry* format : orvi::format_table()) {
        Error ignored;
        if (format->module != nullptr) {
            (void)state_->module(format->module, false, ignored);
        }
    }
    Error ignored;
    (void)state_->module("ops", true, ignored);
}

} // namespace orvi
