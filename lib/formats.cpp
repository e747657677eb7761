// The format table and the few lines each format needs besides its module and its rules
// part: recognition, details, failures in the format's terms, and how save options
// travel in the request.
#include "lib/formats.h"

#include <algorithm>
#include <cctype>

#include "ilbm/ilbm_rules.h"
#include "lib/netpbm_write.h"
#include "lib/png_file.h"
#include "pcx/pcx_rules.h"
#include "ppm/ppm_rules.h"
#include "runtime/cursor.h"
#include "runtime/result_codes.h"
#include "xpm/xpm_rules.h"

namespace host {
namespace {

using orvi::Details;

orvi::Detail text(const char* key, std::string value) {
    return {key, std::move(value), false};
}

orvi::Detail number(const char* key, uint64_t value) {
    return {key, std::to_string(value), true};
}

std::string lower(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

bool starts_with(std::span<const uint8_t> head, std::string_view text) {
    return head.size() >= text.size() &&
           std::equal(text.begin(), text.end(), head.begin(),
                      [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
}

// "the width 0 is outside 1..32767 (code 1003)": the module's words made specific.
std::string with_code(const std::string& words, int32_t code) {
    return words + " (code " + std::to_string(code) + ")";
}

// ---- PNM: the ppm module, with the header rules of ppm_rules.

bool pnm_recognise(std::span<const uint8_t> head) {
    return head.size() >= 2 && head[0] == 'P' && head[1] >= '1' && head[1] <= '7';
}

uint32_t pnm_details(const Page& page, const Picture& picture, const CodecRequest& /*request*/,
                     Details& details) {
    const std::span<const uint8_t> file = page.bytes;
    runtime::Cursor cursor(file);
    if (starts_with(file, "P7")) {
        ppm::PamHeader pam;
        if (ppm::parse_pam_header(cursor, pam) != kOk) {
            return picture.Depth;
        }
        details.push_back(text("kind", "PAM"));
        details.push_back(text("tuple_type", pam.tuple_type));
        details.push_back(number("depth", pam.depth));
        details.push_back(number("maximum", pam.maxval));
        return pam.depth * (pam.maxval > 255 ? 16 : 8);
    }
    ppm::PnmHeader header;
    if (ppm::parse_header(cursor, header) != kOk) {
        return picture.Depth;
    }
    details.push_back(text("kind", ppm::kind_name(header)));
    details.push_back(number("maximum", header.maxval));
    return ppm::file_bits_per_pixel(header);
}

std::string pnm_explain(int32_t code, const Page& page) {
    const std::span<const uint8_t> file = page.bytes;
    runtime::Cursor cursor(file);
    ppm::PnmHeader header;
    if (starts_with(file, "P7")) {
        ppm::PamHeader pam;
        if (ppm::parse_pam_header(cursor, pam) != code) {
            return "";
        }
        header.width = pam.width;
        header.height = pam.height;
        header.maxval = pam.maxval;
        if (code == kPamBadTuple) {
            return with_code("the PAM tuple type '" + std::string(pam.tuple_type) +
                                 "' with depth " + std::to_string(pam.depth) +
                                 " is not one orvi reads",
                             code);
        }
    } else if (ppm::parse_header(cursor, header) != code) {
        return "";
    }
    switch (code) {
    case kPpmBadWidth:
        return with_code("the width " + std::to_string(header.width) + " is outside 1..32767",
                         code);
    case kPpmBadHeight:
        return with_code("the height " + std::to_string(header.height) + " is outside 1..32767",
                         code);
    case kPpmBadMaxval:
        return header.maxval == 0
                   ? ""
                   : with_code("the maximum sample value " + std::to_string(header.maxval) +
                                   " is outside 1..65535",
                               code);
    default:
        return "";
    }
}

// P1 and P4 are bitmaps, P2 and P5 grey, P7 PAM, the others colour.
std::pair<const char*, const char*> pnm_written_as(const Page& page) {
    const uint8_t kind = page.bytes.size() >= 2 ? page.bytes[1] : '6';
    return kind == '1' || kind == '4'   ? std::pair{"pbm", "pbm"}
           : kind == '2' || kind == '5' ? std::pair{"pgm", "pgm"}
           : kind == '7'                ? std::pair{"pam", "pam"}
                                        : std::pair{"ppm", "ppm"};
}

void pnm_pack(const orvi::SaveOptions& options, const IndexedPicture* /*indexed*/,
              CodecRequest& request) {
    request.SaveMode = options.plain ? 0 : 1; // raw samples unless plain
}

// ---- PCX: the pcx module, with the header, stream and palette rules of pcx_rules.

bool pcx_recognise(std::span<const uint8_t> head) {
    return !head.empty() && head[0] == pcx::kManufacturer;
}

uint32_t pcx_details(const Page& page, const Picture& picture, const CodecRequest& /*request*/,
                     Details& details) {
    const std::span<const uint8_t> file = page.bytes;
    if (file.size() < pcx::kHeaderBytes) {
        return picture.Depth;
    }
    const pcx::PCXHeader header = pcx::GetPCXHeader(file.first<pcx::kHeaderBytes>());
    details.push_back(number("version", header.Version));
    details.push_back(number("bits", header.BitsPerPixel));
    details.push_back(number("planes", header.NumPlanes));
    details.push_back(number("colour_type", static_cast<uint32_t>(pcx::colour_type(header))));
    static constexpr const char* kSources[] = {"256-colour trailer", "black and white", "EGA",
                                               "header"};
    // The reader colours a picture of at most 8 bits a pixel through a palette.
    const bool palette_mode = uint32_t{header.BitsPerPixel} * header.NumPlanes <= 8;
    details.push_back(text(
        "palette",
        palette_mode ? kSources[static_cast<size_t>(pcx::loaded_palette_source(file))] : "none"));
    return uint32_t{header.BitsPerPixel} * header.NumPlanes;
}

std::string pcx_explain(int32_t code, const Page& page) {
    const std::span<const uint8_t> file = page.bytes;
    if (file.size() < pcx::kHeaderBytes) {
        return "";
    }
    const pcx::PCXHeader header = pcx::GetPCXHeader(file.first<pcx::kHeaderBytes>());
    switch (code) {
    case kPcxBadEncoding:
        return with_code("unknown PCX encoding " + std::to_string(header.Encoding), code);
    case kPcxBadBitsPerPixel:
        return with_code("PCX bits per pixel are " + std::to_string(header.BitsPerPixel) +
                             ", not 1, 2, 4 or 8",
                         code);
    case kPcxBadPlanes:
        return with_code(std::to_string(header.NumPlanes) + " colour planes of " +
                             std::to_string(header.BitsPerPixel) +
                             " bits, which orvi does not read",
                         code);
    default:
        return "";
    }
}

void pcx_pack(const orvi::SaveOptions& /*options*/, const IndexedPicture* indexed,
              CodecRequest& request) {
    // The PCX writer takes its IndexedPicture in SaveMode; none means true colour.
    request.SaveMode = reinterpret_cast<uintptr_t>(indexed);
}

// ---- ILBM: the ilbm module, with the BMHD and chunk rules of ilbm_rules.

bool ilbm_recognise(std::span<const uint8_t> head) {
    const ilbm::IffKind kind = ilbm::iff_kind(head);
    if (kind.container == platform::ID_FORM) {
        return ilbm::is_picture_form(kind.type);
    }
    // A LIST or CAT: by the picture FORM inside (its type may be blank).
    if (kind.container == 0) {
        return false;
    }
    const ilbm::IlbmChunks inside = ilbm::walk_chunks(head);
    return ilbm::is_picture_form(kind.type) || inside.has_bmhd || inside.has_body;
}

std::string four_characters(uint32_t id) {
    std::string shown;
    for (const uint32_t shift : {24U, 16U, 8U, 0U}) {
        const auto c = static_cast<char>((id >> shift) & 0xFFU);
        shown += std::isprint(static_cast<unsigned char>(c)) != 0 ? c : '?';
    }
    return shown;
}

std::string ilbm_refusal(std::span<const uint8_t> head) {
    const ilbm::IffKind kind = ilbm::iff_kind(head);
    if (kind.container == 0 || ilbm::is_picture_form(kind.type)) {
        return "";
    }
    return "it is an IFF " + four_characters(kind.container) + " of type " +
           four_characters(kind.type) + ", which orvi does not read";
}

uint32_t ilbm_details(const Page& page, const Picture& picture, const CodecRequest& request,
                      Details& details) {
    const uint32_t mode = request.DisplayMode;
    details.push_back(text("display_mode", mode == ilbm::kModeHalfBrite ? "extra half-brite"
                                           : mode == ilbm::kModeHam6    ? "HAM6"
                                           : mode == ilbm::kModeHam8    ? "HAM8"
                                                                        : "plain"));
    const ilbm::IlbmChunks chunks = ilbm::walk_chunks(page.bytes, page.props);
    if (chunks.form != 0 && chunks.form != ilbm::ID_ILBM) {
        std::string form = four_characters(chunks.form);
        form.erase(form.find_last_not_of(' ') + 1); // "PBM " is PBM
        details.push_back(text("form", form));
    }
    if (chunks.has_bmhd) {
        details.push_back(number("planes", chunks.bmhd.planes));
        details.push_back(number("compression", chunks.bmhd.compression));
        details.push_back(number("masking", chunks.bmhd.masking));
    }
    return picture.Depth;
}

// A DEEP picture's failure in its own terms: its DGBL, DPEL and compression.
std::string deep_explain(int32_t code, const ilbm::IlbmChunks& chunks) {
    switch (code) {
    case kIffNoBmhd:
        return with_code("the DEEP picture has no DGBL chunk giving its size", code);
    case kIffBadPlanes:
        return with_code("the DEEP picture's DPEL does not give red, green and blue elements of "
                         "8 or 16 bits each (at most 8 elements), which orvi needs",
                         code);
    case kIffBadCompression: {
        runtime::Cursor dgbl(chunks.dgbl);
        dgbl.skip(4);
        return with_code("unknown DEEP compression " + std::to_string(dgbl.be16()) +
                             " (orvi reads 0, 1, and 5 with 8-bit elements)",
                         code);
    }
    default:
        return "";
    }
}

std::string ilbm_explain(int32_t code, const Page& page) {
    const ilbm::IlbmChunks chunks = ilbm::walk_chunks(page.bytes, page.props);
    if (ilbm::is_deep_form(chunks.form)) {
        return deep_explain(code, chunks);
    }
    if (!chunks.has_bmhd) {
        return "";
    }
    switch (code) {
    case kIffBadCompression:
        return with_code(
            "unknown BMHD compression method " + std::to_string(chunks.bmhd.compression), code);
    case kIffBadPlanes:
        return with_code(
            std::to_string(chunks.bmhd.planes) +
                " bit planes, which orvi does not read (it reads 1 to 8, 24, 32 and 48)",
            code);
    default:
        return "";
    }
}

// Deluxe Paint's chunky FORM PBM is written as such, every other picture FORM as ILBM.
std::pair<const char*, const char*> ilbm_written_as(const Page& page) {
    return ilbm::walk_chunks(page.bytes, page.props).form == ilbm::ID_PBM
               ? std::pair{"iff-pbm", "lbm"}
               : std::pair{"ilbm", "iff"};
}

// A DCX page is a PCX file.
std::pair<const char*, const char*> dcx_written_as(const Page& /*page*/) {
    return {"pcx", "pcx"};
}

void ilbm_pack(const orvi::SaveOptions& options, const IndexedPicture* indexed,
               CodecRequest& request) {
    request.SaveMode = options.compress ? 1 : 0; // the BMHD compression byte
    request.IndexedPic = const_cast<IndexedPicture*>(indexed);
}

void chunky_pack(const orvi::SaveOptions& options, const IndexedPicture* indexed,
                 CodecRequest& request) {
    ilbm_pack(options, indexed, request);
    request.SaveMode |= ilbm::kSaveChunky;
}

// ---- XPM: the xpm module, with the scanner and values of xpm_rules.

bool xpm_recognise(std::span<const uint8_t> head) {
    return xpm::file_values(head).has_value();
}

uint32_t xpm_details(const Page& page, const Picture& picture, const CodecRequest& /*request*/,
                     Details& details) {
    const auto values = xpm::file_values(page.bytes);
    if (!values) {
        return picture.Depth;
    }
    details.push_back(number("colours", static_cast<uint32_t>(values->colours)));
    details.push_back(number("characters_per_pixel", static_cast<uint32_t>(values->cpp)));
    return 8 * static_cast<uint32_t>(values->cpp); // a pixel is that many characters
}

void xpm_pack(const orvi::SaveOptions& options, const IndexedPicture* indexed,
              CodecRequest& request) {
    request.SaveMode = options.names ? xpm::kSaveNames : 0;
    request.IndexedPic = const_cast<IndexedPicture*>(indexed); // none: the picture's colours
}

std::string xpm_explain(int32_t code, const Page& page) {
    const auto values = xpm::file_values(page.bytes);
    if (!values) {
        return "";
    }
    switch (code) {
    case kXpmBadCharsPerPixel:
        return with_code(
            "XPM characters per pixel " + std::to_string(values->cpp) + " outside 1..5", code);
    case kXpmBadColours:
        return with_code(
            "XPM number of colours " + std::to_string(values->colours) + " outside 1..32766", code);
    case kXpmBadWidth:
        return with_code("XPM width " + std::to_string(values->width) + " outside 1..32767", code);
    case kXpmBadHeight:
        return with_code("XPM height " + std::to_string(values->height) + " outside 1..32767",
                         code);
    default:
        return "";
    }
}

// ---- PNG: libpng, through the library's own reader and writer.

constexpr std::string_view kPngSignature("\x89PNG\r\n\x1a\n", 8);

bool png_recognise(std::span<const uint8_t> head) {
    return starts_with(head, kPngSignature);
}

uint32_t png_details(const Page& page, const Picture& picture, const CodecRequest& /*request*/,
                     Details& details) {
    const std::span<const uint8_t> file = page.bytes;
    // The IHDR chunk follows the eight-byte signature: length, type, then its fields.
    if (file.size() >= 29) {
        details.push_back(number("bit_depth", file[24]));
        details.push_back(text("colour_type", png_colour_type_name(file[25])));
        details.push_back(text("interlaced", file[28] != 0 ? "yes" : "no"));
    }
    return picture.Depth;
}

int32_t png_load(HostPool& pool, std::span<const uint8_t> file, Picture& picture,
                 std::vector<std::string>& notes, OrviGaugeRoutine gauge, std::string& error) {
    PngHeader header;
    int32_t code = kOk;
    if (load_png(pool, file, picture, header, gauge, error, &code) && header.transparency) {
        notes.emplace_back("transparent pixels are shown on black");
    }
    return code;
}

int32_t png_save(HostPool& pool, const char* path, const Picture& picture,
                 const IndexedImage* indexed, const orvi::SaveOptions& /*options*/,
                 OrviGaugeRoutine gauge, std::string& error) {
    bool out_of_memory = false;
    if (save_png(pool, path, picture, gauge, error, indexed, &out_of_memory)) {
        return kOk;
    }
    return out_of_memory ? kOutOfMemory : orvi::kCannotWrite;
}

constexpr uint32_t depths(std::initializer_list<uint32_t> list) {
    uint32_t mask = 0;
    for (const uint32_t depth : list) {
        mask |= 1U << depth;
    }
    return mask;
}

constexpr uint32_t kOneToEight = depths({1, 2, 3, 4, 5, 6, 7, 8});

constexpr std::array kFormats = {
    FormatEntry{.name = "PNM",
                .extensions = {"ppm", "pgm", "pnm", nullptr},
                .grey_extension = "pgm",
                .module = "ppm",
                .reads = true,
                .writes = true,
                .most_side = 32767,
                .side_is_writers = true,
                .palette_depths = 0,
                .two_colours_shown_black_and_white = false,
                .recognise = pnm_recognise,
                .refusal = nullptr,
                .details = pnm_details,
                .explain = pnm_explain,
                .pack = pnm_pack,
                .load = nullptr,
                .save = nullptr,
                .pages = nullptr,
                .plain = true,
                .written_as = pnm_written_as},
    FormatEntry{.name = "PCX",
                .extensions = {"pcx", nullptr, nullptr, nullptr},
                .grey_extension = nullptr,
                .module = "pcx",
                .reads = true,
                .writes = true,
                .most_side = 65535,
                .side_is_writers = false,
                .palette_depths = depths({1, 2, 4, 8}),
                .two_colours_shown_black_and_white = true,
                .recognise = pcx_recognise,
                .refusal = nullptr,
                .details = pcx_details,
                .explain = pcx_explain,
                .pack = pcx_pack,
                .load = nullptr,
                .save = nullptr,
                .pages = nullptr},
    FormatEntry{.name = "ILBM",
                .extensions = {"iff", "ilbm", "lbm", nullptr},
                .grey_extension = nullptr,
                .module = "ilbm",
                .reads = true,
                .writes = true,
                .most_side = 65535,
                .side_is_writers = false,
                .palette_depths = kOneToEight,
                .two_colours_shown_black_and_white = false,
                .recognise = ilbm_recognise,
                .refusal = ilbm_refusal,
                .details = ilbm_details,
                .explain = ilbm_explain,
                .pack = ilbm_pack,
                .load = nullptr,
                .save = nullptr,
                .pages = iff_pages,
                .written_as = ilbm_written_as},
    FormatEntry{.name = "XPM",
                .extensions = {"xpm", nullptr, nullptr, nullptr},
                .grey_extension = nullptr,
                .module = "xpm",
                .reads = true,
                .writes = true,
                .most_side = 32767,
                .side_is_writers = false,
                .palette_depths = kOneToEight,
                .two_colours_shown_black_and_white = false,
                .recognise = xpm_recognise,
                .refusal = nullptr,
                .details = xpm_details,
                .explain = xpm_explain,
                .pack = xpm_pack,
                .load = nullptr,
                .save = nullptr,
                .pages = nullptr},
    FormatEntry{.name = "PNG",
                .extensions = {"png", nullptr, nullptr, nullptr},
                .grey_extension = nullptr,
                .module = nullptr,
                .reads = true,
                .writes = true,
                .most_side = 0x7FFFFFFF,
                .side_is_writers = false,
                .palette_depths = kOneToEight,
                .two_colours_shown_black_and_white = false,
                .recognise = png_recognise,
                .refusal = nullptr,
                .details = png_details,
                .explain = nullptr,
                .pack = nullptr,
                .load = png_load,
                .save = png_save,
                .pages = nullptr},
    // Two portable formats the ppm module does not write; PNM reads them (PAM) or their
    // plain kind (PBM is PNM's P1 and P4).
    FormatEntry{.name = "PAM",
                .extensions = {"pam", nullptr, nullptr, nullptr},
                .grey_extension = nullptr,
                .module = nullptr,
                .reads = false,
                .writes = true,
                .most_side = 32767,
                .side_is_writers = false,
                .palette_depths = 0,
                .two_colours_shown_black_and_white = false,
                .recognise = nullptr,
                .refusal = nullptr,
                .details = nullptr,
                .explain = nullptr,
                .pack = nullptr,
                .load = nullptr,
                .save = pam_save,
                .pages = nullptr},
    FormatEntry{.name = "PBM",
                .extensions = {"pbm", nullptr, nullptr, nullptr},
                .grey_extension = "pbm",
                .module = nullptr,
                .reads = false,
                .writes = true,
                .most_side = 32767,
                .side_is_writers = false,
                .palette_depths = 0,
                .two_colours_shown_black_and_white = false,
                .recognise = nullptr,
                .refusal = nullptr,
                .details = nullptr,
                .explain = nullptr,
                .pack = nullptr,
                .load = nullptr,
                .save = pbm_save,
                .pages = nullptr,
                .bitmap = true,
                .plain = true},
    // PCX pages behind a table of offsets, each read by the pcx module as a file of its own.
    FormatEntry{.name = "DCX",
                .extensions = {"dcx", nullptr, nullptr, nullptr},
                .grey_extension = nullptr,
                .module = "pcx",
                .reads = true,
                .writes = false,
                .most_side = 0,
                .side_is_writers = false,
                .palette_depths = 0,
                .two_colours_shown_black_and_white = false,
                .recognise = is_dcx,
                .refusal = nullptr,
                .details = pcx_details,
                .explain = pcx_explain,
                .pack = nullptr,
                .load = nullptr,
                .save = nullptr,
                .pages = dcx_pages,
                .written_as = dcx_written_as},
    // The chunky FORM PBM of Deluxe Paint on the PC, written by the ilbm module and read
    // as ILBM. It is asked for by name: .lbm files stay ILBM, as they always were.
    FormatEntry{.name = "IFF-PBM",
                .extensions = {nullptr, nullptr, nullptr, nullptr},
                .grey_extension = nullptr,
                .module = "ilbm",
                .reads = false,
                .writes = true,
                .most_side = 65535,
                .side_is_writers = false,
                .palette_depths = kOneToEight,
                .two_colours_shown_black_and_white = false,
                .recognise = nullptr,
                .refusal = nullptr,
                .details = nullptr,
                .explain = nullptr,
                .pack = chunky_pack,
                .load = nullptr,
                .save = nullptr,
                .pages = nullptr,
                .palette_only = true,
                .file_extension = "lbm"},
};

// The formats that read, in the order tried for a file: ILBM's, PNG's and DCX's
// signatures are the most specific.
constexpr std::array<size_t, 6> kRecognitionOrder = {2, 4, 7, 0, 1, 3};

} // namespace

std::span<const FormatEntry> format_table() {
    return kFormats;
}

const FormatEntry* recognise_format(std::span<const uint8_t> head, std::string& why) {
    for (const size_t index : kRecognitionOrder) {
        if (kFormats[index].recognise(head)) {
            return &kFormats[index];
        }
    }
    for (const FormatEntry& format : kFormats) {
        if (format.refusal != nullptr) {
            if (std::string refusal = format.refusal(head); !refusal.empty()) {
                why = refusal;
                return nullptr;
            }
        }
    }
    why = head.empty() ? "it is empty"
                       : "it is in no format orvi reads (" + read_format_names() + ")";
    return nullptr;
}

const FormatEntry* written_format(std::string_view name) {
    const std::string wanted = lower(name);
    for (const FormatEntry& format : kFormats) {
        if (!format.writes) {
            continue;
        }
        if (lower(format.name) == wanted) {
            return &format;
        }
        for (const char* extension : format.extensions) {
            if (extension != nullptr && wanted == extension) {
                return &format;
            }
        }
    }
    return nullptr;
}

const FormatEntry* format_for_path(std::string_view path) {
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
        return nullptr;
    }
    return written_format(path.substr(dot + 1));
}

bool grey_output(const FormatEntry& format, std::string_view name, std::string_view path) {
    if (format.grey_extension == nullptr) {
        return false;
    }
    if (!name.empty()) {
        return lower(name) == format.grey_extension;
    }
    const size_t dot = path.rfind('.');
    return dot != std::string_view::npos && lower(path.substr(dot + 1)) == format.grey_extension;
}

orvi::Image::Kind written_kind(const FormatEntry& format, const Page& file) {
    if (format.written_as != nullptr) {
        const auto [name, extension] = format.written_as(file);
        return {name, extension};
    }
    if (!format.writes || format.extensions[0] == nullptr) {
        return {};
    }
    return {lower(format.name), format.extensions[0]};
}

orvi::FormatInfo format_info(const FormatEntry& format) {
    orvi::FormatInfo info;
    info.name = format.name;
    for (const char* extension : format.extensions) {
        if (extension != nullptr) {
            info.extensions.emplace_back(extension);
        }
    }
    info.reads = format.reads;
    info.writes = format.writes;
    info.most_side = format.writes ? format.most_side : 0;
    info.true_colour = format.writes && !format.palette_only;
    info.bitmap = format.bitmap;
    info.plain = format.plain;
    info.grey_extension = format.grey_extension != nullptr ? format.grey_extension : "";
    info.file_extension = format.file_extension != nullptr  ? format.file_extension
                          : format.extensions[0] != nullptr ? format.extensions[0]
                                                            : "";
    for (uint32_t depth = 1; depth <= 8; ++depth) {
        if ((format.palette_depths & (1U << depth)) != 0) {
            info.palette_depths.push_back(depth);
        }
    }
    return info;
}

std::string written_extensions() {
    std::string list;
    for (const FormatEntry& format : kFormats) {
        for (const char* extension : format.extensions) {
            if (format.writes && extension != nullptr) {
                list += (list.empty() ? "." : ", .") + std::string(extension);
            }
        }
    }
    return list;
}

std::string read_format_names() {
    std::string list;
    for (const FormatEntry& format : kFormats) {
        if (format.reads) {
            list += (list.empty() ? "" : ", ") + std::string(format.name);
        }
    }
    return list;
}

} // namespace host
