// lorvanta-cli compose TEXT -o OUT [--name NAME] [--tempo BPM] [--vibhags TEXT]:
// reads TEXT as the notation pane's Apply does and saves the Taal it makes as
// a Taal file, with the vibhags given (which must add up to its length).
#include "Commands.h"

#include "model/PlaybackLimits.h"
#include "model/Vibhags.h"

#include "notation/Notation.h"
#include "persistence/TaalFile.h"

namespace lorvanta::cli {

namespace {

constexpr const char* kUsage =
    "compose TEXT -o OUT [--name NAME] [--tempo BPM] [--vibhags \"X:4 2:4 0:4 3:4\"]";

ExitCode RunCompose(const std::vector<std::string>& args) {
    const std::string usage = std::string("lorvanta-cli ") + kUsage;
    CommandLine line;
    if (auto problem = ParseCommandLine(args, {"-o", "--name", "--tempo", "--vibhags"}, {}, line))
        return UsageError(usage, *problem);
    const auto out = line.Option("-o");
    if (line.positional.size() != 1 || !out)
        return UsageError(usage);

    CLorvantaDoc doc;
    if (const auto tempoText = line.Option("--tempo")) {
        const auto tempo = ParseNumber(*tempoText);
        if (!tempo || !(*tempo >= kMinTempoBpm && *tempo <= kMaxTempoBpm)) {
            PrintTempoOutOfRange();
            return ExitCode::Usage;
        }
        doc.Params().defaultTempo = static_cast<float>(*tempo);
    }

    RecordingMessageSink sink;
    if (!ParseTaalText(line.positional[0], doc.Taal(), sink)) {
        PrintMessages(sink);
        return ExitCode::Failure;
    }
    if (const auto name = line.Option("--name"))
        doc.Taal().SetName(*name);
    doc.SetEmpty(doc.Taal().IsEmpty());
    if (const auto text = line.Option("--vibhags")) {
        VibhagList vibhags;
        VibhagStatus status = ParseFittingVibhags(*text, doc.Taal().Total(), vibhags);
        if (status == VibhagStatus::Ok)
            status = WriteVibhagRecord(doc.Params(), vibhags);
        if (status != VibhagStatus::Ok) {
            std::fprintf(stderr, "lorvanta-cli: %s\n",
                         VibhagStatusText(status, vibhags, doc.Taal().Total()).c_str());
            return ExitCode::Usage;
        }
    }

    SaveFailure failure;
    if (!SaveTaalFile(doc, *out, failure)) {
        std::fprintf(stderr, "%s\n",
                     failure.Message("Cannot save file %1: %2.", FullPathName(*out)).c_str());
        return ExitCode::Failure;
    }
    return ExitCode::Ok;
}

} // namespace

const Command kComposeCommand{"compose", kUsage, RunCompose};

} // namespace lorvanta::cli
