// PCX's side in the library: PCX, and DCX (PCX pages behind a table of offsets), read by the pcx
// module.
#pragma once

#include "lib/formats.h"

namespace orvi {

extern const FormatEntry kPcxFormat;
extern const FormatEntry kDcxFormat;

// A DCX file starts with this little-endian number.
inline constexpr uint32_t kDcxMagic = 987654321;

[[nodiscard]] bool is_dcx(std::span<const uint8_t> head);

// The pages of a DCX file: from each offset of its table (up to 1024, ending at the first
// zero) to the next page's offset, or to the end of the file. An offset outside the file,
// or one not after the table, gives an empty page.
[[nodiscard]] std::vector<Page> dcx_pages(std::span<const uint8_t> file);

} // namespace orvi
