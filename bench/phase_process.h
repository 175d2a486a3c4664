// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Benchmarks run each phase in a process of their own (the program itself, again, with
// --phase ...) so that each phase's peak memory is its own. The phase prints one line, which
// the parent reads back with the child's peak resident memory.

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/error.h"

extern char** environ;

namespace pictrova::bench {

// A checksum that shows a read returns what was written.
struct Fnv {
    std::uint64_t hash = 1469598103934665603ull;
    void Add(const std::uint8_t* data, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i)
            hash = (hash ^ data[i]) * 1099511628211ull;
    }
};

// What a phase reports to the parent on its standard output.
struct PhaseResult {
    unsigned long long values = 0, bytes = 0, checksum = 0, fileBytes = 0;
    double seconds = 0;
    long peakKilobytes = 0;
};

inline void Report(const PhaseResult& r) {
    std::printf("%llu %llu %llu %llu %.6f\n", r.values, r.bytes, r.checksum, r.fileBytes,
                r.seconds);
}

// Runs this program again for one phase and collects its report and peak memory.
inline PhaseResult RunPhase(const char* self, const std::vector<std::string>& arguments) {
    std::vector<char*> argv{const_cast<char*>(self)};
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        throw Error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    pid_t pid = 0;
    if (posix_spawn(&pid, self, &actions, nullptr, argv.data(), environ) != 0)
        throw Error("spawn failed");
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    std::string output;
    char buffer[256];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        output.append(buffer, static_cast<std::size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    PhaseResult r;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
        std::sscanf(output.c_str(), "%llu %llu %llu %llu %lf", &r.values, &r.bytes, &r.checksum,
                    &r.fileBytes, &r.seconds) != 5)
        throw Error("phase " + arguments[0] + " failed");
    r.peakKilobytes = usage.ru_maxrss;
    return r;
}

}  // namespace pictrova::bench
