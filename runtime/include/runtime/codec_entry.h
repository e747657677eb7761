// The entry frame every codec module's start_prog runs: open the libraries, take the
// pool and the progress routine, call the reader or writer, store its code, close.
#pragma once

#include <cstdint>

#include "runtime/export.h"
#include "runtime/records.h"

namespace runtime {

using CodecRoutine = int32_t (*)(const char* name, CodecRequest* request);

struct CodecFrame {
    CodecRoutine reader;
    CodecRoutine writer;
    bool takes_gauge;    // the module reports progress through Gauge
    bool needs_iffparse; // the module also opens the IFF parsing library
};

// Runs one job; the outcome is left in args->Result (see the result code table).
void run_codec(CodecArgs* args, const CodecFrame& frame);

} // namespace runtime

// Defines a codec module's exported start_prog, running the frame given, for example
// ORVI_CODEC_ENTRY(ppm::PPM_Read, ppm::PPM_Save, false, false).
#define ORVI_CODEC_ENTRY(reader, writer, takes_gauge, needs_iffparse)                              \
    extern "C" ORVI_EXPORT uint32_t start_prog(CodecArgs* args) {                                  \
        static constexpr runtime::CodecFrame kFrame{reader, writer, takes_gauge, needs_iffparse};  \
        runtime::run_codec(args, kFrame);                                                          \
        return 0;                                                                                  \
    }
