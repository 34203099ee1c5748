#pragma once

#include "audio/output/OutputBuffer.h"

#include <array>
#include <cstdint>
#include <memory>

namespace lorvanta {

// Plays one buffer at the device's rate: takes the buffer's samples at the
// buffer's frequency and converts them with a band-limited resampler. A new
// frequency takes effect at the next call, as a step, so that the sound keeps
// going without a gap or a click. Nothing here allocates after Create.
class BufferResampler {
public:
    static constexpr std::uint32_t kMaxFrames = 1024; // device frames per MixInto step

    // Null when the converter cannot be set up.
    static std::unique_ptr<BufferResampler> Create();
    ~BufferResampler();
    BufferResampler(const BufferResampler&) = delete;
    BufferResampler& operator=(const BufferResampler&) = delete;

    // Adds `frames` samples of the buffer at deviceRate, times gain, to mix.
    // Fewer are added when the buffer stops or ends; returns how many were.
    std::uint32_t MixInto(OutputBuffer& buffer, double deviceRate, float* mix, std::uint32_t frames,
                          float gain) noexcept;
    // Forgets what it holds (the buffer was repositioned or restarted).
    void Reset() noexcept;
    // Buffer samples taken from the buffer but not yet given out.
    double PendingFrames() const noexcept { return m_pending; }

private:
    static constexpr std::uint32_t kInputChunk = 64; // buffer samples per pull

    BufferResampler() = default;
    static long Supply(void* self, float** data);

    void* m_state = nullptr; // the converter
    OutputBuffer* m_buffer = nullptr;
    double m_ratio = 0.0;
    double m_pending = 0.0;
    bool m_drained = false;
    std::array<std::int16_t, kInputChunk> m_raw{};
    std::array<float, kInputChunk> m_input{};
    std::array<float, kMaxFrames> m_output{};
};

} // namespace lorvanta
