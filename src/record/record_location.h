// What a --record location names, and how messages show it.
#pragma once

#include <string>

// True for a PostgreSQL connection URI (postgresql://, postgres://), false for an SQLite path.
bool IsPostgresLocation(const std::string& location);
// The location as messages show it: a URI's password left out.
std::string LocationText(const std::string& location);
