#include "audio/SoundFile.h"

#include "audio/TaalImage.h"
#include "model/Messages.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
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

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

struct SndFileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

bool WriteWav(const TaalImage& image, const std::filesystem::path& temp,
              const std::filesystem::path& shown, MessageSink& sink) {
    std::unique_ptr<std::FILE, FileCloser> out(std::fopen(temp.c_str(), "wb"));
    if (!out) {
        ShowWriteError(sink, shown, std::strerror(errno));
        return false;
    }
    std::vector<unsigned char> chunk(kChunkBytes);
    for (std::uint64_t offset = 0; offset < image.Size();) {
        const std::size_t n = image.CopyBytes(offset, chunk);
        if (std::fwrite(chunk.data(), 1, n, out.get()) != n) {
            ShowWriteError(sink, shown, std::strerror(errno));
            return false;
        }
        offset += n;
    }
    if (std::fflush(out.get()) != 0 || std::fclose(out.release()) != 0) {
        ShowWriteError(sink, shown, std::strerror(errno));
        return false;
    }
    return true;
}

bool WriteFlac(const TaalImage& image, std::uint32_t sampleRate, const std::filesystem::path& temp,
               const std::filesystem::path& shown, MessageSink& sink) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(sampleRate);
    info.channels = 1;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    std::unique_ptr<SNDFILE, SndFileCloser> out(sf_open(temp.c_str(), SFM_WRITE, &info));
    if (!out) {
        ShowWriteError(sink, shown, sf_strerror(nullptr));
        return false;
    }
    std::vector<unsigned char> bytes(kChunkBytes);
    std::vector<short> samples(kChunkBytes / 2);
    std::size_t hint = 0;
    for (std::uint64_t offset = 0; offset < image.DataSize();) {
        const std::size_t n = image.CopyData(offset, bytes, hint);
        for (std::size_t i = 0; i < n / 2; ++i)
            samples[i] = static_cast<short>(
                static_cast<std::uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8));
        const auto frames = static_cast<sf_count_t>(n / 2);
        if (sf_writef_short(out.get(), samples.data(), frames) != frames) {
            ShowWriteError(sink, shown, sf_strerror(out.get()));
            return false;
        }
        offset += n;
    }
    if (sf_close(out.release()) != 0) {
        ShowWriteError(sink, shown, "the file could not be completed");
        return false;
    }
    return true;
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
                   const std::filesystem::path& file, MessageSink& sink) {
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
    std::filesystem::path temp = file;
    temp += ".part";
    const bool written = kind == SoundFileKind::Wav
                             ? WriteWav(image, temp, file, sink)
                             : WriteFlac(image, sampleRate, temp, file, sink);
    std::error_code error;
    if (written) {
        std::filesystem::rename(temp, file, error);
        if (!error)
            return true;
        ShowWriteError(sink, file, error.message());
    }
    std::filesystem::remove(temp, error);
    return false;
}

} // namespace lorvanta
