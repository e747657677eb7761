// JSON strings for `orvi info --json`: whatever bytes a file name holds, the line
// parses, and valid UTF-8 comes back unchanged.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/report.h"

namespace {

TEST(JsonString, AnyBytesGiveAStringThatParses) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string parsed; // what a JSON reader gets back
    };
    const std::vector<Case> cases = {
        {"plain", "a.ppm", "a.ppm"},
        {"quote and backslash", "a\"b\\c", "a\"b\\c"},
        {"control characters", std::string("a\tb\n\x01\x1f", 6), "a\tb\n\x01\x1f"},
        {"two-byte character", "caf\xc3\xa9", "caf\xc3\xa9"},
        {"four-byte character", "\xf0\x9f\x96\xbc", "\xf0\x9f\x96\xbc"},
        {"lone high byte", "a\xff", "a\xc3\xbf"},
        {"cut sequence", "\xe2\x82", "\xc3\xa2\xc2\x82"},
        {"overlong slash", "\xc0\xaf", "\xc3\x80\xc2\xaf"},
        {"overlong three bytes", "\xe0\x80\xaf", "\xc3\xa0\xc2\x80\xc2\xaf"},
        {"surrogate", "\xed\xa0\x80", "\xc3\xad\xc2\xa0\xc2\x80"},
        {"past U+10FFFF", "\xf4\x90\x80\x80", "\xc3\xb4\xc2\x90\xc2\x80\xc2\x80"},
        {"nul inside", std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        const std::string literal = cli::json_string(row.bytes);
        const auto parsed = nlohmann::json::parse(literal);
        EXPECT_EQ(parsed.get<std::string>(), row.parsed) << literal;
    }
}

TEST(JsonString, DetailsKeepTheirOrderAndNumbersStayNumbers) {
    const orvi::Details details = {{"format", "PCX"},           {"width", int64_t{3}},
                                   {"height", int64_t{2}},      {"bits_per_pixel", int64_t{8}},
                                   {"colour_type", int64_t{4}}, {"palette", "256-colour trailer"}};
    EXPECT_EQ(cli::details_json("x.pcx", details),
              "{\"file\":\"x.pcx\",\"format\":\"PCX\",\"width\":3,\"height\":2,"
              "\"bits_per_pixel\":8,\"colour_type\":4,\"palette\":\"256-colour trailer\"}");
}

} // namespace
