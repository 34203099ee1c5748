#pragma once

// Save Sound: the Taal image written to a sound file.

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace lorvanta {

class MessageSink;
class TaalImage;

enum class SoundFileKind { Unknown, Wav, Flac };

// By extension, ignoring case: ".wav" or ".flac".
SoundFileKind SoundFileKindOf(const std::filesystem::path& file);

// Writes the image: a ".wav" file receives the image's bytes exactly, header
// included; a ".flac" file the same samples as 16-bit mono at sampleRate (the
// rate the image plays at). The file is written through WriteFileSafely, so a
// failure or a refused target leaves any previous file as it was. Returns
// false after showing the message. A drone loop, if given, is mixed in from
// its start at droneGain, as playback mixes it (the WAV's bytes are then the
// image's header and the mixed samples).
//
// With a fileRate other than 0 and sampleRate, the samples are converted to
// fileRate first (libsamplerate's best converter) and the file, WAV or FLAC,
// is written at that rate.
bool SaveTaalImage(const TaalImage& image, std::uint32_t sampleRate,
                   const std::filesystem::path& file, MessageSink& sink,
                   std::span<const std::int16_t> droneLoop = {}, float droneGain = 1.0f,
                   std::uint32_t fileRate = 0);

// The rates Save Sound offers; the first is the default.
inline constexpr std::uint32_t kSoundFileRates[] = {44100, 48000};

// A whole stroke resampled with libsamplerate's best converter so that its
// pitch rises by factor (it becomes 1/factor as long); the renderer's
// resampler for the bass drum's tuning.
std::vector<std::int16_t> ResampleStroke(std::span<const std::int16_t> stroke, double factor);

// Writes a ".wav" file of sampleCount 16-bit mono samples at sampleRate: the
// loop repeated from its start as often as it takes, the last time cut
// short. Written through WriteFileSafely like SaveTaalImage; false after
// showing the message.
bool SaveLoopedSound(std::span<const std::int16_t> loop, std::uint64_t sampleCount,
                     std::uint32_t sampleRate, const std::filesystem::path& file,
                     MessageSink& sink);

} // namespace lorvanta
