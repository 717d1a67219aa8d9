// The records in a PostgreSQL database, shared by the stations of a line.
#pragma once

#include <memory>
#include <string>

#include "record/record_store.h"

// The database that the libpq connection URI `uri` names.
std::unique_ptr<RecordStore> OpenPostgresStore(const std::string& uri, std::string& problem);
