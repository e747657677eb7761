// exec stand-in: a fixed table of the libraries this system knows, opened by name
// and lowest version. No allocation, no I/O.
#include "platform/exec.h"

#include <array>
#include <cstring>

#include "platform/seams.h"

namespace platform {
namespace {

ExecBase exec{{"exec.library", 40, 1}};

std::array<Library, 2> libraries{{
    {"dos.library", 40, 0},
    {"iffparse.library", 40, 0},
}};

} // namespace

ExecBase* exec_base() {
    return &exec;
}

Library* OpenLibrary(const char* name, uint32_t version) {
    const char* missing = seam::faults().missing_library;
    if (missing != nullptr && std::strcmp(missing, name) == 0) {
        return nullptr;
    }
    for (Library& library : libraries) {
        if (std::strcmp(library.lib_Name, name) == 0 && library.lib_Version >= version) {
            ++library.lib_OpenCnt;
            return &library;
        }
    }
    return nullptr;
}

void CloseLibrary(Library* base) {
    if (base != nullptr) {
        --base->lib_OpenCnt;
    }
}

void CopyMem(const void* source, void* dest, uint64_t size) {
    if (size != 0) {
        std::memmove(dest, source, size);
    }
}

namespace seam {
int32_t live_library_openings() {
    int32_t count = 0;
    for (const Library& library : libraries) {
        count += library.lib_OpenCnt;
    }
    return count;
}
} // namespace seam

} // namespace platform
