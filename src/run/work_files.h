// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The files a run makes besides its output: a private work folder, removed when the run ends,
// and by the next run when the one that made it was killed. Output files are written through
// AtomicFile (common/file_io.h).

#include <chrono>
#include <filesystem>

namespace pictrova::run {

// A folder of one run's own (mkdtemp), removed with everything in it when the run ends, so two
// runs never share work files and nothing of the run's is left behind. While it exists the run
// holds a lock on its file `.lock`; a folder whose lock nobody holds belongs to a run that is
// gone (killed, crashed) and is removed by the next run that makes a folder in the same place.
class WorkFolder {
  public:
    WorkFolder() = default;
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    ~WorkFolder() { Remove(); }

    // Makes the folder under `root` (empty: $TMPDIR, else /tmp), after removing the folders of
    // dead runs there. Throws pictrova::Error.
    void Make(const std::filesystem::path& root);
    void Remove() noexcept;
    // Removes everything in the folder but its lock, so that one folder serves several runs one
    // after another as a fresh one would.
    void Empty() noexcept;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
    int lock_ = -1;
};

// A work folder without a lock (an older program made it) counts as left behind once neither it
// nor anything in it has changed for this long: a live run of that program rewrites its work
// files for every record, and a run of this one locks its folder within moments of making it.
inline constexpr std::chrono::hours kUnlockedWorkFolderAge{24};

// Removes the work folders under `root` whose run is gone: a real folder (not a link) named like
// ours, of this user, that holds a `.lock` that can be locked, or holds no `.lock` and has not
// changed for kUnlockedWorkFolderAge. Everything else (a live run's folder, a folder being made, a
// link, a `.lock` that is a link) is left alone. Returns how many went.
int RemoveDeadRunFolders(const std::filesystem::path& root) noexcept;

}  // namespace pictrova::run
