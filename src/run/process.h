// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Starting a program and waiting for it: a command line split into an argument vector (never
// handed to a shell) and started with posix_spawn, the host kept responsive while it runs, a
// time-out that kills it, and the reason line taken from its error output.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/command_line.h"
#include "common/host.h"
#include "common/limits.h"

namespace pictrova::run {

// ShellAndWait's result when the process cannot be started: the start error (an errno value)
// plus this base.
inline constexpr std::int32_t kStartErrorBase = -2147221504;

// ShellAndWait's result for a process ended by a signal: 128 + the signal number, as a shell
// reports it. A process killed at the time-out therefore gives 128 + 9.
inline constexpr std::int32_t kSignalExitBase = 128;

// The longest ShellAndWait goes without yielding to the host.
inline constexpr std::chrono::milliseconds kConverterPollInterval{100};

// Starts the command line (split as SplitCommandLine does) as a new process, no shell, and
// waits for it, yielding to the host at least every 100 ms; the process's end is noticed as it
// happens, not at the next 100 ms mark. Returns the exit code; 128 + signal for a process ended by
// a signal; the start error + kStartErrorBase when it cannot be started (an empty command line
// gives EINVAL). A process still running after `timeout` is killed (SIGKILL) and reaped, so the
// result is then 137. The process reads nothing (standard input is /dev/null); its standard output
// and error are captured together rather than passed on to ours, and their end
// (kMaxChildOutputBytes) is noted as its messages (common/child_output.h). When `errorLine` is
// given, it receives the last non-empty line the process wrote (of that end), control characters
// as spaces, without a leading "<program file name>: "; empty when it wrote none or could not be
// started. `windowStyle` is accepted and has no effect: a
// process on this platform has no window to show or hide.
std::int32_t ShellAndWait(Host& host, const std::string& commandLine,
                          std::optional<std::int32_t> windowStyle = std::nullopt,
                          std::chrono::milliseconds timeout = kDefaultConverterTimeout,
                          std::string* errorLine = nullptr);

// The same with the argument vector given directly (argv[0] is the program path).
std::int32_t ShellAndWait(Host& host, const std::vector<std::string>& argv,
                          std::optional<std::int32_t> windowStyle = std::nullopt,
                          std::chrono::milliseconds timeout = kDefaultConverterTimeout,
                          std::string* errorLine = nullptr);

// The reason line ShellAndWait gives from a process's captured error output (see above).
std::string LastErrorLine(std::string_view errorOutput, std::string_view programPath);

}  // namespace pictrova::run
