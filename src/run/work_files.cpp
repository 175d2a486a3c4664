// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/work_files.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <string>
#include <string_view>
#include <system_error>

#include "common/error.h"

namespace pictrova::run {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kFolderPrefix = "pictrova-run-";
constexpr char kLockName[] = ".lock";
constexpr char kNewLockName[] = ".lock-new";

fs::path WorkRoot(const fs::path& root) {
    if (!root.empty())
        return root;
    const char* tmp = getenv("TMPDIR");
    return tmp && *tmp ? fs::path(tmp) : fs::path("/tmp");
}

// Whether `folder` and everything in it (links not followed) last changed before `time`.
bool UnchangedSince(const fs::path& folder, std::time_t time) noexcept {
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || st.st_mtime >= time)
        return false;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (::lstat(it->path().c_str(), &st) != 0 || st.st_mtime >= time)
            return false;
    }
    return !ec;
}

}  // namespace

void WorkFolder::Make(const fs::path& root) {
    Remove();
    const fs::path base = WorkRoot(root);
    RemoveDeadRunFolders(base);
    std::string pattern = (base / (std::string(kFolderPrefix) + "XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw Error("Cannot make a work folder in " + base.string() + ".");
    }
    path_ = pattern;
    // Locked under another name and then renamed, so a run sweeping the same root never finds
    // the lock before it is held.
    const fs::path newLock = path_ / kNewLockName;
    lock_ = ::open(newLock.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (lock_ < 0 || ::flock(lock_, LOCK_EX | LOCK_NB) != 0 ||
        ::rename(newLock.c_str(), (path_ / kLockName).c_str()) != 0) {
        Remove();
        throw Error("Cannot make a work folder in " + base.string() + ".");
    }
}

void WorkFolder::Remove() noexcept {
    if (!path_.empty()) {
        std::error_code ec;
        fs::remove_all(path_, ec);
        path_.clear();
    }
    // Released only after the folder is gone: a sweeping run never meets it half removed.
    if (lock_ >= 0) {
        ::close(lock_);
        lock_ = -1;
    }
}

void WorkFolder::Empty() noexcept {
    if (path_.empty())
        return;
    std::error_code ec;
    for (fs::directory_iterator it(path_, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().filename() == kLockName)
            continue;
        std::error_code removeError;
        fs::remove_all(it->path(), removeError);
    }
}

int RemoveDeadRunFolders(const fs::path& root) noexcept {
    int removed = 0;
    std::error_code ec;
    fs::directory_iterator it(root, ec);
    if (ec)
        return 0;
    const std::time_t changedBefore =
        std::time(nullptr) - std::chrono::seconds(kUnlockedWorkFolderAge).count();
    auto remove = [&](const fs::path& folder) {
        std::error_code removeError;
        fs::remove_all(folder, removeError);
        if (!removeError)
            ++removed;
    };
    for (const fs::directory_entry& entry : it) {
        if (!entry.path().filename().string().starts_with(kFolderPrefix))
            continue;
        struct stat st {};
        // A link of that name is someone else's: neither followed nor removed.
        if (::lstat(entry.path().c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
            st.st_uid != ::geteuid())
            continue;
        const int lock =
            ::open((entry.path() / kLockName).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (lock < 0) {
            if (errno == ENOENT && UnchangedSince(entry.path(), changedBefore))
                remove(entry.path());
            continue;
        }
        if (::flock(lock, LOCK_EX | LOCK_NB) == 0)
            remove(entry.path());
        ::close(lock);
    }
    return removed;
}

}  // namespace pictrova::run
