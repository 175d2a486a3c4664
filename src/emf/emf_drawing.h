// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Drawing a checked enhanced metafile into pixels: libemf2svg turns the records into SVG,
// librsvg draws that onto a white canvas, and the metafile's frame is mapped onto the canvas.

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <span>

#include "imaging/emf_records.h"

namespace pictrova::imaging {

// The drawn picture, kept in the drawing library's own pixels until it is written out: a large
// picture is copied once, row by row, rather than into whole-picture buffers.
class Drawing {
  public:
    Drawing(cairo_surface_t* surface, std::int32_t width, std::int32_t height)
        : surface_(surface), width_(width), height_(height) {}
    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    cairo_surface_t* surface() const { return surface_.get(); }
    // Row `y` (0 the top) as blue, green, red triples: `out` holds at least width x 3 bytes.
    void Row(std::int32_t y, std::span<std::uint8_t> out) const;

  private:
    struct SurfaceDeleter {
        void operator()(cairo_surface_t* p) const { cairo_surface_destroy(p); }
    };
    std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface_;
    std::int32_t width_;
    std::int32_t height_;
};

// Throws Error when the size is not one the bitmap class makes.
void EnforceDrawingSize(const PixelSize& size);

// Throws Error when a library refuses the metafile.
Drawing DrawEnhancedMetafile(const CheckedEnhancedMetafile& metafile, const PixelSize& size);

}  // namespace pictrova::imaging
