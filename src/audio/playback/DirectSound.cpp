#include "audio/playback/DirectSound.h"

#include "audio/DroneMix.h"
#include "audio/LehraMix.h"
#include "audio/WaveReader.h"
#include "audio/playback/ImageCrossfade.h"

#include <array>
#include <cstring>
#include <new>

namespace lorvanta {

PcmFormat ToPcmFormat(const WaveFormat& format) {
    PcmFormat pcm;
    pcm.formatTag = format.formatTag;
    pcm.channels = format.channels;
    pcm.sampleRate = format.samplesPerSec;
    pcm.bytesPerSecond = format.avgBytesPerSec;
    pcm.blockAlign = format.blockAlign;
    pcm.bitsPerSample = format.bitsPerSample;
    return pcm;
}

// ---- CSoundDevice ----

CSoundDevice::~CSoundDevice() = default;

HResult CSoundDevice::Initialize(const OutputOpener& open) {
    m_output.reset();
    if (!open)
        return HResult::InvalidArg;
    std::unique_ptr<OutputDevice> output;
    const HResult result = open(output);
    if (Failed(result))
        return result;
    if (!output)
        return HResult::Fail;
    m_output = std::move(output);
    return HResult::Ok;
}

HResult CSoundDevice::SetPrimaryBufferFormat(std::uint16_t channels, std::uint32_t sampleRate,
                                             std::uint16_t bitsPerSample) {
    if (!m_output)
        return HResult::NotInitialized;
    PcmFormat format;
    format.channels = channels;
    format.sampleRate = sampleRate;
    format.bitsPerSample = bitsPerSample;
    format.blockAlign = static_cast<std::uint16_t>(bitsPerSample / 8 * channels);
    format.bytesPerSecond = format.blockAlign * sampleRate;
    return m_output->SetPrimaryFormat(format);
}

HResult CSoundDevice::CreateStreaming(std::unique_ptr<CStreamingSound>& out, CWaveReader* reader,
                                      const WaveFormat& format, std::uint32_t flags,
                                      std::uint32_t notifyCount, std::uint32_t notifySize,
                                      EventRef event) {
    if (!m_output)
        return HResult::NotInitialized;
    if (reader == nullptr || !event || notifyCount == 0 ||
        notifyCount > OutputBuffer::kMaxNotifications || notifySize == 0)
        return HResult::InvalidArg;
    const std::uint32_t ringSize = notifyCount * notifySize;
    BufferDesc desc;
    desc.flags = flags | stream_flags::kStreamAlways;
    desc.bytes = ringSize;
    desc.format = ToPcmFormat(format);
    std::unique_ptr<OutputBuffer> ring;
    if (const HResult result = m_output->CreateBuffer(desc, ring); Failed(result))
        return result;
    if (const HResult result = ring->SetVolume(0); Failed(result))
        return result;
    std::array<NotifyPosition, OutputBuffer::kMaxNotifications> positions{};
    for (std::uint32_t i = 0; i < notifyCount; ++i)
        positions[i] = {(i + 1) * notifySize - 1, event};
    if (const HResult result = ring->SetNotificationPositions(
            std::span<const NotifyPosition>(positions.data(), notifyCount));
        Failed(result))
        return result;
    std::unique_ptr<CStreamingSound> stream;
    try {
        stream = std::make_unique<CStreamingSound>(std::move(ring), ringSize, reader, notifySize);
    } catch (const std::bad_alloc&) {
        return HResult::OutOfMemory;
    }
    if (const HResult result = stream->FillStreamBuffer(*stream->Ring(), 0); Failed(result))
        return result;
    out = std::move(stream);
    return HResult::Ok;
}

HResult CSoundDevice::CreateBuffer(const BufferDesc& desc, std::unique_ptr<OutputBuffer>& out) {
    if (!m_output)
        return HResult::NotInitialized;
    return m_output->CreateBuffer(desc, out);
}

// ---- CDirectSound ----

CDirectSound::CDirectSound(std::vector<std::unique_ptr<OutputBuffer>> buffers,
                           std::uint32_t bufferSize, CWaveReader* reader,
                           std::uint32_t creationFlags)
    : m_buffers(std::move(buffers)), m_bufferSize(bufferSize), m_reader(reader),
      m_creationFlags(creationFlags) {}

CDirectSound::~CDirectSound() = default;

OutputBuffer* CDirectSound::GetBuffer(std::size_t index) const {
    return index < m_buffers.size() ? m_buffers[index].get() : nullptr;
}

HResult CDirectSound::RestoreBuffer(OutputBuffer& buffer, bool* restored) {
    if (restored != nullptr)
        *restored = false;
    std::uint32_t status = 0;
    if (const HResult result = buffer.GetStatus(&status); Failed(result))
        return result;
    if ((status & buffer_status::kLost) == 0)
        return HResult::Ok;
    if (const HResult result = buffer.Restore(); Failed(result))
        return result;
    if (restored != nullptr)
        *restored = true;
    return HResult::Ok;
}

HResult CDirectSound::ReadLooped(std::uint8_t* out, std::uint32_t bytes) {
    std::uint32_t done = 0;
    if (m_reader->DataSize() > 0 && (m_drone == nullptr || !m_drone->IsAlone())) {
        int emptyReads = 0;
        while (done < bytes && emptyReads < 2) {
            std::size_t read = 0;
            const std::uint64_t from = m_reader->Position();
            const std::uint64_t dataSize = m_reader->DataSize();
            if (const HResult result = m_reader->Read(out + done, bytes - done, &read);
                Failed(result))
                return result;
            if (m_lehra != nullptr && read > 0 && m_reader->Image() != m_lehraQuietOver)
                m_lehra->MixSegment(out + done, read, from, dataSize);
            done += static_cast<std::uint32_t>(read);
            emptyReads = read == 0 ? emptyReads + 1 : 0;
            if (done < bytes)
                m_reader->Reset(0);
        }
    }
    // A source with nothing to read gives silence rather than a stall.
    std::memset(out + done, 0, bytes - done);
    if (m_crossfade != nullptr && m_crossfade->Active())
        m_crossfade->Apply(out, bytes);
    if (m_drone != nullptr)
        m_drone->MixInto(out, bytes);
    return HResult::Ok;
}

HResult CDirectSound::FillStreamBuffer(OutputBuffer& buffer, std::uint64_t startOffset) {
    if (m_reader == nullptr)
        return HResult::NotInitialized;
    bool restored = false;
    if (const HResult result = RestoreBuffer(buffer, &restored); Failed(result))
        return result;
    std::uint8_t* region = nullptr;
    std::uint32_t regionBytes = 0;
    if (const HResult result =
            buffer.Lock(0, buffer.Size(), &region, &regionBytes, nullptr, nullptr);
        Failed(result))
        return result;
    m_reader->Reset(startOffset);
    const HResult read = ReadLooped(region, regionBytes);
    buffer.Unlock(region, regionBytes, nullptr, 0);
    return read;
}

HResult CDirectSound::Play(std::uint32_t /*priority*/, bool looping, std::int32_t volume,
                           std::int32_t frequency, std::int32_t /*pan*/) {
    if (m_buffers.empty())
        return HResult::NotInitialized;
    OutputBuffer* chosen = m_buffers.front().get();
    for (const auto& buffer : m_buffers) {
        if (!buffer->IsPlaying()) {
            chosen = buffer.get();
            break;
        }
    }
    bool restored = false;
    if (const HResult result = RestoreBuffer(*chosen, &restored); Failed(result))
        return result;
    if (restored) {
        if (const HResult result = FillStreamBuffer(*chosen, 0); Failed(result))
            return result;
    }
    if ((m_creationFlags & buffer_flags::kCtrlVolume) != 0) {
        if (const HResult result = chosen->SetVolume(volume); Failed(result))
            return result;
    }
    if (frequency != -1 && (m_creationFlags & buffer_flags::kCtrlFrequency) != 0) {
        if (const HResult result = chosen->SetFrequency(static_cast<std::uint32_t>(frequency));
            Failed(result))
            return result;
    }
    // Pan: the rings are mono and never created with a pan control.
    return chosen->Play(looping);
}

HResult CDirectSound::Stop() {
    for (const auto& buffer : m_buffers)
        buffer->Stop();
    return HResult::Ok;
}

// ---- CStreamingSound ----

namespace {
std::vector<std::unique_ptr<OutputBuffer>> OneBuffer(std::unique_ptr<OutputBuffer> ring) {
    std::vector<std::unique_ptr<OutputBuffer>> buffers;
    buffers.push_back(std::move(ring));
    return buffers;
}
} // namespace

CStreamingSound::CStreamingSound(std::unique_ptr<OutputBuffer> ring, std::uint32_t ringSize,
                                 CWaveReader* reader, std::uint32_t notifySize)
    : CDirectSound(OneBuffer(std::move(ring)), ringSize, reader, buffer_flags::kCtrlFrequency),
      m_notifySize(notifySize) {}

HResult CStreamingSound::HandleStreamNotification(bool looped) {
    OutputBuffer* ring = Ring();
    if (ring == nullptr || m_reader == nullptr)
        return HResult::NotInitialized;
    bool restored = false;
    const HResult restore = RestoreBuffer(*ring, &restored);
    if (restore == HResult::BufferLost)
        return HResult::Ok; // still gone; the next notification tries again
    if (Failed(restore))
        return restore;
    if (restored)
        return FillStreamBuffer(*ring, 0);

    std::uint8_t* region = nullptr;
    std::uint8_t* second = nullptr;
    std::uint32_t regionBytes = 0;
    std::uint32_t secondBytes = 0;
    HResult result =
        ring->Lock(m_nextWriteOffset, m_notifySize, &region, &regionBytes, &second, &secondBytes);
    if (result == HResult::BufferLost)
        return HResult::Ok; // lost since the check above; restored next time
    if (Failed(result))
        return result;
    if (second != nullptr && secondBytes != 0) {
        ring->Unlock(region, 0, second, 0);
        return HResult::Unexpected;
    }

    if (!m_fillWithSilence) {
        if (looped) {
            result = ReadLooped(region, regionBytes);
        } else {
            std::size_t read = 0;
            result = m_reader->Read(region, regionBytes, &read);
            if (!Failed(result) && read < regionBytes) {
                std::memset(region + read, 0, regionBytes - read);
                m_fillWithSilence = true;
            }
        }
    } else {
        std::memset(region, 0, regionBytes);
    }
    ring->Unlock(region, regionBytes, nullptr, 0);
    if (Failed(result))
        return result;

    std::uint32_t play = 0;
    if (!Failed(ring->GetCurrentPosition(&play, nullptr))) {
        m_playProgress += play >= m_lastPlayPosition ? play - m_lastPlayPosition
                                                     : play + m_bufferSize - m_lastPlayPosition;
        m_lastPlayPosition = play;
    }
    if (m_fillWithSilence && m_playProgress >= m_reader->DataSize())
        ring->Stop();
    m_nextWriteOffset = (m_nextWriteOffset + regionBytes) % m_bufferSize;
    return HResult::Ok;
}

HResult CStreamingSound::ResetStream() {
    OutputBuffer* ring = Ring();
    if (ring == nullptr || m_reader == nullptr)
        return HResult::NotInitialized;
    m_lastPlayPosition = 0;
    m_playProgress = 0;
    m_nextWriteOffset = 0;
    m_fillWithSilence = false;
    if (m_lehra != nullptr)
        m_lehra->Rewind();
    bool restored = false;
    if (!Failed(RestoreBuffer(*ring, &restored)) && restored)
        FillStreamBuffer(*ring, 0);
    m_reader->Reset(0);
    return ring->SetCurrentPosition(0);
}

HResult CStreamingSound::ResumeStream() {
    OutputBuffer* ring = Ring();
    if (ring == nullptr || m_reader == nullptr)
        return HResult::NotInitialized;
    bool restored = false;
    if (const HResult result = RestoreBuffer(*ring, &restored); Failed(result))
        return result;
    std::uint8_t* first = nullptr;
    std::uint8_t* second = nullptr;
    std::uint32_t firstBytes = 0;
    std::uint32_t secondBytes = 0;
    if (const HResult result =
            ring->Lock(m_nextWriteOffset, m_bufferSize, &first, &firstBytes, &second, &secondBytes);
        Failed(result))
        return result;
    if (const std::uint64_t dataSize = m_reader->DataSize(); dataSize > 0) {
        const std::uint64_t back = m_bufferSize % dataSize;
        const std::uint64_t position = m_reader->Position() % dataSize;
        m_reader->Reset(position >= back ? position - back : position + dataSize - back);
        // The lehra's cycle goes back with the wraps the ring's length spans.
        if (m_lehra != nullptr) {
            const auto wraps =
                static_cast<std::int64_t>(m_bufferSize / dataSize) + (position < back ? 1 : 0);
            m_lehra->MoveCycles(-wraps);
        }
    }
    // The drone goes back with it, so that what it held is heard again alike.
    if (m_drone != nullptr)
        m_drone->Move(-static_cast<std::int64_t>(m_bufferSize));
    HResult result = ReadLooped(first, firstBytes);
    if (!Failed(result) && secondBytes != 0)
        result = ReadLooped(second, secondBytes);
    ring->Unlock(first, firstBytes, second, secondBytes);
    return result;
}

HResult CStreamingSound::Resynchronize(std::uint64_t missedChunks) {
    OutputBuffer* ring = Ring();
    if (ring == nullptr || m_reader == nullptr)
        return HResult::NotInitialized;
    std::uint32_t write = 0;
    if (const HResult result = ring->GetCurrentPosition(nullptr, &write); Failed(result))
        return result;
    m_nextWriteOffset = write / m_notifySize * m_notifySize;
    if (const std::uint64_t dataSize = m_reader->DataSize(); dataSize > 0) {
        const std::uint64_t moved = m_reader->Position() + missedChunks * m_notifySize;
        m_reader->Reset(moved % dataSize);
        if (m_lehra != nullptr)
            m_lehra->MoveCycles(static_cast<std::int64_t>(moved / dataSize));
    }
    if (m_drone != nullptr)
        m_drone->Move(static_cast<std::int64_t>(missedChunks * m_notifySize));
    return HResult::Ok;
}

} // namespace lorvanta
