// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmark of reading a --password-file: writes files of 10,000 to 1,000,000 PATH<TAB>PASSWORD
// lines and runs `pictrova-cli scan` on one missing database with each, so the time is the
// program's start plus the file. Prints the median wall time and the processor time (user and
// system) of --repeat runs, and the peak memory. --cli names another build's program to compare.
//
//   bench_password_file [--cli PATH] [--repeat N] [--dir DIR]

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct RunCost {
    double wallMs = 0, cpuMs = 0;
    long peakKb = 0;
};

RunCost RunOnce(const std::string& cli, const std::string& file) {
    std::string program = cli, command = "scan", database = "/nonexistent/none.mdb",
                option = "--password-file", path = file;
    char* argv[] = {program.data(), command.data(), database.data(),
                    option.data(),  path.data(),    nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    RunCost cost;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) == 0) {
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        cost.wallMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
        cost.cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
        cost.peakKb = usage.ru_maxrss;
    }
    posix_spawn_file_actions_destroy(&actions);
    return cost;
}

}  // namespace

int main(int argc, char** argv) {
    std::string cli = (fs::read_symlink("/proc/self/exe").parent_path() / "pictrova-cli").string();
    int repeat = 3;
    fs::path dir = fs::temp_directory_path() / "pictrova-bench-passwords";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--cli") == 0)
            cli = argv[i + 1];
        else if (std::strcmp(argv[i], "--repeat") == 0)
            repeat = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--dir") == 0)
            dir = argv[i + 1];
    }
    fs::create_directories(dir);
    std::printf("%10s  %12s  %12s  %10s\n", "lines", "wall ms", "cpu ms", "peak MB");
    for (const int lines : {10'000, 100'000, 1'000'000}) {
        const fs::path file = dir / ("passwords-" + std::to_string(lines) + ".txt");
        {
            std::ofstream out(file);
            for (int i = 0; i < lines; ++i)
                out << "/archive/site" << i % 100 << "/db" << i << ".mdb\tsecret" << i << '\n';
        }
        std::vector<RunCost> costs;
        for (int r = 0; r < repeat; ++r)
            costs.push_back(RunOnce(cli, file.string()));
        auto median = [&](auto field) {
            std::vector<double> values;
            for (const auto& c : costs)
                values.push_back(field(c));
            std::sort(values.begin(), values.end());
            return values[values.size() / 2];
        };
        std::printf("%10d  %12.0f  %12.0f  %10.1f\n", lines,
                    median([](const RunCost& c) { return c.wallMs; }),
                    median([](const RunCost& c) { return c.cpuMs; }),
                    median([](const RunCost& c) { return c.peakKb / 1024.0; }));
        fs::remove(file);
    }
    return 0;
}
