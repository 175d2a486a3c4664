// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <system_error>

namespace pictrova {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTemporaryPrefix = ".pictrova-";
constexpr std::string_view kTemporarySuffix = ".part";
// O_EXCL refuses a name that exists; with 64 random bits a clash is a planted file or a fault.
constexpr int kNameAttempts = 16;

// Sixteen hex digits from the kernel's random source.
std::string RandomWord() {
    std::array<unsigned char, 8> bytes{};
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = getrandom(bytes.data() + got, bytes.size() - got, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw FileWriteError({}, errno);
        }
        got += static_cast<std::size_t>(n);
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string word;
    for (unsigned char b : bytes) {
        word += kHex[b >> 4];
        word += kHex[b & 0xF];
    }
    return word;
}

// Writes all of `bytes` to `fd`; the errno of the failure, or 0.
int WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

// The pid a temporary's name carries: ".pictrova-PID-..." (also the older
// ".pictrova-PID-RECORD.ext").
pid_t WriterOf(std::string_view name) {
    if (!name.starts_with(kTemporaryPrefix))
        return 0;
    name.remove_prefix(kTemporaryPrefix.size());
    pid_t pid = 0;
    std::size_t digits = 0;
    for (char c : name) {
        if (c < '0' || c > '9')
            break;
        if (++digits > 9)
            return 0;
        pid = pid * 10 + (c - '0');
    }
    if (digits == 0 || digits >= name.size() || name[digits] != '-')
        return 0;
    return pid;
}

}  // namespace

FileWriteError::FileWriteError(const fs::path& file, int code)
    : FileWriteError(file, code, std::strerror(code)) {}

FileWriteError::FileWriteError(const fs::path& file, int code, std::string reason)
    : Error("Cannot write " + file.string() + ": " + reason),
      file_(file),
      code_(code),
      reason_(std::move(reason)) {}

bool FileWriteError::outOfRoom() const noexcept {
    return code_ == ENOSPC || code_ == EDQUOT || code_ == EROFS;
}

namespace {

void WriteFileOpenedWith(int flags, std::span<const std::uint8_t> bytes, const fs::path& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | flags, 0666);
    if (fd < 0)
        throw FileWriteError(path, errno);
    int error = WriteAll(fd, bytes);
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0)
        throw FileWriteError(path, error);
}

}  // namespace

void WriteWholeFile(std::span<const std::uint8_t> bytes, const fs::path& path) {
    WriteFileOpenedWith(O_TRUNC, bytes, path);
}

void WriteNewFile(std::span<const std::uint8_t> bytes, const fs::path& path) {
    WriteFileOpenedWith(O_EXCL, bytes, path);
}

void AtomicFile::Begin(const fs::path& finalPath) {
    Discard();
    final_ = finalPath;
    flushed_ = false;
    try {
        folder_ = FolderHandle::Open(finalPath.parent_path());
    } catch (const FileWriteError& e) {
        throw FileWriteError(finalPath, e.code());
    }
    CreateTemporary();
}

void AtomicFile::Begin(const FolderHandle& folder, const fs::path& relative) {
    Discard();
    final_ = folder.path() / relative;
    flushed_ = false;
    if (!IsNameBeneath(relative) || !relative.has_filename())
        throw FileWriteError(final_, EINVAL);
    try {
        folder_ = folder.OpenFolderBeneath(relative.parent_path());
    } catch (const FileWriteError& e) {
        throw FileWriteError(final_, e.code(), e.reason());
    }
    CreateTemporary();
}

void AtomicFile::CreateTemporary() {
    const std::string pid = std::to_string(::getpid());
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        fs::path name = std::string(kTemporaryPrefix) + pid + "-" + RandomWord() +
                        std::string(kTemporarySuffix);
        const int fd = ::openat(folder_.fd(), name.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = fd;
            temporary_ = folder_.path() / name;
            temporaryName_ = std::move(name);
            // Held until the file is closed: a later run's clean-up leaves a locked file alone.
            ::flock(fd_, LOCK_EX | LOCK_NB);
            return;
        }
        if (errno != EEXIST)
            throw FileWriteError(final_, errno);
    }
    throw FileWriteError(final_, EEXIST);
}

void AtomicFile::Write(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0)
        throw FileWriteError(final_, EBADF);
    if (const int error = WriteAll(fd_, bytes))
        throw FileWriteError(final_, error);
}

void AtomicFile::CopyFrom(const fs::path& source) {
    if (fd_ < 0)
        throw FileWriteError(final_, EBADF);
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        throw Error("Cannot read " + source.string() + ": " + std::strerror(errno));
    std::array<std::uint8_t, 64 * 1024> buffer{};
    while (true) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(in);
            throw Error("Cannot read " + source.string() + ": " + std::strerror(error));
        }
        if (const int error =
                WriteAll(fd_, std::span(buffer.data(), static_cast<std::size_t>(n)))) {
            ::close(in);
            throw FileWriteError(final_, error);
        }
    }
    ::close(in);
}

// The data reaches the disk before the name does, so a crash never leaves a short file under
// the final name. A full disk or quota may show only here (delayed allocation, NFS).
void AtomicFile::Finish() {
    if (flushed_)
        return;
    if (fd_ < 0)
        throw FileWriteError(final_, EBADF);
    int error = 0;
    if (::fsync(fd_) != 0 && errno != EINVAL)
        error = errno;
    if (::close(fd_) != 0 && error == 0 && errno != EINTR)
        error = errno;
    fd_ = -1;
    if (error != 0)
        throw FileWriteError(final_, error);
    flushed_ = true;
}

void AtomicFile::Commit() {
    Finish();
    if (::renameat(folder_.fd(), temporaryName_.c_str(), folder_.fd(), final_.filename().c_str()) !=
        0)
        throw FileWriteError(final_, errno);
    temporary_.clear();
    temporaryName_.clear();
}

bool AtomicFile::CommitWithoutReplacing(const fs::path& finalPath) {
    Finish();
    // The folder is the one held open: another folder's name could lead anywhere.
    if (finalPath.parent_path() != final_.parent_path() || !finalPath.has_filename())
        throw FileWriteError(finalPath, EXDEV);
    // A hard link fails when the name is taken, which a test for the name followed by a rename
    // could not promise while another run writes into the same folder.
    try {
        if (!folder_.LinkBeneath(temporaryName_, finalPath.filename()))
            return false;
    } catch (const FileWriteError& e) {
        throw FileWriteError(finalPath, e.code());
    }
    folder_.RemoveBeneath(temporaryName_);
    temporary_.clear();
    temporaryName_.clear();
    final_ = finalPath;
    return true;
}

void AtomicFile::Discard() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporaryName_.empty()) {
        folder_.RemoveBeneath(temporaryName_);
        temporary_.clear();
        temporaryName_.clear();
    }
}

void WriteFileAtomically(std::span<const std::uint8_t> bytes, const fs::path& path) {
    AtomicFile file(path);
    file.Write(bytes);
    file.Commit();
}

int RemoveLeftoverTemporaries(const fs::path& folder) noexcept {
    try {
        return RemoveLeftoverTemporaries(FolderHandle::Open(folder));
    } catch (const std::exception&) {
        return 0;
    }
}

int RemoveLeftoverTemporaries(const FolderHandle& folder) noexcept {
    const int listing = ::openat(folder.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0)
        return 0;
    DIR* entries = ::fdopendir(listing);
    if (entries == nullptr) {
        ::close(listing);
        return 0;
    }
    int removed = 0;
    while (const dirent* entry = ::readdir(entries)) {
        const std::string_view name = entry->d_name;
        const pid_t writer = WriterOf(name);
        if (writer <= 0 || writer == ::getpid())
            continue;
        // A pid that names a process (or one we may not signal) may be the writer: kept.
        if (::kill(writer, 0) == 0 || errno != ESRCH)
            continue;
        const int fd =
            ::openat(folder.fd(), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st {};
        const bool ours = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
        // The lock is held by a writer in another pid namespace that shares the folder.
        if (ours && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::unlinkat(folder.fd(), entry->d_name, 0) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(entries);
    return removed;
}

}  // namespace pictrova
