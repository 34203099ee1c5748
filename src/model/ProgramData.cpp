#include "model/ProgramData.h"

#include <cstdlib>
#include <system_error>

namespace lorvanta {

namespace {

bool Exists(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

} // namespace

std::filesystem::path ProgramFolder() {
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    return program.parent_path();
}

std::filesystem::path FindProgramData(const std::filesystem::path& programFolder,
                                      std::string_view relative) {
    if (programFolder.empty())
        return {};
    const std::filesystem::path beside = programFolder / relative;
    if (Exists(beside))
        return beside;
    const std::filesystem::path installed =
        (programFolder / ".." / "share" / "lorvanta" / relative).lexically_normal();
    if (Exists(installed))
        return installed;
    return {};
}

std::filesystem::path FindProgramData(std::string_view relative) {
    return FindProgramData(ProgramFolder(), relative);
}

std::filesystem::path UserDataFolder(const char* xdgDataHome, const char* home) {
    // A relative XDG_DATA_HOME is invalid and is ignored, as the base
    // directory rules ask.
    if (xdgDataHome != nullptr && std::filesystem::path(xdgDataHome).is_absolute())
        return std::filesystem::path(xdgDataHome) / "lorvanta";
    if (home != nullptr && *home != '\0')
        return std::filesystem::path(home) / ".local" / "share" / "lorvanta";
    return {};
}

std::filesystem::path UserDataFolder() {
    return UserDataFolder(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
}

} // namespace lorvanta
