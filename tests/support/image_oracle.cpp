// SPDX-License-Identifier: GPL-3.0-or-later
#include "image_oracle.h"
#include "program_run.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "test_paths.h"

namespace pictrova::testing {

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs an ImageMagick tool with its output in `scratch`; returns its stdout, throws with its
// stderr when it fails.
std::string RunTool(const std::string& tool, const std::vector<std::string>& args,
                    const fs::path& scratch) {
    const fs::path program = ImageMagickTool(tool);
    const ProgramOutcome outcome = RunProgram(program, args, scratch);
    if (outcome.status == -1)
        throw std::runtime_error("cannot start " + program.string());
    if (outcome.status != 0)
        throw std::runtime_error(tool + " failed: " + outcome.err);
    return outcome.out;
}

}  // namespace

fs::path ImageMagickTool(const std::string& name) {
    const fs::path path = fs::path("/usr/bin") / name;
    if (access(path.c_str(), X_OK) != 0)
        throw std::runtime_error(path.string() +
                                 " is missing: install ImageMagick (scripts/install-deps)");
    return path;
}

DecodedPicture DecodeWithImageMagick(const fs::path& file) {
    TempDir scratch;
    const fs::path ppm = scratch / "decoded.ppm";
    RunTool("convert",
            {file.string() + "[0]", "-auto-orient", "-alpha", "off", "-depth", "8",
             "ppm:" + ppm.string()},
            scratch.path());
    // P6 <width> <height> <maxval> then width x height RGB triples.
    std::istringstream in(ReadAll(ppm));
    std::string magic;
    int maxval = 0;
    DecodedPicture picture;
    in >> magic >> picture.width >> picture.height >> maxval;
    in.get();
    if (magic != "P6" || maxval != 255 || picture.width <= 0 || picture.height <= 0)
        throw std::runtime_error("unexpected PPM from convert for " + file.string());
    picture.pixels.resize(static_cast<std::size_t>(picture.width) *
                          static_cast<std::size_t>(picture.height));
    in.read(reinterpret_cast<char*>(picture.pixels.data()),
            static_cast<std::streamsize>(picture.pixels.size() * 3));
    if (!in)
        throw std::runtime_error("short PPM from convert for " + file.string());
    return picture;
}

std::string IdentifiedFormat(const fs::path& file) {
    return Identify(file, "%m");
}

std::string Identify(const fs::path& file, const std::string& format) {
    TempDir scratch;
    return RunTool("identify", {"-format", format, file.string() + "[0]"}, scratch.path());
}

void WritePpm(const fs::path& file, int width, int height,
              const std::function<RgbPixel(int x, int y)>& pixel) {
    std::ofstream out(file, std::ios::binary);
    out << "P6\n" << width << " " << height << "\n255\n";
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const RgbPixel p = pixel(x, y);
            out.write(reinterpret_cast<const char*>(p.data()), 3);
        }
    }
}

PictureDifference Difference(const DecodedPicture& reference, const DecodedPicture& candidate,
                             int tolerance) {
    PictureDifference d;
    d.sameSize = reference.width == candidate.width && reference.height == candidate.height;
    if (!d.sameSize)
        return d;
    double squares = 0;
    for (std::size_t k = 0; k < reference.pixels.size(); ++k) {
        int largest = 0;
        for (int c = 0; c < 3; ++c) {
            const int e = std::abs(int(reference.pixels[k][c]) - int(candidate.pixels[k][c]));
            largest = std::max(largest, e);
            squares += double(e) * e;
        }
        d.largestChannelError = std::max(d.largestChannelError, largest);
        if (largest > tolerance)
            ++d.differingPixels;
    }
    d.rootMeanSquare = std::sqrt(squares / (3.0 * static_cast<double>(reference.pixels.size())));
    return d;
}

}  // namespace pictrova::testing
