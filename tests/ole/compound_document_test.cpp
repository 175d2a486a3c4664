// SPDX-License-Identifier: GPL-3.0-or-later
// The compound-document module: streams found by name, whole office documents, damage.
#include "ole/compound_document.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "common/byte_reader.h"
#include "ole/compound_directory.h"

#include "byte_pattern.h"
#include "decoder_test_support.h"
#include "ole_builder/compound_writer.h"
#include "ole_builder/ole_fields.h"

namespace pictrova::ole {
namespace {

using namespace testing;
using fixtures::Bytes;
using fixtures::CompoundNode;
using fixtures::WriteCompoundDocument;

Bytes Pattern(std::size_t size) {
    return pictrova::testing::Pattern(size, 1);
}

// Runs one of the three operations on a copy and returns what it left at the front.
template <typename Entry>
Bytes Extract(Entry entry, Bytes document, std::string_view name) {
    const std::size_t n = entry(document, name);
    EXPECT_LE(n, document.size());
    document.resize(n);
    return document;
}

TEST(CompoundDocument, WriterAndReaderAgreeOnStreamsOfEverySize) {
    // Below and above the 4096-byte mini-stream cutoff, and across sector boundaries.
    for (std::size_t size : {1, 63, 64, 4095, 4096, 4097, 70000}) {
        const Bytes data = Pattern(size);
        const Bytes doc = WriteCompoundDocument(
            CompoundNode::Storage("Root Entry", {CompoundNode::Stream("CONTENTS", data)}));
        EXPECT_EQ(Extract(GetContentsStream, doc, "CONTENTS"), data) << size;
    }
}

TEST(CompoundDocument, ContentsStreamIsTakenFromTheRootOnly) {
    const Bytes doc = WriteCompoundDocument(CompoundNode::Storage(
        "Root Entry",
        {CompoundNode::Storage("Child", {CompoundNode::Stream("CONTENTS", Pattern(10))})}));
    EXPECT_TRUE(Extract(GetContentsStream, doc, "CONTENTS").empty());
}

TEST(CompoundDocument, StorageOfTheWantedNameIsNotAStream) {
    const Bytes doc = WriteCompoundDocument(CompoundNode::Storage(
        "Root Entry",
        {CompoundNode::Storage("CONTENTS", {CompoundNode::Stream("x", Pattern(10))})}));
    EXPECT_TRUE(Extract(GetContentsStream, doc, "CONTENTS").empty());
}

TEST(CompoundDocument, NativeStreamIsFoundInTheRootOrAChildStorage) {
    const Bytes inRoot = WriteCompoundDocument(CompoundNode::Storage(
        "Root Entry", {CompoundNode::Stream("\x01Ole10Native", Pattern(30))}));
    EXPECT_EQ(Extract(GetContentsStreamChild, inRoot, "Ole10Native"), Pattern(30));

    const Bytes inSecondChild = WriteCompoundDocument(CompoundNode::Storage(
        "Root Entry",
        {CompoundNode::Storage("A", {CompoundNode::Stream("other", Pattern(5))}),
         CompoundNode::Storage("B", {CompoundNode::Stream("\x01Ole10Native", Pattern(40))})}));
    EXPECT_EQ(Extract(GetContentsStreamChild, inSecondChild, "Ole10Native"), Pattern(40));

    // Two levels down is not looked at.
    const Bytes deep = WriteCompoundDocument(CompoundNode::Storage(
        "Root Entry", {CompoundNode::Storage(
                          "A", {CompoundNode::Storage(
                                   "B", {CompoundNode::Stream("Ole10Native", Pattern(5))})})}));
    EXPECT_TRUE(Extract(GetContentsStreamChild, deep, "Ole10Native").empty());
}

TEST(CompoundDocument, OfficeDocumentComesOutWholeWithoutTrailingBytes) {
    const Bytes doc = fixtures::MakeOfficeDocument("WordDocument", Pattern(9000));
    Bytes withTrailer = doc;
    withTrailer.insert(withTrailer.end(), 700, 0x5A);
    EXPECT_EQ(Extract(ExtractOfficeDocument, withTrailer, "WordDocument"), doc);
    EXPECT_TRUE(Extract(ExtractOfficeDocument, withTrailer, "Workbook").empty());
}

TEST(CompoundDocument, GarbageAndEmptyInputFindNothing) {
    for (const Bytes& input : {Bytes{}, Bytes(7, 0), Pattern(5000)}) {
        EXPECT_TRUE(Extract(GetContentsStream, input, "CONTENTS").empty());
        EXPECT_TRUE(Extract(GetContentsStreamChild, input, "Ole10Native").empty());
        EXPECT_TRUE(Extract(ExtractOfficeDocument, input, "WordDocument").empty());
    }
}

// A directory entry claiming a stream larger than the whole document is damage: nothing is
// allocated for it and nothing is found.
TEST(CompoundDocument, StreamSizeBeyondTheDocumentFindsNothing) {
    Bytes doc = WriteCompoundDocument(
        CompoundNode::Storage("Root Entry", {CompoundNode::Stream("CONTENTS", Pattern(5000))}));
    const Bytes name = {'C', 0, 'O', 0, 'N', 0, 'T', 0, 'E', 0, 'N', 0, 'T', 0, 'S', 0};
    const auto entry = std::search(doc.begin(), doc.end(), name.begin(), name.end());
    ASSERT_NE(entry, doc.end());
    constexpr std::size_t kStreamSizeInEntry = 120;
    const std::size_t at = static_cast<std::size_t>(entry - doc.begin()) + kStreamSizeInEntry;
    ASSERT_EQ(Get32(doc, at), 5000u);
    for (std::int64_t size :
         {std::int64_t{0x7FFFFFF0}, static_cast<std::int64_t>(doc.size()) + 1}) {
        Put32(doc, at, size);
        EXPECT_TRUE(Extract(GetContentsStream, doc, "CONTENTS").empty()) << size;
    }
}

// A compound document written byte by byte, for directories libgsf's own writer cannot make:
// 512-byte sectors laid out as [directory][4096-byte CONTENTS stream][allocation table]. Entry 0 is
// the root, entry 1 the CONTENTS stream (its child), entries 2.. come from `extra`, which returns
// the type (1 storage, 2 stream) and the left, right and child links of entry `id`; CONTENTS's
// right sibling is entry 2.
struct RawEntry {
    std::uint8_t type;
    std::uint32_t left, right, child;
};
constexpr std::uint32_t kNone = 0xFFFFFFFF;
constexpr std::uint32_t kEnd = 0xFFFFFFFE;

Bytes RawDocument(std::uint32_t extraEntries, const std::function<RawEntry(std::uint32_t)>& extra) {
    const std::uint32_t entries = extraEntries + 2;
    const std::uint32_t dirSectors = (entries + 3) / 4;
    const std::uint32_t dataSectors = 8;
    std::uint32_t fatSectors = 1;
    while ((dirSectors + dataSectors + fatSectors + 127) / 128 > fatSectors)
        ++fatSectors;
    const std::uint32_t total = dirSectors + dataSectors + fatSectors;
    Bytes doc((std::size_t{total} + 1) * 512, 0);
    ByteWriter w(doc);
    w.bytes(std::array<std::uint8_t, 8>{0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1});
    w.seek(0x18);
    w.u16le(0x3E);    // minor version
    w.u16le(3);       // major version: 512-byte sectors
    w.u16le(0xFFFE);  // byte order
    w.u16le(9);       // sector shift
    w.u16le(6);       // mini sector shift
    w.seek(0x2C);
    w.u32le(fatSectors);
    w.u32le(0);  // directory starts in sector 0
    w.seek(0x38);
    w.u32le(4096);  // mini-stream cutoff
    w.u32le(kEnd);  // no mini FAT
    w.u32le(0);
    w.u32le(kEnd);  // no DIFAT
    w.u32le(0);
    for (std::uint32_t i = 0; i < 109; ++i)
        w.u32le(i < fatSectors ? dirSectors + dataSectors + i : kNone);

    auto entry = [&](std::uint32_t id, std::string_view name, RawEntry e, std::uint32_t start,
                     std::uint32_t size) {
        const std::size_t at = 512 + std::size_t{id} * 128;
        w.seek(at);
        for (char c : name)
            w.u16le(static_cast<std::uint8_t>(c));
        w.seek(at + 0x40);
        w.u16le(static_cast<std::uint16_t>((name.size() + 1) * 2));
        w.u8(e.type);
        w.u8(1);  // black
        w.u32le(e.left);
        w.u32le(e.right);
        w.u32le(e.child);
        w.seek(at + 0x74);
        w.u32le(start);
        w.u32le(size);
    };
    entry(0, "Root Entry", {5, kNone, kNone, 1}, kEnd, 0);
    entry(1, "CONTENTS", {2, kNone, extraEntries ? 2u : kNone, kNone}, dirSectors, 4096);
    for (std::uint32_t id = 2; id < entries; ++id)
        entry(id, "e" + std::to_string(id), extra(id), kEnd, 0);
    w.seek(512 + std::size_t{dirSectors} * 512);
    w.bytes(Pattern(4096));

    w.seek(512 + std::size_t{dirSectors + dataSectors} * 512);
    for (std::uint32_t s = 0; s < fatSectors * 128; ++s) {
        if (s < dirSectors)
            w.u32le(s + 1 == dirSectors ? kEnd : s + 1);
        else if (s < dirSectors + dataSectors)
            w.u32le(s + 1 == dirSectors + dataSectors ? kEnd : s + 1);
        else if (s < total)
            w.u32le(0xFFFFFFFD);  // an allocation-table sector
        else
            w.u32le(kNone);
    }
    return doc;
}

// libgsf walks the directory by recursion and crashed on 40,000 storages nested one in the next,
// and on a chain of 40,000 sibling streams. Such directories are refused before libgsf reads them;
// one at the limits is read. The deepest chain entry sits at depth chain + 1 (root, CONTENTS,
// then the chain).
TEST(CompoundDocument, DirectoryTooDeepOrTooLargeIsRefusedBeforeLibgsfWalksIt) {
    const auto nested = [](std::uint32_t last) {
        return [last](std::uint32_t id) {
            return RawEntry{1, kNone, kNone, id < last ? id + 1 : kNone};
        };
    };
    const auto siblings = [](std::uint32_t last) {
        return [last](std::uint32_t id) {
            return RawEntry{2, kNone, id < last ? id + 1 : kNone, kNone};
        };
    };
    // Siblings as a balanced tree (entry k's siblings are 2k-1 and 2k, counted from entry 2):
    // shallow, so only the entry count stops it.
    const auto balanced = [](std::uint32_t last) {
        return [last](std::uint32_t id) {
            const std::uint32_t left = 2 * id - 1, right = 2 * id;
            return RawEntry{2, left <= last ? left : kNone, right <= last ? right : kNone, kNone};
        };
    };
    const auto loop = [](std::uint32_t) { return RawEntry{1, kNone, kNone, 1}; };
    const std::uint32_t depth = kMaxDirectoryDepth;
    const std::uint32_t count = kMaxDirectoryEntries;
    struct Case {
        const char* what;
        std::uint32_t chain;
        std::function<RawEntry(std::uint32_t)> links;
        bool read;
    } cases[] = {
        {"nested storages at the depth limit", depth - 1, nested(depth), true},
        {"nested storages one past it", depth, nested(depth + 1), false},
        {"40,000 nested storages", 40'000, nested(40'001), false},
        {"sibling chain at the depth limit", depth - 1, siblings(depth), true},
        {"40,000 chained siblings", 40'000, siblings(40'001), false},
        {"balanced siblings at the entry limit", count - 2, balanced(count - 1), true},
        {"balanced siblings one past it", count - 1, balanced(count), false},
        {"a storage that holds its parent", 1, loop, false},
    };
    for (const Case& c : cases) {
        const Bytes doc = RawDocument(c.chain, c.links);
        EXPECT_EQ(DirectoryIsWalkable(doc), c.read) << c.what;
        EXPECT_EQ(Extract(GetContentsStream, doc, "CONTENTS"), c.read ? Pattern(4096) : Bytes{})
            << c.what;
        EXPECT_EQ(Extract(GetContentsStreamChild, doc, "Ole10Native"), Bytes{}) << c.what;
    }
}

}  // namespace
}  // namespace pictrova::ole
