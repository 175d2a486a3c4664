// SPDX-License-Identifier: GPL-3.0-or-later
// Times each output format of the converter for a 1600 x 1200 photo-like picture: through
// pictrova-convert as a process (the way the run calls it) and through the same code in-process,
// plus the converter's start-up cost and the in-process JPEG encoder. Then GIF alone at three
// sizes: the engine's quantizer (the converter's former GIF path), our encoder, and an ordered
// dither onto a fixed palette written by giflib (the floor), with each one's mean colour error
// against the source. Prints tables.
//
//   bench_converter_formats [repetitions]   (default 5; the median is shown)

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "common/host.h"
#include "common/program_paths.h"
#include "converter/converter.h"
#include "imaging/engine/engine_images.h"
#include "imaging/engine_io.h"
#include "imaging/gif_encoder.h"
#include "imaging/image_engine.h"
#include "imaging/jpeg_encoder.h"
#include "imaging/picture_holder.h"
#include "median_time.h"
#include "photo_picture.h"
#include "run/external_converter.h"

extern char** environ;

namespace {

using namespace pictrova;
using Clock = std::chrono::steady_clock;

// The process alone, waited for with a blocking wait (ShellAndWait also yields to the host).
void SpawnAndWait(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
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

using bench::MedianMilliseconds;

// The picture's pixels as red, green, blue, top row first.
std::vector<std::uint8_t> RgbRows(const imaging::cDIBSection& dib) {
    const auto width = static_cast<std::size_t>(dib.dib_width());
    const auto height = static_cast<std::size_t>(dib.dib_height());
    std::vector<std::uint8_t> rgb(width * height * 3);
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t* row =
            dib.DIBSectionBitsPtr() + (height - 1 - y) * dib.BytesPerScanLine();
        for (std::size_t x = 0; x < width; ++x) {
            for (std::size_t c = 0; c < 3; ++c)
                rgb[(y * width + x) * 3 + c] = row[3 * x + 2 - c];
        }
    }
    return rgb;
}

// The converter's former GIF path: the engine's quantizer with dithering, the engine's writer.
std::vector<std::uint8_t> EngineGif(const Magick::Image& source) {
    Magick::Image image = source;
    image.magick("GIF");
    image.depth(8);
    image.quantizeColors(256);
    image.quantizeDither(true);
    image.quantize();
    Magick::Blob blob;
    image.write(&blob);
    const auto* data = static_cast<const std::uint8_t*>(blob.data());
    return {data, data + blob.length()};
}

// The floor: a 4 x 4 ordered dither onto a fixed 6 x 7 x 6 colour cube, then giflib.
std::vector<std::uint8_t> OrderedDitherGif(const std::vector<std::uint8_t>& rgb,
                                           std::uint32_t width, std::uint32_t height) {
    static constexpr int kBayer[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};
    static constexpr int kLevels[3] = {6, 7, 6};
    // levels[channel][threshold][value]: the cube level of a channel value at one threshold.
    static const auto levels = [] {
        std::vector<std::uint8_t> table(3 * 16 * 256);
        for (int c = 0; c < 3; ++c) {
            for (int t = 0; t < 16; ++t) {
                for (int v = 0; v < 256; ++v) {
                    const double scaled =
                        v * (kLevels[c] - 1) / 255.0 + (kBayer[t] + 0.5) / 16.0 - 0.5;
                    table[(c * 16 + t) * 256 + v] = static_cast<std::uint8_t>(
                        std::clamp(static_cast<int>(std::lround(scaled)), 0, kLevels[c] - 1));
                }
            }
        }
        return table;
    }();
    static const auto palette = [] {
        std::vector<std::array<std::uint8_t, 3>> entries;
        for (int r = 0; r < 6; ++r) {
            for (int g = 0; g < 7; ++g) {
                for (int b = 0; b < 6; ++b) {
                    entries.push_back({static_cast<std::uint8_t>(r * 51),
                                       static_cast<std::uint8_t>(g * 255 / 6),
                                       static_cast<std::uint8_t>(b * 51)});
                }
            }
        }
        return entries;
    }();
    std::vector<std::uint8_t> indexes(static_cast<std::size_t>(width) * height);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * width + x;
            const int t = static_cast<int>((y & 3) * 4 + (x & 3));
            const int r = levels[(0 * 16 + t) * 256 + rgb[3 * i]];
            const int g = levels[(1 * 16 + t) * 256 + rgb[3 * i + 1]];
            const int b = levels[(2 * 16 + t) * 256 + rgb[3 * i + 2]];
            indexes[i] = static_cast<std::uint8_t>((r * 7 + g) * 6 + b);
        }
    }
    return imaging::EncodeIndexedGif({indexes, palette, width, height});
}

// Mean absolute difference per channel between a GIF and the source pixels, in 0..255 levels.
double MeanColourError(const std::vector<std::uint8_t>& gif, const std::vector<std::uint8_t>& rgb) {
    Magick::Image image = imaging::ReadEngineImage(gif, "GIF");
    std::vector<std::uint8_t> back(rgb.size());
    image.write(0, 0, image.columns(), image.rows(), "RGB", Magick::CharPixel, back.data());
    double total = 0;
    for (std::size_t i = 0; i < rgb.size(); ++i)
        total += std::abs(int{back[i]} - int{rgb[i]});
    return total / static_cast<double>(rgb.size());
}

// The process's CPU time of `work` (every thread), median of `repetitions`: steadier than the
// wall clock when other work shares the machine.
double MedianCpuMilliseconds(int repetitions, const std::function<void()>& work) {
    auto now = [] {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
    };
    std::vector<double> times;
    for (int i = 0; i < repetitions; ++i) {
        const double start = now();
        work();
        times.push_back(now() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void GifTable(int repetitions) {
    std::printf(
        "\nGIF per picture, photo-like, 256 colours dithered, from pixels in memory, median of "
        "%d;\n"
        "CPU ms of all the process's threads (wall ms beside); err: mean difference per channel, "
        "0..255\n\n",
        repetitions);
    std::printf(
        "| %-11s | %10s | %8s | %8s | %10s | %11s | %13s | %13s | %7s | %10s | %8s | %9s |\n",
        "size", "engine CPU", "ours CPU", "floor CPU", "ours/floor", "engine/ours", "wall engine",
        "wall ours", "ours KB", "err engine", "err ours", "err floor");
    std::printf(
        "|-------------|------------|----------|-----------|------------|-------------|------------"
        "---|---------------|---------|------------|----------|-----------|\n");
    const struct { std::uint32_t width, height; } sizes[] = {{200, 260}, {1024, 768}, {1600, 1200}};
    for (const auto& size : sizes) {
        imaging::cDIBSection dib;
        bench::MakePhoto(dib, static_cast<int>(size.width), static_cast<int>(size.height));
        const std::vector<std::uint8_t> rgb = RgbRows(dib);
        const Magick::Image source = imaging::DibToEngineImage(dib);
        std::vector<std::uint8_t> engine, ours, floor;
        const auto engineWork = [&] { engine = EngineGif(source); };
        const auto oursWork = [&] {
            ours = imaging::EncodeGif({rgb, size.width, size.height},
                                      {.colours = 256, .dither = true});
        };
        const auto floorWork = [&] { floor = OrderedDitherGif(rgb, size.width, size.height); };
        const double engineCpu = MedianCpuMilliseconds(repetitions, engineWork);
        const double oursCpu = MedianCpuMilliseconds(repetitions, oursWork);
        const double floorCpu = MedianCpuMilliseconds(repetitions, floorWork);
        const double engineWall = MedianMilliseconds(repetitions, engineWork);
        const double oursWall = MedianMilliseconds(repetitions, oursWork);
        char label[32];
        std::snprintf(label, sizeof label, "%u x %u", size.width, size.height);
        std::printf(
            "| %-11s | %10.1f | %8.1f | %9.1f | %10.2f | %11.1f | %13.1f | %13.1f | %7.0f | %10.2f "
            "| %8.2f | %9.2f |\n",
            label, engineCpu, oursCpu, floorCpu, oursCpu / floorCpu, engineCpu / oursCpu,
            engineWall, oursWall, static_cast<double>(ours.size()) / 1024,
            MeanColourError(engine, rgb), MeanColourError(ours, rgb), MeanColourError(floor, rgb));
    }
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
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / "pictrova-bench-converter";
    std::filesystem::create_directories(dir);
    const auto input = dir / "photo.bmp";

    imaging::PictureHolder photo;
    bench::MakePhoto(photo.Image(), 1600, 1200);
    photo.SaveAsBmp(input);

    SilentHost host;
    const struct {
        const char* name;
        run::OutputFormat format;
    } rows[] = {
        {"bmp", run::OutputFormat::BMP}, {"png -q 85", run::OutputFormat::PNG},
        {"gif", run::OutputFormat::GIF}, {"tiff", run::OutputFormat::TIFF},
        {"tga", run::OutputFormat::TGA}, {"pcx", run::OutputFormat::PCX},
    };

    std::printf("converter formats: 1600 x 1200 photo (%.1f MB BMP), median of %d\n\n",
                static_cast<double>(std::filesystem::file_size(input)) / 1e6, repetitions);
    std::printf("| %-10s | %12s | %14s | %14s | %10s |\n", "format", "process ms",
                "ShellAndWait ms", "in-process ms", "output KB");
    std::printf("|%s|%s|%s|%s|%s|\n", "------------", "--------------", "-----------------",
                "----------------", "------------");
    for (const auto& row : rows) {
        const auto output = dir / ("photo-out" + run::ConverterOutputExtension(row.format));
        const std::string words = run::ConverterFormatWords(row.format, 85);
        const std::string line = run::ConverterCommandLine(
            converter->string(), run::ConverterArguments(words, output.string(), input.string()));
        const double polled = MedianMilliseconds(repetitions, [&] {
            if (run::ShellAndWait(host, line, 0) != 0)
                std::fprintf(stderr, "%s failed\n", row.name);
        });
        auto args = SplitCommandLine(line);
        const double process = MedianMilliseconds(repetitions, [&] { SpawnAndWait(args); });
        args.erase(args.begin());
        const auto request = converter::ParseConverterArguments(args);
        const double inProcess =
            MedianMilliseconds(repetitions, [&] { converter::Convert(request); });
        std::printf("| %-10s | %12.1f | %15.1f | %14.1f | %10.0f |\n", row.name, process, polled,
                    inProcess, static_cast<double>(std::filesystem::file_size(output)) / 1024);
    }
    const auto jpeg = dir / "photo.jpg";
    const double jpegMs =
        MedianMilliseconds(repetitions, [&] { imaging::SaveJPG(photo, jpeg, 85); });
    std::printf("| %-10s | %12s | %15s | %14.1f | %10.0f |\n", "jpg q85", "-", "-", jpegMs,
                static_cast<double>(std::filesystem::file_size(jpeg)) / 1024);

    // Start-up: a usage error ends before the engine starts; a 1 x 1 picture ends right after.
    imaging::PictureHolder dot;
    dot.Image().Create(1, 1, 3);
    dot.SaveAsBmp(dir / "dot.bmp");
    const std::string dotLine = run::ConverterCommandLine(
        converter->string(), run::ConverterArguments("bmp ", (dir / "dot-out.bmp").string(),
                                                     (dir / "dot.bmp").string()));
    const std::string usageLine = "\"" + converter->string() + "\" -out nothing";
    const int startRuns = std::max(repetitions, 9);
    const double usageMs =
        MedianMilliseconds(startRuns, [&] { SpawnAndWait(SplitCommandLine(usageLine)); });
    const double dotMs =
        MedianMilliseconds(startRuns, [&] { SpawnAndWait(SplitCommandLine(dotLine)); });
    // How soon ShellAndWait notices a process that ends at once, over the same call waited for
    // with a blocking wait.
    const double usagePolledMs =
        MedianMilliseconds(startRuns, [&] { run::ShellAndWait(host, usageLine, 0); });
    const double dotPolledMs =
        MedianMilliseconds(startRuns, [&] { run::ShellAndWait(host, dotLine, 0); });
    std::printf("\nconverter start-up, median of %d:\n", startRuns);
    std::printf("| %-36s | %8s | %15s |\n", "call", "ms", "ShellAndWait ms");
    std::printf("|%s|%s|%s|\n", "--------------------------------------", "----------",
                "-----------------");
    std::printf("| %-36s | %8.1f | %15.1f |\n", "start and exit (argument error)", usageMs,
                usagePolledMs);
    std::printf("| %-36s | %8.1f | %15.1f |\n", "start engine, convert 1 x 1 BMP", dotMs,
                dotPolledMs);
    std::printf(
        "\n(ShellAndWait yields to the host at least every %lld ms and notices the process's end "
        "as it "
        "happens)\n",
        static_cast<long long>(run::kConverterPollInterval.count()));

    GifTable(repetitions);

    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
