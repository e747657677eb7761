// The pictures of the files that hold several: DCX (PCX pages behind a table of offsets)
// and IFF LIST or CAT containers of picture FORMs. Each page is given as the bytes of a
// file of its own kind, which the format's module reads.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace host {

// A DCX file starts with this little-endian number.
inline constexpr uint32_t kDcxMagic = 987654321;

[[nodiscard]] bool is_dcx(std::span<const uint8_t> head);

// A page: the bytes of a whole file of one picture. `own` holds them when they had to be
// put together (a FORM with the properties of its LIST); otherwise `bytes` lies in the
// file given.
struct Page {
    std::span<const uint8_t> bytes;
    std::vector<uint8_t> own;
};

// The pages of a DCX file: from each offset of its table (up to 1024, ending at the first
// zero) to the next page's offset, or to the end of the file. An offset outside the file,
// or one not after the table, gives an empty page.
[[nodiscard]] std::vector<Page> dcx_pages(std::span<const uint8_t> file);

// The picture FORMs of an IFF file, in file order: one page for a FORM; for a LIST or
// CAT, each picture FORM inside (at any depth), a FORM of a LIST given its LIST's PROPs
// in a LIST of its own. The first page is the whole file, whose first picture the reader
// finds itself. Empty when the file is no IFF container.
[[nodiscard]] std::vector<Page> iff_pages(std::span<const uint8_t> file);

} // namespace host
