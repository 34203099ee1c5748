#pragma once

// Stroke kits: a folder of WAV or FLAC recordings named by sound id
// ("12 Na.wav") that replace the built-in strokes. Any rate, channel count or
// sample format is converted once, at load, to 16-bit mono at 22050 Hz, and
// each stroke is brought to the built-in kits' shape: leading silence cut to
// about 1 ms before the attack, the peak at -7 dBFS (-13 dBFS for the soft
// strokes) so that no two strokes sum past full scale, and a short fade to zero
// when the file ends above -60 dBFS. A stroke already within these bounds (as
// every built-in one is) is taken sample for sample.
//
// Sound 0 is the silence, which also serves as the header template of every
// image the program makes and as the sound of unknown names; a kit never
// replaces it (a silent "0 Silence.wav", as written by WriteStrokeBank, is
// accepted and skipped).

#include "audio/StrokeData.h"
#include "model/SoundTables.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorvanta {

class CSampleBank;
class MessageSink;

// The most of a kit file a stroke uses: a beat at the slowest tempo. A stroke
// rings out well within it; more would only cost memory and conversion time.
inline constexpr std::uint32_t kMaxKitStrokeSeconds = 6;

// Told as a kit loads, on the loading thread: files done, and of how many.
using KitProgress = std::function<void(std::size_t done, std::size_t total)>;

struct StrokeKitResult {
    bool folderRead = false;
    std::vector<SoundId> replaced; // in id order
    std::vector<std::filesystem::path> notUsed;
};

// The peak a stroke of the sound is brought to, as a 16-bit sample value:
// 14600 (-7 dBFS), or 7300 (-13 dBFS) for the soft strokes (Soft Ra, Ne,
// Soft Din, Soft Dhi).
double StrokePeak(SoundId soundId);

// Converts a sound file to a stroke: a complete WAV image of 16-bit mono at
// 22050 Hz, trimmed, levelled to the peak of the sound its name starts with
// (a full stroke's without one) and faded. Returns false after showing why the
// file cannot be used (an empty file, or one of only zeros, among them).
bool LoadStrokeFile(const std::filesystem::path& file, std::vector<unsigned char>& wavImage,
                    MessageSink& sink);

// The sound id a kit file name starts with ("12 Na.wav" -> 12), or -1 when the
// name does not start with a number of at most two digits followed by the end
// of the stem or a non-digit.
int KitFileSoundId(const std::filesystem::path& file);

// Loads every "ID NAME.wav" / ".flac" of the folder into the bank; sounds with
// no file keep the stroke they have. Files that cannot be used (empty,
// unreadable, not audio, no sound id, a second file for a sound) are skipped and
// named together in one warning. Of several files for one id the one named
// exactly as StrokeFileName names it wins, else the first in name order.
StrokeKitResult LoadStrokeKit(CSampleBank& bank, const std::filesystem::path& folder,
                              MessageSink& sink, const KitProgress& progress = {});

// The strokes to play: a built-in kit, and a kit folder over it (none when the
// folder is empty).
struct KitChoice {
    BuiltInKit builtIn = BuiltInKit::Synthesised;
    std::filesystem::path folder;

    bool operator==(const KitChoice&) const = default;
};

inline constexpr const char* kRecordedKitName = "recorded";
inline constexpr const char* kSynthesisedKitName = "synthesised";

// The recorded kit when the build carries it, else the synthesised one.
BuiltInKit DefaultBuiltInKit();
KitChoice DefaultKitChoice();
// "recorded", "synthesised" or a folder, as the command line and the setting
// name a kit. Nothing for an empty text, and for "recorded" in a build without
// the recorded kit.
std::optional<KitChoice> ParseKitChoice(std::string_view text);
// The text ParseKitChoice reads back.
std::string KitChoiceText(const KitChoice& choice);
// The bank's strokes become the choice: its built-in kit, with no
// replacements, then the folder's strokes over it.
StrokeKitResult ApplyKitChoice(CSampleBank& bank, const KitChoice& choice, MessageSink& sink,
                               const KitProgress& progress = {});
// "3, 12 and 20": the ids a folder replaced, for saying where strokes came from.
std::string ReplacedIdsText(const std::vector<SoundId>& ids);

// "ID NAME.wav": NAME is the sound's first primary name in the pitch table,
// else in the bass table ("0 Silence.wav", "1 Pressed Ge.wav", "12 Na.wav").
std::string StrokeFileName(SoundId soundId);

// Writes the 30 strokes in use into the folder (created when missing) as
// StrokeFileName files, each the recording's WAV image byte for byte.
// Returns false after showing the message of the first failure.
bool WriteStrokeBank(const CSampleBank& bank, const std::filesystem::path& folder,
                     MessageSink& sink);

} // namespace lorvanta
