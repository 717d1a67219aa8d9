// The stores on Linux: SQLite files and PostgreSQL databases.
#include "record/postgres_store.h"
#include "record/record_location.h"
#include "record/record_store.h"
#include "record/sqlite_store.h"

std::unique_ptr<RecordStore> OpenRecordStore(const std::string& location, RecordAccess access,
                                             std::string& problem) {
    if (IsPostgresLocation(location)) {
        return OpenPostgresStore(location, problem);
    }
    return OpenSqliteStore(location, access, problem);
}
