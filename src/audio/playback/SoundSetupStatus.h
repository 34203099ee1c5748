#pragma once

// Statuses of setting the sound output up, and the text each failure shows.

#include "model/StatusTable.h"

#include <array>
#include <cstdint>

namespace lorvanta {

namespace messages {
inline constexpr const char* kErrorInitializingSound =
    "Error initializing sound output (error code = %1)";
// No device could be opened: what failed, and what to do about it.
inline constexpr const char* kNoSoundDevice =
    "Error initializing sound output (error code = %1): no sound device could be opened. "
    "Start the sound server or choose another output under Sound output in Options, then "
    "press Play again.";
} // namespace messages

// Statuses of InitDirectSound.
enum class SoundSetupStatus : std::uint32_t {
    Ok = 0,
    NoEvents = 28,        // the feeding thread could not start
    NoDevice = 29,        // no output device
    NoPrimaryFormat = 30, // the mixing format was refused
    NoStream = 33,        // the ring could not be created
};

// Every failure shows its number in the same text.
inline constexpr std::array<StatusEntry<SoundSetupStatus>, 5> kSoundSetupStatusTable{{
    {SoundSetupStatus::Ok, 0, ""},
    {SoundSetupStatus::NoEvents, 28, messages::kErrorInitializingSound},
    {SoundSetupStatus::NoDevice, 29, messages::kNoSoundDevice},
    {SoundSetupStatus::NoPrimaryFormat, 30, messages::kErrorInitializingSound},
    {SoundSetupStatus::NoStream, 33, messages::kErrorInitializingSound},
}};
static_assert(StatusTableConsistent(kSoundSetupStatusTable));

constexpr const auto& StatusTableOf(SoundSetupStatus) {
    return kSoundSetupStatusTable;
}

} // namespace lorvanta
