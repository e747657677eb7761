// iffparse stand-in: EA IFF 85 reading (scan for properties and a stop chunk) and
// writing (nested chunks, sizes fixed on pop, even padding) over the dos stand-in.
// Handles and property storage are fixed tables; nothing is read past a container or
// the file: such a chunk is a mangled file.
#include "platform/iffparse.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/seams.h"

namespace platform {
namespace {

constexpr size_t kHandles = 2;
constexpr size_t kDepth = 16;
constexpr size_t kDeclared = 48;
constexpr size_t kProperties = 32;
constexpr size_t kArenaBytes = 256 * 1024;

struct Declared {
    uint32_t type;
    uint32_t id;
    bool stop;
};

struct Container {
    uint32_t id;
    uint32_t type;
    int64_t end;
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

bool is_container(uint32_t id) {
    return id == ID_FORM || id == ID_LIST || id == ID_CAT || id == ID_PROP;
}

uint32_t be32(const uint8_t* bytes) {
    return (uint32_t{bytes[0]} << 24U) | (uint32_t{bytes[1]} << 16U) | (uint32_t{bytes[2]} << 8U) |
           bytes[3];
}

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
    std::array<Container, kDepth> containers{};
    size_t depth = 0;
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

// Leaves the innermost container: the properties of its scope go with it (a FORM's own;
// for a LIST, those of its PROPs); the walk goes on after it.
int32_t leave_container(IFFHandle* iff) {
    const Container done = iff->containers[--iff->depth];
    for (size_t slot = iff->property_count; slot-- > 0;) {
        if (iff->properties[slot].scope >= iff->depth) {
            drop_property(iff, slot);
        }
    }
    if (iff->depth == 0) {
        return IFFERR_EOF;
    }
    return move_to(iff, done.end) ? 0 : IFFERR_SEEK;
}

int32_t enter_top_level(IFFHandle* iff) {
    uint8_t header[12];
    if (!read_exact(iff, header, 12) || !is_container(be32(header)) || be32(header) == ID_PROP) {
        return IFFERR_NOTIFF;
    }
    // deliberate: a top-level size past the end of the file is cut to the file, so that
    // whole chunks before the cut still load.
    const int64_t end = std::min<int64_t>(8 + int64_t{be32(header + 4)}, iff->file_size);
    iff->containers[0] = {be32(header), be32(header + 8), end};
    iff->depth = 1;
    return 0;
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
            handle.depth = 0;
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

/* ParseIFF: walks containers and chunks in file order; in a FORM (or PROP) whose type
 * has declarations, property chunks are stored and a stop chunk ends the walk. A chunk
 * that runs past its container is mangled; the end of the outermost container without
 * a stop chunk is the end of the file. */
int32_t ParseIFF(IFFHandle* iff, int32_t /*mode*/) {
    if (!iff->open || iff->mode != IFFF_READ) {
        return IFFERR_SYNTAX;
    }
    if (iff->depth == 0) {
        if (iff->stopped) {
            return IFFERR_EOF;
        }
        if (const int32_t error = enter_top_level(iff); error != 0) {
            return error;
        }
    }
    while (true) {
        const Container& top = iff->containers[iff->depth - 1];
        if (iff->position + 8 > top.end) {
            if (const int32_t error = leave_container(iff); error != 0) {
                return error;
            }
            continue;
        }
        uint8_t header[8];
        if (!read_exact(iff, header, 8)) {
            return IFFERR_READ;
        }
        const uint32_t id = be32(header);
        int64_t size = be32(header + 4);
        int64_t data_end = iff->position + size;
        if (size > 0x7FFFFFFF) {
            return IFFERR_MANGLED;
        }
        if (data_end > top.end) {
            // deliberate: a chunk or container that runs past the end of the file (every
            // container around it ends there: the file was cut) is cut to the file, so
            // that a cut picture loads as far as its data goes. Inside its container a
            // chunk that runs past it is mangled.
            if (top.end != iff->file_size) {
                return IFFERR_MANGLED;
            }
            data_end = top.end;
            size = data_end - iff->position;
        }
        if (is_container(id)) {
            uint8_t type[4];
            if (size < 4 || iff->depth == kDepth || !read_exact(iff, type, 4)) {
                return IFFERR_MANGLED;
            }
            iff->containers[iff->depth++] = {id, be32(type), data_end};
            continue;
        }
        if (top.id == ID_FORM || top.id == ID_PROP) {
            if (const Declared* declared = declaration(iff, top.type, id)) {
                if (declared->stop) {
                    iff->current = {id, top.type, static_cast<int32_t>(size), 0};
                    iff->stopped = true;
                    return 0;
                }
                // A PROP's properties belong to the LIST holding it, for every FORM after.
                const size_t scope = top.id == ID_PROP ? iff->depth - 2 : iff->depth - 1;
                if (const int32_t error = store_property(iff, top.type, id, scope, size);
                    error != 0) {
                    return error;
                }
            }
        }
        const int64_t next = std::min(data_end + (size & 1), top.end);
        if (!move_to(iff, next)) {
            return IFFERR_SEEK;
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
    const int64_t length = is_container(id) ? 12 : 8;
    if (Write(iff->stream, header, length) != length) {
        return IFFERR_WRITE;
    }
    iff->pushed[iff->pushed_count++] = {id, iff->position + 4, size, is_container(id) ? 4 : 0};
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
