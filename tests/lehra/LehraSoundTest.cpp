// The lehra as the synthesiser sounds it, at the program's rate and played
// at the pitch bar's shifted rate: each note's onset on its place of the beat
// grid and each held note's pitch on its swara above Sa (C#4 at no shift), at
// a slow and a fast tempo and three pitches; the loop joins without a click.
// Pitch is measured from the spectrum, not as the synth measures its keys,
// so that a fault in the synth's own measure shows. The SoundFont takes
// seconds to load, so one synth serves every case.
#include "audio/AudioStatus.h"
#include "audio/WaveFormat.h"
#include "common/StrokeAnalysis.h"
#include "lehra/LehraLibrary.h"
#include "lehra/LehraSynth.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>
#include <string>

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

// Where a note is heard to start, against `expected`, in seconds at the
// ring's rate: the first sample from 20 ms before `expected` on that rises
// above a twentieth of the peak of the note's first tenth of a second, a
// swelling bowed or blown note as an ear takes its start. Those spans are
// the loop's own samples at the synth's rate, which a pitch shift stretches
// as it stretches the sound.
double OnsetError(const std::vector<std::int16_t>& x, double expected, double rate) {
    const auto from = static_cast<std::size_t>(std::max(0.0, expected - 0.02 * kSampleRate));
    const auto to = std::min(x.size(), static_cast<std::size_t>(expected + 0.1 * kSampleRate));
    int peak = 0;
    for (auto i = static_cast<std::size_t>(expected); i < to; ++i)
        peak = std::max(peak, std::abs(static_cast<int>(x[i])));
    for (std::size_t i = from; i < to; ++i) {
        if (std::abs(static_cast<int>(x[i])) > peak / 20)
            return (static_cast<double>(i) - expected) / rate;
    }
    return 1.0;
}

// The pitch a listener hears in x[first, last): the mean frequency of the
// fundamental, each frequency weighted by its power, from the Hann-windowed
// spectrum (padded fourfold with zeros) within a semitone and a half of
// `nominal` Hz. A vibrato centred on the note counts at its centre, as do
// two strings of a course that beat; a note that dies away only widens the
// peak.
double HeldPitch(const std::vector<std::int16_t>& x, std::size_t first, std::size_t last,
                 double rate, double nominal) {
    const std::size_t n = last - first;
    std::size_t size = 1;
    while (size < 4 * n)
        size <<= 1;
    std::vector<std::complex<double>> spectrum(size);
    for (std::size_t i = 0; i < n; ++i) {
        const double hann = 0.5 - 0.5 * std::cos(2.0 * M_PI * (i + 0.5) / n);
        spectrum[i] = x[first + i] * hann;
    }
    Fft(spectrum);
    const double binHz = rate / static_cast<double>(size);
    const auto low = static_cast<std::size_t>(nominal * std::pow(2.0, -150.0 / 1200.0) / binHz);
    const auto high = static_cast<std::size_t>(nominal * std::pow(2.0, 150.0 / 1200.0) / binHz);
    double power = 0.0, moment = 0.0;
    for (std::size_t bin = low; bin <= high; ++bin) {
        const double p = std::norm(spectrum[bin]);
        power += p;
        moment += p * static_cast<double>(bin) * binHz;
    }
    return power > 0.0 ? moment / power : 0.0;
}

// The measure itself, on tones of known frequency between C#3 and C#5: a
// sine, a harmonic tone of eight partials with a strong second, dying away
// as a struck string does, two such strings 9 cents either side of the note
// (a course that beats), and a tone with a vibrato of 25 cents centred on
// its note; over windows of a short note at a fast tempo and of a long one,
// and asked from a nominal note 40 cents away, as a detuned voice would be.
TEST(LehraSoundTest, TheHeldPitchMeasureIsTrueToACent) {
    constexpr double kRate = 48000.0;
    struct Tone {
        const char* what;
        double hz;
        double seconds;
        int partials;
        double decayPerSecond;
        double beatCents;
        double vibratoCents;
    };
    const Tone tones[] = {
        {"sine", 138.91, 0.16, 1, 0.0, 0.0, 0.0},
        {"sine", 311.7, 0.3, 1, 0.0, 0.0, 0.0},
        {"harmonic", 277.18 * std::pow(2.0, 3.3 / 1200.0), 0.16, 8, 0.0, 0.0, 0.0},
        {"dying", 415.3 * std::pow(2.0, -7.1 / 1200.0), 0.25, 8, 4.0, 0.0, 0.0},
        {"dying", 554.37, 1.0, 8, 3.0, 0.0, 0.0},
        {"beating strings", 233.08, 0.2, 8, 3.0, 9.0, 0.0},
        {"beating strings", 311.13 * std::pow(2.0, 2.2 / 1200.0), 1.2, 8, 2.0, 9.0, 0.0},
        {"vibrato", 233.08 * std::pow(2.0, 1.7 / 1200.0), 1.0, 4, 0.0, 0.0, 25.0}};
    for (const Tone& tone : tones) {
        const auto n = static_cast<std::size_t>(tone.seconds * kRate);
        std::vector<std::int16_t> x(n);
        std::vector<double> phases{0.3, 1.1};
        const int strings = tone.beatCents > 0.0 ? 2 : 1;
        for (std::size_t i = 0; i < n; ++i) {
            const double t = static_cast<double>(i) / kRate;
            // The vibrato swings five times a second.
            const double vibrato = tone.vibratoCents * std::sin(2.0 * M_PI * 5.0 * t);
            double value = 0.0;
            for (int string = 0; string < strings; ++string) {
                const double cents = vibrato + (string == 0 ? 1.0 : -1.0) * tone.beatCents;
                phases[string] += 2.0 * M_PI * tone.hz * std::pow(2.0, cents / 1200.0) / kRate;
                for (int k = 1; k <= tone.partials; ++k)
                    value += (k == 2 ? 0.9 : 1.0 / k) * std::sin(k * phases[string] + 0.7 * k);
            }
            x[i] = static_cast<std::int16_t>(
                std::lrint(5000.0 * std::exp(-tone.decayPerSecond * t) * value));
        }
        const double nominal = tone.hz * std::pow(2.0, 40.0 / 1200.0);
        const double cents = 1200.0 * std::log2(HeldPitch(x, 0, n, kRate, nominal) / tone.hz);
        EXPECT_LT(std::abs(cents), 0.5) << tone.what << " at " << tone.hz << " Hz";
    }
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

// Every voice, at a slow and a fast tempo and at three pitches: each note
// heard within 5 ms of its place and each held note within 5 cents of its
// swara.
TEST(LehraSoundTest, OnsetsOnTheBeatGridAndHeldNotesInTuneAtEveryTempoAndPitch) {
    const LehraParse probe = ParseLehra(kProbe);
    ASSERT_TRUE(probe.lehra);
    std::printf("instrument  bpm  pitch  worst onset (ms)  worst pitch (cents)\n");
    for (const LehraInstrument instrument : {LehraInstrument::Harmonium, LehraInstrument::Santoor,
                                             LehraInstrument::Sarangi, LehraInstrument::Bansuri}) {
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
                    // Held: from the attack's end (a tenth of a second of
                    // the loop, or a third of a shorter note) to the note's
                    // end.
                    const double held = note.length * perBeat;
                    const auto first =
                        static_cast<std::size_t>(at + std::min(0.1 * kSampleRate, held / 3));
                    const auto last = static_cast<std::size_t>(at + held);
                    const double heard = HeldPitch(loop, first, last, rate, expected);
                    cents = std::max(cents, std::abs(1200.0 * std::log2(heard / expected)));
                }
                std::printf("%-10s  %3.0f  %+d     %5.2f             %5.2f\n",
                            LehraInstrumentName(instrument), bpm, shift, onsetMs, cents);
                const std::string where = std::string(LehraInstrumentName(instrument)) + " at " +
                                          std::to_string(static_cast<int>(bpm)) + " bpm, pitch " +
                                          std::to_string(shift);
                EXPECT_LT(onsetMs, 5.0) << where;
                EXPECT_LT(cents, 5.0) << where;
            }
        }
    }
}

// A santoor's strings ring on for seconds under the notes after them; a
// note's own pitch can be told from theirs when the two before it are a
// minor third or more away, or began a second or more before it.
bool StandsClear(const Lehra& lehra, std::size_t i, double secondsPerBeat) {
    const std::size_t count = lehra.notes.size();
    for (std::size_t back = 1; back <= 2 && back < count; ++back) {
        // The loop repeats: the first notes follow the last ones.
        const std::size_t j = (i + count - back) % count;
        const LehraNote& before = lehra.notes[j];
        const double since = lehra.notes[i].start - before.start + (j > i ? lehra.beats : 0);
        const bool near = std::abs(before.semitones - lehra.notes[i].semitones) < 3;
        if (near && since * secondsPerBeat < 1.0)
            return false;
    }
    return true;
}

// A bundled lehra of each voice, its notes one after another as a melody
// runs: each note held for a beat or more that stands clear of the ones
// before it sounds its swara within 5 cents,
// at a slow and a fast tempo and three pitches. (Where a note starts is
// checked on the probe above, whose notes stand apart: here the one before
// still dies away.)
TEST(LehraSoundTest, TheBundledMelodiesHoldTheirSwaras) {
    const LehraLibrary library = LehraLibrary::Load({LORVANTA_SOURCE_DIR "/Lehras"});
    std::printf("lehra (instrument)               bpm  pitch  notes  worst pitch (cents)\n");
    for (const char* name :
         {"Des in Dadra", "Malkauns in Teentaal", "Kirwani in Jhaptaal", "Bhupali in Keherwa"}) {
        const LehraEntry* entry = library.Find(name);
        ASSERT_TRUE(entry) << name;
        const Lehra& lehra = entry->lehra;
        for (const double bpm : {60.0, 240.0}) {
            for (const int shift : {0, 3, -4}) {
                const auto factor = static_cast<float>(std::pow(2.0, shift / 12.0));
                const double rate = TruncateToU32(factor * static_cast<float>(kSampleRate));
                const double perBeat = 60.0 / bpm * rate;
                const auto loop = Synth().Render(lehra, lehra.instrument,
                                                 static_cast<std::size_t>(lehra.beats * perBeat));
                double cents = 0.0;
                int held = 0;
                for (std::size_t i = 0; i < lehra.notes.size(); ++i) {
                    const LehraNote& note = lehra.notes[i];
                    if (note.length < 1.0 || (lehra.instrument == LehraInstrument::Santoor &&
                                              !StandsClear(lehra, i, perBeat / rate)))
                        continue;
                    ++held;
                    const double at = note.start * perBeat;
                    const double length = note.length * perBeat;
                    const double expected =
                        440.0 * std::pow(2.0, (kSaMidiNote + note.semitones + shift - 69) / 12.0);
                    const auto first =
                        static_cast<std::size_t>(at + std::min(0.1 * kSampleRate, length / 3));
                    const double heard = HeldPitch(
                        loop, first, static_cast<std::size_t>(at + length), rate, expected);
                    cents = std::max(cents, std::abs(1200.0 * std::log2(heard / expected)));
                }
                std::printf("%-22s (%-8s)  %3.0f  %+d     %2d     %5.2f\n", name,
                            LehraInstrumentName(lehra.instrument), bpm, shift, held, cents);
                EXPECT_GT(held, 0) << name;
                EXPECT_LT(cents, 5.0) << name << " at " << bpm << " bpm, pitch " << shift;
            }
        }
    }
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
    ASSERT_TRUE(session.WaitForLehra()) << (sink.Messages().empty() ? "" : sink.Messages()[0].text);
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
