// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A real file system of a few bytes for the tests of a full disk: a tmpfs of `bytes` mounted
// over a folder for the life of the object. Mounting needs root (CI runs as root); the tests
// skip where it cannot be made.

#include <sys/mount.h>
#include <unistd.h>

#include <cstddef>
#include <filesystem>
#include <string>

namespace pictrova::testing {

class SmallFileSystem {
  public:
    SmallFileSystem(const std::filesystem::path& folder, std::size_t bytes) : folder_(folder) {
        mounted_ = geteuid() == 0 &&
                   mount("tmpfs", folder.c_str(), "tmpfs", 0, Options(bytes).c_str()) == 0;
    }
    ~SmallFileSystem() {
        if (mounted_)
            umount2(folder_.c_str(), MNT_DETACH);
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool mounted() const { return mounted_; }

    // Gives the file system `bytes` in all, keeping what is on it (room made on a full disk).
    bool Resize(std::size_t bytes) {
        return mounted_ &&
               mount(nullptr, folder_.c_str(), nullptr, MS_REMOUNT, Options(bytes).c_str()) == 0;
    }

  private:
    static std::string Options(std::size_t bytes) {
        return "size=" + std::to_string(bytes) + ",mode=0755";
    }

    std::filesystem::path folder_;
    bool mounted_ = false;
};

}  // namespace pictrova::testing
