// Whole-file loading through the dos stand-in: measure, one block, one read.
#include "runtime/file_reader.h"

#include "platform/dos.h"
#include "runtime/globals.h"
#include "runtime/result_codes.h"

namespace runtime {

/* GetFileSize: lock the name, examine it, unlock.
 * Codes: 0 (size stored), kNoFileInfoMemory no information block, kCannotLock no lock,
 * kCannotExamine examine failed. Allocates an information block and frees it on every path. */
int32_t GetFileSize(const char* name, uint64_t* size) {
    void* info = platform::AllocDosObject(platform::DOS_FIB, nullptr);
    if (info == nullptr) {
        return kNoFileInfoMemory;
    }
    int32_t code = kCannotLock;
    const platform::BPTR lock = platform::Lock(name, platform::ACCESS_READ);
    if (lock != 0) {
        auto* block = static_cast<platform::FileInfoBlock*>(info);
        if (platform::Examine(lock, block) != 0) {
            *size = static_cast<uint64_t>(block->fib_Size);
            code = kOk;
        } else {
            code = kCannotExamine;
        }
        platform::UnLock(lock);
    }
    platform::FreeDosObject(platform::DOS_FIB, info);
    return code;
}

/* ReadFile: the size is taken once, before the file is opened, and the read asks
 * for exactly that many bytes; a longer file is cut at the measured size.
 * Codes: those of GetFileSize, kOutOfMemory, kCannotOpen, kShortRead (the cursor is set after a
 * short read). */
int32_t ReadFile(const char* name, PoolBlock& buffer) {
    uint64_t size = 0;
    Error = GetFileSize(name, &size);
    if (Error != kOk) {
        return Error;
    }
    if (!buffer.allocate(size)) {
        Error = kOutOfMemory;
        return Error;
    }
    const platform::BPTR file = platform::Open(name, platform::MODE_OLDFILE);
    if (file == 0) {
        Error = kCannotOpen;
        return Error;
    }
    const int64_t got = platform::Read(file, buffer.bytes(), static_cast<int64_t>(size));
    if (got < 0 || static_cast<uint64_t>(got) != size) {
        Error = kShortRead;
    }
    platform::Close(file);
    FileIndex = buffer.bytes();
    FileEnd = buffer.bytes() + size;
    return Error;
}

Cursor file_cursor() {
    return Cursor(FileIndex, FileEnd);
}

} // namespace runtime
