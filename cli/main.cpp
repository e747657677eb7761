// orvi: the command through which people load, convert and save pictures with the
// plug-in modules. Argument parsing and dispatch only; the work is in commands.cpp.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/streams.h"
#include "orvi/orvi.h"

namespace {

constexpr const char* kShortUsage =
    "usage: orvi convert [options] IN OUT\n"
    "       orvi convert [options] --to FORMAT --out-dir DIR FILE...\n"
    "       orvi info [--json] FILE...\n"
    "       orvi filters\n"
    "       orvi view [--terminal] [--slideshow SECONDS] FILE|FOLDER...\n"
    "       orvi demo [FOLDER]\n"
    "See 'orvi --help' for every option.\n";

constexpr const char* kUsage =
    "usage: orvi convert [options] IN OUT   load IN and save it as OUT ('-': standard\n"
    "                                       input or output)\n"
    "       orvi convert [options] --to FORMAT --out-dir DIR FILE...\n"
    "                                       convert each FILE into DIR, one worker per core\n"
    "       orvi info [--json] [--max-pixels N] [--page N] FILE...\n"
    "                                       format, size, depth and header details of each\n"
    "                                       file (--json: one JSON object per line)\n"
    "       orvi filters                    the predefined convolution filters\n"
    "       orvi view [options] FILE|FOLDER...\n"
    "                                       show the pictures (a folder's in name order) in\n"
    "                                       a window, or in the terminal without a display;\n"
    "                                       '?' in the window lists the keys\n"
    "         --terminal                    draw in the terminal even with a display\n"
    "         --slideshow SECONDS           step to the next picture by itself\n"
    "         --graphics auto|symbols|sixels|kitty\n"
    "                                       how the terminal is drawn on (auto: what it shows)\n"
    "         --size COLUMNSxROWS           the terminal's size instead of asking it\n"
    "                                       (columns 1..1000, rows 1..500)\n"
    "         --timings FILE                write how long each frame of the window took\n"
    "       orvi demo [FOLDER]              convert a generated test card through every\n"
    "                                       format (default folder: orvi-demo in the\n"
    "                                       temporary folder)\n"
    "       orvi --help | --version\n"
    "\n"
    "The input format is recognised from the file's content (PBM, PGM, PPM, PCX, IFF ILBM,\n"
    "XPM, PNG, and the IFF and PAM kinds orvi(1) lists); the output format comes from --to\n"
    "or OUT's extension (ppm, pgm, pnm, pbm, pam, pcx, iff, ilbm, lbm, xpm, png). An\n"
    "existing OUT is replaced only when the save succeeds; a device or pipe as OUT is\n"
    "written, not replaced. '--' ends the options.\n"
    "\n"
    "Operations, applied in the order given:\n"
    "  --gamma G              gamma correction, G from 0.01 to 100 (1 changes nothing)\n"
    "  --brightness N         add N (-255..255) to every sample\n"
    "  --rgb R,G,B            add R, G, B (-255..255 each) to the red, green, blue samples\n"
    "  --contrast N           contrast curve, N from -127 (flat grey) to 127 (hard)\n"
    "  --gray                 grey picture from the red samples\n"
    "  --negate               invert every sample\n"
    "  --rotate cw|ccw        a quarter turn clockwise or anticlockwise\n"
    "  --flip h|v             mirror left-right (h) or top-bottom (v)\n"
    "  --resize WxH           nearest-neighbour resize, sides 1..65535\n"
    "  --fill R,G,B           paint every pixel this colour (0..255 each)\n"
    "  --convolve NAME[:DIVISOR[:MODE]]\n"
    "                         a predefined filter (see 'orvi filters'); the divisor defaults\n"
    "                         to the sum of the weights (1 when that is not positive), the\n"
    "                         mode to 0 (0 clip negatives, 2 add 128, other: magnitude)\n"
    "  --kernel W,W,...       a 3 x 3 or 5 x 5 kernel (9 or 25 whole numbers), with\n"
    "  --divisor D --mode M   its divisor (nonzero) and mode (0..255)\n"
    "\n"
    "Saving:\n"
    "  --to FORMAT  the output format: ppm, pgm, pnm, pbm, pam, pcx, iff, ilbm, lbm, xpm, png,\n"
    "               or iff-pbm (the chunky FORM PBM of Deluxe Paint on the PC, at most 256\n"
    "               colours; a .lbm name alone writes ILBM) (needed for '-' as OUT and with\n"
    "               --out-dir, whose outputs take it as extension)\n"
    "  --out-dir DIR  convert every FILE into DIR (made when missing); a failed file is\n"
    "               reported and the others go on; exit 1 if any failed\n"
    "  --jobs N     with --out-dir: N worker processes, 1..64 (default: one per core)\n"
    "  --threads N  threads for one picture's operations, 1..64 (default: one per core;\n"
    "               1 works on the calling thread alone); the result is the same for any N\n"
    "  --plain      write PNM samples as text (P3, P2, P1) instead of raw (P6, P5, P4)\n"
    "  --depth N    PCX: 1, 2, 4 or 8 bits, ILBM: 1 to 8 planes, PNG and XPM: 1 to 8 bits, with "
    "an\n"
    "               exact palette of the picture's colours (refused when there are more), or\n"
    "               24 (the default); iff-pbm: 1 to 8, the default 8\n"
    "  --reduce     with --depth (or iff-pbm): when the colours do not fit, choose 2^N by\n"
    "               median cut\n"
    "  --dither     with --reduce, or for a PBM bitmap: Floyd-Steinberg error diffusion\n"
    "  --compress / --no-compress   ILBM: ByteRun1 (the default) or a plain BODY\n"
    "  --names      XPM: colours by their X11 name where one matches exactly (else #RRGGBB)\n"
    "  --force      replace an OUT the user may not write, or write to a terminal\n"
    "  --strict     refuse a file whose data ends early or names unknown colours (by\n"
    "               default it is converted, the missing parts black, with a warning)\n"
    "  --max-pixels N  refuse pictures declaring more than N pixels (default 268435456,\n"
    "               0: no limit)\n"
    "  --page N     the Nth picture of a file holding several (DCX, an IFF LIST or CAT;\n"
    "               default the first; info lists them all)\n"
    "  --quiet      no progress bar\n"
    "  --progress   a progress bar on stderr even when it is not a terminal\n"
    "\n"
    "PNG: RGB, grey and palette files of any bit depth are read (16-bit samples scaled to\n"
    "8, transparent pixels shown on black, with a note); PNGs are written as 8-bit grey when\n"
    "every pixel is grey, with a palette when there are at most 256 colours, else 8-bit RGB.\n"
    "\n"
    "Modules are loaded from $ORVI_MODULE_PATH, else from the executable's folder, or from\n"
    "../lib/orvi beside it when installed. See orvi(1) for more.\n"
    "Exit status: 0 done, 1 a job failed, 2 usage error.\n";

// "ppm, pgm, pnm, pcx, iff, ilbm, lbm or png": the extensions of every format written,
// and the name of one without an extension of its own.
std::string written_names() {
    std::vector<std::string> names;
    for (const orvi::FormatInfo& format : orvi::Library::formats()) {
        if (format.writes && format.extensions.empty()) {
            std::string name = format.name;
            std::transform(name.begin(), name.end(), name.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            names.push_back(name);
        } else if (format.writes) {
            names.insert(names.end(), format.extensions.begin(), format.extensions.end());
        }
    }
    std::string list;
    for (size_t i = 0; i < names.size(); ++i) {
        list += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    }
    return list;
}

int usage_error(const std::string& sentence) {
    std::fprintf(stderr, "orvi: %s\n(see 'orvi --help')\n", sentence.c_str());
    return cli::kExitUsage;
}

// A whole number 0..2^63 for `option`; false after saying why.
bool parse_count(const std::string& option, const std::string& value, uint64_t& count) {
    constexpr uint64_t kMost = uint64_t{1} << 63U;
    count = 0;
    bool valid = !value.empty() && value.find_first_not_of("0123456789") == std::string::npos;
    for (size_t i = 0; valid && i < value.size(); ++i) {
        valid = count <= (kMost - static_cast<uint64_t>(value[i] - '0')) / 10;
        count = count * 10 + static_cast<uint64_t>(value[i] - '0');
    }
    if (!valid) {
        (void)usage_error(option + " takes a whole number of pixels (0 for no limit), not '" +
                          value + "'");
    }
    return valid;
}

// --page N: a picture number from 1; false after saying why.
bool parse_page(const std::string& value, uint32_t& page) {
    const bool digits = !value.empty() && value.size() <= 9 &&
                        value.find_first_not_of("0123456789") == std::string::npos;
    page = digits ? static_cast<uint32_t>(std::stoul(value)) : 0;
    if (page < 1) {
        (void)usage_error("--page takes a picture number from 1, not '" + value + "'");
        return false;
    }
    return true;
}

// "WxH" with sides 1..most_width and 1..most_height.
bool parse_size(const std::string& value, uint32_t& width, uint32_t& height, uint32_t most_width,
                uint32_t most_height) {
    const size_t x = value.find('x');
    const auto side = [](const std::string& digits, uint32_t& out, uint32_t most) {
        if (digits.empty() || digits.size() > 5 ||
            digits.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        out = static_cast<uint32_t>(std::stoul(digits));
        return out >= 1 && out <= most;
    };
    return x != std::string::npos && side(value.substr(0, x), width, most_width) &&
           side(value.substr(x + 1), height, most_height);
}

int run_view(const std::vector<std::string>& args) {
    cli::ViewOptions options;
    bool options_ended = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool has_value = i + 1 < args.size();
        if (options_ended || arg.empty() || arg[0] != '-') {
            options.arguments.push_back(arg);
        } else if (arg == "--") {
            options_ended = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return cli::kExitOk;
        } else if (arg == "--terminal") {
            options.terminal = true;
        } else if (arg == "--slideshow") {
            const std::string value = has_value ? args[++i] : "";
            char* end = nullptr;
            const double seconds = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !(seconds >= 0.1 && seconds <= 86400)) {
                return usage_error("--slideshow takes seconds from 0.1 to 86400, not '" + value +
                                   "'");
            }
            options.slideshow_seconds = seconds;
        } else if (arg == "--timings") {
            if (!has_value || args[i + 1].empty()) {
                return usage_error("--timings needs a file");
            }
            options.timings = args[++i];
        } else if (arg == "--graphics") {
            const std::string value = has_value ? args[++i] : "";
            if (value == "auto") {
                options.graphics = viewer::Graphics::Automatic;
            } else if (value == "symbols") {
                options.graphics = viewer::Graphics::Symbols;
            } else if (value == "sixels") {
                options.graphics = viewer::Graphics::Sixels;
            } else if (value == "kitty") {
                options.graphics = viewer::Graphics::Kitty;
            } else {
                return usage_error("--graphics takes auto, symbols, sixels or kitty, not '" +
                                   value + "'");
            }
        } else if (arg == "--size") {
            const std::string value = has_value ? args[++i] : "";
            if (!parse_size(value, options.columns, options.rows, viewer::kMostColumns,
                            viewer::kMostRows)) {
                return usage_error("--size takes COLUMNSxROWS (columns 1.." +
                                   std::to_string(viewer::kMostColumns) + ", rows 1.." +
                                   std::to_string(viewer::kMostRows) + "), not '" + value + "'");
            }
        } else if (arg == "--max-pixels") {
            if (!parse_count(arg, has_value ? args[++i] : "", options.max_pixels)) {
                return cli::kExitUsage;
            }
        } else {
            return usage_error("unknown option '" + arg + "' for view");
        }
    }
    if (options.arguments.empty()) {
        return usage_error("view takes at least one file or folder");
    }
    return cli::view(options);
}

int run_convert(const std::vector<std::string>& args) {
    cli::ConvertOptions options;
    std::vector<std::string> files;
    std::vector<std::pair<std::string, std::string>> kernel_settings;
    bool options_ended = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_ended) {
            files.push_back(arg);
            continue;
        }
        bool needs_value = false;
        const bool is_setting = arg == "--divisor" || arg == "--mode";
        if (cli::is_operation(arg, needs_value) || is_setting) {
            if ((needs_value || is_setting) && i + 1 >= args.size()) {
                return usage_error(arg + " needs a value");
            }
            const std::string value = needs_value || is_setting ? args[++i] : "";
            std::string error;
            if (is_setting) {
                kernel_settings.emplace_back(arg, value);
                continue;
            }
            auto step = cli::parse_operation(arg, value, error);
            if (!step) {
                return usage_error(error);
            }
            options.steps.push_back(*step);
        } else if (arg == "--depth") {
            const std::string value = i + 1 < args.size() ? args[++i] : "";
            const bool valid =
                value == "24" || (value.size() == 1 && value[0] >= '1' && value[0] <= '8');
            if (!valid) {
                return usage_error("--depth takes 1 to 8 or 24, not '" + value + "'");
            }
            options.depth = static_cast<uint32_t>(std::stoul(value));
        } else if (arg == "--to") {
            const std::string value = i + 1 < args.size() ? args[++i] : "";
            orvi::Error error;
            if (value.empty() || !orvi::Library::output_format("", value, error)) {
                return usage_error("--to takes " + written_names() + ", not '" + value + "'");
            }
            options.to = value;
        } else if (arg == "--out-dir") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                return usage_error("--out-dir needs a folder");
            }
            options.out_dir = args[++i];
        } else if (arg == "--jobs" || arg == "--threads") {
            const std::string value = i + 1 < args.size() ? args[++i] : "";
            const bool digits = !value.empty() && value.size() <= 2 &&
                                value.find_first_not_of("0123456789") == std::string::npos;
            const unsigned long count = digits ? std::stoul(value) : 0;
            if (count < 1 || count > 64) {
                return usage_error(arg + " takes 1 to 64, not '" + value + "'");
            }
            (arg == "--jobs" ? options.jobs : options.threads) = static_cast<uint32_t>(count);
        } else if (arg == "--max-pixels") {
            if (!parse_count(arg, i + 1 < args.size() ? args[++i] : "", options.max_pixels)) {
                return cli::kExitUsage;
            }
        } else if (arg == "--page") {
            if (!parse_page(i + 1 < args.size() ? args[++i] : "", options.page)) {
                return cli::kExitUsage;
            }
        } else if (arg == "--force") {
            options.force = true;
        } else if (arg == "--strict") {
            options.strict = true;
        } else if (arg == "--") {
            options_ended = true;
        } else if (arg == "--reduce") {
            options.reduce = true;
        } else if (arg == "--dither") {
            options.dither = true;
        } else if (arg == "--compress" || arg == "--no-compress") {
            options.uncompressed = arg == "--no-compress";
        } else if (arg == "--plain") {
            options.plain = true;
        } else if (arg == "--names") {
            options.names = true;
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--progress") {
            options.progress = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return cli::kExitOk;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usage_error("unknown option '" + arg + "' for convert");
        } else {
            files.push_back(arg);
        }
    }
    // A bitmap (PBM) output dithers its black and white without a palette to reduce to;
    // a writer of palette pictures only reduces to 256 colours without a depth.
    std::optional<orvi::FormatInfo> output;
    if (!options.to.empty() || (options.out_dir.empty() && files.size() == 2)) {
        orvi::Error unknown; // said when the save is tried
        output =
            orvi::Library::output_format(options.to.empty() ? files[1] : "", options.to, unknown);
    }
    const bool bitmap_output = output && output->name == "PBM";
    if (options.dither && !options.reduce && !bitmap_output) {
        return usage_error("--dither goes with --reduce");
    }
    const bool palette_output = output && !output->true_colour;
    if (options.reduce && (options.depth == 24 || (options.depth == 0 && !palette_output))) {
        return usage_error("--reduce needs --depth 1 to 8");
    }
    // A depth the output format cannot take is known before any file is read.
    if (output && options.depth != 0 && !output->palette_depths.empty()) {
        const auto& depths = output->palette_depths;
        const bool taken = options.depth == 24 ? output->true_colour
                                               : std::find(depths.begin(), depths.end(),
                                                           options.depth) != depths.end();
        if (!taken) {
            const bool run = depths.back() - depths.front() + 1 == depths.size();
            std::string list =
                run ? std::to_string(depths.front()) + " to " + std::to_string(depths.back())
                    : std::string();
            for (size_t i = 0; !run && i < depths.size(); ++i) {
                list += (i == 0 ? "" : ", ") + std::to_string(depths[i]);
            }
            return usage_error("--depth " + std::to_string(options.depth) + ": " + output->name +
                               " files take " + list + (output->true_colour ? " or 24" : ""));
        }
    }
    if (options.out_dir.empty() && files.size() > 2) {
        return usage_error("convert takes one input and one output file; to convert many "
                           "files, give --to FORMAT and --out-dir DIR");
    }
    if (options.out_dir.empty() ? files.size() != 2 : files.empty()) {
        return usage_error(options.out_dir.empty()
                               ? "convert takes one input and one output file"
                               : "convert --out-dir takes at least one input file");
    }
    for (const auto& [option, value] : kernel_settings) {
        std::string error;
        if (!cli::parse_kernel_setting(option, value, options.steps, error)) {
            return usage_error(error);
        }
    }
    if (!options.out_dir.empty()) {
        return cli::convert_batch(options, files);
    }
    return cli::convert(options, files[0], files[1]);
}

int run(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fputs(kShortUsage, stderr);
        return cli::kExitUsage;
    }
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return cli::kExitOk;
    }
    if (command == "--version") {
        std::printf("orvi %s\n", ORVI_VERSION);
        return cli::kExitOk;
    }
    if (command == "convert") {
        return run_convert(rest);
    }
    if (command == "info") {
        cli::InfoOptions options;
        std::vector<std::string> files;
        bool options_ended = false;
        for (size_t i = 0; i < rest.size(); ++i) {
            const std::string& arg = rest[i];
            if (options_ended || arg == "-" || arg.empty() || arg[0] != '-') {
                files.push_back(arg);
            } else if (arg == "--") {
                options_ended = true;
            } else if (arg == "--help" || arg == "-h") {
                std::fputs(kUsage, stdout);
                return cli::kExitOk;
            } else if (arg == "--json") {
                options.json = true;
            } else if (arg == "--max-pixels") {
                if (!parse_count(arg, i + 1 < rest.size() ? rest[++i] : "", options.max_pixels)) {
                    return cli::kExitUsage;
                }
            } else if (arg == "--page") {
                if (!parse_page(i + 1 < rest.size() ? rest[++i] : "", options.page)) {
                    return cli::kExitUsage;
                }
            } else {
                return usage_error("unknown option '" + arg + "' for info");
            }
        }
        if (files.empty()) {
            return usage_error("info takes at least one file");
        }
        return cli::info(files, options);
    }
    if (command == "view") {
        return run_view(rest);
    }
    const bool help_asked = !rest.empty() && (rest[0] == "--help" || rest[0] == "-h");
    if ((command == "filters" || command == "demo") && help_asked) {
        std::fputs(kUsage, stdout);
        return cli::kExitOk;
    }
    if (command == "filters") {
        if (!rest.empty()) {
            return usage_error("filters takes no arguments");
        }
        return cli::list_filters();
    }
    if (command == "demo") {
        if (rest.size() > 1) {
            return usage_error("demo takes at most one folder");
        }
        return cli::demo(rest.empty() ? cli::default_demo_folder() : rest[0]);
    }
    return usage_error("unknown command '" + command + "'");
}

} // namespace

int main(int argc, char** argv) {
    cli::guard_standard_streams();
    // The library reports its own lack of memory; what the command's own work lacks ends
    // it with a sentence too, never an abort.
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        cli::complain("there is not enough memory to go on");
        return cli::kExitFailed;
    }
}
