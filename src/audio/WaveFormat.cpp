#include "audio/WaveFormat.h"

#include <cstring>

namespace lorvanta {

WaveHeader MakeWaveHeader(std::uint32_t sampleRate, std::uint32_t dataBytes) {
    WaveHeader header{};
    std::memcpy(header.data(), "RIFF", 4);
    PutLe32(header, kRiffSizeOffset, dataBytes + 36);
    std::memcpy(header.data() + 8, "WAVEfmt ", 8);
    PutLe32(header, 16, 16);
    header[20] = 1; // PCM
    header[22] = 1; // one channel
    PutLe32(header, kSampleRateOffset, sampleRate);
    PutLe32(header, kBytesPerSecondOffset, sampleRate * 2);
    header[32] = 2;  // block align
    header[34] = 16; // bits per sample
    std::memcpy(header.data() + 36, "data", 4);
    PutLe32(header, kDataSizeOffset, dataBytes);
    return header;
}

} // namespace lorvanta
