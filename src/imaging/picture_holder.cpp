// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/picture_holder.h"

#include <cmath>
#include <cstring>
#include <fstream>

#include "common/byte_reader.h"
#include "common/file_io.h"
#include "common/limits.h"
#include "imaging/bmp_format.h"
#include "imaging/codec_decoders.h"
#include "imaging/emf_loader.h"
#include "imaging/engine_io.h"
#include "imaging/metafile_cost.h"
#include "imaging/metafile_frame.h"
#include "imaging/picture_kind.h"

namespace pictrova::imaging {
namespace {

// A metafile file is drawn at the size its placeable header gives (bounding box over units per
// inch); a metafile without one at its window taken as screen pixels.
void LoadMetafile(std::span<const std::uint8_t> bytes, cDIBSection& image) {
    std::int32_t mm = MM_ANISOTROPIC;
    std::int32_t xExt = 0;
    std::int32_t yExt = 0;
    ByteReader r(bytes);
    if (r.u32le() == kPlaceableKey) {
        r.skip(2);
        const std::int32_t left = r.i16le();
        const std::int32_t top = r.i16le();
        const std::int32_t right = r.i16le();
        const std::int32_t bottom = r.i16le();
        const std::uint16_t inch = r.u16le();
        Enforce(inch != 0, "placeable metafile without units per inch", 14);
        xExt = static_cast<std::int32_t>(std::lround(std::abs(right - left) * 2540.0 / inch));
        yExt = static_cast<std::int32_t>(std::lround(std::abs(bottom - top) * 2540.0 / inch));
    }
    std::vector<std::uint8_t> bits(bytes.begin(), bytes.end());
    if (!image.WMFtoBMP(bits, mm, xExt, yExt)) {
        if (const std::optional<RenderRefusal> refusal = image.lastRefusal())
            throw MetafileNotRendered(*refusal);
        throw Error("metafile cannot be drawn");
    }
}

// Whether a BMP file's pixels carry alpha. Only a 32-bit file with an alpha mask does: one with
// BI_ALPHABITFIELDS, or BI_BITFIELDS under an info header long enough to hold the mask (V3, V4,
// V5). In every other 32-bit file the fourth byte is unused and usually zero; read as alpha it
// would make the whole picture transparent.
bool BmpHasAlphaMask(std::span<const std::uint8_t> bytes) {
    constexpr std::uint32_t kBitFields = 3, kAlphaBitFields = 6;
    if (bytes.size() < kBmpHeadersSize)
        return false;
    ByteReader r(bytes);
    r.seek(kBmpFileHeaderSize);
    const std::uint32_t headerSize = r.u32le();
    r.skip(8);  // width, height
    r.skip(2);  // planes
    const std::uint16_t bitCount = r.u16le();
    const std::uint32_t compression = r.u32le();
    if (headerSize < kBmpInfoHeaderSize || bitCount != 32)
        return false;
    if (compression != kAlphaBitFields && !(compression == kBitFields && headerSize >= 56))
        return false;
    constexpr std::size_t kAlphaMaskAt = kBmpHeadersSize + 12;
    if (bytes.size() < kAlphaMaskAt + 4)
        return false;
    r.seek(kAlphaMaskAt);
    return r.u32le() != 0;
}

}  // namespace

void PictureHolder::LoadFromFile(const std::filesystem::path& path) {
    Clear();
    LoadFromMemory(ReadWholeFile(path));
}

void PictureHolder::LoadFromMemory(std::span<const std::uint8_t> bytes) {
    Clear();
    try {
        const PictureKind kind = SniffPictureKind(bytes);
        if (!IsDirectlyLoadable(kind))
            throw Error("not a picture of a kind the loader reads");
        if (kind == PictureKind::Wmf) {
            LoadMetafile(bytes, image_);
        } else if (kind == PictureKind::Emf) {
            LoadEnhancedMetafile(bytes, image_);
        } else if (!DecodeWithCodecLibrary(kind, bytes, image_)) {
            DecodeWithEngine(bytes, EngineCoderName(kind), image_,
                             {.dropAlpha = kind == PictureKind::Bmp && !BmpHasAlphaMask(bytes)});
        }
    } catch (...) {
        Clear();
        throw;
    }
}

std::vector<std::uint8_t> Bmp24FileBytes(const cDIBSection& image) {
    if (image.biSizeImage() == 0)
        throw Error("no picture to save");
    if (image.dib_channels() != 3)
        throw Error("only 24-bit pictures are saved as BMP");
    const auto imageSize = CheckedCast<std::uint32_t>(image.biSizeImage());
    std::vector<std::uint8_t> file(kBmpHeadersSize + imageSize);
    WriteBmp24Headers(file, image.dib_width(), image.dib_height(), imageSize);
    ByteWriter out(file);
    out.seek(kBmpHeadersSize);
    out.bytes(std::span<const std::uint8_t>(image.DIBSectionBitsPtr(), imageSize));
    return file;
}

std::vector<std::uint8_t> PictureHolder::BmpFileBytes() const {
    if (!HasPicture())
        throw Error("no picture to save");
    return Bmp24FileBytes(image_);
}

void PictureHolder::SaveAsBmp(const std::filesystem::path& path) const {
    WriteWholeFile(BmpFileBytes(), path);
}

}  // namespace pictrova::imaging
