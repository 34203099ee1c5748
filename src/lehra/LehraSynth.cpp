#include "lehra/LehraSynth.h"

#include <fluidsynth.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <map>
#include <numbers>
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
// How long a key sounds to be measured; how long its attack is taken to last,
// its pitch counted from then on.
constexpr double kMeasureSeconds = 3.0;
constexpr double kAttackSeconds = 0.1;
// The synth renders in blocks of this many samples and takes a note-on at a
// block's start: events are placed on the nearest block, and every write is
// whole blocks so that the blocks stay aligned with the rendering.
constexpr std::size_t kBlock = 64;
std::size_t WholeBlocks(std::size_t samples) {
    return (samples + kBlock - 1) / kBlock * kBlock;
}

struct NoteEvent {
    std::size_t at = 0;
    bool on = false;
    int key = 0;
    double pitch = 0.0; // in cents, of a note-on
};

// How a voice sounds a key: how long after the note-on it is heard, and its
// fundamental through the note, turned down by the key's nominal frequency
// so that it sits near 0 Hz: its phase turns at the fundamental's offset
// from equal temperament, its magnitude is its loudness. One point every
// `step` samples from the note-on.
struct KeyVoicing {
    std::size_t lead = 0;
    std::size_t step = 1;
    double nominalRadians = 0.0; // the key's nominal frequency, per sample
    std::vector<std::complex<float>> fundamental;

    // The note's mean pitch over [from, to) samples after the note-on, in
    // cents off equal temperament: the fundamental's frequency averaged
    // with its power as weight, so that a vibrato counts at its centre and
    // the strings of a course that beat count at theirs.
    double CentsOver(std::size_t from, std::size_t to) const {
        const std::size_t first = from / step;
        const std::size_t last = std::min(to / step, fundamental.size());
        if (last < first + 3)
            return 0.0;
        // Through a Hann window, as a spectrum would see it: the middle of
        // the held part counts most, its ends fade in and out.
        const double width = static_cast<double>(last - first);
        auto windowed = [&](std::size_t i) {
            const double taper = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi *
                                                      static_cast<double>(i - first) / width);
            return taper * std::complex<double>(fundamental[i]);
        };
        std::complex<double> turn = 0.0;
        for (std::size_t i = first + 1; i < last; ++i)
            turn += windowed(i) * std::conj(windowed(i - 1));
        if (!(std::norm(turn) > 0.0))
            return 0.0;
        const double offset = std::arg(turn) / static_cast<double>(step);
        const double cents = 1200.0 * std::log2(1.0 + offset / nominalRadians);
        // Beyond a quarter tone it is no detuning but another partial: leave it.
        return std::abs(cents) < 50.0 ? cents : 0.0;
    }
};

// The fundamental of x near `nominal` Hz, as KeyVoicing keeps it: x is
// turned down by the nominal frequency and filtered by running means; what
// is left changes slowly and is kept every half period.
void KeepFundamental(const std::vector<float>& x, double nominal, double sampleRate,
                     KeyVoicing& voicing) {
    const double period = sampleRate / nominal;
    const auto span = static_cast<std::size_t>(std::lround(period));
    voicing.nominalRadians = 2.0 * std::numbers::pi / period;
    voicing.step = std::max<std::size_t>(1, span / 2);
    if (span < 2 || x.size() < 8 * span)
        return;
    std::vector<std::complex<double>> z(x.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        z[i] = static_cast<double>(x[i]) *
               std::polar(1.0, -voicing.nominalRadians * static_cast<double>(i));
    // Each running mean is centred on its point, so that the points stay
    // where they were measured. The first, one period long, nulls the
    // partials and the image; the two of six periods keep only what lies
    // within about a tone of the key, for a struck voice sounds other
    // strings and its body there too.
    for (const std::size_t length : {span, 6 * span, 6 * span}) {
        std::vector<std::complex<double>> mean(z.size());
        std::complex<double> sum = 0.0;
        for (std::size_t i = 0; i < z.size() + length / 2; ++i) {
            if (i < z.size())
                sum += z[i];
            if (i >= length)
                sum -= z[i - length];
            if (i >= length / 2)
                mean[i - length / 2] = sum / static_cast<double>(length);
        }
        z = std::move(mean);
    }
    for (std::size_t i = 0; i < z.size(); i += voicing.step)
        voicing.fundamental.emplace_back(z[i]);
}

// Ends every sound: what a reset leaves dying away is played out.
void Silence(fluid_synth_t* synth, std::vector<float>& left, std::vector<float>& right) {
    fluid_synth_all_sounds_off(synth, -1);
    fluid_synth_system_reset(synth);
    for (int i = 0; i < 4; ++i)
        fluid_synth_write_float(synth, 2048, left.data(), 0, 1, right.data(), 0, 1);
}

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
    // The first note a new synth sounds is heard a little later than every
    // one after it: one is sounded and let go before any key is measured.
    std::vector<float> left(2048), right(2048);
    fluid_synth_noteon(fluid->synth, 0, kSaMidiNote, kVelocity);
    fluid_synth_write_float(fluid->synth, 2048, left.data(), 0, 1, right.data(), 0, 1);
    Silence(fluid->synth, left, right);
    return std::unique_ptr<LehraSynth>(new LehraSynth(std::move(fluid), sampleRate));
}

LehraSynth::LehraSynth(std::unique_ptr<Fluid> fluid, std::uint32_t sampleRate)
    : m_fluid(std::move(fluid)), m_sampleRate(sampleRate) {}

LehraSynth::~LehraSynth() = default;

// A voice's keys are measured once: the note sounded alone, for long enough
// that a vibrato swings through several cycles. Its onset is where it first
// reaches a twentieth of the peak of its first tenth of a second, as an ear
// takes the start of a note that swells; its fundamental is kept for the
// notes' pitches. The lehra is then played with each onset drawn forward and
// each note retuned by its key's mean pitch over as long as it is held, so
// that every note starts on its place and sounds its swara.
static KeyVoicing MeasureKey(fluid_synth_t* synth, int font, int program, int key,
                             std::uint32_t sampleRate) {
    const std::size_t count = WholeBlocks(static_cast<std::size_t>(kMeasureSeconds * sampleRate));
    std::vector<float> left(count), right(count);
    Silence(synth, left, right);
    fluid_synth_deactivate_tuning(synth, 0, 0); // the key as the voice has it
    fluid_synth_program_select(synth, 0, font, 0, program);
    fluid_synth_noteon(synth, 0, key, kVelocity);
    fluid_synth_write_float(synth, static_cast<int>(count), left.data(), 0, 1, right.data(), 0, 1);
    fluid_synth_noteoff(synth, 0, key);
    std::vector<float> x(count);
    for (std::size_t i = 0; i < count; ++i)
        x[i] = left[i] + right[i];
    KeyVoicing voicing;
    const auto attack = static_cast<std::size_t>(kAttackSeconds * sampleRate);
    // The onset found from the first tenth of a second after the note-on,
    // then once more from the first tenth after that onset.
    for (int pass = 0; pass < 2; ++pass) {
        const auto from = x.begin() + static_cast<std::ptrdiff_t>(voicing.lead);
        const float peak = std::abs(
            *std::ranges::max_element(from, from + static_cast<std::ptrdiff_t>(attack),
                                      [](float a, float b) { return std::abs(a) < std::abs(b); }));
        if (!(peak > 0.0f))
            return voicing;
        voicing.lead = 0;
        while (voicing.lead < attack && std::abs(x[voicing.lead]) <= peak / 20.0f)
            ++voicing.lead;
    }
    KeepFundamental(x, 440.0 * std::pow(2.0, (key - 69) / 12.0), sampleRate, voicing);
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
        lead = std::max(lead, found->second.lead);
    }
    const std::size_t total = WholeBlocks(samples + tail + lead);
    std::vector<float> left(std::max<std::size_t>(total, 2048), 0.0f);
    std::vector<float> right(left.size(), 0.0f);
    Silence(synth, left, right);
    fluid_synth_program_select(synth, 0, m_fluid->font, 0, program);
    fluid_synth_activate_key_tuning(synth, 0, 0, "lehra", tuning.data(), 0);
    fluid_synth_activate_tuning(synth, 0, 0, 0, 0);

    const double perBeat = static_cast<double>(samples) / lehra.beats;
    const auto attack = static_cast<std::size_t>(kAttackSeconds * m_sampleRate);
    // Each key's note-on comes as much before the rendering's `lead` as the
    // key takes to be heard, on the nearest block.
    auto at = [&](double beat, const KeyVoicing& voicing) {
        const auto place = static_cast<std::size_t>(std::llround(beat * perBeat));
        return (place + lead - voicing.lead + kBlock / 2) / kBlock * kBlock;
    };
    std::vector<NoteEvent> events;
    for (const LehraNote& note : lehra.notes) {
        const int key = std::clamp(kSaMidiNote + note.semitones, 0, 127);
        const KeyVoicing& voicing = m_fluid->voicings[{program, key}];
        // The note's pitch as heard while it is held: after its attack, up
        // to its end.
        const auto held = static_cast<std::size_t>(note.length * perBeat);
        const double cents =
            voicing.CentsOver(voicing.lead + std::min(attack, held / 3), voicing.lead + held);
        // The synth turns a pitch into a frequency by whole cents, dropping
        // the fraction: the pitch asked for is the nearest whole cent, and a
        // quarter more, so that it is not rounded down past it.
        const double pitch = std::round(100.0 * key - cents) + 0.25;
        events.push_back({at(note.start, voicing), true, key, pitch});
        events.push_back({at(note.start + note.length, voicing), false, key, 0.0});
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
        if (event.on) {
            // Retunes the key for the notes to come, not for one still sounding.
            fluid_synth_tune_notes(synth, 0, 0, 1, &event.key, &event.pitch, 0);
            fluid_synth_noteon(synth, 0, event.key, kVelocity);
        } else
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
