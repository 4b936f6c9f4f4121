// The ztl program's main job: running SQL on a database.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace ztl::cli {

// ztl [--db DB] [options] ["SQL"] [-p name=value ...]
//
// Runs one statement on DB (a SQLite file or a PostgreSQL connection; the
// demo database when --db is not given), printing a result set (as a table,
// CSV or JSON) or the number of rows a statement changed. Without SQL, reads
// statements from standard input, each ended by ';' as the database's
// dialect ends them, with a prompt when the input is a terminal; a
// non-interactive run stops at the first failing statement. -p gives the
// value of the parameter marker :name (on SQLite also @name, $name; a number
// for ?NNN or the n-th "?"); a value that reads as an integer or a real
// number is passed as one, anything else as text. Errors are one line on Err
// and a non-zero exit code (see Commands.h).
int RunSqlCommand(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err);

} // namespace ztl::cli
