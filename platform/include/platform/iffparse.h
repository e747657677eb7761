// iffparse stand-in: walking EA IFF 85 files (FORM, LIST, CAT; big-endian sizes, even
// padding) for properties and a stop chunk, and writing nested chunks whose sizes are
// fixed when they are popped. Handles and property storage live in fixed tables.
#pragma once

#include <cstdint>

#include "platform/dos.h"

namespace platform {

inline constexpr int32_t IFFERR_EOF = -1;
inline constexpr int32_t IFFERR_EOC = -2;
inline constexpr int32_t IFFERR_NOSCOPE = -3;
inline constexpr int32_t IFFERR_NOMEM = -4;
inline constexpr int32_t IFFERR_READ = -5;
inline constexpr int32_t IFFERR_WRITE = -6;
inline constexpr int32_t IFFERR_SEEK = -7;
inline constexpr int32_t IFFERR_MANGLED = -8;
inline constexpr int32_t IFFERR_SYNTAX = -9;
inline constexpr int32_t IFFERR_NOTIFF = -10;

inline constexpr int32_t IFFF_READ = 0;
inline constexpr int32_t IFFF_WRITE = 1;
inline constexpr int32_t IFFPARSE_SCAN = 0;
inline constexpr int32_t IFFSIZE_UNKNOWN = -1;

// A four-character id as a big-endian number.
[[nodiscard]] constexpr uint32_t MAKE_ID(char a, char b, char c, char d) {
    return (uint32_t(uint8_t(a)) << 24U) | (uint32_t(uint8_t(b)) << 16U) |
           (uint32_t(uint8_t(c)) << 8U) | uint32_t(uint8_t(d));
}
inline constexpr uint32_t ID_FORM = MAKE_ID('F', 'O', 'R', 'M');
inline constexpr uint32_t ID_LIST = MAKE_ID('L', 'I', 'S', 'T');
inline constexpr uint32_t ID_CAT = MAKE_ID('C', 'A', 'T', ' ');
inline constexpr uint32_t ID_PROP = MAKE_ID('P', 'R', 'O', 'P');

struct StoredProperty {
    int32_t sp_Size;
    const uint8_t* sp_Data;
};

struct ContextNode {
    uint32_t cn_ID;
    uint32_t cn_Type;
    int32_t cn_Size;
    int32_t cn_Scan; // bytes read or written so far
};

struct IFFHandle;

IFFHandle* AllocIFF();
void FreeIFF(IFFHandle* iff);
// The dos file handle the handle reads or writes.
void SetIFFStream(IFFHandle* iff, BPTR file);
[[nodiscard]] BPTR IFFStream(const IFFHandle* iff);
void InitIFFasDOS(IFFHandle* iff);
[[nodiscard]] int32_t OpenIFF(IFFHandle* iff, int32_t mode);
void CloseIFF(IFFHandle* iff);

[[nodiscard]] int32_t PropChunk(IFFHandle* iff, uint32_t type, uint32_t id);
[[nodiscard]] int32_t StopChunk(IFFHandle* iff, uint32_t type, uint32_t id);
// Scans to the first stop chunk in a FORM of its type: 0 there, else a negative error.
[[nodiscard]] int32_t ParseIFF(IFFHandle* iff, int32_t mode);
// The property stored in the FORM the parse stopped in, or null.
[[nodiscard]] const StoredProperty* FindProp(const IFFHandle* iff, uint32_t type, uint32_t id);
[[nodiscard]] const ContextNode* CurrentChunk(const IFFHandle* iff);
// Reads up to `size` bytes of the current chunk; the count, or a negative error.
[[nodiscard]] int32_t ReadChunkBytes(IFFHandle* iff, void* buffer, int32_t size);

[[nodiscard]] int32_t PushChunk(IFFHandle* iff, uint32_t type, uint32_t id, int32_t size);
// Writes into the innermost chunk; the count written, or a negative error.
[[nodiscard]] int32_t WriteChunkBytes(IFFHandle* iff, const void* buffer, int32_t size);
// Closes the innermost chunk: fixes a size pushed as unknown and pads odd data.
[[nodiscard]] int32_t PopChunk(IFFHandle* iff);

} // namespace platform
