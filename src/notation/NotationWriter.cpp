#include "notation/Notation.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace lorvanta {

namespace {

// The parser counts at most one "+" per character of a text; a larger emphasis
// can only come from elsewhere and is written with this many.
constexpr double kMaxPlusSigns = 65535.0;

// Whether the parser takes a duration typed as digits: as a double within the
// typed range.
bool Typable(double value) {
    return value >= static_cast<double>(kMinTypedDuration) &&
           value <= static_cast<double>(kMaxTypedDuration);
}

// Whether digits read back as duration, as the parser reads them: rounded to
// double, then to float, and taken exactly when the duration itself would be
// (the float 0.001 lies above the decimal 0.001, which the parser refuses).
bool ReadsBackAs(std::string_view digits, float duration) {
    double value = 0.0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return error == std::errc() && static_cast<float>(value) == duration &&
           Typable(value) == Typable(static_cast<double>(duration));
}

// " [D]" with the fewest decimals, at least two, that read back as duration.
// Any float in the bols' range needs at most 12; one from elsewhere that needs
// more than kMaxDecimals gets that many.
std::string DurationText(float duration) {
    constexpr int kMaxDecimals = 40;
    // A sign, the largest float's 39 digits, the point and the decimals.
    char buffer[96];
    char* end = buffer;
    for (int decimals = 2; decimals <= kMaxDecimals; ++decimals) {
        end = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(duration),
                            std::chars_format::fixed, decimals)
                  .ptr;
        if (ReadsBackAs(std::string_view(buffer, static_cast<std::size_t>(end - buffer)), duration))
            break;
    }
    return " [" + std::string(buffer, end) + "]";
}

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
            out.code = NotationStatus::UnnamedSoundPair;
        }
    }

    if (bol.duration != lastWrittenDuration) {
        out.text += DurationText(bol.duration);
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
    // "Pakhawaj: " is written only when that dictionary holds bols: with it
    // empty, reading the text back under that prefix would silence every bol
    // after the first. Without it the text reads back as Tabla, and the
    // Pakhawaj bols, written as "Silence", stay silent. The instrument is the
    // first sounding bol's: a silent bol reads back as silence under either.
    if (taal.Count() > 1) {
        const auto sounding =
            std::find_if(taal.Bols().begin(), taal.Bols().end(), [](const auto& bol) {
                return bol->pitch.soundId != kSilenceSoundId ||
                       bol->bass.soundId != kSilenceSoundId;
            });
        const CBol2& lead = sounding != taal.Bols().end() ? **sounding : *taal.Bols().front();
        const CSound& first = lead.pitch.soundId != kSilenceSoundId ? lead.pitch : lead.bass;
        if (IsOnTabla(first))
            out.text = "Tabla: ";
        else if (SlotOf(dictionary, first).loaded)
            out.text = "Pakhawaj: ";
    }
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
        if (bolText.code != NotationStatus::Ok)
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
