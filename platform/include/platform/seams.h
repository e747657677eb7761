// Test seams into the platform stand-ins: failing libraries and dos calls, short
// transfers, and files served from memory. Hidden symbols: only code linked into the
// same binary (tests, fuzzers, benches) can reach them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform::seam {

struct Faults {
    const char* missing_library = nullptr; // OpenLibrary of this name fails
    bool fail_dos_object = false;          // AllocDosObject returns 0
    bool fail_lock = false;
    bool fail_examine = false;
    bool fail_open = false;
    bool short_read = false;       // Read transfers one byte less than asked
    bool short_write = false;      // Write transfers one byte less than asked
    bool fail_alloc_iff = false;   // AllocIFF returns null
    bool fail_open_iff = false;    // OpenIFF fails
    bool fail_push_chunk = false;  // PushChunk reports a write error
    bool short_chunk_data = false; // ReadChunkBytes and WriteChunkBytes move one byte less
};

// The faults in force; tests set fields and call reset() when done.
Faults& faults();

// Serve `name` from memory: Lock, Examine and Open (MODE_OLDFILE) see these bytes.
// The bytes must outlive their use. Only one memory file at a time.
void set_memory_file(const char* name, const uint8_t* data, size_t size);

// How many locks, handles, information blocks and library openings are live.
int32_t live_dos_objects();
int32_t live_library_openings();
int32_t live_iff_handles();

// Clear every fault and the memory file.
void reset();

} // namespace platform::seam
