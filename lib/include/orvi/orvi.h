// The Orvi library: everything a front end needs to recognise, load, process and save
// pictures through the plug-in modules. Include this header; link Orvi::orvi (CMake)
// or `pkg-config --libs orvi`.
#pragma once

#include "orvi/cycling.h"
#include "orvi/image.h"
#include "orvi/library.h"
#include "orvi/operation.h"
#include "orvi/version.h"
