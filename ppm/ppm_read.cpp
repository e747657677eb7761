// PPM_Read: PBM, PGM and PPM files (P1 to P6) and PAM files (P7) into a 24-bit Picture. The whole
// file is read into one pool block and parsed through the bounded cursor; a large P6 file
// whose raster is already the picture's bytes is read straight into the picture.
#include <cstring>

#include "platform/dos.h"
#include "ppm/ppm_format.h"
#include "runtime/file_reader.h"
#include "runtime/globals.h"
#include "runtime/picture.h"
#include "runtime/result_codes.h"
#include "runtime/sizes.h"

namespace ppm {
namespace {

// Files smaller than this are read whole; the header of a larger one is read first.
constexpr uint64_t kDirectReadLeast = uint64_t{1} << 20U;
constexpr size_t kHeadBytes = 4096;

/* read_straight: a P6 file of maximum 255 whose header follows the format's rule to the
 * byte and whose raster fills the rest of the file exactly holds its pixels as they are:
 * they are read into the picture's block with no copy of the file. Returns -1 when the
 * file is not such a one (nothing is kept), else the code: 0, 11, 12, 13, 7. */
int32_t read_straight(const char* name, uint64_t size, Picture* pic) {
    const platform::BPTR file = platform::Open(name, platform::MODE_OLDFILE);
    if (file == 0) {
        return kCannotOpen;
    }
    uint8_t head[kHeadBytes];
    const int64_t got = platform::Read(file, head, kHeadBytes);
    PnmHeader header;
    header.digit = got >= 2 && head[0] == 'P' ? head[1] : 0;
    size_t raster_at = 0;
    uint64_t raster_bytes = 0;
    if (got != static_cast<int64_t>(kHeadBytes) || header.digit != '6' ||
        !exact_raw_layout(runtime::Cursor(head, head + got), header, raster_at, raster_bytes) ||
        header.maxval != 255 || raster_at + raster_bytes != size) {
        platform::Close(file);
        return -1;
    }
    int32_t code = runtime::check_pixel_limit(header.width, header.height);
    runtime::PoolBlock pixels;
    if (code == kOk && !pixels.allocate(raster_bytes)) {
        code = kOutOfMemory;
    }
    if (code == kOk) {
        const size_t in_head = kHeadBytes - raster_at;
        std::memcpy(pixels.bytes(), head + raster_at, in_head);
        const auto rest = static_cast<int64_t>(raster_bytes - in_head);
        if (platform::Read(file, pixels.bytes() + in_head, rest) != rest) {
            code = kShortRead;
        }
    }
    platform::Close(file);
    if (code == kOk) {
        runtime::deliver_picture(pic, pixels.release(), header.width, header.height, 24);
    }
    return code;
}

} // namespace

/* PPM_Read: grey samples fill all three bytes of a pixel, bitmap pixels become black
 * or white. Decoding stops when the picture is full or the file ends; pixels the file
 * does not reach stay black, and the host is told how many.
 * Codes: those of ReadFile (kNoFileInfoMemory, kCannotExamine, kCannotLock, kOutOfMemory,
 * kCannotOpen, kShortRead), the header's (kPpmBadMagic to kPamBadTuple), kTooManyPixels above the
 * job's pixel limit, kOutOfMemory when the pixel buffer is not granted. Allocates the file buffer
 * (freed on every path) and the pixel buffer, which passes to the host through Data on success
 * only. */
int32_t PPM_Read(const char* name, CodecRequest* request) {
    Picture* pic = request->Pic;
    runtime::clear_loaded_picture(pic);
    if (uint64_t size = 0; runtime::GetFileSize(name, &size) == kOk && size >= kDirectReadLeast) {
        if (const int32_t code = read_straight(name, size, pic); code >= 0) {
            runtime::Error = code;
            return code;
        }
    }
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
    // A PAM's opacity and its colours before they are composed onto black are kept when
    // the host asks.
    OrviExtras* extras = is_pam && pam.alpha ? runtime::wanted_extras() : nullptr;
    runtime::PoolBlock alpha;
    runtime::PoolBlock straight;
    if (extras != nullptr && (!alpha.allocate(bytes / 3) || !straight.allocate(bytes))) {
        runtime::Error = kOutOfMemory;
        return runtime::Error;
    }
    const uint64_t filled =
        is_pam ? decode_pam(pam, cursor.rest(), out, {alpha.bytes(), straight.bytes()})
               : decode_raster(header, cursor.rest(), out);
    if (extras != nullptr) {
        extras->alpha = alpha.release();
        extras->straight = straight.release();
    }
    const uint64_t total = uint64_t{header.width} * header.height;
    if (filled < total) {
        runtime::report_missing_pixels(total - filled);
    }
    runtime::deliver_picture(pic, pixels.release(), header.width, header.height, 24);
    return kOk;
}

} // namespace ppm
