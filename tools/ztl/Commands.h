// The commands of the ztl program: each one is a function over its own arguments that writes
// to the given streams and returns the process exit code.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace ztl::cli {

// Exit codes shared by every command.
inline constexpr int ExitSuccess = 0; // the command did its job
inline constexpr int ExitFailure = 1; // the command ran but failed (for example a database error)
inline constexpr int ExitUsage = 2;   // the command line itself was wrong
inline constexpr int ExitConnect = 3; // the database could not be reached (library, server, file)

// One command of the program.
struct TCommand {
  const char* Name;      // the word that selects it: "ztl <Name> ..."
  const char* Arguments; // its arguments as shown in the usage text
  const char* Summary;   // one line for the usage text
  int (*Run)(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err);
};

// ztl analyse "<SQL>": prints the first table, the ORDER BY items with their directions and
// the parameter names of one statement. Args are the words after the command name.
int RunAnalyseCommand(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err);

// ztl form FILE [--ancestor ANCESTOR] [--save OUT]: prints the component tree of a form file
// with the published properties of each component, or (--save) writes the form to OUT; with
// --ancestor the file is an inherited form and only its differences are saved.
int RunFormCommand(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err);

// ztl tables [--owner] [--all]: the base tables of the database (of its first user, or of
// every owner with --all), as owner.table with --owner.
int RunTablesCommand(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err);

// ztl procs [--owner]: the stored procedures of the database.
int RunProcsCommand(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err);

// ztl columns TABLE: the columns of TABLE (optionally owner.table) in column order; an unknown
// table is an error.
int RunColumnsCommand(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err);

// ztl call PROC [-p name=value ...]: runs a stored procedure with its parameters described by the
// database, each input given with -p in the parameter's own type, and prints its rows or its
// output arguments.
int RunCallCommand(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err);

} // namespace ztl::cli
