// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// extract-all's manifest: one entry per database, keyed by its absolute path, with the folder
// (one name directly inside the output folder) its pictures go to.
//
// On disk, in the output folder OUT:
//   .manifest/index      one line per database, in the order they were first seen:
//                        {"path": ..., "folder": ...}; lines are only ever appended
//   .manifest/N.json     the entry of the index's line N (1-based), rewritten whole (atomically)
//                        when the database ends, and when it starts again after an earlier
//                        batch wrote one (a new line has none: a missing file reads as
//                        "incomplete")
//   manifest.json        every entry in index order, {"databases": [...]}: the batch's summary,
//                        written when a batch ends
//   manifest.json.lock   held (flock) around every read and write, so several batches may share
//                        OUT; removed when a batch ends
// A database costs one index line and one write of its own file, whatever the number of
// databases before it; a batch reads each index line once (the lines other batches append are
// read as they come), and the summary is written one entry at a time.
//
// Entry files are renamed into place without a flush of their own; every
// kManifestEntriesPerFlush entries, and before the summary, one syncfs() puts them all on disk.
// A database is stored as "complete" only after its pictures were flushed, so no order of what
// reaches the disk before a crash shows a database complete whose pictures are not there: an
// entry lost or cut short reads as "incomplete", and that database is extracted again.
//
// An output folder written by an older program holds only manifest.json: it is taken over into
// the files above the first time. Entries whose folder is not a single name inside OUT (a `..`,
// an absolute path, not a string) are reported and not used: their database is extracted again
// into a folder of its own.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace pictrova::cli {

class Manifest {
  public:
    using Json = nlohmann::ordered_json;
    using Warn = std::function<void(const std::string&)>;

    // `warn` receives one line for each unusable entry found. Nothing is read before the first
    // call below.
    Manifest(std::filesystem::path folder, Warn warn);

    // The status of `path`'s entry ("complete", "incomplete", "failed"), empty when it has none.
    // Throws pictrova::Error when OUT holds a manifest.json that is not this program's, or the
    // manifest cannot be read or written.
    std::string Status(const std::string& path);

    // The folder of `path`'s entry, or a new one named after the file and unused by any other
    // entry; the entry is written as incomplete either way.
    std::string Begin(const std::string& path);

    // Writes `entry` (an object with the "path" given to Begin) as that database's entry.
    void Store(const Json& entry);

    // Flushes the entries and writes manifest.json from every entry; removes the lock file.
    void Summarize();

    std::filesystem::path path() const;

  private:
    struct Slot {
        std::string folder;
        std::uint64_t number = 0;  // its index line, 1-based
    };
    class Lock;

    void Refresh();
    void ReadIndexFrom(std::uint64_t offset);
    void TakeIndexLine(const std::string& line);
    void TakeOver();
    void Append(const std::string& path, const std::string& folder);
    Json ReadEntry(const std::string& path, const Slot& slot) const;
    void WriteEntry(const Slot& slot, const Json& entry);
    void Flush();
    std::filesystem::path EntryFile(std::uint64_t number) const;
    std::filesystem::path IndexFile() const;

    std::filesystem::path folder_;
    Warn warn_;
    std::map<std::string, Slot> byPath_;
    std::vector<std::string> order_;  // paths in index order
    std::set<std::string> taken_;     // folders of entries
    std::uint64_t indexRead_ = 0;     // bytes of the index taken (whole lines)
    std::uint64_t linesRead_ = 0;     // lines of the index taken
    std::uint64_t indexInode_ = 0;    // the index file read (another means it was replaced)
    int unflushed_ = 0;               // entries written since the last flush
};

// Why `folder` cannot be an entry's folder (empty when it can): it must be a string naming one
// folder directly inside the output folder, other than the manifest's own files.
std::string FolderProblem(const nlohmann::ordered_json& folder);

}  // namespace pictrova::cli
