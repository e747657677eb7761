// The format table: one entry a format, holding everything the library needs to know
// of it: its names, how its files are recognised, which module reads and writes it (or
// the library's own functions), what its writer holds, how save options travel in the
// request, and its details and failures in its own terms. Nothing outside the table and
// each format's own files asks which format it is dealing with.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lib/host_pool.h"
#include "lib/pages.h"
#include "lib/palette.h"
#include "orvi/image.h"
#include "orvi/library.h"
#include "runtime/records.h"

namespace host {

// A picture read by the library's own code, and what it says about it: 0, or a result
// code with the reason in `error`.
using LoadFunction = int32_t (*)(HostPool& pool, std::span<const uint8_t> file, Picture& picture,
                                 std::vector<std::string>& notes, OrviGaugeRoutine gauge,
                                 std::string& error);
// A picture written by the library's own code; `indexed`, when given, holds its palette.
// 0, or a result code with the reason in `error`.
using SaveFunction = int32_t (*)(HostPool& pool, const char* path, const Picture& picture,
                                 const IndexedImage* indexed, const orvi::SaveOptions& options,
                                 OrviGaugeRoutine gauge, std::string& error);

struct FormatEntry {
    const char* name;                      // as people see it
    std::array<const char*, 4> extensions; // lower case, no dot; the usual first; then nullptr
    const char* grey_extension;            // files named so hold grey pictures; or nullptr
    const char* module;                    // the module's file name; nullptr: load and save
    bool reads;
    bool writes;
    uint32_t most_side;                     // the largest side the writer holds
    bool side_is_writers;                   // the limit is orvi's writer's, not the format's
    uint32_t palette_depths;                // bit n set: depth n is written with a palette picture
    bool two_colours_shown_black_and_white; // its readers show a 1-bit picture so

    // Whether the first bytes of a file (4 KiB, or 512 KiB when those announce nothing)
    // are this format's.
    bool (*recognise)(std::span<const uint8_t> head);
    // For a file of this format's family that it does not read, why (or empty).
    std::string (*refusal)(std::span<const uint8_t> head);
    // The details of a loaded file beyond format and size; returns the bits a pixel takes
    // in the file.
    uint32_t (*details)(const Page& file, const Picture& picture, const CodecRequest& request,
                        orvi::Details& details);
    // A failure in the file's own terms, with the code after the words; empty: the table
    // of result codes says it.
    std::string (*explain)(int32_t code, const Page& file);
    // Module writers: the save options and palette picture into the request.
    void (*pack)(const orvi::SaveOptions& options, const IndexedPicture* indexed,
                 CodecRequest& request);
    LoadFunction load; // the library's own reader, when there is no module
    SaveFunction save; // the library's own writer, when there is no module
    // For files that may hold several pictures: each one's bytes as a file of its own;
    // nullptr for one picture a file.
    std::vector<Page> (*pages)(std::span<const uint8_t> file);
    // The writer holds palette pictures only: a save without a palette depth takes 8.
    bool palette_only = false;
    bool bitmap = false; // the writer makes black and white of any picture
    bool plain = false;  // SaveOptions::plain writes the samples as text
    // What its files are named when it has no extension of its own to be asked by.
    const char* file_extension = nullptr;
    // For a format whose files come in kinds that different writers make: the writer and
    // extension of a file's kind; nullptr: this format's own, by its first extension.
    std::pair<const char*, const char*> (*written_as)(const Page& file) = nullptr;
};

// Every format, in the order they are tried when recognising a file.
[[nodiscard]] std::span<const FormatEntry> format_table();

// The format whose content `head` announces, or nullptr with the reason in `why`.
[[nodiscard]] const FormatEntry* recognise_format(std::span<const uint8_t> head, std::string& why);

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

} // namespace host
