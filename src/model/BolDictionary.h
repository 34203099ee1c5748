#pragma once

#include "model/SoundTables.h"
#include "model/StatusTable.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorvanta {

// Statuses of loading the bol dictionary.
enum class BolTableStatus : std::uint32_t {
    Ok = 0,
    OutOfMemory = 11,
};

// %1 = the status's number and ", 0".
inline constexpr std::array<StatusEntry<BolTableStatus>, 2> kBolTableStatusTable{{
    {BolTableStatus::Ok, 0, ""},
    {BolTableStatus::OutOfMemory, 11, "Error loading bol table: %1"},
}};
static_assert(StatusTableConsistent(kBolTableStatusTable));

constexpr const auto& StatusTableOf(BolTableStatus) {
    return kBolTableStatusTable;
}

// What the program and the command-line tool say when the dictionary did not load.
std::string BolTableFailureText(BolTableStatus status);

// Line numbers (from 1) of one dictionary file.
struct BolFileLines {
    std::filesystem::path file;
    std::vector<std::size_t> lines;
};

// The one warning that names the lines skipped as not UTF-8 text; none when
// no line was.
std::optional<std::string> SkippedLinesText(const std::vector<BolFileLines>& skipped);

// One bol of the dictionary. Each text holds at most 127 characters.
struct BolTableEntry {
    static constexpr std::size_t kMaxText = 127;
    std::string name;
    std::string pitchSoundName;
    std::string bassSoundName;
    SoundId pitchSoundId = 0;
    SoundId bassSoundId = 0;
};

// The named bols, one slot per instrument. The Pakhawaj slot is filled only
// when the files name pakhawaj bols (lines "Pakhawaj: NAME = pitch + bass");
// without them lookups on Pakhawaj find nothing.
class BolDictionary {
public:
    struct Slot {
        bool loaded = false;
        std::vector<BolTableEntry> entries;
    };

    // Rebuilds the slots: the Tabla slot from the lines of the text file at
    // bolFile (if it opens), then the built-in bols; the Pakhawaj slot, when
    // the file names pakhawaj bols, from those, then the built-in bols.
    // Returns Ok, or OutOfMemory.
    BolTableStatus Load(const std::filesystem::path& bolFile);
    // The same with the lines of several files, in the order given; files
    // that do not open are skipped.
    BolTableStatus Load(const std::vector<std::filesystem::path>& bolFiles);
    const Slot& GetSlot(Instrument instrument) const;
    // The lines of the last Load's files that were skipped as not UTF-8 text.
    const std::vector<BolFileLines>& SkippedLines() const { return m_skipped; }
    const BolTableEntry* FindBol(Instrument instrument, std::string_view name) const;
    void Clear();

private:
    std::array<Slot, 2> m_slots;
    std::vector<BolFileLines> m_skipped;
};

// What a dictionary file is, judged before any of it is read (a FIFO is never
// opened for reading, so nothing waits on it).
enum class BolFileState { Readable, Missing, NotRegular, TooLarge };
// A dictionary file larger than this is not read: no one writes that many bols.
inline constexpr std::uintmax_t kMaxBolFileSize = 1 << 20;
BolFileState InspectBolFile(const std::filesystem::path& bolFile);

// The entries of dictionary files, by instrument.
struct BolFileEntries {
    std::vector<BolTableEntry> tabla;
    std::vector<BolTableEntry> pakhawaj;
};
// Reads one dictionary file's lines into entries (each line "name = pitch +
// bass", or "Pakhawaj: name = pitch + bass" for the pakhawaj). A file that is
// not Readable, or cannot be opened, yields nothing. A line that is not UTF-8
// text is skipped and its number added to skipped.
void ReadBolFile(const std::filesystem::path& bolFile, BolFileEntries& out,
                 std::vector<std::size_t>* skipped = nullptr);

// The process-wide dictionary the program and its tools load once at start-up.
BolDictionary& ProcessBolDictionary();

// Loads the process-wide dictionary from the given file (and the built-in list).
BolTableStatus LoadBolTable(const std::filesystem::path& bolFile);
// The same from several files, in order.
BolTableStatus LoadBolTable(const std::vector<std::filesystem::path>& bolFiles);

// The program's "Tabla Bols.txt": beside the program when one is there, else
// in share/lorvanta of its installation; beside the program when neither is.
std::filesystem::path DefaultBolTablePath();

// The dictionary files the program reads, in order: the user's own
// "Tabla Bols.txt" in userDataFolder (when given), so a user can add and
// override bols without write access to the program's folder, then the
// program's own found from programFolder as DefaultBolTablePath does.
std::vector<std::filesystem::path> BolTableFiles(const std::filesystem::path& programFolder,
                                                 const std::filesystem::path& userDataFolder);
// The same for the running program and the user's data folder.
std::vector<std::filesystem::path> DefaultBolTableFiles();

// Looks a bol up in the process-wide dictionary.
const BolTableEntry* FindBol(Instrument instrument, std::string_view name);

} // namespace lorvanta
