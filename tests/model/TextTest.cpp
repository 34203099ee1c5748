// The shared text helpers: trimming, lowering, UTF-8 checks and names as the
// messages quote them.
#include "model/Text.h"

#include <gtest/gtest.h>

using namespace lorvanta;

TEST(Text, TrimLowerAndUtf8) {
    EXPECT_EQ(Trim(" \t Dha Ge \r\n"), "Dha Ge");
    EXPECT_EQ(Trim(" \v\f "), "");
    EXPECT_EQ(ToLower("Open GE \xc3\x84"), "open ge \xc3\x84"); // only ASCII letters
    for (const auto& [text, valid] : {std::pair<std::string, bool>{"Dh\xc3\xa4", true},
                                      {"\xe0\xa4\xa7\xe0\xa4\xbe", true}, // Devanagari
                                      {"\xf0\x9f\xa5\x81", true},
                                      {"T\xe9", false},            // Latin-1
                                      {"\xc0\xaf", false},         // overlong
                                      {"\xed\xa0\x80", false},     // surrogate
                                      {"\xf4\x90\x80\x80", false}, // past U+10FFFF
                                      {"\xe0\xa4", false}})        // cut short
        EXPECT_EQ(IsValidUtf8(text), valid) << text;
}

TEST(Text, NamesShowTheirControlCharactersEscaped) {
    for (const auto& [name, shown] :
         {std::pair<std::string, std::string>{"99\n12 Na.wav", "99\\n12 Na.wav"},
          {"a\tb\rc", "a\\tb\\rc"},
          {std::string("x\0y\x1b\x7f", 5), "x\\x00y\\x1b\\x7f"},
          {"T\xc3\xaentaal.tal", "T\xc3\xaentaal.tal"}})
        EXPECT_EQ(ShownName(name), shown);
}
