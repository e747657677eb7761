// The marker for the few symbols a module exports. Everything else is hidden
// by the build's visibility preset and by each module's linker map.
#pragma once

#define ORVI_EXPORT __attribute__((visibility("default")))
