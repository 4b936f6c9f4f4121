// Forward-only scans of the PostgreSQL cursor: a server-side cursor read in
// batches, so that client memory does not grow with the result.
#include <algorithm>
#include <cstring>

#include "core/ZtlConsts.h"
#include "drivers/postgres/PgCursor_p.h"

namespace ztl {

// Inside a transaction block the DECLARE runs under a savepoint: the only
// refusal that is not the query's own fault must leave the application's
// transaction as it was. Outside one a refusal ends its own implicit
// transaction. The DECLARE outside a block runs the whole query and keeps
// its rows on the server (that is what WITH HOLD costs); a failure at run
// time is then reported here, as the whole-result open would report it.
bool TZantrelPgSQL::DeclareScan(const std::vector<TParam>& Params, bool& Declined) {
  Declined = false;
  TZantrelPgSession& S = PgSession();
  const bool InBlock = Pq().transactionStatus(S.GetConnection()) == PQTRANS_INTRANS;
  if (InBlock && !S.Run("SAVEPOINT ztl_scan").Ok())
    return S.Fail(nullptr);
  const std::string Name = S.NewStatementName();
  const TPgResult R =
      RunParams("DECLARE " + Name + " NO SCROLL CURSOR WITH HOLD FOR " + OpenStmt.Text, Params);
  if (!R.Ok()) {
    const char* State = R ? Pq().resultErrorField(R.Get(), PG_DIAG_SQLSTATE) : nullptr;
    if (!State || std::strncmp(State, "0A", 2) != 0)
      return S.Fail(R.Get());
    if (InBlock)
      S.Run("ROLLBACK TO SAVEPOINT ztl_scan; RELEASE SAVEPOINT ztl_scan");
    Declined = true;
    return false;
  }
  if (InBlock && !S.Run("RELEASE SAVEPOINT ztl_scan").Ok())
    return S.Fail(nullptr);
  ScanCursor = Name;
  BatchStart = 0;
  ScanDone = false;
  Rows.Reset();
  Rewritten.clear();
  RecordCount = 0;
  return true;
}

bool TZantrelPgSQL::FetchBatch() {
  TZantrelPgSession& S = PgSession();
  const std::int32_t Batch = std::max(MaxFetchCount, 1);
  TPgResult R = S.Run(("FETCH FORWARD " + std::to_string(Batch) + " FROM " + ScanCursor).c_str());
  if (!R.Ok())
    return S.Fail(R.Get());
  const std::int32_t Got = Pq().ntuples(R.Get());
  BatchStart = RecordCount;
  Rows = std::move(R);
  // Rows written back keep their returned values only while their batch
  // is at hand; the window held rows of the batch let go.
  Rewritten.erase(Rewritten.begin(), Rewritten.lower_bound(BatchStart));
  WindowRows = BufferRows = 0;
  BufferPos = BatchStart;
  RecordCount = BatchStart + Got;
  RowsProcessed = RecordCount;
  ScanDone = Got < Batch;
  ++S.GetStatistics().Batches;
  return true;
}

bool TZantrelPgSQL::ReadUpTo(std::int32_t Row) {
  while (Row >= RecordCount && !ScanCursor.empty() && !ScanDone)
    if (!FetchBatch())
      return false;
  return true;
}

void TZantrelPgSQL::CloseScan() {
  auto* S = dynamic_cast<TZantrelPgSession*>(GetSessionObject());
  if (!ScanCursor.empty() && S && S->GetConnection() && TPgLibrary::Loaded())
    S->CloseCursor(ScanCursor);
  ScanCursor.clear();
  BatchStart = 0;
  ScanDone = true;
}

bool TZantrelPgSQL::BackwardMove() {
  return PgSession().Fail(LoadZtlStr(ZTL_ERR_CURS_BI_NOT_SUPP), -1);
}

} // namespace ztl
