// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Writing files: a buffer to a file, and an atomic file that takes its name only once it is
// complete. Every writer of output goes through AtomicFile, so no output file is ever seen half
// written and none is ever written through a link planted in the output folder: the file's
// folder is opened beneath the output folder's descriptor without following links
// (common/folder_beneath.h), the temporary is created there under an unpredictable name with
// O_CREAT|O_EXCL|O_NOFOLLOW, and the final name is given by renameat() or linkat() in that same
// folder, which replace or refuse a link at that name but never follow it.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "common/error.h"
#include "common/folder_beneath.h"

namespace pictrova {

// A write that failed: the file it was meant to become, and the system's error number.
class FileWriteError : public Error {
  public:
    FileWriteError(const std::filesystem::path& file, int code);
    // With the reason in words instead of the system's text for `code`.
    FileWriteError(const std::filesystem::path& file, int code, std::string reason);

    const std::filesystem::path& file() const noexcept { return file_; }
    int code() const noexcept { return code_; }
    // The words after the file's name: the reason given, or the system's text for the code.
    const std::string& reason() const noexcept { return reason_; }
    // The folder's file system refuses every further file: full, over quota or read-only.
    bool outOfRoom() const noexcept;

  private:
    std::filesystem::path file_;
    int code_;
    std::string reason_;
};

// Writes `bytes` as the whole of `path` (made or truncated; a link at `path` is not followed).
// For work files in a folder of our own; output goes through AtomicFile. Throws FileWriteError.
void WriteWholeFile(std::span<const std::uint8_t> bytes, const std::filesystem::path& path);
// Writes `bytes` as the new file `path`; fails (EEXIST) when the name is taken, so nothing planted
// there, a link of any kind, is written through. Throws FileWriteError.
void WriteNewFile(std::span<const std::uint8_t> bytes, const std::filesystem::path& path);

// A file written under a hidden temporary name in its final folder, flushed to disk and then
// given its final name; removed unless committed. The temporary is `.pictrova-PID-RANDOM.part`,
// locked (flock) while it is open, so a later run can tell a dead writer's leftover from a
// live one's (RemoveLeftoverTemporaries).
class AtomicFile {
  public:
    AtomicFile() = default;
    explicit AtomicFile(const std::filesystem::path& finalPath) { Begin(finalPath); }
    AtomicFile(const FolderHandle& folder, const std::filesystem::path& relative) {
        Begin(folder, relative);
    }
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile() { Discard(); }

    // Creates the temporary beside `finalPath` (discarding an unfinished one); the folder of
    // `finalPath` is opened by its path. Throws FileWriteError naming `finalPath`.
    void Begin(const std::filesystem::path& finalPath);
    // The same for the file `relative` beneath `folder` (folder.path() / relative is its final
    // path): its folder is opened beneath `folder` without following links, so a write through
    // a link is a FileWriteError naming the link.
    void Begin(const FolderHandle& folder, const std::filesystem::path& relative);
    bool active() const { return fd_ >= 0 || !temporary_.empty(); }
    const std::filesystem::path& temporary() const { return temporary_; }
    const std::filesystem::path& finalPath() const { return final_; }

    void Write(std::span<const std::uint8_t> bytes);
    // Appends the whole of the file `source`.
    void CopyFrom(const std::filesystem::path& source);

    // Flushes the file to disk and closes it; Commit does it when it has not been done. A full
    // disk or quota may show only here.
    void Finish();
    // Renames the file onto its final name, replacing what is there.
    void Commit();
    // Flushes the file and gives it the name `finalPath` unless a file (or link) of that name
    // exists: then false, and the file stays pending for another name. No other file is ever
    // replaced, even by a run writing into the same folder at the same time. `finalPath` is in
    // the folder of the path the file was begun with.
    bool CommitWithoutReplacing(const std::filesystem::path& finalPath);
    void Discard() noexcept;

  private:
    void CreateTemporary();

    FolderHandle folder_;  // the folder the file is in
    std::filesystem::path final_;
    std::filesystem::path temporary_;
    std::filesystem::path temporaryName_;  // in folder_
    int fd_ = -1;
    bool flushed_ = false;
};

// Writes `bytes` to `path` through an AtomicFile. Throws FileWriteError.
void WriteFileAtomically(std::span<const std::uint8_t> bytes, const std::filesystem::path& path);

// Removes the temporaries of AtomicFiles in `folder` whose writing process is gone (its pid in
// the name names no process and no one holds the file's lock); never a live writer's file, a
// link, or a file of another user. Returns how many were removed; failures are ignored.
int RemoveLeftoverTemporaries(const std::filesystem::path& folder) noexcept;
int RemoveLeftoverTemporaries(const FolderHandle& folder) noexcept;

}  // namespace pictrova
