// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/gif_decoder.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "common/limits.h"
#include "imaging/codec_decode_outcome.h"
#include "imaging/picture_holder.h"

namespace pictrova::imaging {
namespace {

// giflib reads the file through this cursor: every read bounded by the bytes there are (a short
// read is an error to giflib).
struct Input {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at;
};

int ReadInput(GifFileType* gif, GifByteType* out, int length) {
    auto* input = static_cast<Input*>(gif->UserData);
    const std::size_t wanted = length > 0 ? static_cast<std::size_t>(length) : 0;
    const std::size_t given = std::min(wanted, input->size - input->at);
    std::memcpy(out, input->data + input->at, given);
    input->at += given;
    return static_cast<int>(given);
}

struct GifCloser {
    void operator()(GifFileType* gif) const { DGifCloseFile(gif, nullptr); }
};
using GifFile = std::unique_ptr<GifFileType, GifCloser>;

using Outcome = CodecOutcome;

// Graphic control block: size 4, flags (bit 0: transparent colour given), delay (2 bytes),
// transparent colour index.
constexpr int kGraphicControlSize = 4;
constexpr int kTransparentFlag = 0x01;

// Walks the records up to the first image descriptor, keeping the transparent colour of the
// graphic control block that applies to it (kNoTransparent when none gives one). False at the end
// of the file or on damage.
constexpr int kNoTransparent = -1;

bool ReachFirstImage(GifFileType* gif, int& transparent) {
    while (true) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR)
            return false;
        if (type == IMAGE_DESC_RECORD_TYPE)
            return DGifGetImageDesc(gif) != GIF_ERROR;
        if (type != EXTENSION_RECORD_TYPE)
            return false;
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif, &code, &block) == GIF_ERROR)
            return false;
        if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= kGraphicControlSize) {
            transparent = (block[1] & kTransparentFlag) != 0 ? block[4] : kNoTransparent;
        }
        while (block != nullptr) {
            if (DGifGetExtensionNext(gif, &block) == GIF_ERROR)
                return false;
        }
    }
}

// The rows of an interlaced frame come in four passes: every 8th from 0, every 8th from 4, every
// 4th from 2, every 2nd from 1.
constexpr std::array<int, 4> kPassStart = {0, 4, 2, 1};
constexpr std::array<int, 4> kPassStep = {8, 8, 4, 2};

Outcome Decode(std::span<const std::uint8_t> bytes, cDIBSection& dib, DeclaredSize& declared) {
    Input input{bytes.data(), bytes.size(), 0};
    GifFile gif(DGifOpen(&input, ReadInput, nullptr));
    if (!gif)
        return Outcome::LeftToEngine;
    int transparent = kNoTransparent;
    if (!ReachFirstImage(gif.get(), transparent))
        return Outcome::LeftToEngine;
    const GifImageDesc& frame = gif->Image;
    declared = {frame.Width, frame.Height};
    if (frame.Width <= 0 || frame.Height <= 0)
        return Outcome::LeftToEngine;
    if (!PictureSizeAllowed(declared.width, declared.height))
        return Outcome::TooBig;
    // The engine shows a frame inside a larger screen at its own size and place its own way.
    if (frame.Left != 0 || frame.Top != 0 || frame.Width != gif->SWidth ||
        frame.Height != gif->SHeight)
        return Outcome::LeftToEngine;
    const ColorMapObject* colours = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
    if (colours == nullptr || colours->ColorCount <= 0)
        return Outcome::LeftToEngine;
    // Every index a row can hold has an entry; those past the table are refused after the row.
    const auto entries = static_cast<std::size_t>(std::min(colours->ColorCount, 256));
    std::array<std::array<std::uint8_t, 3>, 256> palette{};
    for (std::size_t i = 0; i < entries; ++i) {
        const GifColorType& c = colours->Colors[i];
        palette[i] = {c.Blue, c.Green, c.Red};
    }
    if (transparent != kNoTransparent && static_cast<std::size_t>(transparent) < entries)
        palette[static_cast<std::size_t>(transparent)] = {255, 255, 255};

    if (!dib.Create(frame.Width, frame.Height, 3))
        return Outcome::TooBig;
    const auto width = static_cast<std::size_t>(frame.Width);
    const auto stride = static_cast<std::size_t>(dib.BytesPerScanLine());
    std::uint8_t* bits = dib.DIBSectionBitsPtr();
    std::vector<GifPixelType> line(width);
    auto readRow = [&](int y) {
        if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR)
            return false;
        std::uint8_t* row = bits + static_cast<std::size_t>(frame.Height - 1 - y) * stride;
        GifPixelType largest = 0;
        for (std::size_t x = 0; x < width; ++x, row += 3) {
            const std::array<std::uint8_t, 3>& bgr = palette[line[x]];
            row[0] = bgr[0];
            row[1] = bgr[1];
            row[2] = bgr[2];
            largest = std::max(largest, line[x]);
        }
        return largest < entries;
    };
    if (frame.Interlace) {
        for (std::size_t pass = 0; pass < kPassStart.size(); ++pass) {
            for (int y = kPassStart[pass]; y < frame.Height; y += kPassStep[pass]) {
                if (!readRow(y))
                    return Outcome::LeftToEngine;
            }
        }
    } else {
        for (int y = 0; y < frame.Height; ++y) {
            if (!readRow(y))
                return Outcome::LeftToEngine;
        }
    }
    return Outcome::Decoded;
}

}  // namespace

bool DecodeGif(std::span<const std::uint8_t> gif, cDIBSection& dib) {
    dib.CleanUp();
    constexpr std::size_t kSignatureSize = 6;
    if (gif.size() < kSignatureSize || (std::memcmp(gif.data(), "GIF87a", kSignatureSize) != 0 &&
                                        std::memcmp(gif.data(), "GIF89a", kSignatureSize) != 0))
        return false;
    DeclaredSize declared;
    return DecodedElseLeftToEngine(Decode(gif, dib, declared), dib, declared);
}

}  // namespace pictrova::imaging
