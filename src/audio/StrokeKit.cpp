#include "audio/StrokeKit.h"

#include "audio/SampleBank.h"
#include "model/Messages.h"
#include "persistence/SafeSave.h"

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace lorvanta {

namespace {

// Rates above this are not recordings anyone makes; refusing them keeps a
// stroke's conversion within a few tens of megabytes.
constexpr int kMaxKitSampleRate = 384000;

constexpr const char* kCannotReadStroke = "Cannot read stroke file %1: %2";
constexpr const char* kCannotConvertStroke = "Cannot convert stroke file %1: %2";
constexpr const char* kStrokeTooLong =
    "Stroke file %1 is longer than %2 seconds; only its first %2 seconds are used";
constexpr const char* kNoSoundId =
    "Stroke file %1 does not start with a sound id from 1 to 29 and is not used";
constexpr const char* kSilenceNotReplaced =
    "Sound 0 is the silence and cannot be replaced: stroke file %1 is not used";
constexpr const char* kTwoStrokeFiles = "Two stroke files for sound %1: %2 is not used";
constexpr const char* kCannotOpenKit = "Cannot open the stroke kit folder %1: %2";
constexpr const char* kCannotWriteStroke = "Cannot write stroke file %1: %2";

void Warn(MessageSink& sink, const char* pattern, std::string_view first,
          std::string_view second = {}) {
    sink.Show({MessageKind::Warning, FormatMessage(pattern, first, second)});
}

bool IsKitExtension(const std::filesystem::path& file) {
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".wav" || extension == ".flac";
}

struct SndFileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

// Reads up to maxFrames frames, every channel averaged into one.
bool ReadMono(SNDFILE* file, const SF_INFO& info, sf_count_t maxFrames, std::vector<float>& mono) {
    constexpr sf_count_t kChunkFrames = 4096;
    const auto channels = static_cast<std::size_t>(info.channels);
    std::vector<float> chunk(static_cast<std::size_t>(kChunkFrames) * channels);
    mono.clear();
    mono.reserve(static_cast<std::size_t>(std::min(maxFrames, info.frames)));
    while (static_cast<sf_count_t>(mono.size()) < maxFrames) {
        const sf_count_t want =
            std::min(kChunkFrames, maxFrames - static_cast<sf_count_t>(mono.size()));
        const sf_count_t got = sf_readf_float(file, chunk.data(), want);
        if (got <= 0)
            break;
        for (sf_count_t frame = 0; frame < got; ++frame) {
            float sum = 0.0f;
            for (std::size_t c = 0; c < channels; ++c)
                sum += chunk[static_cast<std::size_t>(frame) * channels + c];
            mono.push_back(sum / static_cast<float>(channels));
        }
    }
    return sf_error(file) == SF_ERR_NO_ERROR;
}

std::int16_t ToSample(float value) {
    if (!(value == value))
        return 0;
    const float scaled = std::nearbyint(value * 32768.0f);
    return static_cast<std::int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
}

} // namespace

bool LoadStrokeFile(const std::filesystem::path& file, std::vector<unsigned char>& wavImage,
                    MessageSink& sink) {
    const std::string shown = file.string();
    // Only a regular file is read; opened without waiting, so a FIFO cannot
    // block the load.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        Warn(sink, kCannotReadStroke, shown, std::strerror(errno));
        return false;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        Warn(sink, kCannotReadStroke, shown, messages::kNotRegularDetail);
        return false;
    }
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndFileCloser> handle(sf_open_fd(fd, SFM_READ, &info, SF_TRUE));
    if (!handle) {
        Warn(sink, kCannotReadStroke, shown, sf_strerror(nullptr));
        return false;
    }
    if (info.samplerate <= 0 || info.channels <= 0 || info.frames < 0) {
        Warn(sink, kCannotReadStroke, shown, "the file states no usable format");
        return false;
    }
    const double ratio = static_cast<double>(kSampleRate) / info.samplerate;
    if (info.samplerate > kMaxKitSampleRate ||
        (info.samplerate != static_cast<int>(kSampleRate) && !src_is_valid_ratio(ratio))) {
        Warn(sink, kCannotConvertStroke, shown,
             "its sample rate of " + FormatDecimal(info.samplerate) + " Hz is not supported");
        return false;
    }
    const auto maxFrames = static_cast<sf_count_t>(kMaxKitStrokeSeconds) * info.samplerate;
    if (info.frames > maxFrames)
        Warn(sink, kStrokeTooLong, shown, FormatDecimal(kMaxKitStrokeSeconds));

    std::vector<float> mono;
    try {
        if (!ReadMono(handle.get(), info, std::min(maxFrames, info.frames), mono)) {
            Warn(sink, kCannotReadStroke, shown, sf_strerror(handle.get()));
            return false;
        }
    } catch (const std::bad_alloc&) {
        Warn(sink, kCannotReadStroke, shown, "not enough memory");
        return false;
    }

    std::vector<float> converted;
    if (info.samplerate == static_cast<int>(kSampleRate)) {
        converted = std::move(mono);
    } else if (!mono.empty()) {
        // The length at the new rate is fixed by the duration, so that the
        // converter's filter delay never changes it.
        const auto frames = static_cast<std::size_t>(std::llround(mono.size() * ratio));
        converted.assign(frames + 64, 0.0f);
        SRC_DATA data{};
        data.data_in = mono.data();
        data.input_frames = static_cast<long>(mono.size());
        data.data_out = converted.data();
        data.output_frames = static_cast<long>(converted.size());
        data.src_ratio = ratio;
        if (const int error = src_simple(&data, SRC_SINC_BEST_QUALITY, 1)) {
            Warn(sink, kCannotConvertStroke, shown, src_strerror(error));
            return false;
        }
        converted.resize(frames);
        if (static_cast<std::size_t>(data.output_frames_gen) < frames)
            std::fill(converted.begin() + data.output_frames_gen, converted.end(), 0.0f);
    }

    const auto dataBytes = static_cast<std::uint32_t>(converted.size() * 2);
    const WaveHeader header = MakeWaveHeader(kSampleRate, dataBytes);
    wavImage.assign(header.begin(), header.end());
    wavImage.reserve(kWaveHeaderSize + dataBytes);
    for (const float value : converted) {
        const auto sample = static_cast<std::uint16_t>(ToSample(value));
        wavImage.push_back(static_cast<unsigned char>(sample));
        wavImage.push_back(static_cast<unsigned char>(sample >> 8));
    }
    return true;
}

int KitFileSoundId(const std::filesystem::path& file) {
    const std::string stem = file.stem().string();
    std::size_t digits = 0;
    while (digits < stem.size() && std::isdigit(static_cast<unsigned char>(stem[digits])))
        ++digits;
    if (digits == 0 || digits > 2)
        return -1;
    return std::stoi(stem.substr(0, digits));
}

StrokeKitResult LoadStrokeKit(CSampleBank& bank, const std::filesystem::path& folder,
                              MessageSink& sink) {
    StrokeKitResult result;
    std::error_code error;
    std::vector<std::filesystem::path> files;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_regular_file() && IsKitExtension(it->path()))
            files.push_back(it->path());
    }
    if (error) {
        sink.Show(
            {MessageKind::Error, FormatMessage(kCannotOpenKit, folder.string(), error.message())});
        return result;
    }
    result.folderRead = true;
    std::sort(files.begin(), files.end());

    std::map<SoundId, std::vector<unsigned char>> strokes;
    for (const std::filesystem::path& file : files) {
        const int id = KitFileSoundId(file);
        if (id < 0 || id >= static_cast<int>(kSoundCount)) {
            Warn(sink, kNoSoundId, file.string());
            result.notUsed.push_back(file);
            continue;
        }
        const auto soundId = static_cast<SoundId>(id);
        if (strokes.contains(soundId)) {
            Warn(sink, kTwoStrokeFiles, FormatDecimal(id), file.string());
            result.notUsed.push_back(file);
            continue;
        }
        std::vector<unsigned char> image;
        if (!LoadStrokeFile(file, image, sink)) {
            result.notUsed.push_back(file);
            continue;
        }
        if (soundId == kSilenceSoundId) {
            const bool silent = std::all_of(image.begin() + kWaveHeaderSize, image.end(),
                                            [](unsigned char b) { return b == 0; });
            if (!silent)
                Warn(sink, kSilenceNotReplaced, file.string());
            result.notUsed.push_back(file);
            continue;
        }
        strokes.emplace(soundId, std::move(image));
    }
    for (auto& [soundId, image] : strokes) {
        if (bank.ReplaceStroke(soundId, std::move(image)))
            result.replaced.push_back(soundId);
    }
    return result;
}

std::string StrokeFileName(SoundId soundId) {
    for (const SoundTable table : {SoundTable::Pitch, SoundTable::Bass}) {
        const auto rows = Rows(table).first(PrimaryRowCount(table));
        for (const SoundTableRow& row : rows) {
            if (row.id == soundId)
                return FormatDecimal(soundId) + " " + row.name + ".wav";
        }
    }
    return FormatDecimal(soundId) + ".wav";
}

bool WriteStrokeBank(const CSampleBank& bank, const std::filesystem::path& folder,
                     MessageSink& sink) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        sink.Show(
            {MessageKind::Error, FormatMessage(kCannotOpenKit, folder.string(), error.message())});
        return false;
    }
    for (SoundId id = 0; id < kSoundCount; ++id) {
        const std::filesystem::path file = folder / StrokeFileName(id);
        const std::span<const unsigned char> image = bank.StrokeImage(id);
        SaveFailure failure;
        if (!WriteFileSafely(file, image, failure)) {
            sink.Show({MessageKind::Error, failure.Message(kCannotWriteStroke, file.string())});
            return false;
        }
    }
    return true;
}

} // namespace lorvanta
