// SPDX-License-Identifier: GPL-3.0-or-later
// The picture-file helpers as the run uses them on a work file: the DIB wrapper repair, then
// the loader with its content sniffing and the engine's resource limits.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/error.h"
#include "common/host.h"
#include "fuzz_limits.h"
#include "imaging/image_engine.h"
#include "imaging/picture_files.h"
#include "imaging/picture_holder.h"

namespace {

std::filesystem::path gWorkFile;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    pictrova::imaging::StartImageEngine(kFuzzEngineLimits);
    // Shared memory keeps the per-input file writes off the disk; one file per process so that
    // parallel fuzzing jobs do not collide.
    std::filesystem::path dir =
        std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
    gWorkFile = dir / ("pictrova-fuzz-picture-" + std::to_string(getpid()) + ".bmp");
    std::atexit([] { std::filesystem::remove(gWorkFile); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream out(gWorkFile, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    try {
        pictrova::imaging::RepairPictureFile(gWorkFile);
    } catch (const pictrova::Error&) {
        return 0;
    }
    pictrova::SilentHost host;
    pictrova::imaging::PictureHolder holder;
    std::string message;
    bool tooBig = false;
    pictrova::imaging::LoadPictureFile(host, holder, gWorkFile, message, false, tooBig);
    return 0;
}
