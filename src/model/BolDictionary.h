#pragma once

#include "model/SoundTables.h"

#include <array>
#include <filesystem>
#include <string>
#include <vector>

namespace lorvanta {

// One bol of the dictionary. Each text holds at most 127 characters.
struct BolTableEntry {
    static constexpr std::size_t kMaxText = 127;
    std::string name;
    std::string pitchSoundName;
    std::string bassSoundName;
    SoundId pitchSoundId = 0;
    SoundId bassSoundId = 0;
};

// The named bols, one slot per instrument. Only the Tabla slot is ever filled;
// lookups on Pakhawaj find nothing.
class BolDictionary {
public:
    struct Slot {
        bool loaded = false;
        std::vector<BolTableEntry> entries;
    };

    // Rebuilds the Tabla slot: the lines of the text file at bolFile (if it
    // opens), then the built-in bols. Returns 0, or 11 when memory runs out.
    std::uint32_t Load(const std::filesystem::path& bolFile);
    const Slot& GetSlot(Instrument instrument) const;
    const BolTableEntry* FindBol(Instrument instrument, std::string_view name) const;
    void Clear();

private:
    std::array<Slot, 2> m_slots;
};

// Reads one dictionary file's lines into entries (each line "name = pitch + bass").
// A missing file yields nothing.
void ReadBolFile(const std::filesystem::path& bolFile, std::vector<BolTableEntry>& out);

// The process-wide dictionary the program and its tools load once at start-up.
BolDictionary& ProcessBolDictionary();

// Loads the process-wide dictionary from the given file (and the built-in list).
std::uint32_t LoadBolTable(const std::filesystem::path& bolFile);

// "Tabla Bols.txt" in the folder of the running program.
std::filesystem::path DefaultBolTablePath();

// Looks a bol up in the process-wide dictionary.
const BolTableEntry* FindBol(Instrument instrument, std::string_view name);

} // namespace lorvanta
