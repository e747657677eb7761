// The PNM family's side in the library: PNM read and written by the ppm module with the
// header rules of ppm_rules, and PAM and PBM written by the library's own writers.
#include "ppm/ppm_host.h"

#include "ppm/ppm_host_write.h"
#include "ppm/ppm_rules.h"
#include "runtime/cursor.h"
#include "runtime/result_codes.h"

namespace orvi {
namespace {

using orvi::Details;

bool pnm_recognise(std::span<const uint8_t> head) {
    return head.size() >= 2 && head[0] == 'P' && head[1] >= '1' && head[1] <= '7';
}

uint32_t pnm_details(const Page& page, const Picture& picture, const CodecRequest& /*request*/,
                     Details& details) {
    const std::span<const uint8_t> file = page.bytes;
    runtime::Cursor cursor(file);
    if (starts_with(file, "P7")) {
        ppm::PamHeader pam;
        if (ppm::parse_pam_header(cursor, pam) != kOk) {
            return picture.Depth;
        }
        details.push_back(text_detail("kind", "PAM"));
        details.push_back(text_detail("tuple_type", pam.tuple_type));
        details.push_back(number_detail("depth", pam.depth));
        details.push_back(number_detail("maximum", pam.maxval));
        return pam.depth * (pam.maxval > 255 ? 16 : 8);
    }
    ppm::PnmHeader header;
    if (ppm::parse_header(cursor, header) != kOk) {
        return picture.Depth;
    }
    details.push_back(text_detail("kind", ppm::kind_name(header)));
    details.push_back(number_detail("maximum", header.maxval));
    return ppm::file_bits_per_pixel(header);
}

std::string pnm_explain(int32_t code, const Page& page) {
    const std::span<const uint8_t> file = page.bytes;
    runtime::Cursor cursor(file);
    ppm::PnmHeader header;
    if (starts_with(file, "P7")) {
        ppm::PamHeader pam;
        if (ppm::parse_pam_header(cursor, pam) != code) {
            return "";
        }
        header.width = pam.width;
        header.height = pam.height;
        header.maxval = pam.maxval;
        if (code == kPamBadTuple) {
            return with_code("the PAM tuple type '" + std::string(pam.tuple_type) +
                                 "' with depth " + std::to_string(pam.depth) +
                                 " is not one orvi reads",
                             code);
        }
    } else if (ppm::parse_header(cursor, header) != code) {
        return "";
    }
    switch (code) {
    case kPpmBadWidth:
        return with_code("the width " + std::to_string(header.width) + " is outside 1..32767",
                         code);
    case kPpmBadHeight:
        return with_code("the height " + std::to_string(header.height) + " is outside 1..32767",
                         code);
    case kPpmBadMaxval:
        return header.maxval == 0
                   ? ""
                   : with_code("the maximum sample value " + std::to_string(header.maxval) +
                                   " is outside 1..65535",
                               code);
    default:
        return "";
    }
}

// P1 and P4 are bitmaps, P2 and P5 grey, P7 PAM, the others colour.
std::pair<const char*, const char*> pnm_written_as(const Page& page) {
    const uint8_t kind = page.bytes.size() >= 2 ? page.bytes[1] : '6';
    return kind == '1' || kind == '4'   ? std::pair{"pbm", "pbm"}
           : kind == '2' || kind == '5' ? std::pair{"pgm", "pgm"}
           : kind == '7'                ? std::pair{"pam", "pam"}
                                        : std::pair{"ppm", "ppm"};
}

void pnm_pack(const orvi::SaveOptions& options, const IndexedPicture* /*indexed*/,
              CodecRequest& request) {
    request.SaveMode = options.plain ? 0 : 1; // raw samples unless plain
}

} // namespace

const FormatEntry kPnmFormat{
    .name = "PNM",
    .priority = 3,
    .extensions = {"ppm", "pgm", "pnm", nullptr},
    .grey_extension = "pgm",
    .module = "ppm",
    .reads = true,
    .writes = true,
    .most_side = 32767,
    .side_is_writers = true,
    .recognise = pnm_recognise,
    .details = pnm_details,
    .explain = pnm_explain,
    .pack = pnm_pack,
    .plain = true,
    .written_as = pnm_written_as,
};

// Two portable formats the ppm module does not write: PAM, which PNM reads, and PBM,
// PNM's P1 and P4.
const FormatEntry kPamFormat{
    .name = "PAM",
    .extensions = {"pam", nullptr, nullptr, nullptr},
    .writes = true,
    .most_side = 32767,
    .holds_alpha = true,
    .save = pam_save,
};

const FormatEntry kPbmFormat{
    .name = "PBM",
    .extensions = {"pbm", nullptr, nullptr, nullptr},
    .grey_extension = "pbm",
    .writes = true,
    .most_side = 32767,
    .save = pbm_save,
    .bitmap = true,
    .plain = true,
};

} // namespace orvi
