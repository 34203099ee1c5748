#include "Kit.h"

#include "common/StrokeAnalysis.h"

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <memory>
#include <numbers>
#include <sstream>

namespace lorvanta::strokekit {

namespace {

constexpr double kRate = 22050.0;
constexpr std::size_t kFadeInFrames = 16;

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t from = 0;
    while (true) {
        const std::size_t tab = line.find('\t', from);
        fields.push_back(line.substr(from, tab - from));
        if (tab == std::string::npos)
            break;
        from = tab + 1;
    }
    return fields;
}

bool ParseNumber(const std::string& text, double& value) {
    std::istringstream in(text);
    in >> value;
    return in && in.peek() == std::char_traits<char>::eof();
}

// "A@B-C" or "A/B" style fields: the numbers between the separators.
bool ParseNumbers(std::string text, const std::string& separators, std::vector<double>& values) {
    for (char separator : separators) {
        // A leading sign is part of the first number, not a separator.
        const std::size_t at = text.find(separator, 1);
        if (at == std::string::npos)
            return false;
        text[at] = ' ';
    }
    std::istringstream in(text);
    values.clear();
    for (double value; in >> value;)
        values.push_back(value);
    return values.size() == separators.size() + 1 && in.eof();
}

struct SndFileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

std::filesystem::path SourcePath(const std::filesystem::path& dir, const std::string& stem) {
    return dir / (stem + ".flac");
}

// 0 at and before a, 1 at and after b, smoothstep between.
double Smoothstep(double t, double a, double b) {
    if (t <= a)
        return 0.0;
    if (t >= b)
        return 1.0;
    const double x = (t - a) / (b - a);
    return x * x * (3.0 - 2.0 * x);
}

std::vector<std::int16_t> Finish(std::vector<double> signal, double peakDbfs) {
    const std::size_t frames = signal.size();
    std::vector<std::int16_t> out(frames, 0);
    if (frames < 2 * kFadeInFrames)
        return out;
    // Raised-cosine fades to exact zeros: a short one in (the cut sits just
    // before the attack), a long one out.
    const std::size_t fadeOut = std::max<std::size_t>(16, frames / 10);
    for (std::size_t n = 0; n < kFadeInFrames; ++n) {
        const double x = static_cast<double>(n) / kFadeInFrames;
        signal[n] *= 0.5 - 0.5 * std::cos(std::numbers::pi * x);
    }
    for (std::size_t n = 0; n < fadeOut; ++n) {
        const double x = static_cast<double>(n) / static_cast<double>(fadeOut - 1);
        signal[frames - fadeOut + n] *= 0.5 + 0.5 * std::cos(std::numbers::pi * x);
    }
    // The mean is taken out under a Hann window, which keeps the zeros at the
    // ends and lies far below the drum's lowest mode.
    double sum = 0.0, weights = 0.0;
    std::vector<double> window(frames);
    for (std::size_t n = 0; n < frames; ++n) {
        window[n] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(n) /
                                         static_cast<double>(frames - 1));
        sum += signal[n];
        weights += window[n];
    }
    double loudest = 0.0;
    for (std::size_t n = 0; n < frames; ++n) {
        signal[n] -= sum / weights * window[n];
        loudest = std::max(loudest, std::abs(signal[n]));
    }
    if (loudest == 0.0)
        return out;
    const double scale = 32767.0 * std::pow(10.0, peakDbfs / 20.0) / loudest;
    for (std::size_t n = 1; n + 1 < frames; ++n) {
        const double value = std::floor(signal[n] * scale + 0.5);
        out[n] = static_cast<std::int16_t>(std::clamp(value, -32768.0, 32767.0));
    }
    return out;
}

// The row's cut of one file, with its layer added.
bool CutSource(const KitRow& row, const std::filesystem::path& samplesDir, bool withLayer,
               Recording& cut, std::string& error) {
    Recording whole;
    if (!ReadRecording(SourcePath(samplesDir, row.source), whole, error))
        return false;
    const auto at = [&](double ms) {
        return std::min(whole.samples.size(),
                        static_cast<std::size_t>(std::llround(ms * whole.rate / 1000.0)));
    };
    const std::size_t begin = at(row.startMs), end = at(row.endMs);
    if (end <= begin + 2 * kFadeInFrames) {
        error = "stroke " + std::to_string(row.id) + ": nothing between start and end";
        return false;
    }
    cut.rate = whole.rate;
    cut.samples.assign(whole.samples.begin() + static_cast<std::ptrdiff_t>(begin),
                       whole.samples.begin() + static_cast<std::ptrdiff_t>(end));
    if (withLayer && !row.layer.empty()) {
        Recording layer;
        if (!ReadRecording(SourcePath(samplesDir, row.layer), layer, error))
            return false;
        if (layer.rate != whole.rate) {
            error = "stroke " + std::to_string(row.id) + ": the layer's rate differs";
            return false;
        }
        const auto offset =
            static_cast<std::size_t>(std::llround(row.layerOffsetMs * whole.rate / 1000.0));
        const auto gain = static_cast<float>(std::pow(10.0, row.layerDb / 20.0));
        for (std::size_t n = offset; n < cut.samples.size(); ++n) {
            const std::size_t from = n - offset;
            if (from >= layer.samples.size())
                break;
            cut.samples[n] += gain * layer.samples[from];
        }
    }
    return true;
}

} // namespace

bool ReadKitTable(const std::filesystem::path& file, std::vector<KitRow>& rows,
                  std::string& error) {
    std::ifstream in(file);
    if (!in) {
        error = "cannot open " + file.string();
        return false;
    }
    std::map<std::string, double> shifts;
    rows.assign(kStrokeCount, KitRow{});
    std::vector<bool> seen(kStrokeCount, false);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.empty() || line[0] == '#')
            continue;
        const std::vector<std::string> f = SplitTabs(line);
        const std::string where = file.filename().string() + ":" + std::to_string(number) + ": ";
        if (f[0] == "shift") {
            double value = 0.0;
            if (f.size() != 3 || !ParseNumber(f[2], value)) {
                error = where + "expected: shift NAME SEMITONES";
                return false;
            }
            shifts[f[1]] = value;
            continue;
        }
        if (f.size() != 10) {
            error = where + "expected 10 tab-separated fields";
            return false;
        }
        double id = 0.0;
        if (!ParseNumber(f[0], id) || id < 0 || id >= kStrokeCount || id != std::floor(id)) {
            error = where + "no sound id from 0 to 29";
            return false;
        }
        KitRow row;
        row.id = static_cast<int>(id);
        row.name = f[1];
        row.source = f[2];
        std::vector<double> v;
        if (!ParseNumber(f[3], row.startMs) || !ParseNumber(f[4], row.endMs) ||
            row.endMs <= row.startMs) {
            error = where + "start and end are milliseconds, start before end";
            return false;
        }
        if (f[5] == "drone") {
            row.tuneToDrone = true;
        } else if (const auto shift = shifts.find(f[5]); shift != shifts.end()) {
            row.shiftName = f[5];
            row.retune = shift->second;
        } else if (!ParseNumber(f[5], row.retune)) {
            error = where + "the retune is semitones or the name of a shift";
            return false;
        }
        if (f[6] != "-") {
            if (!ParseNumbers(f[6], "@-", v) || v[2] <= v[1]) {
                error = where + "the glide is SEMITONES@FROM-TO (milliseconds)";
                return false;
            }
            row.glideSemitones = v[0];
            row.glideStartMs = v[1];
            row.glideEndMs = v[2];
        }
        if (f[7] != "-") {
            if (!ParseNumbers(f[7], "/", v) || v[1] <= 0.0) {
                error = where + "the damping is FROM/TAU (milliseconds)";
                return false;
            }
            row.dampFromMs = v[0];
            row.dampTauMs = v[1];
        }
        if (f[8] != "-") {
            const std::size_t at = f[8].find('@');
            if (at == std::string::npos || at == 0 || !ParseNumbers(f[8].substr(at + 1), ":", v)) {
                error = where + "the layer is FILE@OFFSET:DB";
                return false;
            }
            row.layer = f[8].substr(0, at);
            row.layerOffsetMs = v[0];
            row.layerDb = v[1];
        }
        if (!ParseNumber(f[9], row.peakDbfs) || row.peakDbfs > 0.0) {
            error = where + "the peak is dBFS, at most 0";
            return false;
        }
        if (seen[static_cast<std::size_t>(row.id)]) {
            error = where + "a second row for sound " + std::to_string(row.id);
            return false;
        }
        seen[static_cast<std::size_t>(row.id)] = true;
        rows[static_cast<std::size_t>(row.id)] = row;
    }
    for (int id = 0; id < kStrokeCount; ++id) {
        if (!seen[static_cast<std::size_t>(id)]) {
            error = file.filename().string() + ": no row for sound " + std::to_string(id);
            return false;
        }
    }
    return true;
}

bool ReadRecording(const std::filesystem::path& file, Recording& recording, std::string& error) {
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndFileCloser> handle(sf_open(file.c_str(), SFM_READ, &info));
    if (!handle || info.channels <= 0 || info.samplerate <= 0) {
        error = "cannot read " + file.string() + ": " + sf_strerror(handle.get());
        return false;
    }
    std::vector<float> frames(static_cast<std::size_t>(info.frames * info.channels));
    if (sf_readf_float(handle.get(), frames.data(), info.frames) != info.frames) {
        error = "cannot read " + file.string() + ": " + sf_strerror(handle.get());
        return false;
    }
    const auto channels = static_cast<std::size_t>(info.channels);
    recording.rate = info.samplerate;
    recording.samples.assign(static_cast<std::size_t>(info.frames), 0.0f);
    for (std::size_t n = 0; n < recording.samples.size(); ++n) {
        float sum = 0.0f;
        for (std::size_t c = 0; c < channels; ++c)
            sum += frames[n * channels + c];
        recording.samples[n] = sum / static_cast<float>(channels);
    }
    return true;
}

std::vector<double> Resample(const Recording& in, double semitones, double glideSemitones,
                             double glideStart, double glideEnd) {
    // The converter runs in small steps so that the ratio can follow the glide;
    // libsamplerate moves smoothly from one step's ratio to the next.
    constexpr long kStep = 64;
    const double base = kRate / in.rate;
    auto ratioAt = [&](double t) {
        const double shift = semitones + glideSemitones * Smoothstep(t, glideStart, glideEnd);
        return base / std::pow(2.0, shift / 12.0);
    };
    int status = 0;
    std::unique_ptr<SRC_STATE, SRC_STATE* (*)(SRC_STATE*)> state(
        src_new(SRC_SINC_BEST_QUALITY, 1, &status), src_delete);
    std::vector<double> out;
    if (!state)
        return out;
    src_set_ratio(state.get(), ratioAt(0.0));
    std::vector<float> chunk(static_cast<std::size_t>(kStep) * 8);
    std::size_t consumed = 0;
    while (true) {
        SRC_DATA data{};
        const std::size_t left = in.samples.size() - consumed;
        data.data_in = in.samples.data() + consumed;
        data.input_frames = static_cast<long>(std::min<std::size_t>(left, kStep));
        data.end_of_input = left <= static_cast<std::size_t>(kStep) ? 1 : 0;
        data.data_out = chunk.data();
        data.output_frames = kStep;
        data.src_ratio = ratioAt(static_cast<double>(out.size()) / kRate);
        if (src_process(state.get(), &data) != 0)
            break;
        consumed += static_cast<std::size_t>(data.input_frames_used);
        out.insert(out.end(), chunk.begin(), chunk.begin() + data.output_frames_gen);
        if (data.end_of_input && data.output_frames_gen == 0)
            break;
    }
    return out;
}

namespace {

// The cut resampled at a retune, damped and finished.
bool DeriveCut(const KitRow& row, const Recording& cut, double semitones,
               std::vector<std::int16_t>& stroke);

} // namespace

bool DeriveStroke(const KitRow& row, const std::filesystem::path& samplesDir,
                  std::vector<std::int16_t>& stroke, std::string& error, double* retune) {
    if (row.source == "-") {
        stroke.assign(10, 0);
        return true;
    }
    Recording cut;
    if (!CutSource(row, samplesDir, true, cut, error))
        return false;
    if (!row.tuneToDrone) {
        if (retune)
            *retune = row.retune;
        return DeriveCut(row, cut, row.retune, stroke);
    }
    // The whole stroke is resampled, so the partial moves by the retune
    // exactly; a second pass takes up what the damping and the cut's ends
    // moved in the measurement.
    double semitones = 0.0;
    for (int pass = 0; pass < 3; ++pass) {
        DeriveCut(row, cut, semitones, stroke);
        const double hz = test::RingingPartial(stroke);
        if (hz <= 0.0)
            break;
        semitones -= test::CentsFromDrone(hz) / 100.0;
    }
    DeriveCut(row, cut, semitones, stroke);
    if (retune)
        *retune = semitones;
    return true;
}

namespace {

bool DeriveCut(const KitRow& row, const Recording& cut, double semitones,
               std::vector<std::int16_t>& stroke) {
    std::vector<double> signal = Resample(cut, semitones, row.glideSemitones,
                                          row.glideStartMs / 1000.0, row.glideEndMs / 1000.0);
    if (row.dampTauMs > 0.0) {
        const double from = row.dampFromMs / 1000.0, tau = row.dampTauMs / 1000.0;
        for (std::size_t n = 0; n < signal.size(); ++n) {
            const double t = static_cast<double>(n) / kRate;
            if (t > from)
                signal[n] *= std::exp(-(t - from) / tau);
        }
    }
    stroke = Finish(std::move(signal), row.peakDbfs);
    return true;
}

} // namespace

bool SourceStroke(const KitRow& row, const std::filesystem::path& samplesDir,
                  std::vector<std::int16_t>& stroke, std::string& error) {
    if (row.source == "-") {
        stroke.assign(10, 0);
        return true;
    }
    Recording cut;
    if (!CutSource(row, samplesDir, false, cut, error))
        return false;
    stroke = Finish(Resample(cut, 0.0), row.peakDbfs);
    return true;
}

} // namespace lorvanta::strokekit
