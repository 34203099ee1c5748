// lorvanta-cli dump FILE: reads a Taal file as the program opens it and prints
// what it holds as one JSON object.
#include "Commands.h"
#include "TaalJson.h"

#include "persistence/TaalFile.h"

namespace lorvanta::cli {

namespace {

constexpr const char* kUsage = "dump FILE";

ExitCode RunDump(const std::vector<std::string>& args) {
    CommandLine line;
    if (const auto exitCode = ReadArguments(args, kUsage, {}, 1, line))
        return *exitCode;

    CLorvantaDoc doc;
    RecordingMessageSink sink;
    const ReadOutcome outcome = OpenTaalFile(doc, line.positional[0], sink);
    if (outcome.structuralError) {
        PrintMessages(sink);
        return ExitCode::Failure;
    }
    std::optional<std::string> message;
    if (auto box = PostReadMessage(outcome, doc.PathName()))
        message = box->text;
    std::printf("%s\n", TaalToJson(doc, outcome, message).c_str());
    return ExitCode::Ok;
}

} // namespace

const Command kDumpCommand{"dump", kUsage, RunDump};

} // namespace lorvanta::cli
