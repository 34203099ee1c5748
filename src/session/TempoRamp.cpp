#include "session/TempoRamp.h"

#include "model/PlaybackLimits.h"

#include <algorithm>
#include <cmath>

namespace lorvanta {
namespace {

double ClampTempo(double bpm) {
    return std::clamp(bpm, kMinTempoBpm, kMaxTempoBpm);
}

// Tempos the program sets by itself read as a musician would set them: to a
// tenth of a beat per minute at most.
double OneDecimal(double bpm) {
    return ClampTempo(std::round(bpm * 10.0) / 10.0);
}

} // namespace

RampStatus TempoRamp::Check(const RampRequest& request) {
    // Written so that NaN fails every test.
    if (!(request.targetBpm >= kMinTempoBpm && request.targetBpm <= kMaxTempoBpm))
        return RampStatus::TargetOutOfRange;
    if (request.form == RampRequest::Form::Even)
        return request.minutes > 0.0 && request.minutes <= 600.0 ? RampStatus::Ok
                                                                 : RampStatus::BadMinutes;
    if (!(request.stepBpm > 0.0 && request.stepBpm <= kMaxTempoBpm - kMinTempoBpm))
        return RampStatus::BadStep;
    if (request.cycles < 1 || request.cycles > 1000)
        return RampStatus::BadCycles;
    return RampStatus::Ok;
}

TempoRamp::TempoRamp(double startBpm, const RampRequest& request)
    : m_startBpm(ClampTempo(startBpm)), m_request(request) {}

double TempoRamp::TempoAfterCycles(std::uint64_t cycles) const {
    if (!IsStepped())
        return m_startBpm;
    const double steps = static_cast<double>(cycles / static_cast<std::uint64_t>(m_request.cycles));
    const double target = m_request.targetBpm;
    if (target >= m_startBpm)
        return std::min(target, OneDecimal(m_startBpm + steps * m_request.stepBpm));
    return std::max(target, OneDecimal(m_startBpm - steps * m_request.stepBpm));
}

double TempoRamp::TempoAfter(std::chrono::duration<double> elapsed) const {
    if (IsStepped())
        return m_startBpm;
    const double done = std::clamp(elapsed.count() / (m_request.minutes * 60.0), 0.0, 1.0);
    return done >= 1.0 ? m_request.targetBpm
                       : OneDecimal(m_startBpm + (m_request.targetBpm - m_startBpm) * done);
}

std::optional<double> TapTempo::Tap(Clock::time_point at) {
    if (m_count > 0 && (at - m_taps[static_cast<std::size_t>(m_count - 1)] > kRestartAfter ||
                        at < m_taps[static_cast<std::size_t>(m_count - 1)]))
        m_count = 0;
    if (m_count == kTapsAveraged) {
        std::rotate(m_taps.begin(), m_taps.begin() + 1, m_taps.end());
        --m_count;
    }
    m_taps[static_cast<std::size_t>(m_count++)] = at;
    if (m_count < 2)
        return std::nullopt;
    const std::chrono::duration<double> span =
        m_taps[static_cast<std::size_t>(m_count - 1)] - m_taps[0];
    const double interval = span.count() / (m_count - 1);
    if (!(interval > 0.0))
        return kMaxTempoBpm;
    return OneDecimal(60.0 / interval);
}

} // namespace lorvanta
