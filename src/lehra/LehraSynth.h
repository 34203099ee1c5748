#pragma once

// Plays a lehra's melody through a General MIDI SoundFont into a loop of
// samples. Loading the SoundFont takes seconds, so one synth is opened and
// kept; rendering a loop takes some tens of milliseconds. Everything here
// allocates: call it off the audio threads.

#include "lehra/Lehra.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace lorvanta {

// The General MIDI voice (program number from 0) of an instrument.
int LehraProgram(LehraInstrument instrument);

class LehraSynth {
public:
    // The SoundFont: $LORVANTA_SOUNDFONT when set, else the first of the
    // system's General MIDI SoundFonts that exists; empty when none.
    static std::filesystem::path FindSoundFont();
    // Opens a synth at sampleRate on the SoundFont found; null, with the
    // reason in `problem`, when there is none or it does not load.
    static std::unique_ptr<LehraSynth> Open(std::uint32_t sampleRate, std::string& problem);
    ~LehraSynth();
    LehraSynth(const LehraSynth&) = delete;
    LehraSynth& operator=(const LehraSynth&) = delete;

    // The whole lehra in `samples` samples: beat b starts at sample
    // round(b / beats * samples). Sa is C#4 at this synth's rate. What still
    // rings at the end is added into the start, so the loop joins itself.
    std::vector<std::int16_t> Render(const Lehra& lehra, LehraInstrument instrument,
                                     std::size_t samples);
    std::uint32_t SampleRate() const { return m_sampleRate; }

private:
    struct Fluid;
    LehraSynth(std::unique_ptr<Fluid> fluid, std::uint32_t sampleRate);

    std::unique_ptr<Fluid> m_fluid;
    std::uint32_t m_sampleRate;
};

} // namespace lorvanta
