// The binary contract between the host and the modules besides the records: the
// layout of the pool handle carried in the `Pool` word (the pool's calls, the limits of
// a job and what a module reports back beyond its result code) and the type of the
// progress routine carried in the `Gauge` word. Modules call through these; they never
// link a host symbol.
#pragma once

#include <cstdint>

extern "C" {

struct OrviPool;

// Returns a zero-filled block of `size` bytes, or nullptr when the pool refuses.
using OrviPoolAlloc = void* (*)(OrviPool* pool, uint64_t size);
// Returns a block obtained from `alloc` to the pool.
using OrviPoolFree = void (*)(OrviPool* pool, void* block);
// Receives the progress of the running job in percent.
using OrviGaugeRoutine = void (*)(int32_t percent);

// What a module tells the host about a job beyond its result code. The host clears it
// before each job.
struct OrviJobReport {
    uint32_t declared_width; // the size of a picture refused for the pixel limit
    uint32_t declared_height;
    uint64_t pixels_missing;      // pixels of a delivered picture its file's data did not reach
    uint32_t unknown_colours;     // colours whose value names no colour the reader knows
    uint32_t unknown_codes;       // pixels whose code no colour of the file defines
    uint64_t pixels_past_palette; // pixels whose index the file's palette does not reach
    uint32_t line_palette_rows;   // rows the line palettes give, when fewer than the picture's
    uint32_t line_palettes_short; // nonzero: the line palettes end before the picture does
};

// A run of the bytes of a file the host holds in memory.
struct OrviSegment {
    const uint8_t* data;
    uint64_t size;
};

// What a job carries beside a picture's 24-bit pixels, when the host asks for it (the
// `extras` word is not null). A reader fills it for the picture it delivers and leaves
// it untouched when it fails; the blocks it hands over are the pool's and the host's
// from then on. A writer reads it as the host filled it.
struct OrviExtras {
    uint8_t* indices;       // a palette index a pixel, rows without padding; or null
    uint8_t* alpha;         // an opacity a pixel (0 transparent, 255 opaque); or null
    uint8_t* straight;      // with alpha, when the pixels were composed onto black: their
                            // colours before, three bytes a pixel; or null
    uint32_t palette_count; // entries of `palette` the indices take, 0 to 256
    int32_t transparent;    // the index whose pixels are transparent, or -1
    uint8_t palette[768];   // red, green, blue an entry, in the file's order
    // Writers: whole chunks an IFF file adds before its BODY (the host's, kept alive for
    // the job), and the BMHD's pixel aspect and CAMG display mode (aspect 0: 1:1; mode
    // written when `has_mode`).
    const uint8_t* chunks;
    uint64_t chunks_size;
    uint8_t aspect_x;
    uint8_t aspect_y;
    uint16_t has_mode;
    uint32_t mode;
    uint16_t dpi_x; // writers that hold a resolution: dots an inch, 0 when not known
    uint16_t dpi_y;
    int32_t hot_x; // a hot spot, or -1
    int32_t hot_y;
};

// An animation (FORM ANIM) read a frame at a time, one job a frame in order from the
// first: what the reader keeps from one frame to the next, held by the host between the
// jobs. Each frame's FORM is the job's file; the first sets up the rest, each later one
// changes the frame its delta applies to. The host frees the bitmaps when it is done.
struct OrviFrames {
    uint32_t frame; // in: the frame this job reads, from 0
    uint32_t ready; // the first frame was read: what follows holds
    // The planes of the last two frames, a row of every plane a scanline (the BODY's
    // layout without its mask), each a pool block of `bitmap_size` bytes.
    uint8_t* bitmaps[2];
    uint64_t bitmap_size;
    uint8_t bmhd[20]; // the first frame's BMHD and CAMG
    uint8_t camg[4];
    uint32_t has_camg;
    uint32_t cmap_size; // the bytes of `cmap`: the palette in force from this frame on
    uint8_t cmap[768];
};

struct OrviPool {
    uint32_t abi_version;
    uint32_t reserved;
    OrviPoolAlloc alloc;
    OrviPoolFree free;
    uint64_t max_pixels; // the most pixels a reader may deliver; 0: no limit
    OrviJobReport report;
    uint32_t threads; // the threads a job may work with, the caller's among them; 0 or 1: one
    // The bytes of the file a load names, when the host holds them: these segments one
    // after another are the file, and the module reads them instead of opening the name.
    // Null: the name is a file to open. The host keeps them alive for the job.
    const OrviSegment* source;
    uint32_t source_count;
    OrviExtras* extras; // null: the host wants the pixels alone
    OrviFrames* frames; // not null: the job reads a frame of an animation
};
}

inline constexpr uint32_t kOrviPoolAbi = 7;
