#pragma once

// Status codes and message texts of the sound engine.

#include "model/StatusTable.h"

#include <array>
#include <cstdint>
#include <limits>

namespace lorvanta {

// Statuses of the sample bank and the renderer.
enum class AudioStatus : std::uint32_t {
    Ok = 0,
    SoundNotFound = 8,
    SoundNotLoaded = 9,
    SoundNotLocked = 10,
    OutOfMemory = 11,
    NoModule = 12,
    NoImage = 13,
};

namespace messages {
inline constexpr const char* kCannotGetHandle = "Error %1: Cannot get handle for %2";
inline constexpr const char* kCannotFindSound = "Error %1: Cannot find sound %2";
inline constexpr const char* kCannotLoadSound = "Error %1: Cannot load sound %2";
inline constexpr const char* kCannotAllocate =
    "Cannot allocate memory. Close one or more applications that are running and try again.";
} // namespace messages

// The bank's texts take the system error (%1) and the sound's or, for
// NoModule, the program's name (%2). A status without a text of its own is
// seen only as the number in "Error %1 occured while loading Taal".
inline constexpr std::array<StatusEntry<AudioStatus>, 7> kAudioStatusTable{{
    {AudioStatus::Ok, 0, ""},
    {AudioStatus::SoundNotFound, 8, messages::kCannotFindSound},
    {AudioStatus::SoundNotLoaded, 9, messages::kCannotLoadSound},
    {AudioStatus::SoundNotLocked, 10, messages::kCannotGetHandle},
    {AudioStatus::OutOfMemory, 11, messages::kCannotAllocate},
    {AudioStatus::NoModule, 12, messages::kCannotGetHandle},
    {AudioStatus::NoImage, 13, ""},
}};
static_assert(StatusTableConsistent(kAudioStatusTable));

constexpr const auto& StatusTableOf(AudioStatus) {
    return kAudioStatusTable;
}

// The system codes a failed resource step leaves behind.
inline constexpr std::uint32_t kSystemModuleNotFound = 0x7E;
inline constexpr std::uint32_t kSystemResourceDataNotFound = 0x714;
inline constexpr std::uint32_t kSystemResourceNameNotFound = 0x716;

namespace messages {
inline constexpr const char* kCannotLoadBol = "Cannot load bol %1 into memory.";
inline constexpr const char* kErrorLoadingTaal = "Error %1 occured while loading Taal";
inline constexpr const char* kErrorOccured = "Error %1 occured";
inline constexpr const char* kMustLoadTaal = "You must load a Taal before playing it";
} // namespace messages

// Float to unsigned conversions that truncate toward zero like the program's
// arithmetic, but stay defined for every input: NaN and negative values give 0,
// values too large for the type give its largest value.
inline std::uint32_t TruncateToU32(float value) {
    if (!(value > 0.0f))
        return 0;
    if (value >= 4294967296.0f)
        return std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(value);
}

inline std::uint64_t TruncateToU64(float value) {
    if (!(value > 0.0f))
        return 0;
    if (value >= 18446744073709551616.0f)
        return std::numeric_limits<std::uint64_t>::max();
    return static_cast<std::uint64_t>(value);
}

} // namespace lorvanta
