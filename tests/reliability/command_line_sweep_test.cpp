// SPDX-License-Identifier: GPL-3.0-or-later
// Damaged copies of our writer's databases through pictrova-cli: tables, fields and extract
// (decoded to BMP; every eighth variant also streamed raw through the converter to PNG). Every
// run must end by itself within the limit with a known exit status, a message when it fails,
// no sanitizer report, no crash; nothing may change outside the output folder, the private
// work folder must be gone, and every output file must be complete.

#include <gtest/gtest.h>

#include <atomic>
#include <iomanip>
#include <iostream>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "child_process.h"
#include "damaged_databases.h"
#include "folder_snapshot.h"
#include "test_paths.h"

namespace pictrova::reliability {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using pictrova::testing::BinDir;
using pictrova::testing::TempDir;

// pictrova-cli's exit statuses: 0 done, 1 no images, 2 a database the checks before the run (or
// the listing) refuse, 3 errors reported.
const std::set<int> kListingStatuses = {0, 2};
const std::set<int> kExtractStatuses = {0, 1, 2, 3};
// Generous for the sanitizer build on a busy machine; a sound run takes well under a second.
constexpr auto kLimit = 60s;
constexpr int kWorkers = 2;
// The raw extraction runs the converter for every record: every eighth variant is enough.
constexpr std::size_t kRawEvery = 8;

struct CommandCase {
    std::string name;
    std::vector<std::string> arguments;  // after the program; DB and OUT are replaced
    const std::set<int>* statuses;
    bool everyVariant;
};

const std::vector<CommandCase>& Commands() {
    static const std::vector<CommandCase> commands = {
        {"tables", {"tables", "DB"}, &kListingStatuses, true},
        {"fields", {"fields", "DB", kPictureTable}, &kListingStatuses, true},
        {"extract",
         {"extract", "DB", "--table", kPictureTable, "--field", kPictureField, "--out", "OUT"},
         &kExtractStatuses,
         true},
        {"extract-raw-png",
         {"extract", "DB", "--table", kPictureTable, "--field", kPictureField, "--out", "OUT",
          "--method", "raw", "--format", "png"},
         &kExtractStatuses,
         false},
    };
    return commands;
}

struct Tally {
    std::map<int, int> statuses;
    int picturesWritten = 0;
};

struct SweepResults {
    std::mutex mutex;
    std::map<std::string, Tally> tallies;  // by command
    std::map<std::string, int> variantOutcomes;
    std::map<std::string, std::pair<int, int>> byKind;  // kind -> variants, variants with pictures
};

// Every command on one variant, in a folder of its own that only it uses.
void SweepVariant(const fs::path& cli, const DamagedDatabase& variant, std::size_t index,
                  const fs::path& home, SweepResults& results) {
    SCOPED_TRACE(variant.name);
    const fs::path database = home / ("damaged" + variant.extension);
    const fs::path work = home / "tmp";
    fs::create_directories(work);
    WriteBytes(database, variant.bytes);
    bool anyPicture = false, listed = false;
    std::map<std::string, std::pair<int, int>> ran;  // command -> exit status, files written
    for (const CommandCase& command : Commands()) {
        if (!command.everyVariant && index % kRawEvery != 0)
            continue;
        const fs::path out = home / ("out-" + command.name);
        fs::create_directories(out);
        const FolderSnapshot before = Snapshot(home);
        ProgramRun run{{cli.string()}, kLimit, {"TMPDIR=" + work.string()}, home};
        for (const std::string& a : command.arguments)
            run.arguments.push_back(a == "DB" ? database.string() : a == "OUT" ? out.string() : a);
        if (!variant.password.empty()) {
            run.arguments.push_back("--password");
            run.arguments.push_back(variant.password);
        }
        const ChildOutcome outcome = RunProgram(run);
        const std::string what = command.name + " " + outcome.Describe();

        ASSERT_EQ(outcome.end, ChildOutcome::End::Exited) << what;
        EXPECT_FALSE(outcome.SanitizerReported()) << what;
        EXPECT_TRUE(command.statuses->contains(outcome.code)) << what;
        if (outcome.code != 0) {
            EXPECT_FALSE(outcome.output.empty()) << what;
        }
        for (const std::string& change : Differences(before, Snapshot(home))) {
            EXPECT_EQ(change.rfind("+out-" + command.name + "/", 0), 0u)
                << change << " changed outside the output folder; " << what;
        }
        EXPECT_TRUE(fs::is_empty(work)) << "work files left behind; " << what;
        int files = 0;
        for (const auto& entry : fs::directory_iterator(out)) {
            ++files;
            if (entry.path().extension() == ".bmp") {
                EXPECT_TRUE(IsCompleteBmp(entry.path())) << entry.path() << " is truncated";
            } else {
                EXPECT_EQ(entry.path().extension(), ".png") << entry.path();
            }
        }
        anyPicture = anyPicture || files > 0;
        if (command.name == "tables" && outcome.code == 0)
            listed = true;
        ran[command.name] = {outcome.code, files};
    }
    fs::remove_all(home);
    // The undamaged base gives every picture.
    if (variant.kind == "intact") {
        EXPECT_EQ(ran["extract"], std::make_pair(0, kBasePictures))
            << "extract: exit status, files written";
    }

    std::lock_guard lock(results.mutex);
    ++results.byKind[variant.kind].first;
    if (ran["extract"].second > 0)
        ++results.byKind[variant.kind].second;
    for (const auto& [command, result] : ran) {
        ++results.tallies[command].statuses[result.first];
        results.tallies[command].picturesWritten += result.second;
    }
    ++results.variantOutcomes[anyPicture ? "pictures extracted"
                              : listed   ? "listed, clean error on extract"
                                         : "clean error"];
}

TEST(DamagedDatabaseSweep, CommandLineEndsEveryVariantCleanlyInsideItsOutputFolder) {
    const fs::path cli = BinDir() / "pictrova-cli";
    ASSERT_TRUE(fs::exists(cli)) << cli;
    TempDir dir;
    std::vector<DamagedDatabase> variants;
    for (const BaseDatabase& base : SweepBaseDatabases()) {
        for (DamagedDatabase& variant : DamagedVariants(base))
            variants.push_back(std::move(variant));
    }
    // Most of a command's time is waiting (process start, the converter's 100 ms polling), so
    // two workers halve the sweep even on two cores.
    SweepResults results;
    std::atomic<std::size_t> next{0};
    auto worker = [&] {
        for (std::size_t i = next++; i < variants.size(); i = next++)
            SweepVariant(cli, variants[i], i, dir / variants[i].name, results);
    };
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w)
        workers.emplace_back(worker);
    for (std::thread& t : workers)
        t.join();

    std::cout << variants.size() << " damaged variants\n";
    for (const auto& [outcome, count] : results.variantOutcomes)
        std::cout << "  " << std::setw(4) << count << "  " << outcome << "\n";
    for (const auto& [command, tally] : results.tallies) {
        std::cout << "  " << command << ":";
        for (const auto& [status, count] : tally.statuses)
            std::cout << " exit " << status << " x" << count;
        std::cout << ", " << tally.picturesWritten << " files written\n";
    }
    for (const auto& [kind, counts] : results.byKind) {
        const auto [total, withPictures] = counts;
        std::cout << "  " << kind << ": " << withPictures << " of " << total << " gave pictures\n";
        const DamageBound* bound = BoundFor(kind);
        if (bound == nullptr) {
            ADD_FAILURE() << "no row in kDamageBounds for the damage " << kind;
            continue;
        }
        EXPECT_GE(static_cast<double>(withPictures) / total, bound->withPicturesShare)
            << kind << ": " << withPictures << " of " << total << " gave pictures";
    }
}

}  // namespace
}  // namespace pictrova::reliability
