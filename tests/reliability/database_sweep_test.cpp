// SPDX-License-Identifier: GPL-3.0-or-later
// Damaged copies of our writer's databases through the data layer: list the tables, open every
// table, read every value and decode the picture fields. Each variant runs in a child process
// with a time limit, so a crash or a hang is seen as one and named.

#include <gtest/gtest.h>

#include <iostream>
#include <map>

#include "child_process.h"
#include "common/error.h"
#include "damaged_databases.h"
#include "database/database.h"
#include "ole/ole_object_decoder.h"
#include "test_paths.h"

namespace pictrova::reliability {
namespace {

using namespace std::chrono_literals;
using pictrova::testing::TempDir;

constexpr int kScanned = 0;
constexpr int kRefused = 1;
constexpr int kOtherException = 4;

// What the extraction and the listings ask of the layer, for every table of the file.
int ScanThroughDataLayer(const std::string& path, const std::string& password) {
    try {
        database::Connection connection;
        connection.Open(
            database::BuildConnectionString(database::FixedDatabaseSelection(path, password)));
        database::TablesSchema schema = connection.OpenSchema(database::kAdSchemaTables);
        for (; !schema.Eof(); schema.MoveNext()) {
            if (schema.Value("TABLE_TYPE") != "TABLE")
                continue;
            database::Recordset recordset;
            recordset.Open(database::RunSource(schema.Value("TABLE_NAME")), connection);
            database::FieldCollection fields = recordset.Fields();
            for (; !recordset.Eof(); recordset.MoveNext()) {
                for (int i = 0; i < fields.Count(); ++i) {
                    database::Field field = fields[i];
                    field.ActualSize();
                    database::FieldValue value = field.Value();
                    if (!value.IsBytes())
                        continue;
                    ole::DecodeOleObject(value.TakeBytes());
                }
            }
        }
        return kScanned;
    } catch (const Error& e) {
        std::cout << e.description() << "\n";
        return kRefused;
    } catch (const std::exception& e) {
        std::cout << "unexpected exception: " << e.what() << "\n";
        return kOtherException;
    }
}

TEST(DamagedDatabaseSweep, DataLayerEndsEveryVariantWithAResultOrAnError) {
    TempDir dir;
    std::map<std::string, int> tally;
    std::map<std::string, std::pair<int, int>> byKind;  // kind -> variants, scanned
    std::vector<std::string> failures;
    for (const BaseDatabase& base : SweepBaseDatabases()) {
        // PICTROVA_SWEEP_SEED=N makes another set of variants, for a longer search by hand.
        const char* seedText = std::getenv("PICTROVA_SWEEP_SEED");
        const std::uint32_t seed =
            seedText ? static_cast<std::uint32_t>(std::stoul(seedText)) : kSweepSeed;
        // PICTROVA_SWEEP_SCALE=N makes N times the arbitrary cuts and catalog damages.
        const char* scaleText = std::getenv("PICTROVA_SWEEP_SCALE");
        const int scale = scaleText ? std::max(1, std::stoi(scaleText)) : 1;
        for (const DamagedDatabase& variant : DamagedVariants(base, seed, scale)) {
            const std::string path = (dir / (variant.name + variant.extension)).string();
            WriteBytes(path, variant.bytes);
            // PICTROVA_SWEEP_ONLY=NAME scans that one variant in this process, for a debugger.
            if (const char* only = std::getenv("PICTROVA_SWEEP_ONLY")) {
                if (variant.name == only)
                    std::cout << "scan: " << ScanThroughDataLayer(path, variant.password) << "\n";
                continue;
            }
            const ChildOutcome outcome =
                RunInChild([&] { return ScanThroughDataLayer(path, variant.password); }, 20s);
            std::string verdict;
            if (outcome.Exited(kScanned))
                verdict = "scanned";
            else if (outcome.Exited(kRefused))
                verdict = "refused";
            else
                verdict = "FAULT";
            if (outcome.SanitizerReported())
                verdict = "FAULT";
            ++tally[verdict];
            ++byKind[variant.kind].first;
            if (verdict == "scanned")
                ++byKind[variant.kind].second;
            if (verdict == "FAULT") {
                failures.push_back(variant.name + ": " + outcome.Describe());
                // For a closer look: PICTROVA_SWEEP_KEEP=DIR keeps the faulting variants.
                if (const char* keep = std::getenv("PICTROVA_SWEEP_KEEP"))
                    WriteBytes(std::filesystem::path(keep) / (variant.name + variant.extension),
                               variant.bytes);
            }
            std::filesystem::remove(path);
        }
    }
    for (const auto& [verdict, count] : tally)
        std::cout << verdict << ": " << count << "\n";
    for (const std::string& f : failures)
        ADD_FAILURE() << f;
    for (const auto& [kind, counts] : byKind) {
        const auto [variants, scanned] = counts;
        const double share = static_cast<double>(scanned) / variants;
        std::cout << "  " << kind << ": " << scanned << " of " << variants << " scanned\n";
        const DamageBound* bound = BoundFor(kind);
        if (bound == nullptr) {
            ADD_FAILURE() << "no row in kDamageBounds for the damage " << kind;
            continue;
        }
        EXPECT_GE(share, bound->scannedShare)
            << kind << ": " << scanned << " of " << variants << " scanned";
    }
}

}  // namespace
}  // namespace pictrova::reliability
