// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/accdb/decrypt.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <utility>
#include <vector>

#include "common/checked_math.h"
#include "common/error.h"

namespace pictrova::database {

namespace {

[[noreturn]] void SystemFailure(const std::string& what, int error) {
    throw Error(what + ": " + std::strerror(error), error);
}

// Access stops at 2 GB; anything far beyond is not a database, and would only fill the disk
// with its temporary image.
constexpr std::uint64_t kLargestAccessFile = std::uint64_t{4} << 30;

// Reads `out.size()` bytes of the source file starting at `offset`.
using ReadAt = std::function<void(std::uint64_t offset, std::span<std::uint8_t> out)>;

void ReadFully(int fd, std::uint64_t offset, std::span<std::uint8_t> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n =
            ::pread(fd, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            SystemFailure("Cannot read the database", errno);
        if (n == 0)
            throw Error("The database file became shorter while it was read.");
        done += static_cast<std::size_t>(n);
    }
}

bool AllZero(std::span<const std::uint8_t> page) noexcept {
    return std::all_of(page.begin(), page.end(), [](std::uint8_t b) { return b == 0; });
}

}  // namespace

class PlainImageBuilder {
  public:
    static PlainImage InMemory(std::size_t size) {
        PlainImage image;
        image.data_ = static_cast<std::uint8_t*>(std::malloc(std::max<std::size_t>(size, 1)));
        if (image.data_ == nullptr)
            throw Error("Not enough memory to decrypt the database.");
        image.size_ = size;
        return image;
    }

    static PlainImage InTemporaryFile(std::size_t size, const std::string& folder) {
        std::string dir = folder;
        if (dir.empty()) {
            const char* tmp = std::getenv("TMPDIR");
            dir = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
        }
        std::string name = dir + "/pictrova-accdb-XXXXXX";
        PlainImage image;
        image.fd_ = ::mkstemp(name.data());  // created 0600
        if (image.fd_ < 0)
            SystemFailure("Cannot create a temporary file for the decrypted database", errno);
        ::unlink(name.c_str());  // private from here on; gone when the image is released
        if (::ftruncate(image.fd_, static_cast<off_t>(size)) != 0)
            SystemFailure("Cannot size the temporary file for the decrypted database", errno);
        void* map = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, image.fd_, 0);
        if (map == MAP_FAILED)
            SystemFailure("Cannot map the temporary file for the decrypted database", errno);
        image.data_ = static_cast<std::uint8_t*>(map);
        image.size_ = size;
        return image;
    }
};

PlainImage::~PlainImage() {
    Release();
}

PlainImage::PlainImage(PlainImage&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      fd_(std::exchange(other.fd_, -1)) {}

PlainImage& PlainImage::operator=(PlainImage&& other) noexcept {
    if (this != &other) {
        Release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void PlainImage::Release() noexcept {
    if (fd_ >= 0) {
        if (data_ != nullptr)
            ::munmap(data_, size_);
        ::close(fd_);
    } else {
        std::free(data_);
    }
    data_ = nullptr;
    size_ = 0;
    fd_ = -1;
}

bool IsOfficeEncryptedAccdb(std::span<const std::uint8_t> fileStart) noexcept {
    try {
        return IsOfficeEncrypted(ReadHeaderPage(fileStart));
    } catch (...) {
        return false;
    }
}

namespace {

PlainImage Decrypt(std::uint64_t fileSize, const ReadAt& read, std::string_view password,
                   const PlainImageOptions& options) {
    const std::size_t firstRead = static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, 4096));
    std::vector<std::uint8_t> start(firstRead);
    read(0, start);
    const HeaderPage header = ReadHeaderPage(start);
    if (!IsOfficeEncrypted(header))
        throw Error("The database is not protected by an Office password.");
    const EncryptionDescription description = ParseEncryptionDescription(header.description);
    // The password is checked here, before anything is allocated or decrypted.
    const auto cipher = UnlockPageCipher(description, header.databaseKey, password);

    // A partial page at the end cannot be decrypted and no reader could use it.
    const std::uint64_t pageCount = fileSize / header.pageSize;
    if (fileSize > kLargestAccessFile)
        throw Error("The database file is too large to be an Access database.");
    const std::uint64_t imageSize = CheckedMul<std::uint64_t>(pageCount, header.pageSize);
    const std::size_t size = CheckedCast<std::size_t>(imageSize);
    PlainImage image = imageSize > options.memoryLimit
                           ? PlainImageBuilder::InTemporaryFile(size, options.temporaryFolder)
                           : PlainImageBuilder::InMemory(size);
    const auto bytes = image.bytes();
    read(0, bytes);
    StoreDatabaseKey(bytes.first(header.pageSize), DatabaseKey{});
    for (std::uint64_t page = 1; page < pageCount; ++page) {
        const auto data =
            bytes.subspan(static_cast<std::size_t>(page * header.pageSize), header.pageSize);
        // Pages that were never written are stored as zeros, not encrypted.
        if (!AllZero(data))
            cipher->Transform(static_cast<std::uint32_t>(page), data);
    }
    return image;
}

}  // namespace

PlainImage DecryptAccdbImage(int fd, std::string_view password, const PlainImageOptions& options) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        SystemFailure("Cannot read the database", errno);
    const ReadAt read = [fd](std::uint64_t offset, std::span<std::uint8_t> out) {
        ReadFully(fd, offset, out);
    };
    return Decrypt(static_cast<std::uint64_t>(st.st_size), read, password, options);
}

PlainImage DecryptAccdbImage(std::span<const std::uint8_t> file, std::string_view password) {
    const ReadAt read = [file](std::uint64_t offset, std::span<std::uint8_t> out) {
        const auto from = file.subspan(static_cast<std::size_t>(offset), out.size());
        std::copy(from.begin(), from.end(), out.begin());
    };
    PlainImageOptions inMemory;
    inMemory.memoryLimit = std::numeric_limits<std::uint64_t>::max();
    return Decrypt(file.size(), read, password, inMemory);
}

}  // namespace pictrova::database
