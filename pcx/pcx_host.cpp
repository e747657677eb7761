// PCX's side in the library, and DCX's (PCX pages behind a table of offsets): read and
// written by the pcx module, with the header, stream and palette rules of pcx_rules.
#include "pcx/pcx_host.h"

#include "pcx/pcx_rules.h"
#include "runtime/result_codes.h"

namespace orvi {
namespace {

using orvi::Details;

bool pcx_recognise(std::span<const uint8_t> head) {
    return !head.empty() && head[0] == pcx::kManufacturer;
}

uint32_t pcx_details(const Page& page, const Picture& picture, const CodecRequest& /*request*/,
                     Details& details) {
    const std::span<const uint8_t> file = page.bytes;
    if (file.size() < pcx::kHeaderBytes) {
        return picture.Depth;
    }
    const pcx::PCXHeader header = pcx::GetPCXHeader(file.first<pcx::kHeaderBytes>());
    details.push_back(number_detail("version", header.Version));
    details.push_back(number_detail("bits", header.BitsPerPixel));
    details.push_back(number_detail("planes", header.NumPlanes));
    details.push_back(
        number_detail("colour_type", static_cast<uint32_t>(pcx::colour_type(header))));
    static constexpr const char* kSources[] = {"256-colour trailer", "black and white", "EGA",
                                               "header"};
    // The reader colours a picture of at most 8 bits a pixel through a palette.
    const bool palette_mode = uint32_t{header.BitsPerPixel} * header.NumPlanes <= 8;
    details.push_back(text_detail(
        "palette",
        palette_mode ? kSources[static_cast<size_t>(pcx::loaded_palette_source(file))] : "none"));
    return uint32_t{header.BitsPerPixel} * header.NumPlanes;
}

std::string pcx_explain(int32_t code, const Page& page) {
    const std::span<const uint8_t> file = page.bytes;
    if (file.size() < pcx::kHeaderBytes) {
        return "";
    }
    const pcx::PCXHeader header = pcx::GetPCXHeader(file.first<pcx::kHeaderBytes>());
    switch (code) {
    case kPcxBadEncoding:
        return with_code("unknown PCX encoding " + std::to_string(header.Encoding), code);
    case kPcxBadBitsPerPixel:
        return with_code("PCX bits per pixel are " + std::to_string(header.BitsPerPixel) +
                             ", not 1, 2, 4 or 8",
                         code);
    case kPcxBadPlanes:
        return with_code(std::to_string(header.NumPlanes) + " colour planes of " +
                             std::to_string(header.BitsPerPixel) +
                             " bits, which orvi does not read",
                         code);
    default:
        return "";
    }
}

void pcx_pack(const orvi::SaveOptions& /*options*/, const IndexedPicture* indexed,
              CodecRequest& request) {
    // The PCX writer takes its IndexedPicture in SaveMode; none means true colour.
    request.SaveMode = reinterpret_cast<uintptr_t>(indexed);
}

// A DCX page is a PCX file.
std::pair<const char*, const char*> dcx_written_as(const Page& /*page*/) {
    return {"pcx", "pcx"};
}

} // namespace

const FormatEntry kPcxFormat{
    .name = "PCX",
    .priority = 4,
    .extensions = {"pcx", nullptr, nullptr, nullptr},
    .module = "pcx",
    .reads = true,
    .writes = true,
    .most_side = 65535,
    .palette_depths = depths({1, 2, 4, 8}),
    .recognise = pcx_recognise,
    .details = pcx_details,
    .explain = pcx_explain,
    .pack = pcx_pack,
    .smallest_depth = true,
};

// PCX pages behind a table of offsets, each read by the pcx module as a file of its own.
const FormatEntry kDcxFormat{
    .name = "DCX",
    .priority = 2,
    .extensions = {"dcx", nullptr, nullptr, nullptr},
    .module = "pcx",
    .reads = true,
    .recognise = is_dcx,
    .details = pcx_details,
    .explain = pcx_explain,
    .pages = dcx_pages,
    .written_as = dcx_written_as,
};

} // namespace orvi
