// The JSON form of a Taal: key order, number and string forms.
#include "TaalJson.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <limits>
#include <random>

namespace lorvanta::cli {
namespace {

TEST(TaalJson, StringsAreLatin1WithEscapes) {
    EXPECT_EQ(JsonString("a\"b\\c/"), "\"a\\\"b\\\\c/\"");
    EXPECT_EQ(JsonString(std::string("\x01\n\x1f\x7f\x80\xe9\xff", 7)),
              "\"\\u0001\\u000a\\u001f\\u007f\\u0080\\u00e9\\u00ff\"");
}

TEST(TaalJson, FloatsReadBackExactly) {
    EXPECT_EQ(JsonFloat(1.0f), "1");
    EXPECT_EQ(JsonFloat(DefaultTempo()), "99.9999924");
    EXPECT_EQ(JsonFloat(-std::numeric_limits<float>::infinity()), "null");
    std::mt19937 random(3);
    for (int i = 0; i < 2000; ++i) {
        const auto value = std::bit_cast<float>(static_cast<std::uint32_t>(random()));
        if (!std::isfinite(value))
            continue;
        const std::string text = JsonFloat(value);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(std::strtof(text.c_str(), nullptr)),
                  std::bit_cast<std::uint32_t>(value))
            << text;
    }
}

} // namespace
} // namespace lorvanta::cli
