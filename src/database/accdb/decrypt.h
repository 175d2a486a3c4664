// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Opening Office-encrypted .accdb files: libmdb cannot read them, so the data layer checks the
// password here and hands libmdb a plain image instead of the file. The image is the file with
// every page after page 0 decrypted and the database key in page 0 cleared (libmdb would
// otherwise undo an old-style page encoding that is not there). Small files are decrypted into
// memory; above PlainImageOptions::memoryLimit the image lives in a private temporary file that
// is unlinked as soon as it exists and is mapped into memory, so both kinds are read the same
// way (mdb_open_buffer over bytes()).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "database/accdb/encryption_header.h"
#include "database/accdb/page_cipher.h"

namespace pictrova::database {

// The decrypted image; keep it alive as long as any libmdb handle reads it.
class PlainImage {
  public:
    PlainImage() = default;
    ~PlainImage();
    PlainImage(PlainImage&& other) noexcept;
    PlainImage& operator=(PlainImage&& other) noexcept;
    PlainImage(const PlainImage&) = delete;
    PlainImage& operator=(const PlainImage&) = delete;

    std::span<std::uint8_t> bytes() const noexcept { return {data_, size_}; }
    bool empty() const noexcept { return size_ == 0; }
    // True when the image is a mapped temporary file rather than heap memory.
    bool fileBacked() const noexcept { return fd_ >= 0; }

  private:
    friend class PlainImageBuilder;
    void Release() noexcept;

    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    int fd_ = -1;  // the unlinked temporary file, when mapped
};

inline constexpr std::uint64_t kDefaultPlainImageMemoryLimit = std::uint64_t{256} << 20;

struct PlainImageOptions {
    // Images larger than this go to a temporary file.
    std::uint64_t memoryLimit = kDefaultPlainImageMemoryLimit;
    // Folder of that file; empty means $TMPDIR, else /tmp.
    std::string temporaryFolder;
};

// True for the start of a file (its first page or more) that is an Office-encrypted .accdb.
// Damaged or short input is simply not one.
bool IsOfficeEncryptedAccdb(std::span<const std::uint8_t> fileStart) noexcept;

// Checks the password and decrypts a whole file read from fd (from offset 0). Fails with
// "Not a valid password." before any page is decrypted, with a description naming an encryption
// kind Pictrova cannot open, or with a description of the damage.
PlainImage DecryptAccdbImage(int fd, std::string_view password,
                             const PlainImageOptions& options = {});

// The same for a file already in memory (always decrypted into memory).
PlainImage DecryptAccdbImage(std::span<const std::uint8_t> file, std::string_view password);

}  // namespace pictrova::database
