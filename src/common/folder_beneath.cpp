// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/folder_beneath.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "common/file_io.h"

namespace pictrova {

namespace fs = std::filesystem;

namespace {

// Folders are held by O_PATH descriptors: enough for every *at call, and a folder the user may
// write into but not list is still usable.
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

FileWriteError ThroughLink(const fs::path& file, const fs::path& link) {
    return FileWriteError(file, ELOOP,
                          link.string() + " is a link, and nothing is written through a link");
}

// The whole walk in one call where the kernel has it; -1 (errno set) otherwise or on failure.
int OpenFolderInOneCall(int at, const fs::path& relative) {
#ifdef SYS_openat2
    open_how how{};
    how.flags = kFolderFlags;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    return static_cast<int>(::syscall(SYS_openat2, at, relative.c_str(), &how, sizeof how));
#else
    (void)at;
    (void)relative;
    errno = ENOSYS;
    return -1;
#endif
}

bool IsFolder(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
}

// Why `name` in the folder `at` could not be opened: a link there is named as such.
FileWriteError OpenFailure(int at, const fs::path& name, int code, const fs::path& file,
                           const fs::path& shownAs) {
    struct stat st {};
    if ((code == ELOOP || code == ENOTDIR || code == EEXIST) &&
        ::fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
        return ThroughLink(file, shownAs);
    return FileWriteError(file, code);
}

bool IsSingleName(const fs::path& name) {
    return IsNameBeneath(name) && !name.has_parent_path();
}

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        Reset();
        fd_ = other.Release();
    }
    return *this;
}

int UniqueFd::Release() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void UniqueFd::Reset() noexcept {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool IsNameBeneath(const fs::path& name) {
    if (name.empty() || name.is_absolute())
        return false;
    for (const fs::path& part : name) {
        // "a//b" and "a/" give empty parts: harmless, skipped by the walk.
        if (part == "." || part == "..")
            return false;
    }
    return true;
}

FolderHandle FolderHandle::Open(const fs::path& folder) {
    const fs::path shown = folder.empty() ? fs::path(".") : folder;
    UniqueFd fd(::open(shown.c_str(), kFolderFlags));
    if (!fd)
        throw FileWriteError(shown, errno);
    return FolderHandle(std::move(fd), folder);
}

FolderHandle FolderHandle::Duplicate() const {
    UniqueFd fd(::fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0));
    if (!fd)
        throw FileWriteError(path_, errno);
    return FolderHandle(std::move(fd), path_);
}

FolderHandle FolderHandle::OpenFolderBeneath(const fs::path& relative) const {
    return Walk(relative, false);
}

FolderHandle FolderHandle::MakeFolderBeneath(const fs::path& relative) const {
    return Walk(relative, true);
}

FolderHandle FolderHandle::Walk(const fs::path& relative, bool make) const {
    if (relative.empty())
        return Duplicate();
    const fs::path target = path_ / relative;
    if (!IsNameBeneath(relative))
        throw FileWriteError(target, EINVAL);
    if (!make) {
        UniqueFd fd(OpenFolderInOneCall(fd_.get(), relative));
        if (fd)
            return FolderHandle(std::move(fd), target);
        // Walked again by hand, so a failure names the component at fault.
    }
    FolderHandle current = Duplicate();
    for (const fs::path& part : relative) {
        if (part.empty())
            continue;
        const fs::path shown = current.path_ / part;
        UniqueFd next(::openat(current.fd(), part.c_str(), kFolderFlags | O_NOFOLLOW));
        if (!next && errno == ENOENT && make) {
            if (::mkdirat(current.fd(), part.c_str(), 0777) != 0 && errno != EEXIST)
                throw FileWriteError(shown, errno);
            next = UniqueFd(::openat(current.fd(), part.c_str(), kFolderFlags | O_NOFOLLOW));
        }
        if (!next)
            throw OpenFailure(current.fd(), part, errno, target, shown);
        // O_PATH with O_NOFOLLOW may open a link itself; O_DIRECTORY should refuse it, and
        // this makes sure.
        if (!IsFolder(next.get()))
            throw OpenFailure(current.fd(), part, ENOTDIR, target, shown);
        current = FolderHandle(std::move(next), shown);
    }
    return current;
}

UniqueFd FolderHandle::OpenFileBeneath(const fs::path& relative, int flags, mode_t mode) const {
    const fs::path target = path_ / relative;
    if (!IsNameBeneath(relative) || !relative.has_filename())
        throw FileWriteError(target, EINVAL);
    const FolderHandle parent = Walk(relative.parent_path(), false);
    const fs::path name = relative.filename();
    UniqueFd fd(::openat(parent.fd(), name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!fd)
        throw OpenFailure(parent.fd(), name, errno, target, target);
    return fd;
}

bool FolderHandle::ExistsBeneath(const fs::path& relative) const noexcept {
    try {
        if (!IsNameBeneath(relative) || !relative.has_filename())
            return false;
        const FolderHandle parent = Walk(relative.parent_path(), false);
        struct stat st {};
        return ::fstatat(parent.fd(), relative.filename().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    } catch (...) {
        return false;
    }
}

void FolderHandle::RenameBeneath(const fs::path& from, const fs::path& to) const {
    if (!IsSingleName(from) || !IsSingleName(to))
        throw FileWriteError(path_ / to, EINVAL);
    if (::renameat(fd_.get(), from.c_str(), fd_.get(), to.c_str()) != 0)
        throw FileWriteError(path_ / to, errno);
}

bool FolderHandle::LinkBeneath(const fs::path& from, const fs::path& to) const {
    if (!IsSingleName(from) || !IsSingleName(to))
        throw FileWriteError(path_ / to, EINVAL);
    // Without AT_SYMLINK_FOLLOW: a link at `from` would be linked itself, never its target.
    if (::linkat(fd_.get(), from.c_str(), fd_.get(), to.c_str(), 0) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    throw FileWriteError(path_ / to, errno);
}

void FolderHandle::RemoveBeneath(const fs::path& name) const noexcept {
    if (IsSingleName(name))
        ::unlinkat(fd_.get(), name.c_str(), 0);
}

}  // namespace pictrova
