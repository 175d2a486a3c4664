// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/jpeg_compression.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
// jerror.h after jpeglib.h: it needs the library's types.
#include <jerror.h>

#include <algorithm>
#include <string>

#include "common/checked_math.h"
#include "imaging/bitmap_rows.h"

namespace pictrova::imaging {
namespace {

constexpr int kWholeChromaFromQuality = 90;
constexpr UINT16 kDotsPerInch = 72;
// The output grows in steps of this much (and never by doubling beside the bitmap). Its first
// room is a quarter of the picture's bytes within these bounds: a small picture's file takes
// one small block, not a step's worth of pages cleared for nothing.
constexpr std::size_t kOutputStep = 256 * 1024;
constexpr std::size_t kSmallestFirstRoom = 16 * 1024;

// libjpeg's failures leave through longjmp back into Compress, with the library's message.
struct ErrorExit {
    jpeg_error_mgr manager;
    std::jmp_buf back;
    char message[JMSG_LENGTH_MAX];
};

void ExitWithMessage(j_common_ptr info) {
    auto* error = reinterpret_cast<ErrorExit*>(info->err);
    (*info->err->format_message)(info, error->message);
    std::longjmp(error->back, 1);
}

void IgnoreMessage(j_common_ptr, int) {}

// The destination: the library fills our vector's spare room, which grows a step at a time.
struct VectorDestination {
    jpeg_destination_mgr manager;
    std::vector<std::uint8_t>* bytes;
    std::size_t used;
    std::size_t step;  // the room the next growth gives
};

void GiveRoom(j_compress_ptr info, VectorDestination& dest) {
    std::vector<std::uint8_t>& bytes = *dest.bytes;
    if (bytes.size() - dest.used < dest.step) {
        bool grown = true;
        try {
            const std::size_t need = dest.used + dest.step;
            if (need > bytes.capacity())
                bytes.reserve(std::max(need, bytes.capacity() + bytes.capacity() / 4));
            bytes.resize(need);
        } catch (...) {
            grown = false;
        }
        // Outside the handler: the library leaves through longjmp.
        if (!grown)
            ERREXIT1(info, JERR_OUT_OF_MEMORY, 0);
    }
    dest.manager.next_output_byte = bytes.data() + dest.used;
    dest.manager.free_in_buffer = bytes.size() - dest.used;
}

void StartDestination(j_compress_ptr info) {
    GiveRoom(info, *reinterpret_cast<VectorDestination*>(info->dest));
}

boolean EmptyDestination(j_compress_ptr info) {
    auto& dest = *reinterpret_cast<VectorDestination*>(info->dest);
    // The library calls this with the whole buffer full.
    dest.used = dest.bytes->size();
    dest.step = kOutputStep;
    GiveRoom(info, dest);
    return TRUE;
}

void TermDestination(j_compress_ptr info) {
    auto& dest = *reinterpret_cast<VectorDestination*>(info->dest);
    dest.used = dest.bytes->size() - dest.manager.free_in_buffer;
}

// Runs the compression; false with `error.message` set when the library failed. Nothing with a
// destructor lives in this function, so the library's longjmp skips none.
bool Compress(const BitmapRows& rows, int quality, HuffmanTables tables, VectorDestination& dest,
              ErrorExit& error) {
    jpeg_compress_struct info{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = ExitWithMessage;
    error.manager.emit_message = IgnoreMessage;
    if (setjmp(error.back) != 0) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    dest.manager.init_destination = StartDestination;
    dest.manager.empty_output_buffer = EmptyDestination;
    dest.manager.term_destination = TermDestination;
    info.dest = &dest.manager;

    info.image_width = static_cast<JDIMENSION>(rows.width());
    info.image_height = static_cast<JDIMENSION>(rows.height());
    info.input_components = static_cast<int>(rows.channels());
    info.in_color_space = rows.channels() == 4 ? JCS_EXT_BGRX : JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    // jpeg_set_defaults samples the luminance 2 x 2 (chroma halved both ways).
    if (quality >= kWholeChromaFromQuality) {
        for (int c = 0; c < info.num_components; ++c) {
            info.comp_info[c].h_samp_factor = 1;
            info.comp_info[c].v_samp_factor = 1;
        }
    }
    info.optimize_coding = tables == HuffmanTables::Fitted ? TRUE : FALSE;
    info.density_unit = 1;
    info.X_density = kDotsPerInch;
    info.Y_density = kDotsPerInch;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rows.Row(info.next_scanline));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

}  // namespace

std::vector<std::uint8_t> EncodeJpeg(const cDIBSection& picture, std::uint32_t quality,
                                     HuffmanTables tables) {
    const BitmapRows rows(picture);
    if (rows.width() > JPEG_MAX_DIMENSION || rows.height() > JPEG_MAX_DIMENSION)
        throw Error("JPEG cannot hold a picture of more than 65500 pixels a side");
    std::vector<std::uint8_t> bytes;
    VectorDestination dest{};
    dest.bytes = &bytes;
    // Within the pixel limits: no overflow.
    dest.step = std::clamp(rows.width() * rows.height() * rows.channels() / 4, kSmallestFirstRoom,
                           kOutputStep);
    ErrorExit error{};
    if (!Compress(rows, static_cast<int>(std::min<std::uint32_t>(quality, 100)), tables, dest,
                  error))
        throw Error(std::string("JPEG encoder: ") + error.message);
    bytes.resize(dest.used);
    return bytes;
}

}  // namespace pictrova::imaging
