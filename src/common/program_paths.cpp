// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/program_paths.h"

#include <unistd.h>

#include <system_error>

namespace pictrova {

std::filesystem::path ProgramDirectory() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    return exe.parent_path();
}

std::filesystem::path DataDirectory() {
    std::error_code ec;
    // Programs in bin/ and the converter in libexec/pictrova/ share one data folder.
    for (const char* up : {"..", "../.."}) {
        auto candidate = ProgramDirectory() / up / "share" / "pictrova";
        if (std::filesystem::is_directory(candidate, ec))
            return std::filesystem::weakly_canonical(candidate, ec);
    }
    return PICTROVA_BUILD_DATA_DIR;
}

std::optional<std::filesystem::path> LocateBundledProgram(std::string_view name) {
    const std::filesystem::path directory = ProgramDirectory();
    if (directory.empty())
        return std::nullopt;
    for (const auto& candidate :
         {directory / name, directory / ".." / "libexec" / "pictrova" / name}) {
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate.lexically_normal();
    }
    return std::nullopt;
}

}  // namespace pictrova
