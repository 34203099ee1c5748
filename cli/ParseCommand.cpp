// lorvanta-cli parse TEXT: reads TEXT as the notation pane's Apply does and
// prints the Taal it makes as dump prints a file.
#include "Commands.h"
#include "TaalJson.h"

#include "notation/Notation.h"

namespace lorvanta::cli {

namespace {

constexpr const char* kUsage = "parse TEXT";

ExitCode RunParse(const std::vector<std::string>& args) {
    CommandLine line;
    if (const auto exitCode = ReadArguments(args, kUsage, {}, 1, line))
        return *exitCode;

    CLorvantaDoc doc;
    RecordingMessageSink sink;
    if (!ParseTaalText(line.positional[0], doc.Taal(), sink)) {
        PrintMessages(sink);
        return ExitCode::Failure;
    }
    doc.SetEmpty(doc.Taal().IsEmpty());
    std::printf("%s\n", TaalToJson(doc).c_str());
    return ExitCode::Ok;
}

} // namespace

const Command kParseCommand{"parse", kUsage, RunParse};

} // namespace lorvanta::cli
