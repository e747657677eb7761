// The records shared by the host and the modules. Field order and the 32-bit
// fields are the published layout; address words are pointer-sized on this build.
// No code here: these are plain data the host owns.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/host_abi.h"

extern "C" {

// The image record: filled by readers, read by writers.
struct Picture {
    uint8_t* Data; // rows top to bottom, Width pixels of BytesPerPixel bytes
    int32_t Width;
    int32_t Height;
    uint32_t BytesPerPixel; // 3 from every reader; writers accept 1 or 3
    uint32_t LoadedWidth;
    uint32_t LoadedHeight;
    uint32_t Depth; // bits per pixel of the file that was loaded
    uint32_t Compression;
    uint32_t Reserved; // the host's word; no module touches it
    uint32_t Extra;
};

// A palette picture prepared by the host for the palette writers.
struct IndexedPicture {
    uint16_t Width;
    uint16_t Height;
    uint32_t Depth;
    uint32_t Reserved; // the host's word; no writer reads it
    uint32_t* Palette; // 0x00RRGGBB entries
    uint8_t* Data;     // one index byte per pixel
};

// The host's request; each codec gives SaveMode and the other words its own meaning.
struct CodecRequest {
    Picture* Pic;
    uintptr_t SaveMode; // a flag for some writers, an IndexedPicture address for others
    uint32_t ColorType;
    uint32_t DisplayMode;
    IndexedPicture* IndexedPic;
};

// The block a codec module's start_prog receives.
struct CodecArgs {
    CodecRequest* Request;
    const char* FileName;
    uint32_t Command; // 1 load, 2 save, anything else calls nothing
    int32_t Result;
    OrviPool* Pool;         // nullptr: every allocation fails
    OrviGaugeRoutine Gauge; // nullptr: no progress reports
};
}

inline constexpr uint32_t kCommandLoad = 1;
inline constexpr uint32_t kCommandSave = 2;

static_assert(sizeof(int32_t) == 4 && sizeof(uint32_t) == 4);
static_assert(offsetof(Picture, Data) == 0);
static_assert(offsetof(Picture, Width) == sizeof(void*));
static_assert(offsetof(Picture, Height) == offsetof(Picture, Width) + 4);
static_assert(offsetof(Picture, BytesPerPixel) == offsetof(Picture, Width) + 8);
static_assert(offsetof(Picture, LoadedWidth) == offsetof(Picture, Width) + 12);
static_assert(offsetof(Picture, LoadedHeight) == offsetof(Picture, Width) + 16);
static_assert(offsetof(Picture, Depth) == offsetof(Picture, Width) + 20);
static_assert(offsetof(Picture, Compression) == offsetof(Picture, Width) + 24);
static_assert(offsetof(Picture, Reserved) == offsetof(Picture, Width) + 28);
static_assert(offsetof(Picture, Extra) == offsetof(Picture, Width) + 32);
static_assert(offsetof(IndexedPicture, Height) == 2);
static_assert(offsetof(IndexedPicture, Depth) == 4);
static_assert(offsetof(IndexedPicture, Reserved) == 8);
static_assert(offsetof(IndexedPicture, Data) > offsetof(IndexedPicture, Palette));
static_assert(offsetof(CodecRequest, SaveMode) == sizeof(void*));
static_assert(sizeof(CodecRequest::SaveMode) == sizeof(void*));
static_assert(offsetof(CodecRequest, ColorType) == 2 * sizeof(void*));
static_assert(offsetof(CodecRequest, DisplayMode) == offsetof(CodecRequest, ColorType) + 4);
static_assert(offsetof(CodecArgs, FileName) == sizeof(void*));
static_assert(offsetof(CodecArgs, Command) == 2 * sizeof(void*));
static_assert(offsetof(CodecArgs, Result) == offsetof(CodecArgs, Command) + 4);
static_assert(offsetof(CodecArgs, Pool) == offsetof(CodecArgs, Command) + 8);
static_assert(offsetof(CodecArgs, Gauge) == offsetof(CodecArgs, Pool) + sizeof(void*));
