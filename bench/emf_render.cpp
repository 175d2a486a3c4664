// SPDX-License-Identifier: GPL-3.0-or-later
// Times the loading of enhanced metafiles of several sizes through the picture loader (checks,
// isolated child, pictrova-emf), next to pictrova-emf alone on the same bytes and to a standard
// metafile of the same size through the engine's reader. Prints a table of medians.
//
//   bench_emf_render [repetitions]   (default 5)

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/program_paths.h"
#include "imaging/emf_loader.h"
#include "imaging/image_engine.h"
#include "imaging/metafile_frame.h"
#include "imaging/picture_holder.h"
#include "median_time.h"
#include "ole_builder/enhanced_metafiles.h"
#include "ole_builder/pictures.h"

extern char** environ;

namespace {

using namespace pictrova;
using fixtures::Bytes;
using fixtures::EmfContent;
using Clock = std::chrono::steady_clock;

using bench::MedianMilliseconds;

void Write(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// The drawing program alone: metafile file on standard input, picture to /dev/null.
void RunProgram(const std::filesystem::path& program, const std::filesystem::path& input) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string path = program.string();
    char* argv[] = {path.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
    }
    posix_spawn_file_actions_destroy(&actions);
}

// `count` more filled rectangles (EMR_RECTANGLE, 24 bytes each) across the whole picture,
// before the end record.
Bytes WithRectangles(Bytes emf, int width, int height, int count) {
    Bytes more;
    for (int i = 0; i < count; ++i) {
        const std::uint32_t words[] = {43,
                                       24,
                                       static_cast<std::uint32_t>(i % 7),
                                       static_cast<std::uint32_t>(i % 5),
                                       static_cast<std::uint32_t>(width - i % 3),
                                       static_cast<std::uint32_t>(height - i % 2)};
        for (std::uint32_t w : words) {
            for (int b = 0; b < 4; ++b)
                more.push_back(static_cast<std::uint8_t>(w >> (8 * b)));
        }
    }
    emf.insert(emf.end() - 20, more.begin(), more.end());
    return emf;
}

}  // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    imaging::StartImageEngine();
    const auto program = LocateBundledProgram(imaging::kEmfProgramName);
    if (!program) {
        std::fprintf(stderr, "pictrova-emf not found beside this program\n");
        return 1;
    }
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "pictrova-bench-emf";
    std::filesystem::create_directories(dir);

    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"small: shapes 120 x 80", fixtures::MakeEnhancedMetafile(120, 80, EmfContent::Rectangles)},
        {"small: text 200 x 60", fixtures::MakeEnhancedMetafile(200, 60, EmfContent::Text)},
        {"large: shapes 4000 x 3000",
         fixtures::MakeEnhancedMetafile(4000, 3000, EmfContent::Rectangles)},
        {"large: bitmap 2000 x 1500",
         fixtures::MakeEnhancedMetafile(2000, 1500, EmfContent::Bitmap)},
        {"large: 2000 full rects 1000 x 1000",
         WithRectangles(fixtures::MakeEnhancedMetafile(1000, 1000, EmfContent::Rectangles), 1000,
                        1000, 2000)},
    };
    std::printf("%-36s %10s %12s %12s %12s\n", "metafile", "bytes", "loader ms", "program ms",
                "pixels");
    for (const auto& c : cases) {
        const auto file = dir / "picture.emf";
        Write(file, c.bytes);
        imaging::PictureHolder holder;
        std::int64_t pixels = 0;
        const double loader = MedianMilliseconds(repetitions, [&] {
            try {
                holder.LoadFromFile(file);
                pixels = static_cast<std::int64_t>(holder.Image().dib_width()) *
                         holder.Image().dib_height();
            } catch (const std::exception& e) {
                std::fprintf(stderr, "%s: %s\n", c.name, e.what());
            }
        });
        const double alone = MedianMilliseconds(repetitions, [&] { RunProgram(*program, file); });
        std::printf("%-36s %10zu %12.1f %12.1f %12lld\n", c.name, c.bytes.size(), loader, alone,
                    static_cast<long long>(pixels));
    }

    // For comparison: a standard metafile of 4000 x 3000 pixels through the engine's reader.
    const Bytes wmf = fixtures::MakeMetafile(4000, 3000);
    std::vector<std::uint8_t> placeable =
        imaging::PlaceableHeader(imaging::LogicalWindow{0, 0, 4000, 3000}, 96);
    placeable.insert(placeable.end(), wmf.begin(), wmf.end());
    Write(dir / "picture.wmf", placeable);
    imaging::PictureHolder holder;
    const double wmfTime =
        MedianMilliseconds(repetitions, [&] { holder.LoadFromFile(dir / "picture.wmf"); });
    std::printf("%-36s %10zu %12.1f %12s %12lld\n", "standard metafile 4000 x 3000",
                placeable.size(), wmfTime, "-",
                static_cast<long long>(holder.Image().dib_width()) * holder.Image().dib_height());
    std::filesystem::remove_all(dir);
    return 0;
}
