// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What scan and extract-all share: each database's password, and folder names made from names
// found in databases.

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "cli/commands.h"

namespace pictrova::cli {

// The passwords of a batch: the --password-file's entries by path, and --password for the rest.
class BatchPasswords {
  public:
    // Reads the password file (when one is given). nullopt, with the reason in `error`, when it
    // cannot be read or a line has no tab.
    static std::optional<BatchPasswords> Load(const BatchDatabases& databases, std::string& error);

    // The file's password for `path` (as written there, or the same file by another spelling),
    // else --password.
    std::string For(const std::string& path) const;

  private:
    std::string common_;
    std::map<std::string, std::string> byPath_;  // as written, and by canonical path
};

// A single path component made from a table, field or database name: "/" and NUL become "_",
// and "", "." and ".." become "_" too, so that the result always names a folder inside its parent.
std::string FolderNameFor(const std::string& name);

}  // namespace pictrova::cli
