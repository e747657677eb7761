// Whole-file loading: measure the file, read all of it into one pool block, and set
// the module's cursor globals over it. One allocation and one read per file.
#pragma once

#include <cstdint>

#include "runtime/cursor.h"
#include "runtime/pool.h"

namespace runtime {

// Stores the file's length in `size` and returns 0, or returns kNoFileInfoMemory (no information
// block), kCannotLock (cannot lock) or kCannotExamine (cannot examine) and leaves `size` alone.
[[nodiscard]] int32_t GetFileSize(const char* name, uint64_t* size);

// Loads the whole file into `buffer` and sets FileIndex and FileEnd over it.
// Returns and stores in Error: 0, a code of GetFileSize, kOutOfMemory (no block), kCannotOpen
// (cannot open) or kShortRead (fewer bytes read than measured; the buffer and cursor are still
// set). The caller's PoolBlock owns the buffer on every path.
[[nodiscard]] int32_t ReadFile(const char* name, PoolBlock& buffer);

// A bounded cursor over the loaded file, from FileIndex to FileEnd.
[[nodiscard]] Cursor file_cursor();

} // namespace runtime
