// The ztl program's --db text read as a SQLite file or a PostgreSQL
// connection.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace ztl::cli {

// A --db text, read.
struct TConnectionTarget {
  bool Postgres = false; // a PostgreSQL connection, else a SQLite database
  std::string File;      // SQLite: the path, ":memory:" or "file:" URI
  std::string DbName;    // PostgreSQL: the database named, "" for libpq's default
  std::vector<std::pair<std::string, std::string>> Settings; // PostgreSQL: the rest, in order
};

// Reads Text: a "postgresql://" or "postgres://" URI, or a string of
// libpq key=value settings that starts with a setting libpq knows
// ("host=... dbname=..."), is a PostgreSQL connection; anything else is a
// SQLite database. False, with Error saying what is wrong (never echoing a
// password), when a PostgreSQL text does not read.
bool ParseConnection(const std::string& Text, TConnectionTarget& Target, std::string& Error);

// The PostgreSQL settings of Target besides the database name as a libpq
// connection string, every value quoted.
std::string ConnectOptionsText(const TConnectionTarget& Target);

} // namespace ztl::cli
