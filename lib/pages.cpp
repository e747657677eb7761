// A page of a file holding several pictures, as the file its module reads.
#include "lib/pages.h"

#include <algorithm>

#include "runtime/cursor.h"

namespace orvi {
namespace {

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

} // namespace orvi
