// SPDX-License-Identifier: GPL-3.0-or-later
#include "test_paths.h"

#include <stdio.h>
#include <stdlib.h>

#include <memory>
#include <stdexcept>
#include <system_error>

namespace pictrova::testing {

std::string RunForOutput(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe)
        throw std::runtime_error("cannot run " + command);
    std::string out;
    char chunk[65536];
    std::size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe.get())) > 0)
        out.append(chunk, n);
    return out;
}

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "pictrova-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

}  // namespace pictrova::testing
