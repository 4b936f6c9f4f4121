// Internal to the PostgreSQL driver: may change without notice.
//
// Reading statement texts as the server's lexer does: parameter markers and
// their rewriting for the server, the count of statements in a text, and
// the place where the driver can add its hidden row key to a SELECT.
#pragma once

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ztl {

// The server's identifier characters: bytes above 127 count as letters.
inline bool PgIsIdentStart(char C) {
  return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || C == '_' ||
         static_cast<unsigned char>(C) >= 128;
}

inline bool PgIsIdentChar(char C) {
  return PgIsIdentStart(C) || (C >= '0' && C <= '9') || C == '$';
}

inline bool PgIsBlank(char C) {
  return std::isspace(static_cast<unsigned char>(C)) != 0;
}

// True when a -- or /* comment starts at Pos.
inline bool PgIsComment(std::string_view SQL, std::size_t Pos) {
  return Pos + 1 < SQL.size() &&
         ((SQL[Pos] == '-' && SQL[Pos + 1] == '-') || (SQL[Pos] == '/' && SQL[Pos + 1] == '*'));
}

// Where a literal or comment that starts at Pos ends (the position past
// it), or Pos when none starts there: '...' (with backslash escapes after
// an E prefix), "..." identifiers, -- comments, nesting /* */ comments and
// $tag$...$tag$ strings. An unterminated one runs to the end of SQL.
std::size_t PgSkipLiteral(std::string_view SQL, std::size_t Pos);

// A text with its markers rewritten for the server.
struct TPgMarkers {
  std::string Text;           // the text to send, markers as "$n"
  std::int32_t Count = 0;     // parameters it takes
  bool Named = false;         // it has ":name" markers
  std::int32_t Questions = 0; // "?" markers it has when read as positional
  // The distinct ":name" markers as first written, in the order of their numbers.
  std::vector<std::string> Names;
};

// SQL with its parameter markers rewritten for the server. A ":name" stands
// for one parameter however often it appears, the distinct names numbered
// in order of first appearance. A "?" is the server's operator (jsonb's "?",
// "?|", "?&") in a text with named markers and whenever Positional is
// false; otherwise each "?" is a parameter of its own and "??" stands for a
// literal "?". Never read as markers: literals and comments (see
// PgSkipLiteral), "::" casts, ":=" assignments and colons inside [...]
// (array slices).
TPgMarkers PgRewriteMarkers(std::string_view SQL, bool Positional);

// How many statements SQL holds: pieces between semicolons outside
// literals, comments and parentheses that hold more than blanks and
// comments.
std::int32_t PgCountStatements(std::string_view SQL);

// SQL with Column added as the last column of its select list, or "" when
// the text is not a shape where that keeps its meaning: it must be one
// SELECT (after an optional WITH clause) reading FROM something, without
// DISTINCT, INTO, GROUP BY, HAVING or a compound (UNION, INTERSECT,
// EXCEPT) at its top level. The last position keeps ORDER BY ordinals and
// "*" as written.
std::string PgAppendSelectColumn(std::string_view SQL, std::string_view Column);

// True when SQL is one query a server-side cursor can be declared for: its
// top level starts with SELECT, VALUES or TABLE, or with WITH before one of
// them. The server may still refuse it (FOR UPDATE, a data-modifying WITH)
// with a class 0A error.
bool PgDeclarable(std::string_view SQL);

} // namespace ztl
