// Applying operations through the ops module: the library sizes every destination,
// makes room for the module's own working memory, and records the new sizes.
#pragma once

#include <string>
#include <vector>

#include "lib/host_pool.h"
#include "lib/modules.h"
#include "orvi/library.h"
#include "orvi/operation.h"
#include "runtime/records.h"

namespace orvi {

// The predefined filters of the ops module's table.
[[nodiscard]] std::vector<orvi::Filter> module_filters(const Module& ops);

// The weights of the filter `name` stands for (case, spaces, dashes and underscores
// aside); false with a sentence that lists the names there are.
[[nodiscard]] bool filter_weights(const Module& ops, const std::string& name,
                                  std::vector<int32_t>& weights, std::string& error);

// Applies `operation` (already checked) to `picture`, whose pixels belong to `pool`;
// false with a code and a sentence when memory, a filter's name or the picture's size
// does not allow it, the picture unchanged.
[[nodiscard]] bool apply_operation(const Module& ops, HostPool& pool, Picture& picture,
                                   const orvi::Operation& operation, orvi::Error& error);

} // namespace orvi
