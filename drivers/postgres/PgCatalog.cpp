// The PostgreSQL driver's catalog: the sys.* relation names of a statement
// found as the server's lexer reads the text, and replaced by sub-queries
// over pg_catalog.
#include "drivers/postgres/PgCatalog_p.h"

#include <array>
#include <string>

#include "drivers/postgres/PgMarkers_p.h"

namespace ztl {
namespace {

// The schemas the user may use, numbered as the header describes;
// ztl_schema is the schema's OID, for the joins of the other relations.
#define ZTL_PG_USERS                                                                               \
  "SELECT (row_number() OVER (ORDER BY array_position(current_schemas(false), n.nspname), "        \
  "n.nspname = 'public' DESC, n.nspname))::int4 AS user_id, "                                      \
  "n.nspname::varchar(63) AS user_name, n.oid AS ztl_schema "                                      \
  "FROM pg_catalog.pg_namespace n "                                                                \
  "WHERE has_schema_privilege(n.oid, 'USAGE') AND n.nspname NOT LIKE 'pg\\_%' "                    \
  "AND n.nspname <> 'information_schema'"

// The relations the catalog lists, in the schemas of ZTL_PG_USERS (as u).
// A partition is part of its partitioned table, which is listed.
#define ZTL_PG_RELATIONS                                                                           \
  "pg_catalog.pg_class c JOIN (" ZTL_PG_USERS ") u ON u.ztl_schema = c.relnamespace "              \
  "WHERE c.relkind IN ('r', 'p', 'v', 'm', 'f') AND NOT c.relispartition"

// Every column is an expression rather than a plain catalog column, so the
// cursor never takes a catalog result for rows it could write back.
struct TRelationDef {
  const char* Name;     // the relation's name after "sys."
  std::uint32_t Bit;    // its TPgCatalogRelation
  const char* SubQuery; // what replaces it
};

constexpr std::array<TRelationDef, 4> Relations{{
    {"systable", pcrTable,
     "SELECT c.oid::int8 AS table_id, c.relname::varchar(63) AS table_name, "
     "(CASE WHEN c.relkind IN ('r', 'p') THEN 'BASE' WHEN c.relkind = 'v' THEN 'VIEW' "
     "WHEN c.relkind = 'm' THEN 'MATVIEW' ELSE 'FOREIGN' END)::varchar(8) AS table_type, "
     "u.user_id AS creator FROM " ZTL_PG_RELATIONS},
    {"syscolumn", pcrColumn,
     "SELECT a.attrelid::int8 AS table_id, a.attnum::int4 AS column_id, "
     "a.attname::varchar(63) AS column_name "
     "FROM pg_catalog.pg_attribute a, " ZTL_PG_RELATIONS
     " AND c.oid = a.attrelid AND a.attnum > 0 AND NOT a.attisdropped"},
    {"sysprocedure", pcrProcedure,
     "SELECT DISTINCT ON (p.pronamespace, p.proname) p.oid::int8 AS proc_id, "
     "p.proname::varchar(63) AS proc_name, u.user_id AS creator "
     "FROM pg_catalog.pg_proc p JOIN (" ZTL_PG_USERS ") u ON u.ztl_schema = p.pronamespace "
     "WHERE p.prokind IN ('f', 'p') ORDER BY p.pronamespace, p.proname, p.oid"},
    {"sysuserperms", pcrUser, "SELECT u.user_id, u.user_name FROM (" ZTL_PG_USERS ") u"},
}};

#undef ZTL_PG_RELATIONS
#undef ZTL_PG_USERS

// Words that may follow a table reference without being its alias: the
// server's reserved words and the ones reserved but for functions and types.
// The words are written between blanks, so that a whole word is found.
constexpr std::string_view NotAnAlias =
    " all analyse analyze and any array asc asymmetric authorization between binary both case "
    "cast check collate collation column concurrently constraint create cross current_catalog "
    "current_date current_role current_schema current_time current_timestamp current_user "
    "default deferrable desc distinct do else end except false fetch for foreign freeze from "
    "full grant group having ilike in initially inner intersect into is isnull join lateral "
    "leading left like limit localtime localtimestamp natural not notnull null offset on only "
    "or order outer overlaps placing primary references returning right select session_user "
    "similar some symmetric system_user table tablesample then to trailing true union unique "
    "user using variadic verbose when where window with ";

bool SameWord(std::string_view Word, std::string_view Lower) {
  if (Word.size() != Lower.size())
    return false;
  for (std::size_t I = 0; I < Word.size(); ++I) {
    char C = Word[I];
    if (C >= 'A' && C <= 'Z')
      C = static_cast<char>(C - 'A' + 'a');
    if (C != Lower[I])
      return false;
  }
  return true;
}

// Word in lower case between two blanks, to be found in a list of words
// written that way.
std::string BlankedWord(std::string_view Word) {
  std::string Key = " ";
  for (const char C : Word)
    Key += C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C;
  Key += ' ';
  return Key;
}

std::size_t WordEnd(std::string_view SQL, std::size_t Pos) {
  while (Pos < SQL.size() && PgIsIdentChar(SQL[Pos]))
    ++Pos;
  return Pos;
}

std::size_t SkipBlanks(std::string_view SQL, std::size_t Pos) {
  while (Pos < SQL.size() && PgIsBlank(SQL[Pos]))
    ++Pos;
  return Pos;
}

// Past the blanks and comments at Pos.
std::size_t SkipBlanksAndComments(std::string_view SQL, std::size_t Pos) {
  for (;;) {
    Pos = SkipBlanks(SQL, Pos);
    if (!PgIsComment(SQL, Pos))
      return Pos;
    Pos = PgSkipLiteral(SQL, Pos);
  }
}

// The relation a word names, or null.
const TRelationDef* RelationNamed(std::string_view Word) {
  for (const TRelationDef& R : Relations)
    if (SameWord(Word, R.Name))
      return &R;
  return nullptr;
}

// What follows a table reference that ends at Pos.
enum class TFollower { Alias, Column, Other };

TFollower FollowerAt(std::string_view SQL, std::size_t Pos) {
  Pos = SkipBlanksAndComments(SQL, Pos);
  if (Pos >= SQL.size())
    return TFollower::Other;
  if (SQL[Pos] == '.')
    return TFollower::Column;
  if (SQL[Pos] == '"')
    return TFollower::Alias;
  if (!PgIsIdentStart(SQL[Pos]))
    return TFollower::Other;
  const std::string_view Word = SQL.substr(Pos, WordEnd(SQL, Pos) - Pos);
  if (SameWord(Word, "as"))
    return TFollower::Alias;
  return NotAnAlias.find(BlankedWord(Word)) == std::string_view::npos ? TFollower::Alias
                                                                      : TFollower::Other;
}

// True when the relation named right after the word Before (and ending
// at End) is the object a statement defines or writes (CREATE TABLE,
// INSERT INTO, UPDATE, CREATE INDEX ... ON, ...): such a name means a real
// relation of a schema "sys", which the user is making or changing, so it
// is never replaced. "ON" before a column qualifier is a join condition.
bool IsDefinedOrWritten(std::string_view Before, std::string_view SQL, std::size_t End) {
  if (Before.empty())
    return false;
  const std::string Key = BlankedWord(Before);
  if (Key == " on ")
    return FollowerAt(SQL, End) != TFollower::Column;
  constexpr std::string_view Targets =
      " table into update exists view only truncate copy analyze analyse vacuum cluster ";
  return Targets.find(Key) != std::string_view::npos;
}

// Calls Found(Begin, End, Relation) for every reference, in text order,
// [Begin, End) spanning "sys . relation".
template <class F>
void ForEachReference(std::string_view SQL, F&& Found) {
  const std::size_t N = SQL.size();
  // The last character before the current one that is no blank: a name
  // after "." is qualified further on the left, one after ":" is a host
  // variable. Comments do not count; a literal is no full stop.
  char Prev = '\0';
  // The word right before, when nothing but blanks and comments came since.
  std::string_view PrevWord;
  std::size_t I = 0;
  while (I < N) {
    if (const std::size_t Past = PgSkipLiteral(SQL, I); Past != I) {
      if (!PgIsComment(SQL, I)) {
        Prev = '\'';
        PrevWord = {};
      }
      I = Past;
      continue;
    }
    const char C = SQL[I];
    if (C >= '0' && C <= '9') {
      // A number, with any letters glued to it, is no name.
      while (I < N && (PgIsIdentChar(SQL[I]) || SQL[I] == '.'))
        ++I;
      Prev = '0';
      PrevWord = {};
      continue;
    }
    if (!PgIsIdentStart(C)) {
      if (!PgIsBlank(C)) {
        Prev = C;
        PrevWord = {};
      }
      ++I;
      continue;
    }
    const std::size_t End = WordEnd(SQL, I);
    const bool Qualifiable = Prev != '.' && Prev != ':';
    const std::string_view Before = PrevWord;
    Prev = 'a';
    PrevWord = SQL.substr(I, End - I);
    if (Qualifiable && SameWord(SQL.substr(I, End - I), "sys")) {
      const std::size_t Dot = SkipBlanks(SQL, End);
      if (Dot < N && SQL[Dot] == '.') {
        const std::size_t Name = SkipBlanks(SQL, Dot + 1);
        if (Name < N && PgIsIdentStart(SQL[Name])) {
          const std::size_t NameEnd = WordEnd(SQL, Name);
          if (const TRelationDef* R = RelationNamed(SQL.substr(Name, NameEnd - Name));
              R && !IsDefinedOrWritten(Before, SQL, NameEnd)) {
            Found(I, NameEnd, *R);
            I = NameEnd;
            PrevWord = {};
            continue;
          }
        }
      }
    }
    I = End;
  }
}

} // namespace

const char* const PgOwnCatalogQuery =
    "SELECT c.relname FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n "
    "ON n.oid = c.relnamespace WHERE n.nspname = 'sys' "
    "AND c.relname IN ('systable', 'syscolumn', 'sysprocedure', 'sysuserperms')";

// Whether "sys" appears anywhere, in any case: every statement is asked
// whether it names the catalog, and almost none does, so the lexer runs
// only for a text that could.
static bool MayNameCatalog(std::string_view SQL) {
  for (std::size_t I = 0; I + 2 < SQL.size(); ++I)
    if ((SQL[I] | 0x20) == 's' && (SQL[I + 1] | 0x20) == 'y' && (SQL[I + 2] | 0x20) == 's')
      return true;
  return false;
}

std::uint32_t PgCatalogReferences(std::string_view SQL) {
  if (!MayNameCatalog(SQL))
    return 0;
  std::uint32_t Set = 0;
  ForEachReference(SQL, [&](std::size_t, std::size_t, const TRelationDef& R) { Set |= R.Bit; });
  return Set;
}

std::string PgRewriteCatalog(std::string_view SQL, std::uint32_t Wanted) {
  std::string Result;
  std::size_t Copied = 0;
  ForEachReference(SQL, [&](std::size_t Begin, std::size_t End, const TRelationDef& R) {
    if ((Wanted & R.Bit) == 0)
      return;
    Result.append(SQL.substr(Copied, Begin - Copied));
    switch (FollowerAt(SQL, End)) {
    case TFollower::Column:
      Result += R.Name;
      break;
    case TFollower::Alias:
      Result += std::string("(") + R.SubQuery + ")";
      break;
    case TFollower::Other:
      Result += std::string("(") + R.SubQuery + ") AS " + R.Name;
      break;
    }
    Copied = End;
  });
  Result.append(SQL.substr(Copied));
  return Result;
}

} // namespace ztl
