// The format table: one entry a format, holding everything the library needs to know
// of it: its names, how its files are recognised, which module reads and writes it (or
// the library's own functions), what its writer holds, how save options travel in the
// request, and its details and failures in its own terms. Each entry lives in its
// format's folder; nothing outside the table and each format's own files asks which
// format it is dealing with.
#pragma once

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lib/animation.h"
#include "lib/host_pool.h"
#include "lib/pages.h"
#include "lib/palette.h"
#include "orvi/image.h"
#include "orvi/library.h"
#include "runtime/records.h"

namespace orvi {

// A picture read by the library's own code, and what it says about it: 0, or a result
// code with the reason in `error`. `extras`, when given, asks for what the file gives
// beside the pixels, as a module's job is asked.
using LoadFunction = int32_t (*)(HostPool& pool, std::span<const uint8_t> file, Picture& picture,
                                 std::vector<std::string>& notes, OrviGaugeRoutine gauge,
                                 OrviExtras* extras, std::string& error);

// What a save carries beside the pixels, for the formats that hold it.
struct Carried {
    const uint8_t* alpha = nullptr;    // an opacity a pixel, or null
    const uint8_t* straight = nullptr; // the colours under `alpha` (the pixels when null)
    int32_t transparent = -1;          // the index of the palette written that is transparent
    const orvi::Description* description = nullptr; // what is kept of the file's words
};

// A picture written by the library's own code; `indexed`, when given, holds its palette.
// 0, or a result code with the reason in `error`.
using SaveFunction = int32_t (*)(HostPool& pool, const char* path, const Picture& picture,
                                 const IndexedImage* indexed, const Carried& carried,
                                 const orvi::SaveOptions& options, OrviGaugeRoutine gauge,
                                 std::string& error);

// One format: everything the library needs to know of it. Each format's folder defines
// its entries (<fmt>/<fmt>_host.cpp); the table only lists them.
struct FormatEntry {
    const char* name = nullptr; // as people see it
    uint32_t priority = 0;      // lower first when a file's content is tried against each reader
    std::array<const char*, 4> extensions{}; // lower case, no dot; the usual first
    const char* grey_extension = nullptr;    // files named so hold grey pictures
    const char* module = nullptr;            // the module's file name; nullptr: the
                                             // library's own load and save
    bool reads = false;
    bool writes = false;
    uint32_t most_side = 0;       // the largest side the writer holds
    bool side_is_writers = false; // the limit is orvi's writer's, not the format's
    uint32_t palette_depths = 0;  // bit n set: depth n is written with a palette

    // Whether the first bytes of a file (4 KiB, or as many as `head_bytes` says when no
    // format claims those) are this format's.
    bool (*recognise)(std::span<const uint8_t> head) = nullptr;
    size_t head_bytes = 4096;
    // For a file of this format's family that it does not read, why (or empty).
    std::string (*refusal)(std::span<const uint8_t> head) = nullptr;
    // The details of a loaded file beyond format and size; returns the bits a pixel takes
    // in the file.
    uint32_t (*details)(const Page& file, const Picture& picture, const CodecRequest& request,
                        orvi::Details& details) = nullptr;
    // What the file says about its picture (texts, resolution, aspect, hot spot, mode,
    // colour ranges), from its bytes.
    void (*describe)(const Page& file, orvi::Description& description) = nullptr;
    // The chunks of a file made of them, for `orvi info --chunks`.
    void (*list_chunks)(std::span<const uint8_t> file, std::vector<orvi::FileChunk>& chunks) =
        nullptr;
    // Module writers: what of the description, and of the transparency, the writer keeps,
    // into the job's extras (`chunks` holds bytes the extras point at).
    void (*carry)(const orvi::Description& description, std::vector<uint8_t>& chunks,
                  OrviExtras& extras) = nullptr;
    // Whether the writer holds a transparent palette index, and an opacity a pixel.
    bool holds_transparent_index = false;
    bool holds_alpha = false;
    // A failure in the file's own terms, with the code after the words; empty: the table
    // of result codes says it.
    std::string (*explain)(int32_t code, const Page& file) = nullptr;
    // Module writers: the save options and palette picture into the request.
    void (*pack)(const orvi::SaveOptions& options, const IndexedPicture* indexed,
                 CodecRequest& request) = nullptr;
    LoadFunction load = nullptr; // the library's own reader, when there is no module
    SaveFunction save = nullptr; // the library's own writer, when there is no module
    // The library's own writer of animations (a still is written as one frame).
    FramesFunction save_frames = nullptr;
    // For files that may hold several pictures: each one's bytes as a file of its own;
    // nullptr for one picture a file.
    std::vector<Page> (*pages)(std::span<const uint8_t> file) = nullptr;
    // What `orvi info` calls a file whose pages are the frames of an animation.
    const char* animation_name = nullptr;
    // The writer holds palette pictures only: a save without a palette depth takes the
    // smallest that holds the colours, or 8 (reducing them).
    bool palette_only = false;
    // A picture of at most 256 colours is written at the smallest palette depth that
    // holds them, without a depth asked for (formats whose writer would write true colour).
    bool smallest_depth = false;
    bool bitmap = false; // the writer makes black and white of any picture
    bool plain = false;  // SaveOptions::plain writes the samples as text
    // What its files are named when it has no extension of its own to be asked by.
    const char* file_extension = nullptr;
    // For a format whose files come in kinds that different writers make: the writer and
    // extension of a file's kind; nullptr: this format's own, by its first extension.
    std::pair<const char*, const char*> (*written_as)(const Page& file) = nullptr;
};

// Every format, in the order of the table (the order `orvi info` and --help list them).
[[nodiscard]] std::span<const FormatEntry* const> format_table();

// The format whose content the first bytes of `file` announce, or nullptr with the reason
// in `why`: each format by priority on its first 4 KiB, then those that look further
// (head_bytes) on as many.
[[nodiscard]] const FormatEntry* recognise_format(std::span<const uint8_t> file, std::string& why);

// The format written for `name` (a format's name or extension, any case), if any.
[[nodiscard]] const FormatEntry* written_format(std::string_view name);

// The format a path's extension names for saving, if written.
[[nodiscard]] const FormatEntry* format_for_path(std::string_view path);

// Whether a save under `name` (extension or format name) or to `path` asks for grey.
[[nodiscard]] bool grey_output(const FormatEntry& format, std::string_view name,
                               std::string_view path);

// How to save a file of the kind `file` is (of `format`): a written format and its
// extension, or empty ones when orvi does not write it.
[[nodiscard]] orvi::Image::Kind written_kind(const FormatEntry& format, const Page& file);

// The public description of an entry.
[[nodiscard]] orvi::FormatInfo format_info(const FormatEntry& format);

// ".ppm, .pgm, ..., .png": the extensions written, for sentences.
[[nodiscard]] std::string written_extensions();

// The names of the formats read, for sentences: "PNM, PCX, ILBM, XPM, PNG".
[[nodiscard]] std::string read_format_names();

// ---- What the formats' host sides share.

// A detail of text, and one of a number.
[[nodiscard]] inline orvi::Detail text_detail(const char* key, std::string value) {
    return {key, std::move(value)};
}
[[nodiscard]] inline orvi::Detail number_detail(const char* key, uint64_t value) {
    return {key, static_cast<int64_t>(value)};
}

// "the width 0 is outside 1..32767 (code 1003)": a module's words made specific.
[[nodiscard]] inline std::string with_code(const std::string& words, int32_t code) {
    return words + " (code " + std::to_string(code) + ")";
}

// Whether `head` starts with `text`.
[[nodiscard]] inline bool starts_with(std::span<const uint8_t> head, std::string_view text) {
    return head.size() >= text.size() &&
           std::equal(text.begin(), text.end(), head.begin(),
                      [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
}

// `text` in lower case.
[[nodiscard]] inline std::string lower(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

// The palette depths of a list, as FormatEntry::palette_depths holds them.
[[nodiscard]] constexpr uint32_t depths(std::initializer_list<uint32_t> list) {
    uint32_t mask = 0;
    for (const uint32_t depth : list) {
        mask |= 1U << depth;
    }
    return mask;
}
inline constexpr uint32_t kOneToEight = depths({1, 2, 3, 4, 5, 6, 7, 8});

} // namespace orvi
