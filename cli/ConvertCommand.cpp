// lorvanta-cli convert IN OUT: opens a Taal file as the program does and saves
// it in the current format, as Save would.
#include "Commands.h"

#include "persistence/TaalFile.h"

namespace lorvanta::cli {

namespace {

constexpr const char* kUsage = "convert IN OUT";

int RunConvert(const std::vector<std::string>& args) {
    CommandLine line;
    if (const auto exitCode = ReadArguments(args, kUsage, {}, 2, line))
        return *exitCode;

    CLorvantaDoc doc;
    RecordingMessageSink sink;
    const ReadOutcome outcome = OpenTaalFile(doc, line.positional[0], sink);
    // The boxes the program would show go to stderr; only a file that cannot
    // be read at all stops the conversion.
    PrintMessages(sink);
    if (outcome.structuralError)
        return kExitFailure;

    ApplyOpenedTempoRule(doc);
    std::string error;
    if (!SaveTaalFile(doc, line.positional[1], error)) {
        std::fprintf(
            stderr, "%s\n",
            FormatMessage("Cannot save file %1: %2.", FullPathName(line.positional[1]), error)
                .c_str());
        return kExitFailure;
    }
    return kExitOk;
}

} // namespace

const Command kConvertCommand{"convert", kUsage, RunConvert};

} // namespace lorvanta::cli
