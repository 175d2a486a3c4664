// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/work_files.h"

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "common/error.h"

namespace pictrova::run {

namespace fs = std::filesystem;

void WorkFolder::Make(const fs::path& root) {
    Remove();
    fs::path base = root;
    if (base.empty()) {
        const char* tmp = getenv("TMPDIR");
        base = tmp && *tmp ? fs::path(tmp) : fs::path("/tmp");
    }
    std::string pattern = (base / "pictrova-run-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw Error("Cannot make a work folder in " + base.string() + ".");
    }
    path_ = pattern;
}

void WorkFolder::Remove() noexcept {
    if (path_.empty()) return;
    std::error_code ec;
    fs::remove_all(path_, ec);
    path_.clear();
}

const fs::path& PendingOutput::Begin(const fs::path& finalPath, std::int64_t record) {
    Discard();
    final_ = finalPath;
    temporary_ = finalPath.parent_path() /
                 (".pictrova-" + std::to_string(getpid()) + "-" + std::to_string(record) +
                  finalPath.extension().string());
    return temporary_;
}

fs::path PendingOutput::Commit() {
    fs::rename(temporary_, final_);
    temporary_.clear();
    return final_;
}

bool PendingOutput::CommitWithoutReplacing(const fs::path& finalPath) {
    // A hard link fails when the name is taken, which a test for the name followed by a rename
    // could not promise while another run writes into the same folder.
    if (::link(temporary_.c_str(), finalPath.c_str()) != 0) {
        if (errno == EEXIST)
            return false;
        throw std::system_error(errno, std::generic_category(), "Cannot write " + finalPath.string());
    }
    std::error_code ec;
    fs::remove(temporary_, ec);
    temporary_.clear();
    final_ = finalPath;
    return true;
}

void PendingOutput::Discard() noexcept {
    if (temporary_.empty()) return;
    std::error_code ec;
    fs::remove(temporary_, ec);
    temporary_.clear();
}

}  // namespace pictrova::run
