#pragma once

// Reading and writing Taal files (".tal"): version 4 (written), version 3 and
// the headerless legacy layout of 106-byte records (read).

#include "model/LorvantaDoc.h"
#include "model/Messages.h"
#include "model/StatusTable.h"
#include "persistence/SafeSave.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace lorvanta {

// Results of a document read.
enum class ReadResult : std::uint32_t {
    Ok = 0,
    CheckFailed = 38, // a check failed or a value was repaired
};

namespace messages {
// %1 = the result's number, %2 = the file's full path.
inline constexpr const char* kReadInvalid =
    "Error %1 occurred while reading file %2. Invalid Lorvanta file.";
// The same result when a sound was repaired and every other check passed.
inline constexpr const char* kReadRepaired =
    "Lorvanta encountered error %1 while reading file %2, but tried to repair the file. If the "
    "Taal plays properly, please save it before closing.";
// %1 = the file's full path.
inline constexpr const char* kVibhagsUnreadable =
    "The vibhags stored in %1 cannot be read; the Taal opens without them. The stored record is "
    "kept as it is unless you set new vibhags in Taal Properties.";
} // namespace messages

inline constexpr std::array<StatusEntry<ReadResult>, 2> kReadResultTable{{
    {ReadResult::Ok, 0, ""},
    {ReadResult::CheckFailed, 38, messages::kReadInvalid},
}};
static_assert(StatusTableConsistent(kReadResultTable));

constexpr const auto& StatusTableOf(ReadResult) {
    return kReadResultTable;
}

// What a document read found.
struct ReadOutcome {
    // The file could not be read at all; errorDetail says what is wrong and
    // where. The document is left empty.
    bool structuralError = false;
    std::string errorDetail;
    ReadResult result = ReadResult::Ok;
    bool valid = true;     // cleared by any failed check
    bool repaired = false; // set when a sound was repaired on the way in
    // The parameters hold a tagged vibhag record that does not read; the
    // block is kept as read.
    bool vibhagsUnreadable = false;
};

// Reads a whole Taal file image into doc (emptied first). fullPath names the
// file in messages and gives a legacy file's Taal its name. fileLength is the
// length of the file on disk when only its start was loaded (see OpenTaalFile);
// by default the image is the whole file.
ReadOutcome ReadTaalDocument(std::span<const std::uint8_t> bytes, const std::string& fullPath,
                             CLorvantaDoc& doc, std::optional<std::uint64_t> fileLength = {});

// The message box the program shows after a read that did not fail
// structurally, or none. fullPath is the file's absolute path.
std::optional<UserMessage> PostReadMessage(const ReadOutcome& outcome, const std::string& fullPath);

// The warning for a file whose stored vibhags cannot be read, or none.
std::optional<UserMessage> VibhagReadMessage(const ReadOutcome& outcome,
                                             const std::string& fullPath);

// The message for a file that cannot be read at all.
std::string StructuralErrorMessage(const std::string& fullPath, const std::string& detail);

// The absolute, lexically normalised form of a path, as messages show it.
std::string FullPathName(const std::filesystem::path& path);

// Opens a Taal file as the program does: reads it (a regular file only),
// reports through sink (the post-read warning or error box, or the structural
// error after which the document is a fresh empty one, then the warning about
// unreadable vibhags unless only the bols are wanted), and sets the document's
// path, title, empty and modified flags. Returns what the read found.
enum class OpenedFor { Document, BolsOnly };
ReadOutcome OpenTaalFile(CLorvantaDoc& doc, const std::filesystem::path& path, MessageSink& sink,
                         OpenedFor use = OpenedFor::Document);

// The program's rule after opening: a default tempo below 10, above 1000 or not
// a number becomes the default. Returns true when it was replaced.
bool ApplyOpenedTempoRule(CLorvantaDoc& doc);

// The version 4 image of a document.
std::vector<std::uint8_t> WriteTaalDocument(const CLorvantaDoc& doc);

// Saves doc in version 4 through WriteFileSafely. On success the header reads
// version 4, the document is unmodified and takes the file's full path.
bool SaveTaalFile(CLorvantaDoc& doc, const std::filesystem::path& path, SaveFailure& failure);

} // namespace lorvanta
