// A small reader of SQLite statement text: enough tokens to tell a
// single-table SELECT from everything else.
#include "drivers/sqlite/SQLiteShape_p.h"

#include <array>
#include <cctype>
#include <vector>

namespace ztl {

namespace {

enum TTokenKind { tkEnd, tkWord, tkQuoted, tkString, tkNumber, tkPunct };

// One token: its kind, its text (a quoted identifier without its quotes)
// and where it ends in the statement.
struct TToken {
  TTokenKind Kind = tkEnd;
  std::string Text;
  std::size_t End = 0;
};

bool IsWordChar(unsigned char C) {
  return std::isalnum(C) || C == '_' || C == '$' || C >= 0x80;
}

// Reads the token at Pos (after blanks and comments).
TToken NextToken(std::string_view S, std::size_t& Pos) {
  const std::size_t N = S.size();
  for (;;) {
    while (Pos < N && std::isspace(static_cast<unsigned char>(S[Pos])))
      ++Pos;
    if (Pos + 1 < N && S[Pos] == '-' && S[Pos + 1] == '-') {
      while (Pos < N && S[Pos] != '\n')
        ++Pos;
      continue;
    }
    if (Pos + 1 < N && S[Pos] == '/' && S[Pos + 1] == '*') {
      const std::size_t Close = S.find("*/", Pos + 2);
      Pos = Close == std::string_view::npos ? N : Close + 2;
      continue;
    }
    break;
  }
  TToken T;
  if (Pos >= N) {
    T.End = N;
    return T;
  }
  const char C = S[Pos];
  const auto Quoted = [&](char Close, TTokenKind Kind) {
    ++Pos;
    for (; Pos < N; ++Pos) {
      if (S[Pos] == Close) {
        // A doubled closing quote stands for itself ([x] has no escape).
        if (Close != ']' && Pos + 1 < N && S[Pos + 1] == Close) {
          T.Text += Close;
          ++Pos;
          continue;
        }
        ++Pos;
        break;
      }
      T.Text += S[Pos];
    }
    T.Kind = Kind;
  };
  if (C == '\'')
    Quoted('\'', tkString);
  else if (C == '"')
    Quoted('"', tkQuoted);
  else if (C == '`')
    Quoted('`', tkQuoted);
  else if (C == '[')
    Quoted(']', tkQuoted);
  else if (std::isdigit(static_cast<unsigned char>(C))) {
    while (Pos < N && (IsWordChar(static_cast<unsigned char>(S[Pos])) || S[Pos] == '.'))
      T.Text += S[Pos++];
    T.Kind = tkNumber;
  } else if (IsWordChar(static_cast<unsigned char>(C))) {
    while (Pos < N && IsWordChar(static_cast<unsigned char>(S[Pos])))
      T.Text += static_cast<char>(std::toupper(static_cast<unsigned char>(S[Pos++])));
    T.Kind = tkWord;
  } else {
    T.Text = C;
    ++Pos;
    T.Kind = tkPunct;
  }
  T.End = Pos;
  return T;
}

bool IsWord(const TToken& T, const char* Word) {
  return T.Kind == tkWord && T.Text == Word;
}

// Words after which a FROM clause's table reference has ended.
bool EndsTableReference(const TToken& T) {
  static constexpr std::array<const char*, 5> Words{{"WHERE", "ORDER", "LIMIT", "INDEXED", "NOT"}};
  if (T.Kind == tkEnd || (T.Kind == tkPunct && T.Text == ";"))
    return true;
  for (const char* W : Words)
    if (IsWord(T, W))
      return true;
  return false;
}

// Words that make a top-level query more than "rows of one table".
bool SpoilsSingleTable(const TToken& T) {
  static constexpr std::array<const char*, 18> Words{
      {"DISTINCT", "GROUP", "HAVING", "WINDOW", "OVER", "UNION", "INTERSECT", "EXCEPT", "JOIN",
       "NATURAL", "LEFT", "RIGHT", "FULL", "INNER", "CROSS", "OUTER", "VALUES", "FROM"}};
  for (const char* W : Words)
    if (IsWord(T, W))
      return true;
  return T.Kind == tkPunct && T.Text == ",";
}

// An identifier: a word or a quoted name.
bool IsName(const TToken& T) {
  return T.Kind == tkWord || T.Kind == tkQuoted;
}

// The name as written: quoted names keep their letters, words were
// upper-cased by the reader and are taken again from the text.
std::string NameText(std::string_view S, const TToken& T) {
  if (T.Kind == tkQuoted)
    return T.Text;
  return std::string(S.substr(T.End - T.Text.size(), T.Text.size()));
}

} // namespace

TSQLiteSelectShape SQLiteAnalyseSelect(std::string_view SQL) {
  TSQLiteSelectShape Shape;
  std::size_t Pos = 0;
  TToken T = NextToken(SQL, Pos);
  if (!IsWord(T, "SELECT"))
    return Shape;
  std::size_t Peek = Pos;
  TToken After = NextToken(SQL, Peek);
  if (IsWord(After, "ALL"))
    Pos = Peek;
  else if (IsWord(After, "DISTINCT"))
    return Shape;
  // The result list, up to FROM at the top level.
  int Depth = 0;
  for (;;) {
    T = NextToken(SQL, Pos);
    if (T.Kind == tkEnd)
      return Shape;
    if (T.Kind == tkPunct && T.Text == "(")
      ++Depth;
    else if (T.Kind == tkPunct && T.Text == ")")
      --Depth;
    else if (Depth == 0 && IsWord(T, "FROM"))
      break;
  }
  Shape.ListEnd = T.End - 4;
  // [schema .] table [[AS] alias] [INDEXED BY name | NOT INDEXED]
  T = NextToken(SQL, Pos);
  if (!IsName(T))
    return Shape;
  std::string First = NameText(SQL, T);
  TToken Next = NextToken(SQL, Pos);
  if (Next.Kind == tkPunct && Next.Text == ".") {
    T = NextToken(SQL, Pos);
    if (!IsName(T))
      return Shape;
    Shape.Schema = First;
    Shape.Table = NameText(SQL, T);
    Next = NextToken(SQL, Pos);
  } else {
    Shape.Table = First;
  }
  if (Next.Kind == tkPunct && Next.Text == "(")
    return Shape; // a table-valued function
  if (IsWord(Next, "AS")) {
    Next = NextToken(SQL, Pos);
    if (!IsName(Next))
      return Shape;
    Next = NextToken(SQL, Pos);
  } else if (IsName(Next) && !EndsTableReference(Next) && !SpoilsSingleTable(Next)) {
    Next = NextToken(SQL, Pos);
  }
  if (IsWord(Next, "INDEXED")) {
    if (!IsWord(NextToken(SQL, Pos), "BY") || !IsName(NextToken(SQL, Pos)))
      return Shape;
    Next = NextToken(SQL, Pos);
  } else if (IsWord(Next, "NOT")) {
    if (!IsWord(NextToken(SQL, Pos), "INDEXED"))
      return Shape;
    Next = NextToken(SQL, Pos);
  }
  if (!EndsTableReference(Next) || IsWord(Next, "INDEXED") || IsWord(Next, "NOT"))
    return Shape;
  // The rest of the statement: nothing at the top level may group, combine
  // or join.
  Depth = 0;
  for (T = Next; T.Kind != tkEnd; T = NextToken(SQL, Pos)) {
    if (T.Kind == tkPunct && T.Text == "(")
      ++Depth;
    else if (T.Kind == tkPunct && T.Text == ")")
      --Depth;
    else if (Depth == 0 && T.Kind == tkPunct && T.Text == ";")
      break;
    else if (Depth == 0 && T.Kind != tkPunct && SpoilsSingleTable(T))
      return Shape;
  }
  Shape.SingleTable = !Shape.Table.empty();
  return Shape;
}

std::string SQLiteQuoteName(std::string_view Name) {
  std::string Out;
  Out.reserve(Name.size() + 2);
  Out += '"';
  for (const char C : Name) {
    if (C == '"')
      Out += '"';
    Out += C;
  }
  Out += '"';
  return Out;
}

} // namespace ztl
