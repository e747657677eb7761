// convert, info and demo: the jobs a person runs, built from module calls.
#include "host/commands.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "host/atomic_save.h"
#include "host/formats.h"
#include "host/modules.h"
#include "host/palette.h"
#include "host/progress.h"
#include "runtime/result_codes.h"

namespace host {
namespace {

constexpr size_t kHeadBytes = 4096;

void complain(const std::string& sentence) {
    std::fprintf(stderr, "orvi: %s\n", sentence.c_str());
}

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

// What the file's own header says beyond the picture's size, for `orvi info`.
std::string format_details(const std::string& path, Format format, const CodecRequest& request) {
    std::string ignored;
    const auto head = read_head(path, ignored);
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
          bool progress, std::string& error, Format* found = nullptr) {
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

struct SaveSettings {
    bool plain = false;
    bool progress = false;
    uint32_t depth = 0; // palette writers: 1, 2, 4, 8, or 0 / 24 for true colour
};

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
    if (*format == Format::Pcx) {
        request.SaveMode = 0; // true colour
        if (settings.depth != 0 && settings.depth != 24) {
            std::string warning;
            indexed = build_indexed(picture, settings.depth, error, warning);
            if (!indexed) {
                error = "cannot save '" + path + "': " + error;
                return false;
            }
            if (!warning.empty()) {
                complain("note: '" + path + "': " + warning);
            }
            request.SaveMode = reinterpret_cast<uintptr_t>(&indexed->record);
        }
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

} // namespace

std::string result_code_sentence(int32_t code) {
    const char* text = result_code_text(code);
    return std::string(text != nullptr ? text : "unknown failure") + " (code " +
           std::to_string(code) + ")";
}

int convert(const ConvertOptions& options, const std::string& in, const std::string& out) {
    if (read_only_extension(out)) {
        complain("cannot save '" + out + "': orvi reads XPM files but does not write them");
        return kExitUsage;
    }
    if (!format_for_extension(out)) {
        complain("cannot save '" + out +
                 "': no module writes that kind of file (use .ppm, .pgm, .pnm, .pcx, .iff, "
                 ".ilbm or .lbm)");
        return kExitUsage;
    }
    std::string error;
    std::optional<Module> ops;
    std::vector<OperationStep> steps = options.steps;
    if (!steps.empty()) {
        ops = Module::open_ops(error);
        if (!ops) {
            complain(error);
            return kExitFailed;
        }
        if (!resolve_filters(*ops, steps, error)) {
            complain(error);
            return kExitUsage;
        }
    }
    HostPool pool;
    OwnedPicture picture(pool);
    CodecRequest request{};
    const bool progress = show_progress(options.quiet, options.progress);
    if (!load(pool, in, picture, request, progress, error)) {
        complain("cannot load '" + in + "': " + error);
        return kExitFailed;
    }
    if (ops && !apply_operations(*ops, pool, picture.pic, steps, error)) {
        complain("cannot process '" + in + "': " + error);
        return kExitFailed;
    }
    if (!save(pool, out, picture.pic, {options.plain, progress, options.depth}, error)) {
        complain(error);
        return kExitFailed;
    }
    return kExitOk;
}

int info(const std::vector<std::string>& files) {
    int status = kExitOk;
    for (const std::string& file : files) {
        HostPool pool;
        OwnedPicture picture(pool);
        CodecRequest request{};
        std::string error;
        Format format = Format::Ppm;
        if (!load(pool, file, picture, request, false, error, &format)) {
            std::printf("%s: cannot load: %s\n", file.c_str(), error.c_str());
            status = kExitFailed;
            continue;
        }
        std::printf("%s: %s, %d x %d, %u bits per pixel in the file%s\n", file.c_str(),
                    format_info(format).name, picture.pic.Width, picture.pic.Height,
                    picture.pic.Depth, format_details(file, format, request).c_str());
    }
    return status;
}

} // namespace host

namespace host {
namespace {

enum class Card : uint8_t { Colour, Grey, EightColours };

struct DemoFile {
    const char* name;
    const char* kind;
    bool plain;
    Card card;
    uint32_t depth;
};

constexpr DemoFile kDemoFiles[] = {
    {"sample.ppm", "PNM P6, raw colour", false, Card::Colour, 0},
    {"sample-plain.ppm", "PNM P3, plain colour", true, Card::Colour, 0},
    {"sample-grey.pgm", "PNM P5, raw grey", false, Card::Grey, 0},
    {"sample-grey-plain.pgm", "PNM P2, plain grey", true, Card::Grey, 0},
    {"sample.pcx", "PCX, 24-bit", false, Card::Colour, 24},
    {"sample-8.pcx", "PCX, 4 bits with a palette", false, Card::EightColours, 4},
    {"sample-grey.pcx", "PCX, 8 bits with a palette", false, Card::Grey, 8},
};

// A colour test card: red across, green down, blue on the diagonal, with a grey copy.
void make_sample(uint32_t width, uint32_t height, std::vector<uint8_t>& rgb,
                 std::vector<uint8_t>& grey) {
    rgb.resize(size_t{width} * height * 3);
    grey.resize(size_t{width} * height);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const size_t i = size_t{y} * width + x;
            const auto r = static_cast<uint8_t>(x * 255 / (width - 1));
            const auto g = static_cast<uint8_t>(y * 255 / (height - 1));
            const auto b = static_cast<uint8_t>(((x + y) * 8) & 0xFF);
            rgb[i * 3] = r;
            rgb[i * 3 + 1] = g;
            rgb[i * 3 + 2] = b;
            grey[i] = static_cast<uint8_t>((r * 3 + g * 6 + b) / 10);
        }
    }
}

// A small XPM with named, hexadecimal and several-key colours, for the reader's turn.
constexpr const char* kDemoXpm = "/* XPM */\n"
                                 "static char *sample[] = {\n"
                                 "\"8 4 3 1\",\n"
                                 "\"r c #FF0000\",\n"
                                 "\"g m white c light green\",\n"
                                 "\"b c navy\",\n"
                                 "\"rrggbbrr\",\n"
                                 "\"ggbbrrgg\",\n"
                                 "\"bbrrggbb\",\n"
                                 "\"rrggbbrr\"\n"
                                 "};\n";

// Writes the demo XPM, loads it through the reader and saves it as PPM.
bool demo_xpm(const std::string& folder) {
    const std::string source = folder + "/sample.xpm";
    const std::string target = folder + "/sample-from-xpm.ppm";
    FILE* file = std::fopen(source.c_str(), "w");
    if (file == nullptr || std::fputs(kDemoXpm, file) < 0 || std::fclose(file) != 0) {
        complain("cannot write '" + source + "'");
        return false;
    }
    HostPool pool;
    OwnedPicture loaded(pool);
    CodecRequest request{};
    std::string error;
    if (!load(pool, source, loaded, request, false, error)) {
        complain("cannot load '" + source + "': " + error);
        return false;
    }
    const bool colours_right =
        loaded.pic.Data[0] == 255 && loaded.pic.Data[6] == 144 && loaded.pic.Data[14] == 128;
    if (!save(pool, target, loaded.pic, {false, false}, error)) {
        complain(error);
        return false;
    }
    std::printf("read %s (XPM, %d x %d, named and hexadecimal colours) and wrote %s; its colours "
                "are %s\n",
                source.c_str(), loaded.pic.Width, loaded.pic.Height, target.c_str(),
                colours_right ? "right" : "WRONG");
    return colours_right;
}

bool same_pixels(const Picture& loaded, const std::vector<uint8_t>& samples, bool grey) {
    const size_t pixels = grey ? samples.size() : samples.size() / 3;
    if (loaded.BytesPerPixel != 3 ||
        static_cast<size_t>(loaded.Width) * static_cast<size_t>(loaded.Height) != pixels) {
        return false;
    }
    for (size_t i = 0; i < pixels * 3; ++i) {
        const uint8_t want = grey ? samples[i / 3] : samples[i];
        if (loaded.Data[i] != want) {
            return false;
        }
    }
    return true;
}

} // namespace

int demo(const std::string& folder) {
    constexpr uint32_t kWidth = 96;
    constexpr uint32_t kHeight = 64;
    if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
        complain("cannot create the folder '" + folder + "' (" + std::strerror(errno) + ")");
        return kExitFailed;
    }
    std::vector<uint8_t> rgb;
    std::vector<uint8_t> grey;
    make_sample(kWidth, kHeight, rgb, grey);
    int status = kExitOk;
    std::vector<uint8_t> eight = rgb; // each sample 0 or 255: eight colours
    for (uint8_t& sample : eight) {
        sample = sample < 128 ? 0 : 255;
    }
    for (const DemoFile& file : kDemoFiles) {
        HostPool pool;
        const bool grey_card = file.card == Card::Grey;
        std::vector<uint8_t>& samples =
            grey_card ? grey : (file.card == Card::Colour ? rgb : eight);
        Picture source{
            samples.data(), kWidth, kHeight, grey_card ? 1U : 3U, kWidth, kHeight, 24, 0, 0, 0};
        const std::string path = folder + "/" + file.name;
        std::string error;
        OwnedPicture loaded(pool);
        CodecRequest request{};
        if (!save(pool, path, source, {file.plain, false, file.depth}, error)) {
            complain(error);
            status = kExitFailed;
            continue;
        }
        if (!load(pool, path, loaded, request, false, error)) {
            complain("cannot load '" + path + "': " + error);
            status = kExitFailed;
            continue;
        }
        const bool same = same_pixels(loaded.pic, samples, grey_card);
        std::printf("wrote %s (%s, %u x %u); it loads back %s\n", path.c_str(), file.kind, kWidth,
                    kHeight, same ? "identical" : "DIFFERENT");
        status = same ? status : kExitFailed;
    }
    return demo_xpm(folder) ? status : kExitFailed;
}

} // namespace host
