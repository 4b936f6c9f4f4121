// The SQLite cursor's parameter markers: their names as SQLite reads them
// ("?", "?NNN", ":name", "@name", "$name" need no rewriting), the check that
// the host variables match them, and the binding of the host variables'
// values to them.
#include <cstring>

#include "core/ZtlConsts.h"
#include "drivers/common/ZtlDriverConsts.h"
#include "drivers/sqlite/SQLiteCursor_p.h"

namespace ztl {

std::vector<std::string> TZantrelSQLiteSQL::GetParamNames() const {
  std::vector<std::string> Names;
  sqlite3_stmt* Stmt = OpenStmt ? OpenStmt.Get() : ExecStmt.Get();
  if (!Stmt)
    return Names;
  const int Count = SQLite().bind_parameter_count(Stmt);
  for (int I = 1; I <= Count; ++I) {
    const char* Name = SQLite().bind_parameter_name(Stmt, I);
    Names.emplace_back(Name ? Name : "");
  }
  return Names;
}

bool TZantrelSQLiteSQL::CheckParameterCount(sqlite3_stmt* Stmt, const TZantrelVariableDefs& Vars) {
  TZantrelSQLiteSession& S = SQLiteSession();
  if (!Stmt)
    return S.Fail(LoadZtlStr(ZTL_ERR_STMT_NOT_PREPARED), -SQLITE_MISUSE);
  const int Wanted = SQLite().bind_parameter_count(Stmt);
  if (Wanted != Vars.GetCount())
    return S.Fail(Format(SZtlParamCount, {std::int64_t{Wanted}, std::int64_t{Vars.GetCount()}}),
                  -SQLITE_RANGE);
  ++S.GetStatistics().Binds;
  return true;
}

bool TZantrelSQLiteSQL::InternalBindOpenVariables(TStringList*) {
  if (!CheckParameterCount(OpenStmt.Get(), OpenVariables))
    return false;
  OpenVariables.SetBound(true);
  return true;
}

bool TZantrelSQLiteSQL::InternalBindExecVariables(TStringList*) {
  // Which statement of a script takes which value cannot be told.
  if (ExecScript && ExecVariables.GetCount() > 0)
    return SQLiteSession().Fail(SZtlScriptWithParams, -SQLITE_MISUSE);
  if (!ExecScript && !CheckParameterCount(ExecStmt.Get(), ExecVariables))
    return false;
  ExecVariables.SetBound(true);
  return true;
}

bool TZantrelSQLiteSQL::BindVariables(sqlite3_stmt* Stmt, const TZantrelVariableDefs& Vars) {
  const TSQLiteApi& A = SQLite();
  const std::uint8_t* Buffer = Vars.GetBuffer();
  const TZtlBuffer& Block = Vars.GetBufferBlock();
  static const char NoBytes[1] = {0};
  int Rc = SQLITE_OK;
  for (const TZantrelFieldDef* Def : Vars) {
    const int Index = Def->Index + 1;
    if (!Block.Covers(Def->Offset, Def->Size))
      return SQLiteSession().Fail("A host variable lies outside its buffer", -SQLITE_MISUSE);
    const std::uint8_t* P = Buffer + Def->Offset;
    const auto* Text = reinterpret_cast<const char*>(P);
    // The buffer lives until the next open or execute rebinds, so SQLite
    // may read it in place.
    switch (Def->FieldType) {
    case ntString:
      Rc = A.bind_text(Stmt, Index, Text,
                       static_cast<int>(strnlen(Text, static_cast<std::size_t>(Def->Size))),
                       SQLITE_STATIC);
      break;
    case ntMemo:
      Rc = A.bind_text(Stmt, Index, Def->Size > 0 ? Text : NoBytes, Def->Size, SQLITE_STATIC);
      break;
    case ntBinary:
    case ntBlob:
      Rc = A.bind_blob(Stmt, Index, Def->Size > 0 ? static_cast<const void*>(P) : NoBytes,
                       Def->Size, SQLITE_STATIC);
      break;
    case ntInteger: {
      std::int32_t V;
      std::memcpy(&V, P, sizeof V);
      Rc = A.bind_int64(Stmt, Index, V);
      break;
    }
    case ntInt64: {
      std::int64_t V;
      std::memcpy(&V, P, sizeof V);
      Rc = A.bind_int64(Stmt, Index, V);
      break;
    }
    case ntFloat: {
      double V;
      std::memcpy(&V, P, sizeof V);
      Rc = A.bind_double(Stmt, Index, V);
      break;
    }
    case ntCurrency: {
      std::int64_t V;
      std::memcpy(&V, P, sizeof V);
      Rc = A.bind_double(Stmt, Index, Currency::FromRaw(V).ToDouble());
      break;
    }
    case ntDate:
    case ntTime:
    case ntDateTime: {
      double V;
      std::memcpy(&V, P, sizeof V);
      char Out[40];
      const std::int32_t N = SQLiteFormatDateTime(V, Def->FieldType, Out);
      if (N == 0)
        return SQLiteSession().Fail(
            Format("Host variable %d holds a date outside 0001-01-01 .. 9999-12-31",
                   {std::int64_t{Index}}),
            -SQLITE_RANGE);
      Rc = A.bind_text(Stmt, Index, Out, N, SQLITE_TRANSIENT);
      break;
    }
    case ntBoolean: {
      std::uint16_t V;
      std::memcpy(&V, P, sizeof V);
      Rc = A.bind_int64(Stmt, Index, V != 0 ? 1 : 0);
      break;
    }
    default:
      Rc = A.bind_null(Stmt, Index);
      break;
    }
    if (Rc != SQLITE_OK)
      return SQLiteSession().Fail();
  }
  return true;
}

} // namespace ztl
