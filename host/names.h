// How file names appear in the sentences orvi prints. Pure: no I/O.
#pragma once

#include <string>
#include <string_view>

namespace host {

// A file name with each control character written as \n, \t, \r or \xHH, so that no
// name can break a message's line or pose as another message.
[[nodiscard]] std::string escaped(std::string_view name);

// The escaped name in single quotes, as sentences name files.
[[nodiscard]] std::string quoted(std::string_view name);

} // namespace host
