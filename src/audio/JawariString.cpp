#include "audio/JawariString.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lorvanta {

namespace {

constexpr std::size_t kMaxModes = 64;
constexpr double kHighestPartialShare = 0.45; // of the sample rate
constexpr double kPluckPoint = 0.27;          // of the string's length, from the bridge
constexpr double kContactPoint = 0.012;       // where the string meets the curved bridge
// The finger pad's push lasts half a period: it leaves the partials above the
// first few nearly silent, and what the bridge adds to them is heard growing.
constexpr double kPulsePeriods = 0.5;
// Loss per second: a floor for every mode, growing with the square of its
// frequency and of its number (the higher partials of every string fade
// within a few tenths of a second unless the bridge feeds them).
constexpr double kLossFloor = 0.9;
constexpr double kLossPerHz2 = 2e-6;
constexpr double kLossPerMode2 = 0.12;
// A mode this small is silent; it is set to zero rather than left to decay
// into subnormal numbers, which are slow.
constexpr double kSilentMode = 1e-15;
constexpr std::size_t kSilenceCheckInterval = 256;
constexpr double kObstacle = 0.02;    // the bridge's depth below the string at rest
constexpr double kContactShare = 0.1; // of a dip below the bridge undone per sample
constexpr double kOutputScale = 0.9;

} // namespace

CJawariString::CJawariString(double frequency, std::uint32_t sampleRate) {
    const double rate = static_cast<double>(sampleRate);
    if (!(frequency >= 1.0 && frequency < rate / 2.0))
        return; // no string to sound: Render writes silence
    const auto count = std::clamp<std::size_t>(
        static_cast<std::size_t>(kHighestPartialShare * rate / frequency), 1, kMaxModes);
    m_modes.resize(count);
    std::vector<double> swings(count); // each mode's swing after the pluck
    for (std::size_t i = 0; i < count; ++i) {
        const double k = static_cast<double>(i + 1);
        const double hz = k * frequency;
        const double radius =
            std::exp(-(kLossFloor + kLossPerHz2 * hz * hz + kLossPerMode2 * k * k) / rate);
        const double angle = 2.0 * std::numbers::pi * hz / rate;
        Mode& mode = m_modes[i];
        mode.feedback1 = 2.0 * radius * std::cos(angle);
        mode.feedback2 = radius * radius;
        // A resonator pushed briefly swings by about push / sin(angle): the
        // push is scaled so that each mode swings as a string released from
        // a corner at the pluck point does, by sin(k pi x) / k^2.
        swings[i] = std::sin(k * std::numbers::pi * kPluckPoint) / (k * k);
        mode.pluck = swings[i] * std::sin(angle);
        mode.bridge = std::sin(k * std::numbers::pi * kContactPoint);
        mode.output = k; // the force on the bridge follows the string's slope there
        m_bridgeNorm += mode.bridge * mode.bridge;
    }
    // The swing at the contact point is made about 1 whatever the pitch, so
    // that the bridge shapes every string alike.
    double swing = 0.0;
    double loudness = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        swing += std::abs(swings[i] * m_modes[i].bridge);
        loudness += std::abs(swings[i] * m_modes[i].output);
    }
    for (Mode& mode : m_modes)
        mode.pluck /= swing;
    m_gain = kOutputScale * swing / loudness;
    const auto pulseLength =
        std::max<std::size_t>(2, std::lround(kPulsePeriods * rate / frequency));
    m_pulse.resize(pulseLength);
    // A raised cosine whose values add up to 1.
    for (std::size_t n = 0; n < pulseLength; ++n)
        m_pulse[n] = (1.0 - std::cos(2.0 * std::numbers::pi * static_cast<double>(n) /
                                     static_cast<double>(pulseLength))) /
                     static_cast<double>(pulseLength);
}

void CJawariString::Render(std::span<float> out) const {
    const std::size_t count = m_modes.size();
    std::vector<double> previous(count, 0.0);
    std::vector<double> current(count, 0.0);
    std::vector<double> next(count, 0.0);
    for (std::size_t n = 0; n < out.size(); ++n) {
        const double force = n < m_pulse.size() ? m_pulse[n] : 0.0;
        double atBridge = 0.0;
        for (std::size_t i = 0; i < count; ++i) {
            const Mode& mode = m_modes[i];
            next[i] =
                mode.feedback1 * current[i] - mode.feedback2 * previous[i] + force * mode.pluck;
            atBridge += mode.bridge * next[i];
        }
        // Where the string would dip below the bridge's surface it is pushed
        // back up, spread over the modes by their shapes. The push acts on
        // the position the string is about to reach rather than one sample
        // late, which would feed the high modes and let the buzz grow on its
        // own.
        const double dip = -kObstacle - atBridge;
        const double contact = dip > 0.0 ? kContactShare * dip / m_bridgeNorm : 0.0;
        double sound = 0.0;
        for (std::size_t i = 0; i < count; ++i) {
            const double moved = next[i] + contact * m_modes[i].bridge;
            previous[i] = current[i];
            current[i] = moved;
            sound += m_modes[i].output * moved;
        }
        out[n] = static_cast<float>(m_gain * sound);
        if (n % kSilenceCheckInterval == 0) {
            for (std::size_t i = 0; i < count; ++i) {
                if (std::abs(current[i]) < kSilentMode && std::abs(previous[i]) < kSilentMode)
                    current[i] = previous[i] = 0.0;
            }
        }
    }
}

} // namespace lorvanta
