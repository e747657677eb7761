// A PNG's texts, resolution and private chunk, walked in its bytes through the bounded
// cursor; compressed texts are inflated to at most kMostText bytes.
#include "png/png_chunks.h"

#include <string>
#include <string_view>
#include <zlib.h>

#include "lib/description.h"
#include "runtime/cursor.h"

namespace orvi {
namespace {

constexpr size_t kSignatureBytes = 8;
constexpr size_t kMostText = size_t{1} << 20U; // a text inflated past this is cut

// Our key for a PNG keyword.
std::string our_key(std::string_view keyword) {
    for (const auto& [ours, theirs] : kPngKeywords) {
        if (keyword == theirs) {
            return ours;
        }
    }
    return std::string(keyword);
}

// zlib data inflated, at most kMostText bytes of it; empty when it is damaged.
std::string inflated(std::span<const uint8_t> data) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        return {};
    }
    std::string out;
    std::string buffer(64 * 1024, '\0');
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    int status = Z_OK;
    while (status == Z_OK && out.size() < kMostText) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
        stream.avail_out = static_cast<uInt>(buffer.size());
        status = inflate(&stream, Z_NO_FLUSH);
        out.append(buffer.data(), buffer.size() - stream.avail_out);
        if (stream.avail_out == buffer.size() && status == Z_OK) {
            break; // no progress
        }
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END && out.size() < kMostText) {
        return {};
    }
    return out.substr(0, kMostText);
}

std::string_view as_text(std::span<const uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

void add_text(Description& description, std::string_view keyword, std::string value) {
    if (!keyword.empty() && !value.empty()) {
        description.texts.push_back({our_key(keyword), std::move(value)});
    }
}

// A tEXt, zTXt or iTXt chunk's text.
void read_text(uint32_t type, std::span<const uint8_t> data, Description& description) {
    const std::string_view all = as_text(data);
    const size_t end = all.find('\0');
    if (end == std::string_view::npos || end == 0 || end > 79) {
        return;
    }
    const std::string_view keyword = all.substr(0, end);
    const std::span<const uint8_t> rest = data.subspan(end + 1);
    if (type == 0x74455874U) { // tEXt
        add_text(description, keyword, latin1_to_utf8(as_text(rest)));
    } else if (type == 0x7A545874U) { // zTXt: a method byte, then zlib data
        if (!rest.empty() && rest[0] == 0) {
            add_text(description, keyword, latin1_to_utf8(inflated(rest.subspan(1))));
        }
    } else { // iTXt: compressed, method, language\0, translated keyword\0, UTF-8 text
        if (rest.size() < 2) {
            return;
        }
        const bool compressed = rest[0] != 0;
        std::string_view tail = as_text(rest.subspan(2));
        for (int skip = 0; skip < 2; ++skip) {
            const size_t zero = tail.find('\0');
            if (zero == std::string_view::npos) {
                return;
            }
            tail.remove_prefix(zero + 1);
        }
        const std::span<const uint8_t> text = rest.subspan(rest.size() - tail.size());
        add_text(description, keyword,
                 compressed ? (rest[1] == 0 ? inflated(text) : std::string()) : std::string(tail));
    }
}

} // namespace

void png_list_chunks(std::span<const uint8_t> file, std::vector<FileChunk>& chunks) {
    if (file.size() < kSignatureBytes) {
        return;
    }
    runtime::Cursor at(file.subspan(kSignatureBytes));
    while (at.remaining() >= 12) {
        const uint64_t offset = file.size() - at.remaining();
        const uint32_t size = at.be32();
        const std::span<const uint8_t> type = at.take(4);
        std::string id;
        for (const uint8_t c : type) {
            id += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
        }
        chunks.push_back({id, offset, size, 0});
        if (at.remaining() < uint64_t{size} + 4 || id == "IEND") {
            return;
        }
        at.skip(uint64_t{size} + 4);
    }
}

std::vector<uint8_t> iff_private_chunk(const Description& description) {
    std::vector<uint8_t> chunks;
    put_iff_description(description, chunks, true);
    return chunks;
}

void png_describe(std::span<const uint8_t> file, Description& description) {
    if (file.size() < kSignatureBytes) {
        return;
    }
    runtime::Cursor at(file.subspan(kSignatureBytes));
    std::optional<Pair> aspect_from_phys;
    while (at.remaining() >= 12) {
        const uint32_t size = at.be32();
        const uint32_t type = at.be32();
        if (at.remaining() < uint64_t{size} + 4) {
            break;
        }
        const std::span<const uint8_t> data = at.take(size);
        at.skip(4); // the CRC
        switch (type) {
        case 0x74455874U: // tEXt
        case 0x7A545874U: // zTXt
        case 0x69545874U: // iTXt
            read_text(type, data, description);
            break;
        case 0x70485973U: { // pHYs: pixels a unit across and down, and the unit
            if (size < 9) {
                break;
            }
            runtime::Cursor phys(data);
            const uint32_t x = phys.be32();
            const uint32_t y = phys.be32();
            const uint8_t unit = phys.next();
            if (x == 0 || y == 0 || x > INT32_MAX || y > INT32_MAX) {
                break;
            }
            if (unit == 1) {
                const auto dpi = [](uint32_t per_metre) {
                    return static_cast<int32_t>(per_metre * 0.0254 + 0.5);
                };
                description.dpi = Pair{dpi(x), dpi(y)};
            } else if (x != y) {
                aspect_from_phys = Pair{static_cast<int32_t>(y), static_cast<int32_t>(x)};
            }
            break;
        }
        case 0x696C424DU: // ilBM
            describe_iff_chunks(data, description);
            break;
        case 0x49454E44U: // IEND
            return;
        default:
            break;
        }
    }
    if (!description.aspect && aspect_from_phys) {
        description.aspect = aspect_from_phys;
    }
}

} // namespace orvi
