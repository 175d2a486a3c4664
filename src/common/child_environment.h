// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The environment a program started by ours gets: this process's, without the database
// password. A converter or drawing program has no use for it, and whatever it starts in turn
// would see it too.

#include <string_view>
#include <vector>

extern char** environ;

namespace pictrova {

inline constexpr std::string_view kPasswordVariable = "PICTROVA_PASSWORD";

// Pointers into `environ`, null-terminated, for execve and posix_spawn. Build it before fork: it
// allocates.
inline std::vector<char*> ChildEnvironment() {
    std::vector<char*> out;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        const bool password = text.starts_with(kPasswordVariable) &&
                              text.size() > kPasswordVariable.size() &&
                              text[kPasswordVariable.size()] == '=';
        if (!password)
            out.push_back(*entry);
    }
    out.push_back(nullptr);
    return out;
}

}  // namespace pictrova
