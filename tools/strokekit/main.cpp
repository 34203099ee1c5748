// lorvanta-strokekit: derives the recorded kit's 30 strokes from single tabla
// recordings, as a table in the repository says, and writes them as a C++
// source embedding them (--cpp FILE) and/or as WAV files (--wav-dir DIR).
// --measure prints, per stroke, the decay, brightness, dominant mode and pitch
// of the derived stroke, of its source and of a synthesised stroke from
// --synth-dir (DIR/<id>.wav).

#include "../common/Embed.h"
#include "Kit.h"
#include "common/StrokeAnalysis.h"

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

namespace {

using namespace lorvanta;
using strokekit::KitRow;
using strokekit::kStrokeCount;

constexpr const char* kTool = "lorvanta-strokekit";
constexpr const char* kUsage =
    "usage: lorvanta-strokekit --kit TABLE [--samples DIR] [--cpp FILE] [--wav-dir DIR]\n"
    "                          [--measure [--synth-dir DIR]]\n";
constexpr double kTrebleHz = 277.18;

std::uint16_t ResourceId(int id) {
    return static_cast<std::uint16_t>(id == 0 ? 131 : 132 + id);
}

bool IsBassPitched(int id) {
    return (id >= 1 && id <= 6) || id == 8;
}
bool IsTreblePitched(int id) {
    return (id >= 12 && id <= 29) && id != 21 && id != 24;
}
// Closed strokes: their modes are buried in the strike, so no series is read.
bool IsClosed(int id) {
    return id == 15 || id == 16 || id == 17 || id == 19 || id == 25;
}
// The ringing treble strokes whose modes stand clear of the strike's noise:
// the ones the drum's tuning is read from.
constexpr std::array<int, 8> kTuningStrokes{12, 13, 14, 20, 26, 27, 28, 29};
constexpr int kOpenGe = 3;
constexpr double kBassHz = 103.83;

std::string Format(const char* pattern, double a, double b = 0.0) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

std::vector<std::int16_t> ReadWav(const std::filesystem::path& file) {
    SF_INFO info{};
    SNDFILE* handle = sf_open(file.c_str(), SFM_READ, &info);
    std::vector<std::int16_t> samples;
    if (handle == nullptr)
        return samples;
    if (info.channels == 1) {
        samples.resize(static_cast<std::size_t>(info.frames));
        sf_read_short(handle, samples.data(), info.frames);
    }
    sf_close(handle);
    return samples;
}

// The measurements of one stroke as table cells: decay, centroid, dominant
// mode, pitch.
std::array<std::string, 4> Measure(int id, const std::vector<std::int16_t>& x) {
    if (x.size() < 64)
        return {"-", "-", "-", "-"};
    std::array<std::string, 4> cells;
    cells[0] = Format("%.0f", test::T20(x) * 1000.0);
    cells[1] = Format("%.0f", test::AttackCentroid(x));
    if (IsTreblePitched(id)) {
        const test::ModeSeries series = test::UpperModeSeries(x);
        const double dominant = test::DominantMode(x, 200.0, 1500.0);
        const double k = dominant / series.f0;
        if (std::abs(k - std::round(k)) < 0.08)
            cells[2] = Format("h%.0f %.0f", std::round(k), dominant);
        else
            cells[2] = Format("%.0f (%.2f f0)", dominant, k);
        if (x.size() < 4096 || IsClosed(id))
            cells[3] = "-";
        else
            cells[3] = Format("%.1f (%+.0f c)", series.f0, test::Cents(series.f0, kTrebleHz));
    } else {
        cells[2] = Format("%.0f", test::DominantMode(x, 50.0, 1500.0));
        if (IsBassPitched(id)) {
            const double seconds = static_cast<double>(x.size()) / test::kRate;
            const double early = test::Pitch(x, 0.01, 0.07);
            const double late = seconds >= 0.62  ? test::Pitch(x, 0.3, 0.6)
                                : seconds >= 0.2 ? test::Pitch(x, 0.1, 0.18)
                                                 : 0.0;
            cells[3] = late > 0.0 ? Format("%.1f → %.1f", early, late) : Format("%.1f", early);
        } else {
            cells[3] = "-";
        }
    }
    return cells;
}

std::string Derivation(const KitRow& row) {
    if (row.source == "-")
        return "10 zero samples";
    std::string text = row.source + " " + Format("%.0f–%.0f ms", row.startMs, row.endMs);
    if (row.tuneToDrone)
        text += ", tuned to the drone";
    else if (!row.shiftName.empty())
        text += ", " + row.shiftName + Format(" shift %+.2f st", row.retune);
    else if (row.retune != 0.0)
        text += Format(", %+.2f st", row.retune);
    if (row.glideSemitones != 0.0)
        text += Format(", glide %+.1f st", row.glideSemitones) +
                Format(" %.0f–%.0f ms", row.glideStartMs, row.glideEndMs);
    if (row.dampTauMs > 0.0)
        text += Format(", damped τ %.0f ms from %.0f ms", row.dampTauMs, row.dampFromMs);
    if (!row.layer.empty())
        text += ", + " + row.layer + Format(" at %.0f ms %+.0f dB", row.layerOffsetMs, row.layerDb);
    text += Format(", peak %.0f dBFS", row.peakDbfs);
    return text;
}

void PrintTable(const std::vector<KitRow>& rows, const std::vector<std::vector<std::int16_t>>& kit,
                const std::filesystem::path& samplesDir, const std::filesystem::path& synthDir) {
    std::cout << "| id | stroke | source and derivation | T20 ms kit / source / synth "
                 "| centroid Hz kit / source / synth | dominant mode kit / source / synth "
                 "| pitch Hz kit / source / synth |\n|---|---|---|---|---|---|---|\n";
    for (const KitRow& row : rows) {
        if (row.id == 0)
            continue;
        std::vector<std::int16_t> source;
        std::string error;
        strokekit::SourceStroke(row, samplesDir, source, error);
        std::vector<std::int16_t> synth;
        if (!synthDir.empty())
            synth = ReadWav(synthDir / (std::to_string(row.id) + ".wav"));
        const auto a = Measure(row.id, kit[static_cast<std::size_t>(row.id)]);
        const auto b = Measure(row.id, source);
        const auto c = Measure(row.id, synth);
        std::cout << "| " << row.id << " | " << row.name << " | " << Derivation(row);
        for (std::size_t k = 0; k < 4; ++k)
            std::cout << " | " << a[k] << " / " << b[k] << " / " << c[k];
        std::cout << " |\n";
    }

    // The drum tunings the retunes aim at.
    std::vector<double> series;
    for (int id : kTuningStrokes)
        series.push_back(test::UpperModeSeries(kit[static_cast<std::size_t>(id)]).f0);
    std::sort(series.begin(), series.end());
    const double median = 0.5 * (series[series.size() / 2 - 1] + series[series.size() / 2]);
    std::cout << "\nTreble series (median of strokes";
    for (int id : kTuningStrokes)
        std::cout << " " << id;
    std::cout << Format("): %.2f Hz, %+.1f cents from C#4", median, test::Cents(median, kTrebleHz))
              << Format(" (strokes from %+.1f to %+.1f cents)\n",
                        test::Cents(series.front(), kTrebleHz),
                        test::Cents(series.back(), kTrebleHz));
    std::cout << "\nStrongest ringing partial (50-300 ms after the attack), kit / source:\n";
    for (int id : kTuningStrokes) {
        const KitRow& row = rows[static_cast<std::size_t>(id)];
        std::vector<std::int16_t> source;
        std::string error;
        strokekit::SourceStroke(row, samplesDir, source, error);
        const double kitHz = test::RingingPartial(kit[static_cast<std::size_t>(id)]);
        const double sourceHz = test::RingingPartial(source);
        std::cout << "  " << id << " " << row.name << ": "
                  << Format("%.1f Hz %+.1f cents", kitHz, test::CentsFromDrone(kitHz)) << " / "
                  << Format("%.1f Hz %+.1f cents", sourceHz, test::CentsFromDrone(sourceHz))
                  << "\n";
    }
    const double open = test::Pitch(kit[kOpenGe], 0.3, 1.0);
    std::cout << Format("Open Ge settled (0.3-1.0 s): %.2f Hz, %+.1f cents from G#2\n", open,
                        test::Cents(open, kBassHz));
}

} // namespace

int main(int argc, char** argv) {
    std::filesystem::path table, samplesDir = "/usr/share/sonic-pi/samples", cppFile, wavDir,
                                 synthDir;
    bool measure = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--kit" || arg == "--samples" || arg == "--cpp" || arg == "--wav-dir" ||
             arg == "--synth-dir") &&
            i + 1 < argc) {
            (arg == "--kit"       ? table
             : arg == "--samples" ? samplesDir
             : arg == "--cpp"     ? cppFile
             : arg == "--wav-dir" ? wavDir
                                  : synthDir) = argv[++i];
        } else if (arg == "--measure") {
            measure = true;
        } else if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else {
            std::cerr << kTool << ": unexpected argument '" << arg << "'\n" << kUsage;
            return 2;
        }
    }
    if (table.empty() || (cppFile.empty() && wavDir.empty() && !measure)) {
        std::cerr << kUsage;
        return 2;
    }

    std::vector<KitRow> rows;
    std::string error;
    if (!strokekit::ReadKitTable(table, rows, error)) {
        std::cerr << kTool << ": " << error << "\n";
        return 1;
    }
    std::vector<std::vector<std::int16_t>> strokes(kStrokeCount);
    std::vector<std::vector<unsigned char>> images;
    for (const KitRow& row : rows) {
        auto& stroke = strokes[static_cast<std::size_t>(row.id)];
        if (!strokekit::DeriveStroke(row, samplesDir, stroke, error)) {
            std::cerr << kTool << ": " << error << "\n";
            return 1;
        }
        images.push_back(tools::WavImage(stroke));
    }

    if (!wavDir.empty()) {
        std::error_code failure;
        std::filesystem::create_directories(wavDir, failure);
        for (int id = 0; id < kStrokeCount; ++id) {
            const auto& image = images[static_cast<std::size_t>(id)];
            if (!tools::WriteFileAtomically(wavDir / (std::to_string(id) + ".wav"),
                                            std::string(image.begin(), image.end()), kTool))
                return 1;
        }
    }
    if (!cppFile.empty()) {
        std::vector<std::string> names;
        std::vector<std::uint16_t> resourceIds;
        for (const KitRow& row : rows) {
            names.push_back(row.name + (row.source == "-" ? "" : " (" + row.source + ")"));
            resourceIds.push_back(ResourceId(row.id));
        }
        std::error_code failure;
        if (cppFile.has_parent_path())
            std::filesystem::create_directories(cppFile.parent_path(), failure);
        if (!tools::WriteFileAtomically(
                cppFile, tools::EmbeddedSource(kTool, "RecordedWaves", images, names, resourceIds),
                kTool))
            return 1;
    }
    if (measure)
        PrintTable(rows, strokes, samplesDir, synthDir);
    return 0;
}
