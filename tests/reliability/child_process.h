// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Running a piece of work where it may crash or hang without taking the test program with it:
// a forked child for in-process code, or a program started with its own process group. Both
// are killed at a time limit, and what they printed is kept.

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace pictrova::reliability {

struct ChildOutcome {
    enum class End { Exited, Signalled, TimedOut };
    End end = End::Exited;
    int code = 0;        // exit status, or the signal
    std::string output;  // standard output and error together (the first 64 KiB)
    std::chrono::milliseconds elapsed{0};

    bool Exited(int status) const { return end == End::Exited && code == status; }
    // A report of AddressSanitizer, UndefinedBehaviorSanitizer or LeakSanitizer in the output.
    bool SanitizerReported() const;
    std::string Describe() const;
};

// Runs `body` in a forked child; its return value is the exit status.
ChildOutcome RunInChild(const std::function<int()>& body, std::chrono::milliseconds limit);

struct ProgramRun {
    std::vector<std::string> arguments;  // the program first
    std::chrono::milliseconds limit{60'000};
    std::vector<std::string> environment;    // NAME=VALUE added to this process's environment
    std::filesystem::path workingDirectory;  // empty: this process's
};

ChildOutcome RunProgram(const ProgramRun& run);

}  // namespace pictrova::reliability
