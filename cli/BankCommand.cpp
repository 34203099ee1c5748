// lorvanta-cli bank FOLDER: writes the 30 strokes in use as "ID NAME.wav",
// which is also how a musician starts a stroke kit.
#include "Commands.h"

#include "audio/SampleBank.h"
#include "audio/StrokeKit.h"
#include "model/Messages.h"

namespace lorvanta::cli {

namespace {

constexpr const char* kUsage = "bank FOLDER [--kit FOLDER]";

int RunBank(const std::vector<std::string>& args) {
    CommandLine line;
    if (const auto exitCode = ReadArguments(args, kUsage, {"--kit"}, 1, line))
        return *exitCode;

    CSampleBank bank;
    RecordingMessageSink sink;
    bool ok = true;
    if (const auto kit = line.Option("--kit"))
        ok = LoadStrokeKit(bank, *kit, sink).folderRead;
    if (ok)
        ok = WriteStrokeBank(bank, line.positional[0], sink);
    PrintMessages(sink);
    return ok ? kExitOk : kExitFailure;
}

} // namespace

const Command kBankCommand{"bank", kUsage, RunBank};

} // namespace lorvanta::cli
