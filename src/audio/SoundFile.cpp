#include "audio/SoundFile.h"

#include "audio/DroneMix.h"
#include "audio/TaalImage.h"
#include "audio/WaveFormat.h"
#include "model/Messages.h"
#include "persistence/SafeSave.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace lorvanta {

namespace {

constexpr const char* kCannotWriteSound = "Cannot write sound file %1: %2";
constexpr const char* kTooLargeFor =
    "Cannot save %1: the Taal is too long for a %2 file at this tempo";
constexpr std::size_t kChunkBytes = 1 << 16;
// FLAC counts samples in 36 bits.
constexpr std::uint64_t kMaxFlacSamples = std::uint64_t{1} << 36;

void ShowWriteError(MessageSink& sink, const std::filesystem::path& file, std::string_view why) {
    sink.Show({MessageKind::Error, FormatMessage(kCannotWriteSound, file.string(), why)});
}

struct SndFileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

// The drone (and the lehra) over the image's samples as they are written.
struct DroneOverImage {
    std::span<const std::int16_t> loop;
    float gain = 1.0f;
    std::span<const std::int16_t> lehra;
    float lehraGain = 1.0f;
    std::size_t position = 0;
    std::size_t lehraPosition = 0;

    void Mix(unsigned char* bytes, std::size_t n) {
        if (!lehra.empty())
            lehraPosition = MixDroneInto(lehra, lehraPosition, lehraGain, bytes, n);
        if (!loop.empty())
            position = MixDroneInto(loop, position, gain, bytes, n);
    }
};

std::optional<std::string> WriteWav(const TaalImage& image, DroneOverImage& drone, int fd) {
    std::vector<unsigned char> chunk(kChunkBytes);
    for (std::uint64_t offset = 0; offset < image.Size();) {
        const std::size_t n = image.CopyBytes(offset, chunk);
        // The header (in the first chunk only) is left as it is.
        const std::size_t header =
            offset < kWaveHeaderSize ? static_cast<std::size_t>(kWaveHeaderSize - offset) : 0;
        if (n > header)
            drone.Mix(chunk.data() + header, n - header);
        for (std::size_t done = 0; done < n;) {
            const ssize_t put = ::write(fd, chunk.data() + done, n - done);
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0)
                return std::strerror(errno);
            done += static_cast<std::size_t>(put);
        }
        offset += n;
    }
    return std::nullopt;
}

std::optional<std::string> WriteFlac(const TaalImage& image, std::uint32_t sampleRate,
                                     DroneOverImage& drone, int fd) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(sampleRate);
    info.channels = 1;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    // The descriptor stays open: the safe save syncs and closes it.
    std::unique_ptr<SNDFILE, SndFileCloser> out(sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE));
    if (!out)
        return sf_strerror(nullptr);
    std::vector<unsigned char> bytes(kChunkBytes);
    std::vector<short> samples(kChunkBytes / 2);
    std::size_t hint = 0;
    for (std::uint64_t offset = 0; offset < image.DataSize();) {
        const std::size_t n = image.CopyData(offset, bytes, hint);
        drone.Mix(bytes.data(), n);
        for (std::size_t i = 0; i < n / 2; ++i)
            samples[i] = static_cast<short>(
                static_cast<std::uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8));
        const auto frames = static_cast<sf_count_t>(n / 2);
        if (sf_writef_short(out.get(), samples.data(), frames) != frames)
            return sf_strerror(out.get());
        offset += n;
    }
    if (sf_close(out.release()) != 0)
        return "the file could not be completed";
    return std::nullopt;
}

} // namespace

SoundFileKind SoundFileKindOf(const std::filesystem::path& file) {
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".wav")
        return SoundFileKind::Wav;
    if (extension == ".flac")
        return SoundFileKind::Flac;
    return SoundFileKind::Unknown;
}

bool SaveTaalImage(const TaalImage& image, std::uint32_t sampleRate,
                   const std::filesystem::path& file, MessageSink& sink,
                   std::span<const std::int16_t> droneLoop, float droneGain,
                   std::span<const std::int16_t> lehraLoop, float lehraGain) {
    const SoundFileKind kind = SoundFileKindOf(file);
    if (kind == SoundFileKind::Unknown) {
        ShowWriteError(sink, file, "the name must end in .wav or .flac");
        return false;
    }
    if (kind == SoundFileKind::Wav && image.Size() - 8 > 0xFFFFFFFFu) {
        sink.Show({MessageKind::Error, FormatMessage(kTooLargeFor, file.string(), "WAV")});
        return false;
    }
    if (kind == SoundFileKind::Flac && image.TotalSamples() >= kMaxFlacSamples) {
        sink.Show({MessageKind::Error, FormatMessage(kTooLargeFor, file.string(), "FLAC")});
        return false;
    }
    SaveFailure failure;
    const bool saved = WriteFileSafely(
        file,
        [&](int fd) {
            DroneOverImage drone{droneLoop, droneGain, lehraLoop, lehraGain};
            return kind == SoundFileKind::Wav ? WriteWav(image, drone, fd)
                                              : WriteFlac(image, sampleRate, drone, fd);
        },
        failure);
    if (!saved)
        sink.Show({MessageKind::Error, failure.Message(kCannotWriteSound, file.string())});
    return saved;
}

bool SaveLoopedSound(std::span<const std::int16_t> loop, std::uint64_t sampleCount,
                     std::uint32_t sampleRate, const std::filesystem::path& file,
                     MessageSink& sink) {
    if (SoundFileKindOf(file) != SoundFileKind::Wav) {
        ShowWriteError(sink, file, "the name must end in .wav");
        return false;
    }
    if (loop.empty())
        sampleCount = 0;
    if (2 * sampleCount + kWaveHeaderSize - 8 > 0xFFFFFFFFu) {
        sink.Show({MessageKind::Error, FormatMessage(kTooLargeFor, file.string(), "WAV")});
        return false;
    }
    const auto write = [&](int fd) -> std::optional<std::string> {
        const WaveHeader header =
            MakeWaveHeader(sampleRate, static_cast<std::uint32_t>(2 * sampleCount));
        std::vector<unsigned char> chunk(header.begin(), header.end());
        chunk.reserve(kChunkBytes + kWaveHeaderSize);
        std::size_t at = 0;
        for (std::uint64_t left = sampleCount; left > 0 || !chunk.empty();) {
            while (left > 0 && chunk.size() < kChunkBytes) {
                const auto value = static_cast<std::uint16_t>(loop[at]);
                chunk.push_back(static_cast<unsigned char>(value));
                chunk.push_back(static_cast<unsigned char>(value >> 8));
                at = at + 1 == loop.size() ? 0 : at + 1;
                --left;
            }
            for (std::size_t done = 0; done < chunk.size();) {
                const ssize_t put = ::write(fd, chunk.data() + done, chunk.size() - done);
                if (put < 0 && errno == EINTR)
                    continue;
                if (put < 0)
                    return std::strerror(errno);
                done += static_cast<std::size_t>(put);
            }
            chunk.clear();
        }
        return std::nullopt;
    };
    SaveFailure failure;
    const bool saved = WriteFileSafely(file, write, failure);
    if (!saved)
        sink.Show({MessageKind::Error, failure.Message(kCannotWriteSound, file.string())});
    return saved;
}

} // namespace lorvanta
