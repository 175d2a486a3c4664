// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/accdb_encryption.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "common/error.h"
#include "database/accdb_decrypt.h"

namespace pictrova::database {

namespace {

class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        if (fd_ < 0)
            throw Error("Cannot open the file '" + path +
                        "'. It is already opened exclusively by another user, or you need "
                        "permission to view its data.");
    }
    ~ReadOnlyFile() { ::close(fd_); }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

}  // namespace

DatabaseFile OpenEncryptedAccdb(const std::string& path, const JetHeader&, std::span<const std::uint8_t> page0,
                                const std::string& password) {
    HeaderPage header;
    try {
        header = ReadHeaderPage(page0);
    } catch (const FormatError&) {
        throw Error(UnrecognizedFormatText(path));
    }
    DatabaseFile file;
    // A database key without an encryption description is the old page encoding, which libmdb
    // undoes itself; a damaged description has already failed with a description of the damage.
    if (header.description.empty()) {
        std::error_code ec;
        file.imageBytes = std::filesystem::file_size(path, ec);
        file.handle.reset(mdb_open(path.c_str(), MDB_NOFLAGS));
        return file;
    }
    ReadOnlyFile source(path);
    auto image = std::make_shared<PlainImage>(DecryptAccdbImage(source.fd(), password));
    const auto bytes = image->bytes();
    file.handle.reset(mdb_open_buffer(bytes.data(), bytes.size(), MDB_NOFLAGS));
    file.imageBytes = bytes.size();
    file.image = std::move(image);
    return file;
}

}  // namespace pictrova::database
