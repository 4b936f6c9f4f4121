// Unit ZtlUtil: analysis of SQL statement text without a server (first table, ORDER BY items
// and directions, parameter names), the ";"-list helpers, file-name and buffer helpers, and the
// binding of client-library entry points.
#pragma once

#include <string>
#include <type_traits>

namespace ztl {

// The kind of one token of SQL text. The order is part of the interface: the clause keywords
// skSelect to skForUpdate form one contiguous range (see ZtlIsClauseKeyword).
enum TZantrelSQLTokenKind {
  skNone,       // no clause seen yet; only used as the initial current clause
  skTableName,  // a word in the FROM clause, or a word or quoted text ended by a full stop
  skFieldName,  // any other word, and every word that follows a full stop
  skAscending,  // ASC, ASCENDING
  skDescending, // DESC, DESCENDING
  skSelect,     // SELECT
  skFrom,       // FROM
  skWhere,      // WHERE
  skGroupBy,    // GROUP BY
  skHaving,     // HAVING
  skUnion,      // UNION
  skPlan,       // PLAN
  skOrderBy,    // ORDER BY
  skForUpdate,  // FOR UPDATE
  skEnd,        // end of text
  skOperator,   // a run of <, =, >
  skValue,      // a quoted text, NULL, or an IS that is not part of IS [NOT] NULL
  skIsNull,     // IS NULL
  skIsNotNull,  // IS NOT NULL
  skLike,       // LIKE
  skAnd,        // AND
  skOr,         // OR
  skNumber,     // a run of digits and full stops starting with a digit
  skAllFields,  // "*" in the SELECT clause
  skComment,    // a line or block comment
  skDistinct,   // DISTINCT in the SELECT clause
  skAssign      // a word ending in ":="
};

// True for the clause keywords (skSelect to skForUpdate); callers keep the last one they saw
// as the current clause and pass it back into every following ZtlReadSQLToken.
constexpr bool ZtlIsClauseKeyword(TZantrelSQLTokenKind Kind) {
  return Kind >= skSelect && Kind <= skForUpdate;
}

// Reads one token of NUL-terminated SQL text at Position, stores its text in TokenText, moves
// Position past it and returns its kind. At the terminating NUL it returns skEnd with empty text
// and leaves Position on the NUL; every other token advances Position by at least one character,
// and Position never moves past the NUL. CurrentClause decides "*", DISTINCT and the words of
// the FROM clause. Compound keywords (GROUP BY, ORDER BY, FOR UPDATE, IS NULL, IS NOT NULL)
// are one token whose text keeps the letters as written, the words joined by one space.
// A null Position reads as empty text.
TZantrelSQLTokenKind ZtlReadSQLToken(const char*& Position, std::string& TokenText,
                                     TZantrelSQLTokenKind CurrentClause);

// The first table of the first FROM clause (an owner-qualified name gives the part after the
// full stop, a quoted name its text), or empty. Text after a NUL character is not read.
std::string ZtlGetTableNameFromSQL(const std::string& SQL);

// The items of the first ORDER BY clause as a ";"-list; Directions receives "ASC" or "DESC" as
// a ";"-list, written when the next item arrives, when DESC follows, or at the end. Both are
// empty without an ORDER BY. The analysis is shallow: a DESC after no item still adds "DESC".
std::string ZtlGetOrderByFromSQL(const std::string& SQL, std::string& Directions);

// The parameter names (the text after the first colon of a word, up to a space, ")" or ",") in
// order of appearance, duplicates included, as a ";"-list, or empty.
std::string ZtlGetParamsFromSQL(const std::string& SQL);

// Appends Separator (when List is not empty) and Item; an empty Item still adds a separator.
void ZtlConcateField(std::string& List, const std::string& Separator, const std::string& Item);

// Appends Item, preceded by Separator when List is not empty; an empty Item changes nothing.
void ZtlConcateEmptyField(std::string& List, const std::string& Separator, const std::string& Item);

// Item number Index (from 1) of List, or empty for an Index out of range or an empty List.
// Each step drops one item and exactly one following character, so a separator longer than
// one character leaves its remaining characters at the start of the next item.
std::string ZtlExtractField(const std::string& List, const std::string& Separator, int Index);

// Text with every character that occurs in Chars replaced by Replacement. Each character of
// Text is looked at once, so a Replacement holding a character of Chars is inserted as is.
std::string ZtlReplaceChar(const std::string& Chars, const std::string& Replacement,
                           const std::string& Text);

// Cuts trailing bytes up to 32 (space and control characters) from a NUL-terminated buffer in
// place and returns the same buffer. Bytes from 128 up are kept. A null Buffer is returned as is.
char* ZtlTrimTrailBlanks(char* Buffer);

// FileName without its extension: everything before the last full stop, when no directory
// separator ("/", "\") or drive colon comes after that full stop; otherwise the whole name.
std::string ZtlExtractFilePrefix(const std::string& FileName);

// Target := Proc, or Fallback when Proc is null. Drivers bind client-library entry points with
// it, a placeholder that reports the missing function being the Fallback.
void ZtlAssignProcAddress(void*& Target, void* Proc, void* Fallback);

// The same for a typed function pointer: the entry point (from ZtlGetProcAddress) or the
// placeholder, whatever the placeholder's own signature.
template <typename Fn, typename FallbackFn>
requires std::is_function_v<Fn> && std::is_function_v<FallbackFn>
void ZtlAssignProcAddress(Fn*& Target, void* Proc, FallbackFn* Fallback) {
  // Through void*, like the entry point itself: a direct cast between unrelated function types
  // draws a cast-function-type warning.
  void* const Address = Proc != nullptr ? Proc : reinterpret_cast<void*>(Fallback);
  Target = reinterpret_cast<Fn*>(Address);
}

// The address of the exported symbol Name of a library opened with dlopen, or null when the
// library lacks it (or Library or Name is null).
void* ZtlGetProcAddress(void* Library, const char* Name);

} // namespace ztl
