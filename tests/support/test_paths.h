// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

namespace pictrova::testing {

// The build tree's bin/ folder, where the programs under test (pictrova-cli, pictrova-convert)
// are built.
inline std::filesystem::path BinDir() {
    return PICTROVA_BIN_DIR;
}

// Runs `command` through /bin/sh and returns what it wrote to its standard output.
std::string RunForOutput(const std::string& command);

// A fresh, empty folder for one test, removed when the object goes away.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

}  // namespace pictrova::testing
