#include "audio/BolAudition.h"

#include "audio/AudioStatus.h"
#include "audio/SampleBank.h"
#include "model/Bol.h"
#include "model/Messages.h"

#include <cstring>

namespace lorvanta {

AudioStatus CBolAudition::Render(const CBol2& paneBol, const DrumLevels& levels) {
    m_ready = false;
    if (m_buffer.empty()) {
        try {
            m_buffer.resize(kImageSize / 2);
        } catch (const std::bad_alloc&) {
            m_sink.Show({MessageKind::Error, StatusText(AudioStatus::OutOfMemory)});
            return AudioStatus::OutOfMemory;
        }
    }
    CBol2 bol = paneBol;
    bol.duration = 1.0f;
    const float sum = bol.pitch.emphasis + bol.bass.emphasis;
    const float lower = sum > 0.0f ? sum * 0.5f : 0.0f;
    bol.pitch.emphasis -= lower;
    bol.bass.emphasis -= lower;

    std::int16_t* samples = m_buffer.data() + kWaveHeaderSize / 2;
    const DrumLevels clamped = levels.Clamped();
    if (const AudioStatus status = bol.RenderInto(samples, kSamples, m_bank, m_sink,
                                                  clamped.TrebleGain(), clamped.BassGain());
        status != AudioStatus::Ok) {
        m_buffer.clear();
        m_buffer.shrink_to_fit();
        return status;
    }

    const RecordingAccess silence = m_bank.Access(kSilenceResourceId);
    if (!silence.Ok())
        return ReportAccessFailure(silence, ProgramPath(), kSilenceResourceName, m_sink);
    if (silence.bytes.size() < kWaveHeaderSize)
        return AudioStatus::NoImage;
    auto* bytes = reinterpret_cast<std::uint8_t*>(m_buffer.data());
    std::memcpy(bytes, silence.bytes.data(), kWaveHeaderSize);
    const std::span<std::uint8_t> header(bytes, kWaveHeaderSize);
    PutLe32(header, kDataSizeOffset, 2 * kSamples);
    PutLe32(header, kRiffSizeOffset, static_cast<std::uint32_t>(kImageSize - 8));
    m_ready = true;
    return AudioStatus::Ok;
}

std::span<const unsigned char> CBolAudition::Image() const {
    if (!m_ready)
        return {};
    return {reinterpret_cast<const unsigned char*>(m_buffer.data()), kImageSize};
}

} // namespace lorvanta
