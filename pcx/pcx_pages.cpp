// The pages of a DCX file, found through the bounded cursor; every offset is checked
// against the file before it is used.
#include <algorithm>

#include "pcx/pcx_host.h"
#include "runtime/cursor.h"

namespace orvi {
namespace {

constexpr size_t kDcxTableEntries = 1024;

} // namespace

bool is_dcx(std::span<const uint8_t> head) {
    runtime::Cursor cursor(head);
    return cursor.le32() == kDcxMagic && !cursor.dry();
}

std::vector<Page> dcx_pages(std::span<const uint8_t> file) {
    std::vector<Page> pages;
    runtime::Cursor cursor(file);
    (void)cursor.le32();
    std::vector<uint32_t> offsets;
    while (offsets.size() < kDcxTableEntries) {
        const uint32_t offset = cursor.le32();
        if (cursor.dry() || offset == 0) {
            break;
        }
        offsets.push_back(offset);
    }
    const uint64_t table_end = 4 + 4 * uint64_t{offsets.size()};
    for (size_t i = 0; i < offsets.size(); ++i) {
        const uint64_t start = offsets[i];
        uint64_t end = file.size();
        for (size_t j = i + 1; j < offsets.size(); ++j) { // the next page that follows it
            if (offsets[j] > start) {
                end = std::min<uint64_t>(end, offsets[j]);
            }
        }
        Page page;
        if (start >= table_end && start < file.size()) {
            page.bytes = file.subspan(start, end - start);
        }
        pages.push_back(std::move(page));
    }
    return pages;
}

} // namespace orvi
