// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Files and folders made inside a folder held open: every name is resolved from the folder's
// descriptor one component at a time, no component may be a link, "..", "." or absolute, so
// nothing another process does to the folder's contents (a sub-folder renamed away and a link
// put in its place) can send a write outside it. Where the kernel has openat2 the walk is one
// call with RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS; a failure is walked again by hand to name
// the component at fault.

#include <sys/types.h>

#include <filesystem>

namespace pictrova {

// A file descriptor that is closed when it goes.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int Release() noexcept;
    void Reset() noexcept;

  private:
    int fd_ = -1;
};

// An open folder, with the path it was opened by for messages. Names given to its operations
// are relative ("sub/x.png"); one that is absolute, empty, or has a ".." or "." component is
// refused (EINVAL), and one that passes through a link is refused with a report naming the link.
// Failures throw FileWriteError naming path() / the name.
class FolderHandle {
  public:
    FolderHandle() = default;

    // Opens `folder` itself, following a link there: the folder the user named. Throws
    // FileWriteError.
    static FolderHandle Open(const std::filesystem::path& folder);

    bool valid() const { return static_cast<bool>(fd_); }
    int fd() const { return fd_.get(); }
    const std::filesystem::path& path() const { return path_; }
    // Another descriptor of the same folder.
    FolderHandle Duplicate() const;

    // The folder `relative` beneath this one (empty: a duplicate of this one).
    FolderHandle OpenFolderBeneath(const std::filesystem::path& relative) const;
    // The same, making each missing folder on the way (mode 0777 before the umask).
    FolderHandle MakeFolderBeneath(const std::filesystem::path& relative) const;
    // Opens the file `relative` with `flags` (O_NOFOLLOW and O_CLOEXEC are added).
    UniqueFd OpenFileBeneath(const std::filesystem::path& relative, int flags,
                             mode_t mode = 0666) const;
    // Whether anything (a link too) has the name `relative`; false when a folder on the way is
    // missing or a link.
    bool ExistsBeneath(const std::filesystem::path& relative) const noexcept;
    // Renames `from` to `to`, both names in this folder itself (no folder part).
    void RenameBeneath(const std::filesystem::path& from, const std::filesystem::path& to) const;
    // Gives the file `from` the second name `to` (both in this folder itself); false when `to`
    // exists.
    bool LinkBeneath(const std::filesystem::path& from, const std::filesystem::path& to) const;
    // Removes the file (or link) `name` in this folder itself; failures are ignored.
    void RemoveBeneath(const std::filesystem::path& name) const noexcept;

  private:
    FolderHandle(UniqueFd fd, std::filesystem::path path)
        : fd_(std::move(fd)), path_(std::move(path)) {}
    FolderHandle Walk(const std::filesystem::path& relative, bool make) const;

    UniqueFd fd_;
    std::filesystem::path path_;
};

// Whether `name` is a name FolderHandle takes: relative, not empty, no "." or ".." component.
bool IsNameBeneath(const std::filesystem::path& name);

}  // namespace pictrova
