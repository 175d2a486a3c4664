// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/database_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "common/error.h"
#include "common/error_codes.h"
#include "database/accdb/decrypt.h"
#include "database/accdb/encryption_header.h"
#include "database/decrypted_images.h"
#include "database/jet_header.h"
#include "database/libmdb_capture.h"
#include "database/page_stream.h"
#include "database/table_scan.h"

namespace pictrova::database {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kLargestPage = 4096;

std::vector<std::uint8_t> ReadFirstPage(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        Throw(ErrorCode::CannotOpenFile, path);
    std::vector<std::uint8_t> page(kLargestPage);
    in.read(reinterpret_cast<char*>(page.data()), static_cast<std::streamsize>(page.size()));
    page.resize(static_cast<std::size_t>(in.gcount()));
    return page;
}

class ReadOnlyFile {
  public:
    explicit ReadOnlyFile(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        if (fd_ < 0)
            Throw(ErrorCode::CannotOpenFile, path);
    }
    ~ReadOnlyFile() { ::close(fd_); }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    int fd() const { return fd_; }

  private:
    int fd_;
};

// Office-encrypted .accdb files (ACE versions with a non-zero database key on page 0): libmdb
// cannot read their pages, so it reads a decrypted image (accdb/decrypt.h, shared between opens
// by decrypted_images.h) that the returned file keeps alive. A wrong password fails with "Not a
// valid password." before any page is decrypted.
DatabaseFile OpenEncryptedAccdb(const std::string& path, std::span<const std::uint8_t> page0,
                                const std::string& password) {
    HeaderPage header;
    try {
        header = ReadHeaderPage(page0);
    } catch (const FormatError&) {
        Throw(ErrorCode::UnrecognizedFormat, path);
    }
    DatabaseFile file;
    // A database key without an encryption description is the old page encoding, which libmdb
    // undoes itself; a damaged description has already failed with a description of the damage.
    if (header.description.empty()) {
        std::error_code ec;
        file.imageBytes = fs::file_size(path, ec);
        file.handle.reset(mdb_open(path.c_str(), MDB_NOFLAGS));
        ReadPagesWithPread(file.handle.get(), path);
        return file;
    }
    ReadOnlyFile source(path);
    std::shared_ptr<const PlainImage> image = SharedDecryptedImage(path, source.fd(), password);
    const auto bytes = image->bytes();
    file.handle.reset(mdb_open_buffer(bytes.data(), bytes.size(), MDB_NOFLAGS));
    file.imageBytes = bytes.size();
    file.image = std::move(image);
    return file;
}

// Formats the layer relies on for values shown as text; the catalog is read once per handle
// and copied by clones.
void FinishOpening(DatabaseFile& file, std::vector<std::string>& libmdbMessages) {
    MdbHandle* mdb = file.handle.get();
    mdb_set_bind_size(mdb, kTextBindSize);
    mdb_set_date_fmt(mdb, "%Y-%m-%d %H:%M:%S");
    mdb_set_shortdate_fmt(mdb, "%Y-%m-%d");
    mdb_set_boolean_fmt_numbers(mdb);
    // The usual 8-4-4-4-12 grouping; the recordset puts the braces around it.
    mdb_set_repid_fmt(mdb, MDB_NOBRACES_4_2_2_2_6);
    // A truncated or foreign file fails here with the format error rather than in libmdb.
    // mdb_read_pg undoes page encoding.
    constexpr unsigned char kTableDefinitionPage = 0x02;
    auto pageSize = static_cast<std::uint64_t>(mdb->fmt->pg_size);
    if (file.imageBytes < (kCatalogPage + 1) * pageSize ||
        mdb_read_pg(mdb, kCatalogPage) != mdb->fmt->pg_size ||
        mdb->pg_buf[0] != kTableDefinitionPage)
        Throw(ErrorCode::UnrecognizedFormat, file.path);
    ReadCatalog(file.handle.get(), file.path, file.imageBytes, libmdbMessages);
}

}  // namespace

DatabaseFile OpenDatabaseFile(const std::string& path, const std::string& password) {
    std::error_code ec;
    // Only regular files: a FIFO or a device would block or never end.
    if (path.empty() || !fs::is_regular_file(path, ec))
        Throw(ErrorCode::CouldNotFindFile, path);

    std::vector<std::uint8_t> page0 = ReadFirstPage(path);
    JetHeader header;
    try {
        header = ReadJetHeader(page0);
    } catch (const FormatError&) {
        Throw(ErrorCode::UnrecognizedFormat, path);
    }

    DatabaseFile file;
    std::vector<std::string> libmdbMessages;
    LibmdbCapture capture(libmdbMessages);
    if (header.IsOfficeEncrypted()) {
        file = OpenEncryptedAccdb(path, page0, password);
    } else {
        if (!PasswordMatches(header, password))
            Throw(ErrorCode::NotAValidPassword);
        file.imageBytes = fs::file_size(path, ec);
        if (ec)
            Throw(ErrorCode::UnrecognizedFormat, path);
        file.handle.reset(mdb_open(path.c_str(), MDB_NOFLAGS));
        ReadPagesWithPread(file.handle.get(), path);
    }
    file.path = path;
    if (!file.handle)
        Throw(ErrorCode::UnrecognizedFormat, path);
    FinishOpening(file, libmdbMessages);
    return file;
}

MdbHandlePtr CloneHandle(const DatabaseFile& file) {
    std::vector<std::string> libmdbMessages;
    LibmdbCapture capture(libmdbMessages);
    MdbHandlePtr clone(mdb_clone_handle(file.handle.get()));
    if (!clone)
        Throw(ErrorCode::UnrecognizedFormat, file.path);
    return clone;
}

}  // namespace pictrova::database
