// The details `orvi info` prints, read from the first bytes of each file.
#include "host/details.h"

#include <cstdio>
#include <optional>

#include "host/jobs.h"
#include "host/names.h"
#include "host/png_file.h"
#include "pcx/pcx_format.h"
#include "ppm/ppm_format.h"
#include "runtime/cursor.h"
#include "runtime/result_codes.h"

namespace host {
namespace {

Detail text(const char* key, std::string value) {
    return {key, std::move(value), false};
}

Detail number(const char* key, uint64_t value) {
    return {key, std::to_string(value), true};
}

void add_ilbm(Details& details, std::span<const uint8_t> head, uint32_t mode) {
    const char* name = mode == 0x80    ? "extra half-brite"
                       : mode == 0x800 ? "HAM6"
                       : mode == 0x801 ? "HAM8"
                                       : "plain";
    details.push_back(text("display_mode", name));
    const std::string_view bytes(reinterpret_cast<const char*>(head.data()), head.size());
    const size_t at = bytes.find("BMHD");
    if (at != std::string_view::npos && at + 8 + 11 <= head.size()) {
        const uint8_t* bmhd = head.data() + at + 8;
        details.push_back(number("planes", bmhd[8]));
        details.push_back(number("compression", bmhd[10]));
        details.push_back(number("masking", bmhd[9]));
    }
}

// Whether the 769 bytes at the end of the file are a 256-colour palette.
bool pcx_trailer_at_end(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    const bool found = std::fseek(file, -769, SEEK_END) == 0 && std::fgetc(file) == 12;
    std::fclose(file);
    return found;
}

void add_pcx(Details& details, std::span<const uint8_t> head, const std::string& path) {
    if (head.size() < pcx::kHeaderBytes) {
        return;
    }
    const pcx::PCXHeader header = pcx::GetPCXHeader(head.first<pcx::kHeaderBytes>());
    const pcx::ColourType type = pcx::colour_type(header);
    details.push_back(number("version", header.Version));
    details.push_back(number("bits", header.BitsPerPixel));
    details.push_back(number("planes", header.NumPlanes));
    details.push_back(number("colour_type", static_cast<uint32_t>(type)));
    static constexpr const char* kSources[] = {"256-colour trailer", "black and white", "EGA",
                                               "header"};
    const char* palette =
        type == pcx::ColourType::TrueColour
            ? "none"
            : kSources[static_cast<size_t>(pcx::palette_source(
                  header, type, type == pcx::ColourType::TwoFiftySix && pcx_trailer_at_end(path)))];
    details.push_back(text("palette", palette));
}

// The kind and maximum of a PNM header, read by the ppm module's own header rule.
void add_pnm(Details& details, std::span<const uint8_t> head) {
    static constexpr const char* kKinds[] = {"PBM plain", "PGM plain", "PPM plain",
                                             "PBM raw",   "PGM raw",   "PPM raw"};
    runtime::Cursor cursor(head);
    ppm::PnmHeader header;
    if (ppm::parse_header(cursor, header) != kOk) {
        return;
    }
    details.push_back(text("kind", kKinds[header.digit - '1']));
    details.push_back(number("maximum", header.maxval));
}

void add_png(Details& details, std::span<const uint8_t> head) {
    // The IHDR chunk follows the eight-byte signature: length, type, then its fields.
    if (head.size() < 29) {
        return;
    }
    details.push_back(number("bit_depth", head[24]));
    details.push_back(text("colour_type", png_colour_type_name(head[25])));
    details.push_back(text("interlaced", head[28] != 0 ? "yes" : "no"));
}

} // namespace

Details file_details(const std::string& path, Format format, const Picture& picture,
                     const CodecRequest& request) {
    Details details{text("format", format_info(format).name),
                    number("width", static_cast<uint32_t>(picture.Width)),
                    number("height", static_cast<uint32_t>(picture.Height)),
                    number("bits_per_pixel", picture.Depth)};
    std::string ignored;
    // An XPM's values string may follow a long comment.
    const auto head = read_head(path, ignored, format == Format::Xpm ? kLongHeadBytes : 4096);
    if (!head || head->size() < 2) {
        return details;
    }
    switch (format) {
    case Format::Ilbm:
        add_ilbm(details, *head, request.DisplayMode);
        break;
    case Format::Pcx:
        add_pcx(details, *head, path);
        break;
    case Format::Xpm:
        if (const auto values = xpm_values(*head)) {
            details.push_back(number("colours", static_cast<uint64_t>(values->colours)));
            details.push_back(
                number("characters_per_pixel", static_cast<uint64_t>(values->chars_per_pixel)));
        }
        break;
    case Format::Ppm:
        add_pnm(details, *head);
        break;
    case Format::Png:
        add_png(details, *head);
        break;
    }
    return details;
}

std::string details_text(const std::string& file, const Details& details) {
    std::string line = escaped(file) + ": " + details[0].value + ", " + details[1].value + " x " +
                       details[2].value + ", " + details[3].value + " bits per pixel in the file";
    for (size_t i = 4; i < details.size(); ++i) {
        std::string label = details[i].key;
        for (char& c : label) {
            c = c == '_' ? ' ' : c;
        }
        line += ", " + label + " " + details[i].value;
    }
    return line;
}

std::string details_json(const std::string& file, const Details& details) {
    std::string line = "{\"file\":";
    line += json_string(file);
    for (const Detail& detail : details) {
        line += ',';
        line += json_string(detail.key);
        line += ':';
        line += detail.number ? detail.value : json_string(detail.value);
    }
    line += '}';
    return line;
}

std::string json_string(const std::string& text) {
    std::string out = "\"";
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const size_t size = text.size();
    char escaped[8];
    for (size_t i = 0; i < size;) {
        const uint8_t c = bytes[i];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        if (c < 0x20) {
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
            ++i;
            continue;
        }
        // A whole UTF-8 sequence is copied; a byte that starts none is taken as Latin-1.
        const size_t length = c < 0x80                 ? 1
                              : c >= 0xC2 && c <= 0xDF ? 2
                              : c >= 0xE0 && c <= 0xEF ? 3
                              : c >= 0xF0 && c <= 0xF4 ? 4
                                                       : 0;
        bool whole = length != 0 && i + length <= size;
        for (size_t k = 1; whole && k < length; ++k) {
            whole = (bytes[i + k] & 0xC0U) == 0x80U;
        }
        if (whole && length > 2) {
            // No overlong forms, no surrogates, nothing past U+10FFFF.
            const uint8_t next = bytes[i + 1];
            whole = !(c == 0xE0 && next < 0xA0) && !(c == 0xED && next > 0x9F) &&
                    !(c == 0xF0 && next < 0x90) && !(c == 0xF4 && next > 0x8F);
        }
        if (whole) {
            out.append(text, i, length);
            i += length;
        } else {
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
            ++i;
        }
    }
    return out + "\"";
}

} // namespace host
