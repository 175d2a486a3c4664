// SPDX-License-Identifier: GPL-3.0-or-later
// A whole database image through the data layer, as the listings and the run use it: open it,
// list its tables, open each one and read every value of every record. The image is written to
// a file of this process first, since libmdb reads from a path.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "common/error.h"
#include "database/database.h"

namespace {

const std::string& ImagePath() {
    static const std::string path =
        "/tmp/pictrova-fuzz-database-" + std::to_string(getpid()) + ".mdb";
    return path;
}

void ScanEverything(const std::string& path) {
    using namespace pictrova::database;
    Connection connection;
    connection.Open(BuildConnectionString(FixedDatabaseSelection(path, "")));
    TablesSchema schema = connection.OpenSchema(kAdSchemaTables);
    for (; !schema.Eof(); schema.MoveNext()) {
        if (schema.Value("TABLE_TYPE") != "TABLE")
            continue;
        try {
            Recordset recordset;
            recordset.Open(RunSource(schema.Value("TABLE_NAME")), connection);
            FieldCollection fields = recordset.Fields();
            for (; !recordset.Eof(); recordset.MoveNext()) {
                for (int i = 0; i < fields.Count(); ++i) {
                    Field field = fields[i];
                    field.ActualSize();
                    field.Value();
                }
            }
        } catch (const pictrova::Error&) {
            // One damaged table; the run goes on with the others in the same way.
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(ImagePath().c_str(), "wb");
    if (!file)
        return 0;
    const bool written = std::fwrite(data, 1, size, file) == size;
    std::fclose(file);
    if (!written)
        return 0;
    try {
        ScanEverything(ImagePath());
    } catch (const pictrova::Error&) {
    }
    return 0;
}
