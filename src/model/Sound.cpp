#include "model/Sound.h"

namespace lorvanta {

CSound::CSound(const std::string& soundName, SoundTable table, Instrument soundInstrument)
    : instrument(soundInstrument), name(soundName) {
    std::string normalised = soundName;
    soundId = NormalizeSoundName(normalised, table);
}

} // namespace lorvanta
