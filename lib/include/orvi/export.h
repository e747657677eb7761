// The mark of what the shared library exports; everything else in it stays hidden.
#pragma once

#define ORVI_API __attribute__((visibility("default")))
