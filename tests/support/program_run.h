// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One of the programs under test run to its end, as a user's shell would run it.

#include <filesystem>
#include <string>
#include <vector>

namespace pictrova::testing {

struct ProgramOutcome {
    int status = -1;  // the exit status; 128 + the signal for a program a signal ended
    std::string out;
    std::string err;
};

// Runs `program` with `args` (no shell), its standard input from the file `input` (or ours when
// empty), its output and error kept in files in `scratch` and returned. status stays -1 when the
// program cannot be started.
ProgramOutcome RunProgram(const std::filesystem::path& program,
                          const std::vector<std::string>& args,
                          const std::filesystem::path& scratch,
                          const std::filesystem::path& input = {});

}  // namespace pictrova::testing
