// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/jpeg_decoder.h"

// clang-format off
#include <cstdio>  // jpeglib.h needs FILE and size_t first
#include <jpeglib.h>
// clang-format on

#include <csetjmp>

#include "common/checked_math.h"
#include "common/limits.h"
#include "imaging/codec_decode_outcome.h"
#include "imaging/picture_holder.h"

namespace pictrova::imaging {
namespace {

// libjpeg reports errors through a callback that must not return: it jumps back to the decode
// call. Warnings (corrupt data libjpeg works around) are counted, and the picture is then left to
// the engine, which judges damaged pictures for the loader.
struct ErrorJump {
    jpeg_error_mgr manager;
    std::jmp_buf back;
    int warnings;
};

[[noreturn]] void OnError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorJump*>(info->err)->back, 1);
}

void OnMessage(j_common_ptr info, int level) {
    if (level < 0)
        ++reinterpret_cast<ErrorJump*>(info->err)->warnings;
}

// Stops a progressive file after kMaxJpegScans scans, through the error exit.
void LimitScans(j_common_ptr info) {
    const auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
    if (decompress->input_scan_number > kMaxJpegScans)
        OnError(info);
}

using Outcome = CodecOutcome;
using Declared = DeclaredSize;

// Only plain data lives in this frame: a jump out of libjpeg skips no destructor.
Outcome Decode(std::span<const std::uint8_t> jpeg, cDIBSection& dib, Declared& declared) {
    jpeg_decompress_struct info{};
    ErrorJump error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = OnError;
    error.manager.emit_message = OnMessage;
    if (setjmp(error.back) != 0) {
        jpeg_destroy_decompress(&info);
        return Outcome::LeftToEngine;
    }
    jpeg_create_decompress(&info);
    jpeg_progress_mgr progress{};
    progress.progress_monitor = LimitScans;
    info.progress = &progress;
    jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    declared = {info.image_width, info.image_height};
    if (!PictureSizeAllowed(declared.width, declared.height)) {
        jpeg_destroy_decompress(&info);
        return Outcome::TooBig;
    }
    if (info.jpeg_color_space != JCS_GRAYSCALE && info.jpeg_color_space != JCS_YCbCr &&
        info.jpeg_color_space != JCS_RGB) {
        jpeg_destroy_decompress(&info);
        return Outcome::LeftToEngine;
    }
    info.out_color_space = JCS_EXT_BGR;  // the bitmap's byte order
    jpeg_start_decompress(&info);
    if (info.output_components != 3 ||
        !dib.Create(static_cast<std::int32_t>(info.output_width),
                    static_cast<std::int32_t>(info.output_height), 3)) {
        jpeg_destroy_decompress(&info);
        return Outcome::LeftToEngine;
    }
    const auto stride = static_cast<std::size_t>(dib.BytesPerScanLine());
    std::uint8_t* bits = dib.DIBSectionBitsPtr();
    while (info.output_scanline < info.output_height) {
        JSAMPROW row =
            bits + static_cast<std::size_t>(info.output_height - 1 - info.output_scanline) * stride;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return error.warnings == 0 ? Outcome::Decoded : Outcome::LeftToEngine;
}

}  // namespace

bool DecodeJpeg(std::span<const std::uint8_t> jpeg, cDIBSection& dib) {
    dib.CleanUp();
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8)
        return false;
    CheckedCast<unsigned long>(jpeg.size());
    Declared declared;
    return DecodedElseLeftToEngine(Decode(jpeg, dib, declared), dib, declared);
}

}  // namespace pictrova::imaging
