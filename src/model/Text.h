#pragma once

// Small text helpers shared by the readers and the messages.

#include <string>
#include <string_view>

namespace lorvanta {

// The text without leading and trailing white space (space, tab, CR, LF, VT, FF).
std::string_view Trim(std::string_view text);

// ASCII letters lowered; other bytes, UTF-8 among them, kept as they are.
constexpr char ToLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string ToLower(std::string_view text);
// The same text but for the case of ASCII letters.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or
// code points past U+10FFFF).
bool IsValidUtf8(std::string_view text);

// A name as a message quotes it: control characters written as \n, \t, \r or
// \xHH, so a file named with a newline cannot pass for a line of its own.
std::string ShownName(std::string_view name);

} // namespace lorvanta
