// The IFF picture family's side in the library: read and written by the ilbm module, with
// the BMHD, chunk and page rules of ilbm_rules.
#include "ilbm/ilbm_host.h"

#include <cctype>

#include "ilbm/ilbm_rules.h"
#include "lib/description.h"
#include "runtime/cursor.h"
#include "runtime/result_codes.h"

namespace orvi {
namespace {

using orvi::Details;

bool ilbm_recognise(std::span<const uint8_t> head) {
    const ilbm::IffKind kind = ilbm::iff_kind(head);
    if (kind.container == platform::ID_FORM) {
        return ilbm::is_picture_form(kind.type) || kind.type == ilbm::ID_ANIM;
    }
    // A LIST or CAT: by the picture FORM inside (its type may be blank).
    if (kind.container == 0) {
        return false;
    }
    const ilbm::IlbmChunks inside = ilbm::walk_chunks(head);
    return ilbm::is_picture_form(kind.type) || inside.has_bmhd || inside.has_body;
}

std::string four_characters(uint32_t id) {
    std::string shown;
    for (const uint32_t shift : {24U, 16U, 8U, 0U}) {
        const auto c = static_cast<char>((id >> shift) & 0xFFU);
        shown += std::isprint(static_cast<unsigned char>(c)) != 0 ? c : '?';
    }
    return shown;
}

std::string ilbm_refusal(std::span<const uint8_t> head) {
    const ilbm::IffKind kind = ilbm::iff_kind(head);
    if (kind.container == 0 || ilbm::is_picture_form(kind.type) || kind.type == ilbm::ID_ANIM) {
        return "";
    }
    return "it is an IFF " + four_characters(kind.container) + " of type " +
           four_characters(kind.type) + ", which orvi does not read";
}

uint32_t ilbm_details(const Page& page, const Picture& picture, const CodecRequest& request,
                      Details& details) {
    const uint32_t mode = request.DisplayMode;
    details.push_back(text_detail("display_mode", mode == ilbm::kModeHalfBrite ? "extra half-brite"
                                                  : mode == ilbm::kModeHam6    ? "HAM6"
                                                  : mode == ilbm::kModeHam8    ? "HAM8"
                                                                               : "plain"));
    const ilbm::IlbmChunks chunks = ilbm::walk_chunks(page.bytes, page.props);
    if (chunks.form != 0 && chunks.form != ilbm::ID_ILBM) {
        std::string form = four_characters(chunks.form);
        form.erase(form.find_last_not_of(' ') + 1); // "PBM " is PBM
        details.push_back(text_detail("form", form));
    }
    if (chunks.has_bmhd) {
        details.push_back(number_detail("planes", chunks.bmhd.planes));
        details.push_back(number_detail("compression", chunks.bmhd.compression));
        details.push_back(number_detail("masking", chunks.bmhd.masking));
    }
    return picture.Depth;
}

// A DEEP picture's failure in its own terms: its DGBL, DPEL and compression.
std::string deep_explain(int32_t code, const ilbm::IlbmChunks& chunks) {
    switch (code) {
    case kIffNoBmhd:
        return with_code("the DEEP picture has no DGBL chunk giving its size", code);
    case kIffBadPlanes:
        return with_code("the DEEP picture's DPEL does not give red, green and blue elements of "
                         "8 or 16 bits each (at most 8 elements), which orvi needs",
                         code);
    case kIffBadCompression: {
        runtime::Cursor dgbl(chunks.dgbl);
        dgbl.skip(4);
        return with_code("unknown DEEP compression " + std::to_string(dgbl.be16()) +
                             " (orvi reads 0, 1, and 5 with 8-bit elements)",
                         code);
    }
    default:
        return "";
    }
}

// Why a frame's coding is not read: its ANHD's operation, or its interleave.
std::string anim_explain(int32_t code, const Page& page) {
    ilbm::IffWalk walk(page.bytes);
    for (auto step = walk.next(); ilbm::IffWalk::goes_on(step); step = walk.next()) {
        if (step == ilbm::IffWalk::Step::chunk && walk.id() == ilbm::ID_ANHD) {
            runtime::Cursor anhd(walk.data());
            const uint32_t operation = anhd.next();
            anhd.skip(17);
            const uint32_t interleave = anhd.next();
            if (operation == 5 || operation == 7 || operation == 8) {
                return with_code("its deltas apply to the frame " + std::to_string(interleave) +
                                     " back, which orvi does not follow (it follows 1 and 2)",
                                 code);
            }
            return with_code("its changes are coded with ANHD operation " +
                                 std::to_string(operation) +
                                 ", which orvi does not read (it reads 0, 5, 7 and 8)",
                             code);
        }
    }
    return "";
}

std::string ilbm_explain(int32_t code, const Page& page) {
    if (code == kIffAnimOperation) {
        return anim_explain(code, page);
    }
    const ilbm::IlbmChunks chunks = ilbm::walk_chunks(page.bytes, page.props);
    if (ilbm::is_deep_form(chunks.form)) {
        return deep_explain(code, chunks);
    }
    if (!chunks.has_bmhd) {
        return "";
    }
    switch (code) {
    case kIffBadCompression:
        return with_code(
            "unknown BMHD compression method " + std::to_string(chunks.bmhd.compression), code);
    case kIffBadPlanes:
        return with_code(
            std::to_string(chunks.bmhd.planes) +
                " bit planes, which orvi does not read (it reads 1 to 8, 24, 32 and 48)",
            code);
    default:
        return "";
    }
}

// ---- The description: texts, DPI, GRAB, aspect, CAMG, colour ranges, DEST and SPRT.

// What the first picture FORM of a page says about its picture, up to its pixel chunk;
// the BMHD's aspect when both its numbers are given.
void ilbm_describe(const Page& page, Description& description) {
    for (const std::span<const uint8_t> prop : page.props) {
        ilbm::IffWalk walk(prop, ilbm::IffWalk::Outer::prop);
        for (auto step = walk.next(); ilbm::IffWalk::goes_on(step); step = walk.next()) {
            if (step == ilbm::IffWalk::Step::chunk && walk.depth() == 1) {
                describe_iff_chunk(walk.id(), walk.data(), description);
            }
        }
    }
    ilbm::IffWalk walk(page.bytes);
    Description found = description;
    for (auto step = walk.next(); ilbm::IffWalk::goes_on(step); step = walk.next()) {
        if (step == ilbm::IffWalk::Step::enter && walk.id() == platform::ID_FORM) {
            found = description; // a FORM's own chunks, over what the PROPs said
        }
        if (step != ilbm::IffWalk::Step::chunk || walk.within() != platform::ID_FORM ||
            !ilbm::is_picture_form(walk.type())) {
            continue;
        }
        if (walk.id() == ilbm::pixel_chunk(walk.type())) {
            description = std::move(found);
            return;
        }
        if (walk.id() == ilbm::ID_BMHD && walk.data().size() >= 16) {
            const uint8_t x = walk.data()[14];
            const uint8_t y = walk.data()[15];
            if (x != 0 && y != 0 && x != y) { // a square pixel is nothing to say
                found.aspect = Pair{x, y};
            }
            continue;
        }
        describe_iff_chunk(walk.id(), walk.data(), found);
    }
}

// The description as the chunks an IFF picture holds before its BODY, in the order
// Deluxe Paint writes them; the aspect and the display mode travel in the BMHD and CAMG.
void ilbm_carry(const Description& description, std::vector<uint8_t>& chunks, OrviExtras& extras) {
    put_iff_description(description, chunks);
    if (description.aspect && description.aspect->x > 0 && description.aspect->x < 256 &&
        description.aspect->y > 0 && description.aspect->y < 256) {
        extras.aspect_x = static_cast<uint8_t>(description.aspect->x);
        extras.aspect_y = static_cast<uint8_t>(description.aspect->y);
    }
    if (description.display_mode) {
        // The modes that say how the pixels are coloured are the writer's to say: only
        // the rest (resolution, interlace, the monitor) is carried.
        constexpr uint32_t kColouringModes = 0x800U | 0x80U;
        extras.has_mode = 1;
        extras.mode = *description.display_mode & ~kColouringModes;
    }
}

// Every container and chunk of an IFF file, in file order, as far as the walk gets.
void ilbm_list_chunks(std::span<const uint8_t> file, std::vector<FileChunk>& chunks) {
    // A LIST or CAT runs to the end of the file, as its pictures are found.
    const bool form = ilbm::iff_kind(file).container == platform::ID_FORM;
    ilbm::IffWalk walk(file, form ? ilbm::IffWalk::Outer::own_size
                                  : ilbm::IffWalk::Outer::to_file_end);
    for (auto step = walk.next(); ilbm::IffWalk::goes_on(step); step = walk.next()) {
        if (step == ilbm::IffWalk::Step::leave) {
            continue;
        }
        const bool container = step == ilbm::IffWalk::Step::enter;
        std::string id = four_characters(walk.id());
        if (container) {
            id.push_back(' ');
            id += four_characters(walk.type());
        }
        // The size its header gives (a container's counts its type).
        const auto start = static_cast<size_t>(walk.start());
        runtime::Cursor header(file.subspan(std::min(start + 4, file.size())));
        chunks.push_back({id, start, header.be32(), static_cast<uint32_t>(walk.depth())});
    }
}

// Deluxe Paint's chunky FORM PBM is written as such, every other picture FORM as ILBM.
std::pair<const char*, const char*> ilbm_written_as(const Page& page) {
    return ilbm::walk_chunks(page.bytes, page.props).form == ilbm::ID_PBM
               ? std::pair{"iff-pbm", "lbm"}
               : std::pair{"ilbm", "iff"};
}

void ilbm_pack(const orvi::SaveOptions& options, const IndexedPicture* indexed,
               CodecRequest& request) {
    request.SaveMode = options.compress ? 1 : 0; // the BMHD compression byte
    request.IndexedPic = const_cast<IndexedPicture*>(indexed);
}

void chunky_pack(const orvi::SaveOptions& options, const IndexedPicture* indexed,
                 CodecRequest& request) {
    ilbm_pack(options, indexed, request);
    request.SaveMode |= ilbm::kSaveChunky;
}

} // namespace

const FormatEntry kIlbmFormat{
    .name = "ILBM",
    .extensions = {"iff", "ilbm", "lbm", nullptr},
    .module = "ilbm",
    .reads = true,
    .writes = true,
    .most_side = 65535,
    .palette_depths = kOneToEight,
    .recognise = ilbm_recognise,
    .refusal = ilbm_refusal,
    .details = ilbm_details,
    .describe = ilbm_describe,
    .list_chunks = ilbm_list_chunks,
    .carry = ilbm_carry,
    .holds_transparent_index = true,
    .holds_alpha = true,
    .explain = ilbm_explain,
    .pack = ilbm_pack,
    .pages = iff_pages,
    .animation_name = "IFF ANIM",
    .smallest_depth = true,
    .written_as = ilbm_written_as,
};

// The chunky FORM PBM of Deluxe Paint on the PC, written by the ilbm module and read
// as ILBM. It is asked for by name: .lbm files stay ILBM, as they always were.
const FormatEntry kIffPbmFormat{
    .name = "IFF-PBM",
    .extensions = {nullptr, nullptr, nullptr, nullptr},
    .module = "ilbm",
    .writes = true,
    .most_side = 65535,
    .palette_depths = kOneToEight,
    .carry = ilbm_carry,
    .holds_transparent_index = true,
    .pack = chunky_pack,
    .palette_only = true,
    .file_extension = "lbm",
};

} // namespace orvi
