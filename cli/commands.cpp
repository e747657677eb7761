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
#include "viewer/viewer.h"

namespace cli {
namespace {

// A grey picture has no red, green and blue to offset or paint.
bool needs_colour(const orvi::Operation& operation) {
    return operation.kind == orvi::Operation::Kind::Rgb ||
           operation.kind == orvi::Operation::Kind::Fill;
}

// Loads a file, or standard input for "-"; nothing with the reason in `failure`.
std::optional<orvi::Image> load_input(orvi::Library& library, const std::string& in,
                                      const orvi::LoadOptions& options, orvi::Error& failure) {
    std::optional<orvi::Image> image;
    if (in != "-") {
        image = library.load(in, failure, options);
    } else if (standard_stream_closed(STDIN_FILENO)) {
        failure.sentence = "it is closed";
    } else {
        image = library.load_from(STDIN_FILENO, failure, options);
    }
    return image;
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
    std::optional<orvi::Image> image;
    {
        ProgressBar bar(progress, "loading " + in);
        image = load_input(library, in, {false, bar.routine(), std::max<uint32_t>(options.page, 1)},
                           failure);
    }
    if (!image) {
        error = "cannot load " + shown_name(in, false) + ": " + told(failure);
        return false;
    }
    for (const std::string& note : image->notes()) {
        complain("note: " + shown_name(in, false) + ": " + note);
    }
    if (!image->complete() && options.strict) {
        error =
            "cannot load " + shown_name(in, false) + ": " + image->gaps().front() + " (--strict)";
        return false;
    }
    for (const std::string& gap : image->gaps()) {
        complain("warning: " + shown_name(in, false) + ": " + gap);
    }
    if (incomplete != nullptr) {
        *incomplete = !image->complete();
    }
    for (const Step& step : options.steps) {
        if (needs_colour(step.operation) && image->bytes_per_pixel() != 3) {
            error = "cannot process " + shown_name(in, false) + ": " + step.option +
                    " needs a colour picture (it comes after --gray)";
            return false;
        }
        if (!library.apply(*image, step.operation, failure)) {
            error = "cannot process " + shown_name(in, false) + ": " + step.option + ": " +
                    failure.sentence;
            return false;
        }
    }
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
    std::vector<std::string> notes;
    bool saved = false;
    ProgressBar bar(progress, "saving " + out);
    save.progress = bar.routine();
    if (out != "-") {
        saved = library.save(*image, out, save, failure, &notes);
    } else if (standard_stream_closed(STDOUT_FILENO)) {
        failure.sentence = "it is closed";
    } else if (!options.force && ::isatty(STDOUT_FILENO) != 0) {
        failure.sentence =
            "it is a terminal; send it to a file or a pipe (--force writes it all the same)";
    } else {
        saved = library.save_to(*image, STDOUT_FILENO, save, failure, &notes);
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

int convert(const Settings& options, const std::string& in, const std::string& out) {
    if (options.to.empty() && out == "-") {
        complain("writing to standard output needs --to FORMAT");
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

bool print_info(const std::string& file, const std::optional<orvi::Image>& image,
                const orvi::Error& failure, bool json) {
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
    if (!json) {
        std::printf("%s\n%s", orvi::summary(file, *image).c_str(),
                    chunk_lines(image->chunks(), false).c_str());
        return true;
    }
    std::string line = details_json(file, image->details());
    if (!image->chunks().empty()) {
        line.insert(line.size() - 1, ",\"chunks\":" + chunk_lines(image->chunks(), true));
    }
    if (!image->complete()) {
        std::string gaps;
        for (const std::string& gap : image->gaps()) {
            gaps += (gaps.empty() ? "" : "; ") + gap;
        }
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
        // read once for all of them.
        const auto each = [&](uint32_t page, uint32_t /*pages*/, std::optional<orvi::Image> image,
                              const orvi::Error& failure) {
            const std::string shown =
                page > 1 ? file + " (page " + std::to_string(page) + ")" : file;
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
