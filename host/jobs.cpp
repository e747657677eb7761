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
#include "host/progress.h"
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
        error = "it is in no format orvi reads (PNM, PCX, ILBM, XPM)";
    }
    return format;
}

// Whether the last 769 bytes of a file are a 256-colour PCX palette.
bool has_pcx_trailer(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    const bool found = std::fseek(file, -769, SEEK_END) == 0 && std::fgetc(file) == 12;
    std::fclose(file);
    return found;
}

} // namespace

std::string result_code_sentence(int32_t code) {
    const char* text = result_code_text(code);
    return std::string(text != nullptr ? text : "unknown failure") + " (code " +
           std::to_string(code) + ")";
}

void complain(const std::string& sentence) {
    std::fprintf(stderr, "orvi: %s\n", sentence.c_str());
}

// What the file's own header says beyond the picture's size, for `orvi info`.
std::string format_details(const std::string& path, Format format, const CodecRequest& request) {
    std::string ignored;
    const auto head = read_head(path, ignored);
    if (format == Format::Ilbm && head) {
        static constexpr const char* kModes[] = {"plain", "extra half-brite", "HAM6", "HAM8"};
        const uint32_t mode = request.DisplayMode;
        const char* name = mode == 0x80    ? kModes[1]
                           : mode == 0x800 ? kModes[2]
                           : mode == 0x801 ? kModes[3]
                                           : kModes[0];
        const std::string text(head->begin(), head->end());
        const size_t at = text.find("BMHD");
        if (at != std::string::npos && at + 8 + 11 <= head->size()) {
            const uint8_t* bmhd = head->data() + at + 8;
            return ", display mode " + std::string(name) + ", " + std::to_string(bmhd[8]) +
                   " planes, compression " + std::to_string(bmhd[10]) + ", masking " +
                   std::to_string(bmhd[9]);
        }
        return ", display mode " + std::string(name);
    }
    if (format == Format::Pcx && head && head->size() >= 66) {
        return ", version " + std::to_string((*head)[1]) + ", " + std::to_string((*head)[3]) +
               " bits x " + std::to_string((*head)[65]) + " planes, colour type " +
               std::to_string(request.ColorType) +
               ", 256-colour palette at the end: " + (has_pcx_trailer(path) ? "yes" : "no");
    }
    if (format == Format::Xpm && head) {
        if (const auto values = xpm_values(*head)) {
            return ", colours " + std::to_string(values->colours) + ", characters per pixel " +
                   std::to_string(values->chars_per_pixel);
        }
    }
    return "";
}

bool show_progress(bool quiet, bool forced) {
    return !quiet && (forced || ::isatty(2) != 0);
}

// Loads `path` into `picture` through its format's module; false with the reason on failure.
bool load(HostPool& pool, const std::string& path, OwnedPicture& picture, CodecRequest& request,
          bool progress, std::string& error, Format* found) {
    const auto format = sniff(path, error);
    if (!format) {
        return false;
    }
    if (found != nullptr) {
        *found = *format;
    }
    const auto module = Module::open_codec(format_info(*format).module, error);
    if (!module) {
        return false;
    }
    request = CodecRequest{};
    request.Pic = &picture.pic;
    progress_start(progress, "loading " + path);
    const int32_t code =
        run_codec_job(*module, pool, {kCommandLoad, path.c_str(), &request, progress_routine()});
    progress_finish();
    if (code != kOk) {
        picture.reset();
        error = result_code_sentence(code);
        return false;
    }
    return true;
}

bool save(HostPool& pool, const std::string& path, Picture& picture, const SaveSettings& settings,
          std::string& error) {
    const auto format = format_for_extension(path);
    if (!format) {
        error = "cannot save '" + path + "': no module writes that kind of file";
        return false;
    }
    const auto module = Module::open_codec(format_info(*format).module, error);
    if (!module) {
        return false;
    }
    CodecRequest request{};
    request.Pic = &picture;
    request.SaveMode = settings.plain ? 0 : 1;
    std::optional<IndexedImage> indexed;
    const bool palette_writer = *format == Format::Pcx || *format == Format::Ilbm;
    const uint32_t depth = settings.depth;
    if (*format == Format::Pcx && depth != 0 && depth != 1 && depth != 2 && depth != 4 &&
        depth != 8 && depth != 24) {
        error = "cannot save '" + path + "': PCX files take --depth 1, 2, 4, 8 or 24";
        return false;
    }
    if (palette_writer && settings.depth != 0 && settings.depth != 24) {
        std::string warning;
        indexed = build_indexed(picture, settings.depth, error, warning);
        if (!indexed) {
            error = "cannot save '" + path + "': " + error;
            return false;
        }
        if (!warning.empty() && *format == Format::Pcx) {
            complain("note: '" + path + "': " + warning);
        }
    }
    if (*format == Format::Pcx) {
        // The PCX writer takes its IndexedPicture in SaveMode; none means true colour.
        request.SaveMode = indexed ? reinterpret_cast<uintptr_t>(&indexed->record) : 0;
    } else if (*format == Format::Ilbm) {
        request.SaveMode = settings.uncompressed ? 0 : 1; // the BMHD compression byte
        request.IndexedPic = indexed ? &indexed->record : nullptr;
    }
    progress_start(settings.progress, "saving " + path);
    const SaveOutcome outcome = save_atomically(path, [&](const char* temp) {
        return run_codec_job(*module, pool, {kCommandSave, temp, &request, progress_routine()});
    });
    progress_finish();
    if (outcome.error.empty()) {
        return true;
    }
    error = outcome.code != kOk
                ? "cannot save '" + path + "': " + result_code_sentence(outcome.code)
                : outcome.error;
    return false;
}

} // namespace host
