// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Text from a database (names, values, messages that quote them) shown on a terminal or in a
// report: its control characters are written as escapes, so a name holding ESC [2J or a window
// title sequence is shown, never obeyed. Line breaks stay when the caller keeps them (reports
// are several lines).

#include <cstdio>
#include <string>
#include <string_view>

namespace pictrova {

enum class LineBreaks { Escape, Keep };

// C0 controls and DEL as \xNN (tab, CR and LF as \t, \r, \n unless kept), and the C1 controls
// U+0080..U+009F (which terminals also obey) as \u0080..\u009F. Everything else, invalid UTF-8
// included, is passed on as it is.
inline std::string PrintableText(std::string_view text, LineBreaks breaks = LineBreaks::Escape) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool keep = breaks == LineBreaks::Keep && (c == '\n' || c == '\r');
        if (keep || (c >= 0x20 && c != 0x7F && c != 0xC2)) {
            out += static_cast<char>(c);
            continue;
        }
        if (c == 0xC2) {
            // U+0080..U+009F are C2 80..C2 9F in UTF-8.
            const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
            if (next >= 0x80 && next <= 0x9F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04X", next);
                out += escaped;
                ++i;
            } else {
                out += static_cast<char>(c);
            }
            continue;
        }
        switch (c) {
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default: {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
                out += escaped;
            }
        }
    }
    return out;
}

}  // namespace pictrova
