// SPDX-License-Identifier: GPL-3.0-or-later
#include "emf/emf_drawing.h"

#include <emf2svg.h>
#include <librsvg/rsvg.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "common/error.h"
#include "common/limits.h"
#include "imaging/dib_section.h"

namespace pictrova::imaging {
namespace {

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};
struct ContextDeleter {
    void operator()(cairo_t* p) const { cairo_destroy(p); }
};
struct ObjectDeleter {
    void operator()(void* p) const { g_object_unref(p); }
};
struct ErrorDeleter {
    void operator()(GError* p) const { g_error_free(p); }
};

std::string MetafileToSvg(const CheckedEnhancedMetafile& metafile) {
    char nameSpace[] = "";
    generatorOptions options{};
    options.nameSpace = nameSpace;
    options.verbose = false;
    options.emfplus = false;
    options.svgDelimiter = true;
    char* svg = nullptr;
    std::size_t length = 0;
    std::vector<char> bits(metafile.bits.begin(), metafile.bits.end());
    const int converted = emf2svg(bits.data(), bits.size(), &svg, &length, &options);
    std::unique_ptr<char, FreeDeleter> owned(svg);
    if (converted == 0 || svg == nullptr || length == 0)
        throw Error("metafile records not understood");
    return std::string(svg, length);
}

// The SVG's size is the metafile's bounds less one pixel: its bounds are inclusive, so the last
// row and column of the picture would be cut off. Grows the root element's width and height by
// one before drawing.
void IncludeLastPixel(std::string& svg) {
    const std::size_t root = svg.find("<svg");
    const std::size_t rootEnd = svg.find('>', root);
    if (root == std::string::npos || rootEnd == std::string::npos)
        throw Error("metafile drawing has no root");
    for (const char* attribute : {" width=\"", " height=\""}) {
        const std::size_t at = svg.find(attribute, root);
        if (at == std::string::npos || at > rootEnd)
            continue;
        const std::size_t from = at + std::strlen(attribute);
        const std::size_t to = svg.find('"', from);
        if (to == std::string::npos)
            continue;
        double value = 0;
        const auto [end, error] = std::from_chars(svg.data() + from, svg.data() + to, value);
        if (error != std::errc() || end != svg.data() + to)
            continue;
        svg.replace(from, to - from, std::to_string(value + 1));
    }
}

}  // namespace

void EnforceDrawingSize(const PixelSize& size) {
    if (!PictureSizeAllowed(size.width, size.height))
        throw Error("metafile size out of range");
}

Drawing DrawEnhancedMetafile(const CheckedEnhancedMetafile& metafile, const PixelSize& size) {
    EnforceDrawingSize(size);
    std::string svg = MetafileToSvg(metafile);
    IncludeLastPixel(svg);

    GError* rawError = nullptr;
    std::unique_ptr<RsvgHandle, ObjectDeleter> handle(rsvg_handle_new_from_data(
        reinterpret_cast<const guint8*>(svg.data()), svg.size(), &rawError));
    std::unique_ptr<GError, ErrorDeleter> error(rawError);
    if (!handle)
        throw Error(std::string("metafile drawing not read: ") +
                    (error ? error->message : "unknown"));
    double svgWidth = 0, svgHeight = 0;
    if (!rsvg_handle_get_intrinsic_size_in_pixels(handle.get(), &svgWidth, &svgHeight) ||
        svgWidth <= 0 || svgHeight <= 0) {
        throw Error("metafile drawing has no size");
    }

    const auto width = static_cast<int>(size.width), height = static_cast<int>(size.height);
    Drawing drawing(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height), width, height);
    cairo_surface_t* surface = drawing.surface();
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS)
        throw Error("no memory for the picture");
    std::unique_ptr<cairo_t, ContextDeleter> cr(cairo_create(surface));
    // Areas the metafile does not paint stay white: black text and lines on nothing stay seen.
    cairo_set_source_rgb(cr.get(), 1, 1, 1);
    cairo_paint(cr.get());

    // The SVG is in device pixels from the bounds' corner; the frame (hundredths of a
    // millimetre on the same device) is what fills the picture.
    const Frame& frame = metafile.frame;
    const ReferenceDevice& device = metafile.device;
    double pixelsPerHimetricX = 0, pixelsPerHimetricY = 0;
    if (device.widthMillimetres > 0 && device.heightMillimetres > 0 && device.widthPixels > 0 &&
        device.heightPixels > 0) {
        pixelsPerHimetricX = device.widthPixels / (device.widthMillimetres * 100.0);
        pixelsPerHimetricY = device.heightPixels / (device.heightMillimetres * 100.0);
    }
    double left = metafile.bounds.left, top = metafile.bounds.top;
    double frameWidth = metafile.bounds.right - static_cast<double>(metafile.bounds.left) + 1;
    double frameHeight = metafile.bounds.bottom - static_cast<double>(metafile.bounds.top) + 1;
    if (pixelsPerHimetricX > 0 && frame.right > frame.left && frame.bottom > frame.top) {
        left = frame.left * pixelsPerHimetricX;
        top = frame.top * pixelsPerHimetricY;
        frameWidth = (frame.right - static_cast<double>(frame.left)) * pixelsPerHimetricX;
        frameHeight = (frame.bottom - static_cast<double>(frame.top)) * pixelsPerHimetricY;
    }
    if (!(frameWidth > 0 && frameHeight > 0))
        throw Error("metafile frame is empty");
    cairo_scale(cr.get(), width / frameWidth, height / frameHeight);
    cairo_translate(cr.get(), metafile.bounds.left - left, metafile.bounds.top - top);

    const RsvgRectangle viewport{0, 0, svgWidth, svgHeight};
    rawError = nullptr;
    const bool drawn = rsvg_handle_render_document(handle.get(), cr.get(), &viewport, &rawError);
    error.reset(rawError);
    if (!drawn)
        throw Error(std::string("metafile not drawn: ") + (error ? error->message : "unknown"));
    cairo_surface_flush(surface);
    return drawing;
}

void Drawing::Row(std::int32_t y, std::span<std::uint8_t> out) const {
    cairo_surface_t* surface = surface_.get();
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const auto* pixel = reinterpret_cast<const std::uint32_t*>(
        data + static_cast<std::size_t>(y) *
                   static_cast<std::size_t>(cairo_image_surface_get_stride(surface)));
    for (std::int32_t x = 0; x < width_; ++x) {
        const std::uint32_t p = pixel[x];  // x8r8g8b8 in native order
        out[3 * static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(p);
        out[3 * static_cast<std::size_t>(x) + 1] = static_cast<std::uint8_t>(p >> 8);
        out[3 * static_cast<std::size_t>(x) + 2] = static_cast<std::uint8_t>(p >> 16);
    }
}

}  // namespace pictrova::imaging
