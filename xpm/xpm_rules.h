// The rules of XPM that more than the reader needs: the limits, the string scanner and
// the values string. Pure: no globals, no I/O, no platform calls. Linked by the xpm
// module and by the library, so that both read a file's values alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace xpm {

inline constexpr int32_t kMaxColours = 32766;
inline constexpr int32_t kMaxCpp = 5;
inline constexpr int32_t kMaxSide = 32767;
// The save request's SaveMode bit for colours written by name where one matches exactly.
inline constexpr uintptr_t kSaveNames = 1;
// The buffer a values or colour string is collected in, with its terminator.
inline constexpr size_t kStringBytes = 5000;
struct Values {
    int32_t width = 0;
    int32_t height = 0;
    int32_t colours = 0;
    int32_t cpp = 0;
    // The hot spot the values may give after the four numbers; -1 when they do not.
    int32_t hot_x = -1;
    int32_t hot_y = -1;
};

// Characters as they are stored: controls become spaces, bytes from 128 become 127.
[[nodiscard]] constexpr uint8_t normalised(uint8_t c) {
    return c < 32 ? uint8_t{32} : (c >= 128 ? uint8_t{127} : c);
}

// The four numbers of a values string (spaces and tabs around each; no digits give 0;
// numbers saturate instead of wrapping), read as the reader stores the string: its
// characters normalised, and no more than kStringBytes - 1 of them.
[[nodiscard]] Values myatoi(std::span<const uint8_t> text);
// 0, or the first failing check's code (kXpmBadColours colours, kXpmBadCharsPerPixel cpp,
// kXpmBadWidth width, kXpmBadHeight height).
[[nodiscard]] int32_t check_values(const Values& values);

// The quoted strings of a file, skipping comments outside strings.
class StringScanner {
public:
    explicit StringScanner(std::span<const uint8_t> file) : file_(file) {}
    // The raw bytes of the next complete string; false at the end of the file (a string
    // the file leaves open is not handed out).
    [[nodiscard]] bool next(std::span<const uint8_t>& string);

private:
    std::span<const uint8_t> file_;
    size_t position_ = 0;
    uint8_t previous_ = ' ';
    bool in_comment_ = false;
};

// The values of a file: its first string outside comments, when that string starts
// with four decimal numbers (what makes a file an XPM file); nothing otherwise.
[[nodiscard]] std::optional<Values> file_values(std::span<const uint8_t> file);

} // namespace xpm
