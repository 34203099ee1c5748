#pragma once

// One cycle of a Taal as a WAV image: the 44-byte header, then each bol's slot
// in order, a slot being the first samples of the bol's block (silence where
// the slot is longer than the block).
//
// The image is never held whole: it keeps the header, the slots, the bol starts
// and the blocks, and produces any of its bytes on demand. Its size follows the
// bol count, not the length of the cycle. An image never changes once built;
// the renderer replaces it as a whole.

#include "audio/BolBlock.h"
#include "audio/WaveFormat.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace lorvanta {

class TaalImage {
public:
    // Where bol i's samples come from: the first `valid` samples of its slot
    // are the block's, the rest of the slot is silence.
    struct Segment {
        std::shared_ptr<const BolBlock> block;
        std::uint32_t valid = 0;
    };

    // The bare header: no bols, no samples.
    explicit TaalImage(const WaveHeader& header);
    // slots and segments have one entry per bol; bolStarts one more, starting
    // at 0, each the sum of the slots before it.
    TaalImage(const WaveHeader& header, std::vector<std::uint32_t> slots,
              std::vector<std::uint64_t> bolStarts, std::vector<Segment> segments);

    const WaveHeader& Header() const { return m_header; }
    std::size_t BolCount() const { return m_slots.size(); }
    std::span<const std::uint32_t> Slots() const { return m_slots; }
    // BolCount() + 1 entries: bolStarts[0] = 0, bolStarts[i + 1] = bolStarts[i] + slots[i].
    std::span<const std::uint64_t> BolStarts() const { return m_bolStarts; }
    std::uint64_t TotalSamples() const { return m_bolStarts.back(); }
    std::uint64_t DataSize() const { return 2 * TotalSamples(); }
    std::uint64_t Size() const { return kWaveHeaderSize + DataSize(); }

    // Copies the image's bytes from offset on (header included) into out, up
    // to the image's end; returns the number copied.
    std::size_t CopyBytes(std::uint64_t offset, std::span<unsigned char> out) const;

    // Copies sample-data bytes (offset 0 = image byte 44) up to the data's end;
    // returns the number copied. bolHint is where the search for the first bol
    // starts and is left at the last bol read, which makes sequential reads
    // cheap; any value is valid. Never allocates.
    std::size_t CopyData(std::uint64_t dataOffset, std::span<unsigned char> out,
                         std::size_t& bolHint) const;

    // The bol whose slot holds a sample: bolStarts[k] <= s < bolStarts[k + 1].
    // (BolCount() when s is past the end.)
    std::size_t BolContaining(std::uint64_t sampleIndex) const;

    // The playing position's bol: the first k with
    // bolStarts[k] < s <= bolStarts[k + 1], or 0 when there is none.
    std::size_t PlayingBolAt(std::uint64_t sampleIndex) const;

    const Segment& SegmentOf(std::size_t bol) const { return m_segments[bol]; }

    // The Taal's length in beats when the image was built, so that the playing
    // beat is worked out from the Taal being heard.
    float Beats() const { return m_beats; }
    void SetBeats(float beats) { m_beats = beats; }

    // Lets the renderer rewrite the rate fields of the image in use, as the
    // program does before each build at a pitch other than 1.
    WaveHeader& MutableHeader() { return m_header; }

private:
    WaveHeader m_header;
    std::vector<std::uint32_t> m_slots;
    std::vector<std::uint64_t> m_bolStarts;
    std::vector<Segment> m_segments;
    float m_beats = 0.0f;
};

} // namespace lorvanta
