// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The data-access numbers the program's code is written against: field type codes as a field's
// Type reports them, the schema number of the tables schema, cursor and lock types, modes.

namespace pictrova::database {

// Field type codes (the data-access DataTypeEnum values).
enum AdoType : int {
    kAdEmpty = 0,
    kAdSmallInt = 2,  // Integer
    kAdInteger = 3,   // Long
    kAdSingle = 4,
    kAdDouble = 5,
    kAdCurrency = 6,
    kAdDate = 7,
    kAdBoolean = 11,          // Yes/No
    kAdUnsignedTinyInt = 17,  // Byte
    kAdGUID = 72,             // Replication ID
    kAdBinary = 128,          // fixed-length Binary
    kAdWChar = 130,           // fixed-length Text
    kAdNumeric = 131,         // Decimal
    kAdVarWChar = 202,        // Text
    kAdLongVarWChar = 203,    // Memo
    kAdVarBinary = 204,       // Binary
    kAdLongVarBinary = 205,   // OLE Object
};

inline constexpr int kAdSchemaTables = 20;
inline constexpr int kAdOpenStatic = 3;
inline constexpr int kAdLockOptimistic = 3;
inline constexpr int kAdModeReadWrite = 3;

}  // namespace pictrova::database
