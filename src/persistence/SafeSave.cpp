#include "persistence/SafeSave.h"

#include "model/Messages.h"
#include "model/Text.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lorvanta {

namespace {

// As many links as the system itself follows before giving up.
constexpr int kMaxLinks = 40;

std::optional<std::string> WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return std::strerror(errno);
        }
        done += static_cast<std::size_t>(put);
    }
    return std::nullopt;
}

bool Fail(SaveFailure& failure, int code) {
    failure.refusal = nullptr;
    failure.reason = std::strerror(code);
    return false;
}

// Follows links from path to the file a save replaces; a dangling link names
// the file to create.
bool ResolveTarget(const std::filesystem::path& path, std::filesystem::path& target,
                   SaveFailure& failure) {
    target = path;
    for (int links = 0; links <= kMaxLinks; ++links) {
        struct stat info {};
        if (::lstat(target.c_str(), &info) != 0)
            return errno == ENOENT ? true : Fail(failure, errno);
        if (!S_ISLNK(info.st_mode))
            return true;
        std::error_code error;
        const std::filesystem::path link = std::filesystem::read_symlink(target, error);
        if (error)
            return Fail(failure, error.value());
        target = link.is_absolute() ? link : target.parent_path() / link;
    }
    return Fail(failure, ELOOP);
}

// Checks an existing target; existing is set when there is one.
bool CheckTarget(const std::filesystem::path& target, std::optional<struct stat>& existing,
                 SaveFailure& failure) {
    struct stat info {};
    existing.reset();
    if (::stat(target.c_str(), &info) != 0)
        return errno == ENOENT ? true : Fail(failure, errno);
    if (!S_ISREG(info.st_mode)) {
        failure.refusal = messages::kNotRegularFile;
        return false;
    }
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        failure.refusal = messages::kReadOnlyFile;
        return false;
    }
    existing = info;
    return true;
}

// The name of a temporary beside the target: ".NAME.PID.RANDOM.tmp". The pid
// tells a stale one (its program gone) from one being written.
std::string TemporaryPrefix(const std::filesystem::path& target) {
    return "." + target.filename().string().substr(0, 100) + ".";
}

std::filesystem::path TemporaryName(const std::filesystem::path& folder,
                                    const std::filesystem::path& target, std::uint32_t random) {
    return folder / (TemporaryPrefix(target) + std::to_string(::getpid()) + "." +
                     std::to_string(random) + ".tmp");
}

// The pid a temporary name of this target holds, or 0 when it is not one.
pid_t TemporaryPid(std::string_view name, std::string_view prefix) {
    constexpr std::string_view kSuffix = ".tmp";
    if (!name.starts_with(prefix) || !name.ends_with(kSuffix))
        return 0;
    name = name.substr(prefix.size(), name.size() - prefix.size() - kSuffix.size());
    const auto dot = name.find('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size())
        return 0;
    const auto digits = [](std::string_view text) {
        return text.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if (!digits(name.substr(0, dot)) || !digits(name.substr(dot + 1)) || dot > 9)
        return 0;
    return static_cast<pid_t>(std::stol(std::string(name.substr(0, dot))));
}

// Removes the temporaries of this target that a save killed before its rename
// left behind: ours (same owner), plain files, and their program gone.
void RemoveStaleTemporaries(const std::filesystem::path& folder,
                            const std::filesystem::path& target) {
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0)
        return;
    DIR* listing = ::fdopendir(folderFd);
    if (listing == nullptr) {
        ::close(folderFd);
        return;
    }
    const std::string prefix = TemporaryPrefix(target);
    while (const dirent* entry = ::readdir(listing)) {
        const pid_t pid = TemporaryPid(entry->d_name, prefix);
        // Alive, or another user's (EPERM): not ours to remove.
        if (pid <= 0 || ::kill(pid, 0) == 0 || errno != ESRCH)
            continue;
        struct stat info {};
        if (::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode) && info.st_uid == ::geteuid())
            (void)::unlinkat(folderFd, entry->d_name, 0);
    }
    ::closedir(listing);
}

// A fresh name beside the target, created with O_EXCL so that it is ours.
int CreateTemporary(const std::filesystem::path& folder, const std::filesystem::path& target,
                    std::filesystem::path& temporary, SaveFailure& failure) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = TemporaryName(folder, target, random());
        const int fd =
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST) {
            Fail(failure, errno);
            return -1;
        }
    }
    Fail(failure, EEXIST);
    return -1;
}

// Gives a written unnamed file a fresh name beside the target; errno is left
// as linkat set it when none could be given.
bool NameUnnamed(int fd, const std::filesystem::path& folder, const std::filesystem::path& target,
                 std::filesystem::path& temporary) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = TemporaryName(folder, target, random());
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return true;
        if (errno != EEXIST)
            return false;
    }
    return false;
}

// Writes the content into fd, keeping an existing target's owner and mode.
std::optional<std::string> WriteContent(int fd, const std::optional<struct stat>& existing,
                                        const FileContentWriter& write) {
    if (existing) {
        // Owner first: changing it may clear the mode's set-id bits.
        (void)::fchown(fd, existing->st_uid, existing->st_gid);
        (void)::fchmod(fd, existing->st_mode & 07777);
    }
    std::optional<std::string> problem = write(fd);
    if (!problem && ::fsync(fd) != 0)
        problem = std::strerror(errno);
    return problem;
}

// The content in a named temporary file beside the target, or the reason.
// Written unnamed first where the file system allows it, so that a save killed
// while writing leaves nothing; named only just before the rename.
std::optional<std::string> WriteTemporary(const std::filesystem::path& folder,
                                          const std::filesystem::path& target,
                                          const std::optional<struct stat>& existing,
                                          const FileContentWriter& write,
                                          std::filesystem::path& temporary, SaveFailure& failure) {
    temporary.clear();
    const int unnamed = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (unnamed >= 0) {
        std::optional<std::string> problem = WriteContent(unnamed, existing, write);
        if (problem) {
            ::close(unnamed);
            return problem;
        }
        const bool named = NameUnnamed(unnamed, folder, target, temporary);
        const int namingError = errno;
        if (::close(unnamed) != 0 && named) {
            problem = std::strerror(errno);
            return problem;
        }
        if (named)
            return std::nullopt;
        temporary.clear();
        // Without /proc the unnamed file cannot be linked; write a named one.
        if (namingError == ENOSPC || namingError == EDQUOT || namingError == EROFS)
            return std::strerror(namingError);
    }
    const int fd = CreateTemporary(folder, target, temporary, failure);
    if (fd < 0) {
        temporary.clear();
        return failure.reason;
    }
    std::optional<std::string> problem = WriteContent(fd, existing, write);
    if (::close(fd) != 0 && !problem)
        problem = std::strerror(errno);
    return problem;
}

} // namespace

std::string SaveFailure::Message(std::string_view systemPattern, std::string_view shownPath) const {
    if (refusal)
        return FormatMessage(refusal, ShownName(shownPath));
    return FormatMessage(systemPattern, ShownName(shownPath), reason);
}

namespace {

// One file of a save: its target, checked, and the written temporary.
struct PendingFile {
    std::filesystem::path target;
    std::filesystem::path folder;
    std::optional<struct stat> existing;
    std::filesystem::path temporary;
};

bool Prepare(const std::filesystem::path& path, PendingFile& pending, SaveFailure& failure) {
    if (!ResolveTarget(path, pending.target, failure) ||
        !CheckTarget(pending.target, pending.existing, failure))
        return false;
    pending.folder = pending.target.parent_path();
    if (pending.folder.empty())
        pending.folder = ".";
    RemoveStaleTemporaries(pending.folder, pending.target);
    return true;
}

bool Write(PendingFile& pending, const FileContentWriter& write, SaveFailure& failure) {
    const std::optional<std::string> problem = WriteTemporary(
        pending.folder, pending.target, pending.existing, write, pending.temporary, failure);
    if (!problem)
        return true;
    failure.refusal = nullptr;
    failure.reason = *problem;
    if (!pending.temporary.empty())
        ::unlink(pending.temporary.c_str());
    pending.temporary.clear();
    return false;
}

// Checks the target again (it may have changed while the content was written)
// and renames the temporary over it.
bool Commit(PendingFile& pending, SaveFailure& failure) {
    std::optional<struct stat> now;
    bool ok = CheckTarget(pending.target, now, failure);
    if (ok && ::rename(pending.temporary.c_str(), pending.target.c_str()) != 0)
        ok = Fail(failure, errno);
    if (!ok) {
        ::unlink(pending.temporary.c_str());
        return false;
    }
    // Make the rename itself durable; a failure here loses nothing written.
    const int folderFd = ::open(pending.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        (void)::fsync(folderFd);
        ::close(folderFd);
    }
    return true;
}

} // namespace

bool WriteFileSafely(const std::filesystem::path& path, const FileContentWriter& write,
                     SaveFailure& failure) {
    failure = {};
    PendingFile pending;
    return Prepare(path, pending, failure) && Write(pending, write, failure) &&
           Commit(pending, failure);
}

bool WriteFileSafely(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                     SaveFailure& failure) {
    return WriteFileSafely(
        path, [bytes](int fd) { return WriteAll(fd, bytes); }, failure);
}

bool WriteFilesSafely(std::span<const FileContent> files, SaveFailure& failure,
                      std::size_t& failed) {
    failure = {};
    std::vector<PendingFile> pending(files.size());
    const auto discard = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i)
            ::unlink(pending[i].temporary.c_str());
    };
    for (failed = 0; failed < files.size(); ++failed) {
        if (!Prepare(files[failed].path, pending[failed], failure))
            return false;
    }
    for (failed = 0; failed < files.size(); ++failed) {
        const auto bytes = files[failed].bytes;
        if (!Write(
                pending[failed], [bytes](int fd) { return WriteAll(fd, bytes); }, failure)) {
            discard(0, failed);
            return false;
        }
    }
    for (failed = 0; failed < files.size(); ++failed) {
        if (!Commit(pending[failed], failure)) {
            discard(failed + 1, files.size());
            return false;
        }
    }
    return true;
}

} // namespace lorvanta
