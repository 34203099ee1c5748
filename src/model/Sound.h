#pragma once

#include "model/SoundTables.h"

#include <string>

namespace lorvanta {

// One stroke of a bol: a recording, the drum it belongs to and its loudness.
class CSound {
public:
    CSound() = default;
    // The id comes from the name's normalised form on the given table; the
    // sound keeps the name as passed.
    CSound(const std::string& name, SoundTable table, Instrument instrument);

    bool operator==(const CSound&) const = default;

    float emphasis = 0.0f; // dB of amplitude
    SoundId soundId = kSilenceSoundId;
    std::uint8_t instrument = Tabla;
    std::string name = "Silence";
};

} // namespace lorvanta
