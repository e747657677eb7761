// The BMHD fields, display modes and the walk that finds the reader's chunks. Pure:
// reads only the bytes it is given.
#include <algorithm>
#include <array>

#include "ilbm/ilbm_rules.h"

namespace ilbm {
namespace {

constexpr uint32_t kCamgHam = 0x800;
constexpr uint32_t kCamgHalfBrite = 0x80;
constexpr size_t kDepth = 16; // nested containers, as the reader's walk allows

uint32_t be32(std::span<const uint8_t> bytes, size_t at) {
    return (uint32_t{bytes[at]} << 24U) | (uint32_t{bytes[at + 1]} << 16U) |
           (uint32_t{bytes[at + 2]} << 8U) | bytes[at + 3];
}

bool is_container(uint32_t id) {
    return id == platform::ID_FORM || id == platform::ID_LIST || id == platform::ID_CAT ||
           id == platform::ID_PROP;
}

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

/* walk_chunks: the outer container's size is cut to the file; inside, each chunk is an
 * id, a big-endian size and its data, padded to even length; a container holds a type
 * and chunks. Properties are kept per FORM (or PROP) and forgotten when it ends; the
 * first pixel chunk in a picture FORM ends the walk. A BMHD shorter than 20 bytes reads its
 * missing bytes as 0, as the reader does. */
IlbmChunks walk_chunks(std::span<const uint8_t> file) {
    IlbmChunks found;
    if (file.size() < 12 || !is_container(be32(file, 0)) || be32(file, 0) == platform::ID_PROP) {
        return found;
    }
    struct Container {
        uint32_t id;
        uint32_t type;
        size_t end;
    };
    std::array<Container, kDepth> stack{};
    size_t depth = 1;
    stack[0] = {be32(file, 0), be32(file, 8),
                std::min<size_t>(8 + size_t{be32(file, 4)}, file.size())};
    size_t at = 12;
    IlbmChunks scope;
    while (depth > 0) {
        const Container& top = stack[depth - 1];
        if (at + 8 > top.end) {
            if (top.id == platform::ID_FORM || top.id == platform::ID_PROP) {
                scope = IlbmChunks{};
            }
            at = top.end;
            --depth;
            continue;
        }
        const uint32_t id = be32(file, at);
        const size_t size = be32(file, at + 4);
        const size_t data = at + 8;
        if (size > 0x7FFFFFFF || data + size > top.end) {
            return found; // mangled: the reader stops here too
        }
        if (is_container(id)) {
            if (size < 4 || depth == kDepth) {
                return found;
            }
            stack[depth++] = {id, be32(file, data), data + size};
            at = data + 4;
            continue;
        }
        const bool ilbm_scope = (top.id == platform::ID_FORM || top.id == platform::ID_PROP) &&
                                is_picture_form(top.type);
        const std::span<const uint8_t> bytes = file.subspan(data, size);
        if (ilbm_scope && id == pixel_chunk(top.type)) {
            scope.has_body = true;
            scope.form = top.type;
            return scope;
        }
        if (ilbm_scope && id == ID_BMHD) {
            std::array<uint8_t, kBmhdBytes> raw{};
            std::copy_n(bytes.begin(), std::min(bytes.size(), kBmhdBytes), raw.begin());
            scope.bmhd = parse_bmhd(raw);
            scope.has_bmhd = true;
        } else if (ilbm_scope && id == ID_CAMG) {
            scope.camg = bytes;
        } else if (ilbm_scope && id == ID_CMAP) {
            scope.cmap = bytes;
        }
        at = std::min(data + size + (size & 1U), top.end);
    }
    return found;
}

IffKind iff_kind(std::span<const uint8_t> head) {
    if (head.size() < 12) {
        return {};
    }
    const uint32_t id = be32(head, 0);
    if (id != platform::ID_FORM && id != platform::ID_LIST && id != platform::ID_CAT) {
        return {};
    }
    return {id, be32(head, 8)};
}

} // namespace ilbm
