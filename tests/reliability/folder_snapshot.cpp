// SPDX-License-Identifier: GPL-3.0-or-later
#include "folder_snapshot.h"

#include <fstream>

namespace pictrova::reliability {

namespace fs = std::filesystem;

FolderSnapshot Snapshot(const fs::path& root) {
    FolderSnapshot snapshot;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const std::string relative = fs::relative(it->path(), root).string();
        if (it->is_directory(ec)) {
            snapshot[relative + "/"] = {};
        } else {
            snapshot[relative] = {it->file_size(ec), it->last_write_time(ec)};
        }
    }
    return snapshot;
}

std::vector<std::string> Differences(const FolderSnapshot& before, const FolderSnapshot& after) {
    std::vector<std::string> changed;
    for (const auto& [path, state] : after) {
        auto it = before.find(path);
        if (it == before.end())
            changed.push_back("+" + path);
        else if (!(it->second == state))
            changed.push_back("~" + path);
    }
    for (const auto& [path, state] : before) {
        if (!after.contains(path))
            changed.push_back("-" + path);
    }
    return changed;
}

bool IsCompleteBmp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char header[6] = {};
    if (!in.read(reinterpret_cast<char*>(header), sizeof header))
        return false;
    const std::uintmax_t declared =
        header[2] | header[3] << 8 | header[4] << 16 | static_cast<std::uintmax_t>(header[5]) << 24;
    std::error_code ec;
    return header[0] == 'B' && header[1] == 'M' && fs::file_size(path, ec) == declared;
}

}  // namespace pictrova::reliability
