// Array executions of the PostgreSQL cursor: the elements of one prepared
// statement sent through libpq's pipeline mode, so that a batch costs a
// round trip per chunk of elements instead of one per element.
#include <cstdlib>
#include <cstring>

#include "drivers/postgres/PgCursor_p.h"

namespace ztl {

namespace {

// Elements sent before their results are read. The results of a statement
// without rows are a few dozen bytes each, so a chunk's answers fit the
// socket's buffer: the server never stops reading because its writes are
// blocked while the chunk is still being sent.
constexpr std::size_t PipelineChunk = 256;

// The first result of the next query of the pipeline, its further results
// read and dropped; null when the connection failed.
TPgResult NextResult(PGconn* C) {
  TPgResult First;
  while (PGresult* P = Pq().getResult(C)) {
    if (!First)
      First = TPgResult(P);
    else
      Pq().clear(P);
  }
  return First;
}

// Reads the answer to a pipelineSync once every query before it has been
// read. False when it does not come (the connection failed).
bool ReachSync(PGconn* C) {
  // A null between the last query's results and the sync would be read
  // here; more than one means the sync is not coming.
  for (int Tries = 0; Tries < 2; ++Tries) {
    const TPgResult R(Pq().getResult(C));
    if (R && Pq().resultStatus(R.Get()) == PGRES_PIPELINE_SYNC)
      return true;
  }
  return false;
}

} // namespace

void TZantrelPgSQL::InternalExecuteArray(const std::string* SQL,
                                         std::span<const TZtlVarParams> Rows, bool StopOnError,
                                         TZantrelArrayResult& Result) {
  // Elements the pipeline cannot take (the first, which prepares and binds;
  // one of another shape; every one after a failure inside a transaction
  // block, which the server refuses with its own words) run one by one.
  std::size_t I = 0;
  while (I < Rows.size()) {
    bool Stop = false;
    const std::size_t Done = PipelineElements(SQL, Rows, I, StopOnError, Result, Stop);
    if (Stop)
      return;
    if (Done > 0) {
      I += Done;
      continue;
    }
    if (!RunArrayElement(SQL, Rows[I], static_cast<std::int32_t>(I), Result) && StopOnError)
      return;
    ++I;
  }
}

// Inside a transaction block (a user transaction, or AutoCommit off) the
// elements share one sync: a failure at k makes the server skip the rest
// (PGRES_PIPELINE_ABORTED) and aborts the block, which is where the
// one-by-one loop leaves it too; the skipped elements are left to that loop,
// which stops or reports the server's refusal for each. Outside a block a
// sync follows every element, so each commits on its own as the loop's
// autocommit does; there a failure cannot keep later elements from running,
// so StopOnError keeps the loop.
std::size_t TZantrelPgSQL::PipelineElements(const std::string* SQL,
                                            std::span<const TZtlVarParams> Rows,
                                            std::size_t From, bool StopOnError,
                                            TZantrelArrayResult& Result, bool& Stop) {
  TZantrelPgSession& S = PgSession();
  PGconn* C = S.GetConnection();
  // A named statement without result rows (whose answers stay small, see
  // PipelineChunk), bound for the values' shape by an element before.
  if (!Pq().HasPipeline() || !C || Pq().status(C) != CONNECTION_OK || Rows.size() - From < 2 ||
      !PreparedForExecute || !ExecVariables.GetBound() || ExecStmt.Script || ExecStmt.Deferred ||
      ExecStmt.Unnamed || ExecStmt.Name.empty() || !ExecStmt.Description ||
      Pq().nfields(ExecStmt.Description.Get()) > 0 || (SQL && *SQL != ExecSQL))
    return 0;
  const PGTransactionStatusType Status = Pq().transactionStatus(C);
  const bool InBlock = Status == PQTRANS_INTRANS;
  // A block the session is yet to begin is begun by an element of the loop.
  if (!InBlock &&
      (Status != PQTRANS_IDLE || StopOnError || S.GetInTransaction() || !S.GetAutoCommit()))
    return 0;
  if (Pq().enterPipelineMode(C) != 1)
    return 0;
  const auto Send = [&](const std::vector<TParam>& Params) {
    const TParamArrays A(Params);
    return Pq().sendQueryPrepared(C, ExecStmt.Name.c_str(), A.Count(), A.ValuesOrNull(),
                                  A.LengthsOrNull(), A.FormatsOrNull(), 0) == 1;
  };

  std::size_t Handled = 0; // elements From .. From+Handled-1 are in Result
  std::size_t Next = From; // the next element to send
  bool More = true;        // the next element may still join the pipeline
  bool Failed = false;     // an element failed inside the block
  bool Lost = false;       // the statement's name is gone, outside a block
  bool Broken = false;     // the connection failed: nothing more comes
  while (More && !Failed && !Lost && !Broken && Next < Rows.size()) {
    std::size_t Sent = 0;
    while (Sent < PipelineChunk && Next < Rows.size()) {
      // Values the loop would refuse, or of another shape, are left to it.
      try {
        InternalSetVariables(InternalCheckVarValues(Rows[Next]), ExecVariables);
      } catch (const Exception&) {
        More = false;
        break;
      }
      if (!ExecVariables.GetBound()) {
        More = false;
        break;
      }
      OutVariables.ClearBuffer();
      if (!Send(VariableParams(ExecVariables)) ||
          (!InBlock && Pq().pipelineSync(C) != 1)) {
        More = false;
        break;
      }
      ++Sent;
      ++Next;
      ++S.GetStatistics().Pipelined;
    }
    if (Sent == 0)
      break;
    if (InBlock && Pq().sendFlushRequest(C) != 1)
      Broken = true;
    for (std::size_t K = Next - Sent; K < Next; ++K) {
      TPgResult R = Broken ? TPgResult() : NextResult(C);
      if (!InBlock && R && !ReachSync(C))
        Broken = true;
      if (Failed || Lost || Broken)
        continue; // skipped by the server, or left to the loop
      const auto Index = static_cast<std::int32_t>(K);
      if (R.Ok()) {
        S.NoteCommand(R.Get());
        ++S.GetStatistics().Executes;
        RowsProcessed = std::atoi(Pq().cmdTuples(R.Get()));
        ++Result.Executed;
        Result.RowsAffected += RowsProcessed;
        ++Handled;
        continue;
      }
      if (!R) {
        // The loop would fail this element and each after it on the lost
        // connection; it is left to do so.
        Broken = true;
        continue;
      }
      const char* State = Pq().resultErrorField(R.Get(), PG_DIAG_SQLSTATE);
      if (State && std::strcmp(State, "26000") == 0) {
        // The name is gone (see RunStatement). Outside a block the loop
        // runs this element and the rest again by their text; inside one
        // the failure stands.
        S.NoteStatementsLost();
        ExecStmt.Unnamed = true;
        if (!InBlock) {
          Lost = true;
          continue;
        }
      }
      S.Fail(R.Get());
      Result.Errors.push_back({Index, GetLastErrorCode(), GetLastError(), GetLastSQLState()});
      ++Handled;
      if (InBlock) {
        Failed = true;
        Stop = StopOnError;
      }
    }
  }
  if (InBlock && !Broken && Pq().pipelineSync(C) == 1)
    ReachSync(C);
  Pq().exitPipelineMode(C);
  if (Handled > 0)
    InternalAutoCommit();
  return Handled;
}

} // namespace ztl
