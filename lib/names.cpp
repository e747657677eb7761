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

namespace {

// How a detail reads in the line: "label value", or for an animation's, its own words
// ("14 frames", "0.93 s"); empty for what the line leaves to --json (each frame's time).
std::string worded(const Detail& detail) {
    if (detail.key == "frames") {
        return detail.text() + " frames";
    }
    if (detail.key == "jiffies") {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.2f s", static_cast<double>(detail.number()) / 60);
        return seconds;
    }
    if (detail.key == "frame_jiffies" || detail.key == "frame") {
        return "";
    }
    return detail.label() + " " + detail.text();
}

bool animation_key(const std::string& key) {
    return key == "frames" || key == "jiffies" || key == "operation";
}

} // namespace

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
                       details[2].text();
    // An animation's frames and time come first, as its size does.
    for (size_t i = 4; i < details.size(); ++i) {
        if (animation_key(details[i].key)) {
            line += ", " + worded(details[i]);
        }
    }
    line += ", " + details[3].text() + (details[3].number() == 1 ? " bit" : " bits") +
            " per pixel in the file";
    for (size_t i = 4; i < details.size(); ++i) {
        if (details[i].key == "gaps") {
            line += ", incomplete: " + details[i].text();
            continue;
        }
        if (const std::string words = worded(details[i]);
            !words.empty() && !animation_key(details[i].key)) {
            line += ", " + words;
        }
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
