// SPDX-License-Identifier: GPL-3.0-or-later
// Metafile rendering: the time one metafile takes through its renderer (standard metafiles in the
// engine's reader in the render child, enhanced metafiles through pictrova-emf), for each kind of
// costly primitive (polygon points, text characters, full-frame fills, empty frames) at several
// sizes, next to the work the cost model counts and its estimate. The rates that fit the
// measurements best (least squares) are printed last: they choose the rates and the budget in
// common/limits.h.
//
//   bench_metafile_render [rounds]     (default 1; the median is printed)

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/limits.h"
#include "imaging/dib_section.h"
#include "imaging/emf_records.h"
#include "imaging/image_engine.h"
#include "imaging/metafile_cost.h"
#include "imaging/metafile_frame.h"
#include "imaging/picture_holder.h"
#include "median_time.h"
#include "ole_builder/enhanced_metafiles.h"
#include "ole_builder/pictures.h"

using namespace pictrova;
namespace fx = pictrova::fixtures;

namespace {

using Bytes = std::vector<std::uint8_t>;
using fx::CostlyPrimitive;

enum class Renderer { Standard, Enhanced };

struct Case {
    Renderer renderer;
    const char* primitive;
    CostlyPrimitive kind;
    int count;
    int side;  // frame side in pixels
};

// Hundredths of a millimetre for `pixels` on the 96-dpi reference device.
std::int32_t HimetricFor(int pixels) {
    return static_cast<std::int32_t>(pixels * 2540.0 / 96.0);
}

struct Measured {
    MetafileWork work;
    double milliseconds = 0;
    std::string result;
};

Measured MeasureStandard(const Case& c, int rounds) {
    // Window and frame the same size: one logical unit a pixel.
    const Bytes wmf = fx::MakeCostlyMetafile(c.kind, c.count, c.side);
    const imaging::CheckedMetafile checked = imaging::CheckMetafile(wmf);
    Measured m;
    m.work = imaging::StandardMetafileWork(
        checked, checked.window.value_or(imaging::LogicalWindow{}), {c.side, c.side});
    m.milliseconds = bench::MedianMilliseconds(rounds, [&] {
        Bytes bits = wmf;
        std::int32_t mm = imaging::MM_ANISOTROPIC, x = HimetricFor(c.side), y = HimetricFor(c.side);
        imaging::cDIBSection dib;
        const bool drawn = dib.WMFtoBMP(bits, mm, x, y);
        m.result = drawn ? "drawn"
                   : dib.lastRefusal()
                       ? std::string(imaging::RenderRefusalDetail(*dib.lastRefusal()))
                       : "refused";
    });
    return m;
}

Measured MeasureEnhanced(const Case& c, int rounds) {
    const Bytes emf = fx::MakeCostlyEnhancedMetafile(c.kind, c.count, c.side, c.side);
    const imaging::CheckedEnhancedMetafile checked = imaging::CheckEnhancedMetafile(emf);
    Measured m;
    m.work = imaging::EnhancedMetafileWork(
        checked, imaging::EnhancedMetafilePixelSize(checked, imaging::ReferenceDevice{}));
    m.milliseconds = bench::MedianMilliseconds(rounds, [&] {
        imaging::PictureHolder holder;
        try {
            holder.LoadFromMemory(emf);
            m.result = "drawn";
        } catch (const imaging::MetafileNotRendered& e) {
            m.result = std::string(imaging::RenderRefusalDetail(e.refusal()));
        } catch (const std::exception&) {
            m.result = "refused";
        }
    });
    return m;
}

// The work as the columns of the fit, in MetafileCostRates' order (the first, 1, is the
// renderer's start).
constexpr std::size_t kColumns = 9;
std::array<double, kColumns> Columns(const MetafileWork& w) {
    return {1.0,
            static_cast<double>(w.framePixels),
            static_cast<double>(w.records),
            static_cast<double>(w.points),
            static_cast<double>(w.characters),
            static_cast<double>(w.filledPixels),
            static_cast<double>(w.edgeRows),
            static_cast<double>(w.edgePixels),
            static_cast<double>(w.edgePairs)};
}
std::array<double, kColumns> RatesOf(const MetafileCostRates& r) {
    return {r.perPicture,     r.perFramePixel, r.perRecord,    r.perPoint,   r.perCharacter,
            r.perFilledPixel, r.perEdgeRow,    r.perEdgePixel, r.perEdgePair};
}
constexpr const char* kColumnNames[kColumns] = {"picture",  "frame pixel", "record",
                                                "point",    "character",   "filled pixel",
                                                "edge row", "edge pixel",  "edge pair"};

// Least squares over the columns `used` (nanoseconds per unit); the others stay 0. Rates that
// come out negative are dropped and the fit repeated without them.
std::array<double, kColumns> FitRates(const std::vector<Measured>& rows,
                                      std::array<bool, kColumns> used) {
    while (true) {
        std::vector<std::size_t> cols;
        for (std::size_t i = 0; i < kColumns; ++i)
            if (used[i])
                cols.push_back(i);
        const std::size_t n = cols.size();
        std::vector<std::vector<double>> a(n, std::vector<double>(n + 1, 0.0));
        for (const Measured& r : rows) {
            const auto x = Columns(r.work);
            const double t = r.milliseconds * 1e6;
            for (std::size_t i = 0; i < n; ++i) {
                for (std::size_t j = 0; j < n; ++j)
                    a[i][j] += x[cols[i]] * x[cols[j]];
                a[i][n] += x[cols[i]] * t;
            }
        }
        // Columns are scaled to their diagonal so that pixels and characters solve alike.
        std::vector<double> scale(n, 1.0);
        for (std::size_t i = 0; i < n; ++i)
            scale[i] = a[i][i] > 0 ? std::sqrt(a[i][i]) : 1.0;
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = 0; j < n; ++j)
                a[i][j] /= scale[i] * scale[j];
            a[i][n] /= scale[i];
        }
        for (std::size_t k = 0; k < n; ++k) {
            std::size_t pivot = k;
            for (std::size_t i = k + 1; i < n; ++i)
                if (std::abs(a[i][k]) > std::abs(a[pivot][k]))
                    pivot = i;
            std::swap(a[k], a[pivot]);
            if (std::abs(a[k][k]) < 1e-12)
                continue;
            for (std::size_t i = 0; i < n; ++i) {
                if (i == k)
                    continue;
                const double f = a[i][k] / a[k][k];
                for (std::size_t j = k; j <= n; ++j)
                    a[i][j] -= f * a[k][j];
            }
        }
        std::array<double, kColumns> rates{};
        bool negative = false;
        for (std::size_t i = 0; i < n; ++i) {
            rates[cols[i]] = std::abs(a[i][i]) < 1e-12 ? 0.0 : a[i][n] / a[i][i] / scale[i];
            if (rates[cols[i]] < 0) {
                used[cols[i]] = false;
                negative = true;
            }
        }
        if (!negative)
            return rates;
    }
}

double Estimate(const MetafileWork& work, const std::array<double, kColumns>& rates) {
    const auto x = Columns(work);
    double total = 0;
    for (std::size_t i = 0; i < kColumns; ++i)
        total += rates[i] * x[i];
    return total / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    imaging::StartImageEngine();
    std::vector<Case> cases;
    for (Renderer r : {Renderer::Standard, Renderer::Enhanced}) {
        for (int side : {500, 1000, 2000, 3000})
            cases.push_back({r, "empty frame", CostlyPrimitive::Fills, 0, side});
        for (int records : {2000, 10000, 30000})
            cases.push_back(
                {r, "records drawing nothing", CostlyPrimitive::Settings, records, 300});
        for (int points : {1000, 3000, 10000})
            cases.push_back({r, "star polygon points", CostlyPrimitive::Polygon, points, 300});
        for (int points : {1000, 3000})
            cases.push_back({r, "star polygon points", CostlyPrimitive::Polygon, points, 600});
        for (int points : {300, 1000, 3000})
            cases.push_back({r, "tangled polygon points", CostlyPrimitive::Tangled, points, 300});
        for (int characters : {2000, 10000, 20000})
            cases.push_back({r, "text characters", CostlyPrimitive::Text, characters, 500});
        for (int fills : {20, 60, 150})
            cases.push_back({r, "full-frame fills", CostlyPrimitive::Fills, fills, 500});
        for (int side : {1000, 2000})
            cases.push_back({r, "full-frame fills", CostlyPrimitive::Fills, 20, side});
        // Beyond the budget: refused at once, where they used to run into the time limit.
        cases.push_back({r, "star polygon points", CostlyPrimitive::Polygon, 10000, 1000});
        cases.push_back({r, "tangled polygon points", CostlyPrimitive::Tangled, 10000, 1000});
        cases.push_back({r, "text characters", CostlyPrimitive::Text, 100000, 500});
        cases.push_back({r, "full-frame fills", CostlyPrimitive::Fills, 1500, 2477});
    }

    std::vector<Measured> measured;
    for (const Case& c : cases)
        measured.push_back(c.renderer == Renderer::Standard ? MeasureStandard(c, rounds)
                                                            : MeasureEnhanced(c, rounds));

    // The engine's reader tests edges pixel by pixel along each row (edge pixels); the drawing
    // program walks each edge row by row (edge rows) and finds where edges cross (edge pairs).
    const std::array<bool, kColumns> standardColumns = {true, true,  true, false, true,
                                                        true, false, true, false};
    const std::array<bool, kColumns> enhancedColumns = {true, true, true,  true, true,
                                                        true, true, false, true};
    std::array<std::array<double, kColumns>, 2> fitted;
    const std::array<const MetafileCostRates*, 2> model = {&kWmfCostRates, &kEmfCostRates};
    for (int r = 0; r < 2; ++r) {
        std::vector<Measured> drawn;
        for (std::size_t i = 0; i < cases.size(); ++i)
            if (static_cast<int>(cases[i].renderer) == r && measured[i].result == "drawn")
                drawn.push_back(measured[i]);
        fitted[r] = FitRates(drawn, r == 0 ? standardColumns : enhancedColumns);
    }

    std::printf(
        "| renderer | primitive | count | frame | measured ms | fitted ms | model ms | "
        "result |\n|---|---|---|---|---|---|---|---|\n");
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const int r = static_cast<int>(c.renderer);
        std::printf("| %s | %s | %d | %d x %d | %.0f | %.0f | %.0f | %s |\n",
                    r == 0 ? "WMF" : "EMF", c.primitive, c.count, c.side, c.side,
                    measured[i].milliseconds, Estimate(measured[i].work, fitted[r]),
                    MetafileRenderNanoseconds(measured[i].work, *model[r]) / 1e6,
                    measured[i].result.c_str());
    }
    std::printf(
        "\n| rate, ns per | WMF fitted | WMF in limits.h | EMF fitted | EMF in limits.h "
        "|\n|---|---|---|---|---|\n");
    const auto wmfRates = RatesOf(kWmfCostRates), emfRates = RatesOf(kEmfCostRates);
    for (std::size_t i = 0; i < kColumns; ++i)
        std::printf("| %s | %.3g | %.3g | %.3g | %.3g |\n", kColumnNames[i], fitted[0][i],
                    wmfRates[i], fitted[1][i], emfRates[i]);
    std::printf("\nbudget: %.1f s estimated\n", kMaxMetafileRenderNanoseconds / 1e9);
}
