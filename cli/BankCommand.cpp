// lorvanta-cli bank FOLDER: writes the 30 strokes of the kit in use (the
// default kit, or --kit's) as "ID NAME.wav", which is also how a musician
// starts a stroke kit.
#include "Commands.h"

#include "audio/SampleBank.h"
#include "model/Messages.h"
#include "model/Text.h"
#include "soundfiles/StrokeKit.h"

#include <algorithm>
#include <cctype>

namespace lorvanta::cli {

namespace {

constexpr const char* kUsage = "bank FOLDER [--kit recorded|synthesised|FOLDER] [--force]";

// A stroke file of a sound the bank writes ("ID NAME.wav" or ".flac", as a kit
// would take it) that the folder already holds, or none.
std::optional<std::filesystem::path> HeldStrokeFile(const std::filesystem::path& folder) {
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string extension = ToLower(it->path().extension().string());
        const int id = KitFileSoundId(it->path());
        if (id >= 0 && id < static_cast<int>(kSoundCount) &&
            (extension == ".wav" || extension == ".flac"))
            return it->path();
    }
    return std::nullopt;
}

ExitCode RunBank(const std::vector<std::string>& args) {
    CommandLine line;
    if (const auto exitCode = ReadArguments(args, kUsage, {"--kit"}, 1, line, {"--force"}))
        return *exitCode;
    const std::filesystem::path folder = line.positional[0];
    const std::optional<KitChoice> kit = ParseKitChoice(line.Option("--kit").value_or(""));

    // Writing into the kit being read would replace the user's recordings with
    // their conversions; that is never what bank is for.
    std::error_code error;
    if (kit && !kit->folder.empty() && std::filesystem::equivalent(kit->folder, folder, error)) {
        std::fprintf(stderr, "lorvanta-cli: %s is the kit folder; bank writes into another one\n",
                     ShownName(folder.string()).c_str());
        return ExitCode::Failure;
    }
    if (!line.Has("--force")) {
        if (const auto held = HeldStrokeFile(folder)) {
            std::fprintf(stderr,
                         "lorvanta-cli: %s already holds stroke file %s; nothing is written "
                         "(--force replaces them)\n",
                         ShownName(folder.string()).c_str(),
                         ShownName(held->filename().string()).c_str());
            return ExitCode::Failure;
        }
    }

    CSampleBank bank;
    if (!LoadKitOption(line, bank))
        return ExitCode::Failure;
    RecordingMessageSink sink;
    const bool ok = WriteStrokeBank(bank, folder, sink);
    PrintMessages(sink);
    return ok ? ExitCode::Ok : ExitCode::Failure;
}

} // namespace

const Command kBankCommand{"bank", kUsage, RunBank};

} // namespace lorvanta::cli
