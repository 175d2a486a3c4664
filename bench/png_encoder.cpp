// SPDX-License-Identifier: GPL-3.0-or-later
// The PNG encoder against the image engine's PNG writer it replaced (zlib level 8 with libpng's
// adaptive filtering: quality 85, the run's default), on three sets: photo-like noise (4 pictures
// of 1024 x 768), a real-like table of 15 small photos (193 x 264, mild noise, every third of 252
// colours) and drawn paint pictures (flat colours). For each encoder: processor time per picture
// (median of the repetitions, the whole set each time) and the set's bytes, with the ratio to the
// engine. Our encoder runs at several libdeflate levels, the level the run uses marked.
//
//   bench_png_encoder [repetitions]   (default 5)

#include <Magick++.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/engine/engine_images.h"
#include "imaging/engine_io.h"
#include "imaging/image_engine.h"
#include "imaging/picture_holder.h"
#include "imaging/png_encoder.h"
#include "ole_builder/pictures.h"
#include "photo_picture.h"

namespace {

using namespace pictrova;

double CpuMilliseconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct PictureSet {
    std::string name;
    std::vector<std::unique_ptr<imaging::cDIBSection>> pictures;
};

PictureSet Photos() {
    PictureSet set{"photo noise 1024x768", {}};
    for (unsigned i = 0; i < 4; ++i) {
        set.pictures.push_back(std::make_unique<imaging::cDIBSection>());
        bench::MakePhoto(*set.pictures.back(), 1024, 768, i);
    }
    return set;
}

// With `posterize`, every third picture reduced to 252 colours (as the benchmark table has them).
PictureSet Portraits(bool posterize) {
    PictureSet set{posterize ? "portraits 193x264" : "portraits, RGB only", {}};
    for (unsigned i = 0; i < 15; ++i) {
        set.pictures.push_back(std::make_unique<imaging::cDIBSection>());
        bench::MakePhoto(*set.pictures.back(), 193, 264, i, 2.5);
        if (posterize && i % 3 == 2)
            bench::PosterizePhoto(*set.pictures.back());
    }
    return set;
}

PictureSet Paintings() {
    PictureSet set{"paint 1024x768", {}};
    for (int i = 0; i < 4; ++i) {
        imaging::PictureHolder holder;
        holder.LoadFromMemory(fixtures::MakeDrawnBmpFile(1024, 768, i + 1));
        set.pictures.push_back(std::make_unique<imaging::cDIBSection>(std::move(holder.Image())));
    }
    return set;
}

// Today's path: the bitmap made an engine image, written by the engine's PNG coder.
std::vector<std::uint8_t> EnginePng(const imaging::cDIBSection& dib) {
    Magick::Image image = imaging::DibToEngineImage(dib);
    image.magick("PNG");
    image.depth(8);
    image.quality(85);
    Magick::Blob blob;
    image.write(&blob);
    const auto* data = static_cast<const std::uint8_t*>(blob.data());
    return {data, data + blob.length()};
}

struct Result {
    double msPerPicture = 0;
    std::size_t bytes = 0;
};

Result Measure(
    const PictureSet& set, int repetitions,
    const std::function<std::vector<std::uint8_t>(const imaging::cDIBSection&)>& encode) {
    std::vector<double> times;
    std::size_t bytes = 0;
    for (int r = 0; r < repetitions; ++r) {
        bytes = 0;
        const double start = CpuMilliseconds();
        for (const auto& picture : set.pictures)
            bytes += encode(*picture).size();
        times.push_back((CpuMilliseconds() - start) / static_cast<double>(set.pictures.size()));
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], bytes};
}

}  // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    imaging::StartImageEngine();
    const int runLevel = imaging::PngOptionsForQuality(85).level;
    std::printf("%-22s %-16s %12s %12s %10s %10s\n", "set", "encoder", "CPU ms/pic", "bytes",
                "CPU ratio", "size");
    for (const PictureSet& set : {Photos(), Portraits(true), Portraits(false), Paintings()}) {
        const Result engine = Measure(set, repetitions, EnginePng);
        std::printf("%-22s %-16s %12.1f %12zu %10s %10s\n", set.name.c_str(), "engine (zlib 8)",
                    engine.msPerPicture, engine.bytes, "1.0x", "100.00%");
        for (const int level : {5, 6, 8, 9, 10, 11, 12}) {
            const Result ours = Measure(set, repetitions, [&](const imaging::cDIBSection& dib) {
                return imaging::EncodePng(dib, {.level = level, .filter = {}});
            });
            const std::string name =
                "libdeflate " + std::to_string(level) + (level == runLevel ? " (run)" : "");
            std::printf(
                "%-22s %-16s %12.1f %12zu %9.1fx %9.2f%%\n", "", name.c_str(), ours.msPerPicture,
                ours.bytes, engine.msPerPicture / ours.msPerPicture,
                100.0 * static_cast<double>(ours.bytes) / static_cast<double>(engine.bytes));
        }
    }
    return 0;
}
