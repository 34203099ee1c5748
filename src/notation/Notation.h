#pragma once

// The notation: a whole Taal as one line of text, and such text read back into
// a Taal.
//
//   Tabla: Dha [1.00] | Dhin | Ti [0.25]+ | Ra
//
// An optional instrument prefix, then bols separated by "|". Each bol is a
// dictionary name, an optional duration in brackets that holds for the
// following bols too, and any number of "+" (3 dB of emphasis each).

#include "model/BolDictionary.h"
#include "model/LorvantaDoc.h"
#include "model/Messages.h"
#include "model/Taal.h"
#include "model/TaalLimits.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lorvanta {

// Statuses of writing and parsing notation.
enum class NotationStatus : std::uint32_t {
    Ok = 0,
    // A write in which some bol's sound pair has no dictionary entry (the bol
    // is then written under its display name).
    UnnamedSoundPair = 35,
    // A parse stopped at more than 50,000 bols or 100,000 beats.
    TaalTooLarge = 42,
    // A parse refused at a bol whose duration is bad.
    BadBol = 44,
};

namespace messages {
// %1 = the bol's number counted from 1, %2 = its piece as messages show it.
inline constexpr const char* kNotationBadBol = "Error in taal at bol no %1, bol: %2";
} // namespace messages

// The written code shows as its number only; a refused parse's warning.
inline constexpr std::array<StatusEntry<NotationStatus>, 4> kNotationStatusTable{{
    {NotationStatus::Ok, 0, ""},
    {NotationStatus::UnnamedSoundPair, 35, ""},
    {NotationStatus::TaalTooLarge, 42, messages::kTaalTooLarge},
    {NotationStatus::BadBol, 44, messages::kNotationBadBol},
}};
static_assert(StatusTableConsistent(kNotationStatusTable));
static_assert(static_cast<std::uint32_t>(NotationStatus::TaalTooLarge) ==
              static_cast<std::uint32_t>(LimitStatus::TaalTooLarge));

constexpr const auto& StatusTableOf(NotationStatus) {
    return kNotationStatusTable;
}

// Shown in the notation pane instead of the text of an empty Taal.
inline constexpr std::string_view kNotationHintText =
    "Compose a Taal by typing here or by inserting new bols above. Click \"Help\" button below "
    "to learn how to compose using notation.";

// Durations typed in brackets must lie within a bol's limits (the lower
// bound is the single-precision 0.001, a hair above the decimal 0.001).
inline constexpr float kMinTypedDuration = limits::kMinBolBeats;
inline constexpr float kMaxTypedDuration = limits::kMaxBolBeats;

// Emphasis one "+" adds to both sounds of a bol, in dB, and the most a bol
// gets however many it has (what a Taal file holds).
inline constexpr float kEmphasisPerPlus = 3.0f;
inline constexpr float kMaxNotationEmphasis = 20.0f;

// Where one bol's text lies in a notation text: character offsets, end excluded.
struct BolRange {
    std::int32_t start = 0;
    std::int32_t end = 0;
    bool operator==(const BolRange&) const = default;
};

struct BolText {
    std::string text;
    NotationStatus code = NotationStatus::Ok; // or UnnamedSoundPair
};

struct TaalText {
    std::string text;
    std::vector<BolRange> ranges;             // one per bol
    NotationStatus code = NotationStatus::Ok; // or UnnamedSoundPair
};

// Writes one bol: the dictionary's first name for its sound pair ("Silence"
// for a silent bol or one on an instrument without a dictionary), its
// duration in brackets when it differs from lastWrittenDuration (which then
// takes it), and one "+" per 3 dB of average emphasis. The duration has the
// fewest decimals, at least two, that read back as the same float
// ("[0.50]", "[0.125]").
BolText WriteBolText(const CBol2& bol, float& lastWrittenDuration,
                     const BolDictionary& dictionary = ProcessBolDictionary());

// Writes a whole Taal, bols joined by " | ", the first one always with its
// duration. "Tabla: " leads when the first bol's pitch sound is on the Tabla
// and there is more than one bol (a text without "|" has no prefix, so a
// prefix before a lone bol would read back as part of its name).
TaalText WriteTaalText(const CTaal& taal, const BolDictionary& dictionary = ProcessBolDictionary());

// What the notation pane shows for a document: the hint text and no ranges
// while it is empty, its written Taal otherwise.
TaalText NotationPaneText(const CLorvantaDoc& doc,
                          const BolDictionary& dictionary = ProcessBolDictionary());

// State of one parse: the sticky duration and the number of bols accepted.
struct NotationParseState {
    double currentDuration = 1.0;
    std::uint32_t bolCount = 0;
};

// Parses one piece of a text (the part between two "|") into a bol on the
// given instrument, indexed by state.bolCount. shownPiece, when given,
// receives the piece as error messages show it: "+" turned into spaces and
// trimmed. Returns null when the duration is bad: no closing bracket, not a
// finite decimal number, or outside kMinTypedDuration..kMaxTypedDuration.
// A name the dictionary lacks is no error: the bol is silent.
std::unique_ptr<CBol2> ParseBolText(std::string_view piece, Instrument instrument,
                                    NotationParseState& state,
                                    const BolDictionary& dictionary = ProcessBolDictionary(),
                                    std::string* shownPiece = nullptr);

// What a parse found: Ok, BadBol (with the number of the bol, counted from 1,
// and its piece as messages show it) or TaalTooLarge (the parse stops there).
struct NotationParseResult {
    NotationStatus status = NotationStatus::Ok;
    std::uint32_t bolNumber = 0;
    std::string shownPiece;
};

// Parses a whole text into taal (emptied first; its name is left alone); a
// refused text leaves it empty. Memory grows with the bols kept, not with
// the text's pieces.
NotationParseResult ParseTaalTextStatus(std::string_view text, CTaal& taal,
                                        const BolDictionary& dictionary = ProcessBolDictionary());

// ParseTaalTextStatus, reporting a refusal through sink: "Error in taal at
// bol no N, bol: PIECE" or the limit's message. Returns whether it succeeded.
//
// A prefix before the first ":" is taken only when the text has a "|" after
// that ":" and the prefix is exactly (ignoring case) "Tabla" or "Pakhawaj";
// otherwise the ":" belongs to the first bol's name. Whitespace after the last
// "|" makes no bol.
bool ParseTaalText(std::string_view text, CTaal& taal, MessageSink& sink,
                   const BolDictionary& dictionary = ProcessBolDictionary());

// The message of a refused bol (number counted from 1).
std::string NotationErrorMessage(std::uint32_t bolNumber, std::string_view shownPiece);

// Where each bol's text lies in a text as typed, one range per bol the parse
// makes: from the character after the preceding "|" (or after the prefix, or
// the start) to the character before the following "|" (excluded), or the end
// of the text for the last bol.
std::vector<BolRange> AppliedTextRanges(std::string_view text);

} // namespace lorvanta
