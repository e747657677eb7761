// What `orvi info --json` prints of a file's details: one JSON object per line for
// programs (the line for people is orvi::summary).
#pragma once

#include <string>

#include "orvi/orvi.h"

namespace cli {

// {"file":"FILE","format":"PNM",...} with the same details.
[[nodiscard]] std::string details_json(const std::string& file, const orvi::Details& details);

// A JSON string literal: quotes, backslashes and control characters escaped, bytes
// that are not UTF-8 taken as Latin-1, so any file name gives valid JSON.
[[nodiscard]] std::string json_string(const std::string& text);

} // namespace cli
