#include "audio/TaalImage.h"

#include <algorithm>
#include <cstring>

namespace lorvanta {

TaalImage::TaalImage(const WaveHeader& header) : m_header(header), m_bolStarts{0} {}

TaalImage::TaalImage(const WaveHeader& header, std::vector<std::uint32_t> slots,
                     std::vector<std::uint64_t> bolStarts, std::vector<Segment> segments)
    : m_header(header), m_slots(std::move(slots)), m_bolStarts(std::move(bolStarts)),
      m_segments(std::move(segments)) {
    if (m_bolStarts.empty())
        m_bolStarts.push_back(0);
}

TaalImage::TaalImage(const WaveHeader& header, std::vector<std::uint32_t> slots,
                     std::vector<std::uint64_t> bolStarts, DrumStrikes treble, DrumStrikes bass)
    : m_header(header), m_slots(std::move(slots)),
      m_bolStarts(std::move(bolStarts)), m_strikes{std::move(treble), std::move(bass)},
      m_rings(true) {
    if (m_bolStarts.empty())
        m_bolStarts.push_back(0);
}

namespace {

// Samples mixed at a time, on the stack of whoever reads.
constexpr std::uint32_t kMixChunk = 256;
// Rings still fading that are mixed at one moment, besides the sounding one;
// more only happen with strokes closer together than their damping.
constexpr std::int64_t kMaxFadingRings = 4;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

} // namespace

void TaalImage::MixDrum(const DrumStrikes& strikes, std::uint64_t first, std::uint32_t count,
                        float* sum) const {
    const auto n = static_cast<std::int64_t>(strikes.size());
    const auto total = static_cast<std::int64_t>(TotalSamples());
    if (n == 0 || total == 0)
        return;
    // Strikes are numbered on from the cycle's first one, into earlier cycles
    // (negative) and later ones, so that a ring runs on over the wrap.
    auto strike = [&](std::int64_t v) -> const Strike& {
        return strikes[static_cast<std::size_t>(v - FloorDiv(v, n) * n)];
    };
    auto onset = [&](std::int64_t v) {
        return static_cast<std::int64_t>(strike(v).onset) + FloorDiv(v, n) * total;
    };
    // Adds strike v's ring over [from, to), faded out from fadeStart over
    // fade samples when fade is not 0.
    std::int16_t ring[kMixChunk];
    auto addRing = [&](std::int64_t v, std::int64_t from, std::int64_t to, std::int64_t fadeStart,
                       std::uint32_t fade) {
        const Strike& s = strike(v);
        if (!s.block)
            return;
        const std::int64_t offset = from - onset(v);
        const std::int64_t length = s.block->Length();
        if (offset >= length || to <= from)
            return;
        const auto m = static_cast<std::size_t>(std::min(to - from, length - offset));
        s.block->CopyBytes(2 * static_cast<std::uint64_t>(offset),
                           reinterpret_cast<unsigned char*>(ring), 2 * m);
        float* out = sum + (from - static_cast<std::int64_t>(first));
        if (fade == 0) {
            for (std::size_t k = 0; k < m; ++k)
                out[k] += static_cast<float>(ring[k]);
            return;
        }
        // Each sample's gain from its own place in the fade, so that the
        // bytes do not depend on how the image is read in chunks.
        const auto fadeLength = static_cast<float>(fade);
        const std::int64_t into = from - fadeStart;
        for (std::size_t k = 0; k < m; ++k) {
            const std::int64_t left = fade - (into + static_cast<std::int64_t>(k));
            if (left > 0)
                out[k] += static_cast<float>(ring[k]) * (static_cast<float>(left) / fadeLength);
        }
    };

    const auto firstSample = static_cast<std::int64_t>(first);
    const std::int64_t end = firstSample + count;
    // The strike sounding at the first sample: the last one at or before it.
    const auto after =
        std::upper_bound(strikes.begin(), strikes.end(), first,
                         [](std::uint64_t s, const Strike& k) { return s < k.onset; });
    std::int64_t v = (after - strikes.begin()) - 1;
    std::int64_t position = firstSample;
    while (position < end) {
        const std::int64_t next = onset(v + 1);
        const std::int64_t stop = std::min(end, next);
        if (stop > position) {
            addRing(v, position, stop, 0, 0);
            // Rings cut off by strike j (at or before v) still fading out.
            for (std::int64_t j = v; j > v - std::min(n, kMaxFadingRings); --j) {
                const std::int64_t fadeStart = onset(j);
                const std::uint32_t fade = strike(j).damp;
                const std::int64_t fadeEnd = fadeStart + fade;
                if (fade == 0 || fadeEnd <= position)
                    continue;
                addRing(j - 1, position, std::min(stop, fadeEnd), fadeStart, fade);
            }
            position = stop;
        }
        if (position == next)
            ++v;
    }
}

void TaalImage::MixRinging(std::uint64_t first, std::uint32_t count, std::int16_t* out) const {
    float sum[kMixChunk] = {};
    for (const DrumStrikes& strikes : m_strikes)
        MixDrum(strikes, first, count, sum);
    // The mixing's saturation: truncated toward zero, clamped to 16 bits.
    for (std::uint32_t k = 0; k < count; ++k)
        out[k] = static_cast<std::int16_t>(std::clamp(
            static_cast<std::int32_t>(std::clamp(sum[k], -65536.0f, 65536.0f)), -32768, 32767));
}

std::size_t TaalImage::BolContaining(std::uint64_t sampleIndex) const {
    // The last start at or below the sample; bols with empty slots share their
    // start with the next bol and are passed over.
    const auto it = std::upper_bound(m_bolStarts.begin(), m_bolStarts.end(), sampleIndex);
    return static_cast<std::size_t>(it - m_bolStarts.begin()) - 1;
}

std::size_t TaalImage::PlayingBolAt(std::uint64_t sampleIndex) const {
    if (sampleIndex == 0 || m_slots.empty())
        return 0;
    // First k with bolStarts[k + 1] >= s; then bolStarts[k] < s holds unless
    // every start up to k equals s, which only happens for s = 0.
    const auto it = std::lower_bound(m_bolStarts.begin() + 1, m_bolStarts.end(), sampleIndex);
    if (it == m_bolStarts.end())
        return 0;
    return static_cast<std::size_t>(it - m_bolStarts.begin()) - 1;
}

std::size_t TaalImage::CopyData(std::uint64_t dataOffset, std::span<unsigned char> out,
                                std::size_t& bolHint) const {
    const std::uint64_t dataSize = DataSize();
    if (dataOffset >= dataSize)
        return 0;
    const std::size_t total =
        static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), dataSize - dataOffset));
    if (m_rings) {
        // Chunk by chunk: the strikes mixed into samples, then copied as bytes.
        std::int16_t chunk[kMixChunk];
        std::uint64_t position = dataOffset;
        std::size_t done = 0;
        while (done < total) {
            const std::uint64_t sample = position / 2;
            const std::size_t skip = position % 2;
            const auto samples = static_cast<std::uint32_t>(std::min<std::uint64_t>(
                {kMixChunk, (skip + total - done + 1) / 2, TotalSamples() - sample}));
            MixRinging(sample, samples, chunk);
            const std::size_t take = std::min(total - done, std::size_t{samples} * 2 - skip);
            std::memcpy(out.data() + done, reinterpret_cast<const unsigned char*>(chunk) + skip,
                        take);
            done += take;
            position += take;
        }
        bolHint = BolContaining(std::min(position, dataSize - 1) / 2);
        return total;
    }
    const std::size_t bolCount = m_slots.size();
    std::size_t bol = bolHint;
    const std::uint64_t firstSample = dataOffset / 2;
    if (bol >= bolCount || m_bolStarts[bol] > firstSample || m_bolStarts[bol + 1] <= firstSample)
        bol = BolContaining(firstSample);

    unsigned char* dst = out.data();
    std::uint64_t position = dataOffset;
    std::size_t left = total;
    while (left > 0) {
        while (2 * m_bolStarts[bol + 1] <= position)
            ++bol;
        const std::uint64_t slotStart = 2 * m_bolStarts[bol];
        const std::uint64_t slotEnd = 2 * m_bolStarts[bol + 1];
        const std::uint64_t within = position - slotStart;
        std::size_t take =
            static_cast<std::size_t>(std::min<std::uint64_t>(left, slotEnd - position));
        const Segment& segment = m_segments[bol];
        const std::uint64_t validBytes = 2 * std::uint64_t{segment.valid};
        std::size_t copied = 0;
        if (within < validBytes) {
            copied = static_cast<std::size_t>(std::min<std::uint64_t>(take, validBytes - within));
            segment.block->CopyBytes(within, dst, copied);
        }
        std::memset(dst + copied, 0, take - copied);
        dst += take;
        position += take;
        left -= take;
    }
    bolHint = bol;
    return total;
}

std::size_t TaalImage::CopyBytes(std::uint64_t offset, std::span<unsigned char> out) const {
    std::size_t copied = 0;
    if (offset < kWaveHeaderSize) {
        const std::size_t take =
            std::min<std::size_t>(out.size(), kWaveHeaderSize - static_cast<std::size_t>(offset));
        std::memcpy(out.data(), m_header.data() + offset, take);
        copied = take;
        offset += take;
    }
    std::size_t hint = 0;
    copied += CopyData(offset - kWaveHeaderSize, out.subspan(copied), hint);
    return copied;
}

} // namespace lorvanta
