// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmark of the batch survey (pictrova-cli scan): writes a database of mixed picture values
// with our writer — paint pictures, static pictures, packages and pictures stored without an
// object header, from 3 KB to 786 KB — and times run::ScanDatabase over it, which reads only the
// start of each value, against reading every value whole as the extraction does. A second
// database (Access 2007) holds the same amount in an Attachment field, two files a record (a PNG
// stored as it is and a deflated BMP): the scan lists the files by type without reading them,
// the extraction decodes every file. Prints the median of --repeat runs of each as database
// megabytes per second.
//
//   bench_batch_scan [--megabytes N] [--repeat N] [--dir DIR] [--keep]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "database/database.h"
#include "jet_writer/jet_writer.h"
#include "ole_builder/ole_fields.h"
#include "ole_builder/pictures.h"
#include "run/database_scan.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace pictrova;

constexpr double kMegabyte = 1e6;

std::vector<fixtures::Bytes> Values() {
    fixtures::PackageContents package;
    package.label = "scan.bmp";
    package.file = fixtures::MakeBmpFile(400, 300);
    return {
        fixtures::BuildPaintPicture(fixtures::MakeBmpFile(512, 512)),  // 786 KB
        fixtures::BuildPaintPicture(fixtures::MakeBmpFile(300, 200)),
        fixtures::BuildStaticDib(fixtures::MakePackedDib(640, 480, 24)),
        fixtures::BuildPackage(package),
        fixtures::MakePngFile(800, 600),
        fixtures::MakeBmpFile(32, 32),  // 3 KB
    };
}

std::uint64_t Generate(const fs::path& path, double megabytes, std::size_t& values) {
    const auto kinds = Values();
    jet::DatabasePlan plan;
    plan.tables.push_back(
        {"Pictures", {{"ID", jet::ColumnType::Long}, {"Picture", jet::ColumnType::OleObject}}, {}});
    jet::DatabaseWriter writer(path, plan);
    double written = 0;
    for (values = 0; written < megabytes * kMegabyte; ++values) {
        const auto& value = kinds[values % kinds.size()];
        jet::Value row[] = {static_cast<std::int64_t>(values + 1), jet::ByteView(value)};
        writer.AddRow(0, row);
        written += static_cast<double>(value.size());
    }
    return writer.Finish().fileBytes;
}

std::uint64_t GenerateAttached(const fs::path& path, double megabytes, std::size_t& files) {
    const fixtures::Bytes png = fixtures::MakePngFile(800, 600);
    const fixtures::Bytes bmp = fixtures::MakeBmpFile(400, 300);
    jet::DatabasePlan plan;
    plan.format = jet::Format::Ace12;
    plan.tables.push_back(
        {"Attached", {{"ID", jet::ColumnType::Long}, {"Files", jet::ColumnType::Attachment}}, {}});
    jet::DatabaseWriter writer(path, plan);
    double written = 0;
    files = 0;
    for (std::int64_t id = 1; written < megabytes * kMegabyte; ++id) {
        jet::Value row[] = {id, jet::Attachments{{"photo.png", "png", png, false, std::nullopt},
                                                 {"scan.bmp", "bmp", bmp, true, std::nullopt}}};
        writer.AddRow(0, row);
        written += static_cast<double>(png.size() + bmp.size());
        files += 2;
    }
    return writer.Finish().fileBytes;
}

double ReadAttachedWhole(const fs::path& path, std::uint64_t& bytes) {
    const auto start = Clock::now();
    database::Connection connection;
    connection.Open(
        database::BuildConnectionString(database::FixedDatabaseSelection(path.string(), "")));
    database::Recordset recordset;
    recordset.Open(database::RunSource("Attached"), connection);
    database::Field attached = recordset.Fields()["Files"];
    bytes = 0;
    for (; !recordset.Eof(); recordset.MoveNext()) {
        const std::size_t count = attached.Attachments().size();
        for (std::size_t i = 0; i < count; ++i)
            bytes += attached.AttachmentBytes(i).size();
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double ReadWhole(const fs::path& path, std::uint64_t& bytes) {
    const auto start = Clock::now();
    database::Connection connection;
    connection.Open(
        database::BuildConnectionString(database::FixedDatabaseSelection(path.string(), "")));
    database::Recordset recordset;
    recordset.Open(database::RunSource("Pictures"), connection);
    database::Field picture = recordset.Fields()["Picture"];
    bytes = 0;
    for (; !recordset.Eof(); recordset.MoveNext())
        bytes += picture.Value().bytes().size();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    double megabytes = 300;
    int repeat = 3;
    fs::path dir = fs::temp_directory_path();
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--megabytes" && i + 1 < argc)
            megabytes = std::atof(argv[++i]);
        else if (a == "--repeat" && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (a == "--dir" && i + 1 < argc)
            dir = argv[++i];
        else if (a == "--keep")
            keep = true;
        else {
            std::fprintf(
                stderr,
                "usage: bench_batch_scan [--megabytes N] [--repeat N] [--dir DIR] [--keep]\n");
            return 2;
        }
    }
    const fs::path path = dir / "bench_batch_scan.mdb";
    std::size_t values = 0;
    const std::uint64_t fileBytes = Generate(path, megabytes, values);
    const double fileMb = static_cast<double>(fileBytes) / kMegabyte;

    std::vector<double> scanTimes, wholeTimes;
    run::DatabaseScan scan;
    std::uint64_t wholeBytes = 0;
    for (int i = 0; i < repeat; ++i) {
        auto start = Clock::now();
        scan = run::ScanDatabase(path, "");
        scanTimes.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        wholeTimes.push_back(ReadWhole(path, wholeBytes));
    }
    if (!scan.error.empty() || scan.tables.empty() || scan.tables[0].fields.empty()) {
        std::fprintf(stderr, "scan failed: %s\n", scan.error.c_str());
        return 1;
    }
    const auto& field = scan.tables[0].fields[0];
    std::printf(
        "database: %.1f MB, %zu values (%lld classified: %zu classes, %zu picture kinds)\n\n",
        fileMb, values, static_cast<long long>(field.values), field.objectClasses.size(),
        field.pictureKinds.size());
    const double count = static_cast<double>(values);
    std::printf("%-24s %10s %10s %10s %10s\n", "phase", "median s", "DB MB/s", "values/s",
                "MB read");
    std::printf("%-24s %10.3f %10.1f %10.0f %10.1f\n", "scan (value heads)", Median(scanTimes),
                fileMb / Median(scanTimes), count / Median(scanTimes),
                static_cast<double>(scan.bytesRead) / kMegabyte);
    std::printf("%-24s %10.3f %10.1f %10.0f %10.1f\n", "every value read whole", Median(wholeTimes),
                fileMb / Median(wholeTimes), count / Median(wholeTimes),
                static_cast<double>(wholeBytes) / kMegabyte);

    const fs::path attachedPath = dir / "bench_batch_scan.accdb";
    std::size_t files = 0;
    const double attachedMb =
        static_cast<double>(GenerateAttached(attachedPath, megabytes, files)) / kMegabyte;
    std::vector<double> listTimes, decodeTimes;
    run::DatabaseScan attachedScan;
    std::uint64_t decodedBytes = 0;
    for (int i = 0; i < repeat; ++i) {
        auto start = Clock::now();
        attachedScan = run::ScanDatabase(attachedPath, "");
        listTimes.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        decodeTimes.push_back(ReadAttachedWhole(attachedPath, decodedBytes));
    }
    if (!attachedScan.error.empty() || attachedScan.tables.empty() ||
        attachedScan.tables[0].fields.empty()) {
        std::fprintf(stderr, "scan failed: %s\n", attachedScan.error.c_str());
        return 1;
    }
    const auto& attachments = attachedScan.tables[0].fields[0];
    std::printf("\nattachments: %.1f MB, %zu files (%lld counted in %zu types)\n\n", attachedMb,
                files, static_cast<long long>(attachments.files), attachments.fileTypes.size());
    const double fileCount = static_cast<double>(files);
    std::printf("%-24s %10s %10s %10s %10s\n", "phase", "median s", "DB MB/s", "files/s",
                "MB decoded");
    std::printf("%-24s %10.3f %10.1f %10.0f %10.1f\n", "scan (file lists)", Median(listTimes),
                attachedMb / Median(listTimes), fileCount / Median(listTimes), 0.0);
    std::printf("%-24s %10.3f %10.1f %10.0f %10.1f\n", "every file decoded", Median(decodeTimes),
                attachedMb / Median(decodeTimes), fileCount / Median(decodeTimes),
                static_cast<double>(decodedBytes) / kMegabyte);
    if (!keep) {
        fs::remove(path);
        fs::remove(attachedPath);
    }
    return 0;
}
