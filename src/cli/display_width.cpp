// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/display_width.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <iterator>

namespace pictrova::cli {
namespace {

struct CodePointRange {
    char32_t first, last;
};

// Marks drawn over the character before them.
constexpr CodePointRange kZeroWidth[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A}, {0x064B, 0x065F},
    {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x200B, 0x200D},
    {0x20D0, 0x20FF}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F},
};

// East Asian wide and fullwidth characters, and the emoji blocks terminals draw two wide.
constexpr CodePointRange kDoubleWidth[] = {
    {0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},
    {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},
    {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F},
    {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

template <std::size_t N>
bool InRanges(const CodePointRange (&ranges)[N], char32_t c) {
    for (const CodePointRange& r : ranges)
        if (c >= r.first && c <= r.last)
            return true;
    return false;
}

// The code point starting at `at` and its length in bytes; a byte that starts no well-formed
// sequence counts as one character of its own.
char32_t Next(std::string_view text, std::size_t at, std::size_t& length) {
    const auto lead = static_cast<unsigned char>(text[at]);
    length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (length == 1 || at + length > text.size())
        return length = 1, lead;
    char32_t c = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto part = static_cast<unsigned char>(text[at + i]);
        if ((part & 0xC0) != 0x80)
            return length = 1, lead;
        c = (c << 6) | (part & 0x3F);
    }
    return c;
}

std::size_t Columns(char32_t c) {
    if (InRanges(kZeroWidth, c))
        return 0;
    return InRanges(kDoubleWidth, c) ? 2 : 1;
}

}  // namespace

std::size_t DisplayWidth(std::string_view text) {
    std::size_t width = 0;
    for (std::size_t at = 0, length = 0; at < text.size(); at += length)
        width += Columns(Next(text, at, length));
    return width;
}

std::string FitToWidth(std::string_view text, std::size_t columns) {
    std::size_t width = 0, at = 0;
    for (std::size_t length = 0; at < text.size(); at += length) {
        const std::size_t next = Columns(Next(text, at, length));
        if (width + next > columns)
            break;
        width += next;
    }
    return std::string(text.substr(0, at));
}

std::size_t TerminalColumns() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    if (const char* columns = std::getenv("COLUMNS")) {
        char* end = nullptr;
        const long value = std::strtol(columns, &end, 10);
        if (end != columns && *end == '\0' && value > 0 && value < 10000)
            return static_cast<std::size_t>(value);
    }
    return 80;
}

}  // namespace pictrova::cli
