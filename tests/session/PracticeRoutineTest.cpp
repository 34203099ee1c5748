// The practice routine's text: what reads, what is refused (named by its
// line), that writing and reading give the routine back; and the tempo and
// cycles each step plays.
#include "session/PracticeRoutine.h"

#include <gtest/gtest.h>

namespace lorvanta {
namespace {

using Tempo = RoutineStep::Tempo;

TEST(PracticeRoutine, ReadsStepsAndWritesThemBack) {
    const RoutineParse parse = ParseRoutine("# warm-up\r\n"
                                            "\n"
                                            "Teentaal.tal | 4 cycles | 80 bpm\n"
                                            "  Teentaal.tal|4 CYCLES|+20 bpm | pause 5 s  \n"
                                            "Compositions/Kaida – Dha Ti.tal | 2.5 minutes\n"
                                            "/abs/Ektaal.tal | 1 cycle | -12.5 bpm\n"
                                            "Rupak.tal | pause 0.5 seconds | 3 cycles | 70 BPM");
    ASSERT_EQ(parse.status, RoutineStatus::Ok) << parse.line;
    const std::vector<RoutineStep> expected = {
        {"Teentaal.tal", 4, 0.0, Tempo::Absolute, 80.0, 0.0},
        {"Teentaal.tal", 4, 0.0, Tempo::Change, 20.0, 5.0},
        {"Compositions/Kaida – Dha Ti.tal", 4, 2.5, Tempo::OfTaal, 0.0, 0.0},
        {"/abs/Ektaal.tal", 1, 0.0, Tempo::Change, -12.5, 0.0},
        {"Rupak.tal", 3, 0.0, Tempo::Absolute, 70.0, 0.5},
    };
    EXPECT_EQ(parse.routine.steps, expected);
    const RoutineParse again = ParseRoutine(WriteRoutine(parse.routine));
    EXPECT_EQ(again.status, RoutineStatus::Ok);
    EXPECT_EQ(again.routine, parse.routine);
    EXPECT_EQ(WriteRoutine(again.routine), WriteRoutine(parse.routine));
}

TEST(PracticeRoutine, RefusesWhatDoesNotReadNamingTheLine) {
    const struct {
        const char* text;
        RoutineStatus status;
        int line;
    } cases[] = {
        {"", RoutineStatus::NoSteps, 0},
        {"# only a note\n\n", RoutineStatus::NoSteps, 0},
        {"A.tal | 4 cycles\n | 4 cycles", RoutineStatus::NoFile, 2},
        {"A.tal", RoutineStatus::BadLength, 1},
        {"A.tal | 80 bpm", RoutineStatus::BadLength, 1},
        {"\nA.tal | 0 cycles", RoutineStatus::BadLength, 2},
        {"A.tal | 1.5 cycles", RoutineStatus::BadLength, 1},
        {"A.tal | 1001 cycles", RoutineStatus::BadLength, 1},
        {"A.tal | 601 minutes", RoutineStatus::BadLength, 1},
        {"A.tal | x cycles", RoutineStatus::BadLength, 1},
        {"A.tal | 4 cycles | 5 bpm", RoutineStatus::BadTempo, 1},
        {"A.tal | 4 cycles | 1001 bpm", RoutineStatus::BadTempo, 1},
        {"A.tal | 4 cycles | +991 bpm", RoutineStatus::BadTempo, 1},
        {"A.tal | 4 cycles | nan bpm", RoutineStatus::BadTempo, 1},
        {"A.tal | 4 cycles | pause 0 s", RoutineStatus::BadPause, 1},
        {"A.tal | 4 cycles | pause 5 minutes", RoutineStatus::BadPause, 1},
        {"A.tal | 4 cycles | pause 601 s", RoutineStatus::BadPause, 1},
        {"A.tal | 4 cycles | 2 cycles", RoutineStatus::UnknownField, 1},
        {"A.tal | 4 cycles | 80 bpm | 90 bpm", RoutineStatus::UnknownField, 1},
        {"A.tal | 4 cycles | loud", RoutineStatus::UnknownField, 1},
        {"A.tal | 4 cycles |", RoutineStatus::UnknownField, 1},
    };
    for (const auto& c : cases) {
        const RoutineParse parse = ParseRoutine(c.text);
        EXPECT_EQ(parse.status, c.status) << c.text;
        EXPECT_EQ(parse.line, c.line) << c.text;
        EXPECT_TRUE(parse.routine.steps.empty()) << c.text;
    }
    std::string many;
    for (int i = 0; i <= kMaxRoutineSteps; ++i)
        many += "A.tal | 1 cycle\n";
    const RoutineParse tooMany = ParseRoutine(many);
    EXPECT_EQ(tooMany.status, RoutineStatus::TooManySteps);
    EXPECT_EQ(tooMany.line, kMaxRoutineSteps + 1);
    EXPECT_EQ(RoutineProblemText(ParseRoutine("\nA.tal | 4 cycles | 5 bpm")),
              "Line 2: give the tempo as \"N bpm\" (10 to 1000) or a change such as \"+10 bpm\".");
}

TEST(PracticeRoutine, StepTempoAndCycles) {
    RoutineStep step;
    EXPECT_EQ(StepTempo(step, 90.0, 60.0), 60.0); // the Taal's own
    step.tempo = Tempo::Absolute, step.bpm = 120.0;
    EXPECT_EQ(StepTempo(step, 90.0, 60.0), 120.0);
    step.tempo = Tempo::Change, step.bpm = -85.0;
    EXPECT_EQ(StepTempo(step, 90.0, 60.0), 10.0); // held within the tempo range
    step.bpm = 20.0;
    EXPECT_EQ(StepTempo(step, 90.0, 60.0), 110.0);

    step.cycles = 3;
    EXPECT_EQ(StepCycles(step, 16.0, 80.0), 3);
    step.minutes = 2.0; // 160 beats at 80 bpm: 10 cycles of 16
    EXPECT_EQ(StepCycles(step, 16.0, 80.0), 10);
    step.minutes = 0.01; // less than a cycle: one
    EXPECT_EQ(StepCycles(step, 16.0, 80.0), 1);
}

} // namespace
} // namespace lorvanta
