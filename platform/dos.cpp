// dos stand-in on POSIX file descriptors, with a memory file for tests and fuzzers.
// Locks, handles and information blocks live in fixed tables: no heap memory.
#include "platform/dos.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/seams.h"

namespace platform {
namespace {

enum class SlotKind : uint8_t { Free, Lock, File };

struct Slot {
    SlotKind kind = SlotKind::Free;
    bool memory = false;
    int fd = -1;
    uint64_t position = 0;
};

// A file served from memory: its bytes are the segments one after another.
struct MemoryFile {
    const char* name = nullptr;
    const OrviSegment* segments = nullptr;
    uint32_t count = 0;
    uint64_t size = 0;
};

constexpr size_t kSlotCount = 16;
constexpr size_t kInfoCount = 4;

std::array<Slot, kSlotCount> slots;
std::array<FileInfoBlock, kInfoCount> infos;
std::array<bool, kInfoCount> info_used;
seam::Faults active_faults;
MemoryFile memory_file;
OrviSegment seam_segment{}; // the one segment of a test's memory file

// Copies up to `length` bytes of the memory file from `position`; the count copied.
uint64_t copy_from_memory(uint64_t position, uint8_t* buffer, uint64_t length) {
    uint64_t copied = 0;
    uint64_t start = 0; // of the segment at hand, in the file
    for (uint32_t i = 0; i < memory_file.count && copied < length; ++i) {
        const OrviSegment& segment = memory_file.segments[i];
        const uint64_t at = position + copied;
        if (at < start + segment.size) {
            const uint64_t offset = at - start;
            const uint64_t count = std::min(segment.size - offset, length - copied);
            std::memcpy(buffer + copied, segment.data + offset, count);
            copied += count;
        }
        start += segment.size;
    }
    return copied;
}

bool is_memory_name(const char* name) {
    return memory_file.name != nullptr && std::strcmp(memory_file.name, name) == 0;
}

BPTR take_slot(SlotKind kind, bool memory, int fd) {
    for (size_t i = 0; i < slots.size(); ++i) {
        if (slots[i].kind == SlotKind::Free) {
            slots[i] = Slot{kind, memory, fd, 0};
            return static_cast<BPTR>(i + 1);
        }
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return 0;
}

Slot* slot_of(BPTR handle, SlotKind kind) {
    if (handle <= 0 || static_cast<size_t>(handle) > slots.size()) {
        return nullptr;
    }
    Slot& slot = slots[static_cast<size_t>(handle - 1)];
    return slot.kind == kind ? &slot : nullptr;
}

void free_slot(Slot* slot) {
    if (slot->fd >= 0) {
        ::close(slot->fd);
    }
    *slot = Slot{};
}

// One byte less than asked when the seam says so: the shape of a full disk.
int64_t faulted_length(int64_t length, bool shorten) {
    return shorten && length > 0 ? length - 1 : length;
}

// Moves `wanted` bytes with read(2) or write(2), going on after partial transfers and
// interrupts. The count moved, or -1 when the first call fails.
template <typename Bytes, typename Call>
int64_t transfer(int fd, Bytes* bytes, uint64_t wanted, Call call) {
    uint64_t done = 0;
    while (done < wanted) {
        const ssize_t moved = call(fd, bytes + done, wanted - done);
        if (moved < 0 && errno == EINTR) {
            continue;
        }
        if (moved <= 0) {
            if (moved < 0 && done == 0) {
                return -1;
            }
            break;
        }
        done += static_cast<uint64_t>(moved);
    }
    return static_cast<int64_t>(done);
}

} // namespace

void* AllocDosObject(uint32_t type, const void* /*tags*/) {
    if (type != DOS_FIB || active_faults.fail_dos_object) {
        return nullptr;
    }
    for (size_t i = 0; i < infos.size(); ++i) {
        if (!info_used[i]) {
            info_used[i] = true;
            infos[i] = FileInfoBlock{};
            return &infos[i];
        }
    }
    return nullptr;
}

void FreeDosObject(uint32_t type, void* object) {
    if (type != DOS_FIB) {
        return;
    }
    for (size_t i = 0; i < infos.size(); ++i) {
        if (object == &infos[i]) {
            info_used[i] = false;
        }
    }
}

BPTR Lock(const char* name, int32_t mode) {
    if (mode != ACCESS_READ || active_faults.fail_lock) {
        return 0;
    }
    if (is_memory_name(name)) {
        return take_slot(SlotKind::Lock, true, -1);
    }
    const int fd = ::open(name, O_RDONLY | O_CLOEXEC);
    return fd < 0 ? 0 : take_slot(SlotKind::Lock, false, fd);
}

void UnLock(BPTR lock) {
    if (Slot* slot = slot_of(lock, SlotKind::Lock)) {
        free_slot(slot);
    }
}

int32_t Examine(BPTR lock, FileInfoBlock* info) {
    Slot* slot = slot_of(lock, SlotKind::Lock);
    if (slot == nullptr || active_faults.fail_examine) {
        return 0;
    }
    if (slot->memory) {
        info->fib_DirEntryType = -3;
        info->fib_Size = static_cast<int64_t>(memory_file.size);
        return 1;
    }
    struct stat status {};
    if (::fstat(slot->fd, &status) != 0) {
        return 0;
    }
    info->fib_DirEntryType = S_ISDIR(status.st_mode) ? 2 : -3;
    info->fib_Size = static_cast<int64_t>(status.st_size);
    return 1;
}

BPTR Open(const char* name, int32_t mode) {
    if (active_faults.fail_open) {
        return 0;
    }
    if (mode == MODE_OLDFILE) {
        if (is_memory_name(name)) {
            return take_slot(SlotKind::File, true, -1);
        }
        const int fd = ::open(name, O_RDONLY | O_CLOEXEC);
        return fd < 0 ? 0 : take_slot(SlotKind::File, false, fd);
    }
    if (mode == MODE_NEWFILE) {
        const int fd = ::open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        return fd < 0 ? 0 : take_slot(SlotKind::File, false, fd);
    }
    return 0;
}

int64_t Read(BPTR file, void* buffer, int64_t length) {
    Slot* slot = slot_of(file, SlotKind::File);
    if (slot == nullptr || length < 0) {
        return -1;
    }
    const uint64_t wanted = static_cast<uint64_t>(faulted_length(length, active_faults.short_read));
    if (slot->memory) {
        const uint64_t count =
            copy_from_memory(slot->position, static_cast<uint8_t*>(buffer), wanted);
        slot->position += count;
        return static_cast<int64_t>(count);
    }
    return transfer(slot->fd, static_cast<uint8_t*>(buffer), wanted, ::read);
}

int64_t Write(BPTR file, const void* buffer, int64_t length) {
    Slot* slot = slot_of(file, SlotKind::File);
    if (slot == nullptr || slot->memory || length < 0) {
        return -1;
    }
    const uint64_t wanted =
        static_cast<uint64_t>(faulted_length(length, active_faults.short_write));
    return transfer(slot->fd, static_cast<const uint8_t*>(buffer), wanted, ::write);
}

int64_t Seek(BPTR file, int64_t position, int32_t mode) {
    Slot* slot = slot_of(file, SlotKind::File);
    if (slot == nullptr) {
        return -1;
    }
    if (slot->memory) {
        const auto before = static_cast<int64_t>(slot->position);
        const int64_t base = mode == OFFSET_BEGINNING ? 0
                             : mode == OFFSET_END     ? static_cast<int64_t>(memory_file.size)
                                                      : before;
        if (base + position < 0) {
            return -1;
        }
        slot->position = static_cast<uint64_t>(base + position);
        return before;
    }
    const off_t before = ::lseek(slot->fd, 0, SEEK_CUR);
    const int whence =
        mode == OFFSET_BEGINNING ? SEEK_SET : (mode == OFFSET_END ? SEEK_END : SEEK_CUR);
    if (before < 0 || ::lseek(slot->fd, static_cast<off_t>(position), whence) < 0) {
        return -1;
    }
    return static_cast<int64_t>(before);
}

void Close(BPTR file) {
    if (Slot* slot = slot_of(file, SlotKind::File)) {
        free_slot(slot);
    }
}

void ServeFromMemory(const char* name, const OrviSegment* segments, uint32_t count) {
    uint64_t size = 0;
    for (uint32_t i = 0; i < count; ++i) {
        size += segments[i].size;
    }
    memory_file = MemoryFile{name, segments, count, size};
}

namespace seam {

Faults& faults() {
    return active_faults;
}

void set_memory_file(const char* name, const uint8_t* data, size_t size) {
    seam_segment = {data, size};
    ServeFromMemory(name, &seam_segment, name != nullptr ? 1 : 0);
}

int32_t live_dos_objects() {
    int32_t count = 0;
    for (const Slot& slot : slots) {
        count += slot.kind != SlotKind::Free ? 1 : 0;
    }
    for (const bool used : info_used) {
        count += used ? 1 : 0;
    }
    return count;
}

void reset() {
    active_faults = Faults{};
    memory_file = MemoryFile{};
}

} // namespace seam
} // namespace platform
