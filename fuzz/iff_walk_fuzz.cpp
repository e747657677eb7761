// Fuzz target: the iffparse stand-in's walk alone. Any bytes as an IFF file: the parse
// ends with 0 or an IFF error, a stored property and the stop chunk never claim more
// than the file holds, reading the chunk never delivers more than its size, and the
// handle and file are released.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/iffparse.h"
#include "platform/seams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace platform;
    constexpr uint32_t kIlbm = MAKE_ID('I', 'L', 'B', 'M');
    seam::set_memory_file("fuzz:iff", data, size);
    IFFHandle* iff = AllocIFF();
    FUZZ_CHECK(iff != nullptr);
    const BPTR file = Open("fuzz:iff", MODE_OLDFILE);
    SetIFFStream(iff, file);
    InitIFFasDOS(iff);
    FUZZ_CHECK(OpenIFF(iff, IFFF_READ) == 0);
    (void)PropChunk(iff, kIlbm, MAKE_ID('B', 'M', 'H', 'D'));
    (void)PropChunk(iff, kIlbm, MAKE_ID('C', 'M', 'A', 'P'));
    (void)StopChunk(iff, kIlbm, MAKE_ID('B', 'O', 'D', 'Y'));
    const int32_t code = ParseIFF(iff, IFFPARSE_SCAN);
    FUZZ_CHECK(code <= 0 && code >= IFFERR_NOTIFF);
    if (code == 0) {
        const ContextNode* body = CurrentChunk(iff);
        FUZZ_CHECK(body != nullptr && body->cn_Size >= 0 &&
                   static_cast<size_t>(body->cn_Size) <= size);
        if (const StoredProperty* bmhd = FindProp(iff, kIlbm, MAKE_ID('B', 'M', 'H', 'D'))) {
            FUZZ_CHECK(bmhd->sp_Size >= 0 && static_cast<size_t>(bmhd->sp_Size) <= size);
        }
        std::vector<uint8_t> buffer(static_cast<size_t>(body->cn_Size) + 16);
        const int32_t got = ReadChunkBytes(iff, buffer.data(), static_cast<int32_t>(buffer.size()));
        FUZZ_CHECK(got <= body->cn_Size);
    }
    CloseIFF(iff);
    Close(file);
    FreeIFF(iff);
    FUZZ_CHECK(seam::live_iff_handles() == 0 && seam::live_dos_objects() == 0);
    seam::reset();
    return 0;
}
