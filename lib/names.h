// How file names and result codes appear in sentences. Pure: no I/O.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "orvi/library.h"

namespace orvi {

// The words for a module's result code, with the code: "corrupt ByteRun1 data (code 117)".
[[nodiscard]] std::string result_code_sentence(int32_t code);

} // namespace orvi
