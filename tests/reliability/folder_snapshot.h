// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a folder tree holds (relative path, size, modification time), to tell what a program
// created, changed or removed while it ran.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace pictrova::reliability {

struct FileState {
    std::uintmax_t size = 0;
    std::filesystem::file_time_type modified;
    bool operator==(const FileState&) const = default;
};

using FolderSnapshot =
    std::map<std::string, FileState>;  // relative path -> state ("x/" for folders)

FolderSnapshot Snapshot(const std::filesystem::path& root);

// Paths that were added, changed or removed between two snapshots.
std::vector<std::string> Differences(const FolderSnapshot& before, const FolderSnapshot& after);

// True when a complete BMP file: "BM" and the size its file header declares.
bool IsCompleteBmp(const std::filesystem::path& path);

}  // namespace pictrova::reliability
