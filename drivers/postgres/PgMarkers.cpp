// The PostgreSQL cursor's statement texts: literals and comments read as
// the server's lexer reads them, the rewriting of "?" and ":name" markers
// into the server's "$n", the count of statements in a text, the place of
// the hidden row key in a SELECT, the check that the host variables match
// the markers, and the host variables' values as the server takes them.
#include <algorithm>
#include <vector>

#include "core/ZtlConsts.h"
#include "drivers/common/ZtlDriverConsts.h"
#include "drivers/postgres/PgCursor_p.h"

namespace ztl {

namespace {

// One rewriting pass; "?" is a marker only when Questions is set.
TPgMarkers Rewrite(std::string_view SQL, bool Questions) {
  TPgMarkers M;
  M.Text.reserve(SQL.size() + 8);
  std::vector<std::string>& Names = M.Names; // distinct :names, numbered by their place here
  std::vector<std::int32_t> Numbers;
  std::int32_t Brackets = 0; // depth of [...], where a colon separates slice bounds
  const std::size_t N = SQL.size();
  std::size_t I = 0;
  while (I < N) {
    if (const std::size_t Past = PgSkipLiteral(SQL, I); Past != I) {
      M.Text.append(SQL.substr(I, Past - I));
      I = Past;
      continue;
    }
    const char C = SQL[I];
    const char Next = I + 1 < N ? SQL[I + 1] : '\0';
    if (C == '[')
      ++Brackets;
    else if (C == ']' && Brackets > 0)
      --Brackets;
    if (C == ':' && Next == ':') {
      M.Text += "::";
      I += 2;
    } else if (C == ':' && Next != '=' && Brackets == 0 && PgIsIdentStart(Next)) {
      std::size_t J = I + 1;
      while (J < N && PgIsIdentChar(SQL[J]) && SQL[J] != '$')
        ++J;
      const std::string_view Name = SQL.substr(I + 1, J - I - 1);
      std::int32_t Number = 0;
      for (std::size_t K = 0; K < Names.size() && Number == 0; ++K)
        if (SameText(Names[K], Name))
          Number = Numbers[K];
      if (Number == 0) {
        Number = ++M.Count;
        Names.emplace_back(Name);
        Numbers.push_back(Number);
      }
      M.Named = true;
      M.Text += "$" + std::to_string(Number);
      I = J;
    } else if (C == '?' && Next == '?') {
      M.Text += Questions ? "?" : "??";
      I += 2;
    } else if (C == '?') {
      ++M.Questions;
      M.Text += Questions ? "$" + std::to_string(++M.Count) : "?";
      ++I;
    } else {
      M.Text += C;
      ++I;
    }
  }
  return M;
}

// A word of the statement's top level (outside literals, comments and
// brackets), upper-cased, and where it starts. Words are only compared with
// keywords, none longer than Room, so a longer word keeps no text (it
// equals no keyword) and reading a text allocates nothing per word.
struct TWord {
  static constexpr std::size_t Room = 15;
  char Upper[Room + 1] = {};
  std::uint8_t Length = 0;
  std::size_t Pos = 0;
  std::string_view Text() const { return {Upper, Length}; }
};

// The words of SQL's top level; First receives where the first thing other
// than blanks and comments starts.
std::vector<TWord> TopLevelWords(std::string_view SQL, std::size_t& First) {
  std::vector<TWord> Words;
  Words.reserve(32);
  First = SQL.size();
  std::int32_t Depth = 0;
  std::size_t I = 0;
  while (I < SQL.size()) {
    if (const std::size_t Past = PgSkipLiteral(SQL, I); Past != I) {
      if (!PgIsComment(SQL, I))
        First = std::min(First, I);
      I = Past;
      continue;
    }
    const char C = SQL[I];
    if (!PgIsBlank(C))
      First = std::min(First, I);
    if (C == '(' || C == '[') {
      ++Depth;
    } else if (C == ')' || C == ']') {
      Depth = std::max(0, Depth - 1);
    } else if (Depth == 0 && PgIsIdentStart(C)) {
      std::size_t J = I;
      while (J < SQL.size() && PgIsIdentChar(SQL[J]))
        ++J;
      TWord& Word = Words.emplace_back();
      Word.Pos = I;
      if (J - I <= TWord::Room) {
        // Only the ASCII letters matter: keywords are ASCII.
        for (std::size_t K = I; K < J; ++K) {
          const char Ch = SQL[K];
          Word.Upper[K - I] = Ch >= 'a' && Ch <= 'z' ? static_cast<char>(Ch - 'a' + 'A') : Ch;
        }
        Word.Length = static_cast<std::uint8_t>(J - I);
      }
      I = J;
      continue;
    } else if (PgIsIdentChar(C)) {
      // A number or a $n: read as a whole so that its tail is no word.
      while (I < SQL.size() && PgIsIdentChar(SQL[I]))
        ++I;
      continue;
    }
    ++I;
  }
  return Words;
}

} // namespace

std::size_t PgSkipLiteralAt(std::string_view SQL, std::size_t Pos) {
  const std::size_t N = SQL.size();
  if (Pos >= N)
    return Pos;
  const char C = SQL[Pos];
  const char Next = Pos + 1 < N ? SQL[Pos + 1] : '\0';
  if (C == '\'' || C == '"') {
    // Doubled quotes stay inside. An E'' string also escapes quotes with
    // backslashes.
    const bool Escapes = C == '\'' && Pos > 0 && (SQL[Pos - 1] == 'E' || SQL[Pos - 1] == 'e') &&
                         (Pos < 2 || !PgIsIdentChar(SQL[Pos - 2]));
    std::size_t J = Pos + 1;
    while (J < N) {
      if (Escapes && SQL[J] == '\\' && J + 1 < N) {
        J += 2;
        continue;
      }
      if (SQL[J] == C) {
        if (J + 1 < N && SQL[J + 1] == C) {
          J += 2;
          continue;
        }
        return J + 1;
      }
      ++J;
    }
    return N;
  }
  if (C == '-' && Next == '-') {
    const std::size_t J = SQL.find('\n', Pos);
    return J == std::string_view::npos ? N : J;
  }
  if (C == '/' && Next == '*') {
    // Block comments nest.
    std::size_t J = Pos + 2;
    int Depth = 1;
    while (J < N && Depth > 0) {
      if (SQL[J] == '/' && J + 1 < N && SQL[J + 1] == '*') {
        ++Depth;
        J += 2;
      } else if (SQL[J] == '*' && J + 1 < N && SQL[J + 1] == '/') {
        --Depth;
        J += 2;
      } else {
        ++J;
      }
    }
    return J;
  }
  if (C == '$' && (Pos == 0 || !PgIsIdentChar(SQL[Pos - 1]))) {
    // $tag$...$tag$, where a tag does not start with a digit ($1 is a
    // parameter).
    std::size_t J = Pos + 1;
    while (J < N && SQL[J] != '$' && PgIsIdentChar(SQL[J]) &&
           !(J == Pos + 1 && SQL[J] >= '0' && SQL[J] <= '9'))
      ++J;
    if (J < N && SQL[J] == '$') {
      const std::string_view Tag = SQL.substr(Pos, J - Pos + 1);
      const std::size_t Close = SQL.find(Tag, J + 1);
      return Close == std::string_view::npos ? N : Close + Tag.size();
    }
  }
  return Pos;
}

TPgMarkers PgRewriteMarkers(std::string_view SQL, bool Positional) {
  // Every marker needs one of these characters; a text without any goes to
  // the server as written (most texts an application opens once).
  if (SQL.find(':') == std::string_view::npos && SQL.find('?') == std::string_view::npos) {
    TPgMarkers M;
    M.Text = SQL;
    return M;
  }
  // Whether the text is named is known only once it was read through, so a
  // positional reading takes a second pass.
  TPgMarkers M = Rewrite(SQL, false);
  if (Positional && !M.Named && M.Questions > 0)
    M = Rewrite(SQL, true);
  return M;
}

std::int32_t PgCountStatements(std::string_view SQL) {
  if (SQL.find(';') == std::string_view::npos) {
    // One piece: a statement unless it holds nothing but blanks and comments.
    std::size_t I = 0;
    for (;;) {
      while (I < SQL.size() && PgIsBlank(SQL[I]))
        ++I;
      if (!PgIsComment(SQL, I))
        return I < SQL.size() ? 1 : 0;
      I = PgSkipLiteral(SQL, I);
    }
  }
  std::int32_t Count = 0;
  std::int32_t Depth = 0;
  bool Content = false; // the current piece holds more than blanks and comments
  std::size_t I = 0;
  while (I < SQL.size()) {
    if (const std::size_t Past = PgSkipLiteral(SQL, I); Past != I) {
      Content = Content || !PgIsComment(SQL, I);
      I = Past;
      continue;
    }
    const char C = SQL[I++];
    if (C == '(' || C == '[')
      ++Depth;
    else if (C == ')' || C == ']')
      Depth = std::max(0, Depth - 1);
    if (C == ';' && Depth == 0) {
      Count += Content ? 1 : 0;
      Content = false;
    } else if (!PgIsBlank(C)) {
      Content = true;
    }
  }
  return Count + (Content ? 1 : 0);
}

std::string PgAppendSelectColumn(std::string_view SQL, std::string_view Column) {
  if (PgCountStatements(SQL) != 1)
    return {};
  std::size_t First = 0;
  const std::vector<TWord> W = TopLevelWords(SQL, First);
  if (W.empty() || W[0].Pos != First || (W[0].Text() != "SELECT" && W[0].Text() != "WITH"))
    return {};
  // After WITH the main statement is the first top-level SELECT: the common
  // table expressions' bodies are all in parentheses.
  std::size_t Main = 0;
  while (Main < W.size() && W[Main].Text() != "SELECT") {
    const std::string_view T = W[Main].Text();
    if (T == "INSERT" || T == "UPDATE" || T == "DELETE" || T == "MERGE" || T == "VALUES" ||
        T == "TABLE")
      return {};
    ++Main;
  }
  if (Main + 1 >= W.size() || W[Main + 1].Text() == "DISTINCT")
    return {};
  std::size_t From = 0;
  for (std::size_t K = Main + 1; K < W.size(); ++K) {
    const std::string_view T = W[K].Text();
    // Shapes whose rows or columns a further column would change.
    if (T == "UNION" || T == "INTERSECT" || T == "EXCEPT" || T == "GROUP" || T == "HAVING" ||
        (T == "INTO" && From == 0))
      return {};
    // "a IS [NOT] DISTINCT FROM b" is an operator, not the FROM clause.
    if (From == 0 && T == "FROM" && W[K - 1].Text() != "DISTINCT")
      From = K;
  }
  if (From == 0)
    return {};
  const std::size_t At = W[From].Pos;
  std::string Out(SQL.substr(0, At));
  Out += ", ";
  Out += Column;
  Out += ' ';
  Out += SQL.substr(At);
  return Out;
}

std::vector<TZantrelPgSQL::TParam> TZantrelPgSQL::VariableParams(const TZantrelVariableDefs& Vars) {
  std::vector<TParam> Params;
  const std::uint8_t* Buf = Vars.GetBuffer();
  for (const TZantrelFieldDef* Def : Vars) {
    TParam P;
    if (Buf && Vars.GetBufferBlock().Covers(Def->Offset, Def->Size)) {
      const std::uint8_t* V = Buf + Def->Offset;
      switch (Def->FieldType) {
      case ntUnknown:
        break;
      case ntMemo:
      case ntBlob:
        P.Text.assign(reinterpret_cast<const char*>(V), static_cast<std::size_t>(Def->Size));
        P.Null = false;
        P.Binary = Def->FieldType == ntBlob;
        break;
      default:
        P.Text = PgFormatValue(Def->FieldType, V, Def->Size);
        P.Null = false;
        break;
      }
    }
    Params.push_back(std::move(P));
  }
  return Params;
}

bool TZantrelPgSQL::BindStatement(bool Open) {
  TZantrelPgSession& S = PgSession();
  TStatement& Stmt = Open ? OpenStmt : ExecStmt;
  TZantrelVariableDefs& Vars = Open ? OpenVariables : ExecVariables;
  if (Stmt.Script) {
    if (Vars.GetCount() > 0)
      return S.Fail(SZtlScriptWithParams, PgErrorCode("0A000"));
  } else {
    if (Stmt.Name.empty() && !Stmt.Deferred)
      return S.Fail(LoadZtlStr(ZTL_ERR_STMT_NOT_PREPARED), -1);
    // A text prepared before its values were known read its "?"s for
    // another number of values: they are markers exactly when values come.
    const bool Positional = Vars.GetCount() > 0;
    if (!Stmt.Named && Stmt.Questions > 0 && Stmt.Positional != Positional) {
      const std::string SQL = Open ? OpenSQL : ExecSQL;
      if (Open) {
        InternalUnprepareOpen();
        if (!InternalPrepareOpen(SQL))
          return false;
      } else if (!PrepareOnServer(SQL, ExecStmt, Positional, true)) {
        return false;
      }
    }
    if (Stmt.Params != Vars.GetCount())
      return S.Fail(
          Format(SZtlParamCount, {std::int64_t{Stmt.Params}, std::int64_t{Vars.GetCount()}}),
          PgErrorCode("08P01"));
  }
  ++S.GetStatistics().Binds;
  Vars.SetBound(true);
  return true;
}

bool TZantrelPgSQL::InternalBindOpenVariables(TStringList*) {
  return BindStatement(true);
}

bool TZantrelPgSQL::InternalBindExecVariables(TStringList*) {
  return BindStatement(false);
}

bool PgDeclarable(std::string_view SQL) {
  if (PgCountStatements(SQL) != 1)
    return false;
  std::size_t First = 0;
  const std::vector<TWord> W = TopLevelWords(SQL, First);
  if (W.empty() || W[0].Pos != First)
    return false;
  // After WITH the main statement is the first top-level keyword that
  // starts one: the common table expressions' bodies are in parentheses.
  for (const TWord& Word : W) {
    const std::string_view T = Word.Text();
    if (T == "SELECT" || T == "VALUES" || T == "TABLE")
      return true;
    if (&Word == &W[0] ? T != "WITH"
                       : (T == "INSERT" || T == "UPDATE" || T == "DELETE" || T == "MERGE"))
      return false;
  }
  return false;
}

} // namespace ztl
