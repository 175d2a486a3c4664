// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>

namespace pictrova {

// The folder of the running program (resolved through /proc/self/exe; empty when unknown).
std::filesystem::path ProgramDirectory();

// The folder of the data files the program ships (font map, sample database):
// <program>/../share/pictrova in the build tree and after installation, else the build tree's.
std::filesystem::path DataDirectory();

}  // namespace pictrova
