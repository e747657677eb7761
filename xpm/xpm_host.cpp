// XPM's side in the library: read and written by the xpm module, with the scanner and
// values of xpm_rules.
#include "xpm/xpm_host.h"

#include "runtime/result_codes.h"
#include "xpm/xpm_rules.h"

namespace orvi {
namespace {

using orvi::Details;

bool xpm_recognise(std::span<const uint8_t> head) {
    return xpm::file_values(head).has_value();
}

uint32_t xpm_details(const Page& page, const Picture& picture, const CodecRequest& /*request*/,
                     Details& details) {
    const auto values = xpm::file_values(page.bytes);
    if (!values) {
        return picture.Depth;
    }
    details.push_back(number_detail("colours", static_cast<uint32_t>(values->colours)));
    details.push_back(number_detail("characters_per_pixel", static_cast<uint32_t>(values->cpp)));
    return 8 * static_cast<uint32_t>(values->cpp); // a pixel is that many characters
}

void xpm_pack(const orvi::SaveOptions& options, const IndexedPicture* indexed,
              CodecRequest& request) {
    request.SaveMode = options.names ? xpm::kSaveNames : 0;
    request.IndexedPic = const_cast<IndexedPicture*>(indexed); // none: the picture's colours
}

void xpm_describe(const Page& page, Description& description) {
    const auto values = xpm::file_values(page.bytes);
    if (values && values->hot_x >= 0 && values->hot_y >= 0) {
        description.hot_spot = Pair{values->hot_x, values->hot_y};
    }
}

// An XPM keeps the hot spot (in its values) and the transparent colour ("None").
void xpm_carry(const Description& description, std::vector<uint8_t>& /*chunks*/,
               OrviExtras& extras) {
    if (description.hot_spot && description.hot_spot->x >= 0 && description.hot_spot->y >= 0) {
        extras.hot_x = description.hot_spot->x;
        extras.hot_y = description.hot_spot->y;
    }
}

std::string xpm_explain(int32_t code, const Page& page) {
    const auto values = xpm::file_values(page.bytes);
    if (!values) {
        return "";
    }
    switch (code) {
    case kXpmBadCharsPerPixel:
        return with_code(
            "XPM characters per pixel " + std::to_string(values->cpp) + " outside 1..5", code);
    case kXpmBadColours:
        return with_code(
            "XPM number of colours " + std::to_string(values->colours) + " outside 1..32766", code);
    case kXpmBadWidth:
        return with_code("XPM width " + std::to_string(values->width) + " outside 1..32767", code);
    case kXpmBadHeight:
        return with_code("XPM height " + std::to_string(values->height) + " outside 1..32767",
                         code);
    default:
        return "";
    }
}

} // namespace

const FormatEntry kXpmFormat{
    .name = "XPM",
    .priority = 5,
    .extensions = {"xpm", nullptr, nullptr, nullptr},
    .module = "xpm",
    .reads = true,
    .writes = true,
    .most_side = 32767,
    .palette_depths = kOneToEight,
    .recognise = xpm_recognise,
    // A file may open with a long comment (a licence) before its values string.
    .head_bytes = 512 * 1024,
    .details = xpm_details,
    .describe = xpm_describe,
    .carry = xpm_carry,
    .holds_transparent_index = true,
    .explain = xpm_explain,
    .pack = xpm_pack,
};

} // namespace orvi
