#include "model/Messages.h"

#include "model/TaalLimits.h"

#include <cstdio>

namespace lorvanta {

std::string FormatMessage(std::string_view pattern, std::string_view first,
                          std::string_view second) {
    std::string out;
    out.reserve(pattern.size() + first.size() + second.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() &&
            (pattern[i + 1] == '1' || pattern[i + 1] == '2')) {
            out += pattern[i + 1] == '1' ? first : second;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

std::string FormatDecimal(long long value) {
    return std::to_string(value);
}

std::string FormatHex(unsigned long value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%lx", value);
    return buffer;
}

namespace messages {
const char* const kHoldsNoTaal = "it holds no Taal";
const char* const kHoldsTooManyBols = "it holds more than 50,000 bols";
const char* const kNotRegularDetail = "it is not a regular file";
const char* const kTooLargeDetail = "it is larger than 64 MB, more than any Taal file";
const char* const kNotRegularFile = "%1 is not a regular file.";
const char* const kReadOnlyFile = "%1 is read-only.";
const char* const kSaveIncompleteRead = "This file was not read completely. Saving replaces it "
                                        "with what was read. Save anyway?";
} // namespace messages

std::optional<UserMessage> LimitMessage(LimitStatus status) {
    const char* text = StatusText(status);
    if (*text == '\0')
        return std::nullopt;
    return UserMessage{MessageKind::Warning, text};
}

} // namespace lorvanta
