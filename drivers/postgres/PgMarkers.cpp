// The PostgreSQL cursor's parameter markers: the rewriting of "?" and
// ":name" markers into the server's "$n", the check that the host variables
// match them, and the host variables' values as the server takes them.
#include <algorithm>
#include <cctype>

#include "core/ZtlConsts.h"
#include "drivers/common/ZtlDriverConsts.h"
#include "drivers/postgres/PgCursor_p.h"

namespace ztl {

namespace {

bool IsIdentStart(char C) {
  return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || C == '_' ||
         static_cast<unsigned char>(C) >= 128;
}

bool IsIdentChar(char C) {
  return IsIdentStart(C) || (C >= '0' && C <= '9') || C == '$';
}

} // namespace

std::string PgRewriteMarkers(const std::string& SQL, std::int32_t& Count) {
  std::string Out;
  Out.reserve(SQL.size() + 8);
  std::vector<std::string> Names; // distinct :names, in order of first appearance
  std::vector<std::int32_t> Numbers;
  Count = 0;
  const std::size_t N = SQL.size();
  std::size_t I = 0;
  while (I < N) {
    const char C = SQL[I];
    if (C == '\'' || C == '"') {
      // A quoted string or identifier; doubled quotes stay inside. An E''
      // string also escapes quotes with backslashes.
      const bool Escapes = C == '\'' && I > 0 && (SQL[I - 1] == 'E' || SQL[I - 1] == 'e') &&
                           (I < 2 || !IsIdentChar(SQL[I - 2]));
      std::size_t J = I + 1;
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
          break;
        }
        ++J;
      }
      J = J < N ? J + 1 : N;
      Out.append(SQL, I, J - I);
      I = J;
    } else if (C == '-' && I + 1 < N && SQL[I + 1] == '-') {
      const std::size_t J = SQL.find('\n', I);
      const std::size_t End = J == std::string::npos ? N : J;
      Out.append(SQL, I, End - I);
      I = End;
    } else if (C == '/' && I + 1 < N && SQL[I + 1] == '*') {
      // Block comments nest.
      std::size_t J = I + 2;
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
      Out.append(SQL, I, J - I);
      I = J;
    } else if (C == '$' && (I == 0 || !IsIdentChar(SQL[I - 1]))) {
      // A dollar-quoted string $tag$...$tag$ (a "$1" is no tag).
      std::size_t J = I + 1;
      while (J < N && SQL[J] != '$' && IsIdentChar(SQL[J]) &&
             !(J == I + 1 && SQL[J] >= '0' && SQL[J] <= '9'))
        ++J;
      if (J < N && SQL[J] == '$') {
        const std::string Tag = SQL.substr(I, J - I + 1);
        const std::size_t Close = SQL.find(Tag, J + 1);
        const std::size_t End = Close == std::string::npos ? N : Close + Tag.size();
        Out.append(SQL, I, End - I);
        I = End;
      } else {
        Out += C;
        ++I;
      }
    } else if (C == ':' && I + 1 < N && SQL[I + 1] == ':') {
      Out += "::";
      I += 2;
    } else if (C == ':' && I + 1 < N && IsIdentStart(SQL[I + 1])) {
      std::size_t J = I + 1;
      while (J < N && IsIdentChar(SQL[J]) && SQL[J] != '$')
        ++J;
      const std::string Name = SQL.substr(I + 1, J - I - 1);
      std::int32_t Number = 0;
      for (std::size_t K = 0; K < Names.size(); ++K)
        if (Names[K].size() == Name.size() &&
            std::equal(Name.begin(), Name.end(), Names[K].begin(), [](char A, char B) {
              return std::tolower(static_cast<unsigned char>(A)) ==
                     std::tolower(static_cast<unsigned char>(B));
            }))
          Number = Numbers[K];
      if (Number == 0) {
        Number = ++Count;
        Names.push_back(Name);
        Numbers.push_back(Number);
      }
      Out += "$" + std::to_string(Number);
      I = J;
    } else if (C == '?') {
      Out += "$" + std::to_string(++Count);
      ++I;
    } else {
      Out += C;
      ++I;
    }
  }
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

bool TZantrelPgSQL::CheckParameterCount(const TStatement& Stmt, const TZantrelVariableDefs& Vars) {
  TZantrelPgSession& S = PgSession();
  if (Stmt.Name.empty())
    return S.Fail(LoadZtlStr(ZTL_ERR_STMT_NOT_PREPARED), -1);
  if (Stmt.Params != Vars.GetCount())
    return S.Fail(
        Format(SZtlParamCount, {std::int64_t{Stmt.Params}, std::int64_t{Vars.GetCount()}}),
        PgErrorCode("08P01"));
  ++S.GetStatistics().Binds;
  return true;
}

bool TZantrelPgSQL::InternalBindOpenVariables(TStringList*) {
  if (!CheckParameterCount(OpenStmt, OpenVariables))
    return false;
  OpenVariables.SetBound(true);
  return true;
}

bool TZantrelPgSQL::InternalBindExecVariables(TStringList*) {
  if (!CheckParameterCount(ExecStmt, ExecVariables))
    return false;
  ExecVariables.SetBound(true);
  return true;
}

} // namespace ztl
