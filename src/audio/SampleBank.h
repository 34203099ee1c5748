#pragma once

// The 30 stroke recordings and the access to them. Each recording is a complete
// WAV image (44-byte header, then 16-bit mono samples at 22050 Hz) found by its
// resource id. The built-in recordings are compiled into the program, as two
// kits (see StrokeData.h); a stroke kit folder may replace any of them but the
// silence (see StrokeKit.h).

#include "audio/AudioStatus.h"
#include "audio/StrokeData.h"
#include "audio/WaveFormat.h"
#include "model/SoundTables.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lorvanta {

class MessageSink;

inline constexpr std::uint16_t kSilenceResourceId = 131;
// The module name the renderer's header template is looked up under.
inline constexpr const char* kModuleFileName = "Lorvanta.exe";
// How messages name the silence recording.
inline constexpr const char* kSilenceResourceName = "silence";

// Resource id of a sound's recording: 131 for sound 0, 132 + id for 1 to 29,
// and 131 for any id found nowhere. Never fails.
std::uint16_t LookupSampleResource(SoundId soundId);

// Full path of the running program (its name when that cannot be found).
std::string ProgramPath();

// A recording located for use: its whole WAV image, valid while owner (or, for
// a built-in recording, the process) lives.
struct RecordingAccess {
    AudioStatus status = AudioStatus::Ok;
    std::uint32_t systemError = 0;
    std::span<const unsigned char> bytes;
    std::shared_ptr<const void> owner;

    bool Ok() const { return status == AudioStatus::Ok; }
    // Samples after the 44-byte header (none when the image is shorter).
    std::size_t SampleCount() const {
        return bytes.size() < kWaveHeaderSize ? 0 : (bytes.size() - kWaveHeaderSize) / 2;
    }
    const unsigned char* Samples() const { return bytes.data() + kWaveHeaderSize; }
};

class CSampleBank {
public:
    // The built-in recordings of a kit; the synthesised kit when the build does
    // not carry the one asked for.
    explicit CSampleBank(BuiltInKit kit = BuiltInKit::Synthesised);
    virtual ~CSampleBank() = default;
    CSampleBank(const CSampleBank&) = delete;
    CSampleBank& operator=(const CSampleBank&) = delete;

    // Finds the module, then finds, loads and locks the resource and takes its
    // size, in the platform's order. On failure the status is 12, 8, 9 or 10
    // with the system code the step left; nothing is shown.
    RecordingAccess Access(std::uint16_t resourceId) const;

    // The stroke of a sound in use, as a complete WAV image (empty for an id
    // that names no recording).
    std::span<const unsigned char> StrokeImage(SoundId soundId) const;

    // Replaces the stroke of sound 1 to 29 with a WAV image made by
    // MakeStrokeImage. Returns false (and changes nothing) for sound 0 or an id
    // of no sound.
    bool ReplaceStroke(SoundId soundId, std::vector<unsigned char> wavImage);
    // Back to the built-in stroke for one sound, or for all.
    void RestoreBuiltInStroke(SoundId soundId);
    void RestoreBuiltInStrokes();
    bool IsReplaced(SoundId soundId) const;

    // The built-in kit under any replacements, and a change of it (which keeps
    // the replacements). Asking for a kit the build does not carry changes
    // nothing and returns false.
    BuiltInKit Kit() const { return m_kit; }
    bool UseBuiltInKit(BuiltInKit kit);

    // Changes whenever a stroke is replaced or restored, so that renderers know
    // their rendered blocks were made from other recordings.
    std::uint64_t Generation() const { return m_generation; }

protected:
    struct Slot {
        std::uint16_t resourceId = 0;
        std::span<const unsigned char> builtIn;
        std::shared_ptr<const std::vector<unsigned char>> replacement;
    };

    // The platform's steps; each returns 0 or the system code of its failure.
    // A bank that must fail in a given way overrides them.
    virtual std::uint32_t FindModule() const { return 0; }
    virtual std::uint32_t FindResource(std::uint16_t resourceId, const Slot*& slot) const;
    virtual std::uint32_t LoadResource(const Slot&) const { return 0; }
    virtual std::uint32_t LockResource(const Slot&) const { return 0; }

private:
    std::array<Slot, kSoundCount> m_slots;
    std::uint64_t m_generation = 0;
    BuiltInKit m_kit = BuiltInKit::Synthesised;
};

// Shows the message for a failed access and returns its status. moduleName
// names the module (the program's path, or kModuleFileName) and resourceName
// the sound (its name, or kSilenceResourceName).
AudioStatus ReportAccessFailure(const RecordingAccess& access, std::string_view moduleName,
                                std::string_view resourceName, MessageSink& sink);

// Adds n recording samples (little-endian bytes), scaled by gain, into block:
// each block sample becomes the sample plus the product truncated toward zero,
// clamped to -32768..32767, so that neither the product nor the sum wraps. A
// NaN product adds nothing.
void MixSamples(const unsigned char* samples, std::size_t n, float gain, std::int16_t* block);

} // namespace lorvanta
