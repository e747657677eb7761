// What `orvi info` prints of a file's details: a line for people, or one JSON object per
// line for programs.
#pragma once

#include <string>

#include "orvi/orvi.h"

namespace cli {

// "FILE: FORMAT, W x H, D bits per pixel in the file, label value, ...".
[[nodiscard]] std::string details_text(const std::string& file, const orvi::Details& details);

// {"file":"FILE","format":"PNM",...} with the same details.
[[nodiscard]] std::string details_json(const std::string& file, const orvi::Details& details);

// A JSON string literal: quotes, backslashes and control characters escaped, bytes
// that are not UTF-8 taken as Latin-1, so any file name gives valid JSON.
[[nodiscard]] std::string json_string(const std::string& text);

} // namespace cli
