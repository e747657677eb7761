// PNG reading and writing through libpng. libpng reports errors by longjmp, so each
// function that calls setjmp holds no object with a destructor: everything it owns
// lives in a plain state record that its caller releases on every path.
#include "png/png_file.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <png.h>

#include "lib/palette.h"
#include "orvi/library.h"
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
    bool out_of_memory = false;
    bool too_many_pixels = false;
    char message[kMessageSize] = {};
};

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
    png_set_scale_16(state.png);
    png_set_expand(state.png); // palettes to RGB, small grey to 8 bits, tRNS to alpha
    png_set_gray_to_rgb(state.png);
    const int passes = png_set_interlace_handling(state.png);
    png_read_update_info(state.png, state.info);
    const uint64_t channels = png_get_channels(state.png, state.info);
    const uint64_t stride = runtime::size_mul(width, channels);
    if (png_get_rowbytes(state.png, state.info) != stride || (channels != 3 && channels != 4)) {
        std::snprintf(state.message, kMessageSize, "unexpected row layout");
        return false;
    }
    state.data = static_cast<uint8_t*>(pool.allocate(runtime::size_mul(stride, height)));
    if (state.data == nullptr) {
        state.out_of_memory = true;
        std::snprintf(state.message, kMessageSize, "not enough memory for a %u x %u picture", width,
                      height);
        return false;
    }
    const uint64_t rows = uint64_t{height} * static_cast<uint64_t>(passes);
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y) {
            png_read_row(state.png, state.data + y * stride, nullptr);
            report(gauge, uint64_t{height} * static_cast<uint64_t>(pass) + y + 1, rows);
        }
    }
    picture.Width = static_cast<int32_t>(width);
    picture.Height = static_cast<int32_t>(height);
    picture.BytesPerPixel = 3;
    picture.LoadedWidth = width;
    picture.LoadedHeight = height;
    picture.Depth = static_cast<uint32_t>(header.bit_depth * file_channels(header.colour_type));
    return channels == 3 || (compose_onto_black(state.data, uint64_t{width} * height), true);
}

struct WriteState {
    explicit WriteState(HostPool& pool) : memory{&pool} {}
    PngMemory memory;
    png_structp png = nullptr;
    png_infop info = nullptr;
    FILE* file = nullptr;
    uint8_t* grey_row = nullptr; // one row of grey samples taken from a colour picture
    char message[kMessageSize] = {};
};

// The fewest bits per index that hold `colours` palette entries.
int index_bits(size_t colours) {
    return colours <= 2 ? 1 : colours <= 4 ? 2 : colours <= 16 ? 4 : 8;
}

// Writes the picture to `state.file`, as grey, palette indices or RGB; false with
// `state.message` set.
bool encode(WriteState& state, const Picture& picture, bool grey, const IndexedImage* indexed,
            OrviGaugeRoutine gauge) {
    if (setjmp(png_jmpbuf(state.png)) != 0) {
        return false;
    }
    const auto width = static_cast<png_uint_32>(picture.Width);
    const auto height = static_cast<png_uint_32>(picture.Height);
    png_set_write_fn(state.png, state.file, png_write_bytes, png_flush_bytes);
    const int type = grey                 ? PNG_COLOR_TYPE_GRAY
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
    }
    png_write_info(state.png, state.info);
    if (indexed != nullptr) {
        png_set_packing(state.png); // one index a byte in memory, packed in the file
    }
    const uint64_t stride = uint64_t{width} * picture.BytesPerPixel;
    for (png_uint_32 y = 0; y < height; ++y) {
        const uint8_t* row = picture.Data + y * stride;
        if (indexed != nullptr) {
            row = indexed->indices.get() + uint64_t{y} * width;
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
        if (state.data != nullptr) {
            pool.free(state.data);
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
    return true;
}

} // namespace

bool load_png(HostPool& pool, const std::string& path, Picture& picture, PngHeader& header,
              OrviGaugeRoutine gauge, std::string& error, int32_t* code) {
    int32_t ignored = 0;
    int32_t& failure = code != nullptr ? *code : ignored;
    failure = kOk;
    ReadState state(pool);
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
              OrviGaugeRoutine gauge, std::string& error, int32_t* code) {
    int32_t ignored = 0;
    int32_t& failure = code != nullptr ? *code : ignored;
    failure = kOk;
    ReadState state(pool);
    MemoryRead bytes{file};
    state.bytes = &bytes;
    return read_png(state, pool, picture, header, gauge, error, failure);
}

bool save_png(HostPool& pool, const char* path, const Picture& picture, OrviGaugeRoutine gauge,
              std::string& error, const IndexedImage* palette, bool* out_of_memory) {
    bool ignored = false;
    bool& refused = out_of_memory != nullptr ? *out_of_memory : ignored;
    refused = false;
    const bool grey = palette == nullptr && is_grey(picture);
    std::optional<IndexedImage> found;
    PoolArray<uint8_t> grey_row;
    WriteState state(pool);
    try {
        if (!grey && palette == nullptr) {
            found = exact_indexed(pool, picture, kPaletteEntries);
        }
        if (grey && picture.BytesPerPixel == 3) {
            grey_row = PoolArray<uint8_t>(pool, static_cast<uint32_t>(picture.Width));
            state.grey_row = grey_row.get();
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
    bool done =
        state.info != nullptr && encode(state, picture, grey, indexed ? &*indexed : nullptr, gauge);
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
