// SPDX-License-Identifier: GPL-3.0-or-later
// pictrova-emf: draws one enhanced metafile. It reads the metafile's bytes on standard input and
// writes a 24-bit BMP file of the picture on standard output, at the size given on the command
// line (WIDTH HEIGHT) or else at the metafile's frame on a 96-dpi screen. Areas the picture does
// not paint come out white, as they do for standard metafiles.
//
// The metafile goes through libemf2svg (to SVG) and librsvg (to pixels). Both are libraries a
// hostile file can crash or stall, and libemf2svg cannot share a process with the engine's
// standard-metafile library (both export wmf_free): the program runs alone, started by the
// loader once per picture, with its own limits. It dies with the process that started it, stops
// after its CPU-time limit, and checks the records the way the loader does before drawing.
//
// Exit status: 0 picture written (or --help, --version answered), 1 not drawn (reason on standard
// error), 2 wrong arguments.

#include <sys/resource.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"
#include "common/limits.h"
#include "emf/emf_drawing.h"
#include "imaging/bmp_format.h"
#include "imaging/emf_records.h"
#include "imaging/metafile_cost.h"

namespace {

using pictrova::Error;
using namespace pictrova::imaging;

// Limits of one drawing (common/limits.h): CPU seconds (soft, then the hard kill one later),
// address space and the size of the metafile read.
constexpr rlim_t kCpuSeconds = pictrova::kEmfDrawCpuSeconds;
constexpr rlim_t kAddressSpaceBytes = pictrova::kEmfDrawAddressSpaceBytes;
using pictrova::kMaxMetafileBytes;

constexpr char kUsage[] =
    "Usage: pictrova-emf [WIDTH HEIGHT] < PICTURE.emf > PICTURE.bmp\n"
    "Draws the enhanced metafile read on standard input and writes it on standard output as a\n"
    "24-bit BMP file of WIDTH x HEIGHT pixels, or else of the metafile's frame on a 96-dpi\n"
    "screen. The run starts it once per EMF picture; it stops after a limit of CPU time and\n"
    "memory, and with the program that started it.\n"
    "\n"
    "  --help        this text;  --version  the version\n"
    "\n"
    "Exit status: 0 written, 1 not drawn (the reason on stderr, one line), 2 the arguments are\n"
    "wrong.\n";

// Lowers a limit, never raises one the process was started with (raising would fail, and the
// limit would then not be set at all).
void SetLimit(int resource, rlim_t soft, rlim_t hard) {
    rlimit limit{};
    if (getrlimit(resource, &limit) != 0)
        return;
    limit.rlim_max = std::min(limit.rlim_max, hard);
    limit.rlim_cur = std::min({limit.rlim_cur, soft, limit.rlim_max});
    setrlimit(resource, &limit);
}

void LimitThisProcess() {
#if defined(__linux__)
    // Die with the starter: a killed or crashed loader leaves no drawing behind.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    SetLimit(RLIMIT_CPU, kCpuSeconds, kCpuSeconds + 1);
    SetLimit(RLIMIT_CORE, 0, 0);
#if !defined(__SANITIZE_ADDRESS__)
    // The address sanitizer reserves terabytes of shadow memory; the limit would stop it.
    SetLimit(RLIMIT_AS, kAddressSpaceBytes, kAddressSpaceBytes);
#endif
}

std::vector<std::uint8_t> ReadAll(int fd) {
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[65536];
    while (true) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw Error(std::string("cannot read the metafile: ") + std::strerror(errno));
        if (n == 0)
            return bytes;
        if (bytes.size() + static_cast<std::size_t>(n) > kMaxMetafileBytes)
            throw Error("metafile too large");
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
}

void WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw Error(std::string("cannot write the picture: ") + std::strerror(errno));
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
}

bool ParseSide(const char* text, std::int64_t& side) {
    const std::string_view s(text);
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), side);
    return error == std::errc() && end == s.data() + s.size() && side > 0;
}

// The drawing as a BMP file: headers, then the rows bottom first, padded to four bytes, written
// as they are converted.
void WriteBmpFile(int fd, const Drawing& drawing) {
    const std::size_t stride =
        (static_cast<std::size_t>(drawing.width()) * 3 + 3) & ~std::size_t{3};
    const std::uint64_t imageSize =
        static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(drawing.height());
    std::vector<std::uint8_t> headers(kBmpHeadersSize);
    WriteBmp24Headers(headers, drawing.width(), drawing.height(),
                      static_cast<std::uint32_t>(imageSize));
    WriteAll(fd, headers);
    // Rows are sent in batches of about a megabyte.
    const std::size_t rowsPerBatch = std::max<std::size_t>(1, (1u << 20) / stride);
    std::vector<std::uint8_t> batch(rowsPerBatch * stride, 0);
    std::size_t filled = 0;
    for (std::int32_t y = drawing.height() - 1; y >= 0; --y) {
        drawing.Row(y, std::span(batch).subspan(filled * stride, stride));
        if (++filled == rowsPerBatch || y == 0) {
            WriteAll(fd, std::span(batch).first(filled * stride));
            filled = 0;
        }
    }
}

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// Under the sanitizers: fontconfig (its font set) and cairo (its font and glyph caches) keep what
// they build for the life of the process and free it only when asked to at exit, which librsvg
// never does. The leak checker is told so, and still checks everything else this program
// allocates.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libcairo.so\n";
}
#endif

int main(int argc, char** argv) {
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::fputs("pictrova-emf " PICTROVA_VERSION "\n", stdout);
        return 0;
    }
    if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    LimitThisProcess();
    // The libraries may print; only the picture goes to the real standard output.
    const int pictureOut = dup(STDOUT_FILENO);
    dup2(STDERR_FILENO, STDOUT_FILENO);

    PixelSize asked;
    if (argc == 3) {
        if (!ParseSide(argv[1], asked.width) || !ParseSide(argv[2], asked.height)) {
            std::fprintf(stderr, "pictrova-emf: WIDTH and HEIGHT must be positive whole numbers\n");
            return 2;
        }
    } else if (argc != 1) {
        std::fprintf(stderr,
                     "pictrova-emf: expected WIDTH HEIGHT or nothing (--help shows the "
                     "syntax)\n");
        return 2;
    }
    try {
        const CheckedEnhancedMetafile metafile = CheckEnhancedMetafile(ReadAll(STDIN_FILENO));
        const PixelSize size =
            asked.width > 0 ? asked : EnhancedMetafilePixelSize(metafile, ReferenceDevice{});
        EnforceDrawingSize(size);
        EnforceMetafileCost(EnhancedMetafileWork(metafile, size), pictrova::kEmfCostRates);
        WriteBmpFile(pictureOut, DrawEnhancedMetafile(metafile, size));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pictrova-emf: %s\n", e.what());
        return 1;
    }
}
