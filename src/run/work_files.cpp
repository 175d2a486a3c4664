// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/work_files.h"

#include <stdlib.h>

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

}  // namespace pictrova::run
