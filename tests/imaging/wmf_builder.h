// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Builds small standard Windows metafiles record by record for the rendering tests.

#include <cstdint>
#include <string>
#include <vector>

namespace pictrova::testing {

class WmfBuilder {
  public:
    WmfBuilder& SetWindowOrg(std::int16_t x, std::int16_t y) { return Record(0x020B, {y, x}); }
    WmfBuilder& SetWindowExt(std::int16_t x, std::int16_t y) { return Record(0x020C, {y, x}); }
    WmfBuilder& SetMapMode(std::int16_t mode) { return Record(0x0103, {mode}); }
    WmfBuilder& SetBkMode(std::int16_t mode) { return Record(0x0102, {mode}); }

    // Solid brush of an RGB colour; becomes object `objects - 1` (the table fills from 0).
    WmfBuilder& CreateSolidBrush(std::uint32_t rgb) {
        ++objects_;
        return Record(0x02FC, {0, Lo(rgb), Hi(rgb), 0});
    }
    // A pen of style 5 draws nothing: shapes get only their fill. Width 0 is one device pixel.
    WmfBuilder& CreatePen(std::int16_t style, std::uint32_t rgb, std::int16_t width = 1) {
        ++objects_;
        return Record(0x02FA, {style, width, 0, Lo(rgb), Hi(rgb)});
    }
    WmfBuilder& CreateFont(std::int16_t height, const std::string& face) {
        ++objects_;
        std::vector<std::int16_t> p = {height, 0, 0, 0, 400, 0, 0, 0, 0};
        std::string name = face;
        name.resize(32, '\0');
        for (std::size_t i = 0; i < 32; i += 2) {
            p.push_back(static_cast<std::int16_t>(static_cast<std::uint8_t>(name[i]) |
                                                  static_cast<std::uint8_t>(name[i + 1]) << 8));
        }
        return Record(0x02FB, p);
    }
    WmfBuilder& SelectObject(std::int16_t index) { return Record(0x012D, {index}); }
    WmfBuilder& SetTextColor(std::uint32_t rgb) { return Record(0x0209, {Lo(rgb), Hi(rgb)}); }
    WmfBuilder& Rectangle(std::int16_t l, std::int16_t t, std::int16_t r, std::int16_t b) {
        return Record(0x041B, {b, r, t, l});
    }
    WmfBuilder& Ellipse(std::int16_t l, std::int16_t t, std::int16_t r, std::int16_t b) {
        return Record(0x0418, {b, r, t, l});
    }
    WmfBuilder& TextOut(std::int16_t x, std::int16_t y, const std::string& text) {
        std::vector<std::int16_t> p = {static_cast<std::int16_t>(text.size())};
        std::string padded = text;
        if (padded.size() % 2)
            padded.push_back('\0');
        for (std::size_t i = 0; i < padded.size(); i += 2) {
            p.push_back(static_cast<std::int16_t>(static_cast<std::uint8_t>(padded[i]) |
                                                  static_cast<std::uint8_t>(padded[i + 1]) << 8));
        }
        p.push_back(y);
        p.push_back(x);
        return Record(0x0521, p);
    }

    // Any record, parameters as given (for damaged records).
    WmfBuilder& Raw(std::uint16_t function, const std::vector<std::int16_t>& params) {
        return Record(function, params);
    }

    // The metafile: header, the records so far and, unless `withEnd` is false, the end record.
    std::vector<std::uint8_t> Build(bool withEnd = true) const {
        std::vector<std::uint8_t> records = records_;
        if (withEnd)
            Put32(records, 3), Put16(records, 0);
        std::vector<std::uint8_t> out;
        Put16(out, 1);
        Put16(out, 9);
        Put16(out, 0x0300);
        Put32(out, static_cast<std::uint32_t>((18 + records.size()) / 2));
        Put16(out, objects_);
        Put32(out, largest_);
        Put16(out, 0);
        out.insert(out.end(), records.begin(), records.end());
        return out;
    }

    // The standard test picture: window 0,0 - 1000 x 1000 logical units, red background
    // rectangle over the left half, blue ellipse in the lower right quarter, rest unpainted.
    static WmfBuilder TwoShapes() {
        WmfBuilder b;
        b.SetMapMode(8).SetWindowOrg(0, 0).SetWindowExt(1000, 1000);
        b.CreatePen(5, 0).SelectObject(0);
        b.CreateSolidBrush(0x0000FF).SelectObject(1).Rectangle(0, 0, 500, 1000);
        b.CreateSolidBrush(0xFF0000).SelectObject(2).Ellipse(550, 550, 950, 950);
        return b;
    }

  private:
    static std::int16_t Lo(std::uint32_t v) { return static_cast<std::int16_t>(v & 0xFFFF); }
    static std::int16_t Hi(std::uint32_t v) { return static_cast<std::int16_t>(v >> 16); }
    static void Put16(std::vector<std::uint8_t>& v, std::uint32_t x) {
        v.push_back(static_cast<std::uint8_t>(x));
        v.push_back(static_cast<std::uint8_t>(x >> 8));
    }
    static void Put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
        Put16(v, x & 0xFFFF);
        Put16(v, x >> 16);
    }
    WmfBuilder& Record(std::uint16_t function, const std::vector<std::int16_t>& params) {
        const auto words = static_cast<std::uint32_t>(3 + params.size());
        Put32(records_, words);
        Put16(records_, function);
        for (std::int16_t p : params)
            Put16(records_, static_cast<std::uint16_t>(p));
        if (words > largest_)
            largest_ = words;
        return *this;
    }

    std::vector<std::uint8_t> records_;
    std::uint16_t objects_ = 0;
    std::uint32_t largest_ = 3;
};

}  // namespace pictrova::testing
