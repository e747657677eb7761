// Fuzz target: the PCX run-length packer and unpacker. Any bytes packed and unpacked in
// lines of any length give the bytes back; the packer never writes past twice the input;
// the unpacker on arbitrary data never reads or writes outside its spans.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "pcx/pcx_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> packed(2 * size + 2, 0xA5);
    const size_t length = pcx::EncodeRLE({data, size}, packed.data());
    FUZZ_CHECK(length <= 2 * size && packed[2 * size] == 0xA5);
    pcx::RleDecoder stream({packed.data(), length});
    std::vector<uint8_t> unpacked(size);
    FUZZ_CHECK(stream.DecodeRLE(unpacked) == size);
    FUZZ_CHECK(size == 0 || std::memcmp(unpacked.data(), data, size) == 0);

    // Arbitrary data as a stream, in lines of a length the first byte chooses.
    const size_t line = size == 0 ? 1 : 1 + data[0] % 97;
    pcx::RleDecoder raw({data, size});
    std::vector<uint8_t> out(line);
    while (raw.DecodeRLE(out) == line) {
        FUZZ_CHECK(raw.position() <= size);
    }
    return 0;
}
