// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The files a run makes besides its output: a private work folder, removed when the run ends,
// and by the next run when the one that made it was killed. Output files are written through
// AtomicFile (common/file_io.h).

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
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    int lock_ = -1;
};

// Removes the work folders under `root` whose run is gone: a folder named like ours, of this
// user, holding a `.lock` that can be locked. A folder without the lock (a run between making
// its folder and locking it, or an older program's) is left alone. Returns how many went.
int RemoveDeadRunFolders(const std::filesystem::path& root) noexcept;

}  // namespace pictrova::run
