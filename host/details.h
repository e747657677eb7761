// What `orvi info` says of a file beyond its size: the details of its own header, as
// text for people or as one JSON object per line for programs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/formats.h"
#include "runtime/records.h"

namespace host {

struct Detail {
    std::string key;   // snake_case: the JSON name; with spaces, the text label
    std::string value; // the text, or the decimal digits of a number
    bool number = false;
};
using Details = std::vector<Detail>;

// The details of a loaded file: its format, size and depth, then what its header says
// (ILBM display mode, planes, compression and masking; PCX version, layout, colour
// type and palette; XPM colours and characters per pixel; PNM kind and maximum;
// PNG bit depth, colour type and interlacing).
[[nodiscard]] Details file_details(const std::string& path, Format format, const Picture& picture,
                                   const CodecRequest& request);

// "FILE: FORMAT, W x H, D bits per pixel in the file, label value, ...".
[[nodiscard]] std::string details_text(const std::string& file, const Details& details);

// {"file":"FILE","format":"PNM",...} with the same details.
[[nodiscard]] std::string details_json(const std::string& file, const Details& details);

// A JSON string literal: quotes, backslashes and control characters escaped, bytes
// that are not UTF-8 taken as Latin-1, so any file name gives valid JSON.
[[nodiscard]] std::string json_string(const std::string& text);

} // namespace host
