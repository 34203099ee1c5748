#include "audio/BolBlock.h"

#include "audio/SampleBank.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace lorvanta {

// The image's bytes are little-endian; blocks keep host-order samples and are
// copied out as they are.
static_assert(std::endian::native == std::endian::little,
              "bol blocks are copied into the image byte for byte");

BolBlock::BolBlock(std::vector<std::int16_t> samples, std::shared_ptr<StoredSampleCount> count)
    : m_samples(std::move(samples)), m_count(std::move(count)),
      m_length(static_cast<std::uint32_t>(m_samples.size())) {
    if (m_count)
        m_count->samples += m_samples.size();
}

BolBlock::BolBlock(BolVoice bass, BolVoice pitch)
    : m_voices{std::move(bass), std::move(pitch)},
      m_length(std::max(m_voices[0].length, m_voices[1].length)), m_voicesOnly(true) {}

BolBlock::~BolBlock() {
    if (m_count)
        m_count->samples -= m_samples.size();
}

void BolBlock::Compute(std::uint32_t first, std::uint32_t count, std::int16_t* out) const {
    std::fill(out, out + count, std::int16_t{0});
    for (const BolVoice& voice : m_voices) {
        if (first >= voice.length)
            continue;
        const std::uint32_t n = std::min(count, voice.length - first);
        MixSamples(voice.samples + 2 * std::size_t{first}, n, voice.gain, out);
    }
}

void BolBlock::CopyBytes(std::uint64_t byteOffset, unsigned char* out, std::size_t n) const {
    if (!m_voicesOnly) {
        std::memcpy(out, reinterpret_cast<const unsigned char*>(m_samples.data()) + byteOffset, n);
        return;
    }
    constexpr std::uint32_t kChunk = 256;
    std::int16_t chunk[kChunk];
    while (n > 0) {
        const auto first = static_cast<std::uint32_t>(byteOffset / 2);
        const std::size_t skip = byteOffset % 2;
        const auto samples =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(kChunk, (skip + n + 1) / 2));
        Compute(first, samples, chunk);
        const std::size_t take = std::min(n, std::size_t{samples} * 2 - skip);
        std::memcpy(out, reinterpret_cast<const unsigned char*>(chunk) + skip, take);
        out += take;
        byteOffset += take;
        n -= take;
    }
}

} // namespace lorvanta
