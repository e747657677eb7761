// PPM_Save: a Picture as a PPM (or PGM for one byte per pixel), raw or plain samples.
// Allocates nothing: plain text is built in a buffer on the stack.
#include <algorithm>
#include <array>
#include <string_view>

#include "platform/dos.h"
#include "ppm/ppm_format.h"
#include "runtime/file_sink.h"
#include "runtime/records.h"
#include "runtime/result_codes.h"
#include "runtime/sizes.h"

namespace ppm {
namespace {

constexpr size_t kSinkBytes = 64 * 1024;
constexpr size_t kPlainChunk = 4096;
static_assert(plain_text_bound(kPlainChunk) <= kSinkBytes);

// The header: magic line, comment line, "W H", maximum 255. Returns its length.
size_t build_header(std::span<uint8_t, 64> out, uint8_t digit, uint32_t width, uint32_t height) {
    static constexpr std::string_view kComment = "\n#Created with Orvi\n";
    static constexpr std::string_view kMaximum = "\n255\n";
    uint8_t* pos = out.data();
    *pos++ = 'P';
    *pos++ = digit;
    pos = std::copy(kComment.begin(), kComment.end(), pos);
    pos += runtime::put_decimal(pos, width);
    *pos++ = ' ';
    pos += runtime::put_decimal(pos, height);
    pos = std::copy(kMaximum.begin(), kMaximum.end(), pos);
    return static_cast<size_t>(pos - out.data());
}

void write_plain(runtime::FileSink& sink, std::span<const uint8_t> samples) {
    for (size_t done = 0; done < samples.size(); done += kPlainChunk) {
        const auto chunk = samples.subspan(done, std::min(kPlainChunk, samples.size() - done));
        uint8_t* out = sink.reserve(plain_text_bound(chunk.size()));
        sink.commit(encode_plain(chunk, done, samples.size(), out));
    }
}

} // namespace

/* PPM_Save: magic P6/P5 when SaveMode is nonzero (raw), P3/P2 otherwise; P5 and P2
 * for one byte per pixel. Maximum sample value 255.
 * Codes: kPpmBadWidth width or kPpmBadHeight height above 32767 (read unsigned; nothing is opened),
 * kCannotOpen the file cannot be created, kShortWrite a write transferred fewer bytes than asked.
 */
int32_t PPM_Save(const char* name, CodecRequest* request) {
    const Picture* pic = request->Pic;
    const auto width = static_cast<uint32_t>(pic->Width);
    const auto height = static_cast<uint32_t>(pic->Height);
    if (width > kMaxSide) {
        return kPpmBadWidth;
    }
    if (height > kMaxSide) {
        return kPpmBadHeight;
    }
    const bool raw = request->SaveMode != 0;
    const bool grey = pic->BytesPerPixel == 1;
    const uint8_t digit = raw ? (grey ? '5' : '6') : (grey ? '2' : '3');

    const platform::BPTR file = platform::Open(name, platform::MODE_NEWFILE);
    if (file == 0) {
        return kCannotOpen;
    }
    std::array<uint8_t, kSinkBytes> buffer;
    runtime::FileSink sink(file, buffer);
    std::array<uint8_t, 64> header{};
    sink.put(std::span<const uint8_t>(header.data(), build_header(header, digit, width, height)));

    const uint64_t count = runtime::size_mul(width, height, pic->BytesPerPixel);
    const std::span<const uint8_t> samples(pic->Data, count);
    if (raw) {
        sink.put(samples);
    } else {
        write_plain(sink, samples);
    }
    sink.flush();
    platform::Close(file);
    return sink.failed() ? kShortWrite : kOk;
}

} // namespace ppm
