// The pictures of an IFF LIST or CAT, found in one walk of the file.
#include "ilbm/ilbm_host.h"
#include "ilbm/ilbm_rules.h"

namespace orvi {

std::vector<Page> iff_pages(std::span<const uint8_t> file) {
    std::vector<Page> pages;
    const ilbm::IffKind kind = ilbm::iff_kind(file);
    if (kind.container == 0) {
        return pages;
    }
    // The outer container's own size is not trusted: writers get it wrong by a few bytes
    // (one corpus CAT ends 4 bytes before its second FORM does), so its chunks are looked
    // for up to the end of the file.
    ilbm::IffPages found(file);
    while (found.next()) {
        pages.push_back(
            {found.form(), {found.props().begin(), found.props().end()}, found.list_type()});
    }
    // The reader takes the first picture of a file by itself: the first page is the file.
    if (pages.empty()) {
        pages.emplace_back();
    }
    pages.front() = {file, {}, 0};
    return pages;
}

} // namespace orvi
