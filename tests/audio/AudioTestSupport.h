#pragma once

// Shared by the sound engine's tests: stroke images made to measure, a bank
// whose resource steps can be made to fail, Taals built in one line, and the
// Taal image built literally, bol block by bol block, as a reference.

#include "audio/AudioStatus.h"
#include "audio/SampleBank.h"
#include "audio/WaveFormat.h"
#include "model/Bol.h"
#include "model/Messages.h"
#include "model/Taal.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace lorvanta::test {

// A folder of its own under the system's temporary folder, removed at the end.
class TempFolder {
public:
    TempFolder() {
        std::random_device seed;
        m_path = std::filesystem::temp_directory_path() /
                 ("lorvanta-audio-" + std::to_string(seed()) + std::to_string(seed()));
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// A stroke WAV image holding exactly these samples.
inline std::vector<unsigned char> StrokeImage(const std::vector<std::int16_t>& samples) {
    const WaveHeader header =
        MakeWaveHeader(kSampleRate, static_cast<std::uint32_t>(samples.size() * 2));
    std::vector<unsigned char> image(header.begin(), header.end());
    for (const std::int16_t sample : samples) {
        image.push_back(static_cast<unsigned char>(static_cast<std::uint16_t>(sample)));
        image.push_back(static_cast<unsigned char>(static_cast<std::uint16_t>(sample) >> 8));
    }
    return image;
}

inline std::vector<std::int16_t> SamplesOf(std::span<const unsigned char> bytes) {
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// A bank whose module, find, load or lock step fails, for one resource or all.
class FaultyBank : public CSampleBank {
public:
    enum class Step { None, Module, Find, Load, Lock };
    Step failing = Step::None;
    std::uint16_t resource = 0; // 0: every resource

protected:
    bool Hits(std::uint16_t id) const { return resource == 0 || resource == id; }
    std::uint32_t FindModule() const override {
        return failing == Step::Module ? kSystemModuleNotFound : 0;
    }
    std::uint32_t FindResource(std::uint16_t id, const Slot*& slot) const override {
        if (failing == Step::Find && Hits(id)) {
            slot = nullptr;
            return kSystemResourceNameNotFound;
        }
        return CSampleBank::FindResource(id, slot);
    }
    std::uint32_t LoadResource(const Slot& slot) const override {
        return failing == Step::Load && Hits(slot.resourceId) ? kSystemResourceDataNotFound : 0;
    }
    std::uint32_t LockResource(const Slot& slot) const override {
        return failing == Step::Lock && Hits(slot.resourceId) ? 0x5 : 0;
    }
};

struct BolSpec {
    float duration = 1.0f;
    SoundId pitch = 0;
    SoundId bass = 0;
    float pitchEmphasis = 0.0f;
    float bassEmphasis = 0.0f;
};

inline std::unique_ptr<CBol2> MakeBol(const BolSpec& spec, std::uint32_t index = 0) {
    auto bol = std::make_unique<CBol2>();
    bol->name = "Bol " + std::to_string(index);
    bol->index = index;
    bol->duration = spec.duration;
    bol->pitch.soundId = spec.pitch;
    bol->pitch.emphasis = spec.pitchEmphasis;
    bol->pitch.name = "pitch " + std::to_string(spec.pitch);
    bol->bass.soundId = spec.bass;
    bol->bass.emphasis = spec.bassEmphasis;
    bol->bass.name = "bass " + std::to_string(spec.bass);
    return bol;
}

inline void FillTaal(CTaal& taal, const std::vector<BolSpec>& specs) {
    taal.RemoveAll();
    for (std::size_t i = 0; i < specs.size(); ++i)
        taal.Append(MakeBol(specs[i], static_cast<std::uint32_t>(i)));
}

inline float Ceiling(const CTaal& taal) {
    float ceiling = std::numeric_limits<float>::lowest();
    for (const auto& bol : taal.Bols())
        ceiling = std::max(ceiling, bol->pitch.emphasis + bol->bass.emphasis);
    return ceiling;
}

// A bol block exactly as the program makes it: count samples for 6 seconds per
// beat at the rate, cleared, then both sounds mixed at their emphases lowered
// by half the ceiling.
inline std::vector<std::int16_t> LiteralBlock(const CBol2& bol, float ceiling, std::uint32_t rate,
                                              const CSampleBank& bank, MessageSink& sink) {
    const std::uint32_t count = TruncateToU32(static_cast<float>(rate) * (bol.duration * 6.0f));
    std::vector<std::int16_t> block(count);
    CBol2 copy = bol;
    copy.bass.emphasis -= 0.5f * ceiling;
    copy.pitch.emphasis -= 0.5f * ceiling;
    if (copy.RenderInto(block.data(), count, bank, sink) != kStatusOk)
        block.clear();
    return block;
}

// The image made the literal way: header, then for each bol the first slot
// samples of its whole block, zeros where the slot passes the block's end.
inline std::vector<unsigned char> LiteralImage(const CTaal& taal,
                                               const std::vector<std::vector<std::int16_t>>& blocks,
                                               float secondsPerBeat, std::uint32_t rate,
                                               WaveHeader header) {
    std::vector<std::int16_t> samples;
    std::size_t i = 0;
    for (const auto& bol : taal.Bols()) {
        const std::uint32_t slot = TruncateToU32(
            static_cast<float>(bol->duration * secondsPerBeat) * static_cast<float>(rate));
        const auto& block = blocks[i++];
        for (std::uint32_t j = 0; j < slot; ++j)
            samples.push_back(j < block.size() ? block[j] : 0);
    }
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    PutLe32(header, kDataSizeOffset, dataBytes);
    PutLe32(header, kRiffSizeOffset, dataBytes + 36);
    std::vector<unsigned char> image(header.begin(), header.end());
    image.resize(kWaveHeaderSize + dataBytes);
    std::memcpy(image.data() + kWaveHeaderSize, samples.data(), dataBytes);
    return image;
}

// The silence recording's header, the template of every image.
inline WaveHeader SilenceHeader(const CSampleBank& bank) {
    WaveHeader header{};
    const auto bytes = bank.StrokeImage(0);
    std::memcpy(header.data(), bytes.data(), kWaveHeaderSize);
    return header;
}

} // namespace lorvanta::test
