// SPDX-License-Identifier: GPL-3.0-or-later
// Times each output format of the converter for a 1600 x 1200 photo-like picture: through
// pictrova-convert as a process (the way the run calls it) and through the same code in-process,
// plus the converter's start-up cost and the in-process JPEG encoder. Prints a table.
//
//   bench_converter_formats [repetitions]   (default 5; the median is shown)

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "common/host.h"
#include "common/program_paths.h"
#include "converter/converter.h"
#include "imaging/image_engine.h"
#include "imaging/jpeg_encoder.h"
#include "imaging/picture_holder.h"
#include "run/external_converter.h"

extern char** environ;

namespace {

using namespace pictrova;
using Clock = std::chrono::steady_clock;

class QuietHost : public Host {
public:
    void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    void ReportError(const std::string&) override {}
};

// Smooth lighting, a few hard-edged shapes and sensor-like noise: compresses like a photo,
// not like a flat test card.
void MakePhoto(imaging::cDIBSection& dib, int width, int height) {
    dib.Create(width, height, 3);
    std::mt19937 random(1234);
    std::normal_distribution<double> noise(0.0, 6.0);
    const int stride = dib.BytesPerScanLine();
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = dib.DIBSectionBitsPtr() + static_cast<std::size_t>(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            const double fx = static_cast<double>(x) / width;
            const double fy = static_cast<double>(y) / height;
            double r = 120 + 90 * std::sin(fx * 5.1 + fy * 1.3);
            double g = 110 + 80 * std::cos(fy * 4.2 - fx * 0.7);
            double b = 100 + 70 * std::sin((fx + fy) * 3.3);
            const double cx = fx - 0.6, cy = fy - 0.45;
            if (cx * cx + cy * cy < 0.04) r = 230, g = 190, b = 60;  // a sun-like disc
            if (fy > 0.75 && std::fmod(fx * 12, 1.0) < 0.5) g *= 0.6;  // fence posts
            auto put = [&](double v) {
                return static_cast<std::uint8_t>(std::clamp(v + noise(random), 0.0, 255.0));
            };
            row[3 * x] = put(b);
            row[3 * x + 1] = put(g);
            row[3 * x + 2] = put(r);
        }
    }
}

// The process alone, waited for with a blocking wait (ShellAndWait also yields to the host).
void SpawnAndWait(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
    }
    posix_spawn_file_actions_destroy(&actions);
}

double MedianMilliseconds(int repetitions, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < repetitions; ++i) {
        const auto start = Clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    imaging::StartImageEngine();
    const auto converter = run::LocateConverter();
    if (!converter) {
        std::fprintf(stderr, "pictrova-convert not found beside this program\n");
        return 1;
    }
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "pictrova-bench-converter";
    std::filesystem::create_directories(dir);
    const auto input = dir / "photo.bmp";

    imaging::PictureHolder photo;
    MakePhoto(photo.Image(), 1600, 1200);
    photo.SaveAsBmp(input);

    QuietHost host;
    const struct {
        const char* name;
        run::OutputFormat format;
    } rows[] = {
        {"bmp", run::OutputFormat::BMP},  {"png -q 85", run::OutputFormat::PNG}, {"gif", run::OutputFormat::GIF},
        {"tiff", run::OutputFormat::TIFF}, {"tga", run::OutputFormat::TGA},       {"pcx", run::OutputFormat::PCX},
    };

    std::printf("converter formats: 1600 x 1200 photo (%.1f MB BMP), median of %d\n\n",
                static_cast<double>(std::filesystem::file_size(input)) / 1e6, repetitions);
    std::printf("| %-10s | %12s | %14s | %14s | %10s |\n", "format", "process ms", "ShellAndWait ms", "in-process ms",
                "output KB");
    std::printf("|%s|%s|%s|%s|%s|\n", "------------", "--------------", "-----------------", "----------------",
                "------------");
    for (const auto& row : rows) {
        const auto output = dir / ("photo-out" + run::ConverterOutputExtension(row.format));
        const std::string words = run::ConverterFormatWords(row.format, 85);
        const std::string line =
            run::ConverterCommandLine(converter->string(), run::ConverterArguments(words, output.string(), input.string()));
        const double polled = MedianMilliseconds(repetitions, [&] {
            if (run::ShellAndWait(host, line, 0) != 0) std::fprintf(stderr, "%s failed\n", row.name);
        });
        auto args = run::SplitCommandLine(line);
        const double process = MedianMilliseconds(repetitions, [&] { SpawnAndWait(args); });
        args.erase(args.begin());
        const auto request = converter::ParseConverterArguments(args);
        const double inProcess = MedianMilliseconds(repetitions, [&] { converter::Convert(request); });
        std::printf("| %-10s | %12.1f | %15.1f | %14.1f | %10.0f |\n", row.name, process, polled, inProcess,
                    static_cast<double>(std::filesystem::file_size(output)) / 1024);
    }
    const auto jpeg = dir / "photo.jpg";
    const double jpegMs = MedianMilliseconds(repetitions, [&] { imaging::SaveJPG(photo, jpeg, 85); });
    std::printf("| %-10s | %12s | %15s | %14.1f | %10.0f |\n", "jpg q85", "-", "-", jpegMs,
                static_cast<double>(std::filesystem::file_size(jpeg)) / 1024);

    // Start-up: a usage error ends before the engine starts; a 1 x 1 picture ends right after.
    imaging::PictureHolder dot;
    dot.Image().Create(1, 1, 3);
    dot.SaveAsBmp(dir / "dot.bmp");
    const std::string dotLine = run::ConverterCommandLine(
        converter->string(), run::ConverterArguments("bmp ", (dir / "dot-out.bmp").string(), (dir / "dot.bmp").string()));
    const std::string usageLine = "\"" + converter->string() + "\" -out nothing";
    const int startRuns = std::max(repetitions, 9);
    const double usageMs = MedianMilliseconds(startRuns, [&] { SpawnAndWait(run::SplitCommandLine(usageLine)); });
    const double dotMs = MedianMilliseconds(startRuns, [&] { SpawnAndWait(run::SplitCommandLine(dotLine)); });
    // How soon ShellAndWait notices a process that ends at once, over the same call waited for
    // with a blocking wait.
    const double usagePolledMs =
        MedianMilliseconds(startRuns, [&] { run::ShellAndWait(host, usageLine, 0); });
    const double dotPolledMs = MedianMilliseconds(startRuns, [&] { run::ShellAndWait(host, dotLine, 0); });
    std::printf("\nconverter start-up, median of %d:\n", startRuns);
    std::printf("| %-36s | %8s | %15s |\n", "call", "ms", "ShellAndWait ms");
    std::printf("|%s|%s|%s|\n", "--------------------------------------", "----------", "-----------------");
    std::printf("| %-36s | %8.1f | %15.1f |\n", "start and exit (argument error)", usageMs, usagePolledMs);
    std::printf("| %-36s | %8.1f | %15.1f |\n", "start engine, convert 1 x 1 BMP", dotMs, dotPolledMs);
    std::printf("\n(ShellAndWait yields to the host at least every %lld ms and notices the process's end as it "
                "happens)\n",
                static_cast<long long>(run::kConverterPollInterval.count()));

    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
