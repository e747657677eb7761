// iffparse stand-in: EA IFF 85 reading (scan for properties and a stop chunk) and
// writing (nested chunks, sizes fixed on pop, even padding) over the dos stand-in.
// Handles and property storage are fixed tables; nothing is read past a container or
// the file: such a chunk is a mangled file.
#include "platform/iffparse.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "platform/iff_walk.h"
#include "platform/seams.h"

namespace platform {
namespace {

constexpr size_t kHandles = 2;
constexpr size_t kDepth = IffWalker::kMostDepth; // of chunks pushed when writing
constexpr size_t kDeclared = 48;
constexpr size_t kProperties = 32;
constexpr size_t kArenaBytes = 256 * 1024;

struct Declared {
    uint32_t type;
    uint32_t id;
    bool stop;
};

// A stored property: the FORM type it applies to, its id, and the container whose scope
// it belongs to (a FORM's own, or for a PROP the LIST holding it), by nesting level.
struct Property {
    uint32_t type;
    uint32_t id;
    size_t scope;
    StoredProperty stored;
};

struct Pushed {
    uint32_t id;
    int64_t size_at; // file position of the size field
    int32_t declared;
    int64_t written;
};

void put_be32(uint8_t* bytes, uint32_t value) {
    bytes[0] = static_cast<uint8_t>(value >> 24U);
    bytes[1] = static_cast<uint8_t>(value >> 16U);
    bytes[2] = static_cast<uint8_t>(value >> 8U);
    bytes[3] = static_cast<uint8_t>(value);
}

} // namespace

struct IFFHandle {
    bool used = false;
    bool open = false;
    int32_t mode = IFFF_READ;
    BPTR stream = 0;
    std::array<Declared, kDeclared> declared{};
    size_t declared_count = 0;
    // Reading
    int64_t position = 0;
    int64_t file_size = 0;
    std::optional<IffWalker> walk;
    std::array<Property, kProperties> properties{};
    size_t property_count = 0;
    std::array<uint8_t, kArenaBytes> arena{};
    size_t arena_used = 0;
    ContextNode current{};
    bool stopped = false;
    // Writing
    std::array<Pushed, kDepth> pushed{};
    size_t pushed_count = 0;
};

namespace {

std::array<IFFHandle, kHandles> handles;

bool read_exact(IFFHandle* iff, void* buffer, int64_t size) {
    const int64_t got = Read(iff->stream, buffer, size);
    if (got > 0) {
        iff->position += got;
    }
    return got == size;
}

bool move_to(IFFHandle* iff, int64_t position) {
    if (Seek(iff->stream, position, OFFSET_BEGINNING) < 0) {
        return false;
    }
    iff->position = position;
    return true;
}

// The walk's reads: a seek and a read of the stream.
bool read_at(void* context, int64_t at, uint8_t* out, size_t size) {
    auto* iff = static_cast<IFFHandle*>(context);
    return move_to(iff, at) && read_exact(iff, out, static_cast<int64_t>(size));
}

const Declared* declaration(const IFFHandle* iff, uint32_t type, uint32_t id) {
    for (size_t i = 0; i < iff->declared_count; ++i) {
        if (iff->declared[i].type == type && iff->declared[i].id == id) {
            return &iff->declared[i];
        }
    }
    return nullptr;
}

int32_t declare(IFFHandle* iff, uint32_t type, uint32_t id, bool stop) {
    if (iff->declared_count == kDeclared) {
        return IFFERR_NOMEM;
    }
    iff->declared[iff->declared_count++] = {type, id, stop};
    return 0;
}

// Gives back the arena bytes of the property in `slot`, moving the data stored after it
// down, and takes the property out of the table.
void drop_property(IFFHandle* iff, size_t slot) {
    const StoredProperty stored = iff->properties[slot].stored;
    const auto size = static_cast<size_t>(stored.sp_Size);
    if (size != 0) {
        uint8_t* start = const_cast<uint8_t*>(stored.sp_Data);
        uint8_t* after = start + size;
        std::memmove(start, after,
                     static_cast<size_t>(iff->arena.data() + iff->arena_used - after));
        for (size_t i = 0; i < iff->property_count; ++i) {
            StoredProperty& other = iff->properties[i].stored;
            if (other.sp_Size > 0 && other.sp_Data >= after) {
                other.sp_Data -= size;
            }
        }
        iff->arena_used -= size;
    }
    std::copy(iff->properties.begin() + static_cast<std::ptrdiff_t>(slot) + 1,
              iff->properties.begin() + static_cast<std::ptrdiff_t>(iff->property_count),
              iff->properties.begin() + static_cast<std::ptrdiff_t>(slot));
    --iff->property_count;
}

/* store_property: keeps a property chunk's data in the scope of `scope`; the last chunk
 * of an id in a scope wins and takes the place of the earlier one, so any number of
 * repeats fits. A chunk larger than the arena's room keeps its first bytes (deliberate:
 * no property the readers use is that long; a CMAP of 256 colours is 768 bytes). */
int32_t store_property(IFFHandle* iff, uint32_t type, uint32_t id, size_t scope, int64_t size) {
    for (size_t slot = 0; slot < iff->property_count; ++slot) {
        const Property& stored = iff->properties[slot];
        if (stored.type == type && stored.id == id && stored.scope == scope) {
            drop_property(iff, slot);
            break;
        }
    }
    if (iff->property_count == kProperties) {
        return IFFERR_NOMEM;
    }
    const int64_t kept =
        std::min<int64_t>(size, static_cast<int64_t>(kArenaBytes - iff->arena_used));
    uint8_t* data = iff->arena.data() + iff->arena_used;
    if (!read_exact(iff, data, kept)) {
        return IFFERR_READ;
    }
    iff->arena_used += static_cast<size_t>(kept);
    iff->properties[iff->property_count++] = {type, id, scope, {static_cast<int32_t>(kept), data}};
    return 0;
}

// Leaves a container: the properties of its scope go with it (a FORM's own; for a LIST,
// those of its PROPs). `depth` counts the containers around it.
void leave_container(IFFHandle* iff, size_t depth) {
    for (size_t slot = iff->property_count; slot-- > 0;) {
        if (iff->properties[slot].scope >= depth) {
            drop_property(iff, slot);
        }
    }
}

} // namespace

IFFHandle* AllocIFF() {
    if (seam::faults().fail_alloc_iff) {
        return nullptr;
    }
    for (IFFHandle& handle : handles) {
        if (!handle.used) {
            handle.used = true;
            handle.open = false;
            handle.stream = 0;
            handle.declared_count = 0;
            handle.walk.reset();
            handle.property_count = 0;
            handle.arena_used = 0;
            handle.stopped = false;
            handle.pushed_count = 0;
            return &handle;
        }
    }
    return nullptr;
}

void FreeIFF(IFFHandle* iff) {
    if (iff != nullptr) {
        iff->used = false;
    }
}

void SetIFFStream(IFFHandle* iff, BPTR file) {
    iff->stream = file;
}

BPTR IFFStream(const IFFHandle* iff) {
    return iff->stream;
}

void InitIFFasDOS(IFFHandle* iff) {
    iff->position = 0;
}

int32_t OpenIFF(IFFHandle* iff, int32_t mode) {
    if (seam::faults().fail_open_iff || iff->stream == 0) {
        return IFFERR_NOSCOPE;
    }
    iff->mode = mode;
    iff->open = true;
    iff->position = 0;
    iff->walk.reset();
    if (mode == IFFF_READ) {
        const int64_t start = Seek(iff->stream, 0, OFFSET_END);
        iff->file_size = Seek(iff->stream, start, OFFSET_BEGINNING);
        if (start < 0 || iff->file_size < 0) {
            return IFFERR_SEEK;
        }
    }
    return 0;
}

void CloseIFF(IFFHandle* iff) {
    iff->open = false;
}

int32_t PropChunk(IFFHandle* iff, uint32_t type, uint32_t id) {
    return declare(iff, type, id, false);
}

int32_t StopChunk(IFFHandle* iff, uint32_t type, uint32_t id) {
    return declare(iff, type, id, true);
}

/* ParseIFF: walks containers and chunks in file order (the IFF walk); in a FORM (or PROP)
 * whose type has declarations, property chunks are stored and a stop chunk ends the walk.
 * A chunk that runs past its container is mangled; the end of the outermost container
 * without a stop chunk is the end of the file. Called again after a stop, it goes on
 * after the stop chunk. */
int32_t ParseIFF(IFFHandle* iff, int32_t /*mode*/) {
    if (!iff->open || iff->mode != IFFF_READ) {
        return IFFERR_SYNTAX;
    }
    if (!iff->walk) {
        iff->walk.emplace(iff->file_size, read_at, iff);
    }
    IffWalker& walk = *iff->walk;
    while (true) {
        switch (walk.next()) {
        case IffWalker::Step::not_iff:
            return IFFERR_NOTIFF;
        case IffWalker::Step::mangled:
            return IFFERR_MANGLED;
        case IffWalker::Step::failed:
            return IFFERR_READ;
        case IffWalker::Step::end:
            return IFFERR_EOF;
        case IffWalker::Step::enter:
            continue;
        case IffWalker::Step::leave:
            leave_container(iff, walk.depth());
            continue;
        case IffWalker::Step::chunk:
            break;
        }
        if (walk.within() != ID_FORM && walk.within() != ID_PROP) {
            continue;
        }
        const Declared* declared = declaration(iff, walk.type(), walk.id());
        if (declared == nullptr) {
            continue;
        }
        if (!move_to(iff, walk.data_at())) {
            return IFFERR_SEEK;
        }
        if (declared->stop) {
            iff->current = {walk.id(), walk.type(), static_cast<int32_t>(walk.data_size()), 0};
            iff->stopped = true;
            return 0;
        }
        // A PROP's properties belong to the LIST holding it, for every FORM after; a FORM's
        // to the FORM. A chunk's depth counts its own container.
        const size_t scope = walk.within() == ID_PROP ? walk.depth() - 2 : walk.depth() - 1;
        if (const int32_t error =
                store_property(iff, walk.type(), walk.id(), scope, walk.data_size());
            error != 0) {
            return error;
        }
    }
}

const StoredProperty* FindProp(const IFFHandle* iff, uint32_t type, uint32_t id) {
    const Property* found = nullptr;
    for (size_t i = 0; i < iff->property_count; ++i) {
        const Property& property = iff->properties[i];
        if (property.type == type && property.id == id &&
            (found == nullptr || property.scope > found->scope)) {
            found = &property; // the FORM's own over its LIST's
        }
    }
    return found != nullptr ? &found->stored : nullptr;
}

const ContextNode* CurrentChunk(const IFFHandle* iff) {
    return iff->stopped ? &iff->current : nullptr;
}

int32_t ReadChunkBytes(IFFHandle* iff, void* buffer, int32_t size) {
    if (!iff->stopped || size < 0) {
        return IFFERR_EOC;
    }
    int32_t wanted = std::min(size, iff->current.cn_Size - iff->current.cn_Scan);
    if (seam::faults().short_chunk_data && wanted > 0) {
        --wanted;
    }
    const int64_t got = Read(iff->stream, buffer, wanted);
    if (got < 0) {
        return IFFERR_READ;
    }
    iff->position += got;
    iff->current.cn_Scan += static_cast<int32_t>(got);
    return static_cast<int32_t>(got);
}

/* PushChunk: writes the chunk's id and size (0 until it is popped when the size is
 * unknown), and a container's type. */
int32_t PushChunk(IFFHandle* iff, uint32_t type, uint32_t id, int32_t size) {
    if (!iff->open || iff->mode != IFFF_WRITE || iff->pushed_count == kDepth ||
        seam::faults().fail_push_chunk) {
        return IFFERR_WRITE;
    }
    uint8_t header[12];
    put_be32(header, id);
    put_be32(header + 4, size == IFFSIZE_UNKNOWN ? 0 : static_cast<uint32_t>(size));
    put_be32(header + 8, type);
    const int64_t length = is_iff_container(id) ? 12 : 8;
    if (Write(iff->stream, header, length) != length) {
        return IFFERR_WRITE;
    }
    iff->pushed[iff->pushed_count++] = {id, iff->position + 4, size, is_iff_container(id) ? 4 : 0};
    iff->position += length;
    return 0;
}

int32_t WriteChunkBytes(IFFHandle* iff, const void* buffer, int32_t size) {
    if (iff->pushed_count == 0 || size < 0) {
        return IFFERR_EOC;
    }
    Pushed& chunk = iff->pushed[iff->pushed_count - 1];
    int64_t length = size;
    if (chunk.declared != IFFSIZE_UNKNOWN) {
        length = std::min<int64_t>(length, chunk.declared - chunk.written);
    }
    if (seam::faults().short_chunk_data && length > 0) {
        --length;
    }
    const int64_t written = Write(iff->stream, buffer, length);
    if (written < 0) {
        return IFFERR_WRITE;
    }
    chunk.written += written;
    iff->position += written;
    return static_cast<int32_t>(written);
}

/* PopChunk: a chunk pushed with an unknown size gets the size of what was written into
 * it; odd data gets a pad byte, which counts in the enclosing chunk. */
int32_t PopChunk(IFFHandle* iff) {
    if (iff->pushed_count == 0) {
        return IFFERR_EOC;
    }
    const Pushed chunk = iff->pushed[--iff->pushed_count];
    if (chunk.declared != IFFSIZE_UNKNOWN && chunk.declared != chunk.written) {
        return IFFERR_MANGLED;
    }
    if (chunk.declared == IFFSIZE_UNKNOWN) {
        uint8_t size[4];
        put_be32(size, static_cast<uint32_t>(chunk.written));
        if (Seek(iff->stream, chunk.size_at, OFFSET_BEGINNING) < 0 ||
            Write(iff->stream, size, 4) != 4 || Seek(iff->stream, 0, OFFSET_END) < 0) {
            return IFFERR_SEEK;
        }
    }
    int64_t padded = chunk.written;
    if ((chunk.written & 1) != 0) {
        const uint8_t pad = 0;
        if (Write(iff->stream, &pad, 1) != 1) {
            return IFFERR_WRITE;
        }
        ++iff->position;
        ++padded;
    }
    if (iff->pushed_count > 0) {
        iff->pushed[iff->pushed_count - 1].written += 8 + padded;
    }
    return 0;
}

namespace seam {
int32_t live_iff_handles() {
    int32_t count = 0;
    for (const IFFHandle& handle : handles) {
        count += handle.used ? 1 : 0;
    }
    return count;
}
} // namespace seam

} // namespace platform
