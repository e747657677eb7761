// XPM_Save: a Picture as an XPM 3 file. Each colour gets a code of the fewest characters
// that tell the colours apart, from the printable characters other than '"' and '\';
// colours are written as #RRGGBB, or by their X11 name where one matches exactly and
// SaveMode has kSaveNames. A palette picture (IndexedPic) gives its colours and
// indices; otherwise the picture's own colours are found with a bit for each of the 2^24
// colours, in ascending order, each pixel's index being the count of colours below it.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string_view>

#include "platform/dos.h"
#include "runtime/file_sink.h"
#include "runtime/pool.h"
#include "runtime/progress.h"
#include "runtime/records.h"
#include "runtime/result_codes.h"
#include "runtime/sizes.h"
#include "xpm/xpm_format.h"

namespace xpm {
namespace {

constexpr size_t kSinkBytes = 64 * 1024;
constexpr uint32_t kColourWords = (1U << 24U) / 64; // words of the colour bitmap

// The characters of pixel codes: printable, without the two a C string would escape.
constexpr std::array<uint8_t, 93> kCodeCharacters = [] {
    std::array<uint8_t, 93> characters{};
    size_t count = 0;
    for (uint32_t c = ' '; c <= '~'; ++c) {
        if (c != '"' && c != '\\') {
            characters[count++] = static_cast<uint8_t>(c);
        }
    }
    return characters;
}();

constexpr uint32_t kCodeCount = kCodeCharacters.size();

// The fewest characters a pixel whose codes tell `colours` colours apart.
uint32_t chars_per_pixel(uint64_t colours) {
    uint32_t cpp = 1;
    for (uint64_t codes = kCodeCount; codes < colours; codes *= kCodeCount) {
        ++cpp;
    }
    return cpp;
}

// The code of colour `index`, `cpp` characters, its first character the fastest varying.
void put_code(uint8_t* out, uint32_t index, uint32_t cpp) {
    for (uint32_t i = 0; i < cpp; ++i) {
        out[i] = kCodeCharacters[index % kCodeCount];
        index /= kCodeCount;
    }
}

uint32_t colour_at(const Picture& picture, size_t pixel) {
    if (picture.BytesPerPixel == 1) {
        return picture.Data[pixel] * 0x010101U;
    }
    const uint8_t* p = picture.Data + pixel * 3;
    return (uint32_t{p[0]} << 16U) | (uint32_t{p[1]} << 8U) | p[2];
}

void put_text(runtime::FileSink& sink, std::string_view text) {
    sink.put(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

// The colours of the file in the order of their codes (0x00RRGGBB), and each pixel's
// index among them.
class Colours {
public:
    // From a palette picture: the palette entries its indices use, in index order.
    [[nodiscard]] bool take_palette(const IndexedPicture& indexed, size_t pixels) {
        std::array<bool, 256>& used = used_;
        for (size_t i = 0; i < pixels; ++i) {
            used[indexed.Data[i]] = true;
        }
        for (uint32_t index = 0; index < 256; ++index) {
            if (used[index]) {
                renumber_[index] = static_cast<uint16_t>(count_);
                palette_[count_++] = indexed.Palette[index];
            }
        }
        indices_ = indexed.Data;
        return true;
    }
    // The code of palette entry `index` (take_palette), or -1 when no pixel uses it.
    [[nodiscard]] int32_t code_of_entry(int32_t index) const {
        if (indices_ == nullptr || index < 0 || index > 255 ||
            !used_[static_cast<size_t>(index)]) {
            return -1;
        }
        return renumber_[static_cast<size_t>(index)];
    }

    // From the picture's own colours; false when the tables find no memory.
    [[nodiscard]] bool find(const Picture& picture, size_t pixels) {
        if (!bits_.allocate(uint64_t{kColourWords} * 8) ||
            !ranks_.allocate(uint64_t{kColourWords} * 4)) {
            return false;
        }
        auto* bits = reinterpret_cast<uint64_t*>(bits_.bytes());
        uint32_t last = 0xFFFFFFFFU;
        for (size_t i = 0; i < pixels; ++i) {
            const uint32_t colour = colour_at(picture, i);
            if (colour != last) { // runs of one colour are common
                bits[colour >> 6U] |= uint64_t{1} << (colour & 63U);
                last = colour;
            }
        }
        auto* ranks = reinterpret_cast<uint32_t*>(ranks_.bytes());
        uint64_t below = 0;
        for (uint32_t word = 0; word < kColourWords; ++word) {
            ranks[word] = static_cast<uint32_t>(below);
            below += static_cast<uint64_t>(std::popcount(bits[word]));
        }
        count_ = below;
        return true;
    }

    [[nodiscard]] uint64_t count() const { return count_; }

    // The colour of code `index`.
    [[nodiscard]] uint32_t colour(uint32_t index) const {
        if (indices_ != nullptr) {
            return palette_[index];
        }
        const auto* bits = reinterpret_cast<const uint64_t*>(bits_.bytes());
        const auto* ranks = reinterpret_cast<const uint32_t*>(ranks_.bytes());
        // The word holding the index-th colour, then its bit.
        const uint32_t* after = std::upper_bound(ranks, ranks + kColourWords, index);
        const auto word = static_cast<uint32_t>(after - ranks - 1);
        uint64_t rest = bits[word];
        for (uint32_t skip = index - ranks[word]; skip > 0; --skip) {
            rest &= rest - 1;
        }
        return word << 6U | static_cast<uint32_t>(std::countr_zero(rest));
    }

    // The code index of pixel `i`.
    [[nodiscard]] uint32_t index_of(const Picture& picture, size_t i) const {
        if (indices_ != nullptr) {
            return renumber_[indices_[i]];
        }
        const uint32_t colour = colour_at(picture, i);
        const auto* bits = reinterpret_cast<const uint64_t*>(bits_.bytes());
        const auto* ranks = reinterpret_cast<const uint32_t*>(ranks_.bytes());
        const uint64_t below = bits[colour >> 6U] & ((uint64_t{1} << (colour & 63U)) - 1);
        return ranks[colour >> 6U] + static_cast<uint32_t>(std::popcount(below));
    }

private:
    runtime::PoolBlock bits_;
    runtime::PoolBlock ranks_;
    const uint8_t* indices_ = nullptr;
    std::array<uint32_t, 256> palette_{};
    std::array<uint16_t, 256> renumber_{};
    std::array<bool, 256> used_{};
    uint64_t count_ = 0;
};

void write_header(runtime::FileSink& sink, uint32_t width, uint32_t height, uint64_t colours,
                  uint32_t cpp, const OrviExtras* extras) {
    put_text(sink, "/* XPM */\nstatic char *image[] = {\n"
                   "/* columns rows colors chars-per-pixel */\n\"");
    std::array<uint8_t, 48> values{};
    uint8_t* at = values.data();
    at += runtime::put_decimal(at, width);
    *at++ = ' ';
    at += runtime::put_decimal(at, height);
    *at++ = ' ';
    at += runtime::put_decimal(at, static_cast<uint32_t>(colours));
    *at++ = ' ';
    at += runtime::put_decimal(at, cpp);
    if (extras != nullptr && extras->hot_x >= 0 && extras->hot_y >= 0) {
        *at++ = ' ';
        at += runtime::put_decimal(at, static_cast<uint32_t>(extras->hot_x));
        *at++ = ' ';
        at += runtime::put_decimal(at, static_cast<uint32_t>(extras->hot_y));
    }
    sink.put(std::span<const uint8_t>(values.data(), at));
    put_text(sink, "\",\n");
}

// The X11 colour names of one word (0x00RRGGBB, name), by colour, the first of the
// database's names for a colour kept; "None" is transparency, not black, and is left out.
class NameIndex {
public:
    NameIndex() {
        for (const XColor* entry = xcolor; entry->name != nullptr; ++entry) {
            if (std::strcmp(entry->name, "NONE") != 0 && std::strchr(entry->name, ' ') == nullptr) {
                names_[count_] = {entry->colour >> 8U, static_cast<uint32_t>(count_), entry->name};
                ++count_;
            }
        }
        std::sort(names_.begin(), names_.begin() + static_cast<ptrdiff_t>(count_),
                  [](const Named& a, const Named& b) {
                      return a.colour != b.colour ? a.colour < b.colour : a.order < b.order;
                  });
    }
    // The name of exactly this colour, or nullptr.
    [[nodiscard]] const char* find(uint32_t colour) const {
        const Named* end = names_.data() + count_;
        const Named* found = std::lower_bound(
            names_.data(), end, colour, [](const Named& n, uint32_t c) { return n.colour < c; });
        return found != end && found->colour == colour ? found->name : nullptr;
    }

private:
    struct Named {
        uint32_t colour;
        uint32_t order; // in the database
        const char* name;
    };
    std::array<Named, kNamedColours> names_{};
    size_t count_ = 0;
};

// The colour strings: `code c #RRGGBB`, or `code c name` for an exact name when `names`;
// `code c None` for the transparent one (`transparent`, or -1).
void write_colours(runtime::FileSink& sink, const Colours& colours, uint32_t cpp, bool names,
                   int32_t transparent) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const NameIndex name_index;
    for (uint32_t index = 0; index < colours.count(); ++index) {
        uint8_t* out = sink.reserve(64);
        uint8_t* at = out;
        *at++ = '"';
        put_code(at, index, cpp);
        at += cpp;
        std::memcpy(at, " c ", 3);
        at += 3;
        const uint32_t colour = colours.colour(index);
        const char* name = static_cast<int32_t>(index) == transparent ? "None"
                           : names                                    ? name_index.find(colour)
                                                                      : nullptr;
        if (static_cast<int32_t>(index) == transparent) {
            std::memcpy(at, "None", 4);
            at += 4;
        } else if (name != nullptr) { // written in lower case, as X11 files name colours
            for (; *name != 0; ++name) {
                *at++ = static_cast<uint8_t>(*name >= 'A' && *name <= 'Z' ? *name + 32 : *name);
            }
        } else {
            *at++ = '#';
            for (int shift = 20; shift >= 0; shift -= 4) {
                *at++ = static_cast<uint8_t>(kHex[(colour >> static_cast<uint32_t>(shift)) & 15U]);
            }
        }
        std::memcpy(at, "\",\n", 3);
        at += 3;
        sink.commit(static_cast<size_t>(at - out));
    }
}

// The pixel rows, each a string; the codes of all colours are made once.
void write_pixels(runtime::FileSink& sink, const Picture& picture, const Colours& colours,
                  uint32_t cpp, const uint8_t* codes) {
    const auto width = static_cast<uint32_t>(picture.Width);
    const auto height = static_cast<uint32_t>(picture.Height);
    put_text(sink, "/* pixels */\n");
    const size_t chunk = (kSinkBytes - 8) / cpp; // pixels a reservation
    for (uint32_t y = 0; y < height; ++y) {
        runtime::report_before_row(y, height);
        sink.put('"');
        const size_t row = size_t{y} * width;
        for (size_t x = 0; x < width; x += chunk) {
            const size_t count = std::min<size_t>(chunk, width - x);
            uint8_t* out = sink.reserve(count * cpp);
            for (size_t i = 0; i < count; ++i) {
                std::memcpy(out + i * cpp,
                            codes + size_t{colours.index_of(picture, row + x + i)} * cpp, cpp);
            }
            sink.commit(count * cpp);
        }
        put_text(sink, y + 1 < height ? "\",\n" : "\"\n");
    }
    put_text(sink, "};\n");
    runtime::report_progress(100);
}

} // namespace

/* XPM_Save: SaveMode kSaveNames writes colour names. Codes: kXpmBadWidth width or kXpmBadHeight
 * height outside 1..32767 (nothing is opened); kXpmTooManyColours more colours than an XPM file
 * holds (kMaxColours); kOutOfMemory no memory for the colour tables; kCannotOpen the file cannot be
 * created; kShortWrite a short write. */
int32_t XPM_Save(const char* name, CodecRequest* request) {
    const Picture* pic = request->Pic;
    const auto width = static_cast<uint32_t>(pic->Width);
    const auto height = static_cast<uint32_t>(pic->Height);
    if (width < 1 || width > kMaxSide) {
        return kXpmBadWidth;
    }
    if (height < 1 || height > kMaxSide) {
        return kXpmBadHeight;
    }
    const size_t pixels = size_t{width} * height;
    Colours colours;
    if (request->IndexedPic != nullptr ? !colours.take_palette(*request->IndexedPic, pixels)
                                       : !colours.find(*pic, pixels)) {
        return kOutOfMemory;
    }
    if (colours.count() > static_cast<uint64_t>(kMaxColours)) {
        return kXpmTooManyColours;
    }
    const uint32_t cpp = chars_per_pixel(colours.count());
    runtime::PoolBlock codes(runtime::size_mul(colours.count(), cpp, 1));
    if (!codes) {
        return kOutOfMemory;
    }
    for (uint32_t index = 0; index < colours.count(); ++index) {
        put_code(codes.bytes() + size_t{index} * cpp, index, cpp);
    }
    const platform::BPTR file = platform::Open(name, platform::MODE_NEWFILE);
    if (file == 0) {
        return kCannotOpen;
    }
    std::array<uint8_t, kSinkBytes> buffer;
    runtime::FileSink sink(file, buffer);
    const OrviExtras* extras = runtime::wanted_extras();
    write_header(sink, width, height, colours.count(), cpp, extras);
    write_colours(sink, colours, cpp, (request->SaveMode & kSaveNames) != 0,
                  extras != nullptr ? colours.code_of_entry(extras->transparent) : -1);
    write_pixels(sink, *pic, colours, cpp, codes.bytes());
    sink.flush();
    platform::Close(file);
    return sink.failed() ? kShortWrite : kOk;
}

} // namespace xpm
