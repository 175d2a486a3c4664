// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/database_scan.h"

#include <algorithm>
#include <cctype>

#include "common/error.h"
#include "database/database.h"
#include "imaging/picture_kind.h"
#include "ole/class_table.h"
#include "ole/object_header.h"

namespace pictrova::run {

namespace {

std::string PictureKindLabel(imaging::PictureKind kind) {
    using imaging::PictureKind;
    switch (kind) {
        case PictureKind::Jpeg:
            return "jpeg";
        case PictureKind::Unknown:
            return {};
        default:
            break;
    }
    std::string name(imaging::EngineCoderName(kind));
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name;
}

// The object's class label when `head` starts with a usable object header; empty otherwise.
std::string ObjectLabel(const ole::ObjectSummary& object) {
    if (!object.header)
        return {};
    if (object.isStatic())
        return std::string(ole::kStaticClassName);
    std::string name = object.className.value_or(std::string());
    if (name.empty())
        return {};
    if (object.linked())
        name += " (linked)";
    return name;
}

bool Decodable(const std::string& label) {
    return !label.ends_with(" (linked)") && ole::FindClassRow(label).has_value();
}

std::string Describe(const std::exception& e) {
    if (const auto* error = dynamic_cast<const Error*>(&e))
        return error->description();
    return e.what();
}

void ScanField(database::Field& field, FieldScan& scan, std::vector<std::uint8_t>& head,
               std::int64_t& bytesRead) {
    std::int64_t size = 0;
    try {
        size = field.ActualSize();
    } catch (const std::exception&) {
        ++scan.values;
        ++scan.unreadable;
        return;
    }
    if (size <= 0)
        return;
    ++scan.values;
    scan.valueBytes += size;
    try {
        head.resize(kScanHeadBytes);
        head.resize(field.ReadChunk(head));
    } catch (const std::exception&) {
        ++scan.unreadable;
        return;
    }
    bytesRead += static_cast<std::int64_t>(head.size());
    bool isObject = false;
    std::string label = ClassifyValueHead(head, isObject);
    if (label.empty())
        ++scan.unknown;
    else
        ++(isObject ? scan.objectClasses : scan.pictureKinds)[label];
}

// An attachment field's files are listed with their stored name and type only: neither their
// data nor the hidden table's long values are read.
void ScanAttachments(database::Field& field, FieldScan& scan) {
    std::vector<database::AttachedFile> files;
    try {
        files = field.Attachments();
    } catch (const std::exception&) {
        ++scan.values;
        ++scan.unreadable;
        return;
    }
    if (files.empty())
        return;
    ++scan.values;
    for (const auto& file : files) {
        ++scan.files;
        scan.valueBytes += static_cast<std::int64_t>(file.storedBytes);
        std::string type = file.fileType;
        std::transform(type.begin(), type.end(), type.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        ++scan.fileTypes[type.empty() ? std::string(kNoFileType) : type];
    }
}

void ScanTable(const database::Database& database, TableScan& table, std::int64_t& bytesRead) {
    database::Recordset recordset = database.OpenTable(table.name);
    database::FieldCollection fields = recordset.Fields();
    std::vector<database::Field> pictureFields;
    for (int i = 0; i < fields.Count(); ++i) {
        database::Field field = fields[i];
        const bool attachment = field.IsAttachment();
        if (field.Type() != database::kAdLongVarBinary && !attachment)
            continue;
        FieldScan& scan = table.fields.emplace_back();
        scan.name = field.Name();
        scan.kind = attachment ? kAttachmentFieldKind : kOleObjectFieldKind;
        pictureFields.push_back(field);
    }
    std::vector<std::uint8_t> head;
    while (!recordset.Eof()) {
        ++table.records;
        for (std::size_t i = 0; i < pictureFields.size(); ++i) {
            if (table.fields[i].kind == kAttachmentFieldKind)
                ScanAttachments(pictureFields[i], table.fields[i]);
            else
                ScanField(pictureFields[i], table.fields[i], head, bytesRead);
        }
        recordset.MoveNext();
    }
    recordset.Close();
}

}  // namespace

std::string ClassifyValueHead(const std::vector<std::uint8_t>& head, bool& isObject) {
    isObject = false;
    const ole::ObjectSummary object = ole::SummariseObject(head);
    if (object.hasSignature()) {
        std::string label = ObjectLabel(object);
        isObject = !label.empty();
        return label;
    }
    std::string kind = PictureKindLabel(imaging::SniffPictureKind(head));
    if (!kind.empty())
        return kind;
    // The decoder does not insist on the signature: a header that still names a class counts.
    std::string label = ObjectLabel(object);
    isObject = !label.empty();
    return label;
}

DatabaseScan ScanDatabase(const std::filesystem::path& path, const std::string& password) {
    DatabaseScan scan;
    scan.path = path;
    std::error_code ec;
    scan.fileBytes = std::filesystem::file_size(path, ec);
    if (ec)
        scan.fileBytes = 0;
    database::FixedDatabaseSelection selection(path.string(), password);
    database::Database database;
    std::vector<std::string> names;
    try {
        auto tables = database::ListTables(path.string(), selection);
        if (!tables) {
            scan.error = "Could not find file '" + path.string() + "'.";
            return scan;
        }
        names = std::move(*tables);
        // The one the listing opened.
        database = selection.Opened();
    } catch (const std::exception& e) {
        scan.error = Describe(e);
        return scan;
    }
    for (const auto& name : names) {
        TableScan& table = scan.tables.emplace_back();
        table.name = name;
        try {
            ScanTable(database, table, scan.bytesRead);
        } catch (const std::exception& e) {
            table.error = Describe(e);
        }
        for (auto& field : table.fields) {
            for (const auto& [label, count] : field.objectClasses)
                if (!Decodable(label))
                    field.undecodableClasses.push_back(label);
        }
    }
    return scan;
}

}  // namespace pictrova::run
