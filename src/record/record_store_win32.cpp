// The stores on Windows: SQLite files; PostgreSQL is the Linux build's.
#include "record/record_location.h"
#include "record/record_store.h"
#include "record/sqlite_store.h"

std::unique_ptr<RecordStore> OpenRecordStore(const std::string& location, RecordAccess access,
                                             std::string& problem) {
    if (IsPostgresLocation(location)) {
        problem = LocationText(location) +
                  ": velmora-cli.exe keeps records in SQLite files only; PostgreSQL records are "
                  "kept by velmora-cli on Linux";
        return nullptr;
    }
    return OpenSqliteStore(location, access, problem);
}
