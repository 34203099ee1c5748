#pragma once

// Taals for the sound engine's benchmarks.

#include "model/LorvantaDoc.h"
#include "model/Messages.h"
#include "persistence/TaalFile.h"

#include <array>
#include <cstdio>
#include <memory>

namespace lorvanta::bench {

struct BolKind {
    const char* name;
    SoundId pitch;
    SoundId bass;
    float pitchEmphasis;
    float bassEmphasis;
};

// The strokes of a theka: a handful of distinct bols.
inline constexpr std::array<BolKind, 5> kThekaBols{{
    {"Dha", 12, 3, 3.0f, 3.0f},
    {"Dhin", 13, 3, 0.0f, 0.0f},
    {"Tin", 14, 0, 0.0f, 0.0f},
    {"Ta", 12, 0, -3.0f, 0.0f},
    {"Na", 12, 0, 0.0f, 0.0f},
}};

inline std::unique_ptr<CBol2> MakeBol(const BolKind& kind, std::uint32_t index, float duration) {
    auto bol = std::make_unique<CBol2>();
    bol->name = kind.name;
    bol->index = index;
    bol->duration = duration;
    bol->pitch.soundId = kind.pitch;
    bol->pitch.emphasis = kind.pitchEmphasis;
    bol->bass.soundId = kind.bass;
    bol->bass.emphasis = kind.bassEmphasis;
    return bol;
}

// count bols of the given duration cycling through the theka's strokes.
inline void FillLongTaal(CTaal& taal, int count, float duration) {
    taal.RemoveAll();
    for (int i = 0; i < count; ++i)
        taal.Append(MakeBol(kThekaBols[static_cast<std::size_t>(i) % kThekaBols.size()],
                            static_cast<std::uint32_t>(i), duration));
    taal.Recalculate(-1);
}

// The bundled Teentaal; a 16-bol stand-in when the file cannot be read.
inline void LoadTeentaal(CLorvantaDoc& doc) {
    RecordingMessageSink sink;
    const ReadOutcome outcome = OpenTaalFile(doc, LORVANTA_SOURCE_DIR "/Taals/Teentaal.tal", sink);
    if (!outcome.structuralError && doc.Taal().Count() == 16)
        return;
    std::fprintf(stderr, "Taals/Teentaal.tal not readable; using 16 theka bols instead\n");
    FillLongTaal(doc.Taal(), 16, 1.0f);
    doc.SetEmpty(false);
}

} // namespace lorvanta::bench
