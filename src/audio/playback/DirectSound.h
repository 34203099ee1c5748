#pragma once

// The sound objects the playback engine works with, over the output layer:
// the device, a set of buffers filled from a wave source, and the streaming
// ring fed chunk by chunk from the Taal image.
//
// None of these lock anything: the engine calls every operation that touches
// the wave source or writes a buffer under the engine's stream lock.

#include "audio/WaveFormat.h"
#include "audio/output/EventSet.h"
#include "audio/output/OutputBuffer.h"
#include "audio/output/OutputDevice.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace lorvanta {

class CWaveReader;
class TaalImage;
class CStreamingSound;
class DroneFeed;
class LehraFeed;
class ImageCrossfade;

// Creation flags the engine asks for, and those every ring gets.
namespace stream_flags {
inline constexpr std::uint32_t kStreamRequest =
    buffer_flags::kGetCurrentPosition2 | buffer_flags::kGlobalFocus |
    buffer_flags::kCtrlPositionNotify | buffer_flags::kLocSoftware; // 0x18108
inline constexpr std::uint32_t kStreamAlways =
    buffer_flags::kGetCurrentPosition2 | buffer_flags::kCtrlPositionNotify |
    buffer_flags::kCtrlVolume | buffer_flags::kCtrlFrequency; // 0x101A0
} // namespace stream_flags

PcmFormat ToPcmFormat(const WaveFormat& format);

// What happened to the output while playing.
enum class OutputEvent {
    Lost,     // the device went away; the position holds
    Restored, // it is back, and playing goes on from where the sound stopped
};

// Opens the output a device plays through (the sound card, or a virtual one).
using OutputOpener = std::function<HResult(std::unique_ptr<OutputDevice>&)>;

class CSoundDevice {
public:
    CSoundDevice() = default;
    ~CSoundDevice();
    CSoundDevice(const CSoundDevice&) = delete;
    CSoundDevice& operator=(const CSoundDevice&) = delete;

    // Releases any output held, then opens one. The output's failure code.
    HResult Initialize(const OutputOpener& open);
    // The mixing format of the output.
    HResult SetPrimaryBufferFormat(std::uint16_t channels, std::uint32_t sampleRate,
                                   std::uint16_t bitsPerSample);
    // A looping ring of notifyCount chunks of notifySize bytes in the reader's
    // format, signalling `event` as each chunk has been played, and filled
    // from the reader's start. Call under the stream lock.
    HResult CreateStreaming(std::unique_ptr<CStreamingSound>& out, CWaveReader* reader,
                            const WaveFormat& format, std::uint32_t flags,
                            std::uint32_t notifyCount, std::uint32_t notifySize, EventRef event);
    // A plain buffer (the audition's).
    HResult CreateBuffer(const BufferDesc& desc, std::unique_ptr<OutputBuffer>& out);

    OutputDevice* Output() const { return m_output.get(); }

private:
    std::unique_ptr<OutputDevice> m_output;
};

// Buffers filled from a wave source.
class CDirectSound {
public:
    CDirectSound(std::vector<std::unique_ptr<OutputBuffer>> buffers, std::uint32_t bufferSize,
                 CWaveReader* reader, std::uint32_t creationFlags);
    virtual ~CDirectSound();
    CDirectSound(const CDirectSound&) = delete;
    CDirectSound& operator=(const CDirectSound&) = delete;

    OutputBuffer* GetBuffer(std::size_t index) const;
    std::size_t BufferCount() const { return m_buffers.size(); }
    std::uint32_t BufferSize() const { return m_bufferSize; }

    // Brings a lost buffer back; `restored` tells whether it had been lost.
    // HResult::BufferLost while its device is away: it is tried once, never
    // waited for (the caller holds the stream lock).
    HResult RestoreBuffer(OutputBuffer& buffer, bool* restored);
    // The whole buffer from the source, starting `startOffset` bytes into its
    // data and going round from the data's end to its start.
    HResult FillStreamBuffer(OutputBuffer& buffer, std::uint64_t startOffset);
    // Plays the first buffer not playing (or the first): a lost one is restored
    // and refilled; volume, frequency (-1: unchanged) and pan are applied as
    // far as the creation flags allow.
    HResult Play(std::uint32_t priority, bool looping, std::int32_t volume, std::int32_t frequency,
                 std::int32_t pan);
    // Stops every buffer.
    HResult Stop();
    // The drone mixed into everything read from the source from now on (null:
    // none); not owned.
    void SetDrone(DroneFeed* drone) { m_drone = drone; }
    // The lehra mixed into each stretch read from the source, in step with
    // it (null: none); not owned.
    void SetLehra(LehraFeed* lehra) { m_lehra = lehra; }
    // An image the lehra keeps quiet over (a count-in before the Taal), so that
    // it enters on sam with the Taal (null: none); not owned.
    void SetLehraQuietOver(const TaalImage* image) { m_lehraQuietOver = image; }
    // The join of a rebuilt image, applied to what is read from the source
    // before the drone is added (null: none); not owned.
    void SetCrossfade(ImageCrossfade* crossfade) { m_crossfade = crossfade; }

protected:
    // Reads `bytes` from the source into out, going round at the data's end;
    // silence where the source has nothing. The lehra and the drone, if any, are
    // mixed in.
    HResult ReadLooped(std::uint8_t* out, std::uint32_t bytes);

    std::vector<std::unique_ptr<OutputBuffer>> m_buffers;
    std::uint32_t m_bufferSize;
    CWaveReader* m_reader; // not owned
    std::uint32_t m_creationFlags;
    DroneFeed* m_drone = nullptr;
    LehraFeed* m_lehra = nullptr;
    const TaalImage* m_lehraQuietOver = nullptr;
    ImageCrossfade* m_crossfade = nullptr;
};

// One looping ring fed chunk by chunk from the source, at each notification.
class CStreamingSound : public CDirectSound {
public:
    CStreamingSound(std::unique_ptr<OutputBuffer> ring, std::uint32_t ringSize, CWaveReader* reader,
                    std::uint32_t notifySize);

    // Writes the next chunk of the source into the part of the ring just
    // played. Not looped: after the source's end the ring gets silence and
    // stops once all was played.
    HResult HandleStreamNotification(bool looped);
    // Back to the start: counters, the source and the ring's position.
    HResult ResetStream();
    // After a stop that kept the position: writes the ring again from the next
    // write offset with what it held, taken afresh from the source (the one
    // ring length of data before the source's position), so that playing on
    // from the ring's position continues without a jump, on a rebuilt image
    // too.
    HResult ResumeStream();
    // After a stall of the writer longer than the ring (every chunk played
    // again stale): moves the next write offset to the chunk now playing and
    // the source on by the chunks missed beyond the ring, so that the next
    // ring of refills puts the stream back in step with the ring.
    HResult Resynchronize(std::uint64_t missedChunks);

    OutputBuffer* Ring() const { return GetBuffer(0); }
    std::uint32_t NotifySize() const { return m_notifySize; }
    std::uint32_t NextWriteOffset() const { return m_nextWriteOffset; }
    std::uint64_t PlayProgress() const { return m_playProgress; }

private:
    std::uint32_t m_lastPlayPosition = 0;
    std::uint64_t m_playProgress = 0;
    std::uint32_t m_notifySize;
    std::uint32_t m_nextWriteOffset = 0;
    bool m_fillWithSilence = false;
};

} // namespace lorvanta
