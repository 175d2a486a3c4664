// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The files a run makes besides its output: a private work folder. Output files are written
// through AtomicFile (common/file_io.h).

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

}  // namespace pictrova::run
