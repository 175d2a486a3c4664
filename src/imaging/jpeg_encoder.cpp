// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/jpeg_encoder.h"

#include <algorithm>
#include <cerrno>
#include <string>

#include "common/file_io.h"
#include "imaging/engine_io.h"

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

    Magick::Blob encoded;
    try {
        Magick::Image image = DibToEngineImage(picture.Image());
        image.quality(std::min<unsigned>(quality, 100));
        image.magick("JPEG");
        WithEngineErrors([&] {
            image.write(&encoded);
            return 0;
        });
    } catch (const PictureTooBig&) {
        Fail(JpegStatus::OutOfMemory);
    } catch (const std::exception&) {
        Fail(JpegStatus::GenericError);
    }
    const auto* data = static_cast<const std::uint8_t*>(encoded.data());
    return std::vector<std::uint8_t>(data, data + encoded.length());
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
