// The PCX format: the 128-byte header, the run-length stream, palettes, and the pure
// pieces the reader and writer are built from. Private to the pcx module.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "pcx/pcx_rules.h"
#include "runtime/records.h"

namespace pcx {

[[nodiscard]] int32_t PCX_Read(const char* name, CodecRequest* request);
[[nodiscard]] int32_t PCX_Save(const char* name, CodecRequest* request);

// Encodes `bytes` at `out` (which must hold 2 x bytes.size()); returns the bytes written.
// Runs of 2 to 63 become count and value; a lone byte of 0xC0 or more becomes 0xC1 and it.
size_t EncodeRLE(std::span<const uint8_t> bytes, uint8_t* out);

} // namespace pcx
