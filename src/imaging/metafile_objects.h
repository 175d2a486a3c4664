// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The object table of a metafile as playback sees it: which records the renderer can play.
//
// A metafile names its pens, brushes, fonts, palettes and regions by their index in a table of
// as many slots as its header declares; creating an object takes the first free slot. Windows
// skips a record that names a slot out of range, creates into a full table or combines objects
// of the wrong kind, and plays the rest. The engine's metafile reader instead stops the whole
// picture and writes a complaint to the process's standard error. Walking the table here lets
// such records be left out, so every picture plays as far as it can and the renderer is silent.

#include <cstdint>
#include <vector>

#include "common/byte_reader.h"

namespace pictrova::imaging {

class MetafileObjectTable {
  public:
    explicit MetafileObjectTable(std::uint16_t slots) : kinds_(slots, Kind::Free) {}

    // True when the record (function and parameter words) can be played; records that create
    // or free objects change the table. A record refused here is to be left out.
    bool Accept(std::uint16_t function, ByteReader params);

  private:
    enum class Kind : std::uint8_t { Free, Pen, Brush, Font, Palette, Region };
    bool Create(Kind kind);
    bool Is(std::uint32_t slot, Kind kind) const {
        return slot < kinds_.size() && kinds_[slot] == kind;
    }
    static bool RegionIsWellFormed(ByteReader params);

    std::vector<Kind> kinds_;
    std::uint32_t savedStates_ = 0;
};

}  // namespace pictrova::imaging
