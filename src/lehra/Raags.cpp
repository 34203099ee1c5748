#include "lehra/Raags.h"
#include "model/Text.h"

#include <algorithm>
#include <cctype>

namespace lorvanta {

std::optional<RaagScale> FindRaag(std::string_view name) {
    for (const RaagScale& raag : kRaagScales) {
        if (EqualsIgnoringCase(raag.name, name))
            return raag;
    }
    return std::nullopt;
}

std::optional<int> SwaraSemitones(char swara) {
    constexpr std::string_view kSwaras = "SrRgGmMPdDnN";
    const std::size_t at = kSwaras.find(swara);
    if (at == std::string_view::npos)
        return std::nullopt;
    return static_cast<int>(at);
}

bool RaagAllows(const RaagScale& raag, int semitones) {
    const int pitchClass = ((semitones % 12) + 12) % 12;
    return std::ranges::any_of(raag.swaras, [pitchClass](char swara) {
        const auto value = SwaraSemitones(swara);
        return value && *value == pitchClass;
    });
}

} // namespace lorvanta
