#include "model/Bol.h"

#include "model/BolDictionary.h"

namespace lorvanta {

CBol2::CBol2()
    : pitch("Silence", SoundTable::Pitch, Tabla), bass("Silence", SoundTable::Bass, Tabla) {}

CBol2::CBol2(const std::string& bolName, std::uint32_t bolIndex, float bolDuration)
    : duration(bolDuration), pitch(bolName, SoundTable::Pitch, Tabla),
      bass(bolName, SoundTable::Bass, Tabla), index(bolIndex), name(bolName) {}

CBol2::CBol2(const std::string& bolName, std::uint32_t bolIndex, float bolDuration,
             Instrument instrument, const BolDictionary& dictionary)
    : CBol2() {
    duration = bolDuration;
    index = bolIndex;
    name = bolName;
    if (const BolTableEntry* entry = dictionary.FindBol(instrument, bolName)) {
        pitch.soundId = entry->pitchSoundId;
        pitch.name = entry->pitchSoundName;
        pitch.instrument = instrument;
        bass.soundId = entry->bassSoundId;
        bass.name = entry->bassSoundName;
        bass.instrument = instrument;
    }
}

CBol2::CBol2(const std::string& bolName, std::uint32_t bolIndex, float bolDuration,
             Instrument instrument)
    : CBol2(bolName, bolIndex, bolDuration, instrument, ProcessBolDictionary()) {}

} // namespace lorvanta
