#include "soundfiles/SoundFile.h"

#include "audio/DroneMix.h"
#include "audio/TaalImage.h"
#include "audio/WaveFormat.h"
#include "model/Messages.h"
#include "model/Text.h"
#include "persistence/SafeSave.h"

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>
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
    sink.Show(
        {MessageKind::Error, FormatMessage(kCannotWriteSound, ShownName(file.string()), why)});
}

struct SndFileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

// The drone over the image's samples as they are written.
struct DroneOverImage {
    std::span<const std::int16_t> loop;
    float gain = 1.0f;
    std::size_t position = 0;

    void Mix(unsigned char* bytes, std::size_t n) {
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

// The encoder writes through these, so that a failed write is reported with
// the system's reason ("No space left on device") rather than the encoder's.
struct FdStream {
    int fd = -1;
    int error = 0; // the first failed write's errno

    static FdStream& Of(void* user) { return *static_cast<FdStream*>(user); }
    static sf_count_t Length(void* user) {
        struct stat info {};
        return ::fstat(Of(user).fd, &info) == 0 ? static_cast<sf_count_t>(info.st_size) : -1;
    }
    static sf_count_t Seek(sf_count_t offset, int whence, void* user) {
        return ::lseek(Of(user).fd, static_cast<off_t>(offset), whence);
    }
    static sf_count_t Read(void* data, sf_count_t count, void* user) {
        const ssize_t got = ::read(Of(user).fd, data, static_cast<std::size_t>(count));
        return got < 0 ? 0 : got;
    }
    static sf_count_t Write(const void* data, sf_count_t count, void* user) {
        FdStream& stream = Of(user);
        const auto* bytes = static_cast<const unsigned char*>(data);
        sf_count_t done = 0;
        while (done < count) {
            const ssize_t put =
                ::write(stream.fd, bytes + done, static_cast<std::size_t>(count - done));
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0) {
                if (stream.error == 0)
                    stream.error = put < 0 ? errno : ENOSPC;
                break;
            }
            done += put;
        }
        return done;
    }
    static sf_count_t Tell(void* user) { return ::lseek(Of(user).fd, 0, SEEK_CUR); }

    // A 16-bit mono FLAC file written through this stream, or null.
    SNDFILE* OpenFlac(std::uint32_t sampleRate) {
        SF_INFO info{};
        info.samplerate = static_cast<int>(sampleRate);
        info.channels = 1;
        info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
        return sf_open_virtual(&io, SFM_WRITE, &info, this);
    }
    // The system's reason when a write failed, else the encoder's.
    std::string Failure(const char* encoderReason) const {
        return error != 0 ? std::strerror(error) : encoderReason;
    }

    SF_VIRTUAL_IO io{Length, Seek, Read, Write, Tell};
};

std::optional<std::string> WriteFlac(const TaalImage& image, std::uint32_t sampleRate,
                                     DroneOverImage& drone, int fd) {
    // The descriptor stays open: the safe save syncs and closes it.
    FdStream stream{fd};
    std::unique_ptr<SNDFILE, SndFileCloser> out(stream.OpenFlac(sampleRate));
    const auto failed = [&stream](const char* fallback) { return stream.Failure(fallback); };
    if (!out)
        return failed(sf_strerror(nullptr));
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
        if (sf_writef_short(out.get(), samples.data(), frames) != frames || stream.error != 0)
            return failed(sf_strerror(out.get()));
        offset += n;
    }
    if (sf_close(out.release()) != 0 || stream.error != 0)
        return failed("the file could not be completed");
    return std::nullopt;
}

// Samples at rate `to` for `samples` at rate `from`, rounded up.
std::uint64_t ConvertedLength(std::uint64_t samples, std::uint32_t from, std::uint32_t to) {
    return (samples * to + from - 1) / from;
}

// The image's samples (with the drone) converted to another rate, in chunks.
class ConvertedSamples {
public:
    ConvertedSamples(const TaalImage& image, DroneOverImage& drone, std::uint32_t from,
                     std::uint32_t to)
        : m_image(image), m_drone(drone), m_ratio(static_cast<double>(to) / from),
          m_state(src_new(SRC_SINC_BEST_QUALITY, 1, &m_error), src_delete),
          m_total(ConvertedLength(image.TotalSamples(), from, to)) {}
    bool Ok() const { return m_state != nullptr; }
    std::uint64_t Total() const { return m_total; }
    // The next samples, as many as fit into out; 0 at the end.
    std::size_t Next(std::span<float> out) {
        std::size_t made = 0;
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), m_total - m_given));
        while (made < want) {
            if (m_inUsed == m_in.size() && !m_ended) {
                const std::size_t n = m_image.CopyData(m_read, m_bytes, m_hint);
                m_drone.Mix(m_bytes.data(), n);
                m_in.resize(n / 2);
                for (std::size_t i = 0; i < m_in.size(); ++i)
                    m_in[i] =
                        static_cast<float>(static_cast<std::int16_t>(
                            static_cast<std::uint16_t>(m_bytes[2 * i] | m_bytes[2 * i + 1] << 8))) /
                        32768.0f;
                m_inUsed = 0;
                m_read += n;
                m_ended = n == 0;
            }
            SRC_DATA data{};
            data.data_in = m_in.data() + m_inUsed;
            data.input_frames = static_cast<long>(m_in.size() - m_inUsed);
            data.data_out = out.data() + made;
            data.output_frames = static_cast<long>(want - made);
            data.src_ratio = m_ratio;
            data.end_of_input = m_ended ? 1 : 0;
            if (src_process(m_state.get(), &data) != 0)
                break;
            m_inUsed += static_cast<std::size_t>(data.input_frames_used);
            made += static_cast<std::size_t>(data.output_frames_gen);
            if (m_ended && data.output_frames_gen == 0) {
                // The converter is drained: the rest is silence.
                std::fill(out.begin() + static_cast<std::ptrdiff_t>(made),
                          out.begin() + static_cast<std::ptrdiff_t>(want), 0.0f);
                made = want;
            }
        }
        m_given += made;
        return made;
    }

private:
    const TaalImage& m_image;
    DroneOverImage& m_drone;
    double m_ratio;
    int m_error = 0;
    std::unique_ptr<SRC_STATE, SRC_STATE* (*)(SRC_STATE*)> m_state;
    std::uint64_t m_total;
    std::uint64_t m_given = 0;
    std::vector<unsigned char> m_bytes = std::vector<unsigned char>(kChunkBytes);
    std::vector<float> m_in;
    std::size_t m_inUsed = 0;
    std::uint64_t m_read = 0;
    std::size_t m_hint = 0;
    bool m_ended = false;
};

std::int16_t ToSample(float value) {
    return static_cast<std::int16_t>(std::clamp(std::lround(value * 32768.0f), -32768l, 32767l));
}

std::optional<std::string> WriteAll(int fd, const unsigned char* bytes, std::size_t n) {
    for (std::size_t done = 0; done < n;) {
        const ssize_t put = ::write(fd, bytes + done, n - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            return std::strerror(errno);
        done += static_cast<std::size_t>(put);
    }
    return std::nullopt;
}

std::optional<std::string> WriteConverted(ConvertedSamples& samples, SoundFileKind kind,
                                          std::uint32_t fileRate, int fd) {
    if (!samples.Ok())
        return "the sample rate converter could not start";
    FdStream stream{fd};
    std::unique_ptr<SNDFILE, SndFileCloser> flac;
    if (kind == SoundFileKind::Flac) {
        flac.reset(stream.OpenFlac(fileRate));
        if (!flac)
            return stream.Failure(sf_strerror(nullptr));
    } else {
        const WaveHeader header =
            MakeWaveHeader(fileRate, static_cast<std::uint32_t>(2 * samples.Total()));
        if (auto failed = WriteAll(fd, header.data(), header.size()))
            return failed;
    }
    std::vector<float> converted(kChunkBytes / 2);
    std::vector<short> shorts(converted.size());
    while (const std::size_t n = samples.Next(converted)) {
        for (std::size_t i = 0; i < n; ++i)
            shorts[i] = ToSample(converted[i]);
        if (flac) {
            if (sf_writef_short(flac.get(), shorts.data(), static_cast<sf_count_t>(n)) !=
                    static_cast<sf_count_t>(n) ||
                stream.error != 0)
                return stream.Failure(sf_strerror(flac.get()));
        } else if (auto failed =
                       WriteAll(fd, reinterpret_cast<const unsigned char*>(shorts.data()), 2 * n)) {
            return failed;
        }
    }
    if (flac && (sf_close(flac.release()) != 0 || stream.error != 0))
        return stream.Failure("the file could not be completed");
    return std::nullopt;
}

} // namespace

std::vector<std::int16_t> ResampleStroke(std::span<const std::int16_t> stroke, double factor) {
    if (stroke.empty() || !(factor > 0.0))
        return {stroke.begin(), stroke.end()};
    std::vector<float> in(stroke.size());
    for (std::size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<float>(stroke[i]) / 32768.0f;
    std::vector<float> out(static_cast<std::size_t>(static_cast<double>(in.size()) / factor) + 16);
    SRC_DATA data{};
    data.data_in = in.data();
    data.input_frames = static_cast<long>(in.size());
    data.data_out = out.data();
    data.output_frames = static_cast<long>(out.size());
    data.src_ratio = 1.0 / factor;
    if (src_simple(&data, SRC_SINC_BEST_QUALITY, 1) != 0)
        return {stroke.begin(), stroke.end()};
    std::vector<std::int16_t> result(static_cast<std::size_t>(data.output_frames_gen));
    for (std::size_t i = 0; i < result.size(); ++i)
        result[i] = ToSample(out[i]);
    return result;
}

SoundFileKind SoundFileKindOf(const std::filesystem::path& file) {
    const std::string extension = ToLower(file.extension().string());
    if (extension == ".wav")
        return SoundFileKind::Wav;
    if (extension == ".flac")
        return SoundFileKind::Flac;
    return SoundFileKind::Unknown;
}

bool SaveTaalImage(const TaalImage& image, std::uint32_t sampleRate,
                   const std::filesystem::path& file, MessageSink& sink,
                   std::span<const std::int16_t> droneLoop, float droneGain,
                   std::uint32_t fileRate) {
    const SoundFileKind kind = SoundFileKindOf(file);
    const bool convert = fileRate != 0 && fileRate != sampleRate && sampleRate != 0;
    const std::uint64_t fileSamples =
        convert ? ConvertedLength(image.TotalSamples(), sampleRate, fileRate)
                : image.TotalSamples();
    if (kind == SoundFileKind::Unknown) {
        ShowWriteError(sink, file, "the name must end in .wav or .flac");
        return false;
    }
    if (kind == SoundFileKind::Wav && kWaveHeaderSize + 2 * fileSamples - 8 > 0xFFFFFFFFu) {
        sink.Show(
            {MessageKind::Error, FormatMessage(kTooLargeFor, ShownName(file.string()), "WAV")});
        return false;
    }
    if (kind == SoundFileKind::Flac && fileSamples >= kMaxFlacSamples) {
        sink.Show(
            {MessageKind::Error, FormatMessage(kTooLargeFor, ShownName(file.string()), "FLAC")});
        return false;
    }
    SaveFailure failure;
    const bool saved = WriteFileSafely(
        file,
        [&](int fd) {
            DroneOverImage drone{droneLoop, droneGain};
            if (convert) {
                ConvertedSamples samples(image, drone, sampleRate, fileRate);
                return WriteConverted(samples, kind, fileRate, fd);
            }
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
        sink.Show(
            {MessageKind::Error, FormatMessage(kTooLargeFor, ShownName(file.string()), "WAV")});
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
