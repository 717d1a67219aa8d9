// The records in an SQLite file, the embedded store of a single station.
#pragma once

#include <memory>
#include <string>

#include "record/record_store.h"

// The file at `path` (UTF-8); with RecordAccess::Write created when missing.
std::unique_ptr<RecordStore> OpenSqliteStore(const std::string& path, RecordAccess access,
                                             std::string& problem);
