// Which module reads a file (from its content, never its name) and which writes a
// file (from the extension of its name).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace host {

enum class Format : uint8_t { Ppm, Pcx, Ilbm, Xpm, Png };

struct FormatInfo {
    Format format;
    const char* name;   // as shown to people
    const char* module; // the module file's name without ".so"; nullptr: the host's own
};

[[nodiscard]] const FormatInfo& format_info(Format format);

// Every format orvi reads.
[[nodiscard]] std::span<const FormatInfo> all_formats();

// The format the first bytes of a file announce, if any.
[[nodiscard]] std::optional<Format> detect_format(std::span<const uint8_t> head);

// The four numbers of an XPM values string: the file's first quoted string outside
// comments, when it starts with four decimal numbers.
struct XpmValues {
    long width;
    long height;
    long colours;
    long chars_per_pixel;
};
[[nodiscard]] std::optional<XpmValues> xpm_values(std::span<const uint8_t> head);

// True for the extension of a format orvi reads but does not write.
[[nodiscard]] bool read_only_extension(std::string_view path);

// The format a file name's extension asks for when saving, if orvi writes it.
[[nodiscard]] std::optional<Format> format_for_extension(std::string_view path);

// The format a `--to` name asks for (an extension without its dot), if orvi writes it.
[[nodiscard]] std::optional<Format> format_for_name(std::string_view name);

// The extensions orvi writes, for sentences: ".ppm, .pgm, ..., .png".
[[nodiscard]] std::string written_extensions();

} // namespace host
