// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/work_files.h"

#include <stdlib.h>
#include <unistd.h>

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

void PendingOutput::Discard() noexcept {
    if (temporary_.empty()) return;
    std::error_code ec;
    fs::remove(temporary_, ec);
    temporary_.clear();
}

}  // namespace pictrova::run
