// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/recordset.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>

#include "common/error.h"
#include "common/error_codes.h"
#include "database/connection.h"
#include "database/database_file.h"
#include "database/libmdb_capture.h"
#include "database/object_names.h"
#include "database/opened_database.h"
#include "database/recordset_state.h"
#include "database/table_scan.h"

namespace pictrova::database {
namespace {

constexpr int kTableNotFound = 3078;

// Column types whose values libmdb can bind; anything else (newer ACE types) reads as Null.
bool CanBind(int jetType) {
    switch (jetType) {
        case MDB_BOOL:
        case MDB_BYTE:
        case MDB_INT:
        case MDB_LONGINT:
        case MDB_MONEY:
        case MDB_FLOAT:
        case MDB_DOUBLE:
        case MDB_DATETIME:
        case MDB_BINARY:
        case MDB_TEXT:
        case MDB_OLE:
        case MDB_MEMO:
        case MDB_REPID:
        case MDB_NUMERIC:
        case MDB_COMPLEX:
            return true;
        default:
            return false;
    }
}

}  // namespace

int AdoTypeOfColumn(int jetColumnType, bool fixedLength) {
    struct Row {
        int jetType;
        int adoType;
    };
    static constexpr Row kTypes[] = {
        {MDB_BOOL, kAdBoolean},
        {MDB_BYTE, kAdUnsignedTinyInt},
        {MDB_INT, kAdSmallInt},
        {MDB_LONGINT, kAdInteger},
        {MDB_MONEY, kAdCurrency},
        {MDB_FLOAT, kAdSingle},
        {MDB_DOUBLE, kAdDouble},
        {MDB_DATETIME, kAdDate},
        {MDB_OLE, kAdLongVarBinary},
        {MDB_MEMO, kAdLongVarWChar},
        {MDB_REPID, kAdGUID},
        {MDB_NUMERIC, kAdNumeric},
        // A complex column (attachments, multi-valued) holds the integer key of its rows.
        {MDB_COMPLEX, kAdInteger},
    };
    if (jetColumnType == MDB_TEXT)
        return fixedLength ? kAdWChar : kAdVarWChar;
    if (jetColumnType == MDB_BINARY)
        return fixedLength ? kAdBinary : kAdVarBinary;
    for (const Row& row : kTypes)
        if (row.jetType == jetColumnType)
            return row.adoType;
    return kAdEmpty;
}

void RecordsetState::Rewind() {
    LibmdbCapture capture(libmdbMessages);
    mdb_rewind_table(table.get());
    rowsFetched = 0;
}

bool RecordsetState::Fetch() {
    recordMessages.clear();
    {
        LibmdbCapture capture(recordMessages, LibmdbCapture::MessageSink::Hold);
        if (!mdb_fetch_row(table.get()))
            return false;
    }
    if (++rowsFetched > rowLimit)
        throw Error(DamagedTableText(
            tableName, "its scan returns more rows than its pages can hold", recordMessages));
    MdbHandle* mdb = handle.get();
    for (FieldState& field : fields) {
        field.chunkReader.reset();
        field.chunkOffset = 0;
        if (!field.bound || field.column->cur_value_len == 0)
            continue;
        if (field.adoType == kAdLongVarBinary) {
            std::memcpy(field.longValueHeader.data(), field.buffer.data(),
                        field.longValueHeader.size());
        } else if (field.adoType == kAdBinary || field.adoType == kAdVarBinary) {
            // libmdb's text form of binary stops at the first zero byte: take the bytes from
            // the row itself, which is still in the page buffer.
            auto start = static_cast<std::size_t>(std::max(field.column->cur_value_start, 0));
            auto length = static_cast<std::size_t>(std::max(field.column->cur_value_len, 0));
            auto pageSize = static_cast<std::size_t>(mdb->fmt->pg_size);
            if (start > pageSize || length > pageSize - start)
                length = 0;
            field.binaryValue.assign(mdb->pg_buf + start, mdb->pg_buf + start + length);
        }
    }
    return true;
}

void RecordsetState::CheckCurrentRecord() const {
    if (!open)
        Throw(ErrorCode::ObjectClosed);
    if (eof || bof)
        Throw(ErrorCode::NoCurrentRecord);
}

Recordset::Recordset() = default;
Recordset::~Recordset() = default;
Recordset::Recordset(Recordset&&) noexcept = default;
Recordset& Recordset::operator=(Recordset&&) noexcept = default;

void Recordset::Open(const std::string& source, Connection& connection, int, int) {
    if (state_ && state_->open)
        Throw(ErrorCode::ObjectOpen);
    Open(connection.database(), TableNameFromSource(source));
}

void Recordset::Open(const Database& database, const std::string& wanted) {
    if (state_ && state_->open)
        Throw(ErrorCode::ObjectOpen);
    const DatabaseFile& file = database.file();

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

    state->tableName = entry->object_name;
    LibmdbCapture capture(state->libmdbMessages);
    state->table.reset(mdb_read_table(entry));
    if (!HasUsageMap(state->table.get()) || !mdb_read_columns(state->table.get()))
        throw Error(DamagedTableText(state->tableName, "its definition cannot be read",
                                     state->libmdbMessages));
    MdbTableDef* table = state->table.get();
    guint count = std::min<guint>(table->num_cols, table->columns ? table->columns->len : 0);
    if (count == 0)
        throw Error(DamagedTableText(state->tableName, "it has no columns", state->libmdbMessages));
    if (const std::string damage = UsageMapDamage(table, file.imageBytes, state->libmdbMessages);
        !damage.empty())
        throw Error(DamagedTableText(state->tableName, damage, state->libmdbMessages));
    state->rowLimit = ScanRowLimit(mdb, file.imageBytes);

    state->fields.reserve(count);
    for (guint i = 0; i < count; ++i) {
        auto* column = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
        FieldState& field = state->fields.emplace_back();
        field.name = column->name;
        field.foldedName = FoldName(field.name);
        field.column = column;
        field.adoType = AdoTypeOfColumn(column->col_type, column->is_fixed != 0);
        if (!CanBind(column->col_type))
            continue;
        // Memo text can be long; everything else, OLE pieces included, fits in a page.
        field.buffer.assign(column->col_type == MDB_MEMO ? kTextBindSize : kInPageBindSize, 0);
        mdb_bind_column(table, static_cast<int>(i) + 1, field.buffer.data(), &field.boundLength);
        field.bound = true;
    }

    // Complex columns: which of them are attachments, looked up before the scan starts because
    // the lookup reads other tables' pages on this handle.
    bool anyComplex =
        std::any_of(state->fields.begin(), state->fields.end(),
                    [](const FieldState& f) { return f.column->col_type == MDB_COMPLEX; });
    if (anyComplex) {
        std::map<std::string, AttachmentColumn> attachments =
            FindAttachmentColumns(mdb, entry->table_pg);
        for (FieldState& field : state->fields) {
            auto found = attachments.find(field.foldedName);
            if (field.column->col_type == MDB_COMPLEX && found != attachments.end())
                field.attachment = found->second;
        }
    }

    state->Rewind();
    state->open = true;
    bool any = state->Fetch();
    state->eof = state->bof = !any;
    state_ = std::move(state);
}

bool Recordset::IsOpen() const {
    return state_ && state_->open;
}

bool Recordset::Eof() const {
    if (!IsOpen())
        Throw(ErrorCode::ObjectClosed);
    return state_->eof;
}

bool Recordset::bof() const {
    if (!IsOpen())
        Throw(ErrorCode::ObjectClosed);
    return state_->bof;
}

void Recordset::movefirst() {
    if (!IsOpen())
        Throw(ErrorCode::ObjectClosed);
    state_->Rewind();
    bool any = state_->Fetch();
    if (!any) {
        state_->eof = state_->bof = true;
        Throw(ErrorCode::NoCurrentRecord);
    }
    state_->eof = state_->bof = false;
}

void Recordset::MoveNext() {
    if (!IsOpen())
        Throw(ErrorCode::ObjectClosed);
    if (state_->eof)
        Throw(ErrorCode::NoCurrentRecord);
    state_->eof = !state_->Fetch();
    state_->bof = false;
}

void Recordset::Close() {
    if (!IsOpen())
        Throw(ErrorCode::ObjectClosed);
    // Fields handed out keep the state alive; they see a closed recordset from here on.
    state_->open = false;
    for (FieldState& field : state_->fields) {
        field.chunkReader.reset();
        field.attachmentTable.reset();
    }
    state_->table.reset();
    state_->handle.reset();
    state_->image.reset();
    state_.reset();
}

FieldCollection Recordset::Fields() const {
    if (!IsOpen())
        Throw(ErrorCode::ObjectClosed);
    return FieldCollection(state_);
}

std::vector<std::string> Recordset::TakeLibraryMessages() {
    if (!state_)
        return {};
    return std::exchange(state_->recordMessages, {});
}

const std::string& Recordset::TableName() const {
    if (!IsOpen())
        Throw(ErrorCode::ObjectClosed);
    return state_->tableName;
}

std::optional<std::int64_t> Recordset::StoredRecordCount() const {
    if (!IsOpen())
        Throw(ErrorCode::ObjectClosed);
    const std::uint64_t stored = state_->table->num_rows;
    const bool anyRecord = !(state_->eof && state_->bof) || state_->rowsFetched > 0;
    if ((stored == 0 && anyRecord) || stored > state_->rowLimit)
        return std::nullopt;
    return static_cast<std::int64_t>(stored);
}

int FieldCollection::Count() const {
    if (!state_ || !state_->open)
        Throw(ErrorCode::ObjectClosed);
    return static_cast<int>(state_->fields.size());
}

Field FieldCollection::Item(int index) const {
    if (index < 0 || index >= Count())
        Throw(ErrorCode::ItemNotFound);
    return Field(state_, static_cast<std::size_t>(index));
}

Field FieldCollection::Item(std::string_view name) const {
    Count();
    std::string folded = FoldName(name);
    for (std::size_t i = 0; i < state_->fields.size(); ++i)
        if (state_->fields[i].foldedName == folded)
            return Field(state_, i);
    Throw(ErrorCode::ItemNotFound);
}

}  // namespace pictrova::database
