// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a child process that works on untrusted input (the metafile renderer, helper programs)
// does to itself first, so that it never outlives the run: it is killed when its parent goes
// (kill -9 of the program included), and by the kernel once it has used its processor time.
// Only async-signal-safe calls, so a child forked from a threaded program may call it before
// anything else.

#include <sys/resource.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include <chrono>
#include <csignal>

namespace pictrova {

// `parent` is the pid the child was forked from (getpid() before fork). The death signal is tied
// to the thread that forked: that thread must wait for the child, as RunIsolated does. The CPU
// limit is whole seconds rounded up: SIGXCPU at the limit, SIGKILL a second later. Ends the child
// at once (status 1) when its parent is already gone.
inline void LimitChildProcess(pid_t parent, std::chrono::milliseconds cpuTime) {
#if defined(__linux__)
    prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    if (getppid() != parent)
        _exit(1);
    const auto seconds =
        static_cast<rlim_t>(std::chrono::ceil<std::chrono::seconds>(cpuTime).count());
    const rlimit limit{seconds, seconds + 1};
    setrlimit(RLIMIT_CPU, &limit);
}

}  // namespace pictrova
