// Cutting a stream of SQL text into statements, in the dialect of the
// database the statements are for.
#pragma once

#include <string>

namespace ztl::cli {

// What of a dialect decides where a statement ends: which literals may
// hold a semicolon, and which statements have a body of statements.
struct TStatementDialect {
  bool DollarQuotes = false;   // $$...$$ and $tag$...$tag$ are literals
  bool EscapeStrings = false;  // E'...' takes backslash escapes
  bool NestedComments = false; // /* */ comments nest
  bool TriggerBodies = false;  // CREATE TRIGGER ... BEGIN ... END holds statements
  bool AtomicBodies = false;   // BEGIN ATOMIC ... END holds statements
};

// The dialects of the two drivers.
inline constexpr TStatementDialect SQLiteDialect{false, false, false, true, false};
inline constexpr TStatementDialect PostgresDialect{true, true, true, false, true};

// Text is nothing but blanks, comments and semicolons.
bool IsBlankStatement(const std::string& Text);

// Takes the first complete statement (up to and with the ';' that ends it)
// off the front of Buffer. A ';' inside a literal, a quoted name, a comment
// or a body of statements ends nothing. False, Buffer unchanged, when
// Buffer holds no complete statement yet.
bool TakeStatement(std::string& Buffer, std::string& Statement, const TStatementDialect& Dialect);

} // namespace ztl::cli
