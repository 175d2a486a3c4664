// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/recordset.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "common/checked_math.h"
#include "common/error.h"
#include "common/error_codes.h"
#include "database/libmdb_capture.h"
#include "database/recordset_state.h"

namespace pictrova::database {

const std::vector<std::uint8_t>& FieldValue::bytes() const {
    if (IsNull())
        Throw(ErrorCode::InvalidUseOfNull);
    if (!IsBytes())
        Throw(ErrorCode::TypeMismatch);
    return std::get<std::vector<std::uint8_t>>(value_);
}

std::vector<std::uint8_t> FieldValue::TakeBytes() {
    bytes();
    return std::move(std::get<std::vector<std::uint8_t>>(value_));
}

const std::string& FieldValue::text() const {
    if (IsNull())
        Throw(ErrorCode::InvalidUseOfNull);
    if (!IsText())
        Throw(ErrorCode::TypeMismatch);
    return std::get<std::string>(value_);
}

namespace {

FieldState& FieldAt(const std::shared_ptr<RecordsetState>& state, std::size_t index) {
    if (!state || !state->open)
        Throw(ErrorCode::ObjectClosed);
    return state->fields.at(index);
}

std::int64_t StorageSize(const FieldState& field) {
    switch (field.adoType) {
        case kAdBoolean:
            return 2;
        default:
            return field.column->col_size;
    }
}

LongValueReader StartLongValue(RecordsetState& state, FieldState& field) {
    return LongValueReader(state.handle.get(), field.column, field.buffer, field.longValueHeader,
                           field.column->cur_value_len, state.imageBytes, field.name,
                           &state.recordMessages);
}

// libmdb leaves a value's length in the row at 0 for Null. The bound text cannot tell: binary
// text stops at its first zero byte, and an empty Memo has text of length 0 but a header in
// the row. (An empty Text value has no bytes in the row and reads as Null.)
bool IsNull(const FieldState& field) {
    return field.adoType != kAdBoolean && (!field.bound || field.column->cur_value_len == 0);
}

std::string_view BoundText(const FieldState& field) {
    auto length = std::min<std::size_t>(static_cast<std::size_t>(std::max(field.boundLength, 0)),
                                        field.buffer.size());
    return {reinterpret_cast<const char*>(field.buffer.data()), length};
}

}  // namespace

const std::string& Field::Name() const {
    return FieldAt(state_, index_).name;
}

int Field::Type() const {
    return FieldAt(state_, index_).adoType;
}

std::int64_t Field::ActualSize() const {
    FieldState& field = FieldAt(state_, index_);
    state_->CheckCurrentRecord();
    if (IsNull(field))
        return 0;
    switch (field.adoType) {
        case kAdLongVarBinary:
            return static_cast<std::int64_t>(StartLongValue(*state_, field).DeclaredSize());
        case kAdBinary:
        case kAdVarBinary:
            return static_cast<std::int64_t>(field.binaryValue.size());
        case kAdVarWChar:
        case kAdWChar:
        case kAdLongVarWChar:
            return static_cast<std::int64_t>(BoundText(field).size());
        default:
            return StorageSize(field);
    }
}

FieldValue Field::Value() const {
    FieldState& field = FieldAt(state_, index_);
    state_->CheckCurrentRecord();
    field.chunkReader.reset();
    field.chunkOffset = 0;
    if (field.adoType == kAdBoolean)
        return FieldValue(std::string(field.column->cur_value_len == 0 ? "True" : "False"));
    if (IsNull(field))
        return FieldValue();
    switch (field.adoType) {
        case kAdLongVarBinary: {
            LongValueReader reader = StartLongValue(*state_, field);
            std::size_t size = EnforcePlausibleSize(reader.DeclaredSize(), state_->imageBytes,
                                                    "long binary value");
            std::vector<std::uint8_t> bytes;
            bytes.reserve(size);
            reader.AppendTo(bytes, size);
            return FieldValue(std::move(bytes));
        }
        case kAdBinary:
        case kAdVarBinary:
            return FieldValue(field.binaryValue);
        case kAdGUID:
            return FieldValue("{" + std::string(BoundText(field)) + "}");
        default:
            return FieldValue(std::string(BoundText(field)));
    }
}

std::vector<std::uint8_t> Field::GetChunk(std::int64_t count) {
    if (count < 0)
        throw Error(
            "Arguments are of the wrong type, are out of acceptable range, or are in conflict "
            "with one another.",
            3001);
    FieldState& field = FieldAt(state_, index_);
    state_->CheckCurrentRecord();
    // Never more than the value still holds, whatever count asks for.
    std::uint64_t left = 0;
    if (!IsNull(field)) {
        if (field.adoType == kAdLongVarBinary) {
            if (!field.chunkReader)
                field.chunkReader.emplace(StartLongValue(*state_, field));
            left = field.chunkReader->DeclaredSize() - field.chunkReader->Served();
            left = std::min<std::uint64_t>(left, state_->imageBytes);
        } else {
            left = static_cast<std::uint64_t>(std::max<std::int64_t>(ActualSize(), 0));
            left -= std::min(left, field.chunkOffset);
        }
    }
    std::vector<std::uint8_t> chunk(
        static_cast<std::size_t>(std::min(static_cast<std::uint64_t>(count), left)));
    chunk.resize(ReadChunk(chunk));
    return chunk;
}

std::size_t Field::ReadChunk(std::span<std::uint8_t> out) {
    FieldState& field = FieldAt(state_, index_);
    state_->CheckCurrentRecord();
    if (IsNull(field) || out.empty())
        return 0;
    std::span<const std::uint8_t> source;
    switch (field.adoType) {
        case kAdLongVarBinary:
            if (!field.chunkReader)
                field.chunkReader.emplace(StartLongValue(*state_, field));
            return field.chunkReader->Read(out);
        case kAdBinary:
        case kAdVarBinary:
            source = field.binaryValue;
            break;
        case kAdLongVarWChar: {
            std::string_view text = BoundText(field);
            source = {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
            break;
        }
        default:
            Throw(ErrorCode::IllegalOperation);
    }
    std::size_t offset =
        static_cast<std::size_t>(std::min<std::uint64_t>(field.chunkOffset, source.size()));
    std::size_t take = std::min(out.size(), source.size() - offset);
    std::copy_n(source.begin() + static_cast<std::ptrdiff_t>(offset), take, out.begin());
    field.chunkOffset += take;
    return take;
}

bool Field::IsAttachment() const {
    return FieldAt(state_, index_).attachment.has_value();
}

namespace {

// The current record's key into the field's hidden table, and that table (read on first use);
// no key when the record has none.
std::optional<std::int32_t> AttachmentKey(RecordsetState& state, FieldState& field) {
    state.CheckCurrentRecord();
    if (!field.attachment || IsNull(field))
        return std::nullopt;
    std::string_view text = BoundText(field);
    std::int32_t key = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), key);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    if (!field.attachmentTable)
        field.attachmentTable = std::make_unique<AttachmentTable>(
            state.handle.get(), state.image, state.imageBytes, *field.attachment, field.name);
    return key;
}

}  // namespace

// The hidden table's libmdb calls (its opening, its scan, its rows and values) speak for the
// current record, as its own row fetch does.
std::vector<AttachedFile> Field::Attachments() const {
    FieldState& field = FieldAt(state_, index_);
    LibmdbCapture capture(state_->recordMessages, LibmdbCapture::MessageSink::Hold);
    std::optional<std::int32_t> key = AttachmentKey(*state_, field);
    std::vector<AttachedFile> files;
    if (!key)
        return files;
    std::size_t count = field.attachmentTable->CountOf(*key);
    for (std::size_t i = 0; i < count; ++i)
        files.push_back(field.attachmentTable->Read(*key, i, false));
    return files;
}

std::vector<std::uint8_t> Field::AttachmentBytes(std::size_t index) const {
    FieldState& field = FieldAt(state_, index_);
    LibmdbCapture capture(state_->recordMessages, LibmdbCapture::MessageSink::Hold);
    std::optional<std::int32_t> key = AttachmentKey(*state_, field);
    if (!key || index >= field.attachmentTable->CountOf(*key))
        Throw(ErrorCode::ItemNotFound);
    return field.attachmentTable->Read(*key, index, true, &state_->recordMessages).bytes;
}

}  // namespace pictrova::database
