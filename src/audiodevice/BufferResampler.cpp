#include "audiodevice/BufferResampler.h"

#include <algorithm>
#include <samplerate.h>

namespace lorvanta {

namespace {
// The converter accepts ratios within 1/256 to 256.
double ClampRatio(double ratio) {
    return std::clamp(ratio, 1.0 / 256.0, 256.0);
}
} // namespace

std::unique_ptr<BufferResampler> BufferResampler::Create() {
    std::unique_ptr<BufferResampler> resampler(new BufferResampler());
    int error = 0;
    resampler->m_state =
        src_callback_new(&BufferResampler::Supply, SRC_SINC_FASTEST, 1, &error, resampler.get());
    if (resampler->m_state == nullptr)
        return nullptr;
    return resampler;
}

BufferResampler::~BufferResampler() {
    if (m_state != nullptr)
        src_delete(static_cast<SRC_STATE*>(m_state));
}

void BufferResampler::Reset() noexcept {
    src_reset(static_cast<SRC_STATE*>(m_state));
    m_ratio = 0.0;
    m_pending = 0.0;
    m_drained = false;
}

long BufferResampler::Supply(void* self, float** data) {
    auto* resampler = static_cast<BufferResampler*>(self);
    *data = resampler->m_input.data();
    if (resampler->m_buffer == nullptr)
        return 0;
    const std::uint32_t taken = resampler->m_buffer->Consume(resampler->m_raw.data(), kInputChunk);
    for (std::uint32_t i = 0; i < taken; ++i)
        resampler->m_input[i] = static_cast<float>(resampler->m_raw[i]) * (1.0f / 32768.0f);
    resampler->m_pending += taken;
    if (taken == 0)
        resampler->m_drained = true;
    return static_cast<long>(taken);
}

std::uint32_t BufferResampler::MixInto(OutputBuffer& buffer, double deviceRate, float* mix,
                                       std::uint32_t frames, float gain) noexcept {
    auto* state = static_cast<SRC_STATE*>(m_state);
    if (m_drained)
        return 0; // ended until the buffer starts again (Reset)
    const double ratio = ClampRatio(deviceRate / static_cast<double>(buffer.Frequency()));
    if (ratio != m_ratio) {
        // A step, not a ramp across the next block: pitch follows at once.
        src_set_ratio(state, ratio);
        m_ratio = ratio;
    }
    m_buffer = &buffer;
    std::uint32_t done = 0;
    while (done < frames) {
        const long want = static_cast<long>(std::min(frames - done, kMaxFrames));
        const long got = src_callback_read(state, ratio, want, m_output.data());
        if (got <= 0)
            break;
        for (long i = 0; i < got; ++i)
            mix[done + i] += m_output[i] * gain;
        done += static_cast<std::uint32_t>(got);
        m_pending = std::max(0.0, m_pending - static_cast<double>(got) / ratio);
        if (got < want)
            break;
    }
    m_buffer = nullptr;
    return done;
}

} // namespace lorvanta
