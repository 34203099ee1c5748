// lorvanta-cli: the core of Lorvanta without a window.
#include "Commands.h"

#include "model/BolDictionary.h"
#include "model/Messages.h"
#include "model/Text.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace lorvanta;
using namespace lorvanta::cli;

namespace {

void PrintUsage() {
    std::fprintf(stderr, "usage: lorvanta-cli [--bol-table PATH] COMMAND ARGS...\n");
    for (const Command& command : AllCommands())
        std::fprintf(stderr, "       lorvanta-cli %s\n", command.usage);
}

ExitCode Run(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    // Without --bol-table: the user's own dictionary file, then the program's.
    std::vector<std::filesystem::path> bolTables = DefaultBolTableFiles();

    // --bol-table may stand anywhere on the line; take it out before dispatching.
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--bol-table") {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "lorvanta-cli: option --bol-table needs a value\n");
                PrintUsage();
                return ExitCode::Usage;
            }
            bolTables = {args[++i]};
            // A table named on the command line must be there to be read; it
            // is judged without opening it, so a FIFO never blocks the tool.
            switch (InspectBolFile(bolTables.front())) {
            case BolFileState::Readable:
                break;
            case BolFileState::Missing:
                std::fprintf(stderr, "lorvanta-cli: bol table %s does not exist\n",
                             ShownName(args[i]).c_str());
                PrintUsage();
                return ExitCode::Usage;
            case BolFileState::NotRegular:
                std::fprintf(stderr, "lorvanta-cli: bol table %s is not a regular file\n",
                             ShownName(args[i]).c_str());
                PrintUsage();
                return ExitCode::Usage;
            case BolFileState::TooLarge:
                std::fprintf(stderr, "lorvanta-cli: bol table %s is larger than 1 MB\n",
                             ShownName(args[i]).c_str());
                return ExitCode::Failure;
            }
        } else {
            rest.push_back(args[i]);
        }
    }
    if (rest.empty()) {
        PrintUsage();
        return ExitCode::Usage;
    }
    if (const BolTableStatus status = LoadBolTable(bolTables); status != BolTableStatus::Ok) {
        std::fprintf(stderr, "%s\n", BolTableFailureText(status).c_str());
        return ExitCode::Failure;
    }
    if (const auto skipped = SkippedLinesText(ProcessBolDictionary().SkippedLines()))
        std::fprintf(stderr, "lorvanta-cli: %s\n", skipped->c_str());
    const std::string name = rest.front();
    rest.erase(rest.begin());
    for (const Command& command : AllCommands()) {
        if (name == command.name)
            return command.run(rest);
    }
    std::fprintf(stderr, "lorvanta-cli: unknown command %s\n", ShownName(name).c_str());
    PrintUsage();
    return ExitCode::Usage;
}

} // namespace

int main(int argc, char** argv) {
    return StatusNumber(Run(argc, argv));
}
