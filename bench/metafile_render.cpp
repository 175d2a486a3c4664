// SPDX-License-Identifier: GPL-3.0-or-later
// Metafile rendering: the time one metafile takes in the render child, by frame size and record
// count, with the cost the renderer's budget gives it (records x frame pixels). The figures
// choose the render time limit and the cost budget in dib_section.cpp.
//
//   bench_metafile_render [rounds]     (default 3; the median is printed)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/dib_section.h"
#include "imaging/metafile_frame.h"
#include "ole_builder/pictures.h"

using namespace pictrova;
namespace fx = pictrova::fixtures;

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Record(Bytes& b, std::uint16_t function, std::vector<std::int16_t> params) {
    const auto words = static_cast<std::uint32_t>(3 + params.size());
    Put16(b, static_cast<std::uint16_t>(words));
    Put16(b, static_cast<std::uint16_t>(words >> 16));
    Put16(b, function);
    for (std::int16_t p : params)
        Put16(b, static_cast<std::uint16_t>(p));
}

// A metafile of `shapes` rectangles, each covering the whole window (the costly case: every
// record paints every pixel), in a solid brush.
Bytes FullFrameRectangles(std::int16_t extent, int shapes) {
    Bytes b(18, 0);
    Record(b, 0x020B, {0, 0});
    Record(b, 0x020C, {extent, extent});
    Record(b, 0x02FC, {0, 0x3020, 0x0010, 0});  // CreateBrushIndirect solid
    Record(b, 0x012D, {0});                     // SelectObject
    for (int i = 0; i < shapes; ++i)
        Record(b, 0x041B, {extent, extent, 0, 0});
    Record(b, 0x0000, {});
    Bytes header;
    Put16(header, 1);
    Put16(header, 9);
    Put16(header, 0x0300);
    const auto words = static_cast<std::uint32_t>(b.size() / 2);
    Put16(header, static_cast<std::uint16_t>(words));
    Put16(header, static_cast<std::uint16_t>(words >> 16));
    Put16(header, 1);
    Put16(header, 7);
    Put16(header, 0);
    Put16(header, 0);
    std::copy(header.begin(), header.end(), b.begin());
    return b;
}

// Hundredths of a millimetre for `pixels` on the 96-dpi reference device.
std::int32_t HimetricFor(int pixels) {
    return static_cast<std::int32_t>(pixels * 2540.0 / 96.0);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    struct Case {
        std::string name;
        Bytes metafile;
        int pixels;   // frame side
        int records;  // drawing records, roughly
    };
    std::vector<Case> cases;
    for (int side : {400, 1000, 2000, 4000}) {
        cases.push_back({"shapes and text", fx::MakeMetafile(1000, 1000, true, 2), side, 15});
    }
    for (int side : {1000, 2000, 4000}) {
        for (int shapes : {100, 1000})
            cases.push_back(
                {"full-frame rectangles", FullFrameRectangles(1000, shapes), side, shapes});
    }
    cases.push_back({"full-frame rectangles", FullFrameRectangles(1000, 5000), 1000, 5000});

    std::printf("| metafile | frame | records | cost (records x Mpixels) | median ms | result |\n");
    std::printf("|---|---|---|---|---|---|\n");
    for (const Case& c : cases) {
        std::vector<double> times;
        bool ok = false;
        for (int r = 0; r < rounds; ++r) {
            Bytes bits = c.metafile;
            std::int32_t mm = imaging::MM_ANISOTROPIC, x = HimetricFor(c.pixels),
                         y = HimetricFor(c.pixels);
            imaging::cDIBSection dib;
            const auto start = std::chrono::steady_clock::now();
            ok = dib.WMFtoBMP(bits, mm, x, y);
            times.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
        }
        std::sort(times.begin(), times.end());
        const double cost = static_cast<double>(c.records) * c.pixels * c.pixels / 1e6;
        std::printf("| %s | %d x %d | %d | %.0f | %.0f | %s |\n", c.name.c_str(), c.pixels,
                    c.pixels, c.records, cost, times[times.size() / 2], ok ? "drawn" : "refused");
    }
}
