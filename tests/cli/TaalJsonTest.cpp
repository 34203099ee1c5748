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
    EXPECT_EQ(JsonString(std::string(1, '\0')), "\"\\u0000\"");
}

TEST(TaalJson, FloatsReadBackExactly) {
    EXPECT_EQ(JsonFloat(1.0f), "1");
    EXPECT_EQ(JsonFloat(0.1f), "0.100000001");
    EXPECT_EQ(JsonFloat(DefaultTempo()), "99.9999924");
    EXPECT_EQ(JsonFloat(-20.0f), "-20");
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

TEST(TaalJson, ObjectKeysInOrder) {
    CLorvantaDoc doc;
    CBol2 bol("Na", 0, 0.5f);
    bol.bass.instrument = Pakhawaj;
    bol.bass.emphasis = -3.5f;
    doc.InsertBol(-1, &bol);
    doc.Taal().SetName("T\xe9");
    ReadOutcome outcome;
    outcome.result = 38;
    outcome.valid = false;
    outcome.repaired = true;
    EXPECT_EQ(TaalToJson(doc, outcome, "box text"),
              "{\"result\": 38, \"valid\": false, \"repaired\": true, \"message\": \"box text\", "
              "\"version\": 4, \"tempo\": 99.9999924, \"name\": \"T\\u00e9\", \"count\": 1, "
              "\"total\": 0.5, \"empty\": false, \"bols\": [{\"name\": \"Na\", \"index\": 0, "
              "\"duration\": 0.5, \"reserved\": 0, \"pitch\": {\"name\": \"Na\", \"id\": 12, "
              "\"instrument\": 0, \"emphasis\": 0}, \"bass\": {\"name\": \"Na\", \"id\": 30, "
              "\"instrument\": 1, \"emphasis\": -3.5}}]}");
}

} // namespace
} // namespace lorvanta::cli
