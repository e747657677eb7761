// dos stand-in on POSIX: file information blocks, locks and file handles.
// Handles live in a small static table, so nothing here takes heap memory.
#pragma once

#include <cstdint>

#include "platform/host_abi.h"

namespace platform {

using BPTR = intptr_t; // 0 means "none"

inline constexpr int32_t ACCESS_READ = -2;
inline constexpr int32_t MODE_OLDFILE = 1005;
inline constexpr int32_t MODE_NEWFILE = 1006;
inline constexpr uint32_t DOS_FIB = 2;

struct FileInfoBlock {
    int32_t fib_DirEntryType; // > 0 directory, < 0 file
    int64_t fib_Size;         // length in bytes; 64-bit so that large files measure right
};

void* AllocDosObject(uint32_t type, const void* tags);
void FreeDosObject(uint32_t type, void* object);
BPTR Lock(const char* name, int32_t mode);
void UnLock(BPTR lock);
// Nonzero on success.
int32_t Examine(BPTR lock, FileInfoBlock* info);
BPTR Open(const char* name, int32_t mode);
// The number of bytes transferred: `length` unless the file ended or failed.
int64_t Read(BPTR file, void* buffer, int64_t length);
int64_t Write(BPTR file, const void* buffer, int64_t length);
inline constexpr int32_t OFFSET_BEGINNING = -1;
inline constexpr int32_t OFFSET_CURRENT = 0;
inline constexpr int32_t OFFSET_END = 1;
// Moves the file position; returns the position before the move, or -1.
int64_t Seek(BPTR file, int64_t position, int32_t mode);
void Close(BPTR file);

// Serves `name` from memory until the next call: Lock, Examine and Open (MODE_OLDFILE) of
// that name see the segments one after another as the file's bytes. The segments must
// outlive their use; a null name serves nothing from memory. One memory file at a time.
void ServeFromMemory(const char* name, const OrviSegment* segments, uint32_t count);

} // namespace platform
