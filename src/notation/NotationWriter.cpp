#include "notation/Notation.h"

#include <cmath>
#include <cstdio>

namespace lorvanta {

namespace {

// The parser counts at most one "+" per character of a text; a larger emphasis
// can only come from elsewhere and is written with this many.
constexpr double kMaxPlusSigns = 65535.0;

bool IsOnTabla(const CSound& sound) {
    return sound.instrument == Tabla;
}

const BolDictionary::Slot& SlotOf(const BolDictionary& dictionary, const CSound& sound) {
    return dictionary.GetSlot(static_cast<Instrument>(sound.instrument));
}

} // namespace

BolText WriteBolText(const CBol2& bol, float& lastWrittenDuration,
                     const BolDictionary& dictionary) {
    BolText out;
    const auto& pitchSlot = SlotOf(dictionary, bol.pitch);
    const auto& bassSlot = SlotOf(dictionary, bol.bass);
    if ((bol.pitch.soundId == kSilenceSoundId && bol.bass.soundId == kSilenceSoundId) ||
        !pitchSlot.loaded || !bassSlot.loaded) {
        out.text = "Silence";
    } else {
        const auto& slot = bol.pitch.soundId != kSilenceSoundId ? pitchSlot : bassSlot;
        const BolTableEntry* named = nullptr;
        for (const auto& entry : slot.entries) {
            if (entry.pitchSoundId == bol.pitch.soundId && entry.bassSoundId == bol.bass.soundId) {
                named = &entry;
                break;
            }
        }
        if (named) {
            out.text = named->name;
        } else {
            out.text = bol.name;
            out.code = kNotationUnnamedSoundPair;
        }
    }

    if (bol.duration != lastWrittenDuration) {
        // The largest float needs 39 digits before the point.
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, " [%.2f]", static_cast<double>(bol.duration));
        out.text += buffer;
        lastWrittenDuration = bol.duration;
    }

    // One "+" per 3 dB of the two sounds' average emphasis, halves rounded up.
    const float sum = bol.pitch.emphasis + bol.bass.emphasis;
    const double plusSigns = std::floor(static_cast<double>(sum) * 0.5 / 3.0 + 0.5);
    if (plusSigns > 0.0) // also false for NaN
        out.text.append(static_cast<std::size_t>(std::fmin(plusSigns, kMaxPlusSigns)), '+');
    return out;
}

TaalText WriteTaalText(const CTaal& taal, const BolDictionary& dictionary) {
    TaalText out;
    out.ranges.reserve(taal.Bols().size());
    float lastWrittenDuration = 0.0f;
    // No "Pakhawaj: " is written: its dictionary is empty, so reading the text
    // back under that prefix would silence every Tabla bol after the first.
    // Without it the text reads back as Tabla, and the Pakhawaj bols, written
    // as "Silence", stay silent.
    if (taal.Count() > 1 && IsOnTabla(taal.Bols().front()->pitch))
        out.text = "Tabla: ";
    bool first = true;
    for (const auto& bol : taal.Bols()) {
        if (!first)
            out.text += " | ";
        first = false;
        BolRange range;
        range.start = static_cast<std::int32_t>(out.text.size());
        const BolText bolText = WriteBolText(*bol, lastWrittenDuration, dictionary);
        out.text += bolText.text;
        range.end = static_cast<std::int32_t>(out.text.size());
        out.ranges.push_back(range);
        if (bolText.code != 0)
            out.code = bolText.code;
    }
    return out;
}

TaalText NotationPaneText(const CLorvantaDoc& doc, const BolDictionary& dictionary) {
    if (doc.IsEmpty()) {
        TaalText hint;
        hint.text = kNotationHintText;
        return hint;
    }
    return WriteTaalText(doc.Taal(), dictionary);
}

} // namespace lorvanta
