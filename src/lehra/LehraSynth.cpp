#include "lehra/LehraSynth.h"

#include <fluidsynth.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <map>
#include <system_error>

namespace lorvanta {

namespace {

// How long the synth runs on past the lehra's end for the notes to die away.
constexpr double kTailSeconds = 1.5;
// Scales the synth's output so that a note sits near half of full scale; the
// voices differ in loudness, so each has its own share.
constexpr float kOutputGain = 2.5f;
float VoiceGain(LehraInstrument instrument) {
    switch (instrument) {
    case LehraInstrument::Harmonium:
        return 1.0f;
    case LehraInstrument::Santoor:
        return 2.0f;
    case LehraInstrument::Sarangi:
        return 1.4f;
    case LehraInstrument::Bansuri:
        return 0.8f;
    }
    return 1.0f;
}
constexpr int kVelocity = 100;

struct NoteEvent {
    std::size_t at = 0;
    bool on = false;
    int key = 0;
};

// The period in samples near `period`: the autocorrelation's peak at about
// six periods' lag, interpolated between samples, over x.
double PeriodNear(const std::vector<float>& x, double period) {
    const int k = std::max(1, static_cast<int>(450.0 / period));
    const auto low = static_cast<std::size_t>(k * period * 0.93);
    const auto high = static_cast<std::size_t>(k * period * 1.07) + 1;
    if (x.size() < 2 * high)
        return period;
    const std::size_t span = x.size() - high;
    auto correlation = [&](std::size_t lag) {
        double xy = 0, xx = 0, yy = 0;
        for (std::size_t i = 0; i < span; ++i) {
            const double a = x[i], b = x[i + lag];
            xy += a * b;
            xx += a * a;
            yy += b * b;
        }
        return xy / std::sqrt(xx * yy + 1e-12);
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
    const double bend = before - 2 * bestValue + after;
    const double shift = bend < 0.0 ? 0.5 * (before - after) / bend : 0.0;
    return (static_cast<double>(best) + shift) / k;
}

// How a voice sounds a key: how long after the note-on it is heard, and how
// far its recording is off equal temperament, in cents.
struct KeyVoicing {
    std::size_t lead = 0;
    double cents = 0.0;
};

} // namespace

struct LehraSynth::Fluid {
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    int font = -1;
    // Measured once per voice and key, when first used.
    std::map<std::pair<int, int>, KeyVoicing> voicings;

    ~Fluid() {
        if (synth)
            delete_fluid_synth(synth);
        if (settings)
            delete_fluid_settings(settings);
    }
};

int LehraProgram(LehraInstrument instrument) {
    switch (instrument) {
    case LehraInstrument::Harmonium:
        return 20; // reed organ
    case LehraInstrument::Santoor:
        return 15; // dulcimer
    case LehraInstrument::Sarangi:
        return 110; // fiddle
    case LehraInstrument::Bansuri:
        return 73; // flute
    }
    return 20;
}

std::filesystem::path LehraSynth::FindSoundFont() {
    if (const char* chosen = std::getenv("LORVANTA_SOUNDFONT"); chosen && *chosen)
        return chosen;
    std::error_code error;
    for (const char* candidate :
         {"/usr/share/sounds/sf3/MuseScore_General_Lite.sf3",
          "/usr/share/sounds/sf3/MuseScore_General.sf3", "/usr/share/sounds/sf3/default-GM.sf3",
          "/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2"}) {
        if (std::filesystem::is_regular_file(candidate, error))
            return candidate;
    }
    return {};
}

std::unique_ptr<LehraSynth> LehraSynth::Open(std::uint32_t sampleRate, std::string& problem) {
    const std::filesystem::path font = FindSoundFont();
    if (font.empty()) {
        problem = "no General MIDI SoundFont was found (install musescore-general-soundfont-small)";
        return nullptr;
    }
    // The synth's own complaints would go to the terminal; its status codes say enough.
    for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
        fluid_set_log_function(level, nullptr, nullptr);
    auto fluid = std::make_unique<Fluid>();
    fluid->settings = new_fluid_settings();
    if (fluid->settings == nullptr) {
        problem = "the synthesiser cannot be started";
        return nullptr;
    }
    fluid_settings_setnum(fluid->settings, "synth.sample-rate", static_cast<double>(sampleRate));
    fluid_settings_setint(fluid->settings, "synth.reverb.active", 0);
    fluid_settings_setint(fluid->settings, "synth.chorus.active", 0);
    fluid_settings_setint(fluid->settings, "synth.dynamic-sample-loading", 1);
    fluid_settings_setnum(fluid->settings, "synth.gain", 1.0);
    fluid->synth = new_fluid_synth(fluid->settings);
    if (fluid->synth == nullptr) {
        problem = "the synthesiser cannot be started";
        return nullptr;
    }
    fluid->font = fluid_synth_sfload(fluid->synth, font.c_str(), 1);
    if (fluid->font == FLUID_FAILED) {
        problem = "the SoundFont " + font.string() + " does not load";
        return nullptr;
    }
    return std::unique_ptr<LehraSynth>(new LehraSynth(std::move(fluid), sampleRate));
}

LehraSynth::LehraSynth(std::unique_ptr<Fluid> fluid, std::uint32_t sampleRate)
    : m_fluid(std::move(fluid)), m_sampleRate(sampleRate) {}

LehraSynth::~LehraSynth() = default;

// Ends every sound: what a reset leaves dying away is played out.
static void Silence(fluid_synth_t* synth, std::vector<float>& left, std::vector<float>& right) {
    fluid_synth_all_sounds_off(synth, -1);
    fluid_synth_system_reset(synth);
    for (int i = 0; i < 4; ++i)
        fluid_synth_write_float(synth, 2048, left.data(), 0, 1, right.data(), 0, 1);
}

// A voice's keys are measured once: the note sounded alone, its onset (5% of
// its peak) and its pitch over its steady part. The lehra is then played
// with the onset drawn forward and the key retuned by as much, so that
// every note starts on its place and sounds its swara.
static KeyVoicing MeasureKey(fluid_synth_t* synth, int font, int program, int key,
                             std::uint32_t sampleRate) {
    const auto count = static_cast<std::size_t>(0.6 * sampleRate);
    std::vector<float> left(count), right(count);
    Silence(synth, left, right);
    fluid_synth_program_select(synth, 0, font, 0, program);
    fluid_synth_noteon(synth, 0, key, kVelocity);
    fluid_synth_write_float(synth, static_cast<int>(count), left.data(), 0, 1, right.data(), 0, 1);
    fluid_synth_noteoff(synth, 0, key);
    std::vector<float> x(count);
    float peak = 0.0f; // over the attack, as an ear would take the onset
    for (std::size_t i = 0; i < count; ++i) {
        x[i] = left[i] + right[i];
        if (i < count / 5)
            peak = std::max(peak, std::abs(x[i]));
    }
    KeyVoicing voicing;
    if (!(peak > 0.0f))
        return voicing;
    while (voicing.lead < count / 4 && std::abs(x[voicing.lead]) <= peak / 20.0f)
        ++voicing.lead;
    const double expected = 440.0 * std::pow(2.0, (key - 69) / 12.0);
    const std::vector<float> steady(x.begin() + static_cast<std::ptrdiff_t>(count / 4),
                                    x.begin() + static_cast<std::ptrdiff_t>(count * 9 / 10));
    const double period = PeriodNear(steady, sampleRate / expected);
    const double cents = 1200.0 * std::log2(sampleRate / period / expected);
    // Beyond a quarter tone it is no detuning but another partial: leave it.
    voicing.cents = std::abs(cents) < 50.0 ? cents : 0.0;
    return voicing;
}

std::vector<std::int16_t> LehraSynth::Render(const Lehra& lehra, LehraInstrument instrument,
                                             std::size_t samples) {
    std::vector<std::int16_t> loop(samples, 0);
    if (samples == 0 || lehra.beats <= 0)
        return loop;
    fluid_synth_t* synth = m_fluid->synth;
    const int program = LehraProgram(instrument);
    std::array<double, 128> tuning{};
    for (std::size_t key = 0; key < tuning.size(); ++key)
        tuning[key] = 100.0 * static_cast<double>(key);
    const std::size_t tail = static_cast<std::size_t>(kTailSeconds * m_sampleRate);
    std::size_t lead = 0; // the longest onset: the whole rendering runs that far ahead
    for (const LehraNote& note : lehra.notes) {
        const int key = std::clamp(kSaMidiNote + note.semitones, 0, 127);
        auto found = m_fluid->voicings.find({program, key});
        if (found == m_fluid->voicings.end())
            found = m_fluid->voicings
                        .emplace(std::pair{program, key},
                                 MeasureKey(synth, m_fluid->font, program, key, m_sampleRate))
                        .first;
        tuning[static_cast<std::size_t>(key)] = 100.0 * key - found->second.cents;
        lead = std::max(lead, found->second.lead);
    }
    const std::size_t total = samples + tail + lead;
    std::vector<float> left(std::max<std::size_t>(total, 2048), 0.0f);
    std::vector<float> right(left.size(), 0.0f);
    Silence(synth, left, right);
    fluid_synth_program_select(synth, 0, m_fluid->font, 0, program);
    fluid_synth_activate_key_tuning(synth, 0, 0, "lehra", tuning.data(), 0);
    fluid_synth_activate_tuning(synth, 0, 0, 0, 0);

    const double perBeat = static_cast<double>(samples) / lehra.beats;
    // Each key's note-on comes as much before the rendering's `lead` as the
    // key takes to be heard.
    auto at = [&](double beat, int key) {
        const std::size_t own = m_fluid->voicings[{program, key}].lead;
        return static_cast<std::size_t>(std::llround(beat * perBeat)) + lead - own;
    };
    std::vector<NoteEvent> events;
    for (const LehraNote& note : lehra.notes) {
        const int key = std::clamp(kSaMidiNote + note.semitones, 0, 127);
        events.push_back({at(note.start, key), true, key});
        events.push_back({at(note.start + note.length, key), false, key});
    }
    // A note ends before the next one on the same key begins.
    std::ranges::stable_sort(events, [](const NoteEvent& a, const NoteEvent& b) {
        return a.at != b.at ? a.at < b.at : (!a.on && b.on);
    });

    std::fill(left.begin(), left.end(), 0.0f);
    std::fill(right.begin(), right.end(), 0.0f);
    std::size_t done = 0;
    auto runTo = [&](std::size_t until) {
        while (done < until) {
            const int count = static_cast<int>(std::min<std::size_t>(until - done, 4096));
            fluid_synth_write_float(synth, count, left.data() + done, 0, 1, right.data() + done, 0,
                                    1);
            done += static_cast<std::size_t>(count);
        }
    };
    for (const NoteEvent& event : events) {
        runTo(std::min(event.at, total));
        if (event.on)
            fluid_synth_noteon(synth, 0, event.key, kVelocity);
        else
            fluid_synth_noteoff(synth, 0, event.key);
    }
    runTo(total);
    fluid_synth_all_notes_off(synth, 0);

    std::vector<float> mono(samples, 0.0f);
    for (std::size_t i = 0; i < total; ++i)
        mono[(i + samples - lead % samples) % samples] += 0.5f * (left[i] + right[i]);
    const float gain = kOutputGain * VoiceGain(instrument) * 32767.0f;
    for (std::size_t i = 0; i < samples; ++i) {
        const float value = std::clamp(mono[i] * gain, -32768.0f, 32767.0f);
        loop[i] = static_cast<std::int16_t>(std::lrint(value));
    }
    return loop;
}

} // namespace lorvanta
