// The practice arithmetic: a tempo ramp's tempo after so many cycles or so
// much time (up, down, holding at the target), what a ramp refuses, and tap
// tempo (the mean of the last four taps, starting over after 2 s, clamped).
#include "session/TempoRamp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

namespace lorvanta {
namespace {

using Form = RampRequest::Form;

TEST(TempoRamp, SteppedMovesOneStepPerCyclesAndHoldsAtTheTarget) {
    // Start, target, step, cycles per step, then the tempo after 0, 1, 2, ... cycles.
    for (const auto& [start, target, step, cycles, tempos] : {
             std::tuple(100.0, 200.0, 10.0, 2, std::vector<double>{100, 100, 110, 110, 120}),
             {140.0, 160.0, 15.0, 1, {140, 155, 160, 160}},
             {160.0, 100.0, 20.0, 1, {160, 140, 120, 100, 100}},
             {5.0, 30.0, 10.0, 1, {10, 20, 30, 30}}, // the start is brought into range
             {120.0, 120.0, 10.0, 1, {120, 120}},
         }) {
        const TempoRamp ramp(start, {Form::Stepped, target, step, cycles, 0.0});
        for (std::size_t i = 0; i < tempos.size(); ++i)
            EXPECT_DOUBLE_EQ(ramp.TempoAfterCycles(i), tempos[i])
                << start << "->" << target << " " << i;
        EXPECT_DOUBLE_EQ(ramp.TempoAfterCycles(1u << 30), target);
    }
}

TEST(TempoRamp, EvenFollowsTheLineOverTheMinutesThenHolds) {
    // Start, target, minutes, then seconds played and the tempo then.
    for (const auto& [start, target, minutes, seconds, bpm] : {
             std::tuple(100.0, 200.0, 2.0, 60.0, 150.0),
             {100.0, 200.0, 2.0, 1e6, 200.0},
             {180.0, 60.0, 1.0, 15.0, 150.0},
             {180.0, 60.0, 1.0, -5.0, 180.0},
         }) {
        const TempoRamp ramp(start, {Form::Even, target, 0.0, 0, minutes});
        EXPECT_DOUBLE_EQ(ramp.TempoAfter(std::chrono::duration<double>(seconds)), bpm)
            << start << "->" << target << " at " << seconds;
    }
}

TEST(TempoRamp, RefusesWhatCannotBeRamped) {
    const double nan = std::nan("");
    for (const auto& [request, status] : {
             std::tuple(RampRequest{Form::Stepped, 200.0, 10.0, 2, 0.0}, RampStatus::Ok),
             {RampRequest{Form::Stepped, 1000.5, 10.0, 2, 0.0}, RampStatus::TargetOutOfRange},
             {RampRequest{Form::Stepped, nan, 10.0, 2, 0.0}, RampStatus::TargetOutOfRange},
             {RampRequest{Form::Stepped, 9.0, 10.0, 2, 0.0}, RampStatus::TargetOutOfRange},
             {RampRequest{Form::Stepped, 200.0, 0.0, 2, 0.0}, RampStatus::BadStep},
             {RampRequest{Form::Stepped, 200.0, nan, 2, 0.0}, RampStatus::BadStep},
             {RampRequest{Form::Stepped, 200.0, 991.0, 2, 0.0}, RampStatus::BadStep},
             {RampRequest{Form::Stepped, 200.0, 10.0, 0, 0.0}, RampStatus::BadCycles},
             {RampRequest{Form::Stepped, 200.0, 10.0, 1001, 0.0}, RampStatus::BadCycles},
             // Each bound itself is taken.
             {RampRequest{Form::Stepped, 200.0, 10.0, 1000, 0.0}, RampStatus::Ok},
             {RampRequest{Form::Stepped, 200.0, 10.0, 1, 0.0}, RampStatus::Ok},
             {RampRequest{Form::Stepped, 10.0, 990.0, 2, 0.0}, RampStatus::Ok},
             {RampRequest{Form::Stepped, 1000.0, 10.0, 2, 0.0}, RampStatus::Ok},
             {RampRequest{Form::Even, 200.0, 0.0, 0, 600.0}, RampStatus::Ok},
             {RampRequest{Form::Even, 200.0, 0.0, 0, 600.5}, RampStatus::BadMinutes},
             {RampRequest{Form::Even, 200.0, 0.0, 0, 0.5}, RampStatus::Ok},
             {RampRequest{Form::Even, 200.0, 0.0, 0, 0.0}, RampStatus::BadMinutes},
             {RampRequest{Form::Even, 200.0, 0.0, 0, nan}, RampStatus::BadMinutes},
         })
        EXPECT_EQ(TempoRamp::Check(request), status) << request.targetBpm << " " << request.stepBpm;
}

TEST(TapTempo, AveragesTheLastFourTapsAndStartsOverAfterTwoSeconds) {
    // Milliseconds between taps, then the tempo after each tap (0: none yet).
    for (const auto& [gaps, tempos] : {
             std::tuple(std::vector<int>{0, 500, 500, 500}, std::vector<double>{0, 120, 120, 120}),
             // Only the last four taps count: 1000 ms drops out.
             {{0, 1000, 500, 500, 500}, {0, 60, 80, 90, 120}},
             {{0, 400, 600, 500, 700, 300}, {0, 150, 120, 120, 100, 120}},
             // More than 2 s apart: the tap starts over.
             {{0, 500, 2001, 250, 2000}, {0, 120, 0, 240, 160.0 / 3}},
             // Clamped to 10..1000 bpm.
             {{0, 20, 10, 0}, {0, 1000, 1000, 1000}},
         }) {
        TapTempo tap;
        TapTempo::Clock::time_point at{std::chrono::hours(1)};
        for (std::size_t i = 0; i < gaps.size(); ++i) {
            at += std::chrono::milliseconds(gaps[i]);
            const auto bpm = tap.Tap(at);
            EXPECT_EQ(bpm.has_value(), tempos[i] != 0.0) << i;
            if (bpm) {
                EXPECT_NEAR(*bpm, tempos[i], 1e-9) << i;
            }
        }
    }
}

} // namespace
} // namespace lorvanta
