// Quoting file names for sentences.
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

} // namespace orvi

namespace host {

std::string result_code_sentence(int32_t code) {
    const char* text = result_code_text(code);
    return std::string(text != nullptr ? text : "unknown failure") + " (code " +
           std::to_string(code) + ")";
}

} // namespace host
