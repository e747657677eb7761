// PAM and PBM files written by the library: a buffered file, the header, then the
// samples or bits a row at a time.
#include "ppm/ppm_host_write.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace orvi {
namespace {

constexpr size_t kBufferBytes = size_t{1} << 16U;
constexpr size_t kPlainLine = 70; // digits a line of a plain PBM, as netpbm writes

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// A file opened for writing with a buffer of the pool's; every write's success is kept.
class Output {
public:
    explicit Output(const char* path) : file_(std::fopen(path, "wb")) {
        if (file_) {
            std::setvbuf(file_.get(), nullptr, _IOFBF, kBufferBytes);
        }
    }
    [[nodiscard]] bool opened() const { return file_ != nullptr; }
    void put(const void* bytes, size_t count) {
        ok_ = ok_ && std::fwrite(bytes, 1, count, file_.get()) == count;
    }
    void put(const std::string& text) { put(text.data(), text.size()); }
    // Flushes and closes; whether every byte reached the file.
    [[nodiscard]] bool finish() {
        ok_ = ok_ && std::fflush(file_.get()) == 0;
        return std::fclose(file_.release()) == 0 && ok_;
    }

private:
    std::unique_ptr<std::FILE, FileCloser> file_;
    bool ok_ = true;
};

void report(OrviGaugeRoutine gauge, uint32_t y, uint32_t height) {
    if (gauge != nullptr && height >= 10 && (y + 1) % (height / 10) == 0) {
        gauge(static_cast<int32_t>(uint64_t{y + 1} * 100 / height));
    }
}

int32_t written(Output& out, std::string& error) {
    if (!out.finish()) {
        error = "the file could not be written completely (is the disk full?)";
        return orvi::kCannotWrite;
    }
    return 0;
}

int32_t cannot_open(std::string& error) {
    error = "the file could not be opened for writing";
    return orvi::kCannotWrite;
}

} // namespace

void bitmap_row(std::span<const uint8_t> grey, std::span<uint8_t> bits, int32_t* errors_here,
                int32_t* errors_below) {
    std::fill(bits.begin(), bits.end(), uint8_t{0});
    for (size_t x = 0; x < grey.size(); ++x) {
        int32_t value = grey[x];
        if (errors_here != nullptr) {
            value += errors_here[x + 1] / 16; // errors are kept in sixteenths
        }
        const bool black = value < 128;
        if (black) {
            bits[x / 8] = static_cast<uint8_t>(bits[x / 8] | (0x80U >> (x % 8)));
        }
        if (errors_here != nullptr) {
            const int32_t error = value - (black ? 0 : 255);
            errors_here[x + 2] += 7 * error;
            errors_below[x] += 3 * error;
            errors_below[x + 1] += 5 * error;
            errors_below[x + 2] += error;
        }
    }
}

/* pam_save: GRAYSCALE when every pixel is grey, else RGB, each with _ALPHA and the
 * colours under it when the picture has opacity; a header of keyword lines. */
int32_t pam_save(HostPool& /*pool*/, const char* path, const Picture& picture,
                 const IndexedImage* /*indexed*/, const Carried& carried,
                 const orvi::SaveOptions& /*options*/, OrviGaugeRoutine gauge, std::string& error) {
    const auto width = static_cast<uint32_t>(picture.Width);
    const auto height = static_cast<uint32_t>(picture.Height);
    const uint8_t* alpha = carried.alpha;
    Picture colours = picture;
    if (alpha != nullptr && carried.straight != nullptr) {
        colours.Data = const_cast<uint8_t*>(carried.straight);
        colours.BytesPerPixel = 3;
    }
    const bool grey = is_grey(colours);
    const uint32_t channels = (grey ? 1U : 3U) + (alpha != nullptr ? 1U : 0U);
    Output out(path);
    if (!out.opened()) {
        return cannot_open(error);
    }
    out.put("P7\nWIDTH " + std::to_string(width) + "\nHEIGHT " + std::to_string(height) +
            "\nDEPTH " + std::to_string(channels) + "\nMAXVAL 255\nTUPLTYPE " +
            (grey ? "GRAYSCALE" : "RGB") + (alpha != nullptr ? "_ALPHA" : "") + "\nENDHDR\n");
    std::vector<uint8_t> row(alpha != nullptr || (grey && colours.BytesPerPixel == 3)
                                 ? size_t{width} * channels
                                 : 0);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* in = colours.Data + size_t{y} * width * colours.BytesPerPixel;
        if (alpha != nullptr) {
            const size_t step = colours.BytesPerPixel;
            const uint8_t* opacity = alpha + size_t{y} * width;
            for (size_t x = 0; x < width; ++x) {
                uint8_t* tuple = row.data() + x * channels;
                for (size_t c = 0; c + 1 < channels; ++c) {
                    tuple[c] = in[x * step + (step == 1 ? 0 : c)];
                }
                tuple[channels - 1] = opacity[x];
            }
            out.put(row.data(), row.size());
        } else if (row.empty()) {
            out.put(in, size_t{width} * (grey ? 1 : 3));
        } else {
            for (size_t x = 0; x < width; ++x) {
                row[x] = in[3 * x];
            }
            out.put(row.data(), width);
        }
        report(gauge, y, height);
    }
    return written(out, error);
}

/* pbm_save: from a grey picture (the library makes one for this format); P4 packs a row
 * into whole bytes, P1 writes a digit a pixel, 70 to a line. */
int32_t pbm_save(HostPool& pool, const char* path, const Picture& picture,
                 const IndexedImage* /*indexed*/, const Carried& /*carried*/,
                 const orvi::SaveOptions& options, OrviGaugeRoutine gauge, std::string& error) {
    if (picture.BytesPerPixel != 1) {
        error = "a bitmap is made from a grey picture";
        return orvi::kDoesNotFit;
    }
    const auto width = static_cast<uint32_t>(picture.Width);
    const auto height = static_cast<uint32_t>(picture.Height);
    const size_t row_bytes = (size_t{width} + 7) / 8;
    PoolArray<uint8_t> bits;
    PoolArray<int32_t> errors;
    try {
        bits = PoolArray<uint8_t>(pool, row_bytes);
        if (options.dither) {
            errors = PoolArray<int32_t>(pool, 2 * (size_t{width} + 2));
        }
    } catch (const std::bad_alloc&) {
        error = "not enough memory to write the bitmap";
        return orvi::kOutOfMemory;
    }
    Output out(path);
    if (!out.opened()) {
        return cannot_open(error);
    }
    out.put(std::string(options.plain ? "P1" : "P4") + "\n#Created with Orvi\n" +
            std::to_string(width) + " " + std::to_string(height) + "\n");
    std::string line;
    for (uint32_t y = 0; y < height; ++y) {
        int32_t* here = nullptr;
        int32_t* below = nullptr;
        if (options.dither) {
            here = errors.get() + size_t{y % 2} * (width + 2);
            below = errors.get() + size_t{(y + 1) % 2} * (width + 2);
            std::fill(below, below + width + 2, 0);
        }
        bitmap_row({picture.Data + size_t{y} * width, width}, {bits.get(), row_bytes}, here, below);
        if (!options.plain) {
            out.put(bits.get(), row_bytes);
        } else {
            for (size_t x = 0; x < width; ++x) {
                line += (bits.get()[x / 8] & (0x80U >> (x % 8))) != 0 ? '1' : '0';
                if (line.size() == kPlainLine) {
                    out.put(line + "\n");
                    line.clear();
                }
            }
        }
        report(gauge, y, height);
    }
    if (!line.empty()) {
        out.put(line + "\n");
    }
    return written(out, error);
}

} // namespace orvi
