// Pages of DCX and IFF files, found through the bounded cursor in one walk; every offset
// and size is checked against the file before it is used.
#include "lib/pages.h"

#include <algorithm>

#include "ilbm/ilbm_rules.h"
#include "runtime/cursor.h"

namespace host {
namespace {

constexpr size_t kDcxTableEntries = 1024;
constexpr uint8_t kPad[1] = {0};

void put_be32(uint8_t* out, uint32_t value) {
    for (const uint32_t shift : {24U, 16U, 8U, 0U}) {
        *out++ = static_cast<uint8_t>(value >> shift);
    }
}

} // namespace

PageFile::PageFile(const Page& page) {
    if (page.props.empty()) {
        segments_.push_back({page.bytes.data(), page.bytes.size()});
        return;
    }
    // A LIST of the PROPs and the FORM, each padded to even length.
    uint64_t length = 4;
    segments_.push_back({header_.data(), header_.size()});
    for (const auto& piece : page.props) {
        segments_.push_back({piece.data(), piece.size()});
        if ((piece.size() & 1U) != 0) {
            segments_.push_back({kPad, 1});
        }
        length += piece.size() + (piece.size() & 1U);
    }
    segments_.push_back({page.bytes.data(), page.bytes.size()});
    length += page.bytes.size();
    std::copy_n("LIST", 4, header_.begin());
    put_be32(header_.data() + 4, static_cast<uint32_t>(std::min<uint64_t>(length, UINT32_MAX)));
    put_be32(header_.data() + 8, page.list_type);
}

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

} // namespace host
