// The working memory each operation takes from the pool inside the ops module, besides
// the destination the caller provides. Pure: no globals, no I/O. Linked by the ops
// module, which allocates by it, and by the library, which makes room for exactly that
// before a call (the module reports nothing, so a refused block would pass unseen).
#pragma once

#include <cstdint>

#include "runtime/op_records.h"

namespace ops {

// The byte table gamma and contrast map through.
inline constexpr uint64_t kTableBytes = 256;

// The general resize's tables: a column offset for each new column and a source row
// for each new row, four bytes each. The sides are the low 16 bits, as the module reads.
struct ResizeTables {
    uint64_t columns;
    uint64_t rows;
};
[[nodiscard]] ResizeTables resize_table_bytes(const OpArgs& args);

// The top-bottom mirror's row buffer: one row of the low 16 bits of Width.
[[nodiscard]] uint64_t mirror_row_bytes(const OpArgs& args);

// All the pool memory the operation of `args` takes at most.
[[nodiscard]] uint64_t scratch_bytes(const OpArgs& args);

// The low 16 bits of a side, as the geometric operations read Width, Height and the
// new sides of a resize.
[[nodiscard]] constexpr uint32_t low16(uint32_t value) {
    return value & 0xFFFFU;
}

} // namespace ops
