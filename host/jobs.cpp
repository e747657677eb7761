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
std::optional<std::vector<uint8_t>> read_head(const std::string& path, std::string& error) {
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
    std::vector<uint8_t> head(kHeadBytes);
    const ssize_t got = ::read(fd, head.data(), head.size());
    ::close(fd);
    if (got < 0) {
        error = std::string("it cannot be read (") + std::strerror(errno) + ")";
        return std::nullopt;
    }
    head.resize(static_cast<size_t>(got));
    return head;
}

namespace {

// The format of a file from its first bytes, or a sentence saying why there is none.
std::optional<Format> sniff(const std::string& path, std::string& error) {
    const auto head = read_head(path, error);
    if (!head) {
        return std::nullopt;
    }
    const auto format = detect_format(*head);
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
        return "'" + path + "'";
    }
    return output ? "standard output" : "standard input";
}

bool load(HostPool& pool, const std::string& path, OwnedPicture& picture, CodecRequest& request,
          bool progress, std::string& error, Format* found) {
    std::optional<Spool> spool;
    std::string file = path;
    if (path == "-") {
        spool = Spool::create(error);
        if (!spool || !spool->fill_from(STDIN_FILENO, error)) {
            return false;
        }
        file = spool->path();
    }
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
        if (!loaded) {
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
bool prepare_writer(Writer& writer, Picture& picture, const SaveSettings& settings,
                    const std::string& name, std::string& error) {
    const Format format = writer.format;
    const uint32_t depth = settings.depth;
    if (format == Format::Pcx && depth != 0 && depth != 1 && depth != 2 && depth != 4 &&
        depth != 8 && depth != 24) {
        error = "cannot save " + name + ": PCX files take --depth 1, 2, 4, 8 or 24";
        return false;
    }
    // PCX and ILBM headers hold each side in 16 bits; a larger picture (a PNG can be
    // one) would be cut and scrambled, so it is refused.
    constexpr int32_t kMostSide = 65535;
    const bool sixteen_bit_sides = format == Format::Pcx || format == Format::Ilbm;
    if (sixteen_bit_sides && (picture.Width > kMostSide || picture.Height > kMostSide)) {
        error = "cannot save " + name + ": " + format_info(format).name +
                " files hold at most 65535 x 65535 pixels, and the picture is " +
                std::to_string(picture.Width) + " x " + std::to_string(picture.Height);
        return false;
    }
    // PCX, ILBM and PNG take a palette picture at a chosen depth.
    const bool palette_writer =
        format == Format::Pcx || format == Format::Ilbm || format == Format::Png;
    if (palette_writer && depth != 0 && depth != 24) {
        std::string warning;
        writer.indexed =
            build_indexed(picture, {depth, settings.reduce, settings.dither}, error, warning);
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
        return save_png(file, picture, progress_routine(), writer.png_error, palette) ? kOk : -1;
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
    if (!prepare_writer(writer, picture, settings, name, error)) {
        return false;
    }
    progress_start(settings.progress, "saving " + path);
    SaveOutcome outcome;
    if (path == "-") {
        auto spool = Spool::create(outcome.error);
        if (spool) {
            outcome.code = write_file(writer, pool, picture, spool->path().c_str());
            if (outcome.code != kOk) {
                outcome.error = "not saved";
            } else if (!spool->drain_to(STDOUT_FILENO, outcome.error)) {
                outcome.error = "cannot save " + name + ": " + outcome.error;
            }
        }
    } else {
        outcome = save_atomically(
            path, [&](const char* temp) { return write_file(writer, pool, picture, temp); });
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
