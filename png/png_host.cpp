// PNG's side in the library: read and written through libpng by the library itself.
#include "png/png_host.h"

#include "png/png_chunks.h"
#include "png/png_file.h"
#include "runtime/result_codes.h"

namespace orvi {
namespace {

using orvi::Details;

constexpr std::string_view kPngSignature("\x89PNG\r\n\x1a\n", 8);

bool png_recognise(std::span<const uint8_t> head) {
    return starts_with(head, kPngSignature);
}

uint32_t png_details(const Page& page, const Picture& picture, const CodecRequest& /*request*/,
                     Details& details) {
    const std::span<const uint8_t> file = page.bytes;
    // The IHDR chunk follows the eight-byte signature: length, type, then its fields.
    if (file.size() >= 29) {
        details.push_back(number_detail("bit_depth", file[24]));
        details.push_back(text_detail("colour_type", png_colour_type_name(file[25])));
        details.push_back(text_detail("interlaced", file[28] != 0 ? "yes" : "no"));
    }
    return picture.Depth;
}

int32_t png_load(HostPool& pool, std::span<const uint8_t> file, Picture& picture,
                 std::vector<std::string>& notes, OrviGaugeRoutine gauge, OrviExtras* extras,
                 std::string& error) {
    PngHeader header;
    int32_t code = kOk;
    if (load_png(pool, file, picture, header, gauge, error, &code, extras) &&
        header.transparency && extras == nullptr) {
        notes.emplace_back("transparent pixels are shown on black");
    }
    return code;
}

void png_page_describe(const Page& page, Description& description) {
    png_describe(page.bytes, description);
}

int32_t png_save(HostPool& pool, const char* path, const Picture& picture,
                 const IndexedImage* indexed, const Carried& carried,
                 const orvi::SaveOptions& /*options*/, OrviGaugeRoutine gauge, std::string& error) {
    bool out_of_memory = false;
    if (save_png(pool, path, picture, gauge, error, indexed, &out_of_memory, &carried)) {
        return kOk;
    }
    return out_of_memory ? kOutOfMemory : orvi::kCannotWrite;
}

} // namespace

const FormatEntry kPngFormat{
    .name = "PNG",
    .priority = 1,
    .extensions = {"png", nullptr, nullptr, nullptr},
    .reads = true,
    .writes = true,
    .most_side = 0x7FFFFFFF,
    .palette_depths = kOneToEight,
    .recognise = png_recognise,
    .details = png_details,
    .describe = png_page_describe,
    .list_chunks = png_list_chunks,
    .holds_transparent_index = true,
    .holds_alpha = true,
    .load = png_load,
    .save = png_save,
};

} // namespace orvi
