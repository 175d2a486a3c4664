// SPDX-License-Identifier: GPL-3.0-or-later
#include "ole_builder/pictures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "ole_builder/byte_appender.h"

namespace pictrova::fixtures {

Rgb PatternColour(int x, int y) {
    return {static_cast<std::uint8_t>(x * 16), static_cast<std::uint8_t>(y * 16),
            static_cast<std::uint8_t>((x + y) * 8 + 1)};
}

std::uint8_t PaletteIndex(int x, int y, int paletteSize) {
    return static_cast<std::uint8_t>((x + 2 * y) % paletteSize);
}

Rgb PaletteColour(int k) {
    return {static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(255 - k),
            static_cast<std::uint8_t>(k * 5)};
}

namespace {

int Stride(int width, int bitCount) {
    return (bitCount * width + 31) / 32 * 4;
}

void AppendInfoHeader(ByteAppender& out, int width, int height, int bitCount,
                      std::uint32_t imageSize, std::uint32_t coloursUsed) {
    out.u32(40);
    out.i32(width);
    out.i32(height);
    out.u16(1);
    out.u16(static_cast<std::uint16_t>(bitCount));
    out.u32(0);
    out.u32(imageSize);
    out.i32(2835);  // 72 dpi
    out.i32(2835);
    out.u32(coloursUsed);
    out.u32(0);
}

void AppendFileHeader(ByteAppender& out, std::uint32_t fileSize, std::uint32_t pixelOffset) {
    out.text("BM");
    out.u32(fileSize);
    out.u32(0);
    out.u32(pixelOffset);
}

}  // namespace

Bytes MakePackedDib(int width, int height, int bitCount, std::uint32_t coloursUsed) {
    if (width <= 0 || height <= 0)
        throw std::invalid_argument("bitmap needs a positive size");
    const bool paletted = bitCount <= 8;
    const int paletteSize =
        paletted ? static_cast<int>(coloursUsed ? coloursUsed : 1u << bitCount) : 0;
    const int stride = Stride(width, bitCount);
    Bytes dib;
    ByteAppender out(dib);
    AppendInfoHeader(out, width, height, bitCount, static_cast<std::uint32_t>(stride * height),
                     coloursUsed);
    for (int k = 0; k < paletteSize; ++k) {
        const Rgb c = PaletteColour(k);
        out.u8(c.blue);
        out.u8(c.green);
        out.u8(c.red);
        out.u8(0);
    }
    for (int row = 0; row < height; ++row) {
        const int y = height - 1 - row;
        Bytes line(static_cast<std::size_t>(stride), 0);
        for (int x = 0; x < width; ++x) {
            const Rgb c = PatternColour(x, y);
            switch (bitCount) {
                case 1:
                case 4:
                case 8: {
                    const int bitPos = x * bitCount;
                    const int shift = 8 - bitCount - bitPos % 8;
                    line[static_cast<std::size_t>(bitPos / 8)] |=
                        static_cast<std::uint8_t>(PaletteIndex(x, y, paletteSize) << shift);
                    break;
                }
                case 16: {
                    const auto v = static_cast<std::uint16_t>((c.red >> 3) << 10 |
                                                              (c.green >> 3) << 5 | c.blue >> 3);
                    line[static_cast<std::size_t>(2 * x)] = static_cast<std::uint8_t>(v);
                    line[static_cast<std::size_t>(2 * x + 1)] = static_cast<std::uint8_t>(v >> 8);
                    break;
                }
                case 24:
                case 32: {
                    const std::size_t at = static_cast<std::size_t>(x * (bitCount / 8));
                    line[at] = c.blue;
                    line[at + 1] = c.green;
                    line[at + 2] = c.red;
                    break;
                }
                default:
                    throw std::invalid_argument("unsupported bit count");
            }
        }
        out.bytes(line);
    }
    return dib;
}

Bytes MakeBmpFile(int width, int height, int bitCount, std::uint32_t coloursUsed) {
    const Bytes dib = MakePackedDib(width, height, bitCount, coloursUsed);
    const std::uint32_t imageSize = static_cast<std::uint32_t>(Stride(width, bitCount) * height);
    Bytes file;
    ByteAppender out(file);
    AppendFileHeader(out, static_cast<std::uint32_t>(dib.size() + 14),
                     static_cast<std::uint32_t>(dib.size() + 14 - imageSize));
    out.bytes(dib);
    return file;
}

Bytes MakeRunLengthBmpFile(int width, int height, int bitCount) {
    if (width < 3 || height <= 0 || (bitCount != 4 && bitCount != 8))
        throw std::invalid_argument("run-length bitmap needs 4 or 8 bits and 3 or more columns");
    const int n = 1 << bitCount;
    auto index = [&](int x, int y) {
        return static_cast<std::uint8_t>(x < width / 2 ? (x / 5 + y) % n : (x + 2 * y) % n);
    };
    auto packed = [&](std::uint8_t first, std::uint8_t second) {
        return bitCount == 8 ? first : static_cast<std::uint8_t>(first << 4 | second);
    };
    Bytes bits;
    for (int row = 0; row < height; ++row) {
        const int y = height - 1 - row;
        int x = 0;
        if (row == 0) {
            bits.insert(bits.end(), {0, 2, 2, 0});  // delta: two pixels right
            x = 2;
        }
        while (x < width) {
            int run = 1;
            while (x + run < width && run < 255 && index(x + run, y) == index(x, y))
                ++run;
            if (run >= 2 || width - x < 3) {
                bits.insert(bits.end(),
                            {static_cast<std::uint8_t>(run), packed(index(x, y), index(x, y))});
                x += run;
                continue;
            }
            // Absolute: up to the next repeat, at least 3 pixels.
            int count = 3;
            while (x + count < width && count < 255 &&
                   index(x + count, y) != index(x + count - 1, y))
                ++count;
            bits.insert(bits.end(), {0, static_cast<std::uint8_t>(count)});
            const std::size_t start = bits.size();
            for (int i = 0; i < count; i += bitCount == 8 ? 1 : 2) {
                const std::uint8_t second = i + 1 < count ? index(x + i + 1, y) : 0;
                bits.push_back(packed(index(x + i, y), second));
            }
            if ((bits.size() - start) % 2 != 0)
                bits.push_back(0);
            x += count;
        }
        bits.insert(bits.end(), {0, 0});
    }
    bits.insert(bits.end(), {0, 1});
    const auto paletteBytes = static_cast<std::uint32_t>(4 * n);
    Bytes file;
    ByteAppender out(file);
    AppendFileHeader(out, static_cast<std::uint32_t>(54 + paletteBytes + bits.size()),
                     54 + paletteBytes);
    out.u32(40);
    out.i32(width);
    out.i32(height);
    out.u16(1);
    out.u16(static_cast<std::uint16_t>(bitCount));
    out.u32(bitCount == 8 ? 1 : 2);
    out.u32(static_cast<std::uint32_t>(bits.size()));
    out.i32(2835);
    out.i32(2835);
    out.u32(0);
    out.u32(0);
    for (int k = 0; k < n; ++k) {
        const Rgb c = PaletteColour(k);
        out.u8(c.blue);
        out.u8(c.green);
        out.u8(c.red);
        out.u8(0);
    }
    out.bytes(bits);
    return file;
}

Bytes MakeDrawnBmpFile(int width, int height, int variant) {
    const int stride = Stride(width, 24);
    Bytes file;
    ByteAppender out(file);
    AppendFileHeader(out, static_cast<std::uint32_t>(54 + stride * height), 54);
    AppendInfoHeader(out, width, height, 24, static_cast<std::uint32_t>(stride * height), 0);
    const int cx = width * (2 + variant % 3) / 6, cy = height / 2, radius = std::max(1, height / 4);
    for (int row = 0; row < height; ++row) {
        const int y = height - 1 - row;
        Bytes line(static_cast<std::size_t>(stride), 0);
        for (int x = 0; x < width; ++x) {
            Rgb c{static_cast<std::uint8_t>(x * 255 / width),
                  static_cast<std::uint8_t>(y * 255 / height),
                  static_cast<std::uint8_t>(64 * (variant % 4))};
            if (x > width / 10 && x < width / 3 && y > height / 5 && y < height * 4 / 5)
                c = {240, 200, 40};
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius)
                c = {30, 60, 200};
            const std::size_t at = static_cast<std::size_t>(3 * x);
            line[at] = c.blue;
            line[at + 1] = c.green;
            line[at + 2] = c.red;
        }
        out.bytes(line);
    }
    return file;
}

Bytes MakePhotoEditorStream(std::int16_t imageType, std::int16_t width, std::int16_t height) {
    Bytes stream;
    ByteAppender out(stream);
    out.i16(imageType);
    out.i16(width);
    out.i16(height);
    out.zeros(12);
    for (int k = 0; k < 256; ++k) {
        const Rgb c = PaletteColour(k);
        out.u8(c.red);
        out.u8(c.green);
        out.u8(c.blue);
    }
    out.zeros(36);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (imageType == 3) {
                const Rgb c = PatternColour(x, y);
                out.u8(c.red);
                out.u8(c.green);
                out.u8(c.blue);
            } else {
                out.u8(PaletteIndex(x, y, 256));
            }
        }
    }
    return stream;
}

namespace {

// Writes metafile records; sizes are counted in 16-bit words as the format does.
class MetafileWriter {
  public:
    MetafileWriter() : out_(bytes_) {
        out_.u16(1);       // in memory
        out_.u16(9);       // header words
        out_.u16(0x0300);  // version
        out_.u32(0);       // file size in words, patched at the end
        out_.u16(0);       // object count, patched
        out_.u32(0);       // largest record, patched
        out_.u16(0);
    }

    void Record(std::uint16_t function, const std::vector<std::int16_t>& params) {
        const std::uint32_t words = static_cast<std::uint32_t>(3 + params.size());
        maxRecord_ = std::max(maxRecord_, words);
        out_.u32(words);
        out_.u16(function);
        for (std::int16_t p : params)
            out_.i16(p);
    }
    static std::vector<std::int16_t> ColourRef(Rgb c) {
        return {static_cast<std::int16_t>(c.red | c.green << 8), static_cast<std::int16_t>(c.blue)};
    }
    void SolidBrush(Rgb c) {
        auto params = std::vector<std::int16_t>{0};
        auto ref = ColourRef(c);
        params.insert(params.end(), ref.begin(), ref.end());
        params.push_back(0);
        Record(0x02FC, params);  // CreateBrushIndirect: the first free object slot
        Record(0x012D, {brushSlot()});
        objects_ = std::max(objects_, penObjects_ + 1);
    }
    void NullPen() { Pen(5, 0); }
    // CreatePenIndirect (black): object 0, kept to the end.
    void Pen(std::int16_t style, std::int16_t width) {
        Record(0x02FA, {style, width, 0, 0, 0});
        Record(0x012D, {0});
        penObjects_ = 1;
    }
    void DropBrush() { Record(0x01F0, {brushSlot()}); }  // DeleteObject
    void Font(const std::string& face, std::int16_t height) {
        std::vector<std::int16_t> params = {
            static_cast<std::int16_t>(-height), 0, 0, 0, 400, 0, 0, 0, 0};
        std::string name = face;
        name.resize(32, '\0');
        for (std::size_t i = 0; i < name.size(); i += 2)
            params.push_back(static_cast<std::int16_t>(
                static_cast<std::uint8_t>(name[i]) | static_cast<std::uint8_t>(name[i + 1]) << 8));
        Record(0x02FB, params);  // CreateFontIndirect: the slot after the live brush
        Record(0x012D, {fontSlot()});
        objects_ = penObjects_ + 2;
    }
    void Text(const std::string& text, std::int16_t x, std::int16_t y) {
        std::vector<std::int16_t> params = {static_cast<std::int16_t>(text.size())};
        std::string padded = text;
        if (padded.size() % 2)
            padded.push_back('\0');
        for (std::size_t i = 0; i < padded.size(); i += 2)
            params.push_back(
                static_cast<std::int16_t>(static_cast<std::uint8_t>(padded[i]) |
                                          static_cast<std::uint8_t>(padded[i + 1]) << 8));
        params.push_back(y);
        params.push_back(x);
        Record(0x0521, params);  // TextOut
    }

    Bytes Finish() {
        if (penObjects_)
            Record(0x01F0, {0});
        Record(0x0000, {});  // end of file
        out_.patch32(6, static_cast<std::uint32_t>(bytes_.size() / 2));
        bytes_[10] = static_cast<std::uint8_t>(objects_);
        out_.patch32(12, maxRecord_);
        return bytes_;
    }

  private:
    std::int16_t brushSlot() const { return static_cast<std::int16_t>(penObjects_); }

  public:
    std::int16_t fontSlot() const { return static_cast<std::int16_t>(penObjects_ + 1); }

  private:
    Bytes bytes_;
    ByteAppender out_;
    int penObjects_ = 0;
    std::uint32_t maxRecord_ = 3;
    int objects_ = 0;
};

}  // namespace

Bytes MakeMetafile(int width, int height, bool withText, int outlineWidth) {
    const auto w = static_cast<std::int16_t>(width), h = static_cast<std::int16_t>(height);
    MetafileWriter wmf;
    wmf.Record(0x020B, {0, 0});  // SetWindowOrg y, x
    wmf.Record(0x020C, {h, w});  // SetWindowExt y, x
    if (outlineWidth >= 0) {
        wmf.Pen(0, static_cast<std::int16_t>(outlineWidth));  // PS_SOLID
    } else {
        wmf.NullPen();
    }
    wmf.SolidBrush({255, 255, 255});
    wmf.Record(0x041B, {h, w, 0, 0});  // Rectangle bottom, right, top, left
    wmf.DropBrush();
    wmf.SolidBrush({220, 30, 30});
    wmf.Record(0x041B, {static_cast<std::int16_t>(h * 3 / 4), static_cast<std::int16_t>(w / 2),
                        static_cast<std::int16_t>(h / 4), static_cast<std::int16_t>(w / 10)});
    wmf.DropBrush();
    wmf.SolidBrush({30, 60, 220});
    wmf.Record(0x0418, {static_cast<std::int16_t>(h * 9 / 10),
                        static_cast<std::int16_t>(w * 9 / 10), static_cast<std::int16_t>(h / 10),
                        static_cast<std::int16_t>(w * 6 / 10)});  // Ellipse
    wmf.DropBrush();
    wmf.SolidBrush({30, 180, 60});
    wmf.Record(
        0x0324,
        {3, static_cast<std::int16_t>(w / 2), static_cast<std::int16_t>(h / 10),
         static_cast<std::int16_t>(w * 7 / 10), static_cast<std::int16_t>(h * 9 / 10),
         static_cast<std::int16_t>(w * 3 / 10), static_cast<std::int16_t>(h * 9 / 10)});  // Polygon
    if (withText) {
        wmf.Record(0x0102, {1});     // SetBkMode transparent
        wmf.Record(0x0209, {0, 0});  // SetTextColor black
        wmf.Font("Arial", static_cast<std::int16_t>(std::max(8, height / 6)));
        wmf.Text("Pictrova", static_cast<std::int16_t>(w / 20), static_cast<std::int16_t>(h / 20));
        wmf.Record(0x01F0, {wmf.fontSlot()});
    }
    wmf.DropBrush();
    return wmf.Finish();
}

std::pair<std::int16_t, std::int16_t> StarPoint(int i, int count, int width, int height) {
    const double angle = 2 * 3.141592653589793 * i / count;
    const double reach = i % 2 ? 0.25 : 0.5;
    return {static_cast<std::int16_t>(std::lround(width * (0.5 + reach * std::cos(angle)))),
            static_cast<std::int16_t>(std::lround(height * (0.5 + reach * std::sin(angle))))};
}

std::pair<std::int16_t, std::int16_t> StrewnPoint(int i, int width, int height) {
    auto next = [](std::uint32_t v) { return v * 1664525u + 1013904223u; };
    const std::uint32_t a = next(static_cast<std::uint32_t>(i) * 2 + 1), b = next(a);
    return {static_cast<std::int16_t>(a % static_cast<std::uint32_t>(width + 1)),
            static_cast<std::int16_t>(b % static_cast<std::uint32_t>(height + 1))};
}

Bytes MakeCostlyMetafile(CostlyPrimitive primitive, int count, int extent) {
    const auto e = static_cast<std::int16_t>(extent);
    MetafileWriter wmf;
    wmf.Record(0x020B, {0, 0});  // SetWindowOrg y, x
    wmf.Record(0x020C, {e, e});  // SetWindowExt y, x
    wmf.NullPen();
    wmf.SolidBrush({30, 60, 220});
    switch (primitive) {
        case CostlyPrimitive::Polygon: {
            std::vector<std::int16_t> params = {static_cast<std::int16_t>(count)};
            for (int i = 0; i < count; ++i) {
                const auto [x, y] = StarPoint(i, count, extent, extent);
                params.push_back(x);
                params.push_back(y);
            }
            wmf.Record(0x0324, params);  // Polygon
            break;
        }
        case CostlyPrimitive::Tangled: {
            std::vector<std::int16_t> params = {static_cast<std::int16_t>(count)};
            for (int i = 0; i < count; ++i) {
                const auto [x, y] = StrewnPoint(i, extent, extent);
                params.push_back(x);
                params.push_back(y);
            }
            wmf.Record(0x0324, params);  // Polygon
            break;
        }
        case CostlyPrimitive::Settings:
            for (int i = 0; i < count; ++i)
                wmf.Record(0x0102, {static_cast<std::int16_t>(1 + i % 2)});  // SetBkMode
            break;
        case CostlyPrimitive::Text: {
            wmf.Record(0x0102, {1});     // SetBkMode transparent
            wmf.Record(0x0209, {0, 0});  // SetTextColor black
            const auto height = static_cast<std::int16_t>(std::max(1, extent / 20));
            wmf.Font("Arial", height);
            for (int done = 0, line = 0; done < count; done += 100, ++line) {
                const std::string text(static_cast<std::size_t>(std::min(100, count - done)), 'W');
                wmf.Text(text, 0, static_cast<std::int16_t>(line * height % extent));
            }
            wmf.Record(0x01F0, {wmf.fontSlot()});
            break;
        }
        case CostlyPrimitive::Fills:
            for (int i = 0; i < count; ++i)
                wmf.Record(0x041B, {e, e, 0, 0});  // Rectangle bottom, right, top, left
            break;
    }
    wmf.DropBrush();
    return wmf.Finish();
}

namespace {

std::uint32_t Crc32(const Bytes& bytes, std::size_t from) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::size_t i = from; i < bytes.size(); ++i) {
        crc ^= bytes[i];
        for (int k = 0; k < 8; ++k)
            crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

void AppendBigEndian32(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void AppendPngChunk(Bytes& png, const char* type, const Bytes& data) {
    AppendBigEndian32(png, static_cast<std::uint32_t>(data.size()));
    const std::size_t crcFrom = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    AppendBigEndian32(png, Crc32(png, crcFrom));
}

// A zlib stream of stored (uncompressed) deflate blocks.
Bytes StoredZlib(const Bytes& raw) {
    Bytes z = {0x78, 0x01};
    std::size_t at = 0;
    do {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
        z.push_back(at + n == raw.size() ? 1 : 0);
        z.push_back(static_cast<std::uint8_t>(n));
        z.push_back(static_cast<std::uint8_t>(n >> 8));
        z.push_back(static_cast<std::uint8_t>(~n));
        z.push_back(static_cast<std::uint8_t>(~n >> 8));
        z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                 raw.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
    } while (at < raw.size());
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t v : raw) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    AppendBigEndian32(z, b << 16 | a);
    return z;
}

}  // namespace

Bytes MakePngFile(int width, int height) {
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    AppendBigEndian32(header, static_cast<std::uint32_t>(width));
    AppendBigEndian32(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(),
                  {8, 2, 0, 0, 0});  // 8-bit RGB, deflate, no filter method, no interlace
    AppendPngChunk(png, "IHDR", header);
    Bytes raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // filter: none
        for (int x = 0; x < width; ++x) {
            const Rgb c = PatternColour(x, y);
            raw.insert(raw.end(), {c.red, c.green, c.blue});
        }
    }
    AppendPngChunk(png, "IDAT", StoredZlib(raw));
    AppendPngChunk(png, "IEND", {});
    return png;
}

Bytes MakeTiffFile(int width, int height) {
    constexpr std::uint16_t kShort = 3, kLong = 4;
    constexpr std::uint32_t kEntries = 10;
    const std::uint32_t ifdEnd = 8 + 2 + kEntries * 12 + 4;
    const std::uint32_t bitsOffset = ifdEnd;
    const std::uint32_t pixelOffset = bitsOffset + 6;
    const auto pixelBytes = static_cast<std::uint32_t>(width * height * 3);
    Bytes file;
    ByteAppender out(file);
    out.text("II");
    out.u16(42);
    out.u32(8);
    out.u16(kEntries);
    auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                     std::uint32_t value) {
        out.u16(tag);
        out.u16(type);
        out.u32(count);
        out.u32(value);
    };
    entry(256, kLong, 1, static_cast<std::uint32_t>(width));
    entry(257, kLong, 1, static_cast<std::uint32_t>(height));
    entry(258, kShort, 3, bitsOffset);
    entry(259, kShort, 1, 1);  // no compression
    entry(262, kShort, 1, 2);  // RGB
    entry(273, kLong, 1, pixelOffset);
    entry(277, kShort, 1, 3);
    entry(278, kLong, 1, static_cast<std::uint32_t>(height));
    entry(279, kLong, 1, pixelBytes);
    entry(284, kShort, 1, 1);  // chunky
    out.u32(0);
    out.u16(8);
    out.u16(8);
    out.u16(8);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgb c = PatternColour(x, y);
            out.u8(c.red);
            out.u8(c.green);
            out.u8(c.blue);
        }
    }
    return file;
}

Bytes MakeIcoFile(int width, int height) {
    const auto stride = static_cast<std::uint32_t>(width * 4);
    const auto maskStride = static_cast<std::uint32_t>(Stride(width, 1));
    const std::uint32_t imageSize = 40 + (stride + maskStride) * static_cast<std::uint32_t>(height);
    Bytes file;
    ByteAppender out(file);
    out.u16(0);
    out.u16(1);  // icon
    out.u16(1);  // one image
    out.u8(static_cast<std::uint8_t>(width));
    out.u8(static_cast<std::uint8_t>(height));
    out.u8(0);  // colour count
    out.u8(0);  // reserved
    out.u16(1);
    out.u16(32);
    out.u32(imageSize);
    out.u32(6 + 16);
    AppendInfoHeader(out, width, 2 * height, 32, 0, 0);
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            const Rgb c = PatternColour(x, y);
            out.u8(c.blue);
            out.u8(c.green);
            out.u8(c.red);
            out.u8(255);
        }
    }
    out.zeros(maskStride * static_cast<std::uint32_t>(height));  // AND mask: every pixel shown
    return file;
}

Bytes MakeBitmap16(int width, int height, int bitsPerPixel, bool withBitsPointer) {
    if (bitsPerPixel != 1 && bitsPerPixel != 8 && bitsPerPixel != 24 && bitsPerPixel != 32)
        throw std::invalid_argument("unsupported bit count");
    const int rowBytes = (width * bitsPerPixel + 15) / 16 * 2;
    Bytes bitmap;
    ByteAppender out(bitmap);
    out.i16(0);
    out.i16(static_cast<std::int16_t>(width));
    out.i16(static_cast<std::int16_t>(height));
    out.i16(static_cast<std::int16_t>(rowBytes));
    out.u8(1);
    out.u8(static_cast<std::uint8_t>(bitsPerPixel));
    if (withBitsPointer)
        out.u32(0x00120000);
    for (int y = 0; y < height; ++y) {
        Bytes row(static_cast<std::size_t>(rowBytes), 0);
        for (int x = 0; x < width; ++x) {
            if (bitsPerPixel == 1) {
                if ((x + y) % 2)
                    row[static_cast<std::size_t>(x / 8)] |=
                        static_cast<std::uint8_t>(0x80 >> (x % 8));
                continue;
            }
            if (bitsPerPixel == 8) {
                row[static_cast<std::size_t>(x)] = PaletteIndex(x, y, 256);
                continue;
            }
            const Rgb c = PatternColour(x, y);
            const std::size_t at = static_cast<std::size_t>(x * (bitsPerPixel / 8));
            row[at] = c.blue;
            row[at + 1] = c.green;
            row[at + 2] = c.red;
        }
        out.bytes(row);
    }
    return bitmap;
}

Bytes MakeEnhancedMetafile(int width, int height) {
    constexpr std::uint32_t kHeaderRecord = 1, kEndRecord = 14;
    constexpr std::uint32_t kHeaderSize = 88, kEndSize = 20;
    Bytes emf;
    ByteAppender out(emf);
    out.u32(kHeaderRecord);
    out.u32(kHeaderSize);
    for (std::int32_t v : {0, 0, width / 26, height / 26})
        out.i32(v);  // bounds in pixels (about 96 dpi)
    for (std::int32_t v : {0, 0, width, height})
        out.i32(v);                   // frame, 0.01 mm
    out.u32(0x464D4520);              // " EMF"
    out.u32(0x00010000);              // version
    out.u32(kHeaderSize + kEndSize);  // file size
    out.u32(2);                       // records
    out.u16(1);                       // handles
    out.u16(0);
    out.u32(0);  // description length
    out.u32(0);  // description offset
    out.u32(0);  // palette entries
    for (std::int32_t v : {1920, 1080, 508, 286})
        out.i32(v);  // reference device: pixels, millimetres
    out.u32(kEndRecord);
    out.u32(kEndSize);
    out.u32(0);
    out.u32(16);
    out.u32(kEndSize);
    return emf;
}

Bytes MakePdfFile(const std::string& text) {
    std::string content = "1 0 0 rg 10 10 80 40 re f\n0 0 1 rg 110 50 80 40 re f\n";
    if (!text.empty())
        content += "0 g BT /F1 12 Tf 10 80 Td (" + text + ") Tj ET\n";
    const std::string objects[] = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents 4 0 R "
        "/Resources << /Font << /F1 5 0 R >> >> >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    };
    std::string pdf = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < std::size(objects); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (std::size_t offset : offsets) {
        char line[24];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return Bytes(pdf.begin(), pdf.end());
}

Bytes MakeRtfFile(const std::string& text) {
    const std::string rtf =
        "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 " + text + "\\par}";
    return Bytes(rtf.begin(), rtf.end());
}

}  // namespace pictrova::fixtures
