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

// A decimal whole number in [low, high] (a sign allowed), or nothing.
[[nodiscard]] std::optional<int64_t> parse_integer(const std::string& text, int64_t low,
                                                   int64_t high);

// Reads an operation option and its value; a value out of range gives a sentence naming
// the option and what it takes.
[[nodiscard]] std::optional<Step> parse_operation(const std::string& option,
                                                  const std::string& value, std::string& error);

// Reads a --divisor or --mode value into the --kernel steps.
[[nodiscard]] bool parse_kernel_setting(const std::string& option, const std::string& value,
                                        std::vector<Step>& steps, std::string& error);

} // namespace cli
