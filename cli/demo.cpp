// demo: a generated test card saved through every writer and loaded back, and a small
// XPM read through its module: the README's first command, over the library.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "cli/commands.h"

namespace cli {
namespace {

enum class Card : uint8_t { Colour, Grey, EightColours, BlackAndWhite };

// One file of the demo: a card saved through a writer with these options.
struct DemoFile {
    std::string name;
    std::string format;
    Card card;
    uint32_t depth = 0;
    bool plain = false;
};

// The files the demo writes: for every writer of the format table, the colour card (or a
// bitmap's black and white), the grey card, and the eight-colour card at the smallest
// palette depth that holds it (8 for a writer of palette pictures alone), each also with
// its samples as text where the writer does that; named by what they hold
// ("sample-grey.pgm", "sample-3bit.iff").
std::vector<DemoFile> demo_files() {
    std::vector<DemoFile> files;
    for (const orvi::FormatInfo& format : orvi::Library::formats()) {
        // Animations are written by their own path, and read back by other programs.
        if (!format.writes || format.animates) {
            continue;
        }
        const std::string name = format.name;
        const std::string& extension = format.file_extension;
        const auto add = [&](const std::string& stem, const std::string& ext, Card card,
                             uint32_t depth) {
            files.push_back({stem + "." + ext, name, card, depth, false});
            if (format.plain) {
                files.push_back({stem + "-plain." + ext, name, card, depth, true});
            }
        };
        if (format.bitmap) {
            add("sample", extension, Card::BlackAndWhite, 0);
            continue;
        }
        if (format.true_colour) {
            add("sample", extension, Card::Colour, 0);
            add("sample-grey", format.grey_extension.empty() ? extension : format.grey_extension,
                Card::Grey, 0);
        }
        // A writer of palette pictures alone writes a byte a pixel: its file says 8 bits.
        for (const uint32_t depth : format.palette_depths) {
            if (depth >= 3 && (format.true_colour || depth == 8)) {
                files.push_back({"sample-" + std::to_string(depth) + "bit." + extension, name,
                                 Card::EightColours, depth, false});
                break;
            }
        }
    }
    return files;
}

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
bool demo_xpm(orvi::Library& library, const std::string& folder) {
    const std::string source = folder + "/named-colours.xpm";
    const std::string target = folder + "/named-colours.ppm";
    FILE* file = std::fopen(source.c_str(), "w");
    if (file == nullptr || std::fputs(kDemoXpm, file) < 0 || std::fclose(file) != 0) {
        complain("cannot write " + orvi::quoted(source));
        return false;
    }
    orvi::Error error;
    const auto loaded = library.load(source, error, {false, {}});
    if (!loaded) {
        complain("cannot load " + orvi::quoted(source) + ": " + error.sentence);
        return false;
    }
    const uint8_t* pixels = loaded->pixels();
    const bool colours_right = pixels[0] == 255 && pixels[6] == 144 && pixels[14] == 128;
    if (!library.save(*loaded, target, {}, error)) {
        complain("cannot save " + orvi::quoted(target) + ": " + error.sentence);
        return false;
    }
    std::printf("read %s (XPM, %u x %u, named and hexadecimal colours) and wrote %s; its colours "
                "are %s\n",
                source.c_str(), loaded->width(), loaded->height(), target.c_str(),
                colours_right ? "right" : "WRONG");
    return colours_right;
}

// A palette picture of diagonal bands whose colours cycle (registers 1 to 7, 30 steps a
// second), as Deluxe Paint writes them: for `orvi view` and `convert --cycle`.
bool demo_cycling(orvi::Library& library, const std::string& folder, uint32_t width,
                  uint32_t height) {
    const std::string path = folder + "/sample-cycling.iff";
    std::vector<uint8_t> indices(size_t{width} * height);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            indices[size_t{y} * width + x] = static_cast<uint8_t>(1 + (x + y) / 6 % 7);
        }
    }
    const std::vector<uint8_t> palette = {0, 0,   0, 255, 0,   0,   255, 128, 0,   255, 255, 0,
                                          0, 200, 0, 0,   128, 255, 64,  0,   255, 160, 0,   200};
    orvi::Error error;
    auto image = library.make_palette_image(width, height, palette, indices.data(), -1, error);
    if (image) {
        orvi::ColourRange range;
        range.low = 1;
        range.high = 7;
        range.rate = 8192;
        range.active = true;
        image->description().ranges.push_back(range);
    }
    if (!image || !library.save(*image, path, {}, error)) {
        complain("cannot save " + orvi::quoted(path) + ": " + told(error));
        return false;
    }
    const auto loaded = library.load(path, error);
    const bool cycles = loaded && orvi::Cycling(loaded->description(), 8).moves();
    std::printf("wrote %s; its colours %s\n", path.c_str(), cycles ? "cycle" : "DO NOT CYCLE");
    return cycles;
}

bool same_pixels(const orvi::Image& loaded, const std::vector<uint8_t>& samples, bool grey) {
    const size_t pixels = grey ? samples.size() : samples.size() / 3;
    if (loaded.bytes_per_pixel() != 3 || uint64_t{loaded.width()} * loaded.height() != pixels) {
        return false;
    }
    for (size_t i = 0; i < pixels * 3; ++i) {
        const uint8_t want = grey ? samples[i / 3] : samples[i];
        if (loaded.pixels()[i] != want) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string default_demo_folder() {
    const char* temporary = std::getenv("TMPDIR");
    return std::string(temporary != nullptr && *temporary != '\0' ? temporary : "/tmp") +
           "/orvi-demo";
}

int demo(const std::string& folder) {
    constexpr uint32_t kWidth = 96;
    constexpr uint32_t kHeight = 64;
    if (!make_folder(folder)) {
        return kExitFailed;
    }
    std::printf("writing the demo files into %s\n", folder.c_str());
    std::vector<uint8_t> rgb;
    std::vector<uint8_t> grey;
    make_sample(kWidth, kHeight, rgb, grey);
    int status = kExitOk;
    std::vector<uint8_t> eight = rgb; // each sample 0 or 255: eight colours
    for (uint8_t& sample : eight) {
        sample = sample < 128 ? 0 : 255;
    }
    std::vector<uint8_t> black_and_white = grey;
    for (uint8_t& sample : black_and_white) {
        sample = sample < 128 ? 0 : 255;
    }
    orvi::Library library(library_options(orvi::kDefaultMaxPixels, 0));
    for (const DemoFile& file : demo_files()) {
        const bool grey_card = file.card == Card::Grey || file.card == Card::BlackAndWhite;
        std::vector<uint8_t>& samples = file.card == Card::Grey            ? grey
                                        : file.card == Card::BlackAndWhite ? black_and_white
                                        : file.card == Card::Colour        ? rgb
                                                                           : eight;
        const std::string path = folder + "/" + file.name;
        orvi::Error error;
        auto source =
            library.make_image(kWidth, kHeight, grey_card ? 1U : 3U, samples.data(), error);
        orvi::SaveOptions options;
        options.format = file.format;
        options.plain = file.plain;
        options.depth = file.depth;
        if (!source || !library.save(*source, path, options, error)) {
            complain("cannot save " + orvi::quoted(path) + ": " + told(error));
            status = kExitFailed;
            continue;
        }
        const auto loaded = library.load(path, error);
        if (!loaded) {
            complain("cannot load " + orvi::quoted(path) + ": " + told(error));
            status = kExitFailed;
            continue;
        }
        const bool same = same_pixels(*loaded, samples, grey_card);
        std::printf("wrote %s; it loads back %s\n", orvi::summary(path, *loaded).c_str(),
                    same ? "identical" : "DIFFERENT");
        status = same ? status : kExitFailed;
    }
    const bool cycling = demo_cycling(library, folder, kWidth, kHeight);
    return demo_xpm(library, folder) && cycling ? status : kExitFailed;
}

} // namespace cli
