#include "model/BolDictionary.h"

#include "model/Messages.h"
#include "model/ProgramData.h"
#include "model/Text.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace lorvanta {

namespace {

std::string FieldText(std::string_view text) {
    return std::string(text.substr(0, BolTableEntry::kMaxText));
}

BolTableEntry MakeEntry(std::string_view name, std::string_view pitch, std::string_view bass) {
    BolTableEntry entry;
    entry.name = FieldText(name);
    entry.pitchSoundName = FieldText(pitch);
    entry.bassSoundName = FieldText(bass);
    entry.pitchSoundId = ResolveSoundName(entry.pitchSoundName, SoundTable::Pitch);
    entry.bassSoundId = ResolveSoundName(entry.bassSoundName, SoundTable::Bass);
    return entry;
}

constexpr std::string_view kPakhawajPrefix = "Pakhawaj:";

// A line becomes an entry only when it holds "=" and, after it, "+". A name
// starting "Pakhawaj:" makes the rest of it a bol of the pakhawaj.
void AddLine(std::string_view line, BolFileEntries& out) {
    const auto equals = line.find('=');
    if (equals == std::string_view::npos)
        return;
    const auto rest = line.substr(equals + 1);
    const auto plus = rest.find('+');
    if (plus == std::string_view::npos)
        return;
    std::string_view name = Trim(line.substr(0, equals));
    std::vector<BolTableEntry>* slot = &out.tabla;
    if (name.size() >= kPakhawajPrefix.size() &&
        EqualsIgnoringCase(name.substr(0, kPakhawajPrefix.size()), kPakhawajPrefix)) {
        name = Trim(name.substr(kPakhawajPrefix.size()));
        slot = &out.pakhawaj;
    }
    slot->push_back(MakeEntry(name, Trim(rest.substr(0, plus)), Trim(rest.substr(plus + 1))));
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

BolFileState StateOf(const struct stat& info) {
    if (!S_ISREG(info.st_mode))
        return BolFileState::NotRegular;
    if (static_cast<std::uintmax_t>(info.st_size) > kMaxBolFileSize)
        return BolFileState::TooLarge;
    return BolFileState::Readable;
}

} // namespace

BolFileState InspectBolFile(const std::filesystem::path& bolFile) {
    struct stat info {};
    if (::stat(bolFile.c_str(), &info) != 0)
        return BolFileState::Missing;
    return StateOf(info);
}

void ReadBolFile(const std::filesystem::path& bolFile, BolFileEntries& out,
                 std::vector<std::size_t>* skipped) {
    // Opened without waiting and judged by what was opened, not by its name.
    const int fd = ::open(bolFile.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat info {};
    std::unique_ptr<std::FILE, FileCloser> file;
    if (::fstat(fd, &info) == 0 && StateOf(info) == BolFileState::Readable)
        file.reset(::fdopen(fd, "r"));
    if (!file) {
        ::close(fd);
        return;
    }
    // Lines are read in pieces of at most 2047 characters; each piece is a line
    // of its own, as the dictionary format has always been read. A file that
    // grows while it is read is read no further than the limit.
    char buffer[2048];
    std::uintmax_t taken = 0;
    std::size_t lineNumber = 1;
    while (taken <= kMaxBolFileSize && std::fgets(buffer, sizeof buffer, file.get()) != nullptr) {
        const std::size_t length = std::strlen(buffer);
        taken += length == 0 ? 1 : length;
        const std::string_view line(buffer, length);
        if (IsValidUtf8(line))
            AddLine(line, out);
        else if (skipped && (skipped->empty() || skipped->back() != lineNumber))
            skipped->push_back(lineNumber);
        if (line.ends_with('\n'))
            ++lineNumber;
    }
}

BolTableStatus BolDictionary::Load(const std::filesystem::path& bolFile) {
    return Load(std::vector<std::filesystem::path>{bolFile});
}

BolTableStatus BolDictionary::Load(const std::vector<std::filesystem::path>& bolFiles) {
    m_slots = {};
    m_skipped.clear();
    try {
        BolFileEntries entries;
        for (const auto& bolFile : bolFiles) {
            BolFileLines skipped{bolFile, {}};
            ReadBolFile(bolFile, entries, &skipped.lines);
            if (!skipped.lines.empty())
                m_skipped.push_back(std::move(skipped));
        }
        // The built-in bols follow each slot's own, so that the pakhawaj
        // finds Silence and the plain strokes too.
        const auto addBuiltIns = [](std::vector<BolTableEntry>& slot) {
            for (const auto& row : BuiltInBols())
                slot.push_back(MakeEntry(row.name, row.pitchSound, row.bassSound));
        };
        const bool hasPakhawaj = !entries.pakhawaj.empty();
        addBuiltIns(entries.tabla);
        if (hasPakhawaj)
            addBuiltIns(entries.pakhawaj);
        m_slots[Tabla] = Slot{true, std::move(entries.tabla)};
        if (hasPakhawaj)
            m_slots[Pakhawaj] = Slot{true, std::move(entries.pakhawaj)};
        return BolTableStatus::Ok;
    } catch (const std::bad_alloc&) {
        m_slots = {};
        m_skipped.clear();
        return BolTableStatus::OutOfMemory;
    }
}

const BolDictionary::Slot& BolDictionary::GetSlot(Instrument instrument) const {
    return m_slots[instrument == Pakhawaj ? 1 : 0];
}

const BolTableEntry* BolDictionary::FindBol(Instrument instrument, std::string_view name) const {
    const Slot& slot = GetSlot(instrument);
    if (!slot.loaded)
        return nullptr;
    for (const auto& entry : slot.entries) {
        if (EqualsIgnoringCase(entry.name, name))
            return &entry;
    }
    return nullptr;
}

void BolDictionary::Clear() {
    m_slots = {};
}

std::string BolTableFailureText(BolTableStatus status) {
    return FormatMessage(StatusText(status), FormatDecimal(StatusNumber(status)) + ", 0");
}

std::optional<std::string> SkippedLinesText(const std::vector<BolFileLines>& skipped) {
    if (skipped.empty())
        return std::nullopt;
    std::string text = "Lines of the bol table not used, as they are not UTF-8 text:";
    for (const BolFileLines& file : skipped) {
        text += "\n" + ShownName(file.file.string()) + ": line";
        text += file.lines.size() > 1 ? "s " : " ";
        for (std::size_t i = 0; i < file.lines.size(); ++i) {
            if (i > 0)
                text += i + 1 == file.lines.size() ? " and " : ", ";
            text += FormatDecimal(static_cast<long long>(file.lines[i]));
        }
    }
    return text;
}

BolDictionary& ProcessBolDictionary() {
    static BolDictionary dictionary;
    return dictionary;
}

BolTableStatus LoadBolTable(const std::filesystem::path& bolFile) {
    return ProcessBolDictionary().Load(bolFile);
}

BolTableStatus LoadBolTable(const std::vector<std::filesystem::path>& bolFiles) {
    return ProcessBolDictionary().Load(bolFiles);
}

namespace {

constexpr std::string_view kBolTableName = "Tabla Bols.txt";

std::filesystem::path ProgramBolTablePath(const std::filesystem::path& programFolder) {
    if (programFolder.empty())
        return std::filesystem::path(kBolTableName);
    const auto found = FindProgramData(programFolder, kBolTableName);
    return found.empty() ? programFolder / kBolTableName : found;
}

} // namespace

std::filesystem::path DefaultBolTablePath() {
    return ProgramBolTablePath(ProgramFolder());
}

std::vector<std::filesystem::path> BolTableFiles(const std::filesystem::path& programFolder,
                                                 const std::filesystem::path& userDataFolder) {
    std::vector<std::filesystem::path> files;
    if (!userDataFolder.empty())
        files.push_back(userDataFolder / kBolTableName);
    files.push_back(ProgramBolTablePath(programFolder));
    return files;
}

std::vector<std::filesystem::path> DefaultBolTableFiles() {
    return BolTableFiles(ProgramFolder(), UserDataFolder());
}

const BolTableEntry* FindBol(Instrument instrument, std::string_view name) {
    return ProcessBolDictionary().FindBol(instrument, name);
}

} // namespace lorvanta
