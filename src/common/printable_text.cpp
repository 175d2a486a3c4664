// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/printable_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>

namespace pictrova {

namespace {

// Characters that reorder the text around them on a terminal: a name holding U+202E shows its
// end reversed ("photo\u202Egnp.exe" reads as "photoexe.png").
constexpr std::array<char32_t, 12> kBidirectionalControls{
    0x061C, 0x200E, 0x200F, 0x202A, 0x202B, 0x202C, 0x202D, 0x202E, 0x2066, 0x2067, 0x2068, 0x2069,
};

// The length of the well-formed UTF-8 sequence at `at` and its code point; 0 when the byte there
// starts none.
std::size_t SequenceAt(std::string_view text, std::size_t at, char32_t& codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (text.size() - at < length || byte(1) < low || byte(1) > high)
        return 0;
    char32_t value = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (byte(i) & 0x3F);
    }
    codePoint = value;
    return length;
}

void AppendEscape(std::string& out, const char* format, unsigned value) {
    char escaped[12];
    std::snprintf(escaped, sizeof escaped, format, value);
    out += escaped;
}

bool Obeyed(char32_t c) {
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) ||
           std::find(kBidirectionalControls.begin(), kBidirectionalControls.end(), c) !=
               kBidirectionalControls.end();
}

}  // namespace

std::string DatabaseText(std::string_view bytes, TextUse use) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t c = 0;
        const std::size_t length = SequenceAt(bytes, i, c);
        if (length == 0) {
            AppendEscape(out, "\\x%02X", static_cast<unsigned char>(bytes[i]));
            ++i;
            continue;
        }
        const bool keptBreak = use == TextUse::TerminalLines && (c == '\n' || c == '\r');
        const bool keptInDocument = use == TextUse::JsonDocument && c < 0x20;
        if (use == TextUse::Json || keptBreak || keptInDocument || !Obeyed(c)) {
            out.append(bytes.substr(i, length));
        } else if (use == TextUse::JsonDocument) {
            AppendEscape(out, "\\u%04x", static_cast<unsigned>(c));
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x80) {
            AppendEscape(out, "\\x%02X", static_cast<unsigned>(c));
        } else {
            AppendEscape(out, "\\u%04X", static_cast<unsigned>(c));
        }
        i += length;
    }
    return out;
}

}  // namespace pictrova
