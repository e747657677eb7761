// The IFF picture family's side in the library: ILBM and its kin read by the ilbm module, and the
// chunky FORM PBM it writes.
#pragma once

#include "lib/formats.h"

namespace orvi {

extern const FormatEntry kIlbmFormat;
extern const FormatEntry kIffPbmFormat;

// The picture FORMs of an IFF file, in file order: one page for a FORM; for a LIST or
// CAT, each picture FORM inside (at any depth), a FORM of a LIST with its LIST's PROPs.
// The first page is the whole file, whose first picture the reader finds itself. Empty
// when the file is no IFF container.
[[nodiscard]] std::vector<Page> iff_pages(std::span<const uint8_t> file);

} // namespace orvi
