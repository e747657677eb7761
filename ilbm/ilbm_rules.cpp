// The BMHD fields, display modes and the kind of an IFF file. Pure: reads only the bytes
// it is given.
#include <algorithm>
#include <array>

#include "ilbm/ilbm_rules.h"
#include "runtime/cursor.h"

namespace ilbm {
namespace {

constexpr uint32_t kCamgHam = 0x800;
constexpr uint32_t kCamgHalfBrite = 0x80;

} // namespace

Bmhd parse_bmhd(std::span<const uint8_t, kBmhdBytes> raw) {
    return {static_cast<uint16_t>((raw[0] << 8U) | raw[1]),
            static_cast<uint16_t>((raw[2] << 8U) | raw[3]),
            raw[8],
            raw[9],
            raw[10],
            static_cast<uint16_t>((raw[12] << 8U) | raw[13])};
}

/* display_mode: 6 planes: HAM with the CAMG's 0x800, extra half-brite with its 0x80, a
 * palette picture with neither; without a CAMG, HAM when the CMAP has at most the 16
 * entries HAM6 uses (more mean a 64-colour picture, as today's writers leave CAMG out).
 * 8 planes with 0x800: HAM8. Anything else: a plain picture. */
uint32_t display_mode(uint32_t planes, const uint8_t* camg, size_t cmap_entries) {
    const uint32_t flags = camg == nullptr
                               ? 0
                               : (uint32_t{camg[0]} << 24U) | (uint32_t{camg[1]} << 16U) |
                                     (uint32_t{camg[2]} << 8U) | camg[3];
    if (planes == 6) {
        if (camg == nullptr) {
            return cmap_entries <= 16 ? kModeHam6 : kModePlain;
        }
        if ((flags & kCamgHam) != 0) {
            return kModeHam6;
        }
        return (flags & kCamgHalfBrite) != 0 ? kModeHalfBrite : kModePlain;
    }
    return planes == 8 && (flags & kCamgHam) != 0 ? kModeHam8 : kModePlain;
}

IffKind iff_kind(std::span<const uint8_t> head) {
    runtime::Cursor cursor(head);
    const uint32_t id = cursor.be32();
    (void)cursor.be32(); // the size
    const uint32_t type = cursor.be32();
    if (cursor.dry() ||
        (id != platform::ID_FORM && id != platform::ID_LIST && id != platform::ID_CAT)) {
        return {};
    }
    return {id, type};
}

} // namespace ilbm
