#include "audio/StrokeData.h"

namespace lorvanta {

std::span<const EmbeddedWave> BuiltInWaves(BuiltInKit kit) {
    switch (kit) {
    case BuiltInKit::Recorded:
#if LORVANTA_RECORDED_KIT
        return RecordedWaves();
#else
        return {};
#endif
    case BuiltInKit::Synthesised:
        return EmbeddedWaves();
    }
    return {};
}

bool HasBuiltInKit(BuiltInKit kit) {
    return BuiltInWaves(kit).size() == kEmbeddedWaveCount;
}

} // namespace lorvanta
