#pragma once

// Where the program finds the files it ships with and the user's own files.
// A build tree keeps the data beside the program; an installed program keeps
// it in share/lorvanta of its installation prefix (bin/../share/lorvanta).

#include <filesystem>
#include <string_view>

namespace lorvanta {

// The folder of the running program; empty when it cannot be told.
std::filesystem::path ProgramFolder();

// The first of programFolder/relative and programFolder/../share/lorvanta/relative
// that exists; empty when neither does.
std::filesystem::path FindProgramData(const std::filesystem::path& programFolder,
                                      std::string_view relative);
// The same for the running program.
std::filesystem::path FindProgramData(std::string_view relative);

// The user's own data folder of the program: $XDG_DATA_HOME/lorvanta when that
// variable holds an absolute path, else $HOME/.local/share/lorvanta; empty when
// neither gives a folder. The pointers may be null (variable not set).
std::filesystem::path UserDataFolder(const char* xdgDataHome, const char* home);
// The same from the environment.
std::filesystem::path UserDataFolder();

} // namespace lorvanta
