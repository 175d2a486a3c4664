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

enum class IsolatedOutcome {
    Done,       // the work finished; the result is copied out
    Failed,     // it threw, or the child crashed or could not start
    TimeLimit,  // it ran out of its time (wall clock or processor) and was killed
    Stopped,    // StopIsolatedWork was called while it ran (or before): killed at once
};

// Work that throws this in the child reports TimeLimit: a helper it ran ran out of time.
struct IsolatedTimeLimit {};

// Calls `work` in a child process with a buffer of `resultSize` bytes and copies the buffer to
// `result` when the child finished it. The child is killed when it runs longer than
// `timeLimit` or a stop is asked for. The child limits itself too (common/child_limits.h): it
// dies with the program, and after `timeLimit` of processor time.
IsolatedOutcome RunIsolated(std::span<std::uint8_t> result, std::chrono::milliseconds timeLimit,
                            const std::function<void(std::span<std::uint8_t>)>& work);

// Ends the isolated work in progress in every thread at once (its children are killed, and
// what they drew with them), and refuses new work until ResumeIsolatedWork: a run asked to stop
// does not wait for the pictures it is drawing. Async-signal-safe.
void StopIsolatedWork() noexcept;
void ResumeIsolatedWork() noexcept;
bool IsolatedWorkStopped() noexcept;

}  // namespace pictrova::imaging
