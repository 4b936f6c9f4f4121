// Internal to the PostgreSQL driver: may change without notice.
//
// Reading statement texts as the server's lexer does: parameter markers and
// their rewriting for the server, the count of statements in a text, and
// the place where the driver can add its hidden row key to a SELECT.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ztl {

// What a byte can be to the server's lexer. Texts are read a byte at a time
// several times per statement, so each question is one table lookup.
enum : std::uint8_t {
  pgcIdentStart = 1,  // letters, "_" and bytes above 127
  pgcIdentChar = 2,   // those, digits and "$"
  pgcBlank = 4,       // the lexer's blanks, whatever the locale says of other bytes
  pgcMayOpen = 8,     // may start a literal or a comment: ' " - / $
};

constexpr std::array<std::uint8_t, 256> PgCharClasses() {
  std::array<std::uint8_t, 256> T{};
  for (int C = 0; C < 256; ++C) {
    const bool Letter = (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || C == '_' || C >= 128;
    if (Letter)
      T[C] |= pgcIdentStart | pgcIdentChar;
    if ((C >= '0' && C <= '9') || C == '$')
      T[C] |= pgcIdentChar;
    if (C == ' ' || (C >= '\t' && C <= '\r'))
      T[C] |= pgcBlank;
    if (C == '\'' || C == '"' || C == '-' || C == '/' || C == '$')
      T[C] |= pgcMayOpen;
  }
  return T;
}

inline constexpr std::array<std::uint8_t, 256> PgCharClass = PgCharClasses();

inline bool PgIsIdentStart(char C) {
  return (PgCharClass[static_cast<unsigned char>(C)] & pgcIdentStart) != 0;
}

inline bool PgIsIdentChar(char C) {
  return (PgCharClass[static_cast<unsigned char>(C)] & pgcIdentChar) != 0;
}

inline bool PgIsBlank(char C) {
  return (PgCharClass[static_cast<unsigned char>(C)] & pgcBlank) != 0;
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
std::size_t PgSkipLiteralAt(std::string_view SQL, std::size_t Pos);

// Every reader of a text asks this at every character, so the characters
// that start nothing are answered without a call.
inline std::size_t PgSkipLiteral(std::string_view SQL, std::size_t Pos) {
  if (Pos >= SQL.size() || !(PgCharClass[static_cast<unsigned char>(SQL[Pos])] & pgcMayOpen))
    return Pos;
  return PgSkipLiteralAt(SQL, Pos);
}

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
