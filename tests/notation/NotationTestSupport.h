#pragma once

#include "model/BolDictionary.h"
#include "model/Messages.h"
#include "model/Taal.h"
#include "notation/Notation.h"

#include <memory>
#include <string>

namespace lorvanta::test {

// The dictionary with the built-in bols only.
inline const BolDictionary& BuiltInDictionary() {
    static const BolDictionary dictionary = [] {
        BolDictionary d;
        d.Load(LORVANTA_TEST_DATA "/no such folder/Tabla Bols.txt");
        return d;
    }();
    return dictionary;
}

// The built-in bols behind the "Tabla Bols.txt" the program ships with.
inline const BolDictionary& ShippedDictionary() {
    static const BolDictionary dictionary = [] {
        BolDictionary d;
        d.Load(LORVANTA_SOURCE_DIR "/resources/Tabla Bols.txt");
        return d;
    }();
    return dictionary;
}

// A bol as the notation parser makes it from a dictionary name.
inline std::unique_ptr<CBol2> NamedBol(const std::string& name, float duration,
                                       const BolDictionary& dictionary = BuiltInDictionary()) {
    return std::make_unique<CBol2>(name, 0, duration, Tabla, dictionary);
}

inline void AddBol(CTaal& taal, std::unique_ptr<CBol2> bol) {
    bol->index = static_cast<std::uint32_t>(taal.Count());
    taal.Append(std::move(bol));
}

// Parses with the given dictionary, keeping the messages.
struct Parsed {
    bool ok = false;
    std::unique_ptr<CTaal> taal = std::make_unique<CTaal>();
    RecordingMessageSink sink;
};

inline std::unique_ptr<Parsed> Parse(std::string_view text,
                                     const BolDictionary& dictionary = BuiltInDictionary()) {
    auto parsed = std::make_unique<Parsed>();
    parsed->ok = ParseTaalText(text, *parsed->taal, parsed->sink, dictionary);
    return parsed;
}

} // namespace lorvanta::test
