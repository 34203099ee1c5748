#pragma once

// One cycle of a Taal as a WAV image: the 44-byte header, then each bol's slot
// in order, a slot being the first samples of the bol's block (silence where
// the slot is longer than the block).
//
// An image whose strokes ring on holds, instead of the slots' segments, each
// drum's strikes in the cycle: a stroke sounds from its onset until the same
// drum is struck again, whose stroke then fades it out over its damping time.
// The image is one period of a loop: the strokes near the cycle's end ring on
// into its start. Its samples are mixed from the strikes as they are read.
//
// The image is never held whole: it keeps the header, the slots, the bol starts
// and the blocks, and produces any of its bytes on demand. Its size follows the
// bol count, not the length of the cycle. An image never changes once built;
// the renderer replaces it as a whole.

#include "audio/BolBlock.h"
#include "audio/WaveFormat.h"

#include <array>
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

    // One stroke of one drum: it sounds the block from onset on.
    struct Strike {
        std::uint64_t onset = 0; // in [0, TotalSamples())
        // Samples over which this stroke fades out the drum's ring before it.
        std::uint32_t damp = 0;
        std::shared_ptr<const BolBlock> block;
    };
    // A drum's strikes in order of onset.
    using DrumStrikes = std::vector<Strike>;

    // The bare header: no bols, no samples.
    explicit TaalImage(const WaveHeader& header);
    // slots and segments have one entry per bol; bolStarts one more, starting
    // at 0, each the sum of the slots before it.
    TaalImage(const WaveHeader& header, std::vector<std::uint32_t> slots,
              std::vector<std::uint64_t> bolStarts, std::vector<Segment> segments);

    // Strokes that ring on: the treble and the bass drum's strikes, each
    // sorted by onset. slots and bolStarts as above.
    TaalImage(const WaveHeader& header, std::vector<std::uint32_t> slots,
              std::vector<std::uint64_t> bolStarts, DrumStrikes treble, DrumStrikes bass);

    const WaveHeader& Header() const { return m_header; }
    bool Rings() const { return m_rings; }
    const DrumStrikes& Strikes(std::size_t drum) const { return m_strikes[drum]; }
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
    // Ring mode: mixes samples [first, first + count) of the cycle.
    void MixRinging(std::uint64_t first, std::uint32_t count, std::int16_t* out) const;
    void MixDrum(const DrumStrikes& strikes, std::uint64_t first, std::uint32_t count,
                 float* sum) const;

    WaveHeader m_header;
    std::vector<std::uint32_t> m_slots;
    std::vector<std::uint64_t> m_bolStarts;
    std::vector<Segment> m_segments;
    std::array<DrumStrikes, 2> m_strikes;
    bool m_rings = false;
    float m_beats = 0.0f;
};

} // namespace lorvanta
