#include "persistence/TaalFile.h"

#include "model/Text.h"
#include "model/Vibhags.h"
#include "persistence/TaalRecords.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace lorvanta {

namespace {

constexpr float kMinOpenedTempo = 10.0f;
constexpr float kMaxOpenedTempo = 1000.0f;
// Far more than 50,000 bols with long names take; reading more would only
// cost memory.
constexpr std::uint64_t kMaxTaalFileSize = std::uint64_t{64} << 20;

// Reads the records of a legacy file; returns why the file holds no Taal to
// read, if it does not. A file without the magic is only taken as legacy when
// its length fits whole records of a Taal the program could hold.
std::optional<std::string> ReadLegacy(std::span<const std::uint8_t> bytes, std::uint64_t fileLength,
                                      const std::string& fullPath, CLorvantaDoc& doc,
                                      LoadStatus& status, ReadOutcome& outcome) {
    const std::uint64_t records = fileLength / kLegacyRecordSize;
    if (records == 0)
        return messages::kHoldsNoTaal;
    if (records > static_cast<std::uint64_t>(kMaxTaalCount))
        return messages::kHoldsTooManyBols;

    doc.Header() = CFileHeader{CFileHeader::kMagic, 1};
    CTaal& taal = doc.Taal();
    taal.SetName(std::filesystem::path(fullPath).filename().string());
    for (std::uint64_t i = 0; i < records; ++i) {
        const std::uint64_t start = i * kLegacyRecordSize;
        if (start + kLegacyRecordSize > bytes.size())
            throw ArchiveError("the file ends inside legacy record " + std::to_string(i + 1),
                               static_cast<std::size_t>(start));
        auto bol = std::make_unique<CBol2>(BolFromLegacyRecord(
            bytes.subspan(static_cast<std::size_t>(start)).first<kLegacyRecordSize>(), status));
        bol->index = static_cast<std::uint32_t>(i);
        taal.Append(std::move(bol));
    }
    outcome.result = status.valid ? ReadResult::Ok : ReadResult::CheckFailed;
    return std::nullopt;
}

template <typename Read> void InContext(std::string_view context, Read read) {
    try {
        read();
    } catch (ArchiveError& error) {
        error.AddContext(context);
        throw;
    }
}

} // namespace

ReadOutcome ReadTaalDocument(std::span<const std::uint8_t> bytes, const std::string& fullPath,
                             CLorvantaDoc& doc, std::optional<std::uint64_t> fileLength) {
    ReadOutcome outcome;
    LoadStatus status;
    doc.DeleteContents();
    try {
        doc.Params().Reset();
        // Anything that does not start with the magic is taken as legacy records.
        if (bytes.size() < 2 || bytes[0] != 0xAA || bytes[1] != 0xAA) {
            if (auto refusal = ReadLegacy(bytes, fileLength.value_or(bytes.size()), fullPath, doc,
                                          status, outcome)) {
                outcome.structuralError = true;
                outcome.errorDetail = std::move(*refusal);
            }
        } else {
            ArchiveReader reader(bytes, "file");
            CFileHeader header;
            InContext("the header", [&] {
                header.magic = reader.ReadU16("magic number");
                header.version = reader.ReadU16("version");
            });
            doc.Header() = header;
            if (header.version == 4) {
                InContext("the parameters", [&] {
                    doc.Params().defaultTempo = reader.ReadF32("default tempo");
                    reader.ReadBytes(doc.Params().reserved, "reserved block");
                });
                outcome.vibhagsUnreadable =
                    ReadVibhagRecord(doc.Params()).state == VibhagRecordState::Malformed;
            }
            // Versions below 3 hold nothing more; later ones read as version 3.
            if (header.version >= 3)
                ReadTaalRecord(reader, doc.Taal(), status);
            outcome.result =
                (!status.valid || status.repaired) ? ReadResult::CheckFailed : ReadResult::Ok;
        }
    } catch (const ArchiveError& error) {
        outcome.structuralError = true;
        outcome.errorDetail = error.Detail();
    } catch (const std::bad_alloc&) {
        outcome.structuralError = true;
        outcome.errorDetail = "there is not enough memory to hold it";
    }
    outcome.valid = status.valid;
    outcome.repaired = status.repaired;
    if (outcome.structuralError) {
        doc.OnNewDocument();
        return outcome;
    }
    doc.SetEmpty(doc.Taal().Count() == 0);
    doc.SetModified(false);
    return outcome;
}

std::optional<UserMessage> PostReadMessage(const ReadOutcome& outcome,
                                           const std::string& fullPath) {
    if (outcome.structuralError || outcome.result == ReadResult::Ok)
        return std::nullopt;
    const std::string code = FormatDecimal(StatusNumber(outcome.result));
    if (outcome.result == ReadResult::CheckFailed && outcome.repaired)
        return UserMessage{MessageKind::Warning,
                           FormatMessage(messages::kReadRepaired, code, ShownName(fullPath))};
    return UserMessage{MessageKind::Error,
                       FormatMessage(StatusText(outcome.result), code, ShownName(fullPath))};
}

std::optional<UserMessage> VibhagReadMessage(const ReadOutcome& outcome,
                                             const std::string& fullPath) {
    if (outcome.structuralError || !outcome.vibhagsUnreadable)
        return std::nullopt;
    return UserMessage{MessageKind::Warning,
                       FormatMessage(messages::kVibhagsUnreadable, ShownName(fullPath))};
}

std::string StructuralErrorMessage(const std::string& fullPath, const std::string& detail) {
    return FormatMessage("Cannot read file %1: %2.", ShownName(fullPath), detail);
}

std::string FullPathName(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::path full = std::filesystem::absolute(path, error);
    if (error)
        full = path;
    return full.lexically_normal().string();
}

namespace {

// Reads up to limit more bytes of fd into out; returns errno on failure.
int ReadUpTo(int fd, std::uint64_t limit, std::vector<std::uint8_t>& out) {
    std::uint8_t buffer[65536];
    std::uint64_t taken = 0;
    while (taken < limit) {
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buffer, limit - taken));
        const ssize_t got = ::read(fd, buffer, want);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (got == 0)
            break;
        out.insert(out.end(), buffer, buffer + got);
        taken += static_cast<std::uint64_t>(got);
    }
    return 0;
}

struct FileImage {
    std::vector<std::uint8_t> bytes;
    std::optional<std::uint64_t> length; // set when only the start was loaded
};

// Loads a Taal file; returns the reason on failure. Only a regular file is
// read: the file is opened without waiting (a FIFO would block the open) and
// judged before any byte is read. A legacy file with more records than a Taal
// may hold is judged by its length alone, so only its first bytes are loaded;
// any other file larger than a Taal file gets is refused unread.
std::optional<std::string> LoadTaalImage(const std::string& path, FileImage& image) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    struct stat info {};
    std::optional<std::string> problem;
    if (::fstat(fd, &info) != 0)
        problem = std::strerror(errno);
    else if (S_ISDIR(info.st_mode))
        problem = std::strerror(EISDIR);
    else if (!S_ISREG(info.st_mode))
        problem = messages::kNotRegularDetail;
    int code = 0;
    if (!problem) {
        const auto size = static_cast<std::uint64_t>(info.st_size);
        const bool tooLong = size / kLegacyRecordSize > static_cast<std::uint64_t>(kMaxTaalCount);
        code = ReadUpTo(fd, 4, image.bytes);
        const bool legacy =
            image.bytes.size() < 2 || image.bytes[0] != 0xAA || image.bytes[1] != 0xAA;
        if (code == 0 && tooLong && legacy)
            image.length = size;
        else if (code == 0 && size > kMaxTaalFileSize)
            problem = messages::kTooLargeDetail;
        else if (code == 0)
            code = ReadUpTo(fd, kMaxTaalFileSize + 1, image.bytes); // a file growing meanwhile
        if (!problem && code == 0 && image.bytes.size() > kMaxTaalFileSize)
            problem = messages::kTooLargeDetail;
    }
    ::close(fd);
    if (code != 0)
        problem = std::strerror(code);
    return problem;
}

} // namespace

ReadOutcome OpenTaalFile(CLorvantaDoc& doc, const std::filesystem::path& path, MessageSink& sink,
                         OpenedFor use) {
    const std::string fullPath = FullPathName(path);
    ReadOutcome outcome;
    FileImage image;
    std::optional<std::string> loadError;
    try {
        loadError = LoadTaalImage(fullPath, image);
    } catch (const std::bad_alloc&) {
        loadError = "there is not enough memory to hold it";
    }
    if (loadError) {
        outcome.structuralError = true;
        outcome.errorDetail = *loadError;
        doc.OnNewDocument();
    } else {
        outcome = ReadTaalDocument(image.bytes, fullPath, doc, image.length);
    }
    if (outcome.structuralError) {
        sink.Show({MessageKind::Error, StructuralErrorMessage(fullPath, outcome.errorDetail)});
        return outcome;
    }
    if (auto message = PostReadMessage(outcome, fullPath))
        sink.Show(*message);
    if (use == OpenedFor::Document)
        if (auto message = VibhagReadMessage(outcome, fullPath))
            sink.Show(*message);
    doc.SetPathName(fullPath);
    doc.SetTitle(std::filesystem::path(fullPath).filename().string());
    return outcome;
}

bool ApplyOpenedTempoRule(CLorvantaDoc& doc) {
    const float tempo = doc.Params().defaultTempo;
    // Written so that a tempo that is no number is replaced as well.
    if (tempo >= kMinOpenedTempo && tempo <= kMaxOpenedTempo)
        return false;
    doc.Params().defaultTempo = DefaultTempo();
    return true;
}

std::vector<std::uint8_t> WriteTaalDocument(const CLorvantaDoc& doc) {
    ArchiveWriter writer;
    writer.WriteU16(CFileHeader::kMagic);
    writer.WriteU16(CFileHeader::kCurrentVersion);
    writer.WriteF32(doc.Params().defaultTempo);
    writer.WriteBytes(doc.Params().reserved);
    WriteTaalRecord(writer, doc.Taal());
    return writer.Take();
}

bool SaveTaalFile(CLorvantaDoc& doc, const std::filesystem::path& path, SaveFailure& failure) {
    std::vector<std::uint8_t> bytes;
    try {
        bytes = WriteTaalDocument(doc);
    } catch (const std::exception&) {
        failure = {nullptr, std::strerror(ENOMEM)};
        return false;
    }
    if (!WriteFileSafely(path, bytes, failure))
        return false;
    doc.Header() = CFileHeader{};
    doc.SetModified(false);
    doc.SetPathName(FullPathName(path));
    return true;
}

} // namespace lorvanta
