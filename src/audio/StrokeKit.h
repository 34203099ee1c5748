#pragma once

// Stroke kits: a folder of WAV or FLAC recordings named by sound id
// ("12 Na.wav") that replace the built-in strokes. Any rate, channel count or
// sample format is converted once, at load, to 16-bit mono at 22050 Hz.
//
// Sound 0 is the silence, which also serves as the header template of every
// image the program makes and as the sound of unknown names; a kit never
// replaces it (a silent "0 Silence.wav", as written by WriteStrokeBank, is
// accepted and skipped).

#include "model/SoundTables.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace lorvanta {

class CSampleBank;
class MessageSink;

// Longest stroke a kit may bring: more would never be heard (a bol block holds
// 6 seconds per beat) and would only cost memory.
inline constexpr std::uint32_t kMaxKitStrokeSeconds = 30;

struct StrokeKitResult {
    bool folderRead = false;
    std::vector<SoundId> replaced; // in id order
    std::vector<std::filesystem::path> notUsed;
};

// Converts a sound file to a stroke: a complete WAV image of 16-bit mono at
// 22050 Hz. Returns false after showing why the file cannot be used.
bool LoadStrokeFile(const std::filesystem::path& file, std::vector<unsigned char>& wavImage,
                    MessageSink& sink);

// The sound id a kit file name starts with ("12 Na.wav" -> 12), or -1 when the
// name does not start with a number of at most two digits followed by the end
// of the stem or a non-digit.
int KitFileSoundId(const std::filesystem::path& file);

// Loads every "ID NAME.wav" / ".flac" of the folder into the bank; sounds with
// no file keep the stroke they have. Problems with single files are shown as
// warnings and the file is skipped.
StrokeKitResult LoadStrokeKit(CSampleBank& bank, const std::filesystem::path& folder,
                              MessageSink& sink);

// "ID NAME.wav": NAME is the sound's first primary name in the pitch table,
// else in the bass table ("0 Silence.wav", "1 Pressed Ge.wav", "12 Na.wav").
std::string StrokeFileName(SoundId soundId);

// Writes the 30 strokes in use into the folder (created when missing) as
// StrokeFileName files, each the recording's WAV image byte for byte.
// Returns false after showing the message of the first failure.
bool WriteStrokeBank(const CSampleBank& bank, const std::filesystem::path& folder,
                     MessageSink& sink);

} // namespace lorvanta
