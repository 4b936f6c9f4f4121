// The ztl program's main job: running SQL on a database.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace ztl::cli {

// ztl [--db FILE] ["SQL"] [-p name=value ...]
//
// Runs one statement on FILE (the demo database when --db is not given),
// printing a result set as a table or the number of rows a statement
// changed. Without SQL, reads statements from standard input, each ended by
// ';', with a prompt when the input is a terminal; a non-interactive run
// stops at the first failing statement. -p gives the value of the parameter
// marker :name (also @name, $name; a number for ?NNN or the n-th "?"); a
// value that reads as an integer or a real number is passed as one, anything
// else as text. Errors are one line on Err and a non-zero exit code.
int RunSqlCommand(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err);

} // namespace ztl::cli
