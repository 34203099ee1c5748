#pragma once

#include "model/SoundTables.h"

#include <cstdint>
#include <string>

namespace lorvanta {

class CSampleBank;
enum class AudioStatus : std::uint32_t; // audio/AudioStatus.h
class MessageSink;

// One stroke of a bol: a recording, the drum it belongs to and its loudness.
class CSound {
public:
    CSound() = default;
    // The id comes from the name's normalised form on the given table; the
    // sound keeps the name as passed.
    CSound(const std::string& name, SoundTable table, Instrument instrument);

    bool operator==(const CSound&) const = default;

    // Adds the recording, scaled by the emphasis's gain times `level` (the
    // drum's level as a gain), into the first samples of a block of count
    // samples. Returns Ok, or NoModule, SoundNotFound, SoundNotLoaded or
    // SoundNotLocked after showing the bank's message; the block is then unchanged. (Defined in
    // audio/.)
    AudioStatus MixInto(std::int16_t* block, std::uint32_t count, const CSampleBank& bank,
                        MessageSink& sink, float level = 1.0f) const;

    float emphasis = 0.0f; // dB of amplitude
    SoundId soundId = kSilenceSoundId;
    std::uint8_t instrument = Tabla;
    std::string name = "Silence";
};

} // namespace lorvanta
