#include "session/PracticeRoutine.h"
#include "model/Text.h"

#include "model/Messages.h"
#include "model/PlaybackLimits.h"
#include "model/SoundTables.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace lorvanta {

namespace {

constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";

// A number that is the whole text (a leading "+" allowed), finite.
std::optional<double> NumberOf(std::string_view text) {
    text = Trim(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

// The last word of a field, and the text before it.
struct Measured {
    std::string_view number;
    std::string_view unit;
};
Measured SplitUnit(std::string_view field) {
    const auto space = field.find_last_of(kWhiteSpace);
    if (space == std::string_view::npos)
        return {{}, field};
    return {Trim(field.substr(0, space)), field.substr(space + 1)};
}

bool IsOneOf(std::string_view word, std::initializer_list<std::string_view> words) {
    return std::any_of(words.begin(), words.end(),
                       [&](std::string_view w) { return EqualsIgnoringCase(w, word); });
}

bool StartsWithWord(std::string_view field, std::string_view word) {
    return field.size() > word.size() && EqualsIgnoringCase(field.substr(0, word.size()), word) &&
           kWhiteSpace.find(field[word.size()]) != std::string_view::npos;
}

// One step's line: the status of the first field that is wrong.
RoutineStatus ParseStep(std::string_view line, RoutineStep& step) {
    std::vector<std::string_view> fields;
    for (std::size_t begin = 0;;) {
        const auto bar = line.find('|', begin);
        fields.push_back(
            Trim(line.substr(begin, bar == std::string_view::npos ? bar : bar - begin)));
        if (bar == std::string_view::npos)
            break;
        begin = bar + 1;
    }
    if (fields.front().empty())
        return RoutineStatus::NoFile;
    step.file = std::string(fields.front());
    bool length = false, tempo = false, pause = false;
    for (std::size_t i = 1; i < fields.size(); ++i) {
        const std::string_view field = fields[i];
        if (StartsWithWord(field, "pause")) {
            if (pause)
                return RoutineStatus::UnknownField;
            const Measured m = SplitUnit(Trim(field.substr(5)));
            const auto seconds = NumberOf(m.number);
            if (!IsOneOf(m.unit, {"s", "sec", "second", "seconds"}) || !seconds ||
                !(*seconds > 0.0 && *seconds <= kMaxPauseSeconds))
                return RoutineStatus::BadPause;
            step.pauseSeconds = *seconds;
            pause = true;
            continue;
        }
        const Measured m = SplitUnit(field);
        const auto value = NumberOf(m.number);
        if (IsOneOf(m.unit, {"bpm"})) {
            if (tempo)
                return RoutineStatus::UnknownField;
            const bool change =
                !m.number.empty() && (m.number.front() == '+' || m.number.front() == '-');
            if (!value || (change ? std::abs(*value) > kMaxTempoBpm - kMinTempoBpm
                                  : !(*value >= kMinTempoBpm && *value <= kMaxTempoBpm)))
                return RoutineStatus::BadTempo;
            step.tempo = change ? RoutineStep::Tempo::Change : RoutineStep::Tempo::Absolute;
            step.bpm = *value;
            tempo = true;
        } else if (IsOneOf(m.unit, {"cycle", "cycles", "minute", "minutes", "min"})) {
            if (length)
                return RoutineStatus::UnknownField;
            if (IsOneOf(m.unit, {"cycle", "cycles"})) {
                if (!value || !(*value >= 1.0 && *value <= kMaxStepCycles) ||
                    *value != std::floor(*value))
                    return RoutineStatus::BadLength;
                step.cycles = static_cast<int>(*value);
                step.minutes = 0.0;
            } else {
                if (!value || !(*value > 0.0 && *value <= kMaxStepMinutes))
                    return RoutineStatus::BadLength;
                step.minutes = *value;
            }
            length = true;
        } else {
            return RoutineStatus::UnknownField;
        }
    }
    return length ? RoutineStatus::Ok : RoutineStatus::BadLength;
}

// The shortest text that reads back as the same number.
std::string NumberText(double value) {
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

} // namespace

RoutineParse ParseRoutine(std::string_view text) {
    RoutineParse parse;
    int number = 0;
    for (std::size_t begin = 0; begin <= text.size();) {
        const auto end = text.find('\n', begin);
        const std::string_view line =
            Trim(text.substr(begin, end == std::string_view::npos ? end : end - begin));
        begin = end == std::string_view::npos ? text.size() + 1 : end + 1;
        ++number;
        if (line.empty() || line.front() == '#')
            continue;
        if (parse.routine.steps.size() >= static_cast<std::size_t>(kMaxRoutineSteps))
            return {RoutineStatus::TooManySteps, number, {}};
        RoutineStep step;
        if (const RoutineStatus status = ParseStep(line, step); status != RoutineStatus::Ok)
            return {status, number, {}};
        parse.routine.steps.push_back(std::move(step));
    }
    if (parse.routine.steps.empty())
        return {RoutineStatus::NoSteps, 0, {}};
    return parse;
}

std::string WriteRoutine(const PracticeRoutine& routine) {
    std::string text = "# Lorvanta practice routine: file | length | tempo | pause\n";
    for (const RoutineStep& step : routine.steps) {
        text += step.file;
        text += step.minutes > 0.0 ? " | " + NumberText(step.minutes) + " minutes"
                                   : " | " + std::to_string(step.cycles) + " cycles";
        if (step.tempo == RoutineStep::Tempo::Absolute)
            text += " | " + NumberText(step.bpm) + " bpm";
        else if (step.tempo == RoutineStep::Tempo::Change)
            text +=
                std::string(" | ") + (step.bpm < 0.0 ? "" : "+") + NumberText(step.bpm) + " bpm";
        if (step.pauseSeconds > 0.0)
            text += " | pause " + NumberText(step.pauseSeconds) + " s";
        text += '\n';
    }
    return text;
}

std::string RoutineProblemText(const RoutineParse& parse) {
    return FormatMessage(StatusText(parse.status), std::to_string(parse.line));
}

std::filesystem::path ResolveStepFile(const RoutineStep& step,
                                      const std::vector<std::filesystem::path>& folders) {
    const std::filesystem::path file(step.file);
    std::error_code error;
    if (file.is_absolute())
        return std::filesystem::is_regular_file(file, error) ? file : std::filesystem::path();
    for (const auto& folder : folders) {
        if (folder.empty())
            continue;
        const auto candidate = folder / file;
        if (std::filesystem::is_regular_file(candidate, error))
            return candidate;
    }
    return {};
}

double StepTempo(const RoutineStep& step, double previousBpm, double taalBpm) {
    double bpm = taalBpm;
    if (step.tempo == RoutineStep::Tempo::Absolute)
        bpm = step.bpm;
    else if (step.tempo == RoutineStep::Tempo::Change)
        bpm = previousBpm + step.bpm;
    return std::isfinite(bpm) ? std::clamp(bpm, kMinTempoBpm, kMaxTempoBpm) : kMinTempoBpm;
}

int StepCycles(const RoutineStep& step, double taalBeats, double bpm) {
    if (!(step.minutes > 0.0))
        return step.cycles;
    const double cycleMinutes = taalBeats / bpm;
    if (!(cycleMinutes > 0.0))
        return 1;
    return static_cast<int>(std::clamp(std::round(step.minutes / cycleMinutes), 1.0,
                                       static_cast<double>(kMaxStepCycles) * 1000.0));
}

} // namespace lorvanta
