// SPDX-License-Identifier: GPL-3.0-or-later
#include "test_paths.h"

#include <stdlib.h>

#include <stdexcept>
#include <system_error>

namespace pictrova::testing {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pictrova-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

}  // namespace pictrova::testing
