// SPDX-License-Identifier: GPL-3.0-or-later
#include "jet_writer/jet_text.h"

#include <algorithm>

#include "common/error.h"

namespace pictrova::jet {

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        auto lead = static_cast<unsigned char>(utf8[i]);
        int extra = lead < 0x80           ? 0
                    : (lead >> 5) == 0x6  ? 1
                    : (lead >> 4) == 0xE  ? 2
                    : (lead >> 3) == 0x1E ? 3
                                          : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= utf8.size())
            throw Error("text is not valid UTF-8");
        char32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            auto next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80)
                throw Error("text is not valid UTF-8");
            c = c << 6 | (next & 0x3F);
        }
        i += static_cast<std::size_t>(extra) + 1;
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            throw Error("text is not valid UTF-8");
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

std::vector<std::uint8_t> Ucs2Bytes(std::u16string_view text) {
    std::vector<std::uint8_t> out;
    out.reserve(text.size() * 2);
    for (char16_t unit : text) {
        out.push_back(static_cast<std::uint8_t>(unit));
        out.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return out;
}

std::vector<std::uint8_t> EncodeStoredText(std::string_view utf8, bool mayCompress) {
    std::u16string text = Utf8ToUtf16(utf8);
    bool oneByte =
        std::all_of(text.begin(), text.end(), [](char16_t u) { return u >= 0x01 && u <= 0xFF; });
    if (mayCompress && oneByte && text.size() > 2) {
        std::vector<std::uint8_t> out{0xFF, 0xFE};
        for (char16_t unit : text)
            out.push_back(static_cast<std::uint8_t>(unit));
        return out;
    }
    if (!text.empty() && text.front() == u'\xFEFF')
        throw Error("a text value that begins with U+FEFF would be read back as compressed text");
    return Ucs2Bytes(text);
}

}  // namespace pictrova::jet
