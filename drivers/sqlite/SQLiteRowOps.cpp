// Writing rows of a single-table SQLite result back to their table, and
// reading one row again by its key.
#include <algorithm>
#include <cstring>

#include "core/ZtlConsts.h"
#include "drivers/common/ZtlBufferValues_p.h"
#include "drivers/common/ZtlDriverConsts.h"
#include "drivers/sqlite/SQLiteBlobStream.h"
#include "drivers/sqlite/SQLiteCursor_p.h"
#include "drivers/sqlite/SQLiteSession.h"
#include "drivers/sqlite/SQLiteShape_p.h"

namespace ztl {

namespace {

// Compiled statements kept for row operations; beyond this many distinct
// texts (columns changed in many combinations) the oldest set is dropped.
constexpr std::size_t MaxWriteStatements = 32;

} // namespace

std::string TZantrelSQLiteSQL::SelectList() const {
  std::string List;
  for (const TColumn& C : Columns) {
    if (!List.empty())
      List += ", ";
    List += C.Key == kiHiddenKeyField ? C.Origin : SQLiteQuoteName(C.Origin);
  }
  return List;
}

std::string TZantrelSQLiteSQL::KeyCondition() const {
  std::string Where;
  for (const TColumn& C : Columns) {
    if (C.Key == kiRegularField)
      continue;
    Where += Where.empty() ? " WHERE " : " AND ";
    // The rowid is named bare: a quoted "rowid" would also match a column.
    Where +=
        C.Key == kiHiddenKeyField || C.Origin == RowidName ? C.Origin : SQLiteQuoteName(C.Origin);
    Where += " IS ?";
  }
  return Where;
}

sqlite3_stmt* TZantrelSQLiteSQL::WriteStatement(const std::string& SQL) {
  auto It = WriteStmts.find(SQL);
  if (It != WriteStmts.end())
    return It->second.Get();
  if (WriteStmts.size() >= MaxWriteStatements)
    WriteStmts.clear();
  TSQLiteStatement Stmt;
  if (!Compile(SQL, Stmt))
    return nullptr;
  return WriteStmts.emplace(SQL, std::move(Stmt)).first->second.Get();
}

bool TZantrelSQLiteSQL::CheckWritable() {
  TZantrelSQLiteSession& S = SQLiteSession();
  if (!Opened)
    return S.Fail(LoadZtlStr(ZTL_ERR_CURS_NOT_OPENED), -SQLITE_MISUSE);
  if (ReadOnly)
    return S.Fail(LoadZtlStr(ZTL_ERR_CURS_READ_ONLY), -SQLITE_READONLY);
  if (!Updatable)
    return S.Fail(ReadOnlyReason, ReadOnlyCode);
  return true;
}

bool TZantrelSQLiteSQL::BindColumn(sqlite3_stmt* Stmt, int Index, const TColumn& C,
                                   const std::uint8_t* Row, const std::uint8_t* Nulls) {
  const TSQLiteApi& A = SQLite();
  const std::size_t Field = static_cast<std::size_t>(&C - Columns.data());
  static const char NoBytes[1] = {0};
  int Rc;
  if (Nulls[Field] != 0) {
    Rc = A.bind_null(Stmt, Index);
  } else {
    const std::uint8_t* P = Row + C.Offset;
    // Values are copied: the row buffers may change before the statement is
    // stepped again.
    switch (C.Type) {
    case ntString:
      Rc = A.bind_text(Stmt, Index, reinterpret_cast<const char*>(P),
                       static_cast<int>(strnlen(reinterpret_cast<const char*>(P),
                                                static_cast<std::size_t>(C.Size))),
                       SQLITE_TRANSIENT);
      break;
    case ntInteger:
      Rc = A.bind_int64(Stmt, Index, ZtlLoad<std::int32_t>(P));
      break;
    case ntInt64:
      Rc = A.bind_int64(Stmt, Index, ZtlLoad<std::int64_t>(P));
      break;
    case ntFloat:
      Rc = A.bind_double(Stmt, Index, ZtlLoad<double>(P));
      break;
    case ntCurrency:
      Rc = A.bind_double(Stmt, Index, Currency::FromRaw(ZtlLoad<std::int64_t>(P)).ToDouble());
      break;
    case ntDate:
    case ntTime:
    case ntDateTime: {
      char Out[40];
      const std::int32_t N = SQLiteFormatDateTime(ZtlLoad<double>(P), C.Type, Out);
      if (N == 0)
        return Misfit(C, "the date lies outside 0001-01-01 .. 9999-12-31", -SQLITE_RANGE);
      Rc = A.bind_text(Stmt, Index, Out, N, SQLITE_TRANSIENT);
      break;
    }
    case ntBoolean:
      Rc = A.bind_int64(Stmt, Index, ZtlLoad<std::uint16_t>(P) != 0 ? 1 : 0);
      break;
    case ntBinary: {
      const std::size_t Len =
          std::min<std::size_t>(ZtlLoad<std::uint16_t>(P), static_cast<std::size_t>(C.Size - 2));
      Rc = A.bind_blob(Stmt, Index, Len > 0 ? static_cast<const void*>(P + 2) : NoBytes,
                       static_cast<int>(Len), SQLITE_TRANSIENT);
      break;
    }
    case ntMemo:
    case ntBlob: {
      TZantrelSQLiteBlobStream* Stream = GetColumnStream(static_cast<std::int32_t>(Field));
      std::span<const std::uint8_t> V;
      if (Stream)
        V = Stream->GetValue();
      const void* Data = V.empty() ? static_cast<const void*>(NoBytes) : V.data();
      if (C.Type == ntMemo)
        Rc = A.bind_text(Stmt, Index, static_cast<const char*>(Data), static_cast<int>(V.size()),
                         SQLITE_TRANSIENT);
      else
        Rc = A.bind_blob(Stmt, Index, Data, static_cast<int>(V.size()), SQLITE_TRANSIENT);
      break;
    }
    default:
      Rc = A.bind_null(Stmt, Index);
      break;
    }
  }
  return Rc == SQLITE_OK || SQLiteSession().Fail();
}

bool TZantrelSQLiteSQL::BindKey(sqlite3_stmt* Stmt, int FirstIndex, const std::uint8_t* Row,
                                const std::uint8_t* Nulls) {
  int Index = FirstIndex;
  for (const TColumn& C : Columns)
    if (C.Key != kiRegularField && !BindColumn(Stmt, Index++, C, Row, Nulls))
      return false;
  return true;
}

bool TZantrelSQLiteSQL::RunSingleRowWrite(sqlite3_stmt* Stmt, const char* What, bool OldRowFirst) {
  TZantrelSQLiteSession& S = SQLiteSession();
  const TSQLiteApi& A = SQLite();
  sqlite3* Db = S.GetDatabase();
  if (!S.EnsureTransaction())
    return false;
  // Outside any transaction the savepoint is the transaction, and its
  // release is the commit: that can fail like any write to the disk.
  const bool Outermost = A.get_autocommit(Db) != 0;
  // A write that reads its row first takes the write lock before reading:
  // only a connection that holds no lock yet may wait for one (BusyTimeout).
  const bool OwnBegin = Outermost && OldRowFirst;
  if (OwnBegin && A.exec(Db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
    A.reset(Stmt);
    return S.Fail();
  }
  // The savepoint lets a write that touched the wrong number of rows be
  // undone, inside a user transaction or not.
  bool Ok = A.exec(Db, "SAVEPOINT ztl_row", nullptr, nullptr, nullptr) == SQLITE_OK || S.Fail();
  if (Ok && OldRowFirst) {
    // Read inside the transaction, the row cannot be changed by another
    // connection before the write; a row already gone is left to the
    // write's count of rows.
    switch (Reread(OldRow.Data(), OldNulls.Data(), Cache.NewSlot())) {
    case rsFailed:
      Ok = false;
      break;
    case rsAbsent:
      break;
    case rsPresent:
      if (!RowStillOld(Cache.NewSlot()))
        Ok = S.Fail(LoadZtlStr(SZtlRowChanged), -SQLITE_ABORT);
      break;
    }
  }
  const int Rc = Ok ? A.step(Stmt) : SQLITE_DONE;
  if (Ok && Rc != SQLITE_DONE)
    Ok = S.Fail();
  const int Changed = Ok ? A.changes(Db) : 0;
  A.reset(Stmt);
  if (Ok && Changed != 1) {
    Ok = false;
    S.Fail(ZtlRowCountMisfit(What, Changed, BaseTable),
           Changed == 0 ? -SQLITE_NOTFOUND : -SQLITE_CONSTRAINT);
  }
  if (!Ok)
    A.exec(Db, "ROLLBACK TO ztl_row", nullptr, nullptr, nullptr);
  if (A.exec(Db, "RELEASE ztl_row", nullptr, nullptr, nullptr) != SQLITE_OK && Ok)
    Ok = S.Fail();
  if (OwnBegin && Ok && A.exec(Db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
    Ok = S.Fail();
  // A commit that failed leaves SQLite's transaction open; it is rolled back
  // so that the write is undone now rather than at some later statement's
  // commit or at the close, after the post reported success.
  if (!Ok && Outermost && A.get_autocommit(Db) == 0)
    A.exec(Db, "ROLLBACK", nullptr, nullptr, nullptr);
  if (Ok) {
    RowsProcessed = 1;
    InternalAutoCommit();
  }
  return Ok;
}

TZantrelSQLiteSQL::TRowState
TZantrelSQLiteSQL::Reread(const std::uint8_t* Row, const std::uint8_t* Nulls, std::uint8_t* Slot) {
  TZantrelSQLiteSession& S = SQLiteSession();
  const TSQLiteApi& A = SQLite();
  if (!RereadStmt) {
    const std::string SQL = "SELECT " + SelectList() + " FROM " + SQLiteQuoteName(BaseSchema) +
                            "." + SQLiteQuoteName(BaseTable) + KeyCondition();
    if (!Compile(SQL, RereadStmt))
      return rsFailed;
  }
  sqlite3_stmt* Stmt = RereadStmt.Get();
  A.reset(Stmt);
  if (!BindKey(Stmt, 1, Row, Nulls) || !S.EnsureTransaction())
    return rsFailed;
  ++S.GetStatistics().Rereads;
  const int Rc = A.step(Stmt);
  if (Rc == SQLITE_DONE) {
    A.reset(Stmt);
    return rsAbsent;
  }
  if (Rc != SQLITE_ROW) {
    S.Fail();
    A.reset(Stmt);
    return rsFailed;
  }
  // Read into the scratch slot first: a value that does not fit must not
  // leave a cached row half overwritten.
  std::uint8_t* Scratch = Cache.NewSlot();
  const bool Stored = StoreRow(Stmt, Scratch, true);
  A.reset(Stmt);
  if (!Stored)
    return rsFailed;
  if (Scratch != Slot)
    std::memcpy(Slot, Scratch, static_cast<std::size_t>(Cache.SlotSize()));
  return rsPresent;
}

TZantrelSQLiteSQL::TRowState TZantrelSQLiteSQL::RereadRowid(std::int64_t Rowid,
                                                            std::uint8_t* Slot) {
  TZantrelSQLiteSession& S = SQLiteSession();
  const TSQLiteApi& A = SQLite();
  if (!RowidStmt) {
    const std::string SQL = "SELECT " + SelectList() + " FROM " + SQLiteQuoteName(BaseSchema) +
                            "." + SQLiteQuoteName(BaseTable) + " WHERE " +
                            (RowidName.empty() ? std::string("rowid") : RowidName) + " = ?";
    if (!Compile(SQL, RowidStmt))
      return rsFailed;
  }
  sqlite3_stmt* Stmt = RowidStmt.Get();
  A.reset(Stmt);
  A.bind_int64(Stmt, 1, Rowid);
  const int Rc = A.step(Stmt);
  if (Rc == SQLITE_DONE) {
    A.reset(Stmt);
    return rsAbsent;
  }
  if (Rc != SQLITE_ROW) {
    S.Fail();
    A.reset(Stmt);
    return rsFailed;
  }
  const bool Stored = StoreRow(Stmt, Slot, true);
  A.reset(Stmt);
  return Stored ? rsPresent : rsFailed;
}

bool TZantrelSQLiteSQL::RowStillOld(const std::uint8_t* Slot) const {
  for (std::size_t I = 0; I < Columns.size(); ++I) {
    const TColumn& C = Columns[I];
    const bool Null = Slot[RowSize + static_cast<std::int32_t>(I)] != 0;
    if (Null != (OldNulls.Data()[I] != 0))
      return false;
    if (!Null && C.Blob < 0 &&
        std::memcmp(Slot + C.Offset, OldRow.Data() + C.Offset, static_cast<std::size_t>(C.Size)) !=
            0)
      return false;
  }
  return true;
}

bool TZantrelSQLiteSQL::ColumnChanged(const TColumn& C) const {
  const std::size_t Field = static_cast<std::size_t>(&C - Columns.data());
  const bool CurNull = CurrentNulls.Data()[Field] != 0;
  const bool OldNull = OldNulls.Data()[Field] != 0;
  if (CurNull != OldNull)
    return true;
  if (C.Blob >= 0) {
    const TZantrelSQLiteBlobStream* Stream = GetColumnStream(static_cast<std::int32_t>(Field));
    return Stream && Stream->GetModified();
  }
  return !CurNull && C.Size > 0 &&
         std::memcmp(CurrentRow.Data() + C.Offset, OldRow.Data() + C.Offset,
                     static_cast<std::size_t>(C.Size)) != 0;
}

bool TZantrelSQLiteSQL::CachedRowIsOld(const std::uint8_t* Slot) const {
  for (std::size_t I = 0; I < Columns.size(); ++I) {
    const TColumn& C = Columns[I];
    if (C.Key == kiRegularField)
      continue;
    if ((Slot[RowSize + static_cast<std::int32_t>(I)] != 0) != (OldNulls.Data()[I] != 0) ||
        std::memcmp(Slot + C.Offset, OldRow.Data() + C.Offset, static_cast<std::size_t>(C.Size)) !=
            0)
      return false;
  }
  return true;
}

void TZantrelSQLiteSQL::AfterWrite(std::uint8_t* Slot, bool CacheRow) {
  // The written blob data is in the database now; the streams show the
  // stored value from here on, so nothing is written twice.
  for (TZantrelBlobStream* B : BlobManager->GetList())
    B->Clear();
  // The cached row is replaced only when it is the row that was written.
  if (CacheRow && Position >= Dropped && Position < RowsRead() && CachedRowIsOld(RowSlot(Position)))
    std::memcpy(RowSlot(Position), Slot, static_cast<std::size_t>(Cache.SlotSize()));
  ShowRow(Slot);
}

bool TZantrelSQLiteSQL::UpdateRecord() {
  if (!CheckWritable())
    return false;
  std::string SQL =
      "UPDATE " + SQLiteQuoteName(BaseSchema) + "." + SQLiteQuoteName(BaseTable) + " SET ";
  std::vector<const TColumn*> Changed;
  for (const TColumn& C : Columns) {
    if (C.Key == kiHiddenKeyField || !ColumnChanged(C))
      continue;
    SQL += Changed.empty() ? "" : ", ";
    SQL += SQLiteQuoteName(C.Origin) + " = ?";
    Changed.push_back(&C);
  }
  if (Changed.empty()) {
    RowsProcessed = 0;
    return true;
  }
  SQL += KeyCondition();
  sqlite3_stmt* Stmt = WriteStatement(SQL);
  if (!Stmt)
    return false;
  SQLite().reset(Stmt);
  int Index = 1;
  for (const TColumn* C : Changed)
    if (!BindColumn(Stmt, Index++, *C, CurrentRow.Data(), CurrentNulls.Data()))
      return false;
  // The row is found by its key as it was fetched, in case the update
  // changes the key itself.
  if (!BindKey(Stmt, Index, OldRow.Data(), OldNulls.Data()) ||
      !RunSingleRowWrite(Stmt, "update", true))
    return false;
  // Show the row as stored (defaults, triggers and conversions applied),
  // found by its new key.
  std::uint8_t* Scratch = Cache.NewSlot();
  std::vector<std::uint8_t> Key(CurrentRow.Data(), CurrentRow.Data() + RowSize);
  std::vector<std::uint8_t> KeyNulls(CurrentNulls.Data(), CurrentNulls.Data() + NullSize);
  switch (Reread(Key.data(), KeyNulls.data(), Scratch)) {
  case rsFailed:
    return false;
  case rsAbsent:
    // Updated but no longer findable by key (a trigger changed it): the
    // update stands; the cursor keeps the values it wrote.
    for (TZantrelBlobStream* B : BlobManager->GetList())
      B->Clear();
    return true;
  case rsPresent:
    break;
  }
  AfterWrite(Scratch, true);
  return true;
}

bool TZantrelSQLiteSQL::InsertRecord() {
  if (!CheckWritable())
    return false;
  std::string Names, Marks;
  std::vector<const TColumn*> Given;
  for (const TColumn& C : Columns) {
    const std::size_t Field = static_cast<std::size_t>(&C - Columns.data());
    // Null columns are left out so that the table's defaults (and a new
    // rowid) apply.
    if (CurrentNulls.Data()[Field] != 0)
      continue;
    if (!Given.empty()) {
      Names += ", ";
      Marks += ", ";
    }
    Names += C.Key == kiHiddenKeyField ? C.Origin : SQLiteQuoteName(C.Origin);
    Marks += "?";
    Given.push_back(&C);
  }
  const std::string Table = SQLiteQuoteName(BaseSchema) + "." + SQLiteQuoteName(BaseTable);
  const std::string SQL = Given.empty()
                              ? "INSERT INTO " + Table + " DEFAULT VALUES"
                              : "INSERT INTO " + Table + " (" + Names + ") VALUES (" + Marks + ")";
  sqlite3_stmt* Stmt = WriteStatement(SQL);
  if (!Stmt)
    return false;
  SQLite().reset(Stmt);
  int Index = 1;
  for (const TColumn* C : Given)
    if (!BindColumn(Stmt, Index++, *C, CurrentRow.Data(), CurrentNulls.Data()))
      return false;
  if (!RunSingleRowWrite(Stmt, "insert"))
    return false;
  // Read the new row back, so the cursor holds what the table stored: the
  // new rowid or key, defaults and trigger changes.
  std::uint8_t* Scratch = Cache.NewSlot();
  const bool KeyGiven = std::all_of(Columns.begin(), Columns.end(), [&](const TColumn& C) {
    return C.Key == kiRegularField ||
           CurrentNulls.Data()[static_cast<std::size_t>(&C - Columns.data())] == 0;
  });
  // A key the table made up (a new rowid) is found through the rowid of the
  // insert; a key the row brought along is used as it is.
  const TRowState State =
      !RowidName.empty() || !KeyGiven
          ? RereadRowid(SQLite().last_insert_rowid(SQLiteSession().GetDatabase()), Scratch)
          : Reread(CurrentRow.Data(), CurrentNulls.Data(), Scratch);
  if (State == rsFailed)
    return false;
  if (State == rsPresent)
    AfterWrite(Scratch, false);
  else
    for (TZantrelBlobStream* B : BlobManager->GetList())
      B->Clear();
  return true;
}

bool TZantrelSQLiteSQL::DeleteRecord() {
  if (!CheckWritable())
    return false;
  const std::string SQL = "DELETE FROM " + SQLiteQuoteName(BaseSchema) + "." +
                          SQLiteQuoteName(BaseTable) + KeyCondition();
  sqlite3_stmt* Stmt = WriteStatement(SQL);
  if (!Stmt)
    return false;
  SQLite().reset(Stmt);
  return BindKey(Stmt, 1, OldRow.Data(), OldNulls.Data()) && RunSingleRowWrite(Stmt, "delete");
}

} // namespace ztl
