// SPDX-License-Identifier: GPL-3.0-or-later
// Scan benchmark of the data layer: writes a database of about 1 GB of OLE Object values with
// our writer, then reads every value whole (Value, read method 1) and in 100,000-byte chunks
// (GetChunk, read method 2), each phase in a process of its own so that its peak memory is its
// own. Prints MB/s and peak resident memory per phase; the chunked read should stay under 32 MB
// whatever the value sizes. Checksums show that both reads return what was written.
//
//   bench_scan [--megabytes N] [--dir DIR] [--keep]

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "common/error.h"
#include "database/database.h"
#include "jet_writer/jet_writer.h"
#include "phase_process.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace pictrova;
using bench::Fnv;
using bench::PhaseResult;
using bench::Report;
using bench::RunPhase;

constexpr std::int64_t kChunkBytes = 100000;
constexpr double kMegabyte = 1e6;

// Value sizes and their share of the total: one value over 256 MB (its length has bits where
// libmdb looks for flags), large and medium pictures, single-row and inline values.
struct SizeClass {
    std::size_t bytes;
    double share;
};
constexpr SizeClass kClasses[] = {{300'000'000, 0.30}, {20'000'000, 0.20}, {1'000'000, 0.28},
                                  {100'000, 0.18},     {3'000, 0.03},      {50, 0.0001}};

int Generate(const std::string& path, double megabytes) {
    std::vector<std::size_t> sizes;
    for (const SizeClass& c : kClasses) {
        auto count = static_cast<std::size_t>(megabytes * kMegabyte * c.share /
                                              static_cast<double>(c.bytes));
        for (std::size_t i = 0; i < std::max<std::size_t>(count, 1); ++i)
            sizes.push_back(c.bytes);
    }
    std::shuffle(sizes.begin(), sizes.end(), std::mt19937(20261207));

    // Values are windows at different offsets of one random buffer, so no two are equal.
    std::vector<std::uint8_t> source(*std::max_element(sizes.begin(), sizes.end()) + 4096);
    std::uint64_t state = 88172645463325252ull;
    for (auto& b : source) {
        state ^= state << 13, state ^= state >> 7, state ^= state << 17;
        b = static_cast<std::uint8_t>(state);
    }

    jet::DatabasePlan plan;
    plan.tables.push_back(
        {"Pictures", {{"ID", jet::ColumnType::Long}, {"Photo", jet::ColumnType::OleObject}}, {}});
    auto start = Clock::now();
    jet::DatabaseWriter writer(path, plan);
    PhaseResult result;
    Fnv fnv;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        jet::ByteView value(source.data() + (i * 131) % 4096, sizes[i]);
        jet::Value row[] = {static_cast<std::int64_t>(i + 1), value};
        writer.AddRow(0, row);
        fnv.Add(value.data(), value.size());
        result.bytes += value.size();
    }
    result.fileBytes = writer.Finish().fileBytes;
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.values = sizes.size();
    result.checksum = fnv.hash;
    Report(result);
    return 0;
}

// Reads every Photo value; only the reads are timed, not the checksum.
int Scan(const std::string& path, bool chunked) {
    database::Connection connection;
    connection.Open(database::BuildConnectionString(database::FixedDatabaseSelection(path, "")));
    database::Recordset recordset;
    recordset.Open(database::RunSource("Pictures"), connection);
    database::Field photo = recordset.Fields()["Photo"];
    PhaseResult result;
    Fnv fnv;
    Clock::duration reading{};
    while (!recordset.Eof()) {
        auto start = Clock::now();
        std::int64_t size = photo.ActualSize();
        if (!chunked) {
            std::vector<std::uint8_t> value = photo.Value().TakeBytes();
            reading += Clock::now() - start;
            fnv.Add(value.data(), value.size());
            result.bytes += value.size();
        } else {
            // As read method 2 does it: the remainder first, then whole chunks.
            std::vector<std::uint8_t> chunk = photo.GetChunk(size % kChunkBytes);
            reading += Clock::now() - start;
            for (std::int64_t n = 0;; ++n) {
                fnv.Add(chunk.data(), chunk.size());
                result.bytes += chunk.size();
                if (n == size / kChunkBytes)
                    break;
                start = Clock::now();
                chunk = photo.GetChunk(kChunkBytes);
                reading += Clock::now() - start;
            }
        }
        ++result.values;
        auto start2 = Clock::now();
        recordset.MoveNext();
        reading += Clock::now() - start2;
    }
    result.seconds = std::chrono::duration<double>(reading).count();
    result.checksum = fnv.hash;
    Report(result);
    return 0;
}

void PrintRow(const char* phase, const PhaseResult& r) {
    double megabytes = static_cast<double>(r.bytes) / kMegabyte;
    std::printf("| %-28s | %6llu | %9.1f | %7.2f | %8.0f | %8.1f | %016llx |\n", phase, r.values,
                megabytes, r.seconds, megabytes / r.seconds,
                static_cast<double>(r.peakKilobytes) / 1024.0, r.checksum);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc >= 4 && std::strcmp(argv[1], "--phase") == 0) {
            std::string phase = argv[2], path = argv[3];
            if (phase == "generate")
                return Generate(path, argc > 4 ? std::atof(argv[4]) : 1000);
            return Scan(path, phase == "chunked");
        }
        double megabytes = 1000;
        fs::path dir = fs::temp_directory_path();
        bool keep = false;
        for (int i = 1; i < argc; ++i) {
            std::string a = argv[i];
            if (a == "--megabytes" && i + 1 < argc)
                megabytes = std::atof(argv[++i]);
            else if (a == "--dir" && i + 1 < argc)
                dir = argv[++i];
            else if (a == "--keep")
                keep = true;
            else {
                std::fprintf(stderr, "usage: %s [--megabytes N] [--dir DIR] [--keep]\n", argv[0]);
                return 2;
            }
        }
        std::string self = fs::canonical("/proc/self/exe").string();
        std::string path =
            (dir / ("pictrova-scan-bench-" + std::to_string(getpid()) + ".mdb")).string();
        PhaseResult written =
            RunPhase(self.c_str(), {"--phase", "generate", path, std::to_string(megabytes)});
        PhaseResult whole = RunPhase(self.c_str(), {"--phase", "whole", path});
        PhaseResult chunked = RunPhase(self.c_str(), {"--phase", "chunked", path});
        if (!keep)
            fs::remove(path);

        std::printf(
            "database: %.1f MB file, %llu OLE values, %.1f MB of values, largest 300 MB\n\n",
            static_cast<double>(written.fileBytes) / kMegabyte, written.values,
            static_cast<double>(written.bytes) / kMegabyte);
        std::printf("| %-28s | %6s | %9s | %7s | %8s | %8s | %-16s |\n", "phase", "values", "MB",
                    "seconds", "MB/s", "peak MB", "checksum");
        std::printf(
            "|------------------------------|--------|-----------|---------|----------|----------|-"
            "-----------------|\n");
        PrintRow("write (jet_writer)", written);
        PrintRow("read whole (Value)", whole);
        PrintRow("read chunked (GetChunk 1e5)", chunked);
        bool same = whole.checksum == written.checksum && chunked.checksum == written.checksum &&
                    whole.bytes == written.bytes && chunked.bytes == written.bytes;
        std::printf("\nreads equal the written values: %s; chunked peak under 32 MB: %s\n",
                    same ? "yes" : "NO", chunked.peakKilobytes < 32 * 1024 ? "yes" : "NO");
        return same ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_scan: %s\n", e.what());
        return 1;
    }
}
