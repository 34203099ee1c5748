#include "audio/DrumLevels.h"
#include "audio/Gain.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace lorvanta {

float DrumLevel::Gain() const {
    if (off)
        return 0.0f;
    return DbToGain(db);
}

DrumLevel DrumLevel::Clamped() const {
    return {db == db ? std::clamp(db, kMinDrumLevelDb, kMaxDrumLevelDb) : 0.0f, off};
}

std::optional<DrumLevel> ParseDrumLevel(std::string_view text) {
    if (text == "off")
        return DrumLevel{0.0f, true};
    // A sign of its own is allowed, as people write "+3 dB"; from_chars takes
    // only the minus.
    if (text.starts_with('+')) {
        text.remove_prefix(1);
        if (text.starts_with('-'))
            return std::nullopt;
    }
    float db = 0.0f;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), db);
    if (error != std::errc() || end != text.data() + text.size() ||
        !(db >= kMinDrumLevelDb && db <= kMaxDrumLevelDb))
        return std::nullopt;
    return DrumLevel{db, false};
}

std::string DrumLevelText(const DrumLevel& level) {
    if (level.off)
        return "off";
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, level.db);
    return std::string(text, result.ptr);
}

} // namespace lorvanta
