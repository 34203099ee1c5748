// lorvanta-cli notation FILE: opens a Taal file as the program does and prints
// what the notation pane shows for it, with the range of each bol's text.
#include "Commands.h"
#include "TaalJson.h"

#include "notation/Notation.h"
#include "persistence/TaalFile.h"

namespace lorvanta::cli {

namespace {

constexpr const char* kUsage = "notation FILE [--force]";

std::string NotationJson(const TaalText& text) {
    std::string out = "{\"text\": " + JsonString(text.text) + ", \"ranges\": [";
    bool first = true;
    for (const BolRange& range : text.ranges) {
        if (!first)
            out += ", ";
        first = false;
        out += "[" + std::to_string(range.start) + ", " + std::to_string(range.end) + "]";
    }
    out += "], \"code\": " + std::to_string(StatusNumber(text.code)) + "}";
    return out;
}

ExitCode RunNotation(const std::vector<std::string>& args) {
    CommandLine line;
    if (const auto exitCode = ReadArguments(args, kUsage, {}, 1, line, {"--force"}))
        return *exitCode;

    CLorvantaDoc doc;
    RecordingMessageSink sink;
    if (const auto failed = OpenTaalArgument(doc, line, sink, {.readWhole = true}))
        return *failed;
    std::printf("%s\n", NotationJson(NotationPaneText(doc)).c_str());
    return ExitCode::Ok;
}

} // namespace

const Command kNotationCommand{"notation", kUsage, RunNotation};

} // namespace lorvanta::cli
