// The SQLite driver's cursor: statements prepared on one connection, host
// variables bound positionally, a scrollable result over a row cache, and
// row operations on single-table results.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "core/ZtlSQL.h"
#include "drivers/common/ZtlDriverSQL.h"
#include "drivers/sqlite/SQLiteRowCache.h"
#include "drivers/sqlite/SQLiteStatement.h"

namespace ztl {

class TZantrelSQLiteSession;
class TZantrelSQLiteBlobStream;

// A cursor of the SQLite driver.
//
// Preparing: a text that yields result columns takes the cursor path, any
// other text the executable path (InternalPrepare). A cursor's text holds
// exactly one statement; an executable text may hold several (or none), run
// in order as a script without host variables. Result columns get their
// logical types from their declared types (SQLiteMapDeclaredType, which
// follows SQLite's own typing); an expression column, or one whose declared
// type says nothing, is a string that holds numbers and text alike (a blob
// column when its first value is a blob).
//
// Host variables: "?" markers take the values in order; a ":name" (also
// "@name", "$name") marker stands for one value however often it appears,
// the distinct names taking the values in order of first appearance. A
// repeated open or execute of the same shape reuses the compiled statement
// and only writes the new values into it.
//
// Rows: the result is read lazily, MaxFetchCount rows at a time, into a row
// cache in the cursor's row format, so the cursor moves both ways and to any
// row. A cursor opened UniDirectional empties the cache each time it reads
// past its last row, so a scan of any length holds one batch of rows; a
// move to a row already let go fails (ZTL_ERR_CURS_BI_NOT_SUPP). RecordCount counts the rows read so far; it is exact once the end of
// the result was reached (MoveToLast, or a move or fetch past the last row).
// The statement is reset as soon as its last row is read, so a fully read
// result holds no lock on the database. Closing keeps the cache's memory for
// the next open of the same statement; unpreparing gives it back.
//
// Row operations: a SELECT of plain columns from one table can be written
// back: rows are found by the table's primary key when the result holds all
// its columns, otherwise by a hidden "rowid" column that the driver adds at
// the end of the select list (kiHiddenKeyField), where it changes neither
// the ordinals nor the rows of the statement. An update or delete that would touch
// anything but exactly one row is undone and reported. FetchCurrent reads the
// current row again by its key, so changes made through other connections
// show. Other results (joins, aggregates, expressions, DISTINCT, views,
// compound selects) are read-only.
//
// Values that do not fit their column (a text longer than its column, a
// fraction in an integer column, a date text that does not parse) are
// reported with a message naming the column and the row, never cut.
class TZantrelSQLiteSQL : public TZtlDriverSQL {
public:
  explicit TZantrelSQLiteSQL(TComponent* AOwner = nullptr);
  ~TZantrelSQLiteSQL() override;

  bool FetchNext() override;
  bool FetchCurrent() override;
  bool FetchPrior() override;
  bool UpdateRecord() override;
  bool InsertRecord() override;
  bool DeleteRecord() override;

  // The result can be written back: one table and a key for its rows.
  bool GetUpdatable() const { return Updatable; }
  // The table the rows come from ("" when they do not come from one table).
  const std::string& GetBaseTable() const { return BaseTable; }
  // The result has been read to its end, so RecordCount is exact.
  bool GetAtEnd() const { return AtEnd; }
  // Bytes the row cache holds, for measurements.
  std::size_t GetCacheMemory() const { return Cache.MemoryUsed(); }
  // The names of the prepared statement's parameter markers by position
  // (":name", "@name", "$name", "?NNN"; "" for a plain "?"), of the cursor
  // statement when one is prepared, else of the executable statement.
  std::vector<std::string> GetParamNames() const;
  // The blob stream of a memo or blob column (by index), for fast reads.
  TZantrelSQLiteBlobStream* GetColumnStream(std::int32_t FieldIndex) const;
  // The collation declared for the table column that result column Column
  // shows (BINARY, NOCASE, RTRIM); coUnknown for an expression, a column of
  // another collation, or without the column-metadata functions.
  TZantrelCollation GetColumnCollation(std::int32_t Column) const override;

protected:
  bool InternalPrepare(const std::string& SQL) override;
  bool InternalPrepareOpen(const std::string& SQL) override;
  bool InternalBindOpenVariables(TStringList* List) override;
  bool InternalIsScrollable() override;
  bool InternalOpen(bool AReadOnly) override;
  void InternalClose() override;
  void InternalUnprepareOpen() override;
  bool InternalPrepareExecute(const std::string& SQL) override;
  bool InternalBindExecVariables(TStringList* List) override;
  bool InternalExecute(TStringList* List) override;
  void InternalUnprepareExecute() override;
  std::int32_t InternalGetDefaultSize(TZantrelFieldTypes FieldType) override;
  std::int32_t InternalGetExtType(TZantrelFieldTypes FieldType) override;
  bool InternalFetchNext() override;
  bool InternalFetchFirst() override;
  bool InternalMoveToFirst() override;
  bool InternalMoveToLast() override;
  bool InternalMoveTo(std::int32_t Row) override;

private:
  // One result column as the driver sees it (SQLiteCursor_p.h: it carries
  // the declared type's reading, which only the driver's files know).
  struct TColumn;

  // What reading a row needs of a column, kept apart from the rest so that
  // the loop over a row's columns stays in a few cache lines.
  struct TSlotColumn {
    std::int32_t StmtColumn = 0;         // position in the compiled statement
    std::int32_t Offset = 0;             // offset in the row
    std::int32_t Size = 0;               // bytes in the row
    std::int32_t Blob = -1;              // number among the memo and blob columns, or -1
    TZantrelFieldTypes Type = ntUnknown; // logical type
    bool TextOnly = false;               // a table column that holds only text, blobs or NULL
  };

  // Outcome of looking for a row in the cache.
  enum TRowState { rsPresent, rsAbsent, rsFailed };

  // --- Preparing (SQLiteCursor.cpp) ---
  TZantrelSQLiteSession& SQLiteSession();
  // Compiles one statement of SQL; false (error recorded) on failure or
  // when text follows the statement. With Script, a text of several
  // statements or of none is no error: *Script tells, and Stmt stays empty.
  bool Compile(const std::string& SQL, TSQLiteStatement& Stmt, bool* Script = nullptr);
  // Runs the executable text as a script: each statement compiled and run
  // in order, stopping at the first that fails (its error recorded).
  // Refused when host variables are given.
  bool RunScript();
  // Takes Stmt as the cursor statement of SQL: finds out whether its rows
  // can be written, describes its columns and allocates the row buffers.
  bool AdoptQuery(TSQLiteStatement Stmt, const std::string& SQL);
  // Decides the key of a single-table result; may recompile with a hidden
  // rowid. False only for a failed compile.
  bool AnalyseTable(TSQLiteStatement& Stmt, const std::string& SQL);
  // Lays out the columns (types, offsets, buffers, blob streams). With a
  // row at hand (first open), columns typed by value take their value's type.
  void LayOut(bool HaveRow);
  // Builds and fills OutVariables from the current row of the executable
  // statement.
  void ReadOutVariables(sqlite3_stmt* Stmt);

  // --- Parameter markers (SQLiteMarkers.cpp) ---
  // Writes the host variables' values into Stmt; false on a value that
  // cannot be bound.
  bool BindVariables(sqlite3_stmt* Stmt, const TZantrelVariableDefs& Vars);
  bool CheckParameterCount(sqlite3_stmt* Stmt, const TZantrelVariableDefs& Vars);

  // --- Fetching (SQLiteFetch.cpp) ---
  // Reads up to Count more rows into the cache.
  bool LoadRows(std::int32_t Count);
  // Rows of the result read so far, the ones let go included.
  std::int32_t RowsRead() const noexcept { return Dropped + Cache.Count(); }
  // The cached slot of result row Row (Dropped <= Row < RowsRead()).
  std::uint8_t* RowSlot(std::int32_t Row) noexcept { return Cache.Slot(Row - Dropped); }
  // Records that a forward-only cursor was asked for a row it let go;
  // false.
  bool BackwardMove();
  // Lets every cached row go (forward only, before reading on).
  void DropReadRows();
  TRowState EnsureRow(std::int32_t Row);
  // Stores the statement's current row into Slot. ByField: the statement's
  // columns are in field order (the re-read statement).
  bool StoreRow(sqlite3_stmt* Stmt, std::uint8_t* Slot, bool ByField);
  template <bool ByField> bool StoreRowOf(sqlite3_stmt* Stmt, std::uint8_t* Slot);
  // Makes Slot the current row (CurrentRow, OldRow, nulls, blob streams).
  void ShowRow(const std::uint8_t* Slot);
  // Records "Value of column ... does not fit: Detail", with the row while a
  // result row is read.
  bool Misfit(const TColumn& Column, const std::string& Detail, std::int32_t Code);
  // Forgets where the blob streams point (the cache is about to change).
  void DetachStreams();
  // The stream of blob column K (K-th memo or blob column), or none.
  TZantrelSQLiteBlobStream* BlobStream(std::int32_t K) const;

  // --- Row operations (SQLiteRowOps.cpp) ---
  bool CheckWritable();
  // The compiled statement for SQL from the cache of write statements.
  sqlite3_stmt* WriteStatement(const std::string& SQL);
  // Binds column C's value from Row/Nulls (or its blob stream) at Index.
  bool BindColumn(sqlite3_stmt* Stmt, int Index, const TColumn& C, const std::uint8_t* Row,
                  const std::uint8_t* Nulls);
  // " WHERE k1 IS ? AND ..." binding from FirstIndex on.
  std::string KeyCondition() const;
  bool BindKey(sqlite3_stmt* Stmt, int FirstIndex, const std::uint8_t* Row,
               const std::uint8_t* Nulls);
  // Runs a write that must change exactly one row, inside a savepoint that
  // undoes it otherwise. With OldRowFirst the row is read again inside the
  // savepoint first, and the write refused with SZtlRowChanged when the row
  // no longer holds OldRow: another connection changed it after it was read,
  // and writing over it would lose that change.
  bool RunSingleRowWrite(sqlite3_stmt* Stmt, const char* What, bool OldRowFirst = false);
  // Reads the row with the key in Row/Nulls (or, for ByRowid, the row with
  // that rowid) into Slot; rsAbsent when it is gone.
  TRowState Reread(const std::uint8_t* Row, const std::uint8_t* Nulls, std::uint8_t* Slot);
  TRowState RereadRowid(std::int64_t Rowid, std::uint8_t* Slot);
  // After a write: shows the stored row and drops the written blob data.
  void AfterWrite(std::uint8_t* Slot, bool CacheRow);
  // Slot holds the row in OldRow (same key).
  bool CachedRowIsOld(const std::uint8_t* Slot) const;
  // Slot holds OldRow's values in every column but the memos and blobs.
  bool RowStillOld(const std::uint8_t* Slot) const;
  bool ColumnChanged(const TColumn& C) const;
  std::string SelectList() const;

  // Resets Stmt when Stepped says it may need it, and clears Stepped.
  static void ResetIfStepped(sqlite3_stmt* Stmt, bool& Stepped);

  // --- State ---
  std::vector<TColumn> Columns;   // result columns in field order (hidden key last)
  std::vector<TSlotColumn> Slots; // the same columns as row reading sees them
  std::vector<std::span<const std::uint8_t>> BlobPieces; // a row's blob values while it is read
  std::vector<std::array<char, 32>> BlobScratch;         // their text when they are numbers
  std::vector<std::uint32_t> BlobLengths;                // their lengths
  TSQLiteStatement OpenStmt;                             // the cursor statement
  TSQLiteStatement ExecStmt;                             // the executable statement
  // A statement stepped since its last reset needs one before it is bound
  // again or left; a reset of one that was not costs as much as a row's
  // value reads, and lookups would pay it twice.
  bool OpenStepped = false;    // OpenStmt may stand on a row or at its end
  bool ExecStepped = false;    // ExecStmt may stand on a row or at its end
  bool ExecScript = false;     // the executable text holds several statements, or none
  TSQLiteStatement RereadStmt; // SELECT of one row by key (compiled on first use)
  TSQLiteStatement RowidStmt;  // SELECT of one row by rowid (compiled on first use)
  std::map<std::string, TSQLiteStatement> WriteStmts; // compiled row operations by text
  TSQLiteRowCache Cache;                              // rows read so far
  std::int32_t Position = -1;       // -1 before the first row, RowsRead() after the last
  std::int32_t Dropped = 0;         // rows let go before the cache's first (forward only)
  bool ForwardOnly = false;         // UniDirectional as the result was opened
  bool AtEnd = false;               // the result was read to its end
  bool PendingRow = false;          // the statement stands on a row not yet stored
  bool Failed = false;              // reading the result failed; FailMessage repeats it
  std::string FailMessage;          // the reading error
  std::int32_t FailCode = 0;        // its code
  std::int32_t ReadingRow = -1;     // the result row being stored, for messages (-1: none)
  bool TypesSettled = false;        // columns typed by value have their types
  bool Updatable = false;           // rows can be written back
  std::string ReadOnlyReason;       // why not, as reported by the row operations
  std::int32_t ReadOnlyCode = 0;    // and its code
  std::string BaseSchema;           // schema of the base table
  std::string BaseTable;            // the base table
  std::string RowidName;            // how the hidden rowid is named in SQL, or ""
  std::int32_t BlobColumns = 0;     // memo and blob columns
  std::int32_t ExpectedColumns = 0; // columns of the compiled cursor statement
};

} // namespace ztl
