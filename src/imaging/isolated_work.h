// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Runs work that goes through a library which can crash or hang on hostile input (the engine's
// metafile reader) in a forked child process, so that a damaged picture costs a false result
// and never the program. The child writes its result into memory shared with the parent.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace pictrova::imaging {

// Calls `work` in a child process with a buffer of `resultSize` bytes and copies the buffer to
// `result` when the child finished it. False when the work threw, the child crashed, or it ran
// longer than `timeLimit` (the child is then killed). The child limits itself too
// (common/child_limits.h): it dies with the program, and after `timeLimit` of processor time.
bool RunIsolated(std::span<std::uint8_t> result, std::chrono::milliseconds timeLimit,
                 const std::function<void(std::span<std::uint8_t>)>& work);

}  // namespace pictrova::imaging
