// Details as `orvi info` prints them: a line of text, or a JSON object.
#include "cli/report.h"

#include <cstdio>

namespace cli {

// A key a picture has several values of (its colour ranges, annotations) is one array,
// where its first value stands.
std::string details_json(const std::string& file, const orvi::Details& details) {
    std::string line = "{\"file\":";
    line += json_string(file);
    const auto value = [](const orvi::Detail& detail) {
        return detail.is_number() ? detail.text() : json_string(detail.text());
    };
    for (size_t i = 0; i < details.size(); ++i) {
        const std::string& key = details[i].key;
        bool seen = false;
        size_t count = 0;
        for (size_t j = 0; j < details.size(); ++j) {
            seen = seen || (j < i && details[j].key == key);
            count += details[j].key == key ? 1U : 0U;
        }
        if (seen) {
            continue;
        }
        line += ',';
        line += json_string(key);
        line += ':';
        if (count == 1) {
            line += value(details[i]);
            continue;
        }
        line += '[';
        for (size_t j = i; j < details.size(); ++j) {
            if (details[j].key == key) {
                if (j != i) {
                    line += ',';
                }
                line += value(details[j]);
            }
        }
        line += ']';
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

} // namespace cli
