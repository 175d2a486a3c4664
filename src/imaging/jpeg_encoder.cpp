// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/jpeg_encoder.h"

#include <cerrno>
#include <new>
#include <string>

#include "common/file_io.h"
#include "imaging/jpeg_compression.h"

namespace pictrova::imaging {
namespace {

[[noreturn]] void Fail(JpegStatus status) {
    throw Error(std::string(kSaveJpgErrorText) + std::to_string(static_cast<std::int32_t>(status)),
                kSaveJpgErrorNumber);
}

JpegStatus StatusOfErrno(int error) {
    return (error == EACCES || error == EPERM || error == EROFS) ? JpegStatus::AccessDenied
                                                                 : JpegStatus::Win32Error;
}

}  // namespace

std::vector<std::uint8_t> EncodeJPG(const PictureHolder& picture, std::uint8_t quality) {
    if (!picture.HasPicture())
        Fail(JpegStatus::InvalidParameter);

    try {
        return EncodeJpeg(picture.Image(), quality);
    } catch (const PictureTooBig&) {
        Fail(JpegStatus::OutOfMemory);
    } catch (const std::bad_alloc&) {
        Fail(JpegStatus::OutOfMemory);
    } catch (const std::exception&) {
        Fail(JpegStatus::GenericError);
    }
}

Error JpegWriteError(int error) {
    return Error(std::string(kSaveJpgErrorText) +
                     std::to_string(static_cast<std::int32_t>(StatusOfErrno(error))),
                 kSaveJpgErrorNumber);
}

void WriteJPGFile(std::span<const std::uint8_t> encoded, const std::filesystem::path& path) {
    try {
        WriteFileAtomically(encoded, path);
    } catch (const FileWriteError& e) {
        throw JpegWriteError(e.code());
    }
}

void SaveJPG(const PictureHolder& picture, const std::filesystem::path& path,
             std::uint8_t quality) {
    WriteJPGFile(EncodeJPG(picture, quality), path);
}

}  // namespace pictrova::imaging
