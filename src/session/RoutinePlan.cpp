#include "session/RoutinePlan.h"

#include "model/Bol.h"
#include "model/Messages.h"
#include "model/TaalLimits.h"
#include "persistence/TaalFile.h"

#include <cmath>

namespace lorvanta {

namespace {

// Silent bols as long as the pause at the tempo it follows (a bol lasts at
// most 10 beats).
std::unique_ptr<CLorvantaDoc> PauseDoc(double seconds, double bpm) {
    auto doc = std::make_unique<CLorvantaDoc>();
    const double beats = seconds * bpm / 60.0;
    const int count =
        static_cast<int>(std::ceil(beats / static_cast<double>(limits::kMaxBolBeats)));
    for (int i = 0; i < count; ++i) {
        const auto duration = static_cast<float>(beats / count);
        doc->Taal().Append(std::make_unique<CBol2>("Silence", 0, duration));
    }
    doc->Taal().Recalculate(-1);
    doc->Taal().SetName(kPauseTitle);
    doc->SetEmpty(false);
    return doc;
}

} // namespace

RoutinePlan PlanRoutine(const PracticeRoutine& routine,
                        const std::vector<std::filesystem::path>& folders, MessageSink& sink) {
    RoutinePlan plan;
    plan.routineSteps = static_cast<int>(routine.steps.size());
    double previousBpm = 0.0;
    for (std::size_t i = 0; i < routine.steps.size(); ++i) {
        const RoutineStep& step = routine.steps[i];
        const auto fail = [&](RoutinePlanStatus status) {
            plan.status = status;
            plan.failedStep = static_cast<int>(i + 1);
            plan.failedFile = step.file;
            plan.steps.clear();
        };
        const std::filesystem::path path = ResolveStepFile(step, folders);
        if (path.empty()) {
            fail(RoutinePlanStatus::FileNotFound);
            return plan;
        }
        auto doc = std::make_unique<CLorvantaDoc>();
        if (OpenTaalFile(*doc, path, sink).structuralError) {
            fail(RoutinePlanStatus::FileUnreadable);
            return plan;
        }
        ApplyOpenedTempoRule(*doc);
        if (doc->IsEmpty() || doc->Taal().Count() == 0 || !(doc->Taal().Total() > 0.0f)) {
            fail(RoutinePlanStatus::EmptyTaal);
            return plan;
        }
        const double taalBpm = static_cast<double>(doc->DefaultTempo());
        const double bpm = StepTempo(step, i == 0 ? taalBpm : previousBpm, taalBpm);
        PlannedStep planned;
        planned.title = doc->Taal().Name();
        planned.bpm = bpm;
        planned.cycles = StepCycles(step, static_cast<double>(doc->Taal().Total()), bpm);
        planned.routineStep = static_cast<int>(i);
        planned.doc = std::move(doc);
        plan.steps.push_back(std::move(planned));
        if (step.pauseSeconds > 0.0) {
            PlannedStep pause;
            pause.title = kPauseTitle;
            pause.pause = true;
            pause.bpm = bpm;
            pause.routineStep = static_cast<int>(i);
            pause.doc = PauseDoc(step.pauseSeconds, bpm);
            plan.steps.push_back(std::move(pause));
        }
        previousBpm = bpm;
    }
    return plan;
}

std::string RoutinePlanProblemText(const RoutinePlan& plan) {
    return FormatMessage(StatusText(plan.status), std::to_string(plan.failedStep), plan.failedFile);
}

} // namespace lorvanta
