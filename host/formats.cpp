// Format recognition from file content and from output extensions.
#include "host/formats.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <string>

namespace host {
namespace {

constexpr std::array kFormats = {
    FormatInfo{Format::Ppm, "PNM", "ppm"},    FormatInfo{Format::Pcx, "PCX", "pcx"},
    FormatInfo{Format::Ilbm, "ILBM", "ilbm"}, FormatInfo{Format::Xpm, "XPM", "xpm"},
    FormatInfo{Format::Png, "PNG", nullptr},
};

struct Extension {
    std::string_view suffix;
    Format format;
};

constexpr std::array kExtensions = {
    Extension{".ppm", Format::Ppm},  Extension{".pgm", Format::Ppm},
    Extension{".pnm", Format::Ppm},  Extension{".pcx", Format::Pcx},
    Extension{".iff", Format::Ilbm}, Extension{".ilbm", Format::Ilbm},
    Extension{".lbm", Format::Ilbm}, Extension{".png", Format::Png},
};

constexpr std::string_view kPngSignature("\x89PNG\r\n\x1a\n", 8);

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

} // namespace

const FormatInfo& format_info(Format format) {
    return kFormats[static_cast<size_t>(format)];
}

std::span<const FormatInfo> all_formats() {
    return kFormats;
}

std::optional<Format> detect_format(std::span<const uint8_t> head) {
    const bool ilbm_type = head.size() >= 12 && std::equal(head.begin() + 8, head.begin() + 12,
                                                           std::string_view("ILBM").begin());
    if (ilbm_type &&
        (starts_with(head, "FORM") || starts_with(head, "CAT ") || starts_with(head, "LIST"))) {
        return Format::Ilbm;
    }
    if (starts_with(head, kPngSignature)) {
        return Format::Png;
    }
    if (head.size() >= 2 && head[0] == 'P' && head[1] >= '1' && head[1] <= '6') {
        return Format::Ppm;
    }
    if (!head.empty() && head[0] == 10) {
        return Format::Pcx;
    }
    if (xpm_values(head)) {
        return Format::Xpm;
    }
    return std::nullopt;
}

std::optional<XpmValues> xpm_values(std::span<const uint8_t> head) {
    const std::string_view text(reinterpret_cast<const char*>(head.data()), head.size());
    size_t at = 0;
    while (at < text.size()) {
        if (text.compare(at, 2, "/*") == 0) {
            const size_t close = text.find("*/", at + 2);
            at = close == std::string_view::npos ? text.size() : close + 2;
        } else if (text[at] == '"') {
            const size_t close = text.find('"', at + 1);
            const std::string string(text.substr(at + 1, close - at - 1));
            XpmValues values{};
            char after = 0;
            const int read =
                std::sscanf(string.c_str(), " %ld %ld %ld %ld%c", &values.width, &values.height,
                            &values.colours, &values.chars_per_pixel, &after);
            const bool numbers = read == 4 || (read == 5 && (after == ' ' || after == '\t'));
            return numbers ? std::optional<XpmValues>(values) : std::nullopt;
        } else {
            ++at;
        }
    }
    return std::nullopt;
}

bool read_only_extension(std::string_view path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string_view::npos) {
        return false;
    }
    return lower(path.substr(dot)) == ".xpm";
}

std::optional<Format> format_for_extension(std::string_view path) {
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
        return std::nullopt;
    }
    return format_for_name(path.substr(dot + 1));
}

std::optional<Format> format_for_name(std::string_view name) {
    const std::string wanted = lower(name);
    for (const Extension& extension : kExtensions) {
        if (extension.suffix.substr(1) == wanted) {
            return extension.format;
        }
    }
    return std::nullopt;
}

std::string written_extensions() {
    std::string list;
    for (const Extension& extension : kExtensions) {
        list += (list.empty() ? "" : ", ") + std::string(extension.suffix);
    }
    return list;
}

} // namespace host
