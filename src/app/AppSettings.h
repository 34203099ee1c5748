#pragma once

// Where the program's user settings are kept, and the application's
// own settings (the recent-file list, the help address).

#include "ui/Services.h"

#include <QString>

#include <cstdint>
#include <memory>

class QSettings;

namespace lorvanta {

// The per-user store of the two settings: organisation, application and group.
inline constexpr const char* kUserSettingsOrganisation = "Vurazu";
inline constexpr const char* kUserSettingsApplication = "Zad";
inline constexpr const char* kUserSettingsGroup = "Zezari";
inline constexpr const char* kTaalsFolderValue = "Pre-composed Taals Folder";
inline constexpr const char* kPlayingBeatDisplayValue = "Playing Beat Display";
// "recorded", "synthesised" or a kit folder.
inline constexpr const char* kStrokesValue = "Strokes";
// The drone: "on" or "off", then "pa", "ma", "ni" or "sa", 3 or 4, and dB.
inline constexpr const char* kDroneValue = "Drone";
inline constexpr const char* kDroneTuningValue = "Drone Tuning";
inline constexpr const char* kDroneOctaveValue = "Drone Octave";
inline constexpr const char* kDroneLevelValue = "Drone Level";
// The lehra: "on" or "off", its name (empty: the first that fits the Taal),
// the instrument (empty: the lehra's own) and dB.
inline constexpr const char* kLehraValue = "Lehra";
inline constexpr const char* kLehraNameValue = "Lehra Name";
inline constexpr const char* kLehraInstrumentValue = "Lehra Instrument";
inline constexpr const char* kLehraLevelValue = "Lehra Level";
// The grid's rows by vibhag: "on" or "off".
inline constexpr const char* kRowsByVibhagValue = "Rows by Vibhag";
// The mixer bar's levels: dB from -40 to 6, after "off " while silenced.
inline constexpr const char* kTrebleLevelValue = "Treble Level";
inline constexpr const char* kBassLevelValue = "Bass Level";
inline constexpr const char* kMasterLevelValue = "Master Level";
// The sound output device ("HOST: DEVICE"); empty or absent: the default.
inline constexpr const char* kSoundOutputValue = "Sound Output";
// How strokes end ("natural" or "cut"), the humanise (percent) and the bass
// drum's tuning (semitones).
inline constexpr const char* kStrokeEndingsValue = "Stroke Endings";
inline constexpr const char* kHumaniseValue = "Humanise";
inline constexpr const char* kBassTuningValue = "Bass Drum Tuning";

// The application's own store.
inline constexpr const char* kAppSettingsOrganisation = "Quelnor";
inline constexpr const char* kAppSettingsApplication = "Lorvanta";
inline constexpr const char* kAppSettingsGroup = "Settings";

// A stored folder that long (with its terminating zero) cannot be read back.
inline constexpr int kMaxTaalsFolderBytes = 260;

// The Taals folder when none is set: "Taals" in the working directory when
// it exists; else the Taals that come with the program (beside it in a build,
// in share/lorvanta of an installation); else "Taals" in the working
// directory all the same.
QString DefaultTaalsFolder();
QString DefaultTaalsFolder(const QString& workingDir, const QString& programDir);

// The user store, positioned in its group.
std::unique_ptr<QSettings> OpenUserSettings();
// The application's store, positioned in its group.
std::unique_ptr<QSettings> OpenApplicationSettings();

// Reads the values: an absent or unreadable folder gives the default; an
// absent, unreadable or out-of-range display mode (2 or more) gives 0; absent
// or unusable strokes (the recorded kit in a build without it) give the
// default kit; an unreadable or out-of-range level gives 0 dB.
AppSettings ReadAppSettings();
// Writes the values; a store that cannot be written loses them silently.
void WriteAppSettings(const AppSettings& settings);

} // namespace lorvanta
