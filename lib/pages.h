// A picture of a file that holds several (its format's `pages` find them), read by the
// format's module as a file of its own kind made of pieces of the file, nothing copied.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/host_abi.h"

namespace orvi {

// A page: the bytes of a whole file of one picture, or of a FORM that takes the PROPs of
// the LISTs around it (`props`, pieces of the same file; `list_type` the innermost LIST's
// type). Pages share those pieces: nothing is copied.
struct Page {
    std::span<const uint8_t> bytes;
    std::vector<std::span<const uint8_t>> props;
    uint32_t list_type = 0;
    // A frame of an animation: read in order from the first, each frame from those
    // before it. How long it is shown (in 1/60 s) and how its changes are coded (the
    // ANHD operation; 0 a whole picture).
    bool frame = false;
    uint32_t jiffies = 0;
    uint32_t operation = 0;
};

// A page as the file its module reads: its bytes, or for a FORM with PROPs a LIST of its
// own (a header made here, then the PROPs and the FORM as they lie in the file).
class PageFile {
public:
    explicit PageFile(const Page& page);
    PageFile(const PageFile&) = delete;
    PageFile& operator=(const PageFile&) = delete;
    [[nodiscard]] std::span<const OrviSegment> segments() const { return segments_; }

private:
    std::array<uint8_t, 12> header_{};
    std::vector<OrviSegment> segments_;
};

} // namespace orvi
