// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The files a run makes besides its output: a private work folder, and output files that take
// their final name only once they are complete.

#include <cstdint>
#include <filesystem>

namespace pictrova::run {

// A folder of one run's own (mkdtemp), removed with everything in it when the run ends, so two
// runs never share work files and nothing of the run's is left behind.
class WorkFolder {
public:
    WorkFolder() = default;
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    ~WorkFolder() { Remove(); }

    // Makes the folder under `root` (empty: $TMPDIR, else /tmp). Throws pictrova::Error.
    void Make(const std::filesystem::path& root);
    void Remove() noexcept;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// An output file written under a hidden temporary name beside its final one and renamed into
// place; removed unless committed, so a failure never leaves a partial picture under the name.
class PendingOutput {
public:
    PendingOutput() = default;
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;
    ~PendingOutput() { Discard(); }

    // Starts a new file (discarding an unfinished one) and returns the name to write it under.
    const std::filesystem::path& Begin(const std::filesystem::path& finalPath, std::int64_t record);
    bool active() const { return !temporary_.empty(); }
    const std::filesystem::path& temporary() const { return temporary_; }
    // Renames the written file to its final name and returns that. Throws on failure.
    std::filesystem::path Commit();
    // Gives the written file the name `finalPath` unless a file of that name exists (then false,
    // and the file stays pending); no other process's file is ever replaced. Throws on failure.
    bool CommitWithoutReplacing(const std::filesystem::path& finalPath);
    void Discard() noexcept;

private:
    std::filesystem::path final_;
    std::filesystem::path temporary_;
};

}  // namespace pictrova::run
