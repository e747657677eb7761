// The pool wrappers every module exports, and PoolBlock, the owner of one pool block.
// All module memory comes from the host's pool through these.
#pragma once

#include <cstdint>

#include "platform/host_abi.h"
#include "runtime/export.h"

extern "C" {
// A zero-filled block from the host's pool, or nullptr when there is no pool or the
// pool refuses.
ORVI_EXPORT void* AllocVecPooledPPC(uint64_t size);
// Returns a block to the host's pool; does nothing when there is no pool.
ORVI_EXPORT void FreeVecPooledPPC(void* block);
}

namespace runtime {

/* check_pixel_limit: a reader asks before it allocates its pixels. kOk when the job's
 * pixel limit (the pool handle's max_pixels; 0 or no pool: none) allows width x
 * height pixels; otherwise kTooManyPixels, with the declared size in the handle's
 * report, so that the host can say what was refused. */
[[nodiscard]] int32_t check_pixel_limit(uint64_t width, uint64_t height);

/* Readers that keep their lenient loading (a picture with what the data holds, code 0)
 * tell the host what the data did not give, in the pool handle's report: pixels it did
 * not reach, colours whose value names no known colour, pixels whose code no colour
 * defines. Nothing is reported without a pool. */
void report_missing_pixels(uint64_t count);
void report_unknown_colours(uint32_t colours, uint32_t codes);
// Pixels whose index lies past the palette the file gives (they are black), and the rows
// the palettes changing line by line reach when they end before the picture does.
void report_pixels_past_palette(uint64_t count);
void report_short_line_palettes(uint32_t rows_given);

// What the host asked a job to carry beside the pixels, or nullptr: a reader fills it
// only when it delivers its picture, a writer reads what the host put there.
[[nodiscard]] OrviExtras* wanted_extras();
// The animation whose frame the job reads, or null for a picture of its own.
[[nodiscard]] OrviFrames* animation_frames();

// Owns one pool block and frees it when the scope ends, unless it was released.
class PoolBlock {
public:
    PoolBlock() = default;
    explicit PoolBlock(uint64_t size) : block_(AllocVecPooledPPC(size)) {}
    ~PoolBlock() { reset(); }
    PoolBlock(const PoolBlock&) = delete;
    PoolBlock& operator=(const PoolBlock&) = delete;

    // Frees the current block (if any) and takes a new one of `size` bytes.
    [[nodiscard]] bool allocate(uint64_t size) {
        reset();
        block_ = AllocVecPooledPPC(size);
        return block_ != nullptr;
    }
    void reset() {
        if (block_ != nullptr) {
            FreeVecPooledPPC(block_);
            block_ = nullptr;
        }
    }
    // Hands the block over; this owner forgets it.
    [[nodiscard]] uint8_t* release() {
        auto* block = static_cast<uint8_t*>(block_);
        block_ = nullptr;
        return block;
    }
    [[nodiscard]] uint8_t* bytes() const { return static_cast<uint8_t*>(block_); }
    explicit operator bool() const { return block_ != nullptr; }

private:
    void* block_ = nullptr;
};

} // namespace runtime
