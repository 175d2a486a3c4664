// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace pictrova {

// The folder of the running program (resolved through /proc/self/exe; empty when unknown).
std::filesystem::path ProgramDirectory();

// The folder of the data files the program ships (font map, sample database):
// <program>/../share/pictrova in the build tree and after installation, else the build tree's.
std::filesystem::path DataDirectory();

// A program shipped with this one, by file name: beside the running program, else in
// ../libexec/pictrova/ from it. Nullopt when neither exists or is executable.
std::optional<std::filesystem::path> LocateBundledProgram(std::string_view name);

}  // namespace pictrova
