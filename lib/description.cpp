// Texts between ISO 8859-1 and UTF-8, and the description as details.
#include "lib/description.h"

#include <algorithm>
#include <cstdio>
#include <span>
#include <vector>

namespace orvi {
namespace {

// Big-endian numbers read from the front of a chunk's data, which holds enough of them.
struct Reader {
    std::span<const uint8_t> data;
    size_t at = 0;
    uint8_t next() { return at < data.size() ? data[at++] : 0; }
    uint16_t be16() {
        const uint32_t high = next();
        return static_cast<uint16_t>(high << 8U | next());
    }
    uint32_t be32() {
        const uint32_t high = be16();
        return high << 16U | be16();
    }
    void skip(size_t count) { at += count; }
};

constexpr uint32_t make_id(const char (&id)[5]) {
    return uint32_t{static_cast<uint8_t>(id[0])} << 24U | uint32_t{static_cast<uint8_t>(id[1])} << 16U |
           uint32_t{static_cast<uint8_t>(id[2])} << 8U | static_cast<uint8_t>(id[3]);
}

constexpr uint32_t ID_NAME = make_id("NAME");
constexpr uint32_t ID_AUTH = make_id("AUTH");
constexpr uint32_t ID_COPY = make_id("(c) ");
constexpr uint32_t ID_ANNO = make_id("ANNO");
constexpr uint32_t ID_FVER = make_id("FVER");
constexpr uint32_t ID_DPI = make_id("DPI ");
constexpr uint32_t ID_GRAB = make_id("GRAB");
constexpr uint32_t ID_DEST = make_id("DEST");
constexpr uint32_t ID_SPRT = make_id("SPRT");
constexpr uint32_t ID_CRNG = make_id("CRNG");
constexpr uint32_t ID_CCRT = make_id("CCRT");
constexpr uint32_t ID_DRNG = make_id("DRNG");

// The texts of the family and the keys they are known by.
constexpr std::pair<uint32_t, const char*> kTextChunks[] = {
    {ID_NAME, "name"},       {ID_AUTH, "author"},  {ID_COPY, "copyright"},
    {ID_ANNO, "annotation"}, {ID_FVER, "version"},
};

std::string id_text(uint32_t id) {
    std::string text(4, ' ');
    for (size_t i = 0; i < 4; ++i) {
        text[i] = static_cast<char>((id >> (24U - 8U * i)) & 0xFFU);
    }
    return text;
}

constexpr uint32_t kIdCamg = make_id("CAMG");
constexpr uint32_t kIdAspect = make_id("ASPT");

void put_chunk(std::vector<uint8_t>& out, uint32_t id, std::span<const uint8_t> data) {
    for (const uint32_t word : {id, static_cast<uint32_t>(data.size())}) {
        for (const uint32_t shift : {24U, 16U, 8U, 0U}) {
            out.push_back(static_cast<uint8_t>(word >> shift));
        }
    }
    out.insert(out.end(), data.begin(), data.end());
    if ((data.size() & 1U) != 0) {
        out.push_back(0);
    }
}

void put_be(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

} // namespace

void describe_iff_chunk(uint32_t id, std::span<const uint8_t> data, Description& description) {
    Reader at{data};
    for (const auto& [text_id, key] : kTextChunks) {
        if (id == text_id) {
            const std::string value = latin1_to_utf8(
                std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
            if (!value.empty()) {
                description.texts.push_back({key, value});
            }
            return;
        }
    }
    switch (id) {
    case ID_DPI:
        if (data.size() >= 4) {
            const uint16_t x = at.be16();
            const uint16_t y = at.be16();
            if (x != 0 && y != 0) {
                description.dpi = Pair{x, y};
            }
        }
        break;
    case ID_GRAB:
        if (data.size() >= 4) {
            const auto x = static_cast<int16_t>(at.be16());
            const auto y = static_cast<int16_t>(at.be16());
            description.hot_spot = Pair{x, y};
        }
        break;
    case kIdCamg:
        if (data.size() >= 4) {
            if (const uint32_t mode = at.be32(); mode != 0) {
                description.display_mode = mode;
            }
        }
        break;
    case ID_CRNG:
        if (data.size() >= 8) {
            at.skip(2);
            ColourRange range;
            range.rate = at.be16();
            const uint16_t flags = at.be16();
            range.active = (flags & 1U) != 0;
            range.reverse = (flags & 2U) != 0;
            range.low = at.next();
            range.high = at.next();
            description.ranges.push_back(range);
        }
        break;
    case ID_CCRT:
        if (data.size() >= 12) {
            ColourRange range;
            range.kind = ColourRange::Kind::ccrt;
            const auto direction = static_cast<int16_t>(at.be16());
            range.active = direction != 0;
            range.reverse = direction < 0;
            range.low = at.next();
            range.high = at.next();
            const uint32_t seconds = at.be32();
            const uint32_t microseconds = at.be32();
            range.rate = static_cast<uint32_t>(
                std::min<uint64_t>(uint64_t{seconds} * 1000000U + microseconds, UINT32_MAX));
            description.ranges.push_back(range);
        }
        break;
    case ID_DRNG:
        if (data.size() >= 8) {
            ColourRange range;
            range.kind = ColourRange::Kind::drng;
            range.low = at.next();
            range.high = at.next();
            range.rate = at.be16();
            range.active = (at.be16() & 1U) != 0;
            range.cells.assign(data.begin() + 6, data.end());
            description.ranges.push_back(range);
        }
        break;
    case ID_DEST:
    case ID_SPRT:
        description.iff_chunks.push_back({id_text(id), {data.begin(), data.end()}});
        break;
    default:
        break;
    }
}


void put_iff_description(const Description& description, std::vector<uint8_t>& chunks,
                         bool with_header) {
    for (const auto& [id, key] : kTextChunks) {
        for (const Text& text : description.texts) {
            if (text.key == key && !with_header) {
                std::string latin1;
                (void)utf8_to_latin1(text.value, latin1);
                put_chunk(chunks, id,
                          {reinterpret_cast<const uint8_t*>(latin1.data()), latin1.size()});
            }
        }
    }
    std::vector<uint8_t> data;
    if (with_header && description.aspect) {
        put_be(data, static_cast<uint32_t>(description.aspect->x), 2);
        put_be(data, static_cast<uint32_t>(description.aspect->y), 2);
        put_chunk(chunks, kIdAspect, data);
    }
    if (with_header && description.display_mode) {
        data.clear();
        put_be(data, *description.display_mode, 4);
        put_chunk(chunks, kIdCamg, data);
    }
    if (description.dpi && !with_header) {
        data.clear();
        put_be(data, static_cast<uint32_t>(description.dpi->x), 2);
        put_be(data, static_cast<uint32_t>(description.dpi->y), 2);
        put_chunk(chunks, ID_DPI, data);
    }
    if (description.hot_spot) {
        data.clear();
        put_be(data, static_cast<uint32_t>(description.hot_spot->x), 2);
        put_be(data, static_cast<uint32_t>(description.hot_spot->y), 2);
        put_chunk(chunks, ID_GRAB, data);
    }
    for (const Description::Chunk& chunk : description.iff_chunks) {
        if (chunk.id.size() == 4) {
            put_chunk(chunks, make_id({chunk.id[0], chunk.id[1], chunk.id[2], chunk.id[3], 0}),
                      chunk.data);
        }
    }
    for (const ColourRange& range : description.ranges) {
        data.clear();
        switch (range.kind) {
        case ColourRange::Kind::crng:
            put_be(data, 0, 2);
            put_be(data, range.rate, 2);
            put_be(data, (range.active ? 1U : 0U) | (range.reverse ? 2U : 0U), 2);
            data.push_back(range.low);
            data.push_back(range.high);
            put_chunk(chunks, ID_CRNG, data);
            break;
        case ColourRange::Kind::ccrt:
            put_be(data, !range.active ? 0U : range.reverse ? 0xFFFFU : 1U, 2);
            data.push_back(range.low);
            data.push_back(range.high);
            put_be(data, range.rate / 1000000U, 4);
            put_be(data, range.rate % 1000000U, 4);
            put_be(data, 0, 2);
            put_chunk(chunks, ID_CCRT, data);
            break;
        case ColourRange::Kind::drng:
            data.push_back(range.low);
            data.push_back(range.high);
            put_be(data, range.rate, 2);
            put_be(data, range.active ? 1U : 0U, 2);
            data.insert(data.end(), range.cells.begin(), range.cells.end());
            put_chunk(chunks, ID_DRNG, data);
            break;
        }
    }
}

void describe_iff_chunks(std::span<const uint8_t> chunks, Description& description) {
    Reader at{chunks};
    while (chunks.size() - std::min(at.at, chunks.size()) >= 8) {
        const uint32_t id = at.be32();
        const uint32_t size = at.be32();
        if (chunks.size() - at.at < size) {
            return;
        }
        const std::span<const uint8_t> data = chunks.subspan(at.at, size);
        at.skip(size + (size & 1U));
        if (id == kIdAspect && size >= 4) {
            Reader aspect{data};
            const uint16_t x = aspect.be16();
            const uint16_t y = aspect.be16();
            if (x != 0 && y != 0 && x != y) {
                description.aspect = Pair{x, y};
            }
        } else {
            describe_iff_chunk(id, data, description);
        }
    }
}

std::string latin1_to_utf8(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0) {
            break;
        }
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0U | (byte >> 6U));
            out += static_cast<char>(0x80U | (byte & 0x3FU));
        }
    }
    return out;
}

bool utf8_to_latin1(std::string_view text, std::string& out) {
    out.clear();
    bool all = true;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            out += text[i];
            continue;
        }
        // A two-byte sequence of U+0080..U+00FF has a place; anything else does not.
        if ((byte == 0xC2 || byte == 0xC3) && i + 1 < text.size() &&
            (static_cast<unsigned char>(text[i + 1]) & 0xC0U) == 0x80U) {
            out += static_cast<char>(((byte & 0x03U) << 6U) |
                                     (static_cast<unsigned char>(text[i + 1]) & 0x3FU));
            ++i;
            continue;
        }
        all = false;
        out += '?';
        while (i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xC0U) == 0x80U) {
            ++i;
        }
    }
    return all;
}

std::string range_text(const ColourRange& range) {
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.2f", range.steps_a_second());
    std::string steps = rate;
    while (steps.find('.') != std::string::npos && (steps.back() == '0' || steps.back() == '.')) {
        steps.pop_back();
    }
    std::string text = "registers " + std::to_string(range.low) + "-" + std::to_string(range.high) +
                       ", " + steps + " steps a second, " + (range.reverse ? "reverse" : "forward");
    if (!range.live()) {
        text += ", not cycling";
    }
    return text;
}

} // namespace orvi
