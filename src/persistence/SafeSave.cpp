#include "persistence/SafeSave.h"

#include "model/Messages.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
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

// A fresh name beside the target, created with O_EXCL so that it is ours.
int CreateTemporary(const std::filesystem::path& folder, const std::filesystem::path& target,
                    std::filesystem::path& temporary, SaveFailure& failure) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = folder / ("." + target.filename().string().substr(0, 100) + "." +
                              std::to_string(::getpid()) + "." + std::to_string(random()) + ".tmp");
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

} // namespace

std::string SaveFailure::Message(std::string_view systemPattern, std::string_view shownPath) const {
    if (refusal)
        return FormatMessage(refusal, shownPath);
    return FormatMessage(systemPattern, shownPath, reason);
}

bool WriteFileSafely(const std::filesystem::path& path, const FileContentWriter& write,
                     SaveFailure& failure) {
    failure = {};
    std::filesystem::path target;
    std::optional<struct stat> existing;
    if (!ResolveTarget(path, target, failure) || !CheckTarget(target, existing, failure))
        return false;
    std::filesystem::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";

    std::filesystem::path temporary;
    const int fd = CreateTemporary(folder, target, temporary, failure);
    if (fd < 0)
        return false;
    if (existing) {
        // Owner first: changing it may clear the mode's set-id bits.
        (void)::fchown(fd, existing->st_uid, existing->st_gid);
        (void)::fchmod(fd, existing->st_mode & 07777);
    }
    std::optional<std::string> problem = write(fd);
    if (!problem && ::fsync(fd) != 0)
        problem = std::strerror(errno);
    if (::close(fd) != 0 && !problem)
        problem = std::strerror(errno);
    // The target may have changed while the content was written.
    std::optional<struct stat> now;
    bool ok = !problem && CheckTarget(target, now, failure);
    if (ok && ::rename(temporary.c_str(), target.c_str()) != 0)
        problem = std::strerror(errno);
    if (problem) {
        failure.refusal = nullptr;
        failure.reason = *problem;
        ok = false;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    // Make the rename itself durable; a failure here loses nothing written.
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        (void)::fsync(folderFd);
        ::close(folderFd);
    }
    return true;
}

bool WriteFileSafely(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                     SaveFailure& failure) {
    return WriteFileSafely(
        path, [bytes](int fd) { return WriteAll(fd, bytes); }, failure);
}

} // namespace lorvanta
