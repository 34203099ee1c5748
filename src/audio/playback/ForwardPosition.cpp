#include "audio/playback/ForwardPosition.h"

#include <algorithm>
#include <cmath>

namespace lorvanta {

double ForwardPosition::Next(double beat, double cycleBeats, double beatsPerSecond,
                             Clock::time_point now, bool realTime) noexcept {
    if (!m_started || !(cycleBeats > 0.0) || !(beatsPerSecond > 0.0)) {
        Restart(beat, now);
        return beat;
    }
    // The way forward from the beat shown to the estimate, round the cycle.
    double ahead = std::fmod(beat - m_beat, cycleBeats);
    if (ahead < 0.0)
        ahead += cycleBeats;
    if (ahead > cycleBeats / 2.0)
        return m_beat; // behind what is shown: hold
    const double elapsed = std::max(0.0, std::chrono::duration<double>(now - m_at).count());
    const double step = realTime ? std::min(ahead, elapsed * beatsPerSecond * kCatchUp) : ahead;
    m_beat += step;
    if (m_beat >= cycleBeats + 1.0)
        m_beat -= cycleBeats;
    m_at = now;
    return m_beat;
}

} // namespace lorvanta
