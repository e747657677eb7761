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
    runtime::Cursor cursor(raw);
    Bmhd bmhd{};
    bmhd.width = cursor.be16();
    bmhd.height = cursor.be16();
    cursor.skip(4); // the position
    bmhd.planes = cursor.next();
    bmhd.masking = cursor.next();
    bmhd.compression = cursor.next();
    (void)cursor.next(); // pad
    bmhd.transparent = cursor.be16();
    return bmhd;
}

/* display_mode: 6 planes: HAM with the CAMG's 0x800, extra half-brite with its 0x80, a
 * palette picture with neither; without a CAMG, HAM when the CMAP has at most the 16
 * entries HAM6 uses (more mean a 64-colour picture, as today's writers leave CAMG out).
 * 8 planes with 0x800: HAM8. Anything else: a plain picture. */
uint32_t display_mode(uint32_t planes, const uint8_t* camg, size_t cmap_entries) {
    const uint32_t flags = camg == nullptr ? 0 : runtime::Cursor(camg, camg + 4).be32();
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
