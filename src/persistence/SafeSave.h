#pragma once

// The one way the program writes a file: never half written, never over
// something that is not a plain file the user may write.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace lorvanta {

// Why a save did not happen.
struct SaveFailure {
    // The refusal's message pattern (%1 = the target) when the target was
    // refused before anything was written; null for a failure of the system.
    const char* refusal = nullptr;
    std::string reason; // the system's reason, for a failure of the system

    // The message to show: the refusal, or systemPattern with %1 = shownPath
    // and %2 = the reason.
    std::string Message(std::string_view systemPattern, std::string_view shownPath) const;
};

// Writes the file's content to fd; returns the reason when it cannot.
using FileContentWriter = std::function<std::optional<std::string>(int fd)>;

// Replaces the file at path with what write puts into a temporary file in the
// target's folder, synced to disk and renamed over the target. The temporary
// is written unnamed (O_TMPFILE) where the file system allows it and named
// only just before the rename, so a save killed while writing leaves nothing;
// elsewhere it has a unique name created exclusively, and the temporaries of
// the target that killed saves left are removed at the next save of it. A link at path is followed:
// the file it points to is replaced (created, when the link dangles) and the link stays. A target
// that exists and is not a regular file, or has no write permission bit, is
// refused and nothing is written. A replaced file keeps its mode and, where
// the system allows, its owner and group. On any failure the temporary file
// is removed and the target is as it was.
bool WriteFileSafely(const std::filesystem::path& path, const FileContentWriter& write,
                     SaveFailure& failure);
bool WriteFileSafely(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                     SaveFailure& failure);

struct FileContent {
    std::filesystem::path path;
    std::span<const std::uint8_t> bytes;
};

// Several files saved as one: every temporary is written before any is
// renamed, so a full disk or a refused target changes none of them. failed is
// the index of the file that failed.
bool WriteFilesSafely(std::span<const FileContent> files, SaveFailure& failure,
                      std::size_t& failed);

} // namespace lorvanta
