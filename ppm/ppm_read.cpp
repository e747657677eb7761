// PPM_Read: PBM, PGM and PPM files (P1 to P6) and PAM files (P7) into a 24-bit Picture. The whole
// file is read into one pool block and parsed through the bounded cursor.
#include "ppm/ppm_format.h"
#include "runtime/file_reader.h"
#include "runtime/globals.h"
#include "runtime/picture.h"
#include "runtime/result_codes.h"
#include "runtime/sizes.h"

namespace ppm {

/* PPM_Read: grey samples fill all three bytes of a pixel, bitmap pixels become black
 * or white. Decoding stops when the picture is full or the file ends; pixels the file
 * does not reach stay black, and the host is told how many.
 * Codes: those of ReadFile (2, 4, 5, 7, 11, 12), the header's (1002..1008), 13 above
 * the job's pixel limit, 7 when the pixel buffer is not granted. Allocates the file buffer (freed
 * on every path) and the pixel buffer, which passes to the host through Data on success only. */
int32_t PPM_Read(const char* name, CodecRequest* request) {
    Picture* pic = request->Pic;
    runtime::clear_loaded_picture(pic);
    runtime::PoolBlock file;
    if (runtime::ReadFile(name, file) != kOk) {
        return runtime::Error;
    }
    runtime::Cursor cursor = runtime::file_cursor();
    PnmHeader header;
    PamHeader pam;
    const bool is_pam = cursor.peek() == 'P' && cursor.peek_at(1) == '7';
    runtime::Error = is_pam ? parse_pam_header(cursor, pam) : parse_header(cursor, header);
    if (runtime::Error != kOk) {
        return runtime::Error;
    }
    if (is_pam) {
        header.width = pam.width;
        header.height = pam.height;
    }
    runtime::Error = runtime::check_pixel_limit(header.width, header.height);
    if (runtime::Error != kOk) {
        return runtime::Error;
    }
    const uint64_t bytes = runtime::size_mul(header.width, header.height, 3);
    runtime::PoolBlock pixels;
    if (!pixels.allocate(bytes)) {
        runtime::Error = kOutOfMemory;
        return runtime::Error;
    }
    const std::span<uint8_t> out(pixels.bytes(), bytes);
    const uint64_t filled =
        is_pam ? decode_pam(pam, cursor.rest(), out) : decode_raster(header, cursor.rest(), out);
    const uint64_t total = uint64_t{header.width} * header.height;
    if (filled < total) {
        runtime::report_missing_pixels(total - filled);
    }
    runtime::deliver_picture(pic, pixels.release(), header.width, header.height, 24);
    return kOk;
}

} // namespace ppm
