#pragma once

// A Taal's vibhags (sections): the beats in each and its mark, X for sam, 0
// for khali, 1 to 9 for a taali. They travel in the Taal parameters' reserved
// block as a small tagged record, so that any reader of the format carries
// them through untouched.

#include "model/StatusTable.h"
#include "model/Taal.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorvanta {

struct Vibhag {
    int beats = 0; // whole beats, 1 to kMaxVibhagBeats
    char mark = 'X';
    bool operator==(const Vibhag&) const = default;
};
using VibhagList = std::vector<Vibhag>;

inline constexpr int kMaxVibhagBeats = 9999;

// The record: "VBHG", version 1, the count (1 byte), then per vibhag its
// beats (16 bits, little-endian) and its mark (an ASCII character).
inline constexpr std::array<std::uint8_t, 4> kVibhagRecordTag{'V', 'B', 'H', 'G'};
inline constexpr std::uint8_t kVibhagRecordVersion = 1;
inline constexpr std::size_t kVibhagRecordHeader = 6;
inline constexpr std::size_t kMaxVibhags =
    (sizeof(CTaalParams::reserved) - kVibhagRecordHeader) / 3;

// A mark as stored and shown: 'X', '0' or '1'..'9'.
bool IsVibhagMark(char mark);

// Whether a check or a change of vibhags is possible, and why not.
enum class VibhagStatus : std::uint32_t {
    Ok = 0,
    BadText = 1,  // not "mark:beats" pairs
    TooMany = 2,  // more than the record holds
    DoNotFit = 3, // the beats do not add up to the Taal's length
};

inline constexpr std::array<StatusEntry<VibhagStatus>, 4> kVibhagStatusTable{{
    {VibhagStatus::Ok, 0, ""},
    {VibhagStatus::BadText, 1,
     "Write the vibhags as mark:beats pairs separated by spaces, for example "
     "\"X:4 2:4 0:4 3:4\". A mark is X (sam), 0 (khali) or a taali number from 1 to 9; "
     "beats are whole numbers from 1 to 9999."},
    {VibhagStatus::TooMany, 2, "A Taal holds at most 83 vibhags."},
    {VibhagStatus::DoNotFit, 3, "The vibhags add up to %1, but the Taal is %2 long."},
}};
static_assert(StatusTableConsistent(kVibhagStatusTable));
static_assert(kMaxVibhags == 83);

constexpr const auto& StatusTableOf(VibhagStatus) {
    return kVibhagStatusTable;
}

// Reads "X:4 2:4 0:4 3:4" (marks may be lower case; blank text is no
// vibhags). BadText or TooMany leaves `out` empty.
VibhagStatus ParseVibhags(std::string_view text, VibhagList& out);
// The same text back, "X:4 2:4 0:4 3:4" ("" for none).
std::string FormatVibhags(const VibhagList& vibhags);
int TotalVibhagBeats(const VibhagList& vibhags);
// Ok when the vibhags cover exactly the Taal's length (or there are none).
VibhagStatus CheckVibhagsFit(const VibhagList& vibhags, float taalLength);
// Typed vibhags a Taal of that length may take: ParseVibhags, then
// CheckVibhagsFit (on DoNotFit `out` keeps what was read, for the message).
VibhagStatus ParseFittingVibhags(std::string_view text, float taalLength, VibhagList& out);

// What the reserved block holds.
enum class VibhagRecordState {
    Absent,    // no tag: no vibhags (the block is someone else's, or zero)
    Valid,     // the tag and a record that reads
    Malformed, // the tag, but a record that does not read
};

struct StoredVibhags {
    VibhagRecordState state = VibhagRecordState::Absent;
    VibhagList vibhags; // empty unless Valid
};

StoredVibhags ReadVibhagRecord(const CTaalParams& params);
// Replaces the block with the record (the rest zero); no vibhags zeroes it.
// TooMany (and a vibhag out of range: BadText) leaves the block as it was.
VibhagStatus WriteVibhagRecord(CTaalParams& params, const VibhagList& vibhags);

// Why the views show the vibhags they do.
enum class VibhagDisplay {
    None,       // the Taal has none
    Shown,      // stored and fitting the Taal's length
    DoNotFit,   // stored, but an edit changed the Taal's length
    Unreadable, // a tagged record that does not read
};

struct ShownVibhags {
    VibhagDisplay display = VibhagDisplay::None;
    VibhagList vibhags; // empty unless Shown
    VibhagList stored;  // the stored ones, also when they do not fit
};

ShownVibhags VibhagsToShow(const CTaalParams& params, float taalLength);

// The 0-based beat each vibhag starts on.
std::vector<int> VibhagStartBeats(const VibhagList& vibhags);

// The text of a refused vibhag change ("%1" and "%2" filled for DoNotFit).
std::string VibhagStatusText(VibhagStatus status, const VibhagList& vibhags, float taalLength);
// Why Taal Properties does not show the stored vibhags ("" when it does).
std::string VibhagDisplayNote(const ShownVibhags& shown, float taalLength);

} // namespace lorvanta
