// The operation options of `orvi convert`: which arguments are operations, their values
// read into the library's Operation values, with sentences that name the option.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "orvi/operation.h"

namespace cli {

struct Step {
    std::string option; // as given, for messages
    orvi::Operation operation;
};

// True when `option` is an operation; `needs_value` says whether a value follows it.
[[nodiscard]] bool is_operation(const std::string& option, bool& needs_value);

// Reads an operation option and its value; a value out of range gives a sentence naming
// the option and what it takes.
[[nodiscard]] std::optional<Step> parse_operation(const std::string& option,
                                                  const std::string& value, std::string& error);

// Reads a --divisor or --mode value into the --kernel steps.
[[nodiscard]] bool parse_kernel_setting(const std::string& option, const std::string& value,
                                        std::vector<Step>& steps, std::string& error);

} // namespace cli
