// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/jpeg_encoder.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <string>

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
    if (!picture.HasPicture()) Fail(JpegStatus::InvalidParameter);

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

void WriteJPGFile(std::span<const std::uint8_t> encoded, const std::filesystem::path& path) {
    const std::filesystem::path temporary = path.string() + ".part" + std::to_string(getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) Fail(StatusOfErrno(errno));
        out.write(reinterpret_cast<const char*>(encoded.data()), static_cast<std::streamsize>(encoded.size()));
        out.close();
        if (!out) {
            const int error = errno;
            std::error_code ec;
            std::filesystem::remove(temporary, ec);
            Fail(StatusOfErrno(error));
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        std::filesystem::remove(temporary, ec);
        Fail(JpegStatus::Win32Error);
    }
}

void SaveJPG(const PictureHolder& picture, const std::filesystem::path& path, std::uint8_t quality) {
    WriteJPGFile(EncodeJPG(picture, quality), path);
}

}  // namespace pictrova::imaging
