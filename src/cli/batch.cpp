// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/batch.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>

#include "common/limits.h"
#include "common/printable_text.h"

namespace pictrova::cli {

namespace {

// An open file, closed when it goes.
class OpenFile {
  public:
    // Without waiting: a FIFO with no writer would block the open.
    explicit OpenFile(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
    ~OpenFile() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int fd() const { return fd_; }

  private:
    int fd_;
};

// Reads the lines of a file in blocks; a line over the limit ends the reading.
class LineReader {
  public:
    explicit LineReader(int fd) : fd_(fd) {}

    enum class Result { Line, End, TooLong, Failed };

    Result Next(std::string& line) {
        line.clear();
        for (;;) {
            const auto newline = static_cast<const char*>(
                std::memchr(buffer_ + start_, '\n', static_cast<std::size_t>(end_ - start_)));
            const std::size_t taken =
                newline ? static_cast<std::size_t>(newline - (buffer_ + start_)) : end_ - start_;
            if (line.size() + taken > kMaxPasswordFileLineBytes)
                return Result::TooLong;
            line.append(buffer_ + start_, taken);
            if (newline) {
                start_ += taken + 1;
                return Result::Line;
            }
            start_ = end_ = 0;
            ssize_t n = 0;
            do {
                n = ::read(fd_, buffer_, sizeof buffer_);
            } while (n < 0 && errno == EINTR);
            if (n < 0)
                return Result::Failed;
            if (n == 0)
                return line.empty() ? Result::End : Result::Line;
            end_ = static_cast<std::size_t>(n);
        }
    }

  private:
    int fd_;
    char buffer_[64 * 1024];
    std::size_t start_ = 0, end_ = 0;
};

}  // namespace

std::optional<BatchPasswords::FileIdentity> BatchPasswords::IdentityOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return FileIdentity{st.st_dev, st.st_ino};
}

std::optional<BatchPasswords> BatchPasswords::Load(const BatchDatabases& databases,
                                                   std::string& error) {
    BatchPasswords passwords;
    passwords.common_ = databases.password;
    if (databases.passwordFile.empty())
        return passwords;
    const std::string shown = PrintableText(databases.passwordFile);
    // A device (/dev/zero, a terminal) or a pipe could give lines without end; a directory none.
    struct stat st {};
    OpenFile file(databases.passwordFile);
    if (file.fd() < 0 || ::fstat(file.fd(), &st) != 0) {
        error = "Could not read the password file '" + shown + "': " + std::strerror(errno) + ".";
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "The password file '" + shown + "' is not a regular file.";
        return std::nullopt;
    }
    // Only the lines for this batch's databases are kept: a file may list a whole archive.
    const std::set<std::string> given(databases.paths.begin(), databases.paths.end());
    std::set<FileIdentity> files;
    for (const auto& path : databases.paths)
        if (auto identity = IdentityOf(path))
            files.insert(*identity);
    LineReader reader(file.fd());
    std::string line;
    for (int number = 1;; ++number) {
        const LineReader::Result result = reader.Next(line);
        if (result == LineReader::Result::End)
            break;
        const std::string where = shown + ":" + std::to_string(number) + ": ";
        if (result == LineReader::Result::TooLong) {
            error = where + "line longer than " + std::to_string(kMaxPasswordFileLineBytes) +
                    " bytes; expected PATH<TAB>PASSWORD";
            return std::nullopt;
        }
        if (result == LineReader::Result::Failed) {
            error = where + "could not be read: " + std::strerror(errno);
            return std::nullopt;
        }
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line.front() == '#')
            continue;
        const auto tab = line.find('\t');
        if (tab == std::string::npos) {
            error = where + "expected PATH<TAB>PASSWORD";
            return std::nullopt;
        }
        const std::string path = line.substr(0, tab);
        if (given.contains(path))
            passwords.byPath_[path] = line.substr(tab + 1);
        // One stat a line: the same file named another way is found by its identity.
        if (auto identity = IdentityOf(path); identity && files.contains(*identity))
            passwords.byFile_[*identity] = line.substr(tab + 1);
    }
    return passwords;
}

std::string BatchPasswords::For(const std::string& path) const {
    if (auto it = byPath_.find(path); it != byPath_.end())
        return it->second;
    if (auto identity = IdentityOf(path)) {
        if (auto it = byFile_.find(*identity); it != byFile_.end())
            return it->second;
    }
    return common_;
}

namespace {

bool IsDatabaseName(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".mdb" || extension == ".accdb";
}

// Whether `path` lies inside `folder` (both absolute and without links).
bool Inside(const std::filesystem::path& path, const std::filesystem::path& folder) {
    const std::filesystem::path relative = path.lexically_relative(folder);
    return !relative.empty() && *relative.begin() != "..";
}

std::vector<std::string> WalkFolder(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    std::vector<std::string> found;
    std::error_code ec;
    const fs::path root = fs::canonical(folder, ec);
    if (ec)
        return found;
    fs::recursive_directory_iterator walk(folder, fs::directory_options::skip_permission_denied,
                                          ec);
    for (; !ec && walk != fs::recursive_directory_iterator(); walk.increment(ec)) {
        const fs::directory_entry& entry = *walk;
        std::error_code entryError;
        if (!IsDatabaseName(entry.path()))
            continue;
        if (entry.is_symlink(entryError)) {
            const fs::path target = fs::canonical(entry.path(), entryError);
            if (entryError || !Inside(target, root) || !fs::is_regular_file(target, entryError))
                continue;
        } else if (!entry.is_regular_file(entryError)) {
            continue;
        }
        found.push_back(entry.path().string());
    }
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace

std::vector<std::string> DatabasesIn(const std::vector<std::string>& given,
                                     std::vector<std::string>& notes) {
    std::vector<std::string> databases;
    for (const std::string& path : given) {
        std::error_code ec;
        if (!std::filesystem::is_directory(path, ec)) {
            databases.push_back(path);
            continue;
        }
        const std::vector<std::string> found = WalkFolder(path);
        if (found.empty())
            notes.push_back("No .mdb or .accdb file in the folder " + PrintableText(path) + ".");
        databases.insert(databases.end(), found.begin(), found.end());
    }
    return databases;
}

std::string ShownPath(const std::filesystem::path& path) {
    if (!path.is_absolute())
        return path.lexically_normal().string();
    std::error_code ec;
    const std::filesystem::path current = std::filesystem::current_path(ec);
    if (!ec && Inside(path.lexically_normal(), current))
        return path.lexically_normal().lexically_relative(current).string();
    return path.string();
}

std::string Counted(std::int64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string FolderNameFor(const std::string& name) {
    if (name.empty() || name == "." || name == "..")
        return "_";
    std::string out = name;
    for (char& c : out) {
        if (c == '/' || c == '\0')
            c = '_';
    }
    return out;
}

}  // namespace pictrova::cli
