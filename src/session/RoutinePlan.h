#pragma once

// A practice routine made ready to play: each step's Taal read from its file,
// its tempo and its number of cycles fixed, and each pause a step of its own
// (one silent bol as long as the pause, so the drone goes on through it).

#include "model/LorvantaDoc.h"
#include "model/StatusTable.h"
#include "session/PracticeRoutine.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace lorvanta {

class MessageSink;

enum class RoutinePlanStatus : std::uint32_t {
    Ok = 0,
    FileNotFound = 1,
    FileUnreadable = 2,
    EmptyTaal = 3,
};

// %1 = the step's number, %2 = its file as written.
inline constexpr std::array<StatusEntry<RoutinePlanStatus>, 4> kRoutinePlanStatusTable{{
    {RoutinePlanStatus::Ok, 0, ""},
    {RoutinePlanStatus::FileNotFound, 1, "Step %1: the Taal file \"%2\" was not found."},
    {RoutinePlanStatus::FileUnreadable, 2, "Step %1: the Taal file \"%2\" could not be read."},
    {RoutinePlanStatus::EmptyTaal, 3, "Step %1: the Taal \"%2\" has no bols to play."},
}};
static_assert(StatusTableConsistent(kRoutinePlanStatusTable));

constexpr const auto& StatusTableOf(RoutinePlanStatus) {
    return kRoutinePlanStatusTable;
}

struct PlannedStep {
    std::string title; // the Taal's name, or "Pause"
    bool pause = false;
    double bpm = 100.0;
    int cycles = 1;
    int routineStep = 0; // 0-based step of the routine it comes from
    std::unique_ptr<CLorvantaDoc> doc;
};

struct RoutinePlan {
    RoutinePlanStatus status = RoutinePlanStatus::Ok;
    int failedStep = 0; // 1-based
    std::string failedFile;
    std::vector<PlannedStep> steps;
    int routineSteps = 0;
};

inline constexpr const char* kPauseTitle = "Pause";

// Reads every step's file (found as ResolveStepFile finds it in folders;
// read errors are shown through sink) and fixes the tempos and cycles.
RoutinePlan PlanRoutine(const PracticeRoutine& routine,
                        const std::vector<std::filesystem::path>& folders, MessageSink& sink);
std::string RoutinePlanProblemText(const RoutinePlan& plan);

} // namespace lorvanta
