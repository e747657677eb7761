// The pictures of the files that hold several: DCX (PCX pages behind a table of offsets)
// and IFF LIST or CAT containers of picture FORMs. Each page is read by the format's
// module as a file of its own kind, made of pieces of the file without copying them.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/host_abi.h"

namespace host {

// A DCX file starts with this little-endian number.
inline constexpr uint32_t kDcxMagic = 987654321;

[[nodiscard]] bool is_dcx(std::span<const uint8_t> head);

// A page: the bytes of a whole file of one picture, or of a FORM that takes the PROPs of
// the LISTs around it (`props`, pieces of the same file; `list_type` the innermost LIST's
// type). Pages share those pieces: nothing is copied.
struct Page {
    std::span<const uint8_t> bytes;
    std::vector<std::span<const uint8_t>> props;
    uint32_t list_type = 0;
};

// A page as the file its module reads: its bytes, or for a FORM with PROPs a LIST of its
// own (a header made here, then the PROPs and the FORM as they lie in the file).
class PageFile {
public:
    explicit PageFile(const Page& page);
    PageFile(const PageFile&) = delete;
    PageFile& operator=(const PageFile&) = delete;
    [[nodiscard]] std::span<const OrviSegment> segments() const { return segments_; }

private:
    std::array<uint8_t, 12> header_{};
    std::vector<OrviSegment> segments_;
};

// The pages of a DCX file: from each offset of its table (up to 1024, ending at the first
// zero) to the next page's offset, or to the end of the file. An offset outside the file,
// or one not after the table, gives an empty page.
[[nodiscard]] std::vector<Page> dcx_pages(std::span<const uint8_t> file);

// The picture FORMs of an IFF file, in file order: one page for a FORM; for a LIST or
// CAT, each picture FORM inside (at any depth), a FORM of a LIST with its LIST's PROPs.
// The first page is the whole file, whose first picture the reader finds itself. Empty
// when the file is no IFF container.
[[nodiscard]] std::vector<Page> iff_pages(std::span<const uint8_t> file);

} // namespace host
