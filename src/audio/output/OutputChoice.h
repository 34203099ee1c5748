#pragma once

#include <optional>
#include <string_view>

namespace lorvanta {

// Which output plays the sound: the sound card, or the virtual clock that
// plays to nowhere in real time (for machines without a card).
enum class OutputChoice { Device, Virtual };

inline constexpr const char* kOutputChoiceVariable = "LORVANTA_AUDIO";

// "device" or "virtual"; an empty or missing value means the device. Null for
// anything else.
std::optional<OutputChoice> ParseOutputChoice(std::string_view text);
// The choice made by the environment variable LORVANTA_AUDIO.
std::optional<OutputChoice> OutputChoiceFromEnvironment();

} // namespace lorvanta
