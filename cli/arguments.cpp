// The option table of `orvi`, reading a command line through it, and the usage texts it
// writes.
#include "cli/arguments.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace cli {
namespace {

// The commands an option belongs to, as bits.
constexpr uint32_t kConvert = 1U << static_cast<uint32_t>(Command::Convert);
constexpr uint32_t kInfo = 1U << static_cast<uint32_t>(Command::Info);
constexpr uint32_t kView = 1U << static_cast<uint32_t>(Command::View);

// Where --help lists an option.
enum class Group : uint8_t { Operation, Saving, Reading, Info, View };

// Reads an option's value into the settings; false with the sentence in `error`.
using Apply = bool (*)(Settings& settings, const std::string& value, std::string& error);

struct Option {
    const char* name;
    const char* value; // what follows it, or nullptr for a switch
    uint32_t commands;
    Group group;
    const char* help; // wrapped by --help
    Apply apply;
};

bool step(Settings& settings, const std::string& name, const std::string& value,
          std::string& error) {
    auto parsed = parse_operation(name, value, error);
    if (parsed) {
        settings.steps.push_back(std::move(*parsed));
    }
    return parsed.has_value();
}

// A whole number of digits in [low, high] for `name`, or a sentence saying what it takes.
bool whole(const std::string& name, const std::string& value, int64_t low, int64_t high,
           const char* what, int64_t& out, std::string& error) {
    const bool digits =
        !value.empty() && value.find_first_not_of("0123456789") == std::string::npos;
    const auto number = digits ? parse_integer(value, low, high) : std::nullopt;
    if (!number) {
        error = name + " takes " + what + ", not '" + value + "'";
        return false;
    }
    out = *number;
    return true;
}

// Seconds from `low` to `high` (a decimal number) for `name`, or a sentence saying so.
bool seconds_in(const std::string& name, const std::string& value, double low, double high,
                double& out, std::string& error) {
    char* end = nullptr;
    const double seconds = std::strtod(value.c_str(), &end);
    if (value.empty() || *end != '\0' || !(seconds >= low && seconds <= high)) {
        char range[64];
        std::snprintf(range, sizeof range, "%g to %g", low, high);
        error = name + " takes seconds from " + range + ", not '" + value + "'";
        return false;
    }
    out = seconds;
    return true;
}

// "WxH" with sides 1..most_width and 1..most_height.
bool parse_size(const std::string& value, uint32_t& width, uint32_t& height, uint32_t most_width,
                uint32_t most_height) {
    const size_t x = value.find('x');
    if (x == std::string::npos) {
        return false;
    }
    const std::string columns = value.substr(0, x);
    const std::string rows = value.substr(x + 1);
    const auto digits = [](const std::string& text) {
        return !text.empty() && text.size() <= 5 &&
               text.find_first_not_of("0123456789") == std::string::npos;
    };
    const auto w = digits(columns) ? parse_integer(columns, 1, most_width) : std::nullopt;
    const auto h = digits(rows) ? parse_integer(rows, 1, most_height) : std::nullopt;
    if (!w || !h) {
        return false;
    }
    width = static_cast<uint32_t>(*w);
    height = static_cast<uint32_t>(*h);
    return true;
}

// "ppm, pgm, ... or iff-pbm": the names --to takes, from the format table.
std::string written_names() {
    std::vector<std::string> names;
    for (const orvi::FormatInfo& format : orvi::Library::formats()) {
        if (!format.writes) {
            continue;
        }
        if (format.extensions.empty()) {
            std::string name = format.name;
            std::transform(name.begin(), name.end(), name.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            names.push_back(name);
        } else {
            names.insert(names.end(), format.extensions.begin(), format.extensions.end());
        }
    }
    std::string list;
    for (size_t i = 0; i < names.size(); ++i) {
        list += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    }
    return list;
}

// "PNM, PCX, ILBM, XPM, PNG and DCX": the formats read.
std::string read_names() {
    std::vector<std::string> names;
    for (const orvi::FormatInfo& format : orvi::Library::formats()) {
        if (format.reads) {
            names.push_back(format.name);
        }
    }
    std::string list;
    for (size_t i = 0; i < names.size(); ++i) {
        list += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    }
    return list;
}

#define ORVI_STEP(option)                                                                          \
    [](Settings& s, const std::string& v, std::string& e) { return step(s, option, v, e); }

constexpr Option kOptions[] = {
    // Operations, in the order given.
    {"--gamma", "G", kConvert, Group::Operation,
     "gamma correction, G from 0.01 to 100 (1 changes nothing)", ORVI_STEP("--gamma")},
    {"--brightness", "N", kConvert, Group::Operation, "add N (-255..255) to every sample",
     ORVI_STEP("--brightness")},
    {"--rgb", "R,G,B", kConvert, Group::Operation,
     "add R, G, B (-255..255 each) to the red, green, blue samples", ORVI_STEP("--rgb")},
    {"--contrast", "N", kConvert, Group::Operation,
     "contrast curve, N from -127 (flat grey) to 127 (hard)", ORVI_STEP("--contrast")},
    {"--gray", nullptr, kConvert, Group::Operation, "grey picture from the red samples",
     ORVI_STEP("--gray")},
    {"--negate", nullptr, kConvert, Group::Operation, "invert every sample", ORVI_STEP("--negate")},
    {"--rotate", "cw|ccw", kConvert, Group::Operation, "a quarter turn clockwise or anticlockwise",
     ORVI_STEP("--rotate")},
    {"--flip", "h|v", kConvert, Group::Operation, "mirror left-right (h) or top-bottom (v)",
     ORVI_STEP("--flip")},
    {"--resize", "WxH", kConvert, Group::Operation, "nearest-neighbour resize, sides 1..65535",
     ORVI_STEP("--resize")},
    {"--fill", "R,G,B", kConvert, Group::Operation, "paint every pixel this colour (0..255 each)",
     ORVI_STEP("--fill")},
    {"--convolve", "NAME[:DIVISOR[:MODE]]", kConvert, Group::Operation,
     "a predefined filter (see 'orvi filters'); the divisor defaults to the sum of the "
     "weights (1 when that is not positive), the mode to 0 (0 clip negatives, 2 add 128, "
     "other: magnitude)",
     ORVI_STEP("--convolve")},
    {"--kernel", "W,W,...", kConvert, Group::Operation,
     "a 3 x 3 or 5 x 5 kernel (9 or 25 whole numbers), with --divisor and --mode",
     ORVI_STEP("--kernel")},
    {"--divisor", "D", kConvert, Group::Operation, "the --kernel's divisor (nonzero)",
     [](Settings& s, const std::string& v, std::string&) {
         s.kernel_settings.emplace_back("--divisor", v); // settled once all is read
         return true;
     }},
    {"--mode", "M", kConvert, Group::Operation, "the --kernel's mode (0..255)",
     [](Settings& s, const std::string& v, std::string&) {
         s.kernel_settings.emplace_back("--mode", v);
         return true;
     }},
    // Saving.
    {"--to", "FORMAT", kConvert, Group::Saving,
     "the output format (see below); needed for '-' as OUT and with --out-dir, whose "
     "outputs take it as extension",
     [](Settings& s, const std::string& v, std::string& e) {
         orvi::Error unknown;
         if (v.empty() || !orvi::Library::output_format("", v, unknown)) {
             e = "--to takes " + written_names() + ", not '" + v + "'";
             return false;
         }
         s.to = v;
         return true;
     }},
    {"--out-dir", "DIR", kConvert, Group::Saving,
     "convert every FILE into DIR (made when missing); a failed file is reported and the "
     "others go on; exit 1 if any failed",
     [](Settings& s, const std::string& v, std::string& e) {
         if (v.empty()) {
             e = "--out-dir needs a folder";
             return false;
         }
         s.out_dir = v;
         return true;
     }},
    {"--jobs", "N", kConvert, Group::Saving,
     "with --out-dir: N worker processes, 1..64 (default: one per core)",
     [](Settings& s, const std::string& v, std::string& e) {
         int64_t n = 0;
         const bool read = whole("--jobs", v, 1, 64, "1 to 64", n, e);
         s.jobs = static_cast<uint32_t>(n);
         return read;
     }},
    {"--threads", "N", kConvert, Group::Saving,
     "threads for one picture's operations, 1..64 (default: one per core; 1 works on the "
     "calling thread alone); the result is the same for any N",
     [](Settings& s, const std::string& v, std::string& e) {
         int64_t n = 0;
         const bool read = whole("--threads", v, 1, 64, "1 to 64", n, e);
         s.threads = static_cast<uint32_t>(n);
         return read;
     }},
    {"--plain", nullptr, kConvert, Group::Saving,
     "write PNM samples as text (P3, P2, P1) instead of raw (P6, P5, P4)",
     [](Settings& s, const std::string&, std::string&) { return s.plain = true; }},
    {"--depth", "N", kConvert, Group::Saving,
     "1 to 8 bits with a palette (more colours than it holds are reduced to it by median "
     "cut, and a note says so), or 24 for true colour, where the format takes it: PCX 1, "
     "2, 4, 8, ILBM, PNG and XPM 1 to 8, iff-pbm 1 to 8. Without it a palette picture keeps "
     "its palette, in its order, and a picture of few colours takes the smallest depth "
     "that holds them",
     [](Settings& s, const std::string& v, std::string& e) {
         if (v != "24" && !(v.size() == 1 && v[0] >= '1' && v[0] <= '8')) {
             e = "--depth takes 1 to 8 or 24, not '" + v + "'";
             return false;
         }
         s.depth = static_cast<uint32_t>(std::stoul(v));
         return true;
     }},
    {"--reduce", nullptr, kConvert, Group::Saving,
     "with --depth (or iff-pbm): reduce the colours to 2^N without a note",
     [](Settings& s, const std::string&, std::string&) { return s.reduce = true; }},
    {"--exact", nullptr, kConvert, Group::Saving,
     "with --depth: refuse a picture whose colours the depth does not hold, rather than "
     "reduce them",
     [](Settings& s, const std::string&, std::string&) { return s.exact = true; }},
    {"--dither", nullptr, kConvert, Group::Saving,
     "when colours are reduced, or for a PBM bitmap: Floyd-Steinberg error diffusion",
     [](Settings& s, const std::string&, std::string&) { return s.dither = true; }},
    {"--background", "R,G,B", kConvert, Group::Saving,
     "compose transparent pixels onto this colour (0..255 each) rather than keep their "
     "transparency, or rather than black where the format holds none",
     [](Settings& s, const std::string& v, std::string& e) {
         uint32_t colour = 0;
         size_t start = 0;
         for (int part = 0; part < 3; ++part) {
             const size_t comma = v.find(',', start);
             if ((part < 2) != (comma != std::string::npos)) {
                 e = "--background takes R,G,B, three whole numbers from 0 to 255, not '" + v +
                     "'";
                 return false;
             }
             int64_t n = 0;
             if (!whole("--background", v.substr(start, comma - start), 0, 255, "0 to 255", n,
                        e)) {
                 return false;
             }
             colour = colour << 8U | static_cast<uint32_t>(n);
             start = comma + 1;
         }
         s.background = colour;
         return true;
     }},
    {"--compress", nullptr, kConvert, Group::Saving, "ILBM: ByteRun1 (the default)",
     [](Settings& s, const std::string&, std::string&) {
         s.uncompressed = false;
         return true;
     }},
    {"--no-compress", nullptr, kConvert, Group::Saving, "ILBM: a plain BODY",
     [](Settings& s, const std::string&, std::string&) { return s.uncompressed = true; }},
    {"--names", nullptr, kConvert, Group::Saving,
     "XPM: colours by their X11 name where one matches exactly (else #RRGGBB)",
     [](Settings& s, const std::string&, std::string&) { return s.names = true; }},
    {"--force", nullptr, kConvert, Group::Saving,
     "replace an OUT the user may not write, or write to a terminal",
     [](Settings& s, const std::string&, std::string&) { return s.force = true; }},
    {"--strict", nullptr, kConvert, Group::Saving,
     "refuse a file whose data ends early or names unknown colours (by default it is "
     "converted, the missing parts black, with a warning)",
     [](Settings& s, const std::string&, std::string&) { return s.strict = true; }},
    {"--cycle", "SECONDS", kConvert, Group::Saving,
     "GIF, WebP: the still's colour cycling for up to SECONDS (0.1 to 3600), ending "
     "sooner where every range is back at its start",
     [](Settings& s, const std::string& v, std::string& e) {
         return seconds_in("--cycle", v, 0.1, 3600, s.cycle, e);
     }},
    {"--quiet", nullptr, kConvert, Group::Saving, "no progress bar",
     [](Settings& s, const std::string&, std::string&) { return s.quiet = true; }},
    {"--progress", nullptr, kConvert, Group::Saving,
     "a progress bar on stderr even when it is not a terminal",
     [](Settings& s, const std::string&, std::string&) { return s.progress = true; }},
    // Reading, for every command that reads files.
    {"--max-pixels", "N", kConvert | kInfo | kView, Group::Reading,
     "refuse pictures declaring more than N pixels (default 268435456, 0: no limit)",
     [](Settings& s, const std::string& v, std::string& e) {
         int64_t n = 0;
         const bool read = whole("--max-pixels", v, 0, INT64_MAX,
                                 "a whole number of pixels (0 for no limit)", n, e);
         s.max_pixels = static_cast<uint64_t>(n);
         return read;
     }},
    {"--page", "N", kConvert | kInfo, Group::Reading,
     "the Nth picture of a file holding several (DCX, an IFF LIST or CAT); convert takes "
     "the first by default, info lists them all",
     [](Settings& s, const std::string& v, std::string& e) {
         int64_t n = 0;
         const bool read = whole("--page", v, 1, 999999999, "a picture number from 1", n, e);
         s.page = static_cast<uint32_t>(n);
         return read;
     }},
    // info
    {"--json", nullptr, kInfo, Group::Info, "one JSON object per line",
     [](Settings& s, const std::string&, std::string&) { return s.json = true; }},
    {"--chunks", nullptr, kInfo, Group::Info,
     "list the chunks of an IFF or PNG file (id, offset, size), a line each",
     [](Settings& s, const std::string&, std::string&) { return s.chunks = true; }},
    // view
    {"--terminal", nullptr, kView, Group::View, "draw in the terminal even with a display",
     [](Settings& s, const std::string&, std::string&) { return s.view.terminal = true; }},
    {"--slideshow", "SECONDS", kView, Group::View,
     "step to the next picture by itself, every 0.1 to 86400 seconds",
     [](Settings& s, const std::string& v, std::string& e) {
         return seconds_in("--slideshow", v, 0.1, 86400, s.view.slideshow_seconds, e);
     }},
    {"--graphics", "MODE", kView, Group::View,
     "auto, symbols, sixels or kitty: how the terminal is drawn on (auto: what it shows)",
     [](Settings& s, const std::string& v, std::string& e) {
         using viewer::Graphics;
         const std::pair<const char*, Graphics> modes[] = {{"auto", Graphics::Automatic},
                                                           {"symbols", Graphics::Symbols},
                                                           {"sixels", Graphics::Sixels},
                                                           {"kitty", Graphics::Kitty}};
         for (const auto& [word, mode] : modes) {
             if (v == word) {
                 s.view.graphics = mode;
                 return true;
             }
         }
         e = "--graphics takes auto, symbols, sixels or kitty, not '" + v + "'";
         return false;
     }},
    {"--size", "COLUMNSxROWS", kView, Group::View,
     "the terminal's size instead of asking it (columns 1..1000, rows 1..500)",
     [](Settings& s, const std::string& v, std::string& e) {
         if (!parse_size(v, s.view.columns, s.view.rows, viewer::kMostColumns, viewer::kMostRows)) {
             e = "--size takes COLUMNSxROWS (columns 1.." + std::to_string(viewer::kMostColumns) +
                 ", rows 1.." + std::to_string(viewer::kMostRows) + "), not '" + v + "'";
             return false;
         }
         return true;
     }},
    {"--timings", "FILE", kView, Group::View, "write how long each frame of the window took",
     [](Settings& s, const std::string& v, std::string& e) {
         if (v.empty()) {
             e = "--timings needs a file";
             return false;
         }
         s.view.timings = v;
         return true;
     }},
};

#undef ORVI_STEP

struct CommandName {
    const char* name;
    Command command;
    const char* operands; // as the synopsis shows them
    bool listed_options;  // the synopsis lists each option, rather than "[options]"
};

constexpr CommandName kCommands[] = {
    {"convert", Command::Convert, "IN OUT", false}, {"info", Command::Info, "FILE...", true},
    {"filters", Command::Filters, "", true},        {"view", Command::View, "FILE|FOLDER...", true},
    {"demo", Command::Demo, "[FOLDER]", true},
};

constexpr size_t kWidth = 80;

// `text` wrapped to `width` columns, every line after the first indented by `indent`.
std::string wrapped(const std::string& text, size_t width, size_t indent, size_t first_used) {
    std::string out;
    size_t used = first_used;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = std::min(text.find(' ', at), text.size());
        const std::string word = text.substr(at, end - at);
        if (used > indent && used + 1 + word.size() > width) {
            out += "\n" + std::string(indent, ' ');
            used = indent;
        } else if (used > first_used || (used > indent && at > 0)) {
            out += ' ';
            ++used;
        }
        out += word;
        used += word.size();
        at = end + 1;
    }
    return out;
}

std::string option_usage(const Option& option) {
    return std::string(option.name) +
           (option.value != nullptr ? std::string(" ") + option.value : "");
}

// The options of a group, a paragraph each: "  --name VALUE  what it does", the text from
// column 24.
std::string group_help(Group group, const char* title) {
    constexpr size_t kIndent = 24;
    std::string text = std::string(title) + "\n";
    for (const Option& option : kOptions) {
        if (option.group != group) {
            continue;
        }
        const std::string usage = "  " + option_usage(option);
        std::string line = usage;
        if (usage.size() + 2 > kIndent) {
            line += "\n" + std::string(kIndent, ' ');
        } else {
            line += std::string(kIndent - usage.size(), ' ');
        }
        text += line + wrapped(option.help, kWidth, kIndent, kIndent) + "\n";
    }
    return text;
}

// The settings a --divisor or --mode waited for: applied to the --kernel steps once every
// option is read, as they may come before it.
bool settle_kernel(Settings& settings, std::string& error) {
    for (const auto& [option, value] : settings.kernel_settings) {
        if (!parse_kernel_setting(option, value, settings.steps, error)) {
            return false;
        }
    }
    return true;
}

// The checks of a convert command line that need all of it.
std::string convert_problem(Settings& s) {
    std::vector<std::string>& files = s.arguments;
    // A bitmap (PBM) output dithers its black and white without a palette to reduce to;
    // a writer of palette pictures only reduces to 256 colours without a depth.
    std::optional<orvi::FormatInfo> output;
    if (!s.to.empty() || (s.out_dir.empty() && files.size() == 2)) {
        orvi::Error unknown; // said when the save is tried
        output = orvi::Library::output_format(s.to.empty() ? files[1] : "", s.to, unknown);
    }
    const bool bitmap_output = output && output->bitmap;
    const bool palette_output = output && !output->true_colour;
    const bool reducing = (s.depth >= 1 && s.depth <= 8) || palette_output;
    if (s.dither && !reducing && !bitmap_output) {
        return "--dither goes with --depth 1 to 8";
    }
    if (s.exact && !reducing) {
        return "--exact goes with --depth 1 to 8";
    }
    if (s.exact && s.reduce) {
        return "--exact and --reduce ask for opposite things";
    }
    if (s.reduce && (s.depth == 24 || (s.depth == 0 && !palette_output))) {
        return "--reduce needs --depth 1 to 8";
    }
    // A depth the output format cannot take is known before any file is read.
    if (output && s.depth != 0 && !output->palette_depths.empty()) {
        const auto& depths = output->palette_depths;
        const bool taken = s.depth == 24
                               ? output->true_colour
                               : std::find(depths.begin(), depths.end(), s.depth) != depths.end();
        if (!taken) {
            const bool run = depths.back() - depths.front() + 1 == depths.size();
            std::string list =
                run ? std::to_string(depths.front()) + " to " + std::to_string(depths.back())
                    : std::string();
            for (size_t i = 0; !run && i < depths.size(); ++i) {
                list += (i == 0 ? "" : ", ") + std::to_string(depths[i]);
            }
            return "--depth " + std::to_string(s.depth) + ": " + output->name + " files take " +
                   list + (output->true_colour ? " or 24" : "");
        }
    }
    if (s.out_dir.empty() && files.size() > 2) {
        return "convert takes one input and one output file; to convert many files, give "
               "--to FORMAT and --out-dir DIR";
    }
    if (s.out_dir.empty() ? files.size() != 2 : files.empty()) {
        return s.out_dir.empty() ? "convert takes one input and one output file"
                                 : "convert --out-dir takes at least one input file";
    }
    return "";
}

} // namespace

std::vector<std::string> synopsis() {
    std::vector<std::string> lines;
    for (const CommandName& command : kCommands) {
        std::string line = std::string("orvi ") + command.name;
        if (!command.listed_options) {
            line += " [options]";
        }
        // The command's own options, then those of every command that reads files.
        for (const bool shared : {false, true}) {
            for (const Option& option : kOptions) {
                const uint32_t bit = 1U << static_cast<uint32_t>(command.command);
                if (command.listed_options && (option.commands & bit) != 0 &&
                    (option.group == Group::Reading) == shared) {
                    line += " [" + option_usage(option) + "]";
                }
            }
        }
        line += command.operands[0] != '\0' ? std::string(" ") + command.operands : "";
        // The usage puts "usage: " before each line.
        lines.push_back(wrapped(line, kWidth - 7, 8, 0));
        if (command.command == Command::Convert) {
            lines.push_back("orvi convert [options] --to FORMAT --out-dir DIR FILE...");
        }
    }
    lines.emplace_back("orvi --help | --version");
    return lines;
}

std::string short_usage() {
    std::string text;
    for (const std::string& line : synopsis()) {
        text += (text.empty() ? "usage: " : "       ") + line + "\n";
    }
    return text + "See 'orvi --help' for every option.\n";
}

std::string full_usage() {
    std::string text;
    for (const std::string& line : synopsis()) {
        std::string indented = line;
        for (size_t at = indented.find('\n'); at != std::string::npos;
             at = indented.find('\n', at + 1)) {
            indented.insert(at + 1, "       ");
        }
        text += (text.empty() ? "usage: " : "       ") + indented + "\n";
    }
    const auto paragraph = [](const std::string& words) {
        return wrapped(words, kWidth, 0, 0) + "\n";
    };
    text += "\n";
    text += paragraph("convert loads IN, applies the operations in the order given and saves "
                      "OUT ('-': standard input or output); with --out-dir, every FILE into "
                      "DIR, one worker per core. info prints the format, size, depth and header "
                      "details of each file. filters lists the predefined convolution filters. "
                      "view shows the pictures (a folder's in name order) in a window, or in "
                      "the terminal without a display; '?' in the window lists the keys. demo "
                      "converts a generated test card through every writer (default folder: "
                      "orvi-demo in the temporary folder). Each command takes --help too.");
    text += "\n";
    text += paragraph("The input format is recognised from the file's content (" + read_names() +
                      ", and the IFF and PNM kinds orvi(1) lists); the output format comes "
                      "from --to or OUT's extension (" +
                      written_names() +
                      "; iff-pbm is the chunky FORM PBM of Deluxe Paint on the PC, and a .lbm "
                      "name alone writes ILBM). An existing OUT is replaced only when the save "
                      "succeeds; a device or pipe as OUT is written, not replaced. '--' ends "
                      "the options.");
    text +=
        "\n" + group_help(Group::Operation, "Operations (convert), applied in the order given:");
    text += "\n" + group_help(Group::Saving, "Saving (convert):");
    text += "\n" + group_help(Group::Reading, "Reading (convert, info, view):");
    text += "\n" + group_help(Group::Info, "info:");
    text += "\n" + group_help(Group::View, "view:");
    text += "\n";
    text += paragraph("PNG: RGB, grey and palette files of any bit depth are read (16-bit "
                      "samples scaled to 8, transparent pixels shown on black, with a note); "
                      "PNGs are written as 8-bit grey when every pixel is grey, with a palette "
                      "when there are at most 256 colours, else 8-bit RGB.");
    text += "\n";
    text += paragraph("Modules are loaded from $ORVI_MODULE_PATH, else from the executable's "
                      "folder, or from ../lib/orvi beside it when installed. See orvi(1) for "
                      "more.");
    text += "Exit status: 0 done, 1 a job failed, 2 usage error.\n";
    return text;
}

Reading read_arguments(const std::vector<std::string>& args) {
    Reading reading;
    const std::string word = args.empty() ? "" : args[0];
    if (word == "--help" || word == "-h" || word == "help") {
        reading.print = full_usage();
        return reading;
    }
    if (word == "--version") {
        reading.print = std::string("orvi ") + ORVI_VERSION + "\n";
        return reading;
    }
    const CommandName* command = nullptr;
    for (const CommandName& known : kCommands) {
        if (word == known.name) {
            command = &known;
        }
    }
    if (command == nullptr) {
        reading.error = "unknown command '" + word + "'";
        return reading;
    }
    Settings settings;
    settings.command = command->command;
    const uint32_t bit = 1U << static_cast<uint32_t>(command->command);
    bool options_ended = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_ended || arg == "-" || arg.empty() || arg[0] != '-') {
            settings.arguments.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_ended = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            reading.print = full_usage();
            return reading;
        }
        const Option* option = nullptr;
        for (const Option& known : kOptions) {
            if (arg == known.name && (known.commands & bit) != 0) {
                option = &known;
            }
        }
        if (option == nullptr) {
            reading.error = "unknown option '" + arg + "' for " + command->name;
            return reading;
        }
        if (option->value != nullptr && i + 1 >= args.size()) {
            reading.error = arg + " needs a value";
            return reading;
        }
        const std::string value = option->value != nullptr ? args[++i] : "";
        if (!option->apply(settings, value, reading.error)) {
            return reading;
        }
    }
    std::string problem;
    switch (settings.command) {
    case Command::Convert:
        problem = convert_problem(settings);
        if (problem.empty()) {
            (void)settle_kernel(settings, problem);
        }
        break;
    case Command::Info:
        problem = settings.arguments.empty() ? "info takes at least one file" : "";
        break;
    case Command::View:
        problem = settings.arguments.empty() ? "view takes at least one file or folder" : "";
        break;
    case Command::Filters:
        problem = settings.arguments.empty() ? "" : "filters takes no arguments";
        break;
    case Command::Demo:
        problem = settings.arguments.size() > 1 ? "demo takes at most one folder" : "";
        break;
    }
    if (!problem.empty()) {
        reading.error = problem;
        return reading;
    }
    reading.settings = std::move(settings);
    return reading;
}

} // namespace cli
