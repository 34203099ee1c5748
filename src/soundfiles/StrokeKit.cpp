#include "soundfiles/StrokeKit.h"

#include "audio/SampleBank.h"
#include "model/Messages.h"
#include "model/Text.h"
#include "persistence/SafeSave.h"

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <system_error>
#include <thread>
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
constexpr const char* kKitStrokesTooLong =
    "Files of the stroke kit %1 longer than %2 seconds; only their first %2 seconds are used:";
constexpr const char* kFilesNotUsed = "Files of the stroke kit %1 not used:%2";
constexpr const char* kNoSoundIdDetail = "the name does not start with a sound id from 1 to 29";
constexpr const char* kSilenceDetail = "sound 0 is the silence and cannot be replaced";
constexpr const char* kSecondFileDetail = "a second file for sound %1 (%2 is used)";
constexpr const char* kCannotOpenKit = "Cannot open the stroke kit folder %1: %2";
constexpr const char* kCannotWriteStroke = "Cannot write stroke file %1: %2";

void Warn(MessageSink& sink, const char* pattern, std::string_view first,
          std::string_view second = {}) {
    sink.Show({MessageKind::Warning, FormatMessage(pattern, first, second)});
}

bool IsKitExtension(const std::filesystem::path& file) {
    const std::string extension = ToLower(file.extension().string());
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

// Halves the rate of a signal sampled at least four times as fast as the
// strokes: a short half-band filter keeps everything a stroke can hold (below
// 11 kHz) and removes what would fold into it. Far cheaper per sample than the
// sinc converters, it brings a high-rate file down before them.
std::vector<float> HalveRate(const std::vector<float>& in) {
    // Windowed-sinc half-band taps either side of the centre (the even ones
    // are zero); the centre is 0.5.
    static constexpr float kTaps[] = {0.3133f, -0.0819f, 0.0272f, -0.0063f};
    constexpr std::size_t kReach = 7;
    std::vector<float> padded(in.size() + 2 * kReach, 0.0f);
    for (std::size_t i = 0; i < in.size(); ++i)
        padded[kReach + i] = in[i];
    std::vector<float> out(in.size() / 2);
    for (std::size_t o = 0; o < out.size(); ++o) {
        const float* centre = padded.data() + kReach + 2 * o;
        float sum = 0.5f * centre[0];
        for (std::size_t k = 0; k < 4; ++k)
            sum += kTaps[k] * (centre[-static_cast<std::ptrdiff_t>(2 * k + 1)] + centre[2 * k + 1]);
        out[o] = sum;
    }
    return out;
}

// The sinc converter whose cost suits the length: the best one for a short
// stroke, cheaper ones as the frames to convert grow, so that no file costs
// more than about a tenth of a second.
int ConverterFor(std::size_t frames) {
    if (frames <= 16000)
        return SRC_SINC_BEST_QUALITY;
    if (frames <= 48000)
        return SRC_SINC_MEDIUM_QUALITY;
    return SRC_SINC_FASTEST;
}

std::int16_t ToSample(float value) {
    if (!(value == value))
        return 0;
    const float scaled = std::nearbyint(value * 32768.0f);
    return static_cast<std::int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
}

} // namespace

namespace {

constexpr double kLoudPeak = 14600.0;
constexpr double kSoftPeak = 7300.0;
// A peak this near the policy is left as it is: within half a decibel.
constexpr double kPeakTolerance = 1.0592537; // 10^(0.5 / 20)
// The attack starts where the signal first reaches 40 dB under its peak;
// about 1 ms before it is kept, and nothing is cut for less than 2 ms.
constexpr double kAttackThreshold = 0.01;
constexpr std::size_t kLeadFrames = kSampleRate / 1000;
constexpr std::size_t kMaxLeadFrames = 2 * kLeadFrames;
// An end above -60 dBFS (over its last 1 ms) fades to zero over 10 ms.
constexpr float kEndLevel = 0.001f;
constexpr std::size_t kEndFrames = kSampleRate / 1000;
constexpr std::size_t kFadeFrames = kSampleRate / 100;

// Trims, levels and fades a stroke at the working rate, in place (full scale
// is 1.0).
void ShapeStroke(std::vector<float>& samples, double peakSample) {
    float peak = 0.0f;
    for (const float value : samples)
        peak = std::max(peak, std::abs(value));
    if (!(peak > 0.0f))
        return;
    const auto attack = static_cast<std::size_t>(std::distance(
        samples.begin(), std::find_if(samples.begin(), samples.end(), [&](float value) {
            return std::abs(value) >= peak * kAttackThreshold;
        })));
    if (attack > kMaxLeadFrames)
        samples.erase(samples.begin(),
                      samples.begin() + static_cast<std::ptrdiff_t>(attack - kLeadFrames));

    const double target = peakSample / 32768.0;
    if (peak > target * kPeakTolerance || peak < target / kPeakTolerance) {
        const auto gain = static_cast<float>(target / peak);
        for (float& value : samples)
            value *= gain;
    }

    const std::size_t tail = std::min(kEndFrames, samples.size());
    float endLevel = 0.0f;
    for (std::size_t i = samples.size() - tail; i < samples.size(); ++i)
        endLevel = std::max(endLevel, std::abs(samples[i]));
    if (endLevel > kEndLevel) {
        const std::size_t fade = std::min(kFadeFrames, samples.size());
        const std::size_t first = samples.size() - fade;
        for (std::size_t i = 0; i < fade; ++i) {
            // A raised cosine from 1 down to 0 at the last sample.
            const double x = static_cast<double>(i + 1) / static_cast<double>(fade);
            samples[first + i] *= static_cast<float>(0.5 * (1.0 + std::cos(3.14159265358979 * x)));
        }
    }
}

struct StrokeProblem {
    const char* pattern = nullptr; // kCannotReadStroke or kCannotConvertStroke
    std::string detail;
    bool silent = false; // the file read well but holds only zeros
};

// Reads and converts a file into a stroke image brought to peakSample; cut is
// set when only the file's first kMaxKitStrokeSeconds were used. Touches
// nothing shared, so that several files can be read at once.
std::optional<StrokeProblem> ReadStroke(const std::filesystem::path& file, double peakSample,
                                        std::vector<unsigned char>& wavImage, bool& cut) {
    cut = false;
    // Only a regular file is read; opened without waiting, so a FIFO cannot
    // block the load.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return StrokeProblem{kCannotReadStroke, std::strerror(errno)};
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return StrokeProblem{kCannotReadStroke, messages::kNotRegularDetail};
    }
    if (status.st_size == 0) {
        ::close(fd);
        return StrokeProblem{kCannotReadStroke, "the file is empty"};
    }
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndFileCloser> handle(sf_open_fd(fd, SFM_READ, &info, SF_TRUE));
    if (!handle)
        return StrokeProblem{kCannotReadStroke, sf_strerror(nullptr)};
    if (info.samplerate <= 0 || info.channels <= 0 || info.frames < 0)
        return StrokeProblem{kCannotReadStroke, "the file states no usable format"};
    const double ratio = static_cast<double>(kSampleRate) / info.samplerate;
    if (info.samplerate > kMaxKitSampleRate ||
        (info.samplerate != static_cast<int>(kSampleRate) && !src_is_valid_ratio(ratio)))
        return StrokeProblem{kCannotConvertStroke, "its sample rate of " +
                                                       FormatDecimal(info.samplerate) +
                                                       " Hz is not supported"};
    const auto maxFrames = static_cast<sf_count_t>(kMaxKitStrokeSeconds) * info.samplerate;

    std::vector<float> mono;
    try {
        if (!ReadMono(handle.get(), info, std::min(maxFrames, info.frames), mono))
            return StrokeProblem{kCannotReadStroke, sf_strerror(handle.get())};
    } catch (const std::bad_alloc&) {
        return StrokeProblem{kCannotReadStroke, "not enough memory"};
    }
    if (std::none_of(mono.begin(), mono.end(), [](float value) { return value != 0.0f; }))
        return StrokeProblem{kCannotReadStroke, "the file holds no sound", true};
    cut = info.frames > maxFrames;

    std::vector<float> converted;
    int rate = info.samplerate;
    try {
        while (rate >= 4 * static_cast<int>(kSampleRate) && rate % 2 == 0) {
            mono = HalveRate(mono);
            rate /= 2;
        }
    } catch (const std::bad_alloc&) {
        return StrokeProblem{kCannotReadStroke, "not enough memory"};
    }
    if (rate == static_cast<int>(kSampleRate)) {
        converted = std::move(mono);
    } else {
        const double toRate = static_cast<double>(kSampleRate) / rate;
        // The length at the new rate is fixed by the duration, so that the
        // converter's filter delay never changes it.
        const auto frames = static_cast<std::size_t>(std::llround(mono.size() * toRate));
        converted.assign(frames + 64, 0.0f);
        SRC_DATA data{};
        data.data_in = mono.data();
        data.input_frames = static_cast<long>(mono.size());
        data.data_out = converted.data();
        data.output_frames = static_cast<long>(converted.size());
        data.src_ratio = toRate;
        if (const int error = src_simple(&data, ConverterFor(mono.size()), 1))
            return StrokeProblem{kCannotConvertStroke, src_strerror(error)};
        converted.resize(frames);
        if (static_cast<std::size_t>(data.output_frames_gen) < frames)
            std::fill(converted.begin() + data.output_frames_gen, converted.end(), 0.0f);
    }
    ShapeStroke(converted, peakSample);

    const auto dataBytes = static_cast<std::uint32_t>(converted.size() * 2);
    const WaveHeader header = MakeWaveHeader(kSampleRate, dataBytes);
    wavImage.assign(header.begin(), header.end());
    wavImage.reserve(kWaveHeaderSize + dataBytes);
    for (const float value : converted) {
        const auto sample = static_cast<std::uint16_t>(ToSample(value));
        wavImage.push_back(static_cast<unsigned char>(sample));
        wavImage.push_back(static_cast<unsigned char>(sample >> 8));
    }
    return std::nullopt;
}

struct StrokeRead {
    bool wanted = false; // a file of a sound id, read
    std::optional<StrokeProblem> problem;
    std::vector<unsigned char> image;
    bool cut = false;
};

// Reads the wanted files, on as many threads as the machine has cores (up to
// four); the calling thread reads too and tells progress between its files.
void ReadStrokes(const std::vector<std::filesystem::path>& files, std::vector<StrokeRead>& reads,
                 const KitProgress& progress) {
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> finished{0};
    const auto readOne = [&](std::size_t i) {
        StrokeRead& read = reads[i];
        if (read.wanted) {
            try {
                const auto id = static_cast<SoundId>(KitFileSoundId(files[i]));
                read.problem = ReadStroke(files[i], StrokePeak(id), read.image, read.cut);
            } catch (const std::exception&) {
                read.problem = StrokeProblem{kCannotReadStroke, "not enough memory"};
            }
        }
        finished.fetch_add(1);
    };
    const auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < files.size();)
            readOne(i);
    };
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t helpers = std::min<std::size_t>({cores - 1, 3, files.size()});
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < helpers; ++t) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break; // fewer helpers, or none: this thread reads the rest
        }
    }
    for (;;) {
        if (progress)
            progress(finished.load(), files.size());
        const std::size_t i = next.fetch_add(1);
        if (i >= files.size())
            break;
        readOne(i);
    }
    for (std::thread& thread : threads)
        thread.join();
    if (progress)
        progress(files.size(), files.size());
}

} // namespace

double StrokePeak(SoundId soundId) {
    switch (soundId) {
    case 17: // Soft Ra
    case 21: // Ne
    case 27: // Soft Din
    case 28: // Soft Dhi
        return kSoftPeak;
    default:
        return kLoudPeak;
    }
}

bool LoadStrokeFile(const std::filesystem::path& file, std::vector<unsigned char>& wavImage,
                    MessageSink& sink) {
    const int id = KitFileSoundId(file);
    const double peak = id > 0 && id < static_cast<int>(kSoundCount)
                            ? StrokePeak(static_cast<SoundId>(id))
                            : kLoudPeak;
    bool cut = false;
    const auto problem = ReadStroke(file, peak, wavImage, cut);
    if (cut)
        Warn(sink, kStrokeTooLong, ShownName(file.string()), FormatDecimal(kMaxKitStrokeSeconds));
    if (problem) {
        Warn(sink, problem->pattern, ShownName(file.string()), problem->detail);
        return false;
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
                              MessageSink& sink, const KitProgress& progress) {
    StrokeKitResult result;
    std::error_code error;
    std::vector<std::filesystem::path> files;
    // A kit file that cannot even be looked at (a link loop, a target out of
    // reach) is named with the files not used, never thrown out of here.
    std::vector<std::pair<std::filesystem::path, std::string>> unchecked;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        if (!IsKitExtension(it->path()))
            continue;
        std::error_code checking;
        if (it->is_regular_file(checking))
            files.push_back(it->path());
        else if (checking)
            unchecked.emplace_back(it->path(), checking.message());
    }
    if (error) {
        sink.Show({MessageKind::Error,
                   FormatMessage(kCannotOpenKit, ShownName(folder.string()), error.message())});
        return result;
    }
    result.folderRead = true;
    // Name order, but the file named exactly as the bank names it first.
    std::sort(files.begin(), files.end());
    const auto exact = [](const std::filesystem::path& file) {
        const int id = KitFileSoundId(file);
        return id >= 0 && id < static_cast<int>(kSoundCount) &&
               ToLower(file.stem().string()) ==
                   ToLower(std::filesystem::path(StrokeFileName(static_cast<SoundId>(id)))
                               .stem()
                               .string());
    };
    std::stable_partition(files.begin(), files.end(), exact);

    std::string problems;
    const auto notUsed = [&](const std::filesystem::path& file, const std::string& why) {
        problems += "\n" + ShownName(file.filename().string()) + ": " + why;
        result.notUsed.push_back(file);
    };
    for (const auto& [file, why] : unchecked)
        notUsed(file, why);
    std::vector<StrokeRead> reads(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        const int id = KitFileSoundId(files[i]);
        reads[i].wanted = id >= 0 && id < static_cast<int>(kSoundCount);
    }
    ReadStrokes(files, reads, progress);

    std::map<SoundId, std::pair<std::filesystem::path, std::vector<unsigned char>>> strokes;
    std::string cut; // the files cut short, one a line
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::filesystem::path& file = files[i];
        const int id = KitFileSoundId(file);
        if (id < 0 || id >= static_cast<int>(kSoundCount)) {
            notUsed(file, kNoSoundIdDetail);
            continue;
        }
        const auto soundId = static_cast<SoundId>(id);
        if (const auto held = strokes.find(soundId); held != strokes.end()) {
            notUsed(file, FormatMessage(kSecondFileDetail, FormatDecimal(id),
                                        ShownName(held->second.first.filename().string())));
            continue;
        }
        StrokeRead& read = reads[i];
        if (read.cut)
            cut += "\n" + ShownName(file.filename().string());
        const std::optional<StrokeProblem>& problem = read.problem;
        if (soundId == kSilenceSoundId) {
            // A silent "0 Silence.wav", as the bank writes it, is passed over.
            if (problem && problem->silent)
                result.notUsed.push_back(file);
            else
                notUsed(file, problem ? problem->detail : std::string(kSilenceDetail));
            continue;
        }
        if (problem) {
            notUsed(file, problem->detail);
            continue;
        }
        strokes.emplace(soundId, std::make_pair(file, std::move(read.image)));
    }
    if (!cut.empty())
        sink.Show(
            {MessageKind::Warning, FormatMessage(kKitStrokesTooLong, ShownName(folder.string()),
                                                 FormatDecimal(kMaxKitStrokeSeconds)) +
                                       cut});
    if (!problems.empty())
        Warn(sink, kFilesNotUsed, ShownName(folder.string()), problems);
    for (auto& [soundId, stroke] : strokes) {
        if (bank.ReplaceStroke(soundId, std::move(stroke.second)))
            result.replaced.push_back(soundId);
    }
    std::sort(result.notUsed.begin(), result.notUsed.end());
    return result;
}

BuiltInKit DefaultBuiltInKit() {
    return HasBuiltInKit(BuiltInKit::Recorded) ? BuiltInKit::Recorded : BuiltInKit::Synthesised;
}

KitChoice DefaultKitChoice() {
    return {DefaultBuiltInKit(), {}};
}

std::optional<KitChoice> ParseKitChoice(std::string_view text) {
    if (text.empty())
        return std::nullopt;
    if (text == kRecordedKitName) {
        if (!HasBuiltInKit(BuiltInKit::Recorded))
            return std::nullopt;
        return KitChoice{BuiltInKit::Recorded, {}};
    }
    if (text == kSynthesisedKitName)
        return KitChoice{BuiltInKit::Synthesised, {}};
    return KitChoice{DefaultBuiltInKit(), std::filesystem::path(text)};
}

std::string KitChoiceText(const KitChoice& choice) {
    if (!choice.folder.empty())
        return choice.folder.string();
    return choice.builtIn == BuiltInKit::Recorded ? kRecordedKitName : kSynthesisedKitName;
}

StrokeKitResult ApplyKitChoice(CSampleBank& bank, const KitChoice& choice, MessageSink& sink,
                               const KitProgress& progress) {
    bank.RestoreBuiltInStrokes();
    bank.UseBuiltInKit(choice.builtIn);
    if (choice.folder.empty())
        return {};
    return LoadStrokeKit(bank, choice.folder, sink, progress);
}

std::string ReplacedIdsText(const std::vector<SoundId>& ids) {
    std::string text;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (i > 0)
            text += i + 1 == ids.size() ? " and " : ", ";
        text += FormatDecimal(ids[i]);
    }
    return text;
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
        sink.Show({MessageKind::Error,
                   FormatMessage(kCannotOpenKit, ShownName(folder.string()), error.message())});
        return false;
    }
    // All or nothing: a full disk leaves no part of a kit behind.
    std::vector<FileContent> files;
    for (SoundId id = 0; id < kSoundCount; ++id)
        files.push_back({folder / StrokeFileName(id), bank.StrokeImage(id)});
    SaveFailure failure;
    std::size_t failed = 0;
    if (!WriteFilesSafely(files, failure, failed)) {
        sink.Show(
            {MessageKind::Error, failure.Message(kCannotWriteStroke, files[failed].path.string())});
        return false;
    }
    return true;
}

} // namespace lorvanta
