// FORM DEEP (TVPaint): DGBL's size and compression, DPEL's elements, DLOC's size, and the
// pixels of DBOD, plain, run-length on whole pixels, or TVDC's delta nibbles. Pure: every
// read stays inside the chunks given.
#include <algorithm>
#include <cstring>

#include "ilbm/ilbm_format.h"
#include "runtime/cursor.h"
#include "runtime/result_codes.h"

namespace ilbm {
namespace {

constexpr uint16_t kRed = 1;
constexpr uint16_t kGreen = 2;
constexpr uint16_t kBlue = 3;
constexpr uint16_t kAlpha = 4;
constexpr uint16_t kLeadingAlpha = 17; // as some writers mark an alpha element
constexpr size_t kTvdcEntries = 16;

// One element of a raw pixel, scaled to 8 bits as a PNM sample is.
uint32_t element(const uint8_t* pixel, const DeepLayout& layout, int32_t which) {
    const DeepElement& e = layout.elements[static_cast<size_t>(which)];
    const uint8_t* at = pixel + e.offset;
    return e.depth == 8 ? at[0] : (uint32_t{at[0]} << 8U | at[1]) * 255 / 65535;
}

// Raw pixels of one row into 24-bit ones, alpha composed onto black.
void deep_to_rgb(const uint8_t* raw, const DeepLayout& layout, uint8_t* out) {
    for (size_t x = 0; x < layout.width; ++x) {
        const uint8_t* pixel = raw + x * layout.pixel_bytes;
        const uint32_t alpha = layout.alpha >= 0 ? element(pixel, layout, layout.alpha) : 255;
        const int32_t channels[3] = {layout.red, layout.green, layout.blue};
        for (size_t c = 0; c < 3; ++c) {
            out[3 * x + c] =
                static_cast<uint8_t>((element(pixel, layout, channels[c]) * alpha + 127) / 255);
        }
    }
}

// Run-length on whole pixels, runs carrying from row to row: a control c >= 0 is c + 1
// literal pixels, c < 0 one pixel repeated 1 - c times.
class PixelRuns {
public:
    PixelRuns(std::span<const uint8_t> data, size_t pixel_bytes)
        : cursor_(data), pixel_bytes_(pixel_bytes) {}
    // The next `count` pixels into `out`; false when the data ends first.
    bool fill(uint8_t* out, size_t count) {
        for (size_t x = 0; x < count; ++x, out += pixel_bytes_) {
            if (literal_ == 0 && repeat_ == 0) {
                const auto control = static_cast<int8_t>(cursor_.next());
                if (control >= 0) {
                    literal_ = size_t(control) + 1;
                } else {
                    repeat_ = size_t(1 - control);
                    const std::span<const uint8_t> pixel = cursor_.take(pixel_bytes_);
                    std::copy(pixel.begin(), pixel.end(), repeated_.begin());
                }
                if (cursor_.dry()) {
                    return false;
                }
            }
            if (literal_ > 0) {
                const std::span<const uint8_t> pixel = cursor_.take(pixel_bytes_);
                if (cursor_.dry()) {
                    return false;
                }
                std::copy(pixel.begin(), pixel.end(), out);
                --literal_;
            } else {
                std::copy_n(repeated_.begin(), pixel_bytes_, out);
                --repeat_;
            }
        }
        return true;
    }

private:
    runtime::Cursor cursor_;
    size_t pixel_bytes_;
    size_t literal_ = 0;
    size_t repeat_ = 0;
    std::array<uint8_t, kDeepMostElements * 2> repeated_{};
};

// TVDC: for each element of a row, `width` values from delta nibbles (high nibble first):
// a non-zero table entry adds to the value and gives it, a zero entry repeats the value
// the next nibble + 1 times; each element's values start on a whole byte.
bool tvdc_row(runtime::Cursor& cursor, const DeepLayout& layout,
              const std::array<int16_t, kTvdcEntries>& table, uint8_t* raw) {
    for (size_t e = 0; e < layout.element_count; ++e) {
        uint8_t value = 0;
        size_t x = 0;
        uint8_t byte = 0;
        bool low = false; // the low nibble of `byte` is next
        const auto nibble = [&]() -> int32_t {
            if (!low) {
                byte = cursor.next();
                if (cursor.dry()) {
                    return -1;
                }
                low = true;
                return byte >> 4U;
            }
            low = false;
            return byte & 15U;
        };
        while (x < layout.width) {
            const int32_t n = nibble();
            if (n < 0) {
                return false;
            }
            const int16_t delta = table[static_cast<size_t>(n)];
            size_t times = 1;
            if (delta != 0) {
                value = static_cast<uint8_t>(value + delta);
            } else {
                const int32_t m = nibble();
                if (m < 0) {
                    return false;
                }
                times = static_cast<size_t>(m) + 1;
            }
            for (; times > 0 && x < layout.width; --times, ++x) {
                raw[x * layout.pixel_bytes + layout.elements[e].offset] = value;
            }
        }
    }
    return true;
}

} // namespace

/* deep_layout: DGBL (display size, compression) must be there; DLOC's size replaces its
 * size. DPEL's elements must each be 8 or 16 bits (at most kDeepMostElements), with red,
 * green and blue among them (alpha optional). Codes: kIffNoBmhd no DGBL, kIffBadPlanes elements
 * orvi does not read, 114 a compression other than 0 (none), 1 (runs) and 5 (TVDC, 8-bit elements).
 */
int32_t deep_layout(std::span<const uint8_t> dgbl, std::span<const uint8_t> dpel,
                    std::span<const uint8_t> dloc, DeepLayout& layout) {
    runtime::Cursor global(dgbl);
    layout.width = global.be16();
    layout.height = global.be16();
    layout.compression = global.be16();
    if (global.dry()) {
        return kIffNoBmhd;
    }
    if (dloc.size() >= 4) {
        runtime::Cursor local(dloc);
        layout.width = local.be16();
        layout.height = local.be16();
    }
    runtime::Cursor elements(dpel);
    const uint32_t count = elements.be32();
    if (elements.dry() || count == 0 || count > kDeepMostElements) {
        return kIffBadPlanes;
    }
    layout.element_count = count;
    size_t offset = 0;
    bool wide = false;
    for (size_t e = 0; e < count; ++e) {
        const uint16_t type = elements.be16();
        const uint16_t depth = elements.be16();
        if (elements.dry() || (depth != 8 && depth != 16)) {
            return kIffBadPlanes;
        }
        wide = wide || depth == 16;
        layout.elements[e] = {type, depth, offset};
        offset += depth / 8U;
        const auto index = static_cast<int32_t>(e);
        if (type == kRed) {
            layout.red = index;
        } else if (type == kGreen) {
            layout.green = index;
        } else if (type == kBlue) {
            layout.blue = index;
        } else if ((type == kAlpha || type == kLeadingAlpha) && layout.alpha < 0) {
            layout.alpha = index;
        }
    }
    layout.pixel_bytes = offset;
    if (layout.red < 0 || layout.green < 0 || layout.blue < 0) {
        return kIffBadPlanes;
    }
    if (layout.compression != 0 && layout.compression != 1 && (layout.compression != 5 || wide)) {
        return kIffBadCompression;
    }
    return kOk;
}

/* decode_deep: rows top to bottom into 24-bit pixels; a row the data does not fill stays
 * black with the rest, and the count of rows made is returned. `raw` holds a row of raw
 * pixels. */
uint32_t decode_deep(const DeepLayout& layout, std::span<const uint8_t> body,
                     std::span<const uint8_t> tvdc, uint8_t* raw, uint8_t* pixels) {
    const size_t row_bytes = size_t{layout.width} * layout.pixel_bytes;
    std::array<int16_t, kTvdcEntries> table{};
    runtime::Cursor deltas(tvdc);
    for (int16_t& entry : table) {
        entry = static_cast<int16_t>(deltas.be16());
    }
    if (layout.compression == 5 && deltas.dry()) {
        return 0; // no table: no pixels
    }
    PixelRuns runs(body, layout.pixel_bytes);
    runtime::Cursor cursor(body);
    for (uint32_t y = 0; y < layout.height; ++y) {
        bool whole = true;
        if (layout.compression == 1) {
            whole = runs.fill(raw, layout.width);
        } else if (layout.compression == 5) {
            std::memset(raw, 0, row_bytes);
            whole = tvdc_row(cursor, layout, table, raw);
        } else {
            const std::span<const uint8_t> row = cursor.take(row_bytes);
            whole = !cursor.dry();
            std::copy(row.begin(), row.end(), raw);
        }
        if (!whole) {
            return y;
        }
        deep_to_rgb(raw, layout, pixels + size_t{y} * layout.width * 3);
    }
    return layout.height;
}

} // namespace ilbm
