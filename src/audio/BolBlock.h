#pragma once

// A bol rendered from silence: its bass and pitch recordings, each scaled by
// its gain, added sample by sample and clamped to the 16-bit range. Past the
// end of the longer recording a bol's block is silence, so a block holds samples only up
// to that point; its nominal length (6 seconds per beat of the duration) lives
// with the cell that uses it.
//
// Blocks never change once made and are shared by every bol whose recordings
// and gains are the same. A block either stores its samples or, when the
// renderer's memory budget for stored samples is spent, computes them from the
// recordings whenever they are read; both give the same bytes.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace lorvanta {

// One recording of a bol with its gain.
struct BolVoice {
    const unsigned char* samples = nullptr; // little-endian 16-bit samples
    std::uint32_t length = 0;               // in samples
    float gain = 0.0f;
    std::shared_ptr<const void> owner; // keeps a replaced stroke alive
};

// Samples held by a renderer's stored blocks, shared with the blocks so that
// each gives its share back when it goes.
struct StoredSampleCount {
    std::atomic<std::size_t> samples{0};
};

class BolBlock {
public:
    // A block holding the given samples (the bol rendered up to the end of its
    // longer recording).
    BolBlock(std::vector<std::int16_t> samples, std::shared_ptr<StoredSampleCount> count);
    // A block that mixes its two voices each time it is read.
    BolBlock(BolVoice bass, BolVoice pitch);
    ~BolBlock();
    BolBlock(const BolBlock&) = delete;
    BolBlock& operator=(const BolBlock&) = delete;

    // Samples up to the end of the longer recording; silence after.
    std::uint32_t Length() const { return m_length; }
    bool IsStored() const { return !m_voicesOnly; }

    // Copies n bytes of the block's little-endian samples from byteOffset on;
    // byteOffset + n must not pass 2 * Length(). Never allocates.
    void CopyBytes(std::uint64_t byteOffset, unsigned char* out, std::size_t n) const;

private:
    void Compute(std::uint32_t first, std::uint32_t count, std::int16_t* out) const;

    std::vector<std::int16_t> m_samples;
    std::shared_ptr<StoredSampleCount> m_count;
    std::array<BolVoice, 2> m_voices;
    std::uint32_t m_length = 0;
    bool m_voicesOnly = false;
};

} // namespace lorvanta
