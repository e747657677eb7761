// PNG reading and writing through libpng. libpng reports errors by longjmp, so each
// function that calls setjmp holds no object with a destructor: everything it owns
// lives in a plain state record that its caller releases on every path.
#include "png/png_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <png.h>

#include "lib/description.h"
#include "lib/palette.h"
#include "orvi/library.h"
#include "png/png_chunks.h"
#include "runtime/result_codes.h"
#include "runtime/sizes.h"

namespace orvi {
namespace {

constexpr size_t kMessageSize = 200;
constexpr size_t kPaletteEntries = 256;

extern "C" void png_failed(png_structp png, png_const_charp message) {
    std::snprintf(static_cast<char*>(png_get_error_ptr(png)), kMessageSize, "%s", message);
    png_longjmp(png, 1);
}

extern "C" void png_warned(png_structp /*png*/, png_const_charp /*message*/) {}

// Writes through stdio, failing with the system's reason rather than libpng's own.
extern "C" void png_write_bytes(png_structp png, png_bytep data, size_t length) {
    if (std::fwrite(data, 1, length, static_cast<FILE*>(png_get_io_ptr(png))) != length) {
        png_error(png, std::strerror(errno));
    }
}

extern "C" void png_flush_bytes(png_structp /*png*/) {}

// A PNG file's bytes in memory, read from the front.
struct MemoryRead {
    std::span<const uint8_t> bytes;
    size_t at = 0;
};

extern "C" void png_read_memory(png_structp png, png_bytep data, size_t length) {
    auto* source = static_cast<MemoryRead*>(png_get_io_ptr(png));
    if (source->bytes.size() - source->at < length) {
        png_error(png, "Read Error"); // as libpng says of a file that ends early
    }
    std::memcpy(data, source->bytes.data() + source->at, length);
    source->at += length;
}

// libpng's memory, from the pool; a refusal is noted, so that libpng's failure is told
// as the lack of memory it is.
struct PngMemory {
    HostPool* pool;
    bool refused = false;
};

extern "C" png_voidp png_pool_alloc(png_structp png, png_alloc_size_t size) {
    auto* memory = static_cast<PngMemory*>(png_get_mem_ptr(png));
    void* block = memory->pool->allocate(size);
    memory->refused = memory->refused || block == nullptr;
    return block;
}

extern "C" void png_pool_free(png_structp png, png_voidp block) {
    if (block != nullptr) {
        static_cast<PngMemory*>(png_get_mem_ptr(png))->pool->free(block);
    }
}

int file_channels(int colour_type) {
    switch (colour_type) {
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return 2;
    case PNG_COLOR_TYPE_RGB:
        return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        return 4;
    default:
        return 1; // grey, palette
    }
}

void report(OrviGaugeRoutine gauge, uint64_t done, uint64_t total) {
    if (gauge != nullptr && total != 0) {
        gauge(static_cast<int32_t>(done * 100 / total));
    }
}

struct ReadState {
    explicit ReadState(HostPool& pool) : memory{&pool} {}
    PngMemory memory;
    png_structp png = nullptr;
    png_infop info = nullptr;
    FILE* file = nullptr;        // the file read, or
    MemoryRead* bytes = nullptr; // its bytes in memory
    uint8_t* data = nullptr;     // pool block: the picture, four bytes a pixel while alpha is in
    OrviExtras* extras = nullptr; // what the caller keeps beside the pixels, or null
    uint8_t* indices = nullptr;   // pool blocks for it while the file is read
    uint8_t* alpha = nullptr;
    uint8_t* straight = nullptr;
    bool out_of_memory = false;
    bool too_many_pixels = false;
    char message[kMessageSize] = {};
};

// The blocks kept for `count` pixels' opacity and the colours under it; false, with the
// state saying so, without memory.
bool allocate_opacity(ReadState& state, HostPool& pool, uint64_t count) {
    state.alpha = static_cast<uint8_t*>(pool.allocate(count));
    state.straight = state.alpha != nullptr
                         ? static_cast<uint8_t*>(pool.allocate(runtime::size_mul(count, 3)))
                         : nullptr;
    if (state.straight == nullptr) {
        state.out_of_memory = true;
        std::snprintf(state.message, kMessageSize, "not enough memory for the picture's opacity");
        return false;
    }
    return true;
}

// A palette file's picture from its indices: its palette and transparency kept, each
// pixel its entry's colour composed onto black by the entry's opacity, as when the file is
// expanded. One fully transparent entry among opaque ones is a transparent index; other
// opacities become an opacity a pixel. Returns false without memory.
bool keep_palette(ReadState& state, HostPool& pool, uint64_t count) {
    png_colorp entries = nullptr;
    int entry_count = 0;
    png_get_PLTE(state.png, state.info, &entries, &entry_count);
    png_bytep opacity = nullptr;
    int opacity_count = 0;
    png_get_tRNS(state.png, state.info, &opacity, &opacity_count, nullptr);
    std::array<uint8_t, 256 * 3> rgb{};
    std::array<uint8_t, 256> alpha{};
    alpha.fill(255);
    int transparent = -1;
    int partial = 0;
    const auto entries_given = static_cast<size_t>(std::clamp(entry_count, 0, 256));
    for (size_t i = 0; i < entries_given; ++i) {
        rgb[3 * i] = entries[i].red;
        rgb[3 * i + 1] = entries[i].green;
        rgb[3 * i + 2] = entries[i].blue;
    }
    const auto opacities_given = static_cast<size_t>(std::clamp(opacity_count, 0, 256));
    for (size_t i = 0; i < opacities_given; ++i) {
        alpha[i] = opacity[i];
        if (opacity[i] == 0 && transparent < 0) {
            transparent = static_cast<int>(i);
        } else if (opacity[i] != 255) {
            ++partial;
        }
    }
    const bool by_pixel = partial > 0;
    if (by_pixel && !allocate_opacity(state, pool, count)) {
        return false;
    }
    std::array<uint8_t, 256 * 3> shown{};
    for (size_t i = 0; i < 256; ++i) {
        for (size_t c = 0; c < 3; ++c) {
            shown[3 * i + c] = static_cast<uint8_t>((rgb[3 * i + c] * alpha[i] + 127) / 255);
        }
    }
    uint8_t highest = 0;
    for (uint64_t i = 0; i < count; ++i) {
        const uint8_t index = state.indices[i];
        highest = std::max(highest, index);
        std::memcpy(state.data + 3 * i, shown.data() + 3 * size_t{index}, 3);
        if (by_pixel) {
            state.alpha[i] = alpha[index];
            std::memcpy(state.straight + 3 * i, rgb.data() + 3 * size_t{index}, 3);
        }
    }
    OrviExtras& extras = *state.extras;
    // An index past the PLTE (libpng lets it by with a warning) is black, as expanding
    // the file makes it: the palette reaches it with black entries.
    extras.palette_count =
        std::max(static_cast<uint32_t>(std::clamp(entry_count, 1, 256)), highest + 1U);
    std::memcpy(extras.palette, rgb.data(), 3 * size_t{extras.palette_count});
    extras.transparent = by_pixel ? -1 : transparent;
    return true;
}

// Reads the whole file into `state.data`; false with `state.message` set.
bool decode(ReadState& state, HostPool& pool, Picture& picture, PngHeader& header,
            OrviGaugeRoutine gauge) {
    if (setjmp(png_jmpbuf(state.png)) != 0) {
        return false;
    }
    if (state.file != nullptr) {
        png_init_io(state.png, state.file);
    } else {
        png_set_read_fn(state.png, state.bytes, png_read_memory);
    }
    // libpng's own side limit (a million by default) gives way to the pixel limit.
    const uint64_t most_pixels = pool.max_pixels() == 0 ? PNG_UINT_31_MAX : pool.max_pixels();
    const auto most_side =
        static_cast<png_uint_32>(std::min<uint64_t>(most_pixels, PNG_UINT_31_MAX));
    png_set_user_limits(state.png, most_side, most_side);
    png_read_info(state.png, state.info);
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int interlace = 0;
    png_get_IHDR(state.png, state.info, &width, &height, &header.bit_depth, &header.colour_type,
                 &interlace, nullptr, nullptr);
    header.width = width;
    header.height = height;
    header.interlaced = interlace != PNG_INTERLACE_NONE;
    if (pool.max_pixels() != 0 && uint64_t{width} * height > pool.max_pixels()) {
        state.too_many_pixels = true;
        return false;
    }
    header.transparency = (header.colour_type & PNG_COLOR_MASK_ALPHA) != 0 ||
                          png_get_valid(state.png, state.info, PNG_INFO_tRNS) != 0;
    const bool palette_kept =
        state.extras != nullptr && header.colour_type == PNG_COLOR_TYPE_PALETTE;
    if (palette_kept) {
        png_set_packing(state.png); // an index a byte
    } else {
        png_set_scale_16(state.png);
        png_set_expand(state.png); // palettes to RGB, small grey to 8 bits, tRNS to alpha
        png_set_gray_to_rgb(state.png);
    }
    const int passes = png_set_interlace_handling(state.png);
    png_read_update_info(state.png, state.info);
    const uint64_t channels = png_get_channels(state.png, state.info);
    const uint64_t stride = runtime::size_mul(width, channels);
    if (png_get_rowbytes(state.png, state.info) != stride ||
        (palette_kept ? channels != 1 : channels != 3 && channels != 4)) {
        std::snprintf(state.message, kMessageSize, "unexpected row layout");
        return false;
    }
    const uint64_t count = uint64_t{width} * height;
    state.data = static_cast<uint8_t*>(pool.allocate(runtime::size_mul(count, channels == 1 ? 3 : channels)));
    if (palette_kept && state.data != nullptr) {
        state.indices = static_cast<uint8_t*>(pool.allocate(count));
    }
    if (state.data == nullptr || (palette_kept && state.indices == nullptr)) {
        state.out_of_memory = true;
        std::snprintf(state.message, kMessageSize, "not enough memory for a %u x %u picture", width,
                      height);
        return false;
    }
    uint8_t* const rows_into = palette_kept ? state.indices : state.data;
    const uint64_t rows = uint64_t{height} * static_cast<uint64_t>(passes);
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y) {
            png_read_row(state.png, rows_into + y * stride, nullptr);
            report(gauge, uint64_t{height} * static_cast<uint64_t>(pass) + y + 1, rows);
        }
    }
    picture.Width = static_cast<int32_t>(width);
    picture.Height = static_cast<int32_t>(height);
    picture.BytesPerPixel = 3;
    picture.LoadedWidth = width;
    picture.LoadedHeight = height;
    picture.Depth = static_cast<uint32_t>(header.bit_depth * file_channels(header.colour_type));
    if (palette_kept) {
        return keep_palette(state, pool, count);
    }
    if (channels == 3) {
        return true;
    }
    if (state.extras != nullptr) {
        if (!allocate_opacity(state, pool, count)) {
            return false;
        }
        for (uint64_t i = 0; i < count; ++i) {
            std::memcpy(state.straight + 3 * i, state.data + 4 * i, 3);
            state.alpha[i] = state.data[4 * i + 3];
        }
    }
    compose_onto_black(state.data, count);
    return true;
}

struct WriteState {
    explicit WriteState(HostPool& pool) : memory{&pool} {}
    PngMemory memory;
    png_structp png = nullptr;
    png_infop info = nullptr;
    FILE* file = nullptr;
    uint8_t* grey_row = nullptr; // one row of grey samples taken from a colour picture
    uint8_t* rgba_row = nullptr; // one row of colour and opacity
    char message[kMessageSize] = {};
};

// What a PNG keeps of a picture's description: its texts, as tEXt where ISO 8859-1 holds
// them and iTXt otherwise, under PNG's keywords; its resolution, or else its pixel's
// aspect, in pHYs; and in a private chunk (ilBM) the IFF chunks nothing public holds.
struct PngTexts {
    std::vector<std::string> keys;
    std::vector<std::string> values;
    std::vector<png_text> entries;
};

// PNG's keyword for a text of ours.
std::string png_keyword(const std::string& key) {
    for (const auto& [ours, theirs] : kPngKeywords) {
        if (key == ours) {
            return theirs;
        }
    }
    return key;
}

void set_description(png_structp png, png_infop info, const Description& description,
                     PngTexts& texts, std::vector<uint8_t>& private_chunk) {
    texts.keys.reserve(description.texts.size());
    texts.values.reserve(description.texts.size());
    for (const Text& text : description.texts) {
        std::string keyword = png_keyword(text.key).substr(0, 79);
        if (keyword.empty()) {
            continue;
        }
        std::string latin1;
        const bool fits = utf8_to_latin1(text.value, latin1);
        texts.keys.push_back(keyword);
        texts.values.push_back(fits ? latin1 : text.value);
        png_text entry{};
        entry.compression = fits ? PNG_TEXT_COMPRESSION_NONE : PNG_ITXT_COMPRESSION_NONE;
        texts.entries.push_back(entry);
    }
    for (size_t i = 0; i < texts.entries.size(); ++i) {
        texts.entries[i].key = texts.keys[i].data();
        texts.entries[i].text = texts.values[i].data();
        texts.entries[i].text_length =
            texts.entries[i].compression == PNG_TEXT_COMPRESSION_NONE ? texts.values[i].size() : 0;
        texts.entries[i].itxt_length =
            texts.entries[i].compression == PNG_TEXT_COMPRESSION_NONE ? 0 : texts.values[i].size();
    }
    if (!texts.entries.empty()) {
        png_set_text(png, info, texts.entries.data(), static_cast<int>(texts.entries.size()));
    }
    if (description.dpi && description.dpi->x > 0 && description.dpi->y > 0) {
        const auto per_metre = [](int32_t dpi) {
            return static_cast<png_uint_32>(dpi / 0.0254 + 0.5);
        };
        png_set_pHYs(png, info, per_metre(description.dpi->x), per_metre(description.dpi->y),
                     PNG_RESOLUTION_METER);
    } else if (description.aspect && description.aspect->x > 0 && description.aspect->y > 0) {
        // pHYs counts pixels a unit: a wide pixel is fewer of them across.
        png_set_pHYs(png, info, static_cast<png_uint_32>(description.aspect->y),
                     static_cast<png_uint_32>(description.aspect->x), PNG_RESOLUTION_UNKNOWN);
    }
    private_chunk = iff_private_chunk(description);
    if (!private_chunk.empty()) {
        static png_byte name[5] = {'i', 'l', 'B', 'M', 0};
        png_unknown_chunk chunk{};
        std::memcpy(chunk.name, name, 5);
        chunk.data = private_chunk.data();
        chunk.size = private_chunk.size();
        chunk.location = PNG_HAVE_PLTE;
        png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, name, 1);
        png_set_unknown_chunks(png, info, &chunk, 1);
    }
}

// The opacity of each palette entry when a pixel's opacity follows from its index alone
// (every pixel of an entry as opaque as the others); false when it does not.
bool opacity_by_entry(const IndexedImage& indexed, const uint8_t* alpha, uint64_t count,
                      std::array<uint8_t, 256>& opacity) {
    std::array<int16_t, 256> seen;
    seen.fill(-1);
    const uint8_t* indices = indexed.record.Data;
    for (uint64_t i = 0; i < count; ++i) {
        int16_t& entry = seen[indices[i]];
        if (entry < 0) {
            entry = alpha[i];
        } else if (entry != alpha[i]) {
            return false;
        }
    }
    for (size_t i = 0; i < 256; ++i) {
        opacity[i] = seen[i] < 0 ? 255 : static_cast<uint8_t>(seen[i]);
    }
    return true;
}

// The fewest bits per index that hold `colours` palette entries.
int index_bits(size_t colours) {
    return colours <= 2 ? 1 : colours <= 4 ? 2 : colours <= 16 ? 4 : 8;
}

// Writes the picture to `state.file`, as grey, palette indices or RGB; false with
// `state.message` set.
bool encode(WriteState& state, const Picture& picture, bool grey, const IndexedImage* indexed,
            const Carried& carried, OrviGaugeRoutine gauge) {
    if (setjmp(png_jmpbuf(state.png)) != 0) {
        return false;
    }
    const auto width = static_cast<png_uint_32>(picture.Width);
    const auto height = static_cast<png_uint_32>(picture.Height);
    png_set_write_fn(state.png, state.file, png_write_bytes, png_flush_bytes);
    const bool rgba = state.rgba_row != nullptr;
    const int type = rgba                 ? PNG_COLOR_TYPE_RGB_ALPHA
                     : grey               ? PNG_COLOR_TYPE_GRAY
                     : indexed != nullptr ? PNG_COLOR_TYPE_PALETTE
                                          : PNG_COLOR_TYPE_RGB;
    png_set_IHDR(state.png, state.info, width, height,
                 indexed != nullptr ? index_bits(indexed->colours) : 8, type, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (indexed != nullptr) {
        png_color entries[256];
        for (size_t i = 0; i < indexed->colours; ++i) {
            const uint32_t colour = indexed->palette[i];
            entries[i] = {static_cast<png_byte>(colour >> 16U), static_cast<png_byte>(colour >> 8U),
                          static_cast<png_byte>(colour)};
        }
        png_set_PLTE(state.png, state.info, entries, static_cast<int>(indexed->colours));
        // The entries' opacity, up to the last entry that is not opaque.
        std::array<uint8_t, 256> opacity;
        opacity.fill(255);
        if (carried.alpha != nullptr) {
            (void)opacity_by_entry(*indexed, carried.alpha, uint64_t{width} * height, opacity);
        } else if (carried.transparent >= 0 &&
                   static_cast<size_t>(carried.transparent) < indexed->colours) {
            opacity[static_cast<size_t>(carried.transparent)] = 0;
        }
        int last = -1;
        for (int i = 0; i < static_cast<int>(indexed->colours); ++i) {
            last = opacity[static_cast<size_t>(i)] != 255 ? i : last;
        }
        if (last >= 0) {
            png_set_tRNS(state.png, state.info, opacity.data(), last + 1, nullptr);
        }
    }
    PngTexts texts;
    std::vector<uint8_t> private_chunk;
    if (carried.description != nullptr) {
        set_description(state.png, state.info, *carried.description, texts, private_chunk);
    }
    png_write_info(state.png, state.info);
    if (indexed != nullptr && !rgba) {
        png_set_packing(state.png); // one index a byte in memory, packed in the file
    }
    const uint64_t stride = uint64_t{width} * picture.BytesPerPixel;
    for (png_uint_32 y = 0; y < height; ++y) {
        const uint8_t* row = picture.Data + y * stride;
        if (rgba) {
            const uint8_t* colours = carried.straight != nullptr ? carried.straight : picture.Data;
            const size_t bytes = picture.BytesPerPixel;
            for (png_uint_32 x = 0; x < width; ++x) {
                const uint64_t at = uint64_t{y} * width + x;
                for (size_t c = 0; c < 3; ++c) {
                    state.rgba_row[4 * x + c] = carried.straight != nullptr
                                                    ? colours[3 * at + c]
                                                    : colours[bytes * at + (bytes == 1 ? 0 : c)];
                }
                state.rgba_row[4 * x + 3] = carried.alpha[at];
            }
            row = state.rgba_row;
        } else if (indexed != nullptr) {
            row = indexed->record.Data + uint64_t{y} * width;
        } else if (state.grey_row != nullptr) {
            for (png_uint_32 x = 0; x < width; ++x) {
                state.grey_row[x] = row[3 * uint64_t{x}];
            }
            row = state.grey_row;
        }
        png_write_row(state.png, row);
        report(gauge, y + 1, height);
    }
    png_write_end(state.png, nullptr);
    return true;
}

} // namespace

void compose_onto_black(uint8_t* pixels, uint64_t count) {
    for (uint64_t i = 0; i < count; ++i) {
        const uint8_t* in = pixels + 4 * i;
        uint8_t* out = pixels + 3 * i; // never ahead of `in`, so the pass works in place
        const uint32_t alpha = in[3];
        for (int k = 0; k < 3; ++k) {
            out[k] = static_cast<uint8_t>((in[k] * alpha + 127) / 255);
        }
    }
}

const char* png_colour_type_name(int colour_type) {
    switch (colour_type) {
    case PNG_COLOR_TYPE_GRAY:
        return "grey";
    case PNG_COLOR_TYPE_PALETTE:
        return "palette";
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return "grey + alpha";
    case PNG_COLOR_TYPE_RGB_ALPHA:
        return "RGBA";
    default:
        return "RGB";
    }
}

namespace {

// Reads the PNG of `state` (its file or bytes set) into `picture`; the caller closes the file.
bool read_png(ReadState& state, HostPool& pool, Picture& picture, PngHeader& header,
              OrviGaugeRoutine gauge, std::string& error, int32_t& failure) {
    state.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, state.message, png_failed,
                                         png_warned, &state.memory, png_pool_alloc, png_pool_free);
    state.info = state.png != nullptr ? png_create_info_struct(state.png) : nullptr;
    const bool done = state.info != nullptr && decode(state, pool, picture, header, gauge);
    png_destroy_read_struct(&state.png, &state.info, nullptr);
    if (!done) {
        for (uint8_t* block : {state.data, state.indices, state.alpha, state.straight}) {
            if (block != nullptr) {
                pool.free(block);
            }
        }
        picture = Picture{};
        const char* message = state.message[0] != '\0' ? state.message : "libpng failed";
        if (state.too_many_pixels) {
            error = too_many_pixels_sentence(header.width, header.height, pool.max_pixels());
            failure = kTooManyPixels;
        } else if (state.memory.refused && !state.out_of_memory) {
            error = "not enough memory to read the PNG file";
            failure = kOutOfMemory;
        } else {
            error = state.out_of_memory ? std::string(message)
                                        : std::string("damaged PNG file (") + message + ")";
            failure = state.out_of_memory ? kOutOfMemory : orvi::kDamagedPng;
        }
        return false;
    }
    picture.Data = state.data;
    if (state.extras != nullptr) {
        state.extras->indices = state.indices;
        state.extras->alpha = state.alpha;
        state.extras->straight = state.straight;
    }
    return true;
}

} // namespace

bool load_png(HostPool& pool, const std::string& path, Picture& picture, PngHeader& header,
              OrviGaugeRoutine gauge, std::string& error, int32_t* code, OrviExtras* extras) {
    int32_t ignored = 0;
    int32_t& failure = code != nullptr ? *code : ignored;
    failure = kOk;
    ReadState state(pool);
    state.extras = extras;
    state.file = std::fopen(path.c_str(), "rb");
    if (state.file == nullptr) {
        error = std::string("it cannot be read (") + std::strerror(errno) + ")";
        failure = orvi::kCannotRead;
        return false;
    }
    const bool done = read_png(state, pool, picture, header, gauge, error, failure);
    std::fclose(state.file);
    return done;
}

bool load_png(HostPool& pool, std::span<const uint8_t> file, Picture& picture, PngHeader& header,
              OrviGaugeRoutine gauge, std::string& error, int32_t* code, OrviExtras* extras) {
    int32_t ignored = 0;
    int32_t& failure = code != nullptr ? *code : ignored;
    failure = kOk;
    ReadState state(pool);
    state.extras = extras;
    MemoryRead bytes{file};
    state.bytes = &bytes;
    return read_png(state, pool, picture, header, gauge, error, failure);
}

bool save_png(HostPool& pool, const char* path, const Picture& picture, OrviGaugeRoutine gauge,
              std::string& error, const IndexedImage* palette, bool* out_of_memory,
              const Carried* carried) {
    bool ignored = false;
    bool& refused = out_of_memory != nullptr ? *out_of_memory : ignored;
    refused = false;
    const Carried none;
    const Carried& kept = carried != nullptr ? *carried : none;
    const uint64_t count = uint64_t{static_cast<uint32_t>(picture.Width)} *
                           static_cast<uint32_t>(picture.Height);
    const bool alpha = kept.alpha != nullptr;
    // With opacity, the colours under it are what the file holds.
    Picture colours = picture;
    if (alpha && kept.straight != nullptr) {
        colours.Data = const_cast<uint8_t*>(kept.straight);
        colours.BytesPerPixel = 3;
    }
    const bool grey = palette == nullptr && !alpha && is_grey(picture);
    std::optional<IndexedImage> found;
    PoolArray<uint8_t> grey_row;
    PoolArray<uint8_t> rgba_row;
    WriteState state(pool);
    try {
        if (!grey && palette == nullptr) {
            found = exact_indexed(pool, colours, kPaletteEntries);
        }
        if (grey && picture.BytesPerPixel == 3) {
            grey_row = PoolArray<uint8_t>(pool, static_cast<uint32_t>(picture.Width));
            state.grey_row = grey_row.get();
        }
        // Opacity that the palette's entries cannot say is written pixel by pixel.
        const IndexedImage* chosen = palette != nullptr ? palette : found ? &*found : nullptr;
        std::array<uint8_t, 256> opacity{};
        if (alpha && (chosen == nullptr || !opacity_by_entry(*chosen, kept.alpha, count, opacity))) {
            rgba_row = PoolArray<uint8_t>(pool, 4 * uint64_t{static_cast<uint32_t>(picture.Width)});
            state.rgba_row = rgba_row.get();
        }
    } catch (const std::bad_alloc&) {
        error = "not enough memory to write the PNG file (the picture is too large for the "
                "memory limit)";
        refused = true;
        return false;
    }
    const IndexedImage* indexed = palette != nullptr ? palette : found ? &*found : nullptr;
    state.file = std::fopen(path, "wb");
    if (state.file == nullptr) {
        error = std::string("it cannot be written (") + std::strerror(errno) + ")";
        return false;
    }
    state.png = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, state.message, png_failed,
                                          png_warned, &state.memory, png_pool_alloc, png_pool_free);
    state.info = state.png != nullptr ? png_create_info_struct(state.png) : nullptr;
    bool done = state.info != nullptr &&
                encode(state, colours, grey, indexed ? &*indexed : nullptr, kept, gauge);
    png_destroy_write_struct(&state.png, &state.info);
    const int close_errno = std::fclose(state.file) == 0 ? 0 : errno;
    if (done && close_errno != 0) {
        std::snprintf(state.message, kMessageSize, "%s", std::strerror(close_errno));
        done = false;
    }
    refused = !done && state.memory.refused;
    if (refused) {
        error = "not enough memory to write the PNG file";
    } else if (!done) {
        error = std::string("it cannot be written (") +
                (state.message[0] != '\0' ? state.message : "libpng failed") + ")";
    }
    return done;
}

} // namespace orvi
