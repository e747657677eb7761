// Fuzz target: the pages of a file holding several pictures. Any bytes as a DCX and as an
// IFF container: every page and every PROP it takes lie inside the file, an IFF's first
// page is the whole file, and a page's file (a LIST of its own for a FORM with PROPs) is
// as long as its header says.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/fuzz_check.h"
#include "ilbm/ilbm_host.h"
#include "lib/pages.h"
#include "pcx/pcx_host.h"

namespace {

bool inside(std::span<const uint8_t> part, std::span<const uint8_t> file) {
    return part.empty() ||
           (part.data() >= file.data() && part.data() + part.size() <= file.data() + file.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> file(data, size);
    for (const orvi::Page& page : orvi::dcx_pages(file)) {
        FUZZ_CHECK(page.props.empty() && inside(page.bytes, file));
    }
    const auto pages = orvi::iff_pages(file);
    for (size_t i = 0; i < pages.size(); ++i) {
        const orvi::Page& page = pages[i];
        if (i == 0) {
            FUZZ_CHECK(page.bytes.data() == file.data() && page.bytes.size() == file.size());
            continue;
        }
        FUZZ_CHECK(inside(page.bytes, file) && page.bytes.size() >= 12);
        for (const auto& prop : page.props) {
            FUZZ_CHECK(inside(prop, file) && prop.size() >= 12);
        }
        const orvi::PageFile made(page);
        uint64_t length = 0;
        for (const OrviSegment& segment : made.segments()) {
            length += segment.size;
        }
        if (!page.props.empty()) {
            const uint8_t* header = made.segments()[0].data;
            const uint32_t declared = uint32_t{header[4]} << 24U | uint32_t{header[5]} << 16U |
                                      uint32_t{header[6]} << 8U | header[7];
            FUZZ_CHECK(declared + 8U == length);
        } else {
            FUZZ_CHECK(length == page.bytes.size());
        }
    }
    return 0;
}
