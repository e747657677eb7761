// convert, info and filters: the jobs a person runs most, each a few library calls and
// the sentences that tell how they went.
#include "cli/commands.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/progress.h"
#include "cli/report.h"
#include "cli/streams.h"
#include "orvi/batch.h"
#include "viewer/viewer.h"

namespace cli {
namespace {

// A grey picture has no red, green and blue to offset or paint.
bool needs_colour(const orvi::Operation& operation) {
    return operation.kind == orvi::Operation::Kind::Rgb ||
           operation.kind == orvi::Operation::Kind::Fill;
}

// The pictures of a file, or of standard input for "-"; nothing with the reason in
// `failure`.
std::optional<orvi::Pictures> open_input(orvi::Library& library, const std::string& in,
                                         orvi::Error& failure) {
    if (in != "-") {
        return library.open(in, failure);
    }
    if (standard_stream_closed(STDIN_FILENO)) {
        failure.sentence = "it is closed";
        return std::nullopt;
    }
    return library.open_from(STDIN_FILENO, failure);
}

// Whether `path` names a folder to write into: it ends with a slash, or with --to given
// (`format`) it is one.
bool names_folder(const std::string& path, const std::string& format) {
    struct stat status {};
    return path.ends_with('/') || (!format.empty() && ::stat(path.c_str(), &status) == 0 &&
                                   S_ISDIR(status.st_mode));
}

orvi::SaveOptions save_options(const Settings& options) {
    orvi::SaveOptions save;
    save.format = options.to;
    save.plain = options.plain;
    save.names = options.names;
    save.depth = options.depth;
    save.compress = !options.uncompressed;
    save.reduce = options.reduce;
    save.exact = options.exact;
    save.dither = options.dither;
    save.background = options.background;
    save.force = options.force;
    save.sweep_leftovers = options.sweep_leftovers;
    save.flush_folder = options.flush_folder;
    return save;
}

// Tells what a loaded picture's file left out; false with --strict, which refuses it.
bool tell_gaps(const Settings& options, const std::string& in, const orvi::Image& image,
               std::string& error) {
    for (const std::string& note : image.notes()) {
        complain("note: " + shown_name(in, false) + ": " + note);
    }
    if (!image.complete() && options.strict) {
        error = "cannot load " + shown_name(in, false) + ": " + image.gaps().front() + " (--strict)";
        return false;
    }
    for (const std::string& gap : image.gaps()) {
        complain("warning: " + shown_name(in, false) + ": " + gap);
    }
    return true;
}

// The operations, in the order given.
bool process(orvi::Library& library, const Settings& options, const std::string& in,
             orvi::Image& image, std::string& error) {
    orvi::Error failure;
    for (const Step& step : options.steps) {
        if (needs_colour(step.operation) && image.bytes_per_pixel() != 3) {
            error = "cannot process " + shown_name(in, false) + ": " + step.option +
                    " needs a colour picture (it comes after --gray)";
            return false;
        }
        if (!library.apply(image, step.operation, failure)) {
            error = "cannot process " + shown_name(in, false) + ": " + step.option + ": " +
                    failure.sentence;
            return false;
        }
    }
    return true;
}

bool save_output(orvi::Library& library, const Settings& options, const orvi::Image& image,
                 const std::string& out, bool progress, std::string& error) {
    orvi::SaveOptions save = save_options(options);
    orvi::Error failure;
    std::vector<std::string> notes;
    bool saved = false;
    ProgressBar bar(progress, "saving " + out);
    save.progress = bar.routine();
    if (out != "-") {
        saved = library.save(image, out, save, failure, &notes);
    } else if (standard_stream_closed(STDOUT_FILENO)) {
        failure.sentence = "it is closed";
    } else if (!options.force && ::isatty(STDOUT_FILENO) != 0) {
        failure.sentence =
            "it is a terminal; send it to a file or a pipe (--force writes it all the same)";
    } else {
        saved = library.save_to(image, STDOUT_FILENO, save, failure, &notes);
    }
    bar.finish();
    for (const std::string& note : notes) {
        complain("note: " + shown_name(out, true) + ": " + note);
    }
    if (!saved) {
        error = "cannot save " + shown_name(out, true) + ": " + told(failure);
    }
    return saved;
}

// Saves the frames `next` gives as an animation into `out`; `stopped`, when the frames
// ended on a failure of their own, is the error to give rather than the save's.
bool write_animation(orvi::Library& library, const Settings& options,
                     const orvi::Library::NextImage& next, const std::string& out,
                     const std::string& stopped, std::string& error) {
    orvi::Error failure;
    std::vector<std::string> notes;
    const bool saved = library.save_animation(next, out, save_options(options), failure, &notes);
    for (const std::string& note : notes) {
        complain("note: " + shown_name(out, true) + ": " + note);
    }
    if (!saved) {
        error = !stopped.empty() ? stopped
                                 : "cannot save " + shown_name(out, true) + ": " + told(failure);
    }
    return saved;
}

// Every frame of an animation into one file of a format that holds animations. A frame
// that cannot be drawn ends the animation at the one before, with a warning (refused with
// --strict).
bool convert_frames(orvi::Library& library, const Settings& options, orvi::Pictures& pictures,
                    const std::string& in, const std::string& out, std::string& error,
                    bool* incomplete) {
    uint32_t number = 0;
    std::string stopped;
    const auto next = [&](orvi::Error& failure) -> std::optional<orvi::Image> {
        if (number == pictures.count()) {
            return std::nullopt;
        }
        ++number;
        orvi::LoadOptions load;
        load.details = false;
        std::optional<orvi::Image> frame = pictures.load(number, failure, load);
        if (!frame && number > 1 && !options.strict) {
            complain("warning: " + shown_name(in, false) + ": " + failure.sentence +
                     "; the animation stops at frame " + std::to_string(number - 1));
            failure = {};
            number = pictures.count();
            if (incomplete != nullptr) {
                *incomplete = true;
            }
            return std::nullopt;
        }
        if (!frame) {
            stopped = "cannot load " + shown_name(in, false) + ": " + told(failure) +
                      (number > 1 ? " (--strict)" : "");
            return std::nullopt;
        }
        std::string why;
        if (!tell_gaps(options, in, *frame, why) || !process(library, options, in, *frame, why)) {
            stopped = why;
            failure = {orvi::kBadOperation, why};
            return std::nullopt;
        }
        if (incomplete != nullptr && !frame->complete()) {
            *incomplete = true;
        }
        return frame;
    };
    return write_animation(library, options, next, out, stopped, error);
}

// A still's colour cycling as an animation (--cycle).
bool save_cycling(orvi::Library& library, const Settings& options, const orvi::Image& image,
                  const std::string& in, const std::string& out, std::string& error) {
    if (!orvi::Cycling(image.description(), image.palette().size() / 3).moves()) {
        complain("note: " + shown_name(in, false) +
                 ": no colour range of the picture turns; the animation is the still");
    }
    return write_animation(library, options, library.cycling_frames(image, options.cycle), out, "",
                           error);
}

} // namespace

void complain(const std::string& sentence) {
    std::fprintf(stderr, "orvi: %s\n", sentence.c_str());
}

std::string told(const orvi::Error& error) {
    static constexpr std::pair<const char*, const char*> kHints[] = {
        {"max_pixels", "--max-pixels N sets the limit, 0 for none"},
        {"page", "--page N picks one"},
        {"format", "--to FORMAT chooses one"},
        {"exact", "without --exact they are reduced to that many"},
        {"force", "--force replaces it"},
        {"depth", "--depth N chooses one"},
    };
    for (const auto& [option, hint] : kHints) {
        if (error.option == option) {
            return error.sentence + " (" + hint + ")";
        }
    }
    return error.sentence;
}

bool make_folder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
        complain("cannot create the folder " + orvi::quoted(folder) + " (" + std::strerror(errno) +
                 ")");
        return false;
    }
    return true;
}

bool show_progress(bool quiet, bool forced) {
    return !quiet && (forced || ::isatty(2) != 0);
}

std::string shown_name(const std::string& path, bool output) {
    if (path != "-") {
        return orvi::quoted(path);
    }
    return output ? "standard output" : "standard input";
}

orvi::Options library_options(uint64_t max_pixels, uint64_t memory_limit, uint32_t threads) {
    orvi::Options options = orvi::Options::from_environment();
    options.max_pixels = max_pixels;
    options.memory_limit = memory_limit;
    options.threads = threads;
    return options;
}

int check_steps(orvi::Library& library, const Settings& options) {
    for (const Step& step : options.steps) {
        if (step.operation.kind != orvi::Operation::Kind::Convolve) {
            continue;
        }
        orvi::Error error;
        if (!library.find_filter(step.operation.filter, error)) {
            complain(error.code == orvi::kBadOperation ? step.option + ": " + error.sentence
                                                       : error.sentence);
            return error.code == orvi::kBadOperation ? kExitUsage : kExitFailed;
        }
    }
    return kExitOk;
}

bool convert_one(orvi::Library& library, const Settings& options, const std::string& in,
                 const std::string& out, bool progress, std::string& error, bool* incomplete) {
    orvi::Error failure;
    std::optional<orvi::Pictures> pictures = open_input(library, in, failure);
    if (!pictures) {
        error = "cannot load " + shown_name(in, false) + ": " + told(failure);
        return false;
    }
    orvi::Error unknown; // said when the save is tried
    const auto output = orvi::Library::output_format(out, options.to, unknown);
    if (options.cycle > 0 && !(output && output->animates)) {
        error =
            "--cycle writes an animation: " + shown_name(out, true) + " is not a GIF or WebP file";
        return false;
    }
    if (output && output->animates && pictures->frames() && options.page == 0) {
        if (options.cycle > 0) {
            complain("note: " + shown_name(in, false) +
                     ": --cycle turns a still's colours; the animation's frames are written as "
                     "they are");
        }
        return convert_frames(library, options, *pictures, in, out, error, incomplete);
    }
    std::optional<orvi::Image> image;
    {
        ProgressBar bar(progress, "loading " + in);
        orvi::LoadOptions load;
        load.details = false;
        load.progress = bar.routine();
        image = pictures->load(std::max<uint32_t>(options.page, 1), failure, load);
    }
    if (!image) {
        error = "cannot load " + shown_name(in, false) + ": " + told(failure);
        return false;
    }
    if (!tell_gaps(options, in, *image, error)) {
        return false;
    }
    if (incomplete != nullptr) {
        *incomplete = !image->complete();
    }
    if (!process(library, options, in, *image, error)) {
        return false;
    }
    if (options.cycle > 0) {
        return save_cycling(library, options, *image, in, out, error);
    }
    return save_output(library, options, *image, out, progress, error);
}

namespace {

// "frames/anim-01.png": the picture's number after the input's name, as many digits as
// the last one's, so that the names sort in order.
std::string numbered_output(const std::string& in, const std::string& folder, uint32_t number,
                            uint32_t count, const std::string& extension) {
    const size_t slash = in.rfind('/');
    std::string base = in == "-" ? "stdin" : slash == std::string::npos ? in : in.substr(slash + 1);
    const size_t dot = base.rfind('.');
    if (dot != std::string::npos && dot != 0) {
        base.resize(dot);
    }
    std::string digits = std::to_string(number);
    digits.insert(0, std::to_string(count).size() - std::min(digits.size(), std::to_string(count).size()), '0');
    return folder + (folder.ends_with('/') ? "" : "/") + base + "-" + digits + "." + extension;
}

// Every picture of IN (the pages of a file of several, the frames of an animation), or
// the one --page names, into the folder, a file each.
int convert_into_folder(orvi::Library& library, const Settings& options, const std::string& in,
                        const std::string& folder) {
    orvi::Error failure;
    std::optional<orvi::Pictures> pictures = open_input(library, in, failure);
    if (!pictures) {
        complain("cannot load " + shown_name(in, false) + ": " + told(failure));
        return kExitFailed;
    }
    const auto output = orvi::Library::output_format("", options.to, failure);
    const uint32_t count = pictures->count();
    // The folder is flushed once, after the last file (each file is still whole on disk
    // before it takes its name).
    Settings each = options;
    each.flush_folder = false;
    const auto flushed = [&](int code) {
        std::string why;
        if (options.flush_folder && !orvi::flush_folder(folder, why)) {
            complain(why);
            return kExitFailed;
        }
        return code;
    };
    const uint32_t first = options.page == 0 ? 1 : options.page;
    const uint32_t last = options.page == 0 ? count : options.page;
    for (uint32_t number = first; number <= last; ++number) {
        orvi::LoadOptions load;
        load.details = false;
        std::optional<orvi::Image> image = pictures->load(number, failure, load);
        std::string error;
        if (!image) {
            if (pictures->frames() && number > 1 && !options.strict) {
                complain("warning: " + shown_name(in, false) + ": " + failure.sentence +
                         "; the animation stops at frame " + std::to_string(number - 1));
                return flushed(kExitOk);
            }
            complain("cannot load " + shown_name(in, false) + ": " + told(failure));
            return flushed(kExitFailed);
        }
        const std::string out =
            numbered_output(in, folder, number, count, output->file_extension);
        if (!tell_gaps(options, in, *image, error) ||
            !process(library, options, in, *image, error) ||
            !save_output(library, each, *image, out, false, error)) {
            complain(error);
            return flushed(kExitFailed);
        }
    }
    return flushed(kExitOk);
}

} // namespace

int convert(const Settings& options, const std::string& in, const std::string& out) {
    if (options.to.empty() && out == "-") {
        complain("writing to standard output needs --to FORMAT");
        return kExitUsage;
    }
    if (options.to.empty() && out.ends_with('/')) {
        complain("writing into the folder " + orvi::quoted(out) + " needs --to FORMAT");
        return kExitUsage;
    }
    orvi::Error error;
    if (!orvi::Library::output_format(out, options.to, error)) {
        complain("cannot save " + shown_name(out, true) + ": " + told(error));
        return kExitUsage;
    }
    orvi::Library library(
        library_options(options.max_pixels, options.memory_limit, options.threads));
    if (const int status = check_steps(library, options); status != kExitOk) {
        return status;
    }
    if (out != "-" && names_folder(out, options.to)) {
        return make_folder(out) ? convert_into_folder(library, options, in, out) : kExitFailed;
    }
    std::string failure;
    if (!convert_one(library, options, in, out, show_progress(options.quiet, options.progress),
                     failure)) {
        complain(failure);
        return kExitFailed;
    }
    return kExitOk;
}

namespace {

// Prints what `orvi info` says of one loaded picture (or why it did not load); false for
// a failure.
// A file's chunks, a line each under its info line (indented by how deep each is), or as
// a JSON array.
std::string chunk_lines(const std::vector<orvi::FileChunk>& chunks, bool json) {
    std::string out;
    for (const orvi::FileChunk& chunk : chunks) {
        if (json) {
            if (!out.empty()) {
                out += ',';
            }
            out += "{\"id\":";
            out += json_string(chunk.id);
            out += ",\"offset\":" + std::to_string(chunk.offset);
            out += ",\"size\":" + std::to_string(chunk.size);
            out += ",\"depth\":" + std::to_string(chunk.depth) + "}";
        } else {
            out += std::string(2 * (chunk.depth + 1), ' ') + "chunk " + chunk.id + " at offset " +
                   std::to_string(chunk.offset) + ", length " + std::to_string(chunk.size) + "\n";
        }
    }
    return json ? "[" + out + "]" : out;
}

// `stop`, when not empty, is why the frames of an animation stop before its last.
bool print_info(const std::string& file, const std::optional<orvi::Image>& image,
                const orvi::Error& failure, bool json, const std::string& stop = "") {
    if (!image) {
        const std::string why = told(failure);
        if (json) {
            std::printf("{\"file\":%s,\"error\":%s}\n", json_string(file).c_str(),
                        json_string(why).c_str());
        } else {
            std::printf("%s: cannot load: %s\n", orvi::escaped(file).c_str(), why.c_str());
        }
        return false;
    }
    std::string gaps;
    for (const std::string& gap : image->gaps()) {
        gaps += (gaps.empty() ? "" : "; ") + gap;
    }
    if (!json) {
        std::string line = orvi::summary(file, *image);
        if (!stop.empty()) {
            line += (image->complete() ? ", incomplete: " : "; ") + stop;
        }
        std::printf("%s\n%s", line.c_str(), chunk_lines(image->chunks(), false).c_str());
        return true;
    }
    std::string line = details_json(file, image->details());
    if (!image->chunks().empty()) {
        line.insert(line.size() - 1, ",\"chunks\":" + chunk_lines(image->chunks(), true));
    }
    if (!stop.empty()) {
        gaps += (gaps.empty() ? "" : "; ") + stop;
    }
    if (!gaps.empty()) {
        line.insert(line.size() - 1, ",\"complete\":false,\"gaps\":" + json_string(gaps));
    }
    std::printf("%s\n", line.c_str());
    return true;
}

} // namespace

int info(const Settings& options) {
    orvi::Library library(library_options(options.max_pixels, 0));
    int status = kExitOk;
    for (const std::string& file : options.arguments) {
        // Every picture of a file that holds several, unless --page names one; the file is
        // read once for all of them. An animation is one line, its first frame's (or the
        // one --page names), said once every frame has been drawn or one could not be.
        std::optional<orvi::Image> animation;
        const auto each = [&](uint32_t page, uint32_t pages, std::optional<orvi::Image> image,
                              const orvi::Error& failure) {
            const bool frame = image && image->detail("frames") != nullptr;
            if (animation || (frame && options.page == 0)) {
                if (!animation) {
                    animation = std::move(image);
                } else if (!image) {
                    (void)print_info(file, animation, failure, options.json,
                                     "the animation stops at frame " + std::to_string(page - 1) +
                                         ": " + failure.sentence);
                    animation.reset();
                    return false;
                }
                if (page == pages) {
                    (void)print_info(file, animation, failure, options.json);
                    animation.reset();
                }
                return true;
            }
            const std::string word = frame ? " (frame " : " (page ";
            const std::string shown =
                page > 1 ? file + word + std::to_string(page) + ")" : file;
            if (!print_info(shown, image, failure, options.json)) {
                status = kExitFailed;
                return false;
            }
            return true;
        };
        orvi::LoadOptions load;
        load.page = options.page;
        load.chunks = options.chunks;
        orvi::Error failure;
        bool read = false;
        if (file != "-") {
            read = library.load_pages(file, load, each, failure);
        } else if (standard_stream_closed(STDIN_FILENO)) {
            failure.sentence = "it is closed";
        } else {
            read = library.load_pages_from(STDIN_FILENO, load, each, failure);
        }
        if (!read) {
            (void)print_info(file, std::nullopt, failure, options.json);
            status = kExitFailed;
        }
    }
    return status;
}

int view(const Settings& options) {
    orvi::Library library(library_options(options.max_pixels, 0));
    return viewer::view(library, options.arguments, options.view, complain);
}

int list_filters() {
    orvi::Library library(library_options(orvi::kDefaultMaxPixels, 0));
    orvi::Error error;
    const std::vector<orvi::Filter> filters = library.filters(error);
    if (filters.empty()) {
        complain(error.sentence.empty() ? "the ops module has no filter table" : error.sentence);
        return kExitFailed;
    }
    for (const orvi::Filter& filter : filters) {
        std::printf("%s (%u x %u, default divisor %d)\n", filter.name.c_str(), filter.size,
                    filter.size, filter.default_divisor);
        for (size_t r = 0; r < filter.size; ++r) {
            for (size_t k = 0; k < filter.size; ++k) {
                std::printf("%4d", filter.weights[r * filter.size + k]);
            }
            std::printf("\n");
        }
    }
    return kExitOk;
}

} // namespace cli
