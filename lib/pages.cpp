// Pages of DCX and IFF files, found through the bounded cursor; every offset and size is
// checked against the file before it is used.
#include "lib/pages.h"

#include <algorithm>

#include "ilbm/ilbm_rules.h"
#include "runtime/cursor.h"

namespace host {
namespace {

constexpr size_t kDcxTableEntries = 1024;
constexpr size_t kIffDepth = 16; // nested containers, as the IFF reader allows

void put_be32(std::vector<uint8_t>& out, uint32_t value) {
    for (const uint32_t shift : {24U, 16U, 8U, 0U}) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

bool is_container(uint32_t id) {
    return id == platform::ID_FORM || id == platform::ID_LIST || id == platform::ID_CAT;
}

// The picture FORMs of the container whose chunks are `body` (after its type), with the
// PROPs seen so far in `props` when it is a LIST of `list_type`.
void collect(std::span<const uint8_t> body, bool list, uint32_t list_type,
             std::vector<std::span<const uint8_t>> props, size_t depth, std::vector<Page>& pages) {
    runtime::Cursor cursor(body);
    while (cursor.remaining() >= 8) {
        const size_t at = body.size() - cursor.remaining();
        const uint32_t id = cursor.be32();
        const uint32_t size = cursor.be32();
        if (cursor.dry() || size > cursor.remaining()) {
            return; // a chunk running past its container ends the walk, as in the reader
        }
        const std::span<const uint8_t> whole = body.subspan(at, 8 + size_t{size});
        const uint32_t type = size >= 4 ? runtime::Cursor(whole.subspan(8)).be32() : 0;
        if (id == platform::ID_PROP && list) {
            props.push_back(whole);
        } else if (id == platform::ID_FORM && ilbm::is_picture_form(type)) {
            Page page;
            if (props.empty()) {
                page.bytes = whole;
            } else { // a LIST of its own, so that the properties still apply
                size_t length = 4 + whole.size();
                for (const auto& prop : props) {
                    length += prop.size() + (prop.size() & 1U);
                }
                page.own.reserve(8 + length);
                page.own.insert(page.own.end(), {'L', 'I', 'S', 'T'});
                put_be32(page.own, static_cast<uint32_t>(length));
                put_be32(page.own, list_type);
                for (const auto& prop : props) {
                    page.own.insert(page.own.end(), prop.begin(), prop.end());
                    if ((prop.size() & 1U) != 0) {
                        page.own.push_back(0);
                    }
                }
                page.own.insert(page.own.end(), whole.begin(), whole.end());
                page.bytes = page.own;
            }
            pages.push_back(std::move(page));
        } else if ((id == platform::ID_LIST || id == platform::ID_CAT) && size >= 4 &&
                   depth + 1 < kIffDepth) {
            collect(whole.subspan(12), id == platform::ID_LIST, type,
                    id == platform::ID_LIST ? props : std::vector<std::span<const uint8_t>>{},
                    depth + 1, pages);
        }
        cursor.skip(size_t{size} + (size & 1U));
    }
}

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

std::vector<Page> iff_pages(std::span<const uint8_t> file) {
    std::vector<Page> pages;
    runtime::Cursor cursor(file);
    const uint32_t id = cursor.be32();
    (void)cursor.be32(); // its size: see below
    const uint32_t type = cursor.be32();
    if (cursor.dry() || !is_container(id)) {
        return pages;
    }
    // The outer container's own size is not trusted: writers get it wrong by a few bytes
    // (one corpus CAT ends 4 bytes before its second FORM does), so its chunks are looked
    // for up to the end of the file.
    if (id != platform::ID_FORM) {
        collect(file.subspan(12), id == platform::ID_LIST, type, {}, 1, pages);
    }
    // The reader takes the first picture of a file by itself: the first page is the file.
    if (pages.empty()) {
        pages.emplace_back();
    }
    pages.front() = {file, {}};
    return pages;
}

} // namespace host
