#include "audio/output/OutputChoice.h"

#include <cstdlib>

namespace lorvanta {

std::optional<OutputChoice> ParseOutputChoice(std::string_view text) {
    if (text.empty() || text == "device")
        return OutputChoice::Device;
    if (text == "virtual")
        return OutputChoice::Virtual;
    return std::nullopt;
}

std::optional<OutputChoice> OutputChoiceFromEnvironment() {
    const char* value = std::getenv(kOutputChoiceVariable);
    return ParseOutputChoice(value != nullptr ? value : "");
}

} // namespace lorvanta
