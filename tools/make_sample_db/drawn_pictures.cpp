// SPDX-License-Identifier: GPL-3.0-or-later
#include "drawn_pictures.h"

#include <Magick++.h>

#include <list>

#include "imaging/engine/engine_images.h"
#include "imaging/image_engine.h"

namespace pictrova::sample {

namespace {

const char* const kShapeColours[] = {"#ffd23c", "#2a9d8f", "#e63946",
                                     "#f1faee", "#8338ec", "#06d6a0"};

}  // namespace

Bytes DrawPicture(const DrawnPicture& picture, const std::string& format) {
    imaging::StartImageEngine();
    imaging::StartEngineLibrary();
    Magick::Image image;
    image.size(Magick::Geometry(static_cast<unsigned>(picture.width),
                                static_cast<unsigned>(picture.height)));
    image.read("gradient:" + picture.topColour + "-" + picture.bottomColour);

    const double w = picture.width;
    const double h = picture.height;
    const int v = picture.variant;
    std::list<Magick::Drawable> shapes;
    shapes.push_back(Magick::DrawableStrokeColor(Magick::Color("#202020")));
    shapes.push_back(Magick::DrawableStrokeWidth(2));
    shapes.push_back(Magick::DrawableFillColor(Magick::Color(kShapeColours[v % 6])));
    shapes.push_back(Magick::DrawableCircle(w * (0.25 + 0.1 * (v % 3)), h * 0.35,
                                            w * (0.25 + 0.1 * (v % 3)) + h * 0.18, h * 0.35));
    shapes.push_back(Magick::DrawableFillColor(Magick::Color(kShapeColours[(v + 2) % 6])));
    shapes.push_back(
        Magick::DrawableRectangle(w * 0.55, h * 0.2, w * 0.9, h * (0.55 + 0.05 * (v % 4))));
    shapes.push_back(Magick::DrawableFillColor(Magick::Color(kShapeColours[(v + 4) % 6])));
    std::list<Magick::Coordinate> triangle{
        {w * 0.1, h * 0.8}, {w * 0.3, h * 0.5}, {w * 0.5, h * 0.8}};
    shapes.push_back(Magick::DrawablePolygon(triangle));
    image.draw(shapes);

    if (!picture.text.empty()) {
        image.font("Helvetica-Bold");
        image.fontPointsize(h / 12);
        image.fillColor(Magick::Color("white"));
        image.strokeColor(Magick::Color("black"));
        image.annotate(picture.text, Magick::Geometry(0, 0, 0, static_cast<unsigned>(h / 30)),
                       Magick::SouthGravity);
    }

    image.magick(format);
    if (format == "BMP3")
        image.type(Magick::TrueColorType);
    if (format == "JPEG")
        image.quality(90);
    Magick::Blob blob;
    image.write(&blob);
    const auto* data = static_cast<const std::uint8_t*>(blob.data());
    return Bytes(data, data + blob.length());
}

}  // namespace pictrova::sample
