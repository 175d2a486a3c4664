// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What scan and extract-all share: each database's password, and folder names made from names
// found in databases.

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace pictrova::cli {

// The passwords of a batch: the --password-file's entries by path, and --password for the rest.
class BatchPasswords {
  public:
    // Reads the password file (when one is given): a regular file of lines no longer than
    // kMaxPasswordFileLineBytes. nullopt, with the reason in `error` (naming the file, and the
    // line where one is at fault), when it cannot be read, is no regular file, or a line is too
    // long or has no tab.
    static std::optional<BatchPasswords> Load(const BatchDatabases& databases, std::string& error);

    // The file's password for `path` (as written there, or the same file by another spelling),
    // else --password.
    std::string For(const std::string& path) const;

  private:
    struct FileIdentity {
        dev_t device;
        ino_t inode;
        auto operator<=>(const FileIdentity&) const = default;
    };
    static std::optional<FileIdentity> IdentityOf(const std::string& path);

    std::string common_;
    std::map<std::string, std::string> byPath_;   // the batch's databases as written
    std::map<FileIdentity, std::string> byFile_;  // the batch's databases by another spelling
};

// The databases a batch's arguments name, in their order: a file (or a path that names nothing,
// which the batch then reports) as given; a folder walked for .mdb and .accdb files (in any case),
// sorted by path. The walk follows no link to a folder, and a link to a file only when the file
// is inside the folder given. `notes` receives a line for a folder that holds none.
std::vector<std::string> DatabasesIn(const std::vector<std::string>& given,
                                     std::vector<std::string>& notes);

// A database's path as a table shows it: relative to the current folder when it is inside it,
// else as given.
std::string ShownPath(const std::filesystem::path& path);

// "1 picture", "3 pictures".
std::string Counted(std::int64_t count, const char* one, const char* many);

// A single path component made from a table, field or database name: "/" and NUL become "_",
// and "", "." and ".." become "_" too, so that the result always names a folder inside its parent.
std::string FolderNameFor(const std::string& name);

}  // namespace pictrova::cli
