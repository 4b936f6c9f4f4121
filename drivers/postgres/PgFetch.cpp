// The PostgreSQL cursor's rows: the decoding window over the open result,
// navigation and the blob streams of the current row.
#include <algorithm>
#include <cstring>
#include <limits>

#include "core/ZtlConsts.h"
#include "drivers/common/ZtlDriverConsts.h"
#include "drivers/postgres/PgBlobStream.h"
#include "drivers/postgres/PgCursor_p.h"
#include "drivers/postgres/PgSession.h"

namespace ztl {

bool TZantrelPgSQL::Misfit(const TColumn& C, const std::string& Detail, std::int32_t Code) {
  return PgSession().Fail(ZtlColumnMisfit(C.Name, Detail), Code);
}

TZantrelPgBlobStream* TZantrelPgSQL::StreamOf(const TColumn& C) const {
  for (TZantrelBlobStream* S : BlobManager->GetList())
    if (SameText(S->GetFieldName(), C.Name))
      return static_cast<TZantrelPgBlobStream*>(S);
  return nullptr;
}

const PGresult* TZantrelPgSQL::SourceOf(std::int32_t Row, std::int32_t& SourceRow) const {
  const auto It = Rewritten.find(Row);
  if (It != Rewritten.end()) {
    SourceRow = 0;
    return It->second.Get();
  }
  SourceRow = Row - BatchStart;
  return Rows.Get();
}

bool TZantrelPgSQL::DecodeRow(const PGresult* Res, std::int32_t Row, std::uint8_t* Slot,
                              std::uint8_t* Nulls) {
  if (!Res || Row < 0 || Row >= Pq().ntuples(Res))
    return PgSession().Fail(LoadZtlStr(ZTL_ERR_CURS_NOT_OPENED), -1);
  const int Fields = Pq().nfields(Res);
  for (std::size_t I = 0; I < Columns.size(); ++I) {
    const TColumn& C = Columns[I];
    std::uint8_t* P = Slot + C.Offset;
    if (C.StmtColumn >= Fields || Pq().getisnull(Res, Row, C.StmtColumn)) {
      Nulls[I] = 1;
      std::memset(P, 0, static_cast<std::size_t>(C.Size));
      continue;
    }
    Nulls[I] = 0;
    if (IsBlobFieldType(C.Type))
      continue;
    const std::string_view Text(Pq().getvalue(Res, Row, C.StmtColumn),
                                static_cast<std::size_t>(Pq().getlength(Res, Row, C.StmtColumn)));
    const std::string Why = PgParseValue(C.Type, Text, P, C.Size);
    if (!Why.empty())
      return Misfit(C, Why, PgErrorCode("22003"));
  }
  return true;
}

bool TZantrelPgSQL::EnsureWindow(std::int32_t Row) {
  if (Row >= BufferPos && Row < BufferPos + WindowRows)
    return true;
  const std::int32_t Capacity = std::max(RowsAllocated, 1);
  // Moving backwards, the window ends at the row, so that the next rows
  // back are at hand too.
  const std::int32_t Start =
      (WindowRows > 0 && Row < BufferPos) ? std::max(BatchStart, Row - Capacity + 1) : Row;
  const std::int32_t End = std::min(Start + Capacity, RecordCount);
  WindowRows = 0;
  BufferRows = 0;
  if (!FetchBuffer.Covers(0, static_cast<std::int64_t>(RowSize) * Capacity) ||
      !FetchNulls.Covers(0, static_cast<std::int64_t>(NullSize) * Capacity))
    return PgSession().Fail(LoadZtlStr(ZTL_ERR_CURS_NOT_OPENED), -1);
  for (std::int32_t R = Start; R < End; ++R) {
    std::int32_t Source = 0;
    const PGresult* Res = SourceOf(R, Source);
    const std::size_t K = static_cast<std::size_t>(R - Start);
    if (!DecodeRow(Res, Source, FetchBuffer.Data() + K * static_cast<std::size_t>(RowSize),
                   FetchNulls.Data() + K * static_cast<std::size_t>(NullSize)))
      return false;
  }
  BufferPos = Start;
  WindowRows = End - Start;
  BufferRows = WindowRows;
  ++PgSession().GetStatistics().Fills;
  return true;
}

bool TZantrelPgSQL::LoadBlobs(const PGresult* Res, std::int32_t Row) {
  if (BlobColumns == 0)
    return true;
  for (const TColumn& C : Columns) {
    if (!IsBlobFieldType(C.Type))
      continue;
    TZantrelPgBlobStream* S = StreamOf(C);
    if (!S)
      continue;
    if (Pq().getisnull(Res, Row, C.StmtColumn)) {
      S->SetFetched({});
      continue;
    }
    std::string Text(Pq().getvalue(Res, Row, C.StmtColumn),
                     static_cast<std::size_t>(Pq().getlength(Res, Row, C.StmtColumn)));
    if (C.Oid == pgBytea) {
      std::string Bytes;
      if (!PgDecodeBytea(Text, Bytes))
        return Misfit(C, "the bytea value is not in hex form", PgErrorCode("22P03"));
      S->SetFetched(std::move(Bytes));
    } else {
      S->SetFetched(std::move(Text));
    }
  }
  return true;
}

bool TZantrelPgSQL::ShowRow(std::int32_t Row) {
  const std::size_t K = static_cast<std::size_t>(Row - BufferPos);
  const std::uint8_t* Slot = FetchBuffer.Data() + K * static_cast<std::size_t>(RowSize);
  const std::uint8_t* Nulls = FetchNulls.Data() + K * static_cast<std::size_t>(NullSize);
  if (RowSize > 0) {
    std::memcpy(CurrentRow.Data(), Slot, static_cast<std::size_t>(RowSize));
    std::memcpy(OldRow.Data(), Slot, static_cast<std::size_t>(RowSize));
  }
  if (NullSize > 0) {
    std::memcpy(CurrentNulls.Data(), Nulls, static_cast<std::size_t>(NullSize));
    std::memcpy(OldNulls.Data(), Nulls, static_cast<std::size_t>(NullSize));
  }
  std::int32_t Source = 0;
  const PGresult* Res = SourceOf(Row, Source);
  return LoadBlobs(Res, Source);
}

bool TZantrelPgSQL::ShowSingleRow(const PGresult* Res, std::int32_t Keep) {
  if (!DecodeRow(Res, 0, CurrentRow.Data(), CurrentNulls.Data()))
    return false;
  if (RowSize > 0)
    std::memcpy(OldRow.Data(), CurrentRow.Data(), static_cast<std::size_t>(RowSize));
  if (NullSize > 0)
    std::memcpy(OldNulls.Data(), CurrentNulls.Data(), static_cast<std::size_t>(NullSize));
  if (Keep >= BufferPos && Keep < BufferPos + WindowRows) {
    const std::size_t K = static_cast<std::size_t>(Keep - BufferPos);
    if (RowSize > 0)
      std::memcpy(FetchBuffer.Data() + K * static_cast<std::size_t>(RowSize), CurrentRow.Data(),
                  static_cast<std::size_t>(RowSize));
    if (NullSize > 0)
      std::memcpy(FetchNulls.Data() + K * static_cast<std::size_t>(NullSize), CurrentNulls.Data(),
                  static_cast<std::size_t>(NullSize));
  }
  return LoadBlobs(Res, 0);
}

// --- Navigation ---------------------------------------------------------------

bool TZantrelPgSQL::FetchNext() {
  if (!Opened)
    return PgSession().Fail(LoadZtlStr(ZTL_ERR_CURS_NOT_OPENED), -1);
  if (!ReadUpTo(Position + 1))
    return false;
  const std::int32_t Next = std::min(Position + 1, RecordCount);
  if (Next < BatchStart)
    return BackwardMove();
  if (Next >= RecordCount) {
    Position = RecordCount;
    RecNo = -1;
    Bof = false;
    Eof = true;
    return false;
  }
  if (!EnsureWindow(Next) || !ShowRow(Next))
    return false;
  Position = RecNo = Next;
  Bof = Eof = false;
  return true;
}

bool TZantrelPgSQL::FetchPrior() {
  if (!Opened)
    return PgSession().Fail(LoadZtlStr(ZTL_ERR_CURS_NOT_OPENED), -1);
  const std::int32_t Prior = std::min(Position, RecordCount) - 1;
  if (Prior < 0) {
    Position = -1;
    RecNo = -1;
    Bof = true;
    Eof = false;
    return false;
  }
  if (Prior < BatchStart)
    return BackwardMove();
  if (!EnsureWindow(Prior) || !ShowRow(Prior))
    return false;
  Position = RecNo = Prior;
  Bof = Eof = false;
  return true;
}

bool TZantrelPgSQL::FetchCurrent() {
  if (!Opened)
    return PgSession().Fail(LoadZtlStr(ZTL_ERR_CURS_NOT_OPENED), -1);
  if (Position < 0 || Position >= RecordCount) {
    RecNo = -1;
    Bof = Position < 0;
    Eof = !Bof;
    return false;
  }
  if (Position < BatchStart)
    return BackwardMove();
  if (!EnsureWindow(Position) || !ShowRow(Position))
    return false;
  if (Updatable) {
    // The row is read again by its key, so that changes made through other
    // connections show, and kept for later visits of the row.
    if (!CheckFacts())
      return false;
    std::vector<TParam> Params;
    const std::string SQL =
        "SELECT " + ReturningList() + " FROM " + BaseTable + KeyCondition(Params);
    TPgResult R = RunParams(SQL, Params);
    if (!R.Ok())
      return PgSession().Fail(R.Get());
    ++PgSession().GetStatistics().Rereads;
    if (Pq().ntuples(R.Get()) != 1)
      return PgSession().Fail(Format(SZtlRowGone, {BaseTable}), PgErrorCode("02000"));
    if (!ShowSingleRow(R.Get(), Position))
      return false;
    Rewritten[Position] = std::move(R);
  }
  RecNo = Position;
  Bof = Eof = false;
  return true;
}

bool TZantrelPgSQL::InternalFetchNext() {
  return FetchNext();
}

bool TZantrelPgSQL::InternalFetchFirst() {
  return InternalMoveToFirst() && FetchNext();
}

// The base blanks the fetch buffer before every move, so the window is gone.
bool TZantrelPgSQL::InternalMoveToFirst() {
  if (BatchStart > 0)
    return BackwardMove();
  WindowRows = BufferRows = 0;
  Position = RecNo = -1;
  Bof = true;
  Eof = false;
  return true;
}

bool TZantrelPgSQL::InternalMoveToLast() {
  // A scan reads on to its end, one batch at a time.
  if (!ReadUpTo(std::numeric_limits<std::int32_t>::max() - 1))
    return false;
  WindowRows = BufferRows = 0;
  Position = RecordCount;
  RecNo = -1;
  Bof = false;
  Eof = true;
  return true;
}

bool TZantrelPgSQL::InternalMoveTo(std::int32_t Row) {
  if (Row >= 0 && Row < BatchStart)
    return BackwardMove();
  if (!ReadUpTo(Row))
    return false;
  WindowRows = BufferRows = 0;
  if (Row < 0 || Row >= RecordCount) {
    Position = Row < 0 ? -1 : RecordCount;
    RecNo = -1;
    Bof = Row < 0;
    Eof = !Bof;
    return false;
  }
  Position = RecNo = Row;
  Bof = Eof = false;
  return true;
}

} // namespace ztl
