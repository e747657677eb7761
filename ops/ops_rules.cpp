// The pool memory of each operation. Pure.
#include "ops/ops_rules.h"

namespace ops {

ResizeTables resize_table_bytes(const OpArgs& args) {
    return {uint64_t{low16(static_cast<uint32_t>(args.Param1))} * 4,
            uint64_t{low16(static_cast<uint32_t>(args.Param2))} * 4};
}

uint64_t mirror_row_bytes(const OpArgs& args) {
    return uint64_t{low16(args.Width)} * args.BytesPerPixel;
}

uint64_t scratch_bytes(const OpArgs& args) {
    switch (args.Operation) {
    case kOpSetGamma:
    case kOpSetContrast:
        return kTableBytes;
    case kOpYFlip:
        return mirror_row_bytes(args);
    case kOpResize: {
        const ResizeTables tables = resize_table_bytes(args);
        return tables.columns + tables.rows;
    }
    default:
        return 0;
    }
}

} // namespace ops
