// lorvanta-cli convert IN OUT: opens a Taal file as the program does and saves
// it in the current format, as Save would.
#include "Commands.h"

#include "persistence/TaalFile.h"

namespace lorvanta::cli {

namespace {

constexpr const char* kUsage = "convert IN OUT [--force]";

ExitCode RunConvert(const std::vector<std::string>& args) {
    CommandLine line;
    if (const auto exitCode = ReadArguments(args, kUsage, {}, 2, line, {"--force"}))
        return *exitCode;

    CLorvantaDoc doc;
    RecordingMessageSink sink;
    // A file that cannot be read at all, or not whole, stops the conversion.
    if (const auto failed = OpenTaalArgument(doc, line, sink, {.readWhole = true}))
        return *failed;
    SaveFailure failure;
    if (!SaveTaalFile(doc, line.positional[1], failure)) {
        std::fprintf(
            stderr, "%s\n",
            failure.Message("Cannot save file %1: %2.", FullPathName(line.positional[1])).c_str());
        return ExitCode::Failure;
    }
    return ExitCode::Ok;
}

} // namespace

const Command kConvertCommand{"convert", kUsage, RunConvert};

} // namespace lorvanta::cli
