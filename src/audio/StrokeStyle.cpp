#include "audio/StrokeStyle.h"

#include <algorithm>
#include <array>

namespace lorvanta {

namespace {

struct StrokeEndingRow {
    SoundId sound;
    Drum drum;
    float dampMs;
};

// Generated from stroke-endings.tsv.
constexpr StrokeEndingRow kStrokeEndingRows[] = {
#include "StrokeEndingsTable.inc"
};

float Clamp(float value, float low, float high) {
    return value == value ? std::clamp(value, low, high) : 0.0f;
}

} // namespace

StrokeEnding StrokeEndingOf(SoundId sound) {
    for (const StrokeEndingRow& row : kStrokeEndingRows) {
        if (row.sound == sound)
            return {row.drum, row.dampMs};
    }
    return {};
}

StrokeStyle StrokeStyle::Clamped() const {
    return {endings, Clamp(humanise, 0.0f, kMaxHumanise),
            Clamp(bassTuning, kMinBassTuning, kMaxBassTuning)};
}

std::optional<StrokeEndings> ParseStrokeEndings(std::string_view text) {
    if (text == "natural")
        return StrokeEndings::Ring;
    if (text == "cut")
        return StrokeEndings::Cut;
    return std::nullopt;
}

std::string_view StrokeEndingsText(StrokeEndings endings) {
    return endings == StrokeEndings::Ring ? "natural" : "cut";
}

} // namespace lorvanta
