#include "viewer/terminal.h"

#include <chafa.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

extern char** environ;

namespace viewer {

namespace {

template <typename T, void (*Free)(T*)> struct Freer {
    void operator()(T* object) const { Free(object); }
};
using TermInfo = std::unique_ptr<ChafaTermInfo, Freer<ChafaTermInfo, chafa_term_info_unref>>;
using SymbolMap = std::unique_ptr<ChafaSymbolMap, Freer<ChafaSymbolMap, chafa_symbol_map_unref>>;
using CanvasConfig =
    std::unique_ptr<ChafaCanvasConfig, Freer<ChafaCanvasConfig, chafa_canvas_config_unref>>;
using Canvas = std::unique_ptr<ChafaCanvas, Freer<ChafaCanvas, chafa_canvas_unref>>;

void free_string(GString* text) {
    g_string_free(text, TRUE);
}
using Text = std::unique_ptr<GString, Freer<GString, free_string>>;

// What the terminal database knows of the terminal the environment names, with every
// sequence it lacks taken from the fallback (so that asked-for graphics can be written).
TermInfo detected_terminal(TermInfo& supplemented) {
    ChafaTermDb* database = chafa_term_db_get_default();
    TermInfo detected(chafa_term_db_detect(database, environ));
    supplemented.reset(chafa_term_info_copy(detected.get()));
    const TermInfo fallback(chafa_term_db_get_fallback_info(database));
    chafa_term_info_supplement(supplemented.get(), fallback.get());
    return detected;
}

uint32_t from_environment(const char* name) {
    const char* value = std::getenv(name);
    const long number = value == nullptr ? 0 : std::strtol(value, nullptr, 10);
    return number > 0 && number < 100000 ? static_cast<uint32_t>(number) : 0;
}

} // namespace

TerminalSetup terminal_setup(int fd, Graphics asked, uint32_t columns, uint32_t rows) {
    TerminalSetup setup;
    struct winsize size {};
    if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0) {
        setup.columns = size.ws_col;
        setup.rows = size.ws_row;
        if (size.ws_xpixel >= size.ws_col && size.ws_ypixel >= size.ws_row) {
            setup.cell_width = size.ws_xpixel / size.ws_col;
            setup.cell_height = size.ws_ypixel / size.ws_row;
        }
    } else {
        setup.columns =
            from_environment("COLUMNS") > 0 ? from_environment("COLUMNS") : setup.columns;
        setup.rows = from_environment("LINES") > 0 ? from_environment("LINES") : setup.rows;
    }
    setup.columns = std::min(columns > 0 ? columns : setup.columns, kMostColumns);
    setup.rows = std::min(rows > 0 ? rows : setup.rows, kMostRows);
    setup.cell_width = std::clamp<uint32_t>(setup.cell_width, 1, kMostCellSide);
    setup.cell_height = std::clamp<uint32_t>(setup.cell_height, 1, kMostCellSide);

    TermInfo supplemented;
    const TermInfo detected = detected_terminal(supplemented);
    setup.graphics = asked;
    if (asked == Graphics::Automatic) {
        setup.graphics =
            chafa_term_info_have_seq(detected.get(), CHAFA_TERM_SEQ_BEGIN_KITTY_IMMEDIATE_IMAGE_V1)
                ? Graphics::Kitty
            : chafa_term_info_have_seq(detected.get(), CHAFA_TERM_SEQ_BEGIN_SIXELS)
                ? Graphics::Sixels
                : Graphics::Symbols;
    }
    const char* colour_term = std::getenv("COLORTERM");
    const std::string colours = colour_term == nullptr ? "" : colour_term;
    setup.direct_colour =
        colours == "truecolor" || colours == "24bit" ||
        chafa_term_info_have_seq(detected.get(), CHAFA_TERM_SEQ_SET_COLOR_FGBG_DIRECT);
    return setup;
}

std::string terminal_picture(const orvi::Image& image, const TerminalSetup& setup) {
    if (uint64_t{image.width()} * 3 > static_cast<uint64_t>(G_MAXINT)) {
        return "(the picture is too wide to draw here)\n";
    }
    // Chafa takes three bytes a pixel; a grey picture is widened first.
    std::vector<uint8_t> widened;
    const uint8_t* pixels = image.pixels();
    if (image.bytes_per_pixel() == 1) {
        widened.resize(image.size_in_bytes() * 3);
        for (uint64_t i = 0; i < image.size_in_bytes(); ++i) {
            widened[i * 3] = widened[i * 3 + 1] = widened[i * 3 + 2] = pixels[i];
        }
        pixels = widened.data();
    }
    const auto width = static_cast<gint>(image.width());
    const auto height = static_cast<gint>(image.height());
    uint32_t most_columns = std::clamp<uint32_t>(setup.columns, 1, kMostColumns);
    uint32_t most_rows = std::clamp<uint32_t>(setup.rows, 3, kMostRows) - 2;
    if (setup.graphics == Graphics::Sixels || setup.graphics == Graphics::Kitty) {
        // A canvas of the terminal's pixels, four bytes each, within the memory limit.
        const uint64_t most_pixels = std::max<uint64_t>(setup.memory_limit / 4, 1);
        const uint64_t canvas =
            uint64_t{most_columns} * setup.cell_width * most_rows * setup.cell_height;
        if (canvas > most_pixels) {
            const double shrink =
                std::sqrt(static_cast<double>(most_pixels) / static_cast<double>(canvas));
            most_columns = std::max(1U, static_cast<uint32_t>(most_columns * shrink));
            most_rows = std::max(1U, static_cast<uint32_t>(most_rows * shrink));
        }
    }
    gint columns = static_cast<gint>(most_columns);
    gint rows = static_cast<gint>(most_rows);
    const auto font_ratio =
        static_cast<gfloat>(setup.cell_width) / static_cast<gfloat>(setup.cell_height);
    chafa_calc_canvas_geometry(width, height, &columns, &rows, font_ratio, TRUE, FALSE);

    const CanvasConfig config(chafa_canvas_config_new());
    chafa_canvas_config_set_geometry(config.get(), columns, rows);
    chafa_canvas_config_set_cell_geometry(config.get(), static_cast<gint>(setup.cell_width),
                                          static_cast<gint>(setup.cell_height));
    chafa_canvas_config_set_canvas_mode(config.get(), setup.direct_colour
                                                          ? CHAFA_CANVAS_MODE_TRUECOLOR
                                                          : CHAFA_CANVAS_MODE_INDEXED_240);
    chafa_canvas_config_set_pixel_mode(
        config.get(), setup.graphics == Graphics::Sixels  ? CHAFA_PIXEL_MODE_SIXELS
                      : setup.graphics == Graphics::Kitty ? CHAFA_PIXEL_MODE_KITTY
                                                          : CHAFA_PIXEL_MODE_SYMBOLS);
    const SymbolMap symbols(chafa_symbol_map_new());
    chafa_symbol_map_add_by_tags(
        symbols.get(),
        static_cast<ChafaSymbolTags>(CHAFA_SYMBOL_TAG_BLOCK | CHAFA_SYMBOL_TAG_SPACE));
    chafa_canvas_config_set_symbol_map(config.get(), symbols.get());

    const Canvas canvas(chafa_canvas_new(config.get()));
    chafa_canvas_draw_all_pixels(canvas.get(), CHAFA_PIXEL_RGB8, pixels, width, height, width * 3);
    TermInfo supplemented;
    const TermInfo detected = detected_terminal(supplemented);
    const Text text(chafa_canvas_print(canvas.get(), supplemented.get()));
    return std::string(text->str, text->len) + "\n";
}

bool run_terminal(orvi::Library& library, const std::vector<std::string>& files,
                  const TerminalSetup& setup) {
    bool all = true;
    for (const std::string& file : files) {
        orvi::Error error;
        const std::optional<orvi::Image> image = library.load(file, error);
        if (!image) {
            std::fflush(stdout);
            std::fprintf(stderr, "orvi: cannot load %s: %s\n", orvi::quoted(file).c_str(),
                         error.sentence.c_str());
            all = false;
            continue;
        }
        const std::string picture = terminal_picture(*image, setup);
        const std::string name = orvi::summary(file, *image) + "\n";
        std::fwrite(picture.data(), 1, picture.size(), stdout);
        std::fwrite(name.data(), 1, name.size(), stdout);
    }
    std::fflush(stdout);
    return all;
}

} // namespace viewer
