// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The bytes of a compound document as its header and allocation table describe them, read with
// the bounded reader before libgsf is given the document. Two questions are answered here: where
// the document's sectors end, and whether its directory is one libgsf can walk safely. libgsf
// walks the directory tree by recursion (left sibling, right sibling, child storage), so a
// directory nested or chained tens of thousands of entries deep exhausts the stack.
//
// Header layout (512 bytes; offsets used here):
//   0x00  8  signature D0 CF 11 E0 A1 B1 1A E1
//   0x1E  2  sector shift (9: 512-byte sectors, 12: 4096-byte sectors)
//   0x2C  4  number of allocation-table (FAT) sectors
//   0x30  4  first sector of the directory chain
//   0x44  4  first sector of the DIFAT chain (FAT sector numbers beyond the header's 109)
//   0x4C 436 the header's 109 FAT sector numbers
// Directory entry (128 bytes; offsets used here):
//   0x44  4  left sibling, 0x48 4 right sibling, 0x4C 4 child (0xFFFFFFFF: none)

#include <cstddef>
#include <cstdint>
#include <span>

namespace pictrova::ole {

// Entries and tree depth a directory may have before libgsf is allowed to read it. Office's own
// writer keeps the entries of a storage in a red-black tree (depth at most 2 log2 n) and nests
// storages a handful of levels deep (an embedded object's "ObjectPool" sits two or three levels
// down), so its documents stay below depth 40 and a few hundred entries. Writers that chain the
// entries of a storage as a list (libgsf, our fixture writer) reach one level per entry, so the
// depth limit also admits such a storage of a thousand entries. libgsf's recursion ran 20,000
// levels deep on the main thread before it crashed at 40,000; 1,024 levels leave a wide margin on
// smaller thread stacks and under the address sanitizer. libgsf's cost grows with the square of a
// storage's entries (measured on siblings in a balanced tree: 0.3 s for 4,096 entries, 12 s for
// 16,384), so the entry limit keeps one hostile document to a fraction of a second.
inline constexpr std::size_t kMaxDirectoryEntries = 4'096;
inline constexpr std::size_t kMaxDirectoryDepth = 1'024;

// The length of the compound document at the start of `document`: the end of its last sector in
// use according to its allocation table. Falls back to the whole span when the table cannot be
// walked.
std::size_t CompoundDocumentExtent(std::span<const std::uint8_t> document);

// True when the directory reachable from the root entry holds at most kMaxDirectoryEntries
// entries, no path from the root passes kMaxDirectoryDepth links, and no entry is reached twice.
// False as well when the header or the directory chain cannot be read at all.
bool DirectoryIsWalkable(std::span<const std::uint8_t> document);

}  // namespace pictrova::ole
