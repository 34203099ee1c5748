#pragma once

// One tanpura string over a curved bridge: a modal string (exactly harmonic
// modes, each a damped two-pole resonator) that grazes a one-sided obstacle
// near its end. Each time the string dips onto the bridge the contact pushes
// it back; the push, concentrated at one point, feeds every mode, so the
// high partials a soft finger pluck barely excites grow over the first tens
// of milliseconds (the bloom) and fade as the string's swing shrinks.

#include <cstdint>
#include <span>
#include <vector>

namespace lorvanta {

class CJawariString {
public:
    // A string sounding `frequency` Hz, computed at `sampleRate`; silent when
    // the frequency is not between 1 Hz and half the rate.
    CJawariString(double frequency, std::uint32_t sampleRate);

    // Writes the string's sound from the pluck on (the string at rest before
    // it), one value per sample, about ±1 at the loudest. Deterministic: the
    // same string always writes the same values.
    void Render(std::span<float> out) const;

    std::size_t ModeCount() const { return m_modes.size(); }

private:
    struct Mode {
        double feedback1 = 0.0; // 2 r cos(w)
        double feedback2 = 0.0; // r^2
        double pluck = 0.0;     // how much the finger's push reaches this mode
        double bridge = 0.0;    // the mode's shape at the contact point
        double output = 0.0;    // its share of the force on the bridge
    };

    std::vector<Mode> m_modes;
    std::vector<double> m_pulse; // the finger's push, one value per sample
    double m_bridgeNorm = 0.0;   // sum of bridge^2
    double m_gain = 0.0;         // brings the loudest swing to about 1
};

} // namespace lorvanta
