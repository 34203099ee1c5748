#include "audio/WaveReader.h"

#include "audio/TaalImage.h"

#include <algorithm>
#include <span>
#include <utility>

namespace lorvanta {

HResult CWaveReader::Open(const TaalImage* image, const WaveFormat* format, Mode mode) {
    if (mode != Mode::Read)
        return HResult::NotImplemented;
    m_image = image;
    m_format = format;
    m_dataSize = image ? image->DataSize() : 0;
    m_previousDataSize = 0;
    m_previousBeats = 0.0f;
    m_next = nullptr;
    m_position = 0;
    m_bolHint = 0;
    return HResult::Ok;
}

HResult CWaveReader::Read(unsigned char* buffer, std::size_t n, std::size_t* bytesRead) {
    if (m_image == nullptr)
        return HResult::NotInitialized;
    const std::uint64_t left = m_position < m_dataSize ? m_dataSize - m_position : 0;
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(n, left));
    if (count > 0)
        m_image->CopyData(m_position, std::span(buffer, count), m_bolHint);
    m_position += count;
    if (m_position >= m_dataSize) {
        m_position = 0;
        m_bolHint = 0;
        m_previousDataSize = m_dataSize;
        m_previousBeats = m_image->Beats();
        if (m_next != nullptr) {
            m_image = std::exchange(m_next, nullptr);
            m_dataSize = m_image->DataSize();
        }
    }
    if (bytesRead)
        *bytesRead = count;
    return HResult::Ok;
}

void CWaveReader::SetNextCycleImage(const TaalImage* next) {
    m_next = next != nullptr && next->DataSize() > 0 ? next : nullptr;
}

void CWaveReader::Close() {
    m_image = nullptr;
    m_next = nullptr;
    m_format = nullptr;
    m_dataSize = 0;
    m_previousDataSize = 0;
    m_previousBeats = 0.0f;
    m_position = 0;
    m_bolHint = 0;
}

} // namespace lorvanta
