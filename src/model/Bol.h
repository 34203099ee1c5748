#pragma once

#include "model/Sound.h"

#include <cstdint>
#include <string>

namespace lorvanta {

class BolDictionary;
class CSampleBank;
enum class AudioStatus : std::uint32_t; // audio/AudioStatus.h
class MessageSink;

// A stroke or syllable of a Taal: a treble and a bass sound played together.
class CBol2 {
public:
    // A silent bol "New Bol" of one beat.
    CBol2();
    // Both sounds named after the bol, looked up in the sound tables.
    CBol2(const std::string& name, std::uint32_t index, float duration);
    // Both sounds from the dictionary's entry for the name, on the given
    // instrument; a silent bol when the dictionary has no such bol.
    CBol2(const std::string& name, std::uint32_t index, float duration, Instrument instrument,
          const BolDictionary& dictionary);
    CBol2(const std::string& name, std::uint32_t index, float duration, Instrument instrument);

    bool operator==(const CBol2&) const = default;

    // Clears count samples, then mixes the bass sound and the pitch sound into
    // them, each also scaled by its drum's level gain. Returns the first failed
    // status of the two mixes, else Ok. (Defined in audio/.)
    AudioStatus RenderInto(std::int16_t* block, std::uint32_t count, const CSampleBank& bank,
                           MessageSink& sink, float pitchLevel = 1.0f,
                           float bassLevel = 1.0f) const;

    float reserved = 0.0f; // carried through files; 0 for bols this program makes
    float duration = 1.0f; // beats
    CSound pitch;
    CSound bass;
    std::uint32_t index = 0; // position in the Taal, kept by the Taal
    std::string name = "New Bol";
};

} // namespace lorvanta
