// File names and pictures as sentences show them.
#include "lib/names.h"

#include <cstdio>

#include "runtime/result_codes.h"

namespace orvi {

std::string escaped(std::string_view name) {
    std::string shown;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            shown += c;
        } else if (c == '\n') {
            shown += "\\n";
        } else if (c == '\t') {
            shown += "\\t";
        } else if (c == '\r') {
            shown += "\\r";
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        }
    }
    return shown;
}

std::string quoted(std::string_view name) {
    std::string shown = "'";
    shown.append(escaped(name)).push_back('\'');
    return shown;
}

std::string summary(std::string_view name, const Image& image) {
    Details details = image.details();
    if (details.size() < 4) {
        return escaped(name) + ": " + image.format() + ", " + std::to_string(image.width()) +
               " x " + std::to_string(image.height());
    }
    if (!image.complete()) {
        std::string gaps;
        for (const std::string& gap : image.gaps()) {
            gaps += (gaps.empty() ? "" : "; ") + gap;
        }
        details.push_back({"gaps", gaps});
    }
    std::string line = escaped(name) + ": " + details[0].text() + ", " + details[1].text() + " x " +
                       details[2].text() + ", " + details[3].text() +
                       (details[3].number() == 1 ? " bit" : " bits") + " per pixel in the file";
    for (size_t i = 4; i < details.size(); ++i) {
        if (details[i].key == "gaps") {
            line += ", incomplete: " + details[i].text();
            continue;
        }
        line += ", " + details[i].label() + " " + details[i].text();
    }
    return line;
}

} // namespace orvi

namespace orvi {

std::string result_code_sentence(int32_t code) {
    const char* text = result_code_text(code);
    return std::string(text != nullptr ? text : "unknown failure") + " (code " +
           std::to_string(code) + ")";
}

} // namespace orvi
