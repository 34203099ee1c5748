#pragma once

// The lehras the program knows: the ones it comes with (its "Lehras" folder)
// and the user's own (the "Lehras" folder of the user's data folder). A file
// that does not read is left out and named in a warning with its line.

#include "lehra/Lehra.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace lorvanta {

namespace messages {
inline constexpr const char* kLehraNoLongerFits =
    "The lehra \"%1\" does not fit a Taal of %2 beats, so the lehra is switched off.";
inline constexpr const char* kNoLehraFits =
    "No lehra fits a Taal of %1 beats, so the lehra is switched off.";
inline constexpr const char* kNoSuchLehra =
    "There is no lehra named \"%1\", so the lehra is switched off.";
inline constexpr const char* kLehraCannotPlay = "The lehra cannot play: %1.";
inline constexpr const char* kLehraLoading = "Loading the lehra...";
inline constexpr const char* kLehraOutOfMemory = "there is not enough memory";
} // namespace messages

struct LehraEntry {
    Lehra lehra;
    std::filesystem::path file;
};

class LehraLibrary {
public:
    // Reads every ".lehra" file of the folders, in order, each folder's files
    // by name. A lehra of the same name as one read before replaces it (the
    // user's own over the bundled one). Missing folders are passed over.
    static LehraLibrary Load(const std::vector<std::filesystem::path>& folders);
    // The bundled folder and the user's, as the running program finds them.
    static std::vector<std::filesystem::path> DefaultFolders();

    void Add(LehraEntry entry);

    const std::vector<LehraEntry>& Lehras() const { return m_lehras; }
    // "Lehra file F, line N: what is wrong; it is not played."
    const std::vector<std::string>& Warnings() const { return m_warnings; }
    // By name or file name without ".lehra" (any case); null when none.
    const LehraEntry* Find(std::string_view name) const;
    // The lehras that fit a Taal of taalBeats: those one cycle long first,
    // then those of two cycles, each in the library's order.
    std::vector<const LehraEntry*> Fitting(double taalBeats) const;
    // The one chosen for a Taal with no choice yet: the first that fits and
    // names the Taal ("Kirwani in Teentaal" for "Teentaal"), else the first
    // that fits.
    const LehraEntry* Auto(double taalBeats, std::string_view taalName = {}) const;

private:
    std::vector<LehraEntry> m_lehras;
    std::vector<std::string> m_warnings;
};

// The largest lehra file read; a bigger one is named in a warning.
inline constexpr std::uintmax_t kMaxLehraFileBytes = 64 * 1024;

} // namespace lorvanta
