#pragma once

// The recorded kit: 30 strokes derived from single tabla recordings by a table
// kept as data (recorded-kit.tsv). Each row names its source file, the part of
// it to use, a retune in semitones (a number, or a shift named once for a whole
// drum), an optional glide, damping and second layer, and the peak level.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace lorvanta::strokekit {

inline constexpr int kStrokeCount = 30;

struct KitRow {
    int id = 0;
    std::string name;
    std::string source; // file stem in the samples folder; "-" for the silence
    double startMs = 0.0;
    double endMs = 0.0;
    std::string shiftName; // the named shift the retune came from, if any
    double retune = 0.0;   // semitones
    // "drone" in place of the retune: the stroke is retuned on its own so that
    // its strongest ringing partial stands on C# or G#.
    bool tuneToDrone = false;
    // Glide: glideSemitones more by the end of glideStartMs..glideEndMs
    // (output time), along a smoothstep in log-frequency.
    double glideSemitones = 0.0;
    double glideStartMs = 0.0;
    double glideEndMs = 0.0;
    // Damping: an extra e^(-(t - dampFromMs) / dampTauMs) from dampFromMs on.
    double dampFromMs = 0.0;
    double dampTauMs = 0.0; // 0 for none
    // A second recording, from its own start, added layerOffsetMs into the cut
    // (source time), layerDb louder.
    std::string layer;
    double layerOffsetMs = 0.0;
    double layerDb = 0.0;
    double peakDbfs = -7.0;
};

// Reads the table; on failure `error` says which line and why.
bool ReadKitTable(const std::filesystem::path& file, std::vector<KitRow>& rows, std::string& error);

// A recording as mono samples at its own rate.
struct Recording {
    int rate = 0;
    std::vector<float> samples;
};
bool ReadRecording(const std::filesystem::path& file, Recording& recording, std::string& error);

// Resamples to 22050 Hz, raising the pitch by semitones(t) (t in output
// seconds) as it goes; the result is as long as the input takes.
std::vector<double> Resample(const Recording& in, double semitones, double glideSemitones = 0.0,
                             double glideStart = 0.0, double glideEnd = 0.0);

// The 16-bit samples of one stroke: cut, layered, retuned, damped, faded in
// and out to exact zeros, mean removed, peak scaled. A stroke tuned to the
// drone is derived, measured and derived again at the retune that moves its
// strongest ringing partial onto C# or G#; `retune`, if given, receives it.
bool DeriveStroke(const KitRow& row, const std::filesystem::path& samplesDir,
                  std::vector<std::int16_t>& stroke, std::string& error, double* retune = nullptr);

// The source as recorded, from the row's start to its end, at 22050 Hz with
// the same peak: what the derivation started from, for comparison.
bool SourceStroke(const KitRow& row, const std::filesystem::path& samplesDir,
                  std::vector<std::int16_t>& stroke, std::string& error);

} // namespace lorvanta::strokekit
