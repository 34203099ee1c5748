#pragma once

#include <cstdint>

namespace lorvanta {

// Result of an output operation: 0 for success, negative for failure. The
// values follow the platform's 32-bit result codes so that they can be shown
// to the user as the program always has.
using HResult = std::int32_t;

inline constexpr HResult kHrOk = 0;
inline constexpr HResult kHrFalse = 1;
inline constexpr HResult kHrNotInitialized = static_cast<HResult>(0x800401F0u);
inline constexpr HResult kHrInvalidArg = static_cast<HResult>(0x80070057u);
inline constexpr HResult kHrOutOfMemory = static_cast<HResult>(0x8007000Eu);
inline constexpr HResult kHrFail = static_cast<HResult>(0x80004005u);
inline constexpr HResult kHrUnexpected = static_cast<HResult>(0x8000FFFFu);
inline constexpr HResult kHrNotImplemented = static_cast<HResult>(0x80004001u);
// The buffer's memory was taken away (its device vanished); Restore it.
inline constexpr HResult kHrBufferLost = static_cast<HResult>(0x88780096u);
// No output device could be opened.
inline constexpr HResult kHrNoDriver = static_cast<HResult>(0x88780078u);
// The buffer was not created with the control the call needs.
inline constexpr HResult kHrControlUnavailable = static_cast<HResult>(0x8878001Eu);
// The call is not allowed in the buffer's present state.
inline constexpr HResult kHrInvalidCall = static_cast<HResult>(0x88780032u);

constexpr bool Failed(HResult result) {
    return result < 0;
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
