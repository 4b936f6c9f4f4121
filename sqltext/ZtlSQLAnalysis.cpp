// Statement analysis on top of the tokenizer: the first table, the ORDER BY items with their
// directions, and the parameter names.
#include "sqltext/ZtlUtil.h"

#include <string_view>

namespace ztl {
namespace {

// Walks the tokens of one statement and keeps the current clause. A NUL inside the string ends
// the text, as for every NUL-terminated buffer the tokenizer reads.
class TSQLTokenReader {
public:
  explicit TSQLTokenReader(const std::string& SQL) : Position(SQL.c_str()) {}

  // Reads the next token; a clause keyword becomes the current clause.
  TZantrelSQLTokenKind Next() {
    const TZantrelSQLTokenKind Kind = ZtlReadSQLToken(Position, Text, Clause);
    if (ZtlIsClauseKeyword(Kind))
      Clause = Kind;
    return Kind;
  }

  const std::string& GetText() const { return Text; }
  TZantrelSQLTokenKind GetClause() const { return Clause; }

private:
  const char* Position;                 // where the next token starts
  std::string Text;                     // text of the last token read
  TZantrelSQLTokenKind Clause = skNone; // the last clause keyword seen
};

const std::string ListSeparator = ";";

} // namespace

std::string ZtlGetTableNameFromSQL(const std::string& SQL) {
  std::string Result;
  TSQLTokenReader Reader(SQL);
  for (;;) {
    const TZantrelSQLTokenKind Kind = Reader.Next();
    if (Kind == skEnd)
      return Result;
    if (Kind == skFrom)
      break;
  }
  for (;;) {
    const TZantrelSQLTokenKind Kind = Reader.Next();
    if (ZtlIsClauseKeyword(Kind)) {
      if (Kind != skFrom)
        return Result;
    } else if (Kind == skTableName || Kind == skValue) {
      // A qualifier is followed by the word after its full stop, which names the table.
      Result = Reader.GetText();
      if (Reader.Next() == skFieldName)
        Result = Reader.GetText();
      return Result;
    } else if (Kind == skEnd) {
      return Result;
    }
  }
}

std::string ZtlGetOrderByFromSQL(const std::string& SQL, std::string& Directions) {
  std::string Result;
  Directions.clear();
  TSQLTokenReader Reader(SQL);
  for (;;) {
    const TZantrelSQLTokenKind Kind = Reader.Next();
    if (Kind == skEnd)
      return Result;
    if (Kind == skOrderBy)
      break;
  }
  // An item's direction is written once it is known: at the next item, at DESC, or at the end.
  bool Pending = false;
  for (;;) {
    const TZantrelSQLTokenKind Kind = Reader.Next();
    if (Kind == skFieldName || Kind == skValue || Kind == skNumber) {
      if (Pending)
        ZtlConcateEmptyField(Directions, ListSeparator, "ASC");
      ZtlConcateEmptyField(Result, ListSeparator, Reader.GetText());
      Pending = true;
    } else if (Kind == skDescending) {
      ZtlConcateEmptyField(Directions, ListSeparator, "DESC");
      Pending = false;
    }
    if (Reader.GetClause() != skOrderBy || Kind == skEnd)
      break;
  }
  if (Pending)
    ZtlConcateEmptyField(Directions, ListSeparator, "ASC");
  return Result;
}

std::string ZtlGetParamsFromSQL(const std::string& SQL) {
  std::string Result;
  TSQLTokenReader Reader(SQL);
  for (TZantrelSQLTokenKind Kind = Reader.Next(); Kind != skEnd; Kind = Reader.Next()) {
    if (Kind != skFieldName)
      continue;
    // Only the first colon of a word counts; a colon at the very end names nothing.
    const std::string_view Word = Reader.GetText();
    const std::size_t Colon = Word.find(':');
    if (Colon == std::string_view::npos || Colon + 1 >= Word.size())
      continue;
    const std::string_view Rest = Word.substr(Colon + 1);
    const std::string_view Name = Rest.substr(0, Rest.find_first_of(" ),"));
    ZtlConcateEmptyField(Result, ListSeparator, std::string(Name));
  }
  return Result;
}

} // namespace ztl
