// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Which file a path names, and in which state: device, inode, size and modification time. Two
// equal identities are the same file, not written to in between (as far as its times tell).

#include <sys/stat.h>

#include <optional>
#include <string>

namespace pictrova::database {

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    friend bool operator==(const FileIdentity& a, const FileIdentity& b) {
        return a.device == b.device && a.inode == b.inode && a.size == b.size &&
               a.modified.tv_sec == b.modified.tv_sec && a.modified.tv_nsec == b.modified.tv_nsec;
    }
};

inline FileIdentity IdentityOf(const struct stat& status) {
    return {status.st_dev, status.st_ino, status.st_size, status.st_mtim};
}

// nullopt when nothing can be read at the path.
inline std::optional<FileIdentity> IdentityAt(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return std::nullopt;
    return IdentityOf(status);
}

inline std::optional<FileIdentity> IdentityOfOpenFile(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        return std::nullopt;
    return IdentityOf(status);
}

}  // namespace pictrova::database
