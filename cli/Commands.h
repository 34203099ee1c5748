#pragma once

#include "CliCommon.h"

namespace lorvanta::cli {

// Each command gets the arguments after its name, with the shared options
// (--bol-table) already applied, and returns the process exit code.
struct Command {
    const char* name;
    const char* usage;
    ExitCode (*run)(const std::vector<std::string>& args);
};

// The commands, each defined in its own file.
extern const Command kDumpCommand;
extern const Command kConvertCommand;
extern const Command kRenderCommand;
extern const Command kBankCommand;
extern const Command kNotationCommand;
extern const Command kParseCommand;
extern const Command kComposeCommand;
extern const Command kPlayCommand;
extern const Command kEditCommand;
extern const Command kDroneCommand;
extern const Command kLehraCommand;
extern const Command kDevicesCommand;

// Every command of the tool, in the order the usage text lists them.
const std::vector<Command>& AllCommands();

} // namespace lorvanta::cli
