// The format table: the entries of every format's folder in one list, and the lookups
// over it. Nothing here is any one format's.
#include "lib/formats.h"

#include <algorithm>
#include <cctype>

#include "gif/gif_host.h"
#include "ilbm/ilbm_host.h"
#include "pcx/pcx_host.h"
#include "png/png_host.h"
#include "ppm/ppm_host.h"
#include "webp/webp_host.h"
#include "xpm/xpm_host.h"

namespace orvi {
namespace {

// Every format: a new one is a line here (and its folder).
constexpr std::array kFormats = {&kPnmFormat, &kPcxFormat, &kIlbmFormat,   &kXpmFormat,
                                 &kPngFormat, &kPamFormat, &kPbmFormat,    &kDcxFormat,
                                 &kIffPbmFormat, &kGifFormat, &kWebpFormat};

// The formats that read, in the order their content is tried: by priority.
const std::vector<const FormatEntry*> kByPriority = [] {
    std::vector<const FormatEntry*> readers;
    for (const FormatEntry* format : kFormats) {
        if (format->reads) {
            readers.push_back(format);
        }
    }
    std::stable_sort(
        readers.begin(), readers.end(),
        [](const FormatEntry* a, const FormatEntry* b) { return a->priority < b->priority; });
    return readers;
}();

} // namespace

std::span<const FormatEntry* const> format_table() {
    return kFormats;
}

const FormatEntry* recognise_format(std::span<const uint8_t> file, std::string& why) {
    constexpr size_t kHeadBytes = 4096;
    const std::span<const uint8_t> head = file.first(std::min(file.size(), kHeadBytes));
    for (const FormatEntry* format : kByPriority) {
        if (format->recognise(head)) {
            return format;
        }
    }
    for (const FormatEntry* format : kByPriority) {
        if (format->head_bytes > kHeadBytes && file.size() > kHeadBytes &&
            format->recognise(file.first(std::min(file.size(), format->head_bytes)))) {
            return format;
        }
    }
    for (const FormatEntry* entry : kFormats) {
        const FormatEntry& format = *entry;
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
    for (const FormatEntry* entry : kFormats) {
        const FormatEntry& format = *entry;
        if (!format.writes) {
            continue;
        }
        if (lower(format.name) == wanted) {
            return entry;
        }
        for (const char* extension : format.extensions) {
            if (extension != nullptr && wanted == extension) {
                return entry;
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
    info.animates = format.save_frames != nullptr;
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
    for (const FormatEntry* format : kFormats) {
        for (const char* extension : format->extensions) {
            if (format->writes && extension != nullptr) {
                list += (list.empty() ? "." : ", .") + std::string(extension);
            }
        }
    }
    return list;
}

std::string read_format_names() {
    std::string list;
    for (const FormatEntry* format : kFormats) {
        if (format->reads) {
            list += (list.empty() ? "" : ", ") + std::string(format->name);
        }
    }
    return list;
}

} // namespace orvi
