// An image as the library hands it out: pixels in memory owned by the library, the
// format it was read from and the details its file gave.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "orvi/description.h"
#include "orvi/export.h"

namespace orvi {

// One fact about a file, as `orvi info` shows it: a snake_case key and its value, a text
// or a whole number.
struct Detail {
    std::string key;
    std::variant<std::string, int64_t> value;

    [[nodiscard]] bool is_number() const { return std::holds_alternative<int64_t>(value); }
    // The number, or 0 for a text.
    [[nodiscard]] int64_t number() const { return is_number() ? std::get<int64_t>(value) : 0; }
    // The key as `orvi info` words it: "bits per pixel" for bits_per_pixel.
    [[nodiscard]] std::string label() const {
        std::string words = key;
        for (char& c : words) {
            c = c == '_' ? ' ' : c;
        }
        return words;
    }
    // The value as `orvi info` shows it: a text as it is, a number in decimal.
    [[nodiscard]] std::string text() const {
        return is_number() ? std::to_string(std::get<int64_t>(value))
                           : std::get<std::string>(value);
    }
};
using Details = std::vector<Detail>;

// A chunk of a file made of chunks (IFF, PNG), as `orvi info --chunks` lists them: its id
// (a container's with its type, "FORM ILBM"), where it starts, the size its header gives,
// and how many containers it is in.
struct FileChunk {
    std::string id;
    uint64_t offset = 0;
    uint64_t size = 0;
    uint32_t depth = 0;
};

// Pixels rows top to bottom without padding, three bytes a pixel (red, green, blue) or
// one (grey). An image keeps the library's memory it lives in alive, so it may outlive
// the Library that made it. Move-only; not to be used from two threads at once.
class ORVI_API Image {
public:
    Image(Image&& other) noexcept;
    Image& operator=(Image&& other) noexcept;
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    ~Image();

    [[nodiscard]] uint32_t width() const;
    [[nodiscard]] uint32_t height() const;
    [[nodiscard]] uint32_t bytes_per_pixel() const; // 3 or 1
    [[nodiscard]] uint64_t size_in_bytes() const;   // width x height x bytes per pixel
    [[nodiscard]] uint8_t* pixels();
    [[nodiscard]] const uint8_t* pixels() const;

    // A palette picture (one in its file, or made from a palette): its palette, three
    // bytes an entry in the file's order, and a palette index a pixel, rows without
    // padding; empty and nullptr for a true-colour picture. The pixels are the palette's
    // colours of the indices.
    [[nodiscard]] const std::vector<uint8_t>& palette() const;
    [[nodiscard]] const uint8_t* indices() const;
    // The palette index whose pixels are transparent, or -1.
    [[nodiscard]] int32_t transparent_index() const;
    // A pixel's opacity, 0 transparent to 255 opaque, or nullptr when the file gives none
    // beyond a transparent index. The pixels are composed onto black where it is partial.
    [[nodiscard]] const uint8_t* alpha() const;
    // The pixels' colours before they were composed onto black: pixels() when they were
    // not composed (no alpha, or a mask that only hides pixels).
    [[nodiscard]] const uint8_t* straight_pixels() const;
    // Whether some pixels are transparent or partly so (alpha, or a transparent index).
    [[nodiscard]] bool has_transparency() const;
    // The chunks of its file, when the load asked for them (LoadOptions::chunks) and the
    // format is made of chunks.
    [[nodiscard]] const std::vector<FileChunk>& chunks() const;
    // A frame of an animation (a page of a file of frames, or one made from a still's
    // colour cycling): how long it is shown, in seconds; 0 for a still.
    [[nodiscard]] double duration() const;
    // What the file says about the picture.
    [[nodiscard]] const Description& description() const;
    [[nodiscard]] Description& description();

    // The format the pixels were read from ("PNM", "PCX", "ILBM", "XPM", "PNG"), or empty
    // for an image made from pixels.
    [[nodiscard]] const std::string& format() const;
    // The file's details, as `orvi info` shows them (empty when not asked for): format,
    // width, height, bits_per_pixel, then what the format's header says.
    [[nodiscard]] const Details& details() const;
    // The detail of that key, or nullptr.
    [[nodiscard]] const Detail* detail(std::string_view key) const;
    // Things worth telling about the load, each a sentence ("transparent pixels are
    // shown on black").
    [[nodiscard]] const std::vector<std::string>& notes() const;
    // How to save a file of the kind this picture was read from: a SaveOptions::format and
    // the extension such files take ("pam" and "pam" for a PAM file, "iff-pbm" and "lbm"
    // for Deluxe Paint's FORM PBM); empty when orvi does not write that kind or the image
    // was made from pixels.
    struct Kind {
        std::string format;
        std::string extension;
    };
    [[nodiscard]] const Kind& kind() const;
    // Whether the file's data gave every pixel a colour of its own; when not, what it
    // left out, each a sentence ("the image data ends at row 120 of 200; the rest is
    // black"). The pixels are what a lenient reader makes of the file.
    [[nodiscard]] bool complete() const;
    [[nodiscard]] const std::vector<std::string>& gaps() const;

    // What an image holds, as the library's own code sees it (not defined for callers).
    struct State;

private:
    friend class Library;
    friend class PageLoader; // the library's loading
    friend struct LibraryInside;
    explicit Image(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

} // namespace orvi
