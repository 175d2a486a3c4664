// SPDX-License-Identifier: GPL-3.0-or-later
// Attachment benchmark of the data layer: writes an .accdb whose attachment field holds N files
// of 100 KB (default 10,000), one per record, once stored raw and once deflated, then reads
// every file back through Attachments() and AttachmentBytes() as the run does, each phase in a
// process of its own. Prints attachments per second, MB/s of decoded bytes and peak resident
// memory per phase; the reads hold one file at a time, so peak memory stays flat whatever N.
// Checksums show that the reads return the written bytes.
//
//   bench_attachments [--count N] [--dir DIR] [--keep]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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

constexpr std::size_t kFileBytes = 100'000;
constexpr std::size_t kDistinctFiles = 64;  // encoded once each; records cycle through them
constexpr double kMegabyte = 1e6;

// File contents: random bytes for the raw files (as a photo would be), and text-like bytes for
// the deflated ones, which compress about 3:1 as documents do.
std::vector<std::uint8_t> Content(std::size_t index, bool compressible) {
    std::vector<std::uint8_t> bytes(kFileBytes);
    std::uint64_t state = 88172645463325252ull + index * 7919;
    for (auto& b : bytes) {
        state ^= state << 13, state ^= state >> 7, state ^= state << 17;
        b = compressible
                ? static_cast<std::uint8_t>("etaoin shrdlu\n"[state % 14] + (state >> 40) % 2)
                : static_cast<std::uint8_t>(state);
    }
    return bytes;
}

int Generate(const std::string& path, std::size_t count, bool deflate) {
    std::vector<jet::Bytes> stored;
    std::vector<std::vector<std::uint8_t>> contents;
    for (std::size_t i = 0; i < kDistinctFiles; ++i) {
        contents.push_back(Content(i, deflate));
        stored.push_back(
            jet::EncodeAttachmentData(deflate ? "txt" : "jpg", contents.back(), deflate));
    }
    jet::DatabasePlan plan;
    plan.format = jet::Format::Ace12;
    plan.tables.push_back(
        {"Files", {{"ID", jet::ColumnType::Long}, {"File", jet::ColumnType::Attachment}}, {}});
    auto start = Clock::now();
    jet::DatabaseWriter writer(path, plan);
    PhaseResult result;
    Fnv fnv;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t k = i % kDistinctFiles;
        jet::AttachmentPlan file{"file" + std::to_string(i) + (deflate ? ".txt" : ".jpg"),
                                 deflate ? "txt" : "jpg",
                                 {},
                                 deflate,
                                 stored[k]};
        jet::Value row[] = {static_cast<std::int64_t>(i + 1), jet::Attachments{std::move(file)}};
        writer.AddRow(0, row);
        fnv.Add(contents[k].data(), contents[k].size());
        result.bytes += contents[k].size();
    }
    result.fileBytes = writer.Finish().fileBytes;
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.values = count;
    result.checksum = fnv.hash;
    Report(result);
    return 0;
}

// Reads every attached file; the checksum is not timed.
int Read(const std::string& path) {
    database::Connection connection;
    connection.Open(database::BuildConnectionString(database::FixedDatabaseSelection(path, "")));
    database::Recordset recordset;
    recordset.Open(database::RunSource("Files"), connection);
    database::Field files = recordset.Fields()["File"];
    PhaseResult result;
    Fnv fnv;
    Clock::duration reading{};
    while (!recordset.Eof()) {
        auto start = Clock::now();
        std::size_t count = files.Attachments().size();
        for (std::size_t i = 0; i < count; ++i) {
            std::vector<std::uint8_t> bytes = files.AttachmentBytes(i);
            reading += Clock::now() - start;
            fnv.Add(bytes.data(), bytes.size());
            result.bytes += bytes.size();
            ++result.values;
            start = Clock::now();
        }
        recordset.MoveNext();
        reading += Clock::now() - start;
    }
    result.seconds = std::chrono::duration<double>(reading).count();
    result.checksum = fnv.hash;
    Report(result);
    return 0;
}

void PrintRow(const char* phase, const PhaseResult& r) {
    double megabytes = static_cast<double>(r.bytes) / kMegabyte;
    std::printf("| %-22s | %6llu | %8.1f | %7.2f | %10.0f | %7.1f | %8.1f |\n", phase, r.values,
                megabytes, r.seconds, static_cast<double>(r.values) / r.seconds,
                megabytes / r.seconds, static_cast<double>(r.peakKilobytes) / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc >= 4 && std::strcmp(argv[1], "--phase") == 0) {
            std::string phase = argv[2], path = argv[3];
            std::size_t count = argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 10'000;
            if (phase == "write-raw")
                return Generate(path, count, false);
            if (phase == "write-deflated")
                return Generate(path, count, true);
            return Read(path);
        }
        std::size_t count = 10'000;
        fs::path dir = fs::temp_directory_path();
        bool keep = false;
        for (int i = 1; i < argc; ++i) {
            std::string a = argv[i];
            if (a == "--count" && i + 1 < argc)
                count = std::strtoull(argv[++i], nullptr, 10);
            else if (a == "--dir" && i + 1 < argc)
                dir = argv[++i];
            else if (a == "--keep")
                keep = true;
            else {
                std::fprintf(stderr, "usage: %s [--count N] [--dir DIR] [--keep]\n", argv[0]);
                return 2;
            }
        }
        std::string self = fs::canonical("/proc/self/exe").string();
        std::string stem =
            (dir / ("pictrova-attachment-bench-" + std::to_string(getpid()))).string();
        std::printf("%zu attachments of %zu bytes, one per record\n\n", count, kFileBytes);
        std::printf("| %-22s | %6s | %8s | %7s | %10s | %7s | %8s |\n", "phase", "files", "MB",
                    "seconds", "files/s", "MB/s", "peak MB");
        std::printf(
            "|------------------------|--------|----------|---------|------------|---------|-------"
            "---|\n");
        bool same = true;
        for (const char* kind : {"raw", "deflated"}) {
            std::string path = stem + "-" + kind + ".accdb";
            PhaseResult written = RunPhase(self.c_str(), {"--phase", std::string("write-") + kind,
                                                          path, std::to_string(count)});
            PhaseResult read = RunPhase(self.c_str(), {"--phase", "read", path});
            if (!keep)
                fs::remove(path);
            PrintRow((std::string("write ") + kind).c_str(), written);
            PrintRow((std::string("read ") + kind).c_str(), read);
            same = same && read.checksum == written.checksum && read.bytes == written.bytes;
        }
        std::printf("\nreads equal the written files: %s\n", same ? "yes" : "NO");
        return same ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_attachments: %s\n", e.what());
        return 1;
    }
}
