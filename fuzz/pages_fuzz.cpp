// Fuzz target: the pages of a file holding several pictures. Any bytes as a DCX and as an
// IFF container: every page lies inside the file (or is put together of pieces that do),
// an IFF's first page is the whole file, and a FORM kept with its LIST's properties is a
// LIST whose size fits what it holds.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/fuzz_check.h"
#include "lib/pages.h"

namespace {

bool inside(std::span<const uint8_t> part, std::span<const uint8_t> file) {
    return part.empty() || (part.data() >= file.data() &&
                            part.data() + part.size() <= file.data() + file.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> file(data, size);
    for (const host::Page& page : host::dcx_pages(file)) {
        FUZZ_CHECK(page.own.empty() && inside(page.bytes, file));
    }
    const auto pages = host::iff_pages(file);
    for (size_t i = 0; i < pages.size(); ++i) {
        const host::Page& page = pages[i];
        if (i == 0) {
            FUZZ_CHECK(page.bytes.data() == file.data() && page.bytes.size() == file.size());
        } else if (page.own.empty()) {
            FUZZ_CHECK(inside(page.bytes, file) && page.bytes.size() >= 12);
        } else {
            FUZZ_CHECK(page.bytes.data() == page.own.data() && page.own.size() >= 12);
            const uint32_t declared = uint32_t{page.own[4]} << 24U | uint32_t{page.own[5]} << 16U |
                                      uint32_t{page.own[6]} << 8U | page.own[7];
            FUZZ_CHECK(declared + 8U == page.own.size());
        }
    }
    return 0;
}
