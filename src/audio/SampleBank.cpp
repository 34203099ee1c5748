#include "audio/SampleBank.h"

#include "audio/Gain.h"
#include "audio/StrokeData.h"
#include "model/Bol.h"
#include "model/Messages.h"
#include "model/Sound.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace lorvanta {

namespace {

struct ResourceRow {
    SoundId soundId;
    std::uint16_t resourceId;
};

// Sound id to resource id, in id order; there is no resource 132.
constexpr std::array<ResourceRow, kSoundCount> kResourceTable = [] {
    std::array<ResourceRow, kSoundCount> rows{};
    rows[0] = {0, kSilenceResourceId};
    for (SoundId id = 1; id < kSoundCount; ++id)
        rows[id] = {id, static_cast<std::uint16_t>(132 + id)};
    return rows;
}();

} // namespace

std::uint16_t LookupSampleResource(SoundId soundId) {
    if (soundId < kResourceTable.size() && kResourceTable[soundId].soundId == soundId)
        return kResourceTable[soundId].resourceId;
    for (const ResourceRow& row : kResourceTable) {
        if (row.soundId == soundId)
            return row.resourceId;
    }
    return kSilenceResourceId;
}

std::string ProgramPath() {
    std::error_code error;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || path.empty())
        return "lorvanta";
    return path.string();
}

CSampleBank::CSampleBank(BuiltInKit kit) {
    for (SoundId id = 0; id < kSoundCount; ++id)
        m_slots[id].resourceId = kResourceTable[id].resourceId;
    if (!UseBuiltInKit(kit))
        UseBuiltInKit(BuiltInKit::Synthesised);
    m_generation = 0;
}

bool CSampleBank::UseBuiltInKit(BuiltInKit kit) {
    if (!HasBuiltInKit(kit))
        return false;
    const std::span<const EmbeddedWave> waves = BuiltInWaves(kit);
    for (Slot& slot : m_slots) {
        slot.builtIn = {};
        // The compiled-in table is in sound-id order; find by resource id so a
        // reordered table still serves the right recording.
        for (const EmbeddedWave& wave : waves) {
            if (wave.resourceId == slot.resourceId && wave.bytes != nullptr)
                slot.builtIn = {wave.bytes, wave.size};
        }
    }
    if (kit != m_kit)
        ++m_generation;
    m_kit = kit;
    return true;
}

std::uint32_t CSampleBank::FindResource(std::uint16_t resourceId, const Slot*& slot) const {
    for (const Slot& candidate : m_slots) {
        if (candidate.resourceId == resourceId &&
            (candidate.replacement || !candidate.builtIn.empty())) {
            slot = &candidate;
            return 0;
        }
    }
    slot = nullptr;
    return kSystemResourceNameNotFound;
}

RecordingAccess CSampleBank::Access(std::uint16_t resourceId) const {
    RecordingAccess access;
    if (const std::uint32_t error = FindModule()) {
        access.status = AudioStatus::NoModule;
        access.systemError = error;
        return access;
    }
    const Slot* slot = nullptr;
    if (const std::uint32_t error = FindResource(resourceId, slot); error || slot == nullptr) {
        access.status = AudioStatus::SoundNotFound;
        access.systemError = error ? error : kSystemResourceNameNotFound;
        return access;
    }
    if (const std::uint32_t error = LoadResource(*slot)) {
        access.status = AudioStatus::SoundNotLoaded;
        access.systemError = error;
        return access;
    }
    if (const std::uint32_t error = LockResource(*slot)) {
        access.status = AudioStatus::SoundNotLocked;
        access.systemError = error;
        return access;
    }
    if (slot->replacement) {
        access.bytes = *slot->replacement;
        access.owner = slot->replacement;
    } else {
        access.bytes = slot->builtIn;
    }
    return access;
}

std::span<const unsigned char> CSampleBank::StrokeImage(SoundId soundId) const {
    if (soundId >= kSoundCount)
        return {};
    const Slot& slot = m_slots[soundId];
    if (slot.replacement)
        return *slot.replacement;
    return slot.builtIn;
}

bool CSampleBank::ReplaceStroke(SoundId soundId, std::vector<unsigned char> wavImage) {
    if (soundId == kSilenceSoundId || soundId >= kSoundCount || wavImage.size() < kWaveHeaderSize)
        return false;
    m_slots[soundId].replacement =
        std::make_shared<const std::vector<unsigned char>>(std::move(wavImage));
    ++m_generation;
    return true;
}

void CSampleBank::RestoreBuiltInStroke(SoundId soundId) {
    if (soundId < kSoundCount && m_slots[soundId].replacement) {
        m_slots[soundId].replacement.reset();
        ++m_generation;
    }
}

void CSampleBank::RestoreBuiltInStrokes() {
    for (SoundId id = 0; id < kSoundCount; ++id)
        RestoreBuiltInStroke(id);
}

bool CSampleBank::IsReplaced(SoundId soundId) const {
    return soundId < kSoundCount && m_slots[soundId].replacement != nullptr;
}

AudioStatus ReportAccessFailure(const RecordingAccess& access, std::string_view moduleName,
                                std::string_view resourceName, MessageSink& sink) {
    if (access.status == AudioStatus::Ok)
        return AudioStatus::Ok;
    const std::string_view name =
        access.status == AudioStatus::NoModule ? moduleName : resourceName;
    sink.Show({MessageKind::Error,
               FormatMessage(StatusText(access.status), FormatHex(access.systemError), name)});
    return access.status;
}

void MixSamples(const unsigned char* samples, std::size_t n, float gain, std::int16_t* block) {
    // Any product beyond +-65536 clamps the sum to the same end as the
    // product itself, so it is limited there first; NaN (0 times an infinite
    // gain) adds nothing. The loop then vectorises.
    for (std::size_t i = 0; i < n; ++i) {
        const auto sample = static_cast<std::int16_t>(
            static_cast<std::uint16_t>(samples[2 * i] | samples[2 * i + 1] << 8));
        const float product = static_cast<float>(sample) * gain;
        const float limited = product > 65536.0f    ? 65536.0f
                              : product < -65536.0f ? -65536.0f
                              : product == product  ? product
                                                    : 0.0f;
        const std::int32_t sum = block[i] + static_cast<std::int32_t>(limited);
        block[i] = static_cast<std::int16_t>(std::clamp(sum, -32768, 32767));
    }
}

AudioStatus CSound::MixInto(std::int16_t* block, std::uint32_t count, const CSampleBank& bank,
                            MessageSink& sink, float level) const {
    const RecordingAccess access = bank.Access(LookupSampleResource(soundId));
    if (!access.Ok())
        return ReportAccessFailure(access, ProgramPath(), name, sink);
    const float gain = DbToGain(emphasis) * level;
    const std::size_t n = std::min<std::size_t>(count, access.SampleCount());
    MixSamples(access.Samples(), n, gain, block);
    return AudioStatus::Ok;
}

AudioStatus CBol2::RenderInto(std::int16_t* block, std::uint32_t count, const CSampleBank& bank,
                              MessageSink& sink, float pitchLevel, float bassLevel) const {
    if (count > 0)
        std::memset(block, 0, std::size_t{count} * sizeof(std::int16_t));
    const AudioStatus bassStatus = bass.MixInto(block, count, bank, sink, bassLevel);
    const AudioStatus pitchStatus = pitch.MixInto(block, count, bank, sink, pitchLevel);
    return bassStatus != AudioStatus::Ok ? bassStatus : pitchStatus;
}

} // namespace lorvanta
