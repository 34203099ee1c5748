#include "Commands.h"

namespace lorvanta::cli {

// Commands live in their own files; each adds one line here.
const std::vector<Command>& AllCommands() {
    static const std::vector<Command> commands = {
        kDumpCommand,     kConvertCommand, kRenderCommand,  kBankCommand,
        kNotationCommand, kParseCommand,   kComposeCommand, kPlayCommand,
        kEditCommand,     kDroneCommand,   kLehraCommand,
        kDevicesCommand,
    };
    return commands;
}

} // namespace lorvanta::cli
