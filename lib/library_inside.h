// What the library's own code and its tests see of a Library beyond its API.
#pragma once

#include "lib/host_pool.h"
#include "orvi/library.h"

namespace orvi {

struct LibraryInside {
    // The pool all of a library's images and work come from: tests check its books.
    [[nodiscard]] static host::HostPool& pool(Library& library);
};

} // namespace orvi
