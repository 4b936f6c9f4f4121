// The PostgreSQL driver's cursor: statements prepared on the server, host
// variables bound as parameters, a scrollable result read through a window
// of rows, and row operations on single-table results.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/ZtlSQL.h"
#include "drivers/common/ZtlDriverSQL.h"
#include "drivers/postgres/PgResult.h"

namespace ztl {

class TZantrelPgSession;
class TZantrelPgBlobStream;
struct TPgRelationFacts;

// A cursor of the PostgreSQL driver.
//
// Preparing: the text is prepared on the server (extended protocol) after
// its "?" and ":name" markers are rewritten to "$n" (PgRewriteMarkers; "?"
// is a marker only in a text without named markers that is given values,
// and the statement is prepared again when values come later); a text that
// yields result columns takes the cursor path, any other the executable
// path. Column types come from the server's description of the prepared
// statement (PgMapType). Values travel as text, bytea parameters in binary.
//
// A text of several statements (or of none) is no prepared statement: it is
// executed as it stands through the simple protocol, which runs its
// statements in order and stops at the first error; it takes no parameters.
//
// Host variables: a repeated open or execute of the same shape reuses the
// prepared statement and only sends the new values.
//
// A text executed once (Execute with a text, a dataset's ExecSQL without
// Prepare) runs as the unnamed statement with its values, in one round
// trip; executed again, it is prepared under a name as any other. A text
// the server refuses that way leaves nothing prepared, as a refused
// prepare does.
//
// A text opened through Open, OpenRead or OpenWrite without host variables
// (one statement, no "$", no catalog relation) is not prepared under a
// name: it runs as the unnamed statement, parsed, bound and executed in one
// round trip, and its columns are read from the result. When its shape
// could carry the hidden row key, the first run already carries it, so the
// rows need not be read twice; a statement the server refuses that way, or
// one opened inside a transaction block, where a refused try would abort
// the transaction, is prepared under a name as any other. Opening the same
// text again runs it again the same way; a result whose columns changed
// since is refused as a named statement's would be.
//
// Rows: opening runs the statement and keeps its whole result in the
// client library's memory, so RecordCount is exact at once and the cursor
// moves both ways and to any row without going back to the server. Rows
// are decoded into the fetch buffer MaxFetchCount at a time as navigation
// reaches them; memory is the result plus that window.
//
// Forward-only (UniDirectional when opened): a query (SELECT, VALUES, TABLE,
// WITH ... SELECT) is read through a server-side cursor, declared NO SCROLL
// WITH HOLD and fetched MaxFetchCount rows at a time, each batch replacing
// the last, so a scan of any length holds one batch. RecordCount counts the
// rows read so far; a move to a row let go fails with "Bidirectional
// cursors not supported". WITH HOLD because the application's commits must
// not end an open scan and because outside a transaction block there is no
// transaction to hold a plain cursor: the server materialises a held
// cursor's rows when the transaction that declared it ends (at once,
// outside a block). Texts the server will not hold a cursor for open as
// any other.
//
// Array executions send the elements of a named statement without result
// columns through libpq's pipeline mode (when the library has it): inside a
// transaction block with one sync per chunk, outside one with a sync per
// element when StopOnError is off; every other case, and every element the
// pipeline cannot take, runs one by one, so the outcome is the loop's.
//
// What the catalog says of a result's table (its name, its columns' names,
// its primary key) is kept by the session and asked again only when a
// result's columns are not what the kept facts describe, or after a command
// that may have changed the schema; a row operation on rows whose facts
// came from there asks once more before its first write, so that another
// connection's rename never sends a write to the wrong column.
//
// Row operations: a SELECT of plain columns from one table can be written
// back: rows are found by the table's primary key when the result holds all
// its columns, otherwise by the row's ctid, which the driver adds to the
// statement as a hidden key column (kiHiddenKeyField), last in its select
// list so that ORDER BY positions and "*" keep their meaning. An update or delete
// that would touch anything but exactly one row is undone and reported.
// FetchCurrent reads the current row again from the server. Other results
// (joins, expressions, aggregates, views) are read-only.
//
// Values that do not fit their column are reported with a message naming
// the column, never cut.
class TZantrelPgSQL : public TZtlDriverSQL {
public:
  explicit TZantrelPgSQL(TComponent* AOwner = nullptr);
  ~TZantrelPgSQL() override;

  bool FetchNext() override;
  bool FetchCurrent() override;
  bool FetchPrior() override;
  bool UpdateRecord() override;
  bool InsertRecord() override;
  bool DeleteRecord() override;

  // The result can be written back: one table and a key for its rows.
  bool GetUpdatable() const { return Updatable; }
  // The table the rows come from, quoted ("" when not one table).
  const std::string& GetBaseTable() const { return BaseTable; }
  // The text sent to the server for the cursor statement.
  const std::string& GetServerSQL() const { return OpenStmt.Text; }
  // The parameter markers of the prepared statement (the cursor statement
  // when one is prepared, else the executable one) in the order their
  // values are taken: ":name" for each distinct name as first written, or
  // "" for each "?" of a text without named markers. Empty for a script.
  std::vector<std::string> GetParamNames() const;

  // Every rule of the server's lexer: "::" casts, dollar quotes, E''
  // strings, array slices and ":=" hold no marker.
  TZantrelMarkerRules GetMarkerRules() const override;
  // coBinary for a text column read straight from a table column whose
  // collation (or the database's, for the default one) orders by bytes
  // ("C", "POSIX", ucs_basic), coRTrim for such a char(n) column, which
  // ignores trailing blanks; coUnknown otherwise. The catalog is asked once
  // per prepared statement, at the first call.
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
  // Runs the elements of an array execution through libpq's pipeline mode
  // where the outcome is the same as one by one (PgArray.cpp).
  void InternalExecuteArray(const std::string* SQL, std::span<const TZtlVarParams> Rows,
                            bool StopOnError, TZantrelArrayResult& Result) override;
  void InternalUnprepareExecute() override;
  std::int32_t InternalGetDefaultSize(TZantrelFieldTypes FieldType) override;
  std::int32_t InternalGetExtType(TZantrelFieldTypes FieldType) override;
  bool InternalFetchNext() override;
  bool InternalFetchFirst() override;
  bool InternalMoveToFirst() override;
  bool InternalMoveToLast() override;
  bool InternalMoveTo(std::int32_t Row) override;

  // True when SQL, about to be executed once (ExecuteFollows), may run as
  // the unnamed statement in one round trip: one statement, no "$" and no
  // catalog relation (as for an open), and no "?", whose reading depends on
  // values not yet known.
  bool CanExecuteOnce(const std::string& SQL);

private:
  // One statement prepared on the server.
  struct TStatement {
    std::string Name;           // name given when prepared, "" while none
    bool Unnamed = false;       // the server holds nothing under Name: runs by its text
    std::string Text;           // the text sent (markers rewritten)
    std::int32_t Params = 0;    // parameters the server expects
    TPgResult Description;      // the server's description of its columns
    bool Script = false;        // several statements (or none), run as text
    bool Positional = false;    // prepared with "?" as markers
    bool Deferred = false;      // runs as the unnamed statement (no name on the server)
    bool Shaped = false;        // a deferred statement ran once (an open's: Columns describe it)
    std::string Source;         // a deferred statement's text as given
    bool Named = false;         // the text has ":name" markers
    std::int32_t Questions = 0; // "?" markers when read as positional
    // The distinct ":name" markers, in the order their values are taken.
    std::vector<std::string> Names;
  };

  // One result column as the driver sees it.
  struct TColumn {
    std::string Name;                          // column name as reported
    std::int32_t StmtColumn = 0;               // position in the statement's result
    std::uint32_t Oid = 0;                     // server type
    std::int32_t Mod = -1;                     // server type modifier
    std::uint32_t SourceTable = 0;             // table the value is read from, 0 if none
    std::int32_t SourceCol = 0;                // its attribute number there, <= 0 if none
    TZantrelFieldTypes Type = ntUnknown;       // logical type
    std::int32_t Offset = 0;                   // offset in the row
    std::int32_t Size = 0;                     // bytes in the row
    std::int32_t Length = 0;                   // declared length or precision
    std::int32_t Decimals = 0;                 // declared scale
    std::int16_t TableCol = 0;                 // attribute number in the base table, 0 if none
    std::string Attr;                          // quoted name of that attribute
    TZantrelKeyIndicator Key = kiRegularField; // key role
  };

  // A row value as the server will take it.
  struct TParam {
    std::string Text;    // the value's text (or bytes for binary)
    bool Null = true;    // SQL NULL
    bool Binary = false; // sent in binary (bytea)
  };

  // Params laid out as libpq's calls take them; null pointers for none.
  struct TParamArrays {
    std::vector<const char*> Values; // each value's bytes, null for SQL NULL
    std::vector<int> Lengths;        // each value's length
    std::vector<int> Formats;        // 1 for binary, 0 for text
    explicit TParamArrays(const std::vector<TParam>& Params);
    int Count() const { return static_cast<int>(Values.size()); }
    const char* const* ValuesOrNull() const { return Values.empty() ? nullptr : Values.data(); }
    const int* LengthsOrNull() const { return Lengths.empty() ? nullptr : Lengths.data(); }
    const int* FormatsOrNull() const { return Formats.empty() ? nullptr : Formats.data(); }
  };

  // --- Preparing (PgCursor.cpp) ---
  TZantrelPgSession& PgSession();
  bool Connected();
  // Rewrites and prepares SQL on the server into Stmt, with "?" as markers
  // when Positional; false on failure. With AllowScript, a text of several
  // statements (or none) becomes a script instead.
  bool PrepareOnServer(const std::string& SQL, TStatement& Stmt, bool Positional,
                       bool AllowScript);
  // Prepares SQL without knowing its values: "?" as the operator, else, when
  // the server refuses that, as markers.
  bool PrepareEitherWay(const std::string& SQL, TStatement& Stmt);
  // Drops Stmt on the server (when still connected) and forgets it.
  void Deallocate(TStatement& Stmt);
  // Describes Stmt's columns, finds out whether its rows can be written and
  // allocates the row buffers.
  bool AdoptQuery(const std::string& SQL);
  // Columns from the first N columns of the description (or result) D.
  void DescribeColumns(const PGresult* D, int N);
  // Decides the base table and key of the result; may prepare again with a
  // hidden ctid. False only when a query to the server fails.
  bool AnalyseTable(const std::string& SQL);
  // The part of AnalyseTable that needs no statement of its own: sets the
  // base table and keys, and WantCtid when the result has no usable
  // primary key but one table whose rows the hidden ctid would identify.
  bool AnalyseColumns(bool& WantCtid);
  // The session's facts of Table when they describe every column of the
  // result, else read afresh (FactsChecked then set); null when the
  // question fails (error recorded).
  const TPgRelationFacts* TableFacts(std::uint32_t Table);
  // Before the first write of an open whose facts came from the session's
  // cache: the table's name, the columns' names and its key are read again
  // and must be those the result was analysed with.
  bool CheckFacts();
  // Records in F the type each result column read from it arrived with.
  void NoteColumnTypes(TPgRelationFacts& F) const;
  // Appends the hidden ctid column at StmtColumn N and makes the result
  // updatable.
  void AddHiddenKey(int N);
  // True when a deferred run of SQL may stand for the prepared statement.
  bool CanRunOnce(const std::string& SQL);
  // Marks SQL to run as the unnamed statement at the open.
  bool DeferOpen(const std::string& SQL);
  // Marks SQL to run as the unnamed statement at the execution.
  bool DeferExecute(const std::string& SQL);
  // Runs the deferred cursor statement into R, preparing it under a name
  // instead where a run once could not stand for it.
  bool RunOnce(TPgResult& R);
  // Prepares the deferred statement under a name as InternalPrepareOpen
  // always did; unprepares on failure.
  bool PrepareNamed();
  // Takes the columns, base table and key from the first run of the
  // deferred statement; Probe says the run carried the ctid column last.
  bool AdoptResult(const PGresult* Res, bool Probe, const std::string& ProbeText);
  // Runs the script Stmt; the first error stops it.
  bool RunScript(const TStatement& Stmt);
  // The collations of the result's text columns, from the catalog.
  std::vector<TZantrelCollation> ReadCollations() const;
  void LayOut();
  // Runs a prepared statement with Params; the result (null on a lost
  // connection).
  TPgResult RunPrepared(const std::string& Name, const std::vector<TParam>& Params);
  // Runs the prepared Stmt with Params. When the server no longer knows
  // its name, the session is told and Stmt runs by its text from then on
  // (at once, unless a transaction block was aborted by the failure).
  TPgResult RunStatement(TStatement& Stmt, const std::vector<TParam>& Params);
  // Runs SQL with Params (unprepared).
  TPgResult RunParams(const std::string& SQL, const std::vector<TParam>& Params);
  void ReadOutVariables(const PGresult* Res);

  // --- Parameter markers (PgMarkers.cpp) ---
  // The parameters of Vars, in order.
  std::vector<TParam> VariableParams(const TZantrelVariableDefs& Vars);
  // Checks that Stmt takes Vars, preparing it again first when its "?"s
  // were read for another number of values.
  bool BindStatement(bool Open);

  // --- Fetching (PgFetch.cpp) ---
  // Decodes row Row of Res into Slot/Nulls; false with the error recorded.
  bool DecodeRow(const PGresult* Res, std::int32_t Row, std::uint8_t* Slot, std::uint8_t* Nulls);
  // Loads the window so that it holds row Row; false on a decoding error.
  bool EnsureWindow(std::int32_t Row);
  // Shows row Row (in the window) as the current row.
  bool ShowRow(std::int32_t Row);
  // Loads the blob streams from row Row of Res.
  bool LoadBlobs(const PGresult* Res, std::int32_t Row);
  // The result and row that hold row Row of the cursor now.
  const PGresult* SourceOf(std::int32_t Row, std::int32_t& SourceRow) const;
  TZantrelPgBlobStream* StreamOf(const TColumn& C) const;
  bool Misfit(const TColumn& C, const std::string& Detail, std::int32_t Code);

  // --- Forward-only scans (PgScan.cpp) ---
  // Declares a server-side cursor for the prepared cursor statement with
  // Params. False with the error recorded on failure; false with Declined
  // set, and the transaction as it was, when the server will not hold a
  // cursor for this text (FOR UPDATE, a data-modifying WITH: class 0A),
  // which then opens as any other.
  bool DeclareScan(const std::vector<TParam>& Params, bool& Declined);
  // Reads the next batch of the scan into Rows, letting the previous one
  // go; RecordCount counts the rows read so far.
  bool FetchBatch();
  // Reads batches until row Row has been read or the rows run out.
  bool ReadUpTo(std::int32_t Row);
  // Closes the server-side cursor of the scan, if any.
  void CloseScan();
  // Records that a row the scan let go was asked for; returns false.
  bool BackwardMove();

  // --- Array execution (PgArray.cpp) ---
  // Sends elements From.. of Rows through one pipeline when the statement
  // and the session allow it; the number of elements it accounted for in
  // Result (0 when it could not start), Stop set when StopOnError ends the
  // call.
  std::size_t PipelineElements(const std::string* SQL, std::span<const TZtlVarParams> Rows,
                               std::size_t From, bool StopOnError, TZantrelArrayResult& Result,
                               bool& Stop);

  // --- Row operations (PgRowOps.cpp) ---
  bool CheckWritable();
  TParam ColumnParam(const TColumn& C, const std::uint8_t* Row, const std::uint8_t* Nulls,
                     bool Fetched);
  // " WHERE k1 = $n AND ..." with the key values of the fetched row.
  std::string KeyCondition(std::vector<TParam>& Params);
  std::string ReturningList() const;
  // Runs a write that must touch exactly one row, undoing it otherwise; on
  // success shows the returned row as the current row (and as row Keep of
  // the result when Keep >= 0).
  bool RunSingleRowWrite(const std::string& SQL, const std::vector<TParam>& Params,
                         const char* What, std::int32_t Keep);
  bool ColumnChanged(const TColumn& C);
  // Shows row 0 of Res (in the field order of the columns) as the current
  // row; false on a decoding error.
  bool ShowSingleRow(const PGresult* Res, std::int32_t Keep);

  // --- State ---
  std::vector<TColumn> Columns;                // result columns in field order (hidden key last)
  TStatement OpenStmt;                         // the cursor statement
  TStatement ExecStmt;                         // the executable statement
  TPgResult Rows;                              // the open result
  std::map<std::int32_t, TPgResult> Rewritten; // rows re-read or written, by row number
  std::int32_t Position = -1;   // -1 before the first row, RecordCount after the last
  std::int32_t WindowRows = 0;  // rows decoded in the fetch buffer (BufferRows mirrors it)
  bool Updatable = false;       // rows can be written back
  std::string ReadOnlyReason;   // why not, as the row operations report it
  std::string BaseTable;        // the base table, quoted with its schema
  std::uint32_t BaseOid = 0;    // its OID
  bool HiddenKey = false;       // the ctid column was added
  bool FactsChecked = false;    // Attr, Key and BaseTable were read from the catalog since the open
  std::int32_t BlobColumns = 0; // memo and blob columns
  std::string ScanCursor;       // the server-side cursor of a forward-only open, "" for none
  std::int32_t BatchStart = 0;  // row number of the first row of Rows (0 unless scanning)
  bool ScanDone = true;         // the server-side cursor has no rows left
  // The order of each column's text (by column), read at the first
  // question; empty until then.
  mutable std::vector<TZantrelCollation> Collations;
};

} // namespace ztl
