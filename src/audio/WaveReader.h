#pragma once

// The wave source playback reads the Taal image through: the image's sample
// data (from image byte 44 on), read in order and wrapping from its end to its
// start.
//
// The playback engine's reader is shared by two threads: every call on it is
// made under the engine's stream lock. Reading never allocates or frees memory.

#include "audio/AudioStatus.h"
#include "audio/WaveFormat.h"
#include "audio/output/OutputTypes.h"

#include <cstddef>
#include <cstdint>

namespace lorvanta {

class TaalImage;

class CWaveReader {
public:
    enum class Mode { Read, Write };

    // Opens on an image's sample data, with no next cycle's image; only
    // reading is implemented (any other mode gives HResult::NotImplemented).
    // The image and the format stay owned by the caller.
    HResult Open(const TaalImage* image, const WaveFormat* format, Mode mode = Mode::Read);
    // Copies up to n bytes from the position: fewer when the data's end comes
    // first. The position advances, and goes back to the start on reaching the
    // end. HResult::NotInitialized when not open.
    HResult Read(unsigned char* buffer, std::size_t n, std::size_t* bytesRead);
    // Position = data start + offset. An offset at or past the end reads
    // nothing and sends the position back to the start.
    void Reset(std::uint64_t offset) { m_position = offset; }
    // Forgets the data (the image belongs to the renderer), and the next
    // cycle's image.
    void Close();
    // The image to go on with at the next wrap from the data's end to its
    // start, in place of this one (null: none; one without data is refused).
    // Once switched to, it is the image read and none is waiting.
    void SetNextCycleImage(const TaalImage* next);
    const TaalImage* NextCycleImage() const { return m_next; }
    // The data size of the cycle read before the last wrap (0: none since
    // Open): another image's when the wrap switched images.
    std::uint64_t PreviousDataSize() const { return m_previousDataSize; }
    // The beats of the cycle before the last wrap (0: none yet).
    float PreviousBeats() const { return m_previousBeats; }

    bool IsOpen() const { return m_image != nullptr; }
    // Bytes from the data's start.
    std::uint64_t Position() const { return m_position; }
    std::uint64_t DataSize() const { return m_dataSize; }
    const WaveFormat* Format() const { return m_format; }
    const TaalImage* Image() const { return m_image; }

private:
    const TaalImage* m_image = nullptr;
    const TaalImage* m_next = nullptr;
    const WaveFormat* m_format = nullptr;
    std::uint64_t m_position = 0;
    std::uint64_t m_dataSize = 0;
    std::uint64_t m_previousDataSize = 0;
    float m_previousBeats = 0.0f;
    std::size_t m_bolHint = 0;
};

} // namespace lorvanta
