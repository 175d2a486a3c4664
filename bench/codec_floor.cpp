// SPDX-License-Identifier: GPL-3.0-or-later
// Each output format's codec floor: the encoder alone on the bitmaps of extract-bench's "photos"
// table (1024 x 768 photo-like bitmaps, seed = record index), the picture already in memory, no
// database, no file. Prints, per format of the run's format table, CPU ms per picture and the
// encoded size. extract-bench sets these beside the whole run's CPU per record.
//
//   bench_codec_floor [PICTURES [QUALITY]]   (default 24 and 85)

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "imaging/dib_section.h"
#include "imaging/image_engine.h"
#include "imaging/picture_encoder.h"
#include "photo_picture.h"
#include "run/output_formats.h"

namespace {

double CpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace pictrova;
    const long pictures = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 24;
    const int quality = argc > 2 ? std::atoi(argv[2]) : 85;
    if (pictures <= 0) {
        std::fprintf(stderr, "usage: %s [PICTURES [QUALITY]]\n", argv[0]);
        return 2;
    }
    imaging::StartImageEngine();
    std::vector<imaging::cDIBSection> bitmaps(static_cast<std::size_t>(pictures));
    for (long i = 0; i < pictures; ++i)
        bench::MakePhoto(bitmaps[static_cast<std::size_t>(i)], 1024, 768, static_cast<unsigned>(i));

    std::printf("codec floor: %ld photo-like 1024 x 768 bitmaps, quality %d, one thread\n\n",
                pictures, quality);
    std::printf("%-6s %18s %12s\n", "format", "floor CPU ms/pic", "KB/pic");
    for (const run::OutputFormatRow& row : run::OutputFormatRows()) {
        if (!row.encoder)
            continue;
        const imaging::EncodeSettings settings = run::RunEncodeSettings(row, quality);
        std::size_t bytes = 0;
        const double start = CpuMilliseconds();
        for (const imaging::cDIBSection& bitmap : bitmaps)
            bytes += imaging::EncodePicture(bitmap, settings).size();
        const double spent = CpuMilliseconds() - start;
        std::printf("%-6s %18.1f %12.0f\n", row.commandWords[0].data(),
                    spent / static_cast<double>(pictures),
                    static_cast<double>(bytes) / 1024.0 / static_cast<double>(pictures));
    }
    return 0;
}
