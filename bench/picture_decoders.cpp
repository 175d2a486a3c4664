// SPDX-License-Identifier: GPL-3.0-or-later
// The loader's own BMP, JPEG, PNG and GIF readers against the image engine reading the same files
// into the bitmap (the path they replace): processor time per picture, median of the repetitions,
// for 1024 x 768 pictures of each layout the readers take.
//
//   bench_picture_decoders [repetitions]   (default 7)

#include <Magick++.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "imaging/bmp_decoder.h"
#include "imaging/engine/engine_images.h"
#include "imaging/engine_io.h"
#include "imaging/gif_decoder.h"
#include "imaging/gif_encoder.h"
#include "imaging/image_engine.h"
#include "imaging/jpeg_decoder.h"
#include "imaging/jpeg_encoder.h"
#include "imaging/picture_holder.h"
#include "imaging/png_decoder.h"
#include "imaging/png_encoder.h"
#include "ole_builder/pictures.h"
#include "photo_picture.h"

namespace {

using namespace pictrova;
using Bytes = std::vector<std::uint8_t>;

double CpuMilliseconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double Median(int repetitions, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < repetitions; ++i) {
        const double start = CpuMilliseconds();
        work();
        times.push_back(CpuMilliseconds() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    imaging::StartImageEngine();
    imaging::PictureHolder photo;
    bench::MakePhoto(photo.Image(), 1024, 768, 3);
    using Decoder = bool (*)(std::span<const std::uint8_t>, imaging::cDIBSection&);
    const struct {
        const char* name;
        Bytes file;
        const char* coder;
        Decoder ours;
    } inputs[] = {
        {"BMP 8-bit", fixtures::MakeBmpFile(1024, 768, 8), "BMP", imaging::DecodeBmp},
        {"BMP RLE8", fixtures::MakeRunLengthBmpFile(1024, 768, 8), "BMP", imaging::DecodeBmp},
        {"BMP 24-bit", photo.BmpFileBytes(), "BMP", imaging::DecodeBmp},
        {"JPEG q85 photo", imaging::EncodeJPG(photo, 85), "JPEG", imaging::DecodeJpeg},
        {"PNG RGB photo", imaging::EncodePng(photo.Image()), "PNG", imaging::DecodePng},
        {"GIF photo", imaging::EncodeGif(photo.Image()), "GIF", imaging::DecodeGif},
    };
    std::printf("%-16s %10s %12s %12s %8s\n", "input", "bytes", "engine ms", "ours ms", "ratio");
    for (const auto& input : inputs) {
        imaging::cDIBSection dib;
        const double engine = Median(repetitions, [&] {
            Magick::Image image = imaging::ReadEngineImage(input.file, input.coder);
            image.matte(false);
            imaging::EngineImageToDib(image, dib);
        });
        const double ours = Median(repetitions, [&] {
            if (!input.ours(input.file, dib))
                std::abort();
        });
        std::printf("%-16s %10zu %12.1f %12.1f %7.1fx\n", input.name, input.file.size(), engine,
                    ours, engine / ours);
    }
    return 0;
}
