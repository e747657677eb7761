// Loading: a file is mapped (or its bytes taken as they are in memory) once, and that one
// span serves recognition, its pages, the module's reading, failure wording and details.
// What can be read only once (a pipe, a device) is spooled into a private temporary
// file first, and mapped from there.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "lib/description.h"
#include "lib/formats.h"
#include "lib/library_inside.h"
#include "lib/names.h"
#include "lib/spool.h"
#include "orvi/library.h"
#include "runtime/result_codes.h"

namespace orvi {
namespace {

// The name a module's job gives the file it reads from bytes the caller holds.
constexpr const char* kMemoryName = "orvi:memory";

// The bytes of what a load reads, held for as long as the load lasts: a file mapped
// read-only, a spool of a stream mapped the same way, or bytes the caller holds.
class Input {
public:
    Input() = default;
    explicit Input(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;
    Input(Input&& other) noexcept
        : spool_(std::move(other.spool_)), bytes_(other.bytes_), name_(std::move(other.name_)),
          mapped_(other.mapped_) {
        other.mapped_ = false;
    }
    Input& operator=(Input&&) = delete;
    ~Input() {
        if (mapped_) {
            ::munmap(const_cast<uint8_t*>(bytes_.data()), bytes_.size());
        }
    }

    // A file by its name: mapped when it is a regular file, spooled first when it can be
    // read only once; nothing with the error when it cannot be read.
    static std::optional<Input> open(const std::string& path, Error& error) {
        Input input;
        std::string why;
        const auto source = orvi::readable_source(path, input.spool_, why);
        if (!source) {
            error = {kCannotRead, why};
            return std::nullopt;
        }
        if (!input.map(*source, error)) {
            return std::nullopt;
        }
        input.name_ = *source;
        return input;
    }

    // What can be read from `fd` to its end, spooled and mapped.
    static std::optional<Input> read_from(int fd, Error& error) {
        Input input;
        std::string why;
        input.spool_ = orvi::Spool::create(why);
        if (!input.spool_ || !input.spool_->fill_from(
                                 fd, fd == STDIN_FILENO ? "standard input" : "the input", why)) {
            error = {kCannotRead, why};
            return std::nullopt;
        }
        if (!input.map(input.spool_->path(), error)) {
            return std::nullopt;
        }
        input.name_ = input.spool_->path();
        return input;
    }

    [[nodiscard]] std::span<const uint8_t> bytes() const { return bytes_; }
    // The name its module's job reads it by (the bytes are served from memory).
    [[nodiscard]] const std::string& name() const { return name_; }

private:
    bool map(const std::string& path, Error& error) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            error = {kCannotRead, std::string("it cannot be read (") + std::strerror(errno) + ")"};
            return false;
        }
        struct stat status {};
        bool done = false;
        if (::fstat(fd, &status) != 0) {
            error = {kCannotRead, std::string("it cannot be read (") + std::strerror(errno) + ")"};
        } else if (S_ISDIR(status.st_mode)) {
            error = {kCannotRead, "it is a folder"};
        } else if (status.st_size == 0) {
            done = true; // empty: recognition says so
        } else {
            void* bytes =
                ::mmap(nullptr, static_cast<size_t>(status.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
            if (bytes == MAP_FAILED) {
                error = {kCannotRead,
                         std::string("it cannot be read (") + std::strerror(errno) + ")"};
            } else {
                bytes_ = {static_cast<const uint8_t*>(bytes), static_cast<size_t>(status.st_size)};
                mapped_ = true;
                done = true;
            }
        }
        ::close(fd);
        return done;
    }

    std::optional<orvi::Spool> spool_;
    std::span<const uint8_t> bytes_;
    std::string name_ = kMemoryName;
    bool mapped_ = false;
};

// The format of the input from its content, or nothing with the reason.
const orvi::FormatEntry* recognise_bytes(std::span<const uint8_t> bytes, Error& error) {
    std::string why;
    const orvi::FormatEntry* format = orvi::recognise_format(bytes, why);
    if (format == nullptr) {
        error = {kNotRecognised, why};
    }
    return format;
}

// What a reader's report says its file's data did not give, a sentence each.
std::vector<std::string> gaps_of(const OrviJobReport& report, const Picture& picture) {
    std::vector<std::string> gaps;
    const auto width = static_cast<uint64_t>(static_cast<uint32_t>(picture.Width));
    const auto height = static_cast<uint64_t>(static_cast<uint32_t>(picture.Height));
    const auto count = [](uint64_t number, const char* one, const char* many) {
        return std::to_string(number) + " " + (number == 1 ? one : many);
    };
    if (report.pixels_missing != 0 && width != 0) {
        const uint64_t rows =
            (width * height - std::min(report.pixels_missing, width * height)) / width;
        gaps.push_back("the image data ends at row " + std::to_string(rows) + " of " +
                       std::to_string(height) + "; the rest is black");
    }
    if (report.unknown_colours != 0) {
        gaps.push_back(count(report.unknown_colours, "colour names", "colours name") +
                       " no colour orvi knows; their pixels are red");
    }
    if (report.line_palettes_short != 0) {
        gaps.push_back("the palettes that change line by line end at row " +
                       std::to_string(report.line_palette_rows) + " of " + std::to_string(height) +
                       "; the rows after keep the last");
    }
    if (report.pixels_past_palette != 0) {
        gaps.push_back(
            count(report.pixels_past_palette, "pixel has an index", "pixels have indices") +
            " past the colours of the palette; they are black");
    }
    if (report.unknown_codes != 0) {
        gaps.push_back(count(report.unknown_codes, "pixel has a code", "pixels have codes") +
                       " that no colour of the file defines");
    }
    return gaps;
}

// The details `orvi info` shows of a picture's palette, transparency and description.
void describe_details(const Image::State& image, Details& details) {
    if (!image.palette.empty()) {
        details.push_back({"palette_entries", static_cast<int64_t>(image.palette.size() / 3)});
    }
    if (image.transparent >= 0) {
        details.push_back({"transparent_index", image.transparent});
    } else if (image.alpha != nullptr) {
        details.push_back({"transparency", std::string("alpha")});
    }
    const Description& description = image.description;
    for (const Text& text : description.texts) {
        details.push_back({text.key, text.value});
    }
    if (description.dpi) {
        details.push_back({"dpi", std::to_string(description.dpi->x) + " x " +
                                      std::to_string(description.dpi->y)});
    }
    if (description.aspect) {
        details.push_back({"aspect", std::to_string(description.aspect->x) + ":" +
                                         std::to_string(description.aspect->y)});
    }
    if (description.hot_spot) {
        details.push_back({"hot_spot", std::to_string(description.hot_spot->x) + ", " +
                                           std::to_string(description.hot_spot->y)});
    }
    if (description.display_mode) {
        char mode[16];
        std::snprintf(mode, sizeof mode, "0x%X", *description.display_mode);
        details.push_back({"camg", std::string(mode)});
    }
    for (const ColourRange& range : description.ranges) {
        // Deluxe Paint writes its empty slots too (registers 0-0, with or without a
        // rate): a range of one register moves nothing, and is not shown.
        if (range.low != range.high) {
            details.push_back({"range", range_text(range)});
        }
    }
}

// "it holds 3 pictures, numbered 1 to 3".
std::string no_such_page(size_t pages) {
    if (pages == 0) {
        return "it holds no picture";
    }
    if (pages == 1) {
        return "it holds one picture";
    }
    return "it holds " + std::to_string(pages) + " pictures, numbered 1 to " +
           std::to_string(pages);
}

} // namespace

// The pictures of an input of a known format, and the loading of any of them.
class PageLoader {
public:
    PageLoader(Library& library, const orvi::FormatEntry& format, const Input& input)
        : library_(*library.state_), format_(format), bytes_(input.bytes()), name_(input.name()) {
        const std::span<const uint8_t> bytes = bytes_;
        if (format.pages != nullptr) {
            pages_ = format.pages(bytes);
        } else {
            pages_.push_back({bytes, {}, 0});
        }
        several_ = format.pages != nullptr;
    }
    PageLoader(const PageLoader&) = delete;
    PageLoader& operator=(const PageLoader&) = delete;
    ~PageLoader() { restart_animation(); }

    [[nodiscard]] size_t count() const { return pages_.size(); }
    [[nodiscard]] bool frames() const { return !pages_.empty() && pages_.front().frame; }

    // Picture `number` (from 1), or nothing with the error.
    std::optional<Image> load(uint32_t number, const LoadOptions& options, Error& error) {
        const orvi::Page& page = pages_[number - 1];
        if (page.bytes.empty()) {
            error = {kPageOutside,
                     "its table puts picture " + std::to_string(number) + " outside the file"};
            return std::nullopt;
        }
        return page.frame ? load_frame(number, options, error)
                          : read(page, number, options, nullptr, error);
    }

private:
    // The frames of an animation are read in order, each from those before: going back
    // starts again from the first; once one cannot be drawn, none after it can.
    std::optional<Image> load_frame(uint32_t number, const LoadOptions& options, Error& error) {
        const uint32_t index = number - 1;
        if (index < next_frame_) {
            restart_animation();
        }
        if (stopped_) {
            error = {stop_.code,
                     "frame " + std::to_string(number) + " comes after " + stop_.sentence};
            return std::nullopt;
        }
        LoadOptions passing;
        passing.details = false;
        passing.extras = false;
        while (next_frame_ <= index) {
            const bool wanted = next_frame_ == index;
            frames_.frame = next_frame_;
            Error failure;
            std::optional<Image> image =
                read(pages_[next_frame_], next_frame_ + 1, wanted ? options : passing, &frames_,
                     failure);
            if (!image) {
                const std::string which = "frame " + std::to_string(next_frame_ + 1) + " of " +
                                          std::to_string(pages_.size());
                stopped_ = true;
                stop_ = {failure.code, which + ", which cannot be drawn: " + failure.sentence};
                error = wanted ? Error{failure.code,
                                       "its " + which + " cannot be drawn: " + failure.sentence}
                               : Error{failure.code, "frame " + std::to_string(number) +
                                                         " comes after " + stop_.sentence};
                return std::nullopt;
            }
            ++next_frame_;
            if (wanted) {
                return image;
            }
        }
        return std::nullopt; // not reached: the loop returns at `index`
    }

    void restart_animation() {
        for (uint8_t*& bitmap : frames_.bitmaps) {
            if (bitmap != nullptr) {
                library_.pool->free(bitmap);
            }
        }
        frames_ = {};
        next_frame_ = 0;
        stopped_ = false;
    }

    // What `orvi info` tells of an animation's frames: how many, how long together, how
    // their changes are coded, which this is and how long each is shown.
    void frame_details(uint32_t number, Details& details) const {
        uint64_t jiffies = 0;
        std::string operations;
        for (const orvi::Page& frame : pages_) {
            jiffies += frame.jiffies;
            const std::string operation = std::to_string(frame.operation);
            if (frame.operation != 0 && (", " + operations + ",").find(", " + operation + ",") ==
                                            std::string::npos) {
                operations += (operations.empty() ? "" : ", ") + operation;
            }
        }
        details.push_back(orvi::number_detail("frames", pages_.size()));
        details.push_back(orvi::number_detail("jiffies", jiffies));
        details.push_back(orvi::text_detail("operation", operations.empty() ? "0" : operations));
        details.push_back(orvi::number_detail("frame", number));
        for (const orvi::Page& frame : pages_) {
            details.push_back(orvi::number_detail("frame_jiffies", frame.jiffies));
        }
    }

    // Reads `page` (picture `number`); `frames` carries an animation from frame to frame.
    std::optional<Image> read(const orvi::Page& page, uint32_t number, const LoadOptions& options,
                              OrviFrames* frames, Error& error) {
        // A frame's FORM holds its changes: the first frame's says what the picture is.
        const orvi::Page& described = page.frame ? pages_.front() : page;
        auto image = library_.fresh_image();
        Picture& picture = image->picture;
        CodecRequest request{};
        request.Pic = &picture;
        const ProgressScope scope(options.progress);
        const OrviGaugeRoutine gauge = ProgressScope::routine(options.progress);
        int32_t code = kOk;
        std::string sentence;
        OrviJobReport report{};
        orvi::HostPool& pool = *library_.pool;
        OrviExtras extras{};
        extras.transparent = -1;
        OrviExtras* asked = options.extras ? &extras : nullptr;
        if (format_.module != nullptr) {
            const orvi::Module* reader = library_.module(format_.module, false, error);
            if (reader == nullptr) {
                return std::nullopt;
            }
            const orvi::PageFile file(page);
            const std::lock_guard<std::mutex> serving(module_call_lock(format_.module));
            orvi::CodecJob job{kCommandLoad, name_.c_str(), &request, gauge, file.segments(),
                               asked};
            job.frames = frames;
            code = orvi::run_codec_job(*reader, pool, job, &report);
        } else {
            code = format_.load(pool, page.bytes, picture, image->notes, gauge, asked, sentence);
        }
        keep_extras(*image, extras, code == kOk);
        if (code == kTooManyPixels && format_.module != nullptr) {
            sentence = orvi::too_many_pixels_sentence(report.declared_width, report.declared_height,
                                                      pool.max_pixels());
        } else if (code != kOk && format_.module != nullptr) {
            sentence = format_.explain != nullptr ? format_.explain(code, page) : "";
            sentence = sentence.empty() ? orvi::result_code_sentence(code) : sentence;
        }
        if (code != kOk) {
            picture.Data = nullptr; // a failed reader hands over nothing
            error = {code, sentence, code == kTooManyPixels ? "max_pixels" : ""};
            return std::nullopt;
        }
        image->format = format_.name;
        image->kind = orvi::written_kind(format_, described);
        image->gaps = gaps_of(report, picture);
        // A frame shown for no time at all is shown for one jiffy, as players do.
        image->seconds = page.frame ? std::max<uint32_t>(page.jiffies, 1) / 60.0 : 0.0;
        if (options.extras && format_.describe != nullptr) {
            format_.describe(described, image->description);
        }
        if (options.chunks && format_.list_chunks != nullptr) {
            format_.list_chunks(page.frame ? bytes_ : page.bytes, image->chunks);
        }
        if (options.details) {
            Details extra;
            const uint32_t bits = format_.details(described, picture, request, extra);
            const char* shown = page.frame && format_.animation_name != nullptr
                                    ? format_.animation_name
                                    : format_.name;
            image->details = {orvi::text_detail("format", shown),
                              orvi::number_detail("width", static_cast<uint32_t>(picture.Width)),
                              orvi::number_detail("height", static_cast<uint32_t>(picture.Height)),
                              orvi::number_detail("bits_per_pixel", bits)};
            if (page.frame) {
                frame_details(number, image->details);
            }
            image->details.insert(image->details.end(), extra.begin(), extra.end());
            if (options.extras) {
                describe_details(*image, image->details);
            }
            if (!page.frame && several_ &&
                (pages_.size() > 1 || page.bytes.size() != bytes_.size())) {
                image->details.push_back(orvi::number_detail("pages", pages_.size()));
                image->details.push_back(orvi::number_detail("page", number));
            }
        }
        return Image(std::move(image));
    }

    // What a reader gave beside the pixels, into the image; a failed load's is freed.
    static void keep_extras(Image::State& image, OrviExtras& extras, bool loaded) {
        orvi::HostPool& pool = *image.pool;
        if (!loaded) {
            for (uint8_t* block : {extras.indices, extras.alpha, extras.straight}) {
                if (block != nullptr) {
                    pool.free(block);
                }
            }
            return;
        }
        image.alpha = extras.alpha;
        image.straight = extras.straight;
        const uint32_t count = std::min<uint32_t>(extras.palette_count, 256);
        if (extras.indices != nullptr && count == 0) {
            pool.free(extras.indices);
        } else if (extras.indices != nullptr) {
            image.indices = extras.indices;
            image.palette.assign(extras.palette, extras.palette + 3 * size_t{count});
            image.transparent = extras.transparent >= 0 && static_cast<uint32_t>(
                                                               extras.transparent) < count
                                    ? extras.transparent
                                    : -1;
        }
    }

    Library::State& library_;
    const orvi::FormatEntry& format_;
    std::span<const uint8_t> bytes_;
    const std::string& name_;
    std::vector<orvi::Page> pages_;
    bool several_ = false;
    OrviFrames frames_{};      // what the module keeps from frame to frame
    uint32_t next_frame_ = 0;  // the frame (from 0) the animation reads next
    bool stopped_ = false;     // a frame could not be drawn: `stop_` says which and why
    Error stop_;
};

namespace {

// Loads picture `options.page` of the input.
std::optional<Image> load_input(Library& library, const Input& input, Error& error,
                                const LoadOptions& options) {
    const orvi::FormatEntry* format = recognise_bytes(input.bytes(), error);
    if (format == nullptr) {
        return std::nullopt;
    }
    PageLoader pages(library, *format, input);
    const uint32_t wanted = std::max<uint32_t>(options.page, 1);
    if (wanted > pages.count()) {
        error = {kNoSuchPage, no_such_page(pages.count()), "page"};
        return std::nullopt;
    }
    return pages.load(wanted, options, error);
}

// Every picture of the input (or the one options.page names), in turn.
bool load_input_pages(Library& library, const Input& input, const LoadOptions& options,
                      const Library::EachPicture& each, Error& error) {
    const orvi::FormatEntry* format = recognise_bytes(input.bytes(), error);
    if (format == nullptr) {
        return false;
    }
    PageLoader pages(library, *format, input);
    const auto count = static_cast<uint32_t>(pages.count());
    if (options.page > count) {
        error = {kNoSuchPage, no_such_page(pages.count()), "page"};
        return false;
    }
    const uint32_t first = options.page == 0 ? 1 : options.page;
    const uint32_t last = options.page == 0 ? count : options.page;
    for (uint32_t number = first; number <= last; ++number) {
        Error failure;
        std::optional<Image> image = pages.load(number, options, failure);
        if (!each(number, count, std::move(image), failure)) {
            break;
        }
    }
    return true;
}

} // namespace

struct Pictures::State {
    State(Library& library, Input&& from, const orvi::FormatEntry& format)
        : input(std::move(from)), pages(library, format, input) {}
    Input input;
    PageLoader pages;
};

namespace {

// An input's pictures, or nothing with the error when it was not read or recognised.
std::unique_ptr<Pictures::State> open_input(Library& library, std::optional<Input> input,
                                            Error& error) {
    const orvi::FormatEntry* format = input ? recognise_bytes(input->bytes(), error) : nullptr;
    if (format == nullptr) {
        return nullptr;
    }
    return std::make_unique<Pictures::State>(library, std::move(*input), *format);
}

} // namespace

Pictures::Pictures(std::unique_ptr<State> state) : state_(std::move(state)) {}
Pictures::Pictures(Pictures&& other) noexcept = default;
Pictures& Pictures::operator=(Pictures&& other) noexcept = default;
Pictures::~Pictures() = default;

uint32_t Pictures::count() const {
    return static_cast<uint32_t>(state_->pages.count());
}

bool Pictures::frames() const {
    return state_->pages.frames();
}

std::optional<Image> Pictures::load(uint32_t number, Error& error, const LoadOptions& options) {
    return without_throwing(error, std::optional<Image>(), [&]() -> std::optional<Image> {
        if (number < 1 || number > count()) {
            error = {kNoSuchPage, no_such_page(count()), "page"};
            return std::nullopt;
        }
        return state_->pages.load(number, options, error);
    });
}

std::optional<Pictures> Library::open(const std::string& path, Error& error) {
    return without_throwing(error, std::optional<Pictures>(), [&]() -> std::optional<Pictures> {
        auto state = open_input(*this, Input::open(path, error), error);
        return state ? std::optional<Pictures>(Pictures(std::move(state))) : std::nullopt;
    });
}

std::optional<Pictures> Library::open_from(int fd, Error& error) {
    return without_throwing(error, std::optional<Pictures>(), [&]() -> std::optional<Pictures> {
        auto state = open_input(*this, Input::read_from(fd, error), error);
        return state ? std::optional<Pictures>(Pictures(std::move(state))) : std::nullopt;
    });
}

std::optional<std::string> Library::recognise(const std::string& path, Error& error) const {
    const auto input = Input::open(path, error);
    const orvi::FormatEntry* format = input ? recognise_bytes(input->bytes(), error) : nullptr;
    return format != nullptr ? std::optional<std::string>(format->name) : std::nullopt;
}

std::optional<std::string> Library::recognise(std::span<const uint8_t> bytes, Error& error) const {
    const orvi::FormatEntry* format = recognise_bytes(bytes, error);
    return format != nullptr ? std::optional<std::string>(format->name) : std::nullopt;
}

std::optional<Image> Library::load(const std::string& path, Error& error,
                                   const LoadOptions& options) {
    return without_throwing(error, std::optional<Image>(), [&] {
        const auto input = Input::open(path, error);
        return input ? load_input(*this, *input, error, options) : std::nullopt;
    });
}

std::optional<Image> Library::load(std::span<const uint8_t> bytes, Error& error,
                                   const LoadOptions& options) {
    return without_throwing(error, std::optional<Image>(),
                            [&] { return load_input(*this, Input(bytes), error, options); });
}

std::optional<Image> Library::load_from(int fd, Error& error, const LoadOptions& options) {
    return without_throwing(error, std::optional<Image>(), [&] {
        const auto input = Input::read_from(fd, error);
        return input ? load_input(*this, *input, error, options) : std::nullopt;
    });
}

bool Library::load_pages(const std::string& path, const LoadOptions& options,
                         const EachPicture& each, Error& error) {
    return without_throwing(error, false, [&] {
        const auto input = Input::open(path, error);
        return input && load_input_pages(*this, *input, options, each, error);
    });
}

bool Library::load_pages_from(int fd, const LoadOptions& options, const EachPicture& each,
                              Error& error) {
    return without_throwing(error, false, [&] {
        const auto input = Input::read_from(fd, error);
        return input && load_input_pages(*this, *input, options, each, error);
    });
}

} // namespace orvi
