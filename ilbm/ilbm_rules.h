// The rules of IFF ILBM that more than the reader needs: chunk ids, the BMHD, display
// modes, and a walk that finds the chunks the reader uses in a file held in memory.
// Pure: no globals, no I/O, no platform calls. Linked by the ilbm module and by the
// library, so that `orvi info` reports what the reader decided.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/iff_walk.h"
#include "platform/iffparse.h"

namespace ilbm {

inline constexpr uint32_t ID_ILBM = platform::MAKE_ID('I', 'L', 'B', 'M');
inline constexpr uint32_t ID_BMHD = platform::MAKE_ID('B', 'M', 'H', 'D');
inline constexpr uint32_t ID_CMAP = platform::MAKE_ID('C', 'M', 'A', 'P');
inline constexpr uint32_t ID_CAMG = platform::MAKE_ID('C', 'A', 'M', 'G');
inline constexpr uint32_t ID_BODY = platform::MAKE_ID('B', 'O', 'D', 'Y');
// Palettes that change from line to line.
inline constexpr uint32_t ID_PCHG = platform::MAKE_ID('P', 'C', 'H', 'G');
inline constexpr uint32_t ID_SHAM = platform::MAKE_ID('S', 'H', 'A', 'M');
inline constexpr uint32_t ID_CTBL = platform::MAKE_ID('C', 'T', 'B', 'L');
// The other picture FORMs of the family: chunky (Deluxe Paint on the PC), contiguous
// planes (their data in ABIT), and Impulse's run-length true colour.
inline constexpr uint32_t ID_ANIM = platform::MAKE_ID('A', 'N', 'I', 'M');
inline constexpr uint32_t ID_ANHD = platform::MAKE_ID('A', 'N', 'H', 'D');
inline constexpr uint32_t ID_DLTA = platform::MAKE_ID('D', 'L', 'T', 'A');
inline constexpr uint32_t ID_PBM = platform::MAKE_ID('P', 'B', 'M', ' ');
inline constexpr uint32_t ID_ACBM = platform::MAKE_ID('A', 'C', 'B', 'M');
inline constexpr uint32_t ID_ABIT = platform::MAKE_ID('A', 'B', 'I', 'T');
inline constexpr uint32_t ID_RGBN = platform::MAKE_ID('R', 'G', 'B', 'N');
inline constexpr uint32_t ID_RGB8 = platform::MAKE_ID('R', 'G', 'B', '8');
// TVPaint's deep pixels (TVPP is the same form under another name).
inline constexpr uint32_t ID_DEEP = platform::MAKE_ID('D', 'E', 'E', 'P');
inline constexpr uint32_t ID_TVPP = platform::MAKE_ID('T', 'V', 'P', 'P');
inline constexpr uint32_t ID_DGBL = platform::MAKE_ID('D', 'G', 'B', 'L');
inline constexpr uint32_t ID_DPEL = platform::MAKE_ID('D', 'P', 'E', 'L');
inline constexpr uint32_t ID_DLOC = platform::MAKE_ID('D', 'L', 'O', 'C');
inline constexpr uint32_t ID_DBOD = platform::MAKE_ID('D', 'B', 'O', 'D');
inline constexpr uint32_t ID_TVDC = platform::MAKE_ID('T', 'V', 'D', 'C');
inline constexpr std::array<uint32_t, 7> kPictureForms = {ID_ILBM, ID_PBM,  ID_ACBM, ID_RGBN,
                                                          ID_RGB8, ID_DEEP, ID_TVPP};

[[nodiscard]] constexpr bool is_deep_form(uint32_t type) {
    return type == ID_DEEP || type == ID_TVPP;
}

// Whether a FORM of this type holds a picture orvi reads.
[[nodiscard]] constexpr bool is_picture_form(uint32_t type) {
    return std::find(kPictureForms.begin(), kPictureForms.end(), type) != kPictureForms.end();
}

// The chunk holding a picture FORM's pixels: ABIT for ACBM, DBOD for DEEP, BODY for the
// others.
[[nodiscard]] constexpr uint32_t pixel_chunk(uint32_t type) {
    return type == ID_ACBM ? ID_ABIT : is_deep_form(type) ? ID_DBOD : ID_BODY;
}
inline constexpr size_t kBmhdBytes = 20;

// A save request's SaveMode: the BMHD compression byte in the low byte, and this bit for
// a chunky FORM PBM (a byte a pixel) instead of bit planes.
inline constexpr uintptr_t kSaveChunky = 0x100;

inline constexpr uint32_t kModePlain = 0;
inline constexpr uint32_t kModeHalfBrite = 0x80;
inline constexpr uint32_t kModeHam6 = 0x800;
inline constexpr uint32_t kModeHam8 = 0x801;

struct Bmhd {
    uint16_t width;
    uint16_t height;
    uint8_t planes;
    uint8_t masking;
    uint8_t compression;
    uint16_t transparent;
};

// The fields of a 20-byte BMHD record.
[[nodiscard]] Bmhd parse_bmhd(std::span<const uint8_t, kBmhdBytes> raw);

// The bytes of one plane row: the width in whole 16-bit words.
[[nodiscard]] constexpr size_t row_bytes(uint32_t width) {
    return 2 * ((size_t{width} + 15) / 16);
}

// The display mode of a picture of `planes` planes: the CAMG flags when there is one;
// without one, 6 planes are hold-and-modify when the CMAP has at most 16 entries.
[[nodiscard]] uint32_t display_mode(uint32_t planes, const uint8_t* camg, size_t cmap_entries);

// The IFF walk (the reader's, platform::IffWalker) over a file held in memory.
class IffWalk : public platform::IffWalker {
public:
    explicit IffWalk(std::span<const uint8_t> file, Outer outer = Outer::own_size);
    // Whether the walk goes on after `step`.
    [[nodiscard]] static bool goes_on(Step step) {
        return step == Step::enter || step == Step::chunk || step == Step::leave;
    }
    // Of the step just taken: its data (a chunk's, or a container's chunks after its
    // type), and its whole bytes from the id on, with the pad byte where the file has it.
    [[nodiscard]] std::span<const uint8_t> data() const {
        return file_.subspan(static_cast<size_t>(data_at()), static_cast<size_t>(data_size()));
    }
    [[nodiscard]] std::span<const uint8_t> whole() const;

private:
    std::span<const uint8_t> file_;
};

// The chunks the reader uses, as a walk of the file finds them: the properties of the
// picture FORM in which the first pixel chunk stands (the last of each id before it, the
// FORM's own over those of the PROPs of its LIST).
struct IlbmChunks {
    uint32_t form = 0; // the FORM's type
    bool has_body = false;
    bool has_bmhd = false;
    Bmhd bmhd{};
    std::span<const uint8_t> camg;
    std::span<const uint8_t> cmap;
    std::span<const uint8_t> dgbl; // a DEEP picture's size and compression
};

// Walks `file` as the reader's IFF walk does, after the PROP chunks `props` of a LIST
// around it; a chunk that runs past its container ends the walk.
[[nodiscard]] IlbmChunks walk_chunks(std::span<const uint8_t> file,
                                     std::span<const std::span<const uint8_t>> props = {});

// The picture FORMs of a LIST or CAT, in file order, each with the PROP chunks of the
// LISTs around it (at most kMostProps, the outer ones first). The outer container runs to
// the end of the file; a FORM file has none.
class IffPages {
public:
    static constexpr size_t kMostProps = 16;
    explicit IffPages(std::span<const uint8_t> file);
    // Goes to the next picture FORM; false when there is none.
    bool next();
    [[nodiscard]] std::span<const uint8_t> form() const { return form_; }
    [[nodiscard]] std::span<const std::span<const uint8_t>> props() const {
        return {props_.data(), prop_count_};
    }
    // The type of the innermost LIST around the FORM (0 when there is none).
    [[nodiscard]] uint32_t list_type() const { return list_type_; }

private:
    IffWalk walk_;
    bool outer_form_;
    std::span<const uint8_t> form_;
    std::array<std::span<const uint8_t>, kMostProps> props_{};
    std::array<size_t, kMostProps> prop_depths_{};
    size_t prop_count_ = 0;
    std::array<uint32_t, IffWalk::kMostDepth> list_types_{};
    uint32_t list_type_ = 0;
};

// The id of an IFF file's outer container and its type, when `head` starts with one.
struct IffKind {
    uint32_t container = 0; // FORM, LIST or CAT
    uint32_t type = 0;
};
[[nodiscard]] IffKind iff_kind(std::span<const uint8_t> head);

} // namespace ilbm
