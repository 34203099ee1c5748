// lorvanta-cli dump FILE: reads a Taal file as the program opens it and prints
// what it holds as one JSON object. Stored vibhags that cannot be read, or
// that no longer fit the Taal's length, are left out of it with a note on
// stderr.
#include "Commands.h"
#include "TaalJson.h"

#include "model/Vibhags.h"
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
    if (auto warning = VibhagReadMessage(outcome, doc.PathName()))
        std::fprintf(stderr, "%s\n", warning->text.c_str());
    const ShownVibhags vibhags = VibhagsToShow(doc.Params(), doc.Taal().Total());
    if (vibhags.display == VibhagDisplay::DoNotFit)
        std::fprintf(stderr, "%s\n", VibhagDisplayNote(vibhags, doc.Taal().Total()).c_str());
    std::printf("%s\n", TaalToJson(doc, outcome, message).c_str());
    return ExitCode::Ok;
}

} // namespace

const Command kDumpCommand{"dump", kUsage, RunDump};

} // namespace lorvanta::cli
