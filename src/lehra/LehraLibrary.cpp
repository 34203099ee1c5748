#include "lehra/LehraLibrary.h"
#include "model/Text.h"

#include "model/ProgramData.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

namespace lorvanta {

namespace {

std::string Warning(const std::filesystem::path& file, int line, const std::string& text) {
    std::string warning = "Lehra file " + file.string();
    if (line > 0)
        warning += ", line " + std::to_string(line);
    return warning + ": " + text + "; it is not played.";
}

} // namespace

std::vector<std::filesystem::path> LehraLibrary::DefaultFolders() {
    std::vector<std::filesystem::path> folders;
    if (auto bundled = FindProgramData("Lehras"); !bundled.empty())
        folders.push_back(std::move(bundled));
    if (auto user = UserDataFolder(); !user.empty())
        folders.push_back(user / "Lehras");
    return folders;
}

LehraLibrary LehraLibrary::Load(const std::vector<std::filesystem::path>& folders) {
    LehraLibrary library;
    for (const auto& folder : folders) {
        std::error_code error;
        std::vector<std::filesystem::path> files;
        for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            if (it->path().extension() == ".lehra")
                files.push_back(it->path());
        }
        std::ranges::sort(files);
        for (const auto& file : files) {
            const auto size = std::filesystem::file_size(file, error);
            if (error || size > kMaxLehraFileBytes) {
                library.m_warnings.push_back(
                    Warning(file, 0, error ? "it cannot be read" : "it is too large"));
                continue;
            }
            std::ifstream in(file, std::ios::binary);
            std::ostringstream text;
            text << in.rdbuf();
            if (!in && !in.eof()) {
                library.m_warnings.push_back(Warning(file, 0, "it cannot be read"));
                continue;
            }
            LehraParse parse = ParseLehra(text.str());
            if (!parse.lehra) {
                const LehraProblem& first = parse.problems.front();
                library.m_warnings.push_back(Warning(file, first.line, first.text));
                continue;
            }
            library.Add({std::move(*parse.lehra), file});
        }
    }
    return library;
}

void LehraLibrary::Add(LehraEntry entry) {
    const auto same = std::ranges::find_if(m_lehras, [&](const LehraEntry& e) {
        return EqualsIgnoringCase(e.lehra.name, entry.lehra.name);
    });
    if (same != m_lehras.end())
        *same = std::move(entry);
    else
        m_lehras.push_back(std::move(entry));
}

const LehraEntry* LehraLibrary::Find(std::string_view name) const {
    for (const LehraEntry& entry : m_lehras) {
        if (EqualsIgnoringCase(entry.lehra.name, name) ||
            EqualsIgnoringCase(entry.file.stem().string(), name))
            return &entry;
    }
    return nullptr;
}

std::vector<const LehraEntry*> LehraLibrary::Fitting(double taalBeats) const {
    std::vector<const LehraEntry*> fitting;
    for (int cycles = 1; cycles <= 2; ++cycles) {
        for (const LehraEntry& entry : m_lehras) {
            if (entry.lehra.CyclesOf(taalBeats) == cycles)
                fitting.push_back(&entry);
        }
    }
    return fitting;
}

const LehraEntry* LehraLibrary::Auto(double taalBeats, std::string_view taalName) const {
    const auto fitting = Fitting(taalBeats);
    if (fitting.empty())
        return nullptr;
    const std::string taal = ToLower(taalName);
    if (!taal.empty()) {
        for (const LehraEntry* entry : fitting) {
            if (ToLower(entry->lehra.name).find(taal) != std::string::npos)
                return entry;
        }
    }
    return fitting.front();
}

} // namespace lorvanta
