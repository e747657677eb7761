// The jobs the commands are made of: recognising a file, loading it through its module,
// saving it through a module with an atomic replace, and the sentences for failures.
#include "host/jobs.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "host/atomic_save.h"
#include "host/names.h"
#include "host/palette.h"
#include "host/png_file.h"
#include "host/progress.h"
#include "host/spool.h"
#include "runtime/result_codes.h"

namespace host {
namespace {

constexpr size_t kHeadBytes = 4096;

} // namespace

// The first bytes of a file, or a sentence saying why there are none.
std::optional<std::vector<uint8_t>> read_head(const std::string& path, std::string& error,
                                              size_t size) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::string("it cannot be read (") + std::strerror(errno) + ")";
        return std::nullopt;
    }
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
        ::close(fd);
        error = "it is a folder";
        return std::nullopt;
    }
    std::vector<uint8_t> head(size);
    size_t got = 0;
    while (got < size) {
        const ssize_t read = ::read(fd, head.data() + got, size - got);
        if (read < 0 && errno == EINTR) {
            continue;
        }
        if (read < 0) {
            ::close(fd);
            error = std::string("it cannot be read (") + std::strerror(errno) + ")";
            return std::nullopt;
        }
        if (read == 0) {
            break;
        }
        got += static_cast<size_t>(read);
    }
    ::close(fd);
    head.resize(got);
    return head;
}

namespace {

// The format of a file from its first bytes, or a sentence saying why there is none.
std::optional<Format> sniff(const std::string& path, std::string& error) {
    auto head = read_head(path, error, kHeadBytes);
    if (!head) {
        return std::nullopt;
    }
    auto format = detect_format(*head);
    if (!format && head->size() == kHeadBytes) {
        head = read_head(path, error, kLongHeadBytes);
        format = head ? detect_format(*head) : std::nullopt;
    }
    if (!format) {
        error = "it is in no format orvi reads (PNM, PCX, ILBM, XPM, PNG)";
    }
    return format;
}

} // namespace

std::string result_code_sentence(int32_t code) {
    const char* text = result_code_text(code);
    return std::string(text != nullptr ? text : "unknown failure") + " (code " +
           std::to_string(code) + ")";
}

bool make_folder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
        complain("cannot create the folder '" + folder + "' (" + std::strerror(errno) + ")");
        return false;
    }
    return true;
}

void complain(const std::string& sentence) {
    std::fprintf(stderr, "orvi: %s\n", sentence.c_str());
}

bool show_progress(bool quiet, bool forced) {
    return !quiet && (forced || ::isatty(2) != 0);
}

std::string shown_name(const std::string& path, bool output) {
    if (path != "-") {
        return quoted(path);
    }
    return output ? "standard output" : "standard input";
}

std::optional<std::string> readable_source(const std::string& path, std::optional<Spool>& spool,
                                           std::string& error) {
    int fd = -1;
    if (path == "-") {
        if (standard_stream_closed(STDIN_FILENO)) {
            error = "it is closed";
            return std::nullopt;
        }
        fd = STDIN_FILENO;
    } else {
        struct stat status {};
        if (::stat(path.c_str(), &status) != 0 || S_ISREG(status.st_mode) ||
            S_ISDIR(status.st_mode)) {
            return path; // a file, or what the reading will say is wrong with it
        }
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) {
            error = std::string("it cannot be read (") + std::strerror(errno) + ")";
            return std::nullopt;
        }
    }
    spool = Spool::create(error);
    const bool filled = spool && spool->fill_from(fd, shown_name(path, false), error);
    if (fd != STDIN_FILENO) {
        ::close(fd);
    }
    if (!filled) {
        return std::nullopt;
    }
    return spool->path();
}

bool load(HostPool& pool, const std::string& path, OwnedPicture& picture, CodecRequest& request,
          bool progress, std::string& error, Format* found) {
    std::optional<Spool> spool;
    const auto source = readable_source(path, spool, error);
    if (!source) {
        return false;
    }
    const std::string& file = *source;
    const auto format = sniff(file, error);
    if (!format) {
        return false;
    }
    if (found != nullptr) {
        *found = *format;
    }
    request = CodecRequest{};
    request.Pic = &picture.pic;
    progress_start(progress, "loading " + path);
    const char* module_name = format_info(*format).module;
    bool loaded = false;
    if (module_name == nullptr) {
        PngHeader header;
        loaded = load_png(pool, file, picture.pic, header, progress_routine(), error);
        if (loaded && header.transparency) {
            complain("note: " + shown_name(path, false) +
                     ": transparent pixels are shown on black");
        }
    } else {
        const auto module = Module::open_codec(module_name, error);
        if (!module) {
            progress_finish();
            return false;
        }
        const int32_t code = run_codec_job(
            *module, pool, {kCommandLoad, file.c_str(), &request, progress_routine()});
        loaded = code == kOk;
        if (code == kTooManyPixels) {
            error = too_many_pixels_sentence(pool.report().declared_width,
                                             pool.report().declared_height, pool.max_pixels());
        } else if (!loaded) {
            error = result_code_sentence(code);
        }
    }
    progress_finish();
    if (!loaded) {
        picture.reset();
    }
    return loaded;
}

namespace {

// The writer of one save: a module call, or libpng for PNG.
struct Writer {
    Format format;
    std::optional<Module> module;
    CodecRequest request{};
    std::optional<IndexedImage> indexed;
    std::string png_error;
};

// Prepares the writer: the module, its request and the palette picture it needs.
bool prepare_writer(Writer& writer, HostPool& pool, Picture& picture, const SaveSettings& settings,
                    const std::string& name, std::string& error) {
    const Format format = writer.format;
    const uint32_t depth = settings.depth;
    if (format == Format::Pcx && depth != 0 && depth != 1 && depth != 2 && depth != 4 &&
        depth != 8 && depth != 24) {
        error = "cannot save " + name + ": PCX files take --depth 1, 2, 4, 8 or 24";
        return false;
    }
    // PCX and ILBM headers hold each side in 16 bits; a larger picture (a PNG can be
    // one) would be cut and scrambled, so it is refused. The PNM writer refuses sides
    // over 32767 itself; saying so here, in the format's terms, spares the work.
    const std::string size = std::to_string(picture.Width) + " x " + std::to_string(picture.Height);
    constexpr int32_t kMostSide = 65535;
    const bool sixteen_bit_sides = format == Format::Pcx || format == Format::Ilbm;
    if (sixteen_bit_sides && (picture.Width > kMostSide || picture.Height > kMostSide)) {
        error = "cannot save " + name + ": " + format_info(format).name +
                " files hold at most 65535 x 65535 pixels, and the picture is " + size;
        return false;
    }
    constexpr int32_t kMostPnmSide = 32767;
    if (format == Format::Ppm && (picture.Width > kMostPnmSide || picture.Height > kMostPnmSide)) {
        error = "cannot save " + name +
                ": PNM files that orvi writes hold at most 32767 x 32767 pixels, and the "
                "picture is " +
                size + "; save it as PNG";
        return false;
    }
    // PCX, ILBM and PNG take a palette picture at a chosen depth.
    const bool palette_writer =
        format == Format::Pcx || format == Format::Ilbm || format == Format::Png;
    if (palette_writer && depth != 0 && depth != 24) {
        std::string warning;
        writer.indexed =
            build_indexed(pool, picture, {depth, settings.reduce, settings.dither}, error, warning);
        if (!writer.indexed) {
            error = "cannot save " + name + ": " + error;
            return false;
        }
        if (!warning.empty() && format == Format::Pcx) {
            complain("note: " + name + ": " + warning);
        }
    }
    if (format_info(format).module == nullptr) {
        return true;
    }
    writer.module = Module::open_codec(format_info(format).module, error);
    if (!writer.module) {
        return false;
    }
    CodecRequest& request = writer.request;
    request.Pic = &picture;
    request.SaveMode = settings.plain ? 0 : 1;
    const IndexedPicture* indexed = writer.indexed ? &writer.indexed->record : nullptr;
    if (format == Format::Pcx) {
        // The PCX writer takes its IndexedPicture in SaveMode; none means true colour.
        request.SaveMode = reinterpret_cast<uintptr_t>(indexed);
    } else if (format == Format::Ilbm) {
        request.SaveMode = settings.uncompressed ? 0 : 1; // the BMHD compression byte
        request.IndexedPic = const_cast<IndexedPicture*>(indexed);
    }
    return true;
}

// Writes `file` with the prepared writer; the module's result code, or -1 when libpng
// failed (with `writer.png_error` set).
int32_t write_file(Writer& writer, HostPool& pool, Picture& picture, const char* file) {
    if (!writer.module) {
        const IndexedImage* palette = writer.indexed ? &*writer.indexed : nullptr;
        return save_png(pool, file, picture, progress_routine(), writer.png_error, palette) ? kOk
                                                                                            : -1;
    }
    return run_codec_job(*writer.module, pool,
                         {kCommandSave, file, &writer.request, progress_routine()});
}

} // namespace

bool save(HostPool& pool, const std::string& path, Picture& picture, const SaveSettings& settings,
          std::string& error) {
    const std::string name = shown_name(path, true);
    const auto format = settings.to ? settings.to : format_for_extension(path);
    if (!format) {
        error = "cannot save " + name + ": no module writes that kind of file";
        return false;
    }
    Writer writer{*format, std::nullopt, {}, std::nullopt, {}};
    if (!prepare_writer(writer, pool, picture, settings, name, error)) {
        return false;
    }
    progress_start(settings.progress, "saving " + path);
    const auto write = [&](const char* file) { return write_file(writer, pool, picture, file); };
    SaveOutcome outcome;
    if (path == "-") {
        outcome = standard_stream_closed(STDOUT_FILENO)
                      ? SaveOutcome{kOk, "cannot save standard output: it is closed"}
                      : save_through_spool(STDOUT_FILENO, name, write);
    } else {
        outcome = save_atomically(path, write, settings.replace);
    }
    progress_finish();
    if (outcome.error.empty()) {
        return true;
    }
    if (outcome.code == -1) {
        error = "cannot save " + name + ": " + writer.png_error;
    } else if (outcome.code != kOk) {
        error = "cannot save " + name + ": " + result_code_sentence(outcome.code);
    } else {
        error = outcome.error;
    }
    return false;
}

} // namespace host
