// Image operations as the command offers them: parsing the options, resolving filter
// names against the module's table, and applying the steps in order through the ops
// module. The host sizes every destination and records the new sizes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/host_pool.h"
#include "host/modules.h"
#include "runtime/records.h"

namespace host {

enum class OpKind : uint8_t {
    Gamma,
    Brightness,
    Rgb,
    Contrast,
    Gray,
    Negate,
    Rotate,
    Flip,
    Resize,
    Fill,
    Convolve, // a predefined filter, by name
    Kernel,   // weights given on the command line
};

struct OperationStep {
    OpKind kind = OpKind::Negate;
    std::string option;              // as given, for messages
    std::array<int32_t, 3> values{}; // the option's numbers (see parse_operation)
    std::string filter;              // Convolve: the name asked for
    std::vector<int32_t> weights;    // Kernel, and Convolve once resolved
    std::optional<int32_t> divisor;  // default: the sum of the weights, or 1
    uint8_t mode = 0;
};

// True when `option` is an operation; `needs_value` says whether a value follows it.
[[nodiscard]] bool is_operation(const std::string& option, bool& needs_value);

// Parses an operation option and its value; on a value out of range, says so in `error`
// (naming the option) and returns nothing.
[[nodiscard]] std::optional<OperationStep>
parse_operation(const std::string& option, const std::string& value, std::string& error);

// Parses a --divisor or --mode value for the --kernel steps.
[[nodiscard]] bool parse_kernel_setting(const std::string& option, const std::string& value,
                                        std::vector<OperationStep>& steps, std::string& error);

// Looks up the --convolve names in the module's filter table; false with a sentence when
// a name is unknown.
[[nodiscard]] bool resolve_filters(const Module& ops, std::vector<OperationStep>& steps,
                                   std::string& error);

// Applies the steps in order to a picture whose Data belongs to `pool`.
[[nodiscard]] bool apply_operations(const Module& ops, HostPool& pool, Picture& picture,
                                    const std::vector<OperationStep>& steps, std::string& error);

// `orvi filters`: the predefined filters with their matrices and default divisors.
[[nodiscard]] int list_filters();

} // namespace host
