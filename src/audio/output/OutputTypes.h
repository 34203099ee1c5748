#pragma once

#include "model/StatusTable.h"

#include <array>
#include <cstdint>

namespace lorvanta {

// Result of an output operation: Ok (or False) for success, a negative value
// for failure. The values follow the platform's 32-bit result codes.
enum class HResult : std::int32_t {
    Ok = 0,
    False = 1,
    NotInitialized = static_cast<std::int32_t>(0x800401F0u),
    InvalidArg = static_cast<std::int32_t>(0x80070057u),
    OutOfMemory = static_cast<std::int32_t>(0x8007000Eu),
    Fail = static_cast<std::int32_t>(0x80004005u),
    Unexpected = static_cast<std::int32_t>(0x8000FFFFu),
    NotImplemented = static_cast<std::int32_t>(0x80004001u),
    // The buffer's memory was taken away (its device vanished); Restore it.
    BufferLost = static_cast<std::int32_t>(0x88780096u),
    // No output device could be opened.
    NoDriver = static_cast<std::int32_t>(0x88780078u),
    // The buffer was not created with the control the call needs.
    ControlUnavailable = static_cast<std::int32_t>(0x8878001Eu),
    // The call is not allowed in the buffer's present state.
    InvalidCall = static_cast<std::int32_t>(0x88780032u),
};

// The results' numbers as 32-bit codes; none has a text of its own.
inline constexpr std::array<StatusEntry<HResult>, 12> kHResultTable{{
    {HResult::Ok, 0, ""},
    {HResult::False, 1, ""},
    {HResult::NotInitialized, 0x800401F0u, ""},
    {HResult::InvalidArg, 0x80070057u, ""},
    {HResult::OutOfMemory, 0x8007000Eu, ""},
    {HResult::Fail, 0x80004005u, ""},
    {HResult::Unexpected, 0x8000FFFFu, ""},
    {HResult::NotImplemented, 0x80004001u, ""},
    {HResult::BufferLost, 0x88780096u, ""},
    {HResult::NoDriver, 0x88780078u, ""},
    {HResult::ControlUnavailable, 0x8878001Eu, ""},
    {HResult::InvalidCall, 0x88780032u, ""},
}};
static_assert(StatusTableConsistent(kHResultTable));

constexpr const auto& StatusTableOf(HResult) {
    return kHResultTable;
}

constexpr bool Failed(HResult result) {
    return static_cast<std::int32_t>(result) < 0;
}

// Creation flags of a sound buffer.
namespace buffer_flags {
inline constexpr std::uint32_t kLocSoftware = 0x8;
inline constexpr std::uint32_t kCtrlFrequency = 0x20;
inline constexpr std::uint32_t kCtrlPan = 0x40;
inline constexpr std::uint32_t kCtrlVolume = 0x80;
inline constexpr std::uint32_t kCtrlPositionNotify = 0x100;
inline constexpr std::uint32_t kGlobalFocus = 0x8000;
inline constexpr std::uint32_t kGetCurrentPosition2 = 0x10000;
} // namespace buffer_flags

// Status bits answered by OutputBuffer::GetStatus.
namespace buffer_status {
inline constexpr std::uint32_t kPlaying = 0x1;
inline constexpr std::uint32_t kLost = 0x2;
inline constexpr std::uint32_t kLooping = 0x4;
} // namespace buffer_status

// Frequencies a buffer accepts, in samples per second.
inline constexpr std::uint32_t kMinBufferFrequency = 100;
inline constexpr std::uint32_t kMaxBufferFrequency = 200000;

// PCM layout of a buffer. Buffers hold signed 16-bit little-endian mono
// samples; the sample rate is the rate the buffer is created with.
struct PcmFormat {
    std::uint16_t formatTag = 1; // PCM
    std::uint16_t channels = 1;
    std::uint32_t sampleRate = 22050;
    std::uint32_t bytesPerSecond = 44100;
    std::uint16_t blockAlign = 2;
    std::uint16_t bitsPerSample = 16;
};

// What a new buffer is to be.
struct BufferDesc {
    std::uint32_t flags = 0;
    std::uint32_t bytes = 0;
    PcmFormat format;
};

} // namespace lorvanta
