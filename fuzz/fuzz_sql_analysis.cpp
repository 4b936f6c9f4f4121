// Fuzz entry for the SQL text analysis and the list and string helpers: arbitrary bytes as
// statement text, with the tokenizer's progress and bounds checked on every token.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sqltext/ZtlUtil.h"

using namespace ztl;

namespace {

// Stops the run with a crash that libFuzzer records; the helpers never raise, so a broken
// invariant is the only way a finding shows.
void Require(bool Condition) {
  if (!Condition)
    std::abort();
}

// Every token but the last moves forward, nothing moves past the NUL that ends the text, and
// the last token is skEnd on that NUL.
void CheckTokenStream(const std::string& SQL) {
  const char* Position = SQL.c_str();
  const char* const End = Position + std::strlen(Position);
  TZantrelSQLTokenKind Clause = skNone;
  std::string Text;
  for (std::size_t Tokens = 0;; ++Tokens) {
    Require(Tokens <= SQL.size());
    const char* const Before = Position;
    const TZantrelSQLTokenKind Kind = ZtlReadSQLToken(Position, Text, Clause);
    Require(Position <= End);
    if (Kind == skEnd) {
      Require(Position == End && Text.empty());
      return;
    }
    Require(Position > Before);
    if (ZtlIsClauseKeyword(Kind))
      Clause = Kind;
  }
}

// Splits a list item by item and checks each item is a piece of the list.
void CheckListItems(const std::string& List, const std::string& Separator) {
  for (int Index = -1; Index <= 8; ++Index) {
    const std::string Item = ZtlExtractField(List, Separator, Index);
    Require(Item.empty() || List.find(Item) != std::string::npos);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string SQL(reinterpret_cast<const char*>(Data), Size);
  CheckTokenStream(SQL);

  std::string Directions;
  const std::string OrderBy = ZtlGetOrderByFromSQL(SQL, Directions);
  const std::string Table = ZtlGetTableNameFromSQL(SQL);
  const std::string Params = ZtlGetParamsFromSQL(SQL);
  for (int Index = 1; Index <= 8; ++Index) {
    const std::string Direction = ZtlExtractField(Directions, ";", Index);
    Require(Direction.empty() || Direction == "ASC" || Direction == "DESC");
  }
  CheckListItems(OrderBy, ";");
  CheckListItems(Params, ";");

  // The input itself as a list, with a separator and a character set taken from its start.
  const std::string Head = SQL.substr(0, 3);
  CheckListItems(SQL, Head.substr(0, 1));
  CheckListItems(SQL, Head);
  std::string List = Table;
  ZtlConcateField(List, ";", Params);
  ZtlConcateEmptyField(List, Head, OrderBy);
  // Every character of the set becomes the replacement once, even one that holds set characters.
  const std::string Replacement = Head.substr(0, 2);
  std::size_t Replaced = 0;
  for (const char C : SQL)
    Replaced += Head.find(C) != std::string::npos ? 1 : 0;
  Require(ZtlReplaceChar(Head, Replacement, SQL).size() ==
          SQL.size() - Replaced + Replaced * Replacement.size());
  ZtlExtractFilePrefix(SQL);

  std::vector<char> Buffer(SQL.begin(), SQL.end());
  Buffer.push_back('\0');
  const std::size_t Length = std::strlen(Buffer.data());
  Require(std::strlen(ZtlTrimTrailBlanks(Buffer.data())) <= Length);
  return 0;
}
