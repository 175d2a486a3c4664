// SPDX-License-Identifier: GPL-3.0-or-later
// The compound-document module: streams found by name, whole office documents, damage.
#include "ole/compound_document.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "decoder_test_support.h"
#include "ole_builder/ole_fields.h"

namespace pictrova::ole {
namespace {

using namespace testing;
using fixtures::Bytes;

Bytes Pattern(std::size_t size) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(i % 253 + 1);
    return b;
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
        const Bytes doc = WriteCompoundDocument(CompoundNode::Storage("Root Entry", {CompoundNode::Stream("CONTENTS", data)}));
        EXPECT_EQ(Extract(GetContentsStream, doc, "CONTENTS"), data) << size;
    }
}

TEST(CompoundDocument, ContentsStreamIsTakenFromTheRootOnly) {
    const Bytes doc = WriteCompoundDocument(CompoundNode::Storage(
        "Root Entry", {CompoundNode::Storage("Child", {CompoundNode::Stream("CONTENTS", Pattern(10))})}));
    EXPECT_TRUE(Extract(GetContentsStream, doc, "CONTENTS").empty());
}

TEST(CompoundDocument, StorageOfTheWantedNameIsNotAStream) {
    const Bytes doc = WriteCompoundDocument(
        CompoundNode::Storage("Root Entry", {CompoundNode::Storage("CONTENTS", {CompoundNode::Stream("x", Pattern(10))})}));
    EXPECT_TRUE(Extract(GetContentsStream, doc, "CONTENTS").empty());
}

TEST(CompoundDocument, NativeStreamIsFoundInTheRootOrAChildStorage) {
    const Bytes inRoot = WriteCompoundDocument(CompoundNode::Storage("Root Entry", {CompoundNode::Stream("\x01Ole10Native", Pattern(30))}));
    EXPECT_EQ(Extract(GetContentsStreamChild, inRoot, "Ole10Native"), Pattern(30));

    const Bytes inSecondChild = WriteCompoundDocument(CompoundNode::Storage(
        "Root Entry", {CompoundNode::Storage("A", {CompoundNode::Stream("other", Pattern(5))}),
                       CompoundNode::Storage("B", {CompoundNode::Stream("\x01Ole10Native", Pattern(40))})}));
    EXPECT_EQ(Extract(GetContentsStreamChild, inSecondChild, "Ole10Native"), Pattern(40));

    // Two levels down is not looked at.
    const Bytes deep = WriteCompoundDocument(CompoundNode::Storage(
        "Root Entry", {CompoundNode::Storage("A", {CompoundNode::Storage("B", {CompoundNode::Stream("Ole10Native", Pattern(5))})})}));
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
    Bytes doc = WriteCompoundDocument(CompoundNode::Storage("Root Entry", {CompoundNode::Stream("CONTENTS", Pattern(5000))}));
    const Bytes name = {'C', 0, 'O', 0, 'N', 0, 'T', 0, 'E', 0, 'N', 0, 'T', 0, 'S', 0};
    const auto entry = std::search(doc.begin(), doc.end(), name.begin(), name.end());
    ASSERT_NE(entry, doc.end());
    constexpr std::size_t kStreamSizeInEntry = 120;
    const std::size_t at = static_cast<std::size_t>(entry - doc.begin()) + kStreamSizeInEntry;
    ASSERT_EQ(Get32(doc, at), 5000u);
    for (std::int64_t size : {std::int64_t{0x7FFFFFF0}, static_cast<std::int64_t>(doc.size()) + 1}) {
        Put32(doc, at, size);
        EXPECT_TRUE(Extract(GetContentsStream, doc, "CONTENTS").empty()) << size;
    }
}

}  // namespace
}  // namespace pictrova::ole
