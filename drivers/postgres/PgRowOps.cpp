// Row operations of the PostgreSQL cursor: update, insert and delete of the
// current row of a single-table result, found by primary key or ctid.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/ZtlConsts.h"
#include "drivers/common/ZtlDriverConsts.h"
#include "drivers/postgres/PgBlobStream.h"
#include "drivers/postgres/PgCursor_p.h"
#include "drivers/postgres/PgRelations_p.h"
#include "drivers/postgres/PgSession.h"

namespace ztl {

bool TZantrelPgSQL::CheckWritable() {
  TZantrelPgSession& S = PgSession();
  if (!Opened)
    return S.Fail(LoadZtlStr(ZTL_ERR_CURS_NOT_OPENED), -1);
  if (ReadOnly)
    return S.Fail(LoadZtlStr(ZTL_ERR_CURS_READ_ONLY), -1);
  if (!Updatable)
    return S.Fail(ReadOnlyReason + "; its rows cannot be written", PgErrorCode("55000"));
  return Connected() && CheckFacts();
}

TZantrelPgSQL::TParam TZantrelPgSQL::ColumnParam(const TColumn& C, const std::uint8_t* Row,
                                                 const std::uint8_t* Nulls, bool Fetched) {
  TParam P;
  const std::int32_t Index = static_cast<std::int32_t>(&C - Columns.data());
  if (IsNull(Nulls, Index))
    return P;
  P.Null = false;
  if (IsBlobFieldType(C.Type)) {
    if (const TZantrelPgBlobStream* S = StreamOf(C))
      P.Text = Fetched ? S->GetFetched() : S->GetValue();
    P.Binary = C.Oid == pgBytea;
  } else {
    P.Text = PgFormatValue(C.Type, Row + C.Offset, C.Size);
  }
  return P;
}

std::string TZantrelPgSQL::KeyCondition(std::vector<TParam>& Params) {
  std::string Where;
  for (const TColumn& C : Columns) {
    if (C.Key == kiRegularField)
      continue;
    Where += Where.empty() ? " WHERE " : " AND ";
    Params.push_back(ColumnParam(C, OldRow.Data(), OldNulls.Data(), true));
    Where += C.Attr + " = $" + std::to_string(Params.size());
    if (C.Key == kiHiddenKeyField)
      Where += "::tid";
  }
  return Where;
}

std::string TZantrelPgSQL::ReturningList() const {
  std::vector<const TColumn*> Order;
  for (const TColumn& C : Columns)
    Order.push_back(&C);
  std::sort(Order.begin(), Order.end(),
            [](const TColumn* A, const TColumn* B) { return A->StmtColumn < B->StmtColumn; });
  std::string List;
  for (const TColumn* C : Order)
    List += (List.empty() ? "" : ", ") + C->Attr;
  return List;
}

bool TZantrelPgSQL::ColumnChanged(const TColumn& C) {
  return C.Key != kiHiddenKeyField && IsFieldDirty(Variant(C.Name));
}

bool TZantrelPgSQL::RunSingleRowWrite(const std::string& SQL, const std::vector<TParam>& Params,
                                      const char* What, std::int32_t Keep) {
  TZantrelPgSession& S = PgSession();
  if (!S.EnsureTransaction())
    return false;
  // The write runs in its own transaction, or under a savepoint inside an
  // open one, so that a write touching more or less than one row is undone
  // without disturbing anything else.
  const bool InBlock = Pq().transactionStatus(S.GetConnection()) != PQTRANS_IDLE;
  if (!S.Run(InBlock ? "SAVEPOINT ztl_row" : "BEGIN").Ok())
    return S.Fail(nullptr);
  const auto Undo = [&] {
    if (InBlock) {
      S.Run("ROLLBACK TO SAVEPOINT ztl_row");
      S.Run("RELEASE SAVEPOINT ztl_row");
    } else {
      S.Run("ROLLBACK");
    }
  };
  TPgResult R = RunParams(SQL, Params);
  if (!R.Ok()) {
    // A name the server does not know (class 42) may be one the kept
    // facts still hold after another connection renamed or dropped it.
    const char* State = R ? Pq().resultErrorField(R.Get(), PG_DIAG_SQLSTATE) : nullptr;
    if (State && std::strncmp(State, "42", 2) == 0)
      S.GetRelationCache().Forget(BaseOid);
    S.Fail(R.Get());
    Undo();
    return false;
  }
  const int Count = std::atoi(Pq().cmdTuples(R.Get()));
  if (Count != 1) {
    Undo();
    return S.Fail(ZtlRowCountMisfit(What, Count, BaseTable), PgErrorCode("21000"));
  }
  if (InBlock) {
    const TPgResult Done = S.Run("RELEASE SAVEPOINT ztl_row");
    if (!Done.Ok())
      return S.Fail(Done.Get());
  } else if (!S.RunCommit()) {
    return false;
  }
  RowsProcessed = 1; // the row written, not the open result's count
  if (Pq().nfields(R.Get()) > 0) {
    if (!ShowSingleRow(R.Get(), Keep))
      return false;
    if (Keep >= 0)
      Rewritten[Keep] = std::move(R);
  }
  return true;
}

bool TZantrelPgSQL::UpdateRecord() {
  if (!CheckWritable())
    return false;
  std::vector<TParam> Params;
  std::string Set;
  for (const TColumn& C : Columns) {
    if (!ColumnChanged(C))
      continue;
    Params.push_back(ColumnParam(C, CurrentRow.Data(), CurrentNulls.Data(), false));
    Set += (Set.empty() ? "" : ", ") + C.Attr + " = $" + std::to_string(Params.size());
  }
  // Nothing changed: the row stays as it is, but still has to exist.
  const bool NothingChanged = Set.empty();
  if (NothingChanged)
    Set = Columns.front().Attr + " = " + Columns.front().Attr;
  const std::string SQL = "UPDATE " + BaseTable + " SET " + Set + KeyCondition(Params) +
                          " RETURNING " + ReturningList();
  const std::int32_t Keep = Position >= 0 && Position < RecordCount ? Position : -1;
  if (!RunSingleRowWrite(SQL, Params, "update", Keep))
    return false;
  if (NothingChanged)
    RowsProcessed = 0;
  return true;
}

bool TZantrelPgSQL::InsertRecord() {
  if (!CheckWritable())
    return false;
  std::vector<TParam> Params;
  std::string Names, Values;
  for (std::size_t I = 0; I < Columns.size(); ++I) {
    const TColumn& C = Columns[I];
    // Null columns are left out, so that the table's defaults (serial keys)
    // apply to them.
    if (C.Key == kiHiddenKeyField || IsNull(CurrentNulls.Data(), static_cast<std::int32_t>(I)))
      continue;
    Params.push_back(ColumnParam(C, CurrentRow.Data(), CurrentNulls.Data(), false));
    Names += (Names.empty() ? "" : ", ") + C.Attr;
    Values += (Values.empty() ? "$" : ", $") + std::to_string(Params.size());
  }
  const std::string SQL =
      "INSERT INTO " + BaseTable +
      (Names.empty() ? " DEFAULT VALUES" : " (" + Names + ") VALUES (" + Values + ")") +
      " RETURNING " + ReturningList();
  return RunSingleRowWrite(SQL, Params, "insert", -1);
}

bool TZantrelPgSQL::DeleteRecord() {
  if (!CheckWritable())
    return false;
  std::vector<TParam> Params;
  const std::string SQL = "DELETE FROM " + BaseTable + KeyCondition(Params);
  return RunSingleRowWrite(SQL, Params, "delete", -1);
}

} // namespace ztl
