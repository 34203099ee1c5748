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
