// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/recordset.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "common/checked_math.h"
#include "common/error.h"
#include "database/connection.h"
#include "database/connection_impl.h"
#include "database/object_names.h"
#include "database/recordset_state.h"

namespace pictrova::database {
namespace {

constexpr int kSyntaxErrorInFrom = 3131;
constexpr int kTableNotFound = 3078;

[[noreturn]] void ThrowNoCurrentRecord() {
    throw Error(
        "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
        "requires a current record.",
        kAdErrNoCurrentRecord);
}

[[noreturn]] void ThrowItemNotFound() {
    throw Error(
        "Item cannot be found in the collection corresponding to the requested name or ordinal.",
        kAdErrItemNotFound);
}

[[noreturn]] void ThrowSyntaxError() {
    throw Error("Syntax error in FROM clause.", kSyntaxErrorInFrom);
}

// Column types whose values libmdb can bind; anything else (newer ACE types) reads as Null.
bool CanBind(int jetType) {
    switch (jetType) {
    case MDB_BOOL: case MDB_BYTE: case MDB_INT: case MDB_LONGINT: case MDB_MONEY:
    case MDB_FLOAT: case MDB_DOUBLE: case MDB_DATETIME: case MDB_BINARY: case MDB_TEXT:
    case MDB_OLE: case MDB_MEMO: case MDB_REPID: case MDB_NUMERIC: case MDB_COMPLEX:
        return true;
    default:
        return false;
    }
}

class SourceParser {
public:
    explicit SourceParser(std::string_view text) : text_(text) {}

    std::string TableName() {
        Keyword("SELECT");
        Symbol('*');
        Keyword("FROM");
        SkipBlanks();
        std::string name;
        if (Peek('[')) {
            name = Enclosed(']');
        } else if (Peek('`')) {
            name = Enclosed('`');
        } else {
            std::size_t start = pos_;
            while (pos_ < text_.size() && !IsBlank(text_[pos_]) && text_[pos_] != ';') ++pos_;
            name = text_.substr(start, pos_ - start);
        }
        if (name.empty()) ThrowSyntaxError();
        SkipBlanks();
        if (Peek(';')) SkipBlanks();
        if (pos_ != text_.size()) ThrowSyntaxError();
        return name;
    }

private:
    static bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
    void SkipBlanks() {
        while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
    }
    bool Peek(char c) {
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    void Keyword(std::string_view word) {
        SkipBlanks();
        if (text_.size() - pos_ < word.size()) ThrowSyntaxError();
        for (std::size_t i = 0; i < word.size(); ++i)
            if (std::toupper(static_cast<unsigned char>(text_[pos_ + i])) != word[i])
                ThrowSyntaxError();
        pos_ += word.size();
    }
    void Symbol(char c) {
        SkipBlanks();
        if (!Peek(c)) ThrowSyntaxError();
    }
    std::string Enclosed(char close) {
        std::size_t end = text_.find(close, pos_);
        if (end == std::string_view::npos) ThrowSyntaxError();
        std::string name(text_.substr(pos_, end - pos_));
        pos_ = end + 1;
        return name;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

FieldState& FieldAt(const std::shared_ptr<RecordsetState>& state, std::size_t index) {
    if (!state || !state->open) ThrowObjectClosed();
    return state->fields.at(index);
}

std::int64_t StorageSize(const FieldState& field) {
    switch (field.adoType) {
    case kAdBoolean: return 2;
    default: return field.column->col_size;
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------

std::string TableNameFromSource(std::string_view source) { return SourceParser(source).TableName(); }

int AdoTypeOfColumn(int jetColumnType, bool fixedLength) {
    struct Row {
        int jetType;
        int adoType;
    };
    static constexpr Row kTypes[] = {
        {MDB_BOOL, kAdBoolean},     {MDB_BYTE, kAdUnsignedTinyInt}, {MDB_INT, kAdSmallInt},
        {MDB_LONGINT, kAdInteger},  {MDB_MONEY, kAdCurrency},       {MDB_FLOAT, kAdSingle},
        {MDB_DOUBLE, kAdDouble},    {MDB_DATETIME, kAdDate},        {MDB_OLE, kAdLongVarBinary},
        {MDB_MEMO, kAdLongVarWChar}, {MDB_REPID, kAdGUID},          {MDB_NUMERIC, kAdNumeric},
        // A complex column (attachments, multi-valued) holds the integer key of its rows.
        {MDB_COMPLEX, kAdInteger},
    };
    if (jetColumnType == MDB_TEXT) return fixedLength ? kAdWChar : kAdVarWChar;
    if (jetColumnType == MDB_BINARY) return fixedLength ? kAdBinary : kAdVarBinary;
    for (const Row& row : kTypes)
        if (row.jetType == jetColumnType) return row.adoType;
    return kAdEmpty;
}

// ---------------------------------------------------------------------------------------------

const std::vector<std::uint8_t>& FieldValue::bytes() const {
    if (IsNull()) throw Error("Invalid use of Null", 94);
    if (!IsBytes()) throw Error("Type mismatch", 13);
    return std::get<std::vector<std::uint8_t>>(value_);
}

std::vector<std::uint8_t> FieldValue::TakeBytes() {
    bytes();
    return std::move(std::get<std::vector<std::uint8_t>>(value_));
}

const std::string& FieldValue::text() const {
    if (IsNull()) throw Error("Invalid use of Null", 94);
    if (!IsText()) throw Error("Type mismatch", 13);
    return std::get<std::string>(value_);
}

// ---------------------------------------------------------------------------------------------

bool RecordsetState::Fetch() {
    if (!mdb_fetch_row(table.get())) return false;
    MdbHandle* mdb = handle.get();
    for (FieldState& field : fields) {
        field.chunkReader.reset();
        field.chunkOffset = 0;
        if (!field.bound || field.column->cur_value_len == 0) continue;
        if (field.adoType == kAdLongVarBinary) {
            std::memcpy(field.longValueHeader.data(), field.buffer.data(),
                        field.longValueHeader.size());
        } else if (field.adoType == kAdBinary || field.adoType == kAdVarBinary) {
            // libmdb's text form of binary stops at the first zero byte: take the bytes from
            // the row itself, which is still in the page buffer.
            auto start = static_cast<std::size_t>(std::max(field.column->cur_value_start, 0));
            auto length = static_cast<std::size_t>(std::max(field.column->cur_value_len, 0));
            auto pageSize = static_cast<std::size_t>(mdb->fmt->pg_size);
            if (start > pageSize || length > pageSize - start) length = 0;
            field.binaryValue.assign(mdb->pg_buf + start, mdb->pg_buf + start + length);
        }
    }
    return true;
}

void RecordsetState::CheckCurrentRecord() const {
    if (!open) ThrowObjectClosed();
    if (eof || bof) ThrowNoCurrentRecord();
}

// ---------------------------------------------------------------------------------------------

Recordset::Recordset() = default;
Recordset::~Recordset() = default;
Recordset::Recordset(Recordset&&) noexcept = default;
Recordset& Recordset::operator=(Recordset&&) noexcept = default;

void Recordset::Open(const std::string& source, Connection& connection, int, int) {
    if (state_ && state_->open) throw Error("Operation is not allowed when the object is open.", 3705);
    std::string wanted = TableNameFromSource(source);
    const DatabaseFile& file = connection.impl().file;

    auto state = std::make_shared<RecordsetState>();
    state->image = file.image;
    state->imageBytes = file.imageBytes;
    state->handle = CloneHandle(file);
    MdbHandle* mdb = state->handle.get();

    MdbCatalogEntry* entry = nullptr;
    std::string folded = FoldName(wanted);
    for (guint i = 0; mdb->catalog && i < mdb->catalog->len; ++i) {
        auto* candidate = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (candidate->object_type == MDB_TABLE && FoldName(candidate->object_name) == folded) {
            entry = candidate;
            break;
        }
    }
    if (!entry)
        throw Error("The database engine cannot find the input table or query '" + wanted +
                        "'. Make sure it exists and that its name is spelled correctly.",
                    kTableNotFound);

    state->table.reset(mdb_read_table(entry));
    if (!state->table || !mdb_read_columns(state->table.get()))
        throw Error("The table '" + wanted + "' cannot be read; the database may be damaged.");
    state->tableName = entry->object_name;

    MdbTableDef* table = state->table.get();
    guint count = std::min<guint>(table->num_cols, table->columns ? table->columns->len : 0);
    state->fields.reserve(count);
    for (guint i = 0; i < count; ++i) {
        auto* column = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
        FieldState& field = state->fields.emplace_back();
        field.name = column->name;
        field.foldedName = FoldName(field.name);
        field.column = column;
        field.adoType = AdoTypeOfColumn(column->col_type, column->is_fixed != 0);
        if (!CanBind(column->col_type)) continue;
        // Memo text can be long; everything else, OLE pieces included, fits in a page.
        field.buffer.assign(column->col_type == MDB_MEMO ? kTextBindSize : kInPageBindSize, 0);
        mdb_bind_column(table, static_cast<int>(i) + 1, field.buffer.data(), &field.boundLength);
        field.bound = true;
    }

    mdb_rewind_table(table);
    state->open = true;
    bool any = state->Fetch();
    state->eof = state->bof = !any;
    state_ = std::move(state);
}

bool Recordset::IsOpen() const { return state_ && state_->open; }

bool Recordset::Eof() const {
    if (!IsOpen()) ThrowObjectClosed();
    return state_->eof;
}

bool Recordset::bof() const {
    if (!IsOpen()) ThrowObjectClosed();
    return state_->bof;
}

void Recordset::movefirst() {
    if (!IsOpen()) ThrowObjectClosed();
    mdb_rewind_table(state_->table.get());
    bool any = state_->Fetch();
    if (!any) {
        state_->eof = state_->bof = true;
        ThrowNoCurrentRecord();
    }
    state_->eof = state_->bof = false;
}

void Recordset::MoveNext() {
    if (!IsOpen()) ThrowObjectClosed();
    if (state_->eof) ThrowNoCurrentRecord();
    state_->eof = !state_->Fetch();
    state_->bof = false;
}

void Recordset::Close() {
    if (!IsOpen()) ThrowObjectClosed();
    // Fields handed out keep the state alive; they see a closed recordset from here on.
    state_->open = false;
    for (FieldState& field : state_->fields) field.chunkReader.reset();
    state_->table.reset();
    state_->handle.reset();
    state_->image.reset();
    state_.reset();
}

FieldCollection Recordset::Fields() const {
    if (!IsOpen()) ThrowObjectClosed();
    return FieldCollection(state_);
}

const std::string& Recordset::TableName() const {
    if (!IsOpen()) ThrowObjectClosed();
    return state_->tableName;
}

// ---------------------------------------------------------------------------------------------

int FieldCollection::Count() const {
    if (!state_ || !state_->open) ThrowObjectClosed();
    return static_cast<int>(state_->fields.size());
}

Field FieldCollection::Item(int index) const {
    if (index < 0 || index >= Count()) ThrowItemNotFound();
    return Field(state_, static_cast<std::size_t>(index));
}

Field FieldCollection::Item(std::string_view name) const {
    Count();
    std::string folded = FoldName(name);
    for (std::size_t i = 0; i < state_->fields.size(); ++i)
        if (state_->fields[i].foldedName == folded) return Field(state_, i);
    ThrowItemNotFound();
}

// ---------------------------------------------------------------------------------------------

const std::string& Field::Name() const { return FieldAt(state_, index_).name; }

int Field::Type() const { return FieldAt(state_, index_).adoType; }

namespace {

LongValueReader StartLongValue(RecordsetState& state, FieldState& field) {
    return LongValueReader(state.handle.get(), field.column, field.buffer, field.longValueHeader,
                           field.column->cur_value_len, state.imageBytes, field.name);
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

std::int64_t Field::ActualSize() const {
    FieldState& field = FieldAt(state_, index_);
    state_->CheckCurrentRecord();
    if (IsNull(field)) return 0;
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
    if (IsNull(field)) return FieldValue();
    switch (field.adoType) {
    case kAdLongVarBinary: {
        LongValueReader reader = StartLongValue(*state_, field);
        std::size_t size =
            EnforcePlausibleSize(reader.DeclaredSize(), state_->imageBytes, "long binary value");
        std::vector<std::uint8_t> bytes(size);
        std::size_t got = reader.Read(bytes);
        bytes.resize(got);
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
            if (!field.chunkReader) field.chunkReader.emplace(StartLongValue(*state_, field));
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
    if (IsNull(field) || out.empty()) return 0;
    std::span<const std::uint8_t> source;
    switch (field.adoType) {
    case kAdLongVarBinary:
        if (!field.chunkReader) field.chunkReader.emplace(StartLongValue(*state_, field));
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
        throw Error("Operation is not allowed in this context.", kAdErrIllegalOperation);
    }
    std::size_t offset = static_cast<std::size_t>(std::min<std::uint64_t>(field.chunkOffset, source.size()));
    std::size_t take = std::min(out.size(), source.size() - offset);
    std::copy_n(source.begin() + static_cast<std::ptrdiff_t>(offset), take, out.begin());
    field.chunkOffset += take;
    return take;
}

}  // namespace pictrova::database
