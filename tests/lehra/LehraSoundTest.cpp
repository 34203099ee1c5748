// The lehra as the synthesiser sounds it, at the program's rate and played
// at the pitch bar's shifted rate: each note's onset on its place of the beat
// grid and each held note's pitch on its swara above Sa (C#4 at no shift), at
// a slow and a fast tempo and three pitches; the loop joins without a click.
// The SoundFont takes seconds to load, so one synth serves every case.
#include "audio/AudioStatus.h"
#include "audio/WaveFormat.h"
#include "lehra/LehraLibrary.h"
#include "lehra/LehraSynth.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>

namespace lorvanta::test {
namespace {

// Notes apart from each other, on and off the beat: S at 0, G at 4, P at 8.5,
// .D at 12.75, each held one to two beats.
constexpr const char* kProbe = "name: Probe\nraag: none\nbeats: 16\nmelody:\n"
                               "S - _ _ G - _ _ _,P - _ _ _,_,_,.D - _ _\n";
struct ProbeNote {
    double beat;
    double length;
    int semitones;
};
constexpr ProbeNote kProbeNotes[] = {{0, 2, 0}, {4, 2, 4}, {8.5, 1.5, 7}, {12.75, 1.25, -3}};

// The first sample from 20 ms before `expected` on that rises above 5% of
// the note's peak.
double OnsetError(const std::vector<std::int16_t>& x, double expected, double rate) {
    const auto from = static_cast<std::size_t>(std::max(0.0, expected - 0.02 * rate));
    const auto to = std::min(x.size(), static_cast<std::size_t>(expected + 0.1 * rate));
    int peak = 0;
    for (std::size_t i = from; i < to; ++i)
        peak = std::max(peak, std::abs(static_cast<int>(x[i])));
    for (std::size_t i = from; i < to; ++i) {
        if (std::abs(static_cast<int>(x[i])) > peak / 20)
            return (static_cast<double>(i) - expected) / rate;
    }
    return 1.0;
}

// The period in samples near `period`, from the autocorrelation at about six
// periods' lag (interpolated between samples) over [first, last).
double MeasuredPeriod(const std::vector<std::int16_t>& x, std::size_t first, std::size_t last,
                      double period) {
    const int k = std::max(1, static_cast<int>(450.0 / period));
    const auto low = static_cast<std::size_t>(k * period * 0.93);
    const auto high = static_cast<std::size_t>(k * period * 1.07);
    const std::size_t span = last - first - high;
    auto correlation = [&](std::size_t lag) {
        double xy = 0, xx = 0, yy = 0;
        for (std::size_t i = first; i < first + span; ++i) {
            const double a = x[i], b = x[i + lag];
            xy += a * b;
            xx += a * a;
            yy += b * b;
        }
        return xy / std::sqrt(xx * yy + 1e-9);
    };
    std::size_t best = low;
    double bestValue = -2.0;
    for (std::size_t lag = low; lag <= high; ++lag) {
        if (const double value = correlation(lag); value > bestValue) {
            bestValue = value;
            best = lag;
        }
    }
    const double before = correlation(best - 1), after = correlation(best + 1);
    const double shift = 0.5 * (before - after) / (before - 2 * bestValue + after);
    return (static_cast<double>(best) + shift) / k;
}

LehraSynth& Synth() {
    static std::unique_ptr<LehraSynth> synth = [] {
        std::string problem;
        auto opened = LehraSynth::Open(kSampleRate, problem);
        EXPECT_TRUE(opened) << problem;
        return opened;
    }();
    return *synth;
}

TEST(LehraSoundTest, OnsetsOnTheBeatGridAndHeldNotesInTuneAtEveryTempoAndPitch) {
    const LehraParse probe = ParseLehra(kProbe);
    ASSERT_TRUE(probe.lehra);
    double worstOnset = 0.0, worstCents = 0.0;
    std::printf("bpm  pitch  instrument  worst onset (ms)  worst pitch (cents)\n");
    for (const LehraInstrument instrument :
         {LehraInstrument::Harmonium, LehraInstrument::Santoor, LehraInstrument::Bansuri}) {
        for (const double bpm : {60.0, 240.0}) {
            for (const int shift : {0, 3, -4}) {
                // As the renderer lays the image out and the ring plays it.
                const auto factor = static_cast<float>(std::pow(2.0, shift / 12.0));
                const double rate = TruncateToU32(factor * static_cast<float>(kSampleRate));
                const double perBeat = 60.0 / bpm * rate;
                const auto loop = Synth().Render(*probe.lehra, instrument,
                                                 static_cast<std::size_t>(16 * perBeat));
                double onsetMs = 0.0, cents = 0.0;
                for (const ProbeNote& note : kProbeNotes) {
                    const double at = note.beat * perBeat;
                    onsetMs = std::max(onsetMs, 1000.0 * std::abs(OnsetError(loop, at, rate)));
                    const double expected =
                        440.0 * std::pow(2.0, (kSaMidiNote + note.semitones + shift - 69) / 12.0);
                    // The synth sounds the note unshifted at its own rate;
                    // the ring's rate shifts it.
                    const double nominal = kSampleRate / (expected / std::pow(2.0, shift / 12.0));
                    const auto first = static_cast<std::size_t>(at + 0.35 * note.length * perBeat);
                    const auto last = static_cast<std::size_t>(at + 0.9 * note.length * perBeat);
                    const double period = MeasuredPeriod(loop, first, last, nominal);
                    const double heard = rate / period;
                    cents = std::max(cents, std::abs(1200.0 * std::log2(heard / expected)));
                }
                std::printf("%3.0f  %+d     %-10s  %5.2f             %5.2f\n", bpm, shift,
                            LehraInstrumentName(instrument), onsetMs, cents);
                worstOnset = std::max(worstOnset, onsetMs);
                // A santoor's note is struck and dies away, its partials a
                // little stretched: it has no held pitch to hold to 5 cents.
                if (instrument != LehraInstrument::Santoor)
                    worstCents = std::max(worstCents, cents);
            }
        }
    }
    EXPECT_LT(worstOnset, 5.0);
    EXPECT_LT(worstCents, 5.0);
}

// Every bundled lehra's loop, at a tempo where its notes overrun the loop's
// end: the step from its last sample to its first is no larger than the
// loop's own largest step.
TEST(LehraSoundTest, EveryBundledLoopJoinsWithoutAClick) {
    const LehraLibrary library = LehraLibrary::Load({LORVANTA_SOURCE_DIR "/Lehras"});
    ASSERT_FALSE(library.Lehras().empty());
    double longest = 0.0;
    for (const LehraEntry& entry : library.Lehras()) {
        const auto samples = static_cast<std::size_t>(entry.lehra.beats * 0.25 * kSampleRate);
        // Once to have the voice measured, then as a tempo change renders it.
        Synth().Render(entry.lehra, entry.lehra.instrument, samples / 2);
        const auto start = std::chrono::steady_clock::now();
        const auto loop = Synth().Render(entry.lehra, entry.lehra.instrument, samples);
        longest = std::max(
            longest,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        ASSERT_EQ(loop.size(), samples);
        int largest = 0;
        for (std::size_t i = 1; i < loop.size(); ++i)
            largest = std::max(largest, std::abs(loop[i] - loop[i - 1]));
        EXPECT_GT(largest, 100) << entry.file << ": it sounds";
        EXPECT_LE(std::abs(loop.front() - loop.back()), largest) << entry.file;
    }
    std::printf("longest render of a loop at 240 bpm: %.1f ms\n", longest * 1000.0);
}

} // namespace
} // namespace lorvanta::test

#include "audio/SampleBank.h"
#include "audio/TaalImage.h"
#include "audio/TaalRenderer.h"
#include "persistence/TaalFile.h"
#include "session/LorvantaSession.h"

namespace lorvanta::test {
namespace {

// The session keeps the lehra's loop as long as the image's cycle through a
// tempo and a pitch change, switches a lehra that no longer fits off with a
// note, and names a lehra it does not know.
TEST(LehraSessionTest, TheLoopFollowsTheCycleAndALehraThatNoLongerFitsIsSwitchedOff) {
    CSampleBank bank;
    RecordingMessageSink sink;
    CLorvantaSession session(bank, sink, {});
    ASSERT_FALSE(OpenTaalFile(session.Document(), LORVANTA_SOURCE_DIR "/Taals/Teentaal.tal", sink)
                     .structuralError);
    session.OnInitialUpdate();
    session.Renderer().BuildTaalImage();
    session.SetLehraLibrary(
        std::make_shared<LehraLibrary>(LehraLibrary::Load({LORVANTA_SOURCE_DIR "/Lehras"})));
    LehraSettings settings;
    settings.on = true;
    settings.instrument = LehraInstrument::Santoor;
    session.SetLehra(settings);
    ASSERT_TRUE(session.WaitForLehra())
        << (sink.Messages().empty() ? "" : sink.Messages()[0].text);
    ASSERT_TRUE(session.LehraChosen());
    EXPECT_NE(session.LehraChosen()->lehra.name.find("Teentaal"), std::string::npos);
    const auto cycle = [&] { return session.Renderer().Image().DataSize() / 2; };
    ASSERT_TRUE(session.LehraLoopInUse());
    EXPECT_EQ(session.LehraLoopInUse()->cycleSamples, cycle());
    EXPECT_EQ(session.LehraLoopInUse()->samples.size(), cycle());

    session.SetTempo(0.25f);
    session.Renderer().BuildTaalImage();
    session.SetPitch(1.5f); // rebuilt while stopped: the next Play syncs
    session.Renderer().BuildTaalImage();
    session.SetLehra(session.LehraChoice());
    session.WaitForLehra();
    EXPECT_EQ(session.LehraLoopInUse()->cycleSamples, cycle());

    // One bol less: 15 beats, which no Teentaal lehra fits.
    sink.Clear();
    session.Editor().Click(0, {});
    session.Editor().Delete();
    EXPECT_FALSE(session.LehraChoice().on);
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_NE(sink.Messages()[0].text.find("does not fit a Taal of 15 beats"), std::string::npos)
        << sink.Messages()[0].text;

    sink.Clear();
    session.Editor().Undo();
    settings.name = "Raag Unheard";
    session.SetLehra(settings);
    EXPECT_FALSE(session.LehraChoice().on);
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_NE(sink.Messages()[0].text.find("no lehra named \"Raag Unheard\""), std::string::npos);
}

} // namespace
} // namespace lorvanta::test
