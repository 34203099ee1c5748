#pragma once

// Shared by the sound engine's tests: stroke images made to measure, a bank
// whose resource steps can be made to fail, and Taals built in one line.

#include "audio/AudioStatus.h"
#include "audio/SampleBank.h"
#include "audio/WaveFormat.h"
#include "model/Bol.h"
#include "model/Messages.h"
#include "model/Taal.h"
#include "persistence/TempDir.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace lorvanta::test {

// A stroke WAV image holding exactly these samples.
inline std::vector<unsigned char> StrokeImage(const std::vector<std::int16_t>& samples) {
    const WaveHeader header =
        MakeWaveHeader(kSampleRate, static_cast<std::uint32_t>(samples.size() * 2));
    std::vector<unsigned char> image(header.begin(), header.end());
    image.resize(kWaveHeaderSize + samples.size() * 2);
    std::memcpy(image.data() + kWaveHeaderSize, samples.data(), samples.size() * 2);
    return image;
}

inline std::vector<unsigned char> Slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The built lorvanta-cli run with these arguments: its exit code, its stderr
// (kept in `dir`) in `err`.
inline int RunCli(const std::string& cli, const std::string& args, const std::filesystem::path& dir,
                  std::string& err) {
    const std::filesystem::path errFile = dir / "stderr";
    const std::string command = "'" + cli + "' " + args + " 2>'" + errFile.string() + "'";
    const int status = std::system(command.c_str());
    const auto bytes = Slurp(errFile);
    err.assign(bytes.begin(), bytes.end());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::vector<std::string> Texts(const RecordingMessageSink& sink) {
    std::vector<std::string> texts;
    for (const auto& message : sink.Messages())
        texts.push_back(message.text);
    return texts;
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

} // namespace lorvanta::test
