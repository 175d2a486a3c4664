// SPDX-License-Identifier: GPL-3.0-or-later
// A contact sheet's thumbnail, in its phases: the area average down to 160 pixels and the JPEG of
// the result (with the tables fitted to it, and with the standard ones the run uses), for the
// picture sizes bench_extract_bench_db's shapes hold. Prints the median microseconds of each
// phase and the JPEG's bytes; the picture is warm in the cache, as it is in the worker that
// has just encoded it.
// Usage: bench_thumbnail [REPETITIONS]

#include <cstdio>
#include <cstdlib>

#include "imaging/jpeg_compression.h"
#include "imaging/thumbnail.h"
#include "median_time.h"
#include "photo_picture.h"

int main(int argc, char** argv) {
    using namespace pictrova;
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    struct Shape {
        const char* name;
        int width, height;
    };
    const Shape shapes[] = {{"portraits", 193, 264}, {"photos", 1024, 768}, {"large", 1600, 1200}};
    std::printf("%-10s %10s %10s %12s %12s %10s %10s\n", "shape", "size", "scale us", "fitted us",
                "standard us", "fitted B", "standard B");
    for (const Shape& shape : shapes) {
        imaging::cDIBSection picture;
        bench::MakePhoto(picture, shape.width, shape.height);
        imaging::cDIBSection small;
        const double scale = bench::MedianMilliseconds(repetitions, [&] {
            small = imaging::ScaleDownToFit(picture, imaging::kThumbnailLongestSide);
        });
        std::size_t bytes[2] = {};
        double encode[2] = {};
        const imaging::HuffmanTables tables[] = {imaging::HuffmanTables::Fitted,
                                                 imaging::HuffmanTables::Standard};
        for (int i = 0; i < 2; ++i)
            encode[i] = bench::MedianMilliseconds(repetitions, [&] {
                bytes[i] =
                    imaging::EncodeJpeg(small, imaging::kThumbnailJpegQuality, tables[i]).size();
            });
        char size[32];
        std::snprintf(size, sizeof size, "%dx%d", shape.width, shape.height);
        std::printf("%-10s %10s %10.1f %12.1f %12.1f %10zu %10zu\n", shape.name, size, scale * 1000,
                    encode[0] * 1000, encode[1] * 1000, bytes[0], bytes[1]);
    }
}
