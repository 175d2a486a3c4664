// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/manifest.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <fstream>

#include "cli/batch.h"
#include "cli/record_json.h"
#include "common/error.h"
#include "common/file_io.h"
#include "common/folder_beneath.h"
#include "common/limits.h"

namespace pictrova::cli {

namespace fs = std::filesystem;
using Json = Manifest::Json;

namespace {

constexpr const char* kSummaryName = "manifest.json";
constexpr const char* kLockName = "manifest.json.lock";
constexpr const char* kStoreName = ".manifest";
constexpr const char* kIndexName = "index";

// Names in OUT that belong to the manifest: never a database's folder.
constexpr std::array<std::string_view, 3> kReservedNames{kSummaryName, kLockName, kStoreName};

std::span<const std::uint8_t> AsBytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string TypeName(const Json& value) {
    return value.is_null() ? "null" : std::string("a ") + value.type_name();
}

std::string Quoted(const std::string& text) {
    return JsonOutput(Json(text));
}

// `value` dumped with one space of indent, every line but the first moved in by two more.
std::string Indented(const Json& value) {
    std::string text = JsonOutput(value, 1);
    std::string out = "  ";
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        out += c;
        if (c == '\n')
            out += "  ";
    }
    return out;
}

Json Stub(const std::string& path, const std::string& folder) {
    return {{"path", path},
            {"folder", folder},
            {"status", "incomplete"},
            {"error", nullptr},
            {"fields", Json::array()}};
}

}  // namespace

std::string FolderProblem(const Json& folder) {
    if (!folder.is_string())
        return "names no folder (its \"folder\" is " + TypeName(folder) + ")";
    const std::string name = folder.get<std::string>();
    const bool reserved =
        std::find(kReservedNames.begin(), kReservedNames.end(), name) != kReservedNames.end();
    if (FolderNameFor(name) != name || reserved)
        return "names the folder " + Quoted(name) + ", which is not a folder of its own inside " +
               "the output folder";
    return {};
}

// The manifest's exclusive lock. A batch that ends removes the lock file while it holds it; one
// that was waiting then holds a lock on a file no longer in the folder, sees it, and locks anew.
class Manifest::Lock {
  public:
    explicit Lock(const fs::path& file) : file_(file) {
        while (true) {
            fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
            if (fd_ < 0 || ::flock(fd_, LOCK_EX) != 0) {
                if (fd_ >= 0)
                    ::close(fd_);
                throw Error("Could not lock the manifest in " + file.parent_path().string() + ".");
            }
            struct stat held {};
            struct stat named {};
            if (::fstat(fd_, &held) == 0 && ::lstat(file.c_str(), &named) == 0 &&
                held.st_dev == named.st_dev && held.st_ino == named.st_ino)
                return;
            ::close(fd_);
        }
    }
    ~Lock() { ::close(fd_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    // Removes the lock file; the lock is held until this object goes.
    void RemoveFile() { ::unlink(file_.c_str()); }

  private:
    fs::path file_;
    int fd_ = -1;
};

Manifest::Manifest(fs::path folder, Warn warn)
    : folder_(std::move(folder)), warn_(std::move(warn)) {}

fs::path Manifest::path() const {
    return folder_ / kSummaryName;
}

fs::path Manifest::IndexFile() const {
    return folder_ / kStoreName / kIndexName;
}

fs::path Manifest::EntryFile(std::uint64_t number) const {
    return folder_ / kStoreName / (std::to_string(number) + ".json");
}

std::string Manifest::Status(const std::string& path) {
    Lock lock(folder_ / kLockName);
    Refresh();
    auto it = byPath_.find(path);
    if (it == byPath_.end())
        return {};
    const Json entry = ReadEntry(path, it->second);
    const Json& status = entry["status"];
    return status.is_string() ? status.get<std::string>() : std::string();
}

std::string Manifest::Begin(const std::string& path) {
    Lock lock(folder_ / kLockName);
    Refresh();
    if (!byPath_.contains(path)) {
        const std::string base = FolderNameFor(fs::path(path).filename().string());
        std::string folder = base;
        for (int n = 2; taken_.contains(folder) || !FolderProblem(folder).empty(); ++n)
            folder = base + "-" + std::to_string(n);
        Append(path, folder);
        Refresh();
        // A new line needs no file to read as incomplete; one left by an index since replaced
        // would speak for the wrong database.
        if (const Slot& slot = byPath_.at(path); slot.folder == folder) {
            const fs::path stale = EntryFile(slot.number);
            if (::unlink(stale.c_str()) != 0 && errno != ENOENT)
                throw FileWriteError(stale, errno);
            return slot.folder;
        }
    }
    const Slot& slot = byPath_.at(path);
    WriteEntry(slot, Stub(path, slot.folder));
    return slot.folder;
}

void Manifest::Store(const Json& entry) {
    Lock lock(folder_ / kLockName);
    Refresh();
    const std::string path = entry.value("path", "");
    auto it = byPath_.find(path);
    if (it == byPath_.end())
        throw Error("The manifest has no entry for " + path + ".");
    WriteEntry(it->second, entry);
}

void Manifest::Summarize() {
    Lock lock(folder_ / kLockName);
    Flush();
    Refresh();
    AtomicFile summary(path());
    summary.Write(AsBytes("{\n \"databases\": ["));
    bool first = true;
    for (const std::string& databasePath : order_) {
        const std::string text =
            (first ? "\n" : ",\n") + Indented(ReadEntry(databasePath, byPath_.at(databasePath)));
        summary.Write(AsBytes(text));
        first = false;
    }
    summary.Write(AsBytes(first ? "]\n}\n" : "\n ]\n}\n"));
    summary.Commit();
    lock.RemoveFile();
}

// Takes the index lines appended since the last call (all of them the first time, or when the
// index was replaced), after taking over an older program's manifest.json when there is no
// index yet.
void Manifest::Refresh() {
    struct stat index {};
    if (::stat(IndexFile().c_str(), &index) != 0) {
        TakeOver();
        if (::stat(IndexFile().c_str(), &index) != 0)
            throw Error("Could not read the manifest's index " + IndexFile().string() + ".");
    }
    if (static_cast<std::uint64_t>(index.st_ino) != indexInode_ ||
        static_cast<std::uint64_t>(index.st_size) < indexRead_) {
        byPath_.clear();
        order_.clear();
        taken_.clear();
        indexRead_ = linesRead_ = 0;
        indexInode_ = static_cast<std::uint64_t>(index.st_ino);
    }
    if (static_cast<std::uint64_t>(index.st_size) > indexRead_)
        ReadIndexFrom(indexRead_);
}

void Manifest::ReadIndexFrom(std::uint64_t offset) {
    std::ifstream in(IndexFile(), std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    if (!in)
        throw Error("Could not read the manifest's index " + IndexFile().string() + ".");
    std::string line;
    // A last line without its line break is one being written (or cut short): left for later.
    while (std::getline(in, line) && !in.eof()) {
        indexRead_ += line.size() + 1;
        ++linesRead_;
        TakeIndexLine(line);
    }
}

void Manifest::TakeIndexLine(const std::string& line) {
    const Json entry = Json::parse(line, nullptr, false);
    const std::string where = IndexFile().string() + ":" + std::to_string(linesRead_) + ": ";
    if (!entry.is_object() || !entry.contains("path") || !entry["path"].is_string() ||
        entry["path"].get<std::string>().empty()) {
        warn_(where + "not an entry of a database; left out");
        return;
    }
    const std::string path = entry["path"].get<std::string>();
    if (const std::string problem = FolderProblem(entry.value("folder", Json()));
        !problem.empty()) {
        warn_(where + "the entry of " + path + " " + problem + "; it is extracted again");
        return;
    }
    if (byPath_.contains(path)) {
        warn_(where + "a second entry of " + path + "; left out");
        return;
    }
    const std::string folder = entry["folder"].get<std::string>();
    byPath_[path] = Slot{folder, linesRead_};
    order_.push_back(path);
    taken_.insert(folder);
}

void Manifest::Append(const std::string& path, const std::string& folder) {
    // An index that ends in a cut-short line gets its line break first, so ours stands alone.
    struct stat index {};
    const bool cutShort = ::stat(IndexFile().c_str(), &index) == 0 &&
                          static_cast<std::uint64_t>(index.st_size) > indexRead_;
    const std::string line = std::string(cutShort ? "\n" : "") +
                             JsonOutput(Json{{"path", path}, {"folder", folder}}) + "\n";
    const int fd = ::open(IndexFile().c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        throw FileWriteError(IndexFile(), errno);
    const ssize_t written = ::write(fd, line.data(), line.size());
    const int code = errno;
    ::close(fd);
    if (written != static_cast<ssize_t>(line.size()))
        throw FileWriteError(IndexFile(), written < 0 ? code : ENOSPC);
}

// The first use of a folder without an index: its manifest.json (an older program's, or one
// whose store was deleted) becomes the index and entry files; its unusable entries are reported
// and written as incomplete in a folder of their own. The index is written last, so a take-over
// cut short is done again.
void Manifest::TakeOver() {
    Json all = {{"databases", Json::array()}};
    if (std::ifstream in(path(), std::ios::binary); in) {
        all = Json::parse(in, nullptr, false);
        if (all.is_discarded() || !all.is_object() || !all.contains("databases") ||
            !all["databases"].is_array())
            throw Error(path().string() +
                        " is not a manifest of this program; not overwriting it.");
    }
    std::error_code ec;
    fs::create_directories(folder_ / kStoreName, ec);
    if (ec)
        throw Error("Could not create " + (folder_ / kStoreName).string() + ": " + ec.message());
    std::set<std::string> seen, folders;
    std::vector<Json> kept;
    std::vector<std::string> moved;  // paths whose folder must be made anew
    for (Json& entry : all["databases"]) {
        if (!entry.is_object() || !entry.contains("path") || !entry["path"].is_string() ||
            entry["path"].get<std::string>().empty() ||
            seen.contains(entry["path"].get<std::string>())) {
            warn_(path().string() + ": an entry that is not a database's is left out");
            continue;
        }
        const std::string databasePath = entry["path"].get<std::string>();
        seen.insert(databasePath);
        std::string problem = FolderProblem(entry.value("folder", Json()));
        if (problem.empty() && folders.contains(entry["folder"].get<std::string>()))
            problem = "shares its folder with another entry";
        if (!problem.empty()) {
            warn_(path().string() + ": the entry of " + databasePath + " " + problem +
                  "; it is extracted again into a folder of its own");
            moved.push_back(databasePath);
            kept.push_back(nullptr);
            continue;
        }
        folders.insert(entry["folder"].get<std::string>());
        kept.push_back(std::move(entry));
    }
    std::string index;
    std::size_t nextMoved = 0;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        Json entry = std::move(kept[i]);
        if (entry.is_null()) {
            const std::string& databasePath = moved[nextMoved++];
            const std::string base = FolderNameFor(fs::path(databasePath).filename().string());
            std::string folder = base;
            for (int n = 2; folders.contains(folder) || !FolderProblem(folder).empty(); ++n)
                folder = base + "-" + std::to_string(n);
            folders.insert(folder);
            entry = Stub(databasePath, folder);
        }
        index += JsonOutput(Json{{"path", entry["path"]}, {"folder", entry["folder"]}}) + "\n";
        WriteEntry(Slot{entry["folder"].get<std::string>(), i + 1}, entry);
    }
    Flush();
    WriteFileAtomically(AsBytes(index), IndexFile());
}

// The entry of `path` as stored; a missing or unreadable file stands as incomplete. The path and
// folder are always the index's.
Json Manifest::ReadEntry(const std::string& path, const Slot& slot) const {
    Json entry;
    if (std::ifstream in(EntryFile(slot.number), std::ios::binary); in)
        entry = Json::parse(in, nullptr, false);
    if (entry.is_discarded() || !entry.is_object())
        return Stub(path, slot.folder);
    entry["path"] = path;
    entry["folder"] = slot.folder;
    return entry;
}

// Written under a name of its own and renamed onto the entry's, so a reader meets the old
// entry or the new one whole; the lock keeps other batches from the same name meanwhile. The
// name is made anew (O_EXCL), so nothing planted there, a link of any kind, is written through.
void Manifest::WriteEntry(const Slot& slot, const Json& entry) {
    const fs::path file = EntryFile(slot.number);
    fs::path written = file;
    written += ".new";
    if (::unlink(written.c_str()) != 0 && errno != ENOENT)
        throw FileWriteError(file, errno);
    try {
        WriteNewFile(AsBytes(JsonOutput(entry, 1) + '\n'), written);
        if (::rename(written.c_str(), file.c_str()) != 0)
            throw FileWriteError(file, errno);
    } catch (const FileWriteError& e) {
        ::unlink(written.c_str());
        throw FileWriteError(file, e.code());
    }
    if (++unflushed_ >= kManifestEntriesPerFlush)
        Flush();
}

// One syncfs() for the entries written since the last flush (and whatever else waits on that
// file system): far cheaper than one fsync() per entry, and the entries need no order among
// themselves on disk.
void Manifest::Flush() {
    if (unflushed_ == 0)
        return;
    const fs::path store = folder_ / kStoreName;
    const UniqueFd fd(::open(store.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd || ::syncfs(fd.get()) != 0)
        throw FileWriteError(store, errno);
    unflushed_ = 0;
}

}  // namespace pictrova::cli
