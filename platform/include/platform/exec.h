// exec stand-in: libraries opened by name and lowest version, and CopyMem.
// Library bases are static records; nothing here allocates.
#pragma once

#include <cstdint>

namespace platform {

struct Library {
    const char* lib_Name;
    uint16_t lib_Version;
    int32_t lib_OpenCnt;
};

struct ExecBase {
    Library LibNode;
};

// The exec base, the stand-in for the one found at absolute address 4.
ExecBase* exec_base();

// The library's base with its open count raised, or nullptr when it is missing or
// older than `version`.
Library* OpenLibrary(const char* name, uint32_t version);
void CloseLibrary(Library* base);
void CopyMem(const void* source, void* dest, uint64_t size);

} // namespace platform
