// The SQL cursor: one component carrying a cursor statement and an
// executable statement, their host variables, the row buffers a driver fills
// and the field access on the current row.
#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/ZtlBlob.h"
#include "core/ZtlBuffer.h"
#include "core/ZtlErrors.h"
#include "core/ZtlFieldDefs.h"
#include "core/ZtlSession.h"
#include "framework/classes/Classes.h"
#include "framework/rtl/Events.h"
#include "framework/classes/Streams.h"
#include "framework/classes/Strings.h"
#include "framework/variant/Variants.h"

namespace ztl {

class TPicture;

// A Variant holding Null that stands, as the only parameter, for an empty
// parameter list.
extern const Variant ZtlEmptyParam;

// The parameter values of Open, Execute and their kin: a view of the
// caller's Variants, never a copy. Write them as a braced list
// (Open(S, {1, "x"}, true)), pass {} or ZtlEmptyParam for none, or pass a
// span or vector that the caller keeps alive for the call.
class TZtlVarParams {
public:
  constexpr TZtlVarParams() noexcept = default;
  TZtlVarParams(std::initializer_list<Variant> Values) noexcept
      : Items(Values.begin(), Values.size()) {}
  TZtlVarParams(std::span<const Variant> Values) noexcept : Items(Values) {}
  TZtlVarParams(const std::vector<Variant>& Values) noexcept : Items(Values) {}
  // One Variant, e.g. a Variant array of Variants built by the caller.
  TZtlVarParams(const Variant& Value) noexcept : Items(&Value, 1) {}

  std::span<const Variant> Span() const noexcept { return Items; }
  std::size_t Size() const noexcept { return Items.size(); }

private:
  std::span<const Variant> Items; // the caller's values
};

// The normalised parameter values of one open or execute: no values at all
// (no parameters, or a lone Null or Empty), or the elements of a Variant
// array, or the parameters themselves. It refers to the caller's Variants in
// place, so the unchanged-shape path of a repeated open copies nothing.
class TZtlHostValues {
public:
  // No values.
  TZtlHostValues() noexcept = default;
  // The caller's parameters, or the elements of a Variant array of
  // Variants, in order.
  explicit TZtlHostValues(std::span<const Variant> Values) noexcept
      : Items(Values.data()), Count(static_cast<std::int32_t>(Values.size())) {}

  // There are values, possibly 0 of them (an empty Variant array).
  bool IsArray() const noexcept { return Count >= 0; }
  // Number of values; -1 for none.
  std::int32_t GetCount() const noexcept { return Count; }
  // Value I, 0 <= I < GetCount().
  const Variant& Get(std::int32_t I) const noexcept { return Items[I]; }

private:
  const Variant* Items = nullptr; // the values
  std::int32_t Count = -1;        // number of values, -1 for none
};

// One element of an array execution that failed: where it stands in the
// array and what the driver said.
struct TZantrelArrayError {
  std::int32_t Index = 0; // 0-based position of the element
  std::int32_t Code = 0;  // the error code (the session's last error code)
  std::string Message;    // the error message
  std::string SQLState;   // the server's SQLSTATE, or empty
};

// What an array execution did. Elements run in order; Executed counts those
// that succeeded, so with StopOnError the elements 0 .. Executed-1 ran and
// the one at Errors[0].Index failed.
struct TZantrelArrayResult {
  std::int32_t Executed = 0;              // elements that ran without error
  std::int64_t RowsAffected = 0;          // rows they changed, summed
  std::vector<TZantrelArrayError> Errors; // the failed elements, in order
  bool Succeeded() const noexcept { return Errors.empty(); }
};

// How a driver's SQL dialect writes what is not a parameter marker although
// it holds a colon. Comments and quoted literals are never scanned whatever
// the dialect.
struct TZantrelMarkerRules {
  bool DoubleColonIsCast = false; // "::" is an operator and stays; else it stands for ":"
  bool DollarQuotes = false;      // $$...$$ and $tag$...$tag$ are literals
  bool EscapeStrings = false;     // E'...' literals take backslash escapes
  bool ArraySlices = false;       // a colon inside [...] separates slice bounds
  bool ColonEquals = false;       // ":=" is an assignment
};

// How the server orders the values of a text column, as far as the driver
// knows it. Searches over sorted rows stop early only under a known order.
enum TZantrelCollation : std::uint8_t {
  coUnknown, // not known: searches read every row
  coBinary,  // by bytes (memcmp, the shorter first on a tie)
  coNoCase,  // by bytes with ASCII letters folded to upper case
  coRTrim    // by bytes, trailing blanks ignored
};

// TZantrelSQL is the abstract base of every driver's cursor.
//
// One object carries two independent statements: a cursor statement
// (prepared, opened, navigated, closed) and an executable statement
// (prepared and executed, with output variables). Executing never closes the
// cursor. Re-opening or re-executing the same text with parameters of the
// same types and sizes calls neither the driver's prepare nor its bind: the
// prepared flags, a text comparison and the reuse of the bound variables
// skip both, and only the values are written again.
//
// Public operations make the checks and state changes in a fixed order
// around the protected driver operations; a chain of driver operations stops
// at the first one that returns false, and the public operation then
// returns false and stays where it stopped (a statement prepared before a
// failed bind stays prepared). Errors of the cursor, its field access and
// its blobs are raised through RaiseLastError, so they also become the
// session's last error; only the missing-session error is raised directly.
//
// Invariants: the six row buffers exist exactly between
// InternalAllocOpenBuffer and InternalFreeOpenBuffer, and while they exist
// FetchRows == RowsAllocated unless a driver changed FetchRows behind the
// base's back (every use of the buffers stays inside their blocks anyway);
// Opened implies PreparedForOpen.
//
// Writing a driver: while preparing, add the result columns with
// InternalAddFieldDef, set RowSize, NullSize and FetchRows, call
// InternalAllocOpenBuffer and create one blob stream of the driver's class
// per memo or blob column (new TMyBlobStream(BlobManager.get(), Name): the
// manager owns it). Fetching fills CurrentRow/CurrentNulls and copies them to
// OldRow/OldNulls. Report a failure by storing a negative code in the
// session (SetLastError) and returning false. C++ cannot reach a
// descendant's overrides from a base destructor, so every class that
// overrides a driver operation calls DestroySQL() first in its destructor.
class TZantrelSQL : public TComponent {
  // The session links and unlinks cursors by setting Session directly.
  friend class TZantrelSession;

public:
  explicit TZantrelSQL(TComponent* AOwner);
  ~TZantrelSQL() override;

  // --- Session link --------------------------------------------------------

  // The linked session. Without one, raises "The session property is not
  // linked to a session" (directly: there is nobody to record it), except
  // in design mode, where it returns none.
  TZantrelSession* GetSession() const;
  // The linked session or none, without a check.
  TZantrelSession* GetSessionObject() const { return Session; }
  // Leaves the current session (if any) and joins Value (if any), at the end
  // of its list of cursors.
  void SetSession(TZantrelSession* Value);

  // --- Statements ----------------------------------------------------------

  // Unprepares both statements, then lets the driver prepare SQL on the
  // path it chooses.
  bool Prepare(const std::string& SQL);
  // Unprepares the cursor statement, then prepares SQL as one.
  bool PrepareOpen(const std::string& SQL);
  // Opens SQL with Params: a different text unprepares first, the same text
  // only closes; then the host variables are set (reusing bound ones of the
  // same shape), and prepare (unless prepared), bind (unless bound) and open
  // run in that order, stopping at the first failure. AfterOpen fires after
  // success only.
  bool Open(const std::string& SQL, TZtlVarParams Params, bool ReadOnly);
  // Open read-only, then read the first row (FetchFirst on a scrollable
  // cursor, FetchNext otherwise); AfterOpen fires only if the read succeeds.
  bool OpenRead(const std::string& SQL, TZtlVarParams Params = {});
  // As OpenRead, for writing. A cursor last opened read-only is prepared
  // again even for the same text.
  bool OpenWrite(const std::string& SQL, TZtlVarParams Params = {});
  // Opens the prepared cursor statement; raises "The cursor is not
  // prepared" when there is none.
  bool OpenPrepared(TZtlVarParams Params, bool ReadOnly);
  bool OpenReadPrepared(TZtlVarParams Params = {});
  bool OpenWritePrepared(TZtlVarParams Params = {});
  // Prepares SQL as the cursor statement (closing an open cursor of the same
  // text, unpreparing one of another text) without touching host variables.
  // True when the statement is prepared (now or already) and yields result
  // columns.
  bool Describe(const std::string& SQL);
  void Close();
  // UnprepareOpen, then UnprepareExecute.
  void Unprepare();
  // Closes and drops the cursor statement and its host variables.
  void UnprepareOpen();

  // Unprepares the executable statement, then prepares SQL as one.
  bool PrepareExecute(const std::string& SQL);
  // Executes SQL with Params: a different text unprepares the executable
  // statement first; the output buffer is zero-filled; then prepare (unless
  // prepared), bind (unless bound) and execute, stopping at the first
  // failure. Neither AfterOpen nor a commit happens here.
  bool Execute(const std::string& SQL, TZtlVarParams Params = {});
  // Executes the prepared statement; raises "The statement is not prepared"
  // when there is none.
  bool ExecutePrepared(TZtlVarParams Params = {});
  // Drops the executable statement and its input and output variables.
  void UnprepareExecute();
  // Executes SQL once per element of Rows, each element being the Params of
  // one Execute: the statement is prepared and bound once and only the
  // values are written again while the elements keep the same shape. A
  // failing element is reported by its index with the session's last
  // error; StopOnError ends the call there, otherwise the following
  // elements still run. Nothing is undone: what ran before a failure stays
  // done unless the caller rolls its transaction back. Errors other than
  // the library's own (out of memory) propagate.
  TZantrelArrayResult ExecuteArray(const std::string& SQL, std::span<const TZtlVarParams> Rows,
                                   bool StopOnError = true);
  // As ExecuteArray on the prepared executable statement; raises "The
  // statement is not prepared" when there is none.
  TZantrelArrayResult ExecutePreparedArray(std::span<const TZtlVarParams> Rows,
                                           bool StopOnError = true);

  // Value of the output variable at address Field, else of the input
  // variable there; raises "Host variable "%s" not found" when neither list
  // has it.
  Variant GetOutVar(const Variant& Field);

  // Reposition the open cursor (raise "The cursor is not opened" when
  // closed). The fetch buffer's rows are zeroed and their null indicators
  // set to 255 (all null) before the driver moves.
  bool MoveToFirst();
  bool MoveToLast();
  bool MoveTo(std::int32_t Row);

  // Converts SQL to the OEM code page when the session asks for it; leaves
  // it alone otherwise, and in design mode without a session. Text after an
  // embedded NUL is dropped by the conversion.
  void StatementToOem(std::string& SQL);

  // --- Field definitions and value conversion -----------------------------

  // The result column at a field address: an Integer or Smallint Variant is
  // a 0-based position, any other Variant a name (case-insensitive, first
  // match). None when there is no such column.
  TZantrelFieldDef* GetField(const Variant& Field) const;
  // With TypeCode Integer or Smallint: Value is Integer or Smallint.
  // Otherwise: Value's type code is TypeCode.
  static bool CheckVarType(const Variant& Value, TVarType TypeCode);

  // Tolerant conversions for drivers filling buffers: a value that cannot be
  // converted (Null, a text that is no number, a number out of range) gives
  // the fallback (empty, 0, 0.0, false, 0) and never raises.
  static std::string SetVarToStr(const Variant& Value);
  static std::int32_t SetVarToInt(const Variant& Value);
  // Booleans give 1/0; integers keep all their digits; other values are
  // rounded to nearest, ties to even.
  static std::int64_t SetVarToInt64(const Variant& Value);
  static double SetVarToFloat(const Variant& Value);
  static bool SetVarToBoolean(const Variant& Value);
  static TDateTime SetVarToDateTime(const Variant& Value);

  // --- Row field access ----------------------------------------------------

  bool FindField(const std::string& Name) const;
  std::int32_t GetFieldCount() const { return FieldDefs.GetCount(); }
  // Name of column Index; empty when out of range.
  std::string GetFieldName(std::int32_t Index) const;
  // Descriptions of the column at Field; ntUnknown, 0 or false when there
  // is no such column.
  TZantrelFieldTypes GetFieldType(const Variant& Field) const;
  std::int32_t GetFieldSize(const Variant& Field) const;
  std::int32_t GetFieldLength(const Variant& Field) const;
  std::int32_t GetFieldDecimals(const Variant& Field) const;
  bool GetFieldNulls(const Variant& Field) const;

  // The operations below raise "Field "%s" not found" (the address as text)
  // for an unknown column.
  bool IsFieldNull(const Variant& Field);
  // Blob columns: the stream was written, or the null state changed.
  // Others: the value's bytes or the null state differ between the current
  // and the fetched row; a column of no bytes is never dirty.
  bool IsFieldDirty(const Variant& Field);
  // Some column is dirty; raises "The cursor is not opened" when closed.
  bool IsDirty();
  bool CanModify() const { return Opened && !ReadOnly; }
  // The value in the current (resp. fetched) row, decoded by the driver;
  // the null indicator is left to the driver.
  Variant GetFieldValue(const Variant& Field);
  Variant GetOldValue(const Variant& Field);
  // Writes Value into the current row (Null clears the column and marks it
  // null). Raises "The cursor is read-only" first.
  void SetFieldValue(const Variant& Field, const Variant& Value);
  // Zero one column, marking it null (resp. not null); an unknown name does
  // nothing.
  void ClearField(const std::string& Name);
  void ClearFieldNotNull(const std::string& Name);
  // Zero every column except hidden keys, marking them null (resp. not
  // null). Raise "The cursor is not opened", then "The cursor is read-only".
  void Clear();
  void ClearNotNull();

  // --- Blobs and pictures --------------------------------------------------

  // Stores the whole of Stream (from its position 0) as the column's value
  // and marks the column not null. Raises, in this order, "The cursor is
  // read-only", "Not a valid stream parameter", "Field "%s" not found",
  // "Field "%s" is not a blob".
  void StreamToBlob(const Variant& Field, TStream* Stream);
  // Copies the column's value into Stream at its position (a memory stream
  // is first sized to the value), then rewinds Stream.
  void BlobToStream(const Variant& Field, TStream* Stream);
  // Saves the picture's bitmap, metafile or icon in its file format as the
  // column's value and marks the column not null (also for an unknown
  // GraphicType, which saves nothing).
  void GraphicToBlob(const Variant& Field, TPicture* Picture, TZantrelGraphicType GraphicType);
  // Loads the picture's bitmap, metafile or icon from the column's value.
  void BlobToGraphic(const Variant& Field, TPicture* Picture, TZantrelGraphicType GraphicType);

  // Null when Len < 1, otherwise a byte array (bounds 0 .. Len-1) holding
  // the Len bytes at P.
  static Variant StrToVarByte(const void* P, std::int32_t Len);
  // The bytes of a memory stream as a byte array; Null for none or empty.
  static Variant StreamToVarByte(TMemoryStream* Stream);
  // The bytes of a memory stream as a string; empty for none.
  static std::string StreamToStr(TMemoryStream* Stream);

  // --- Errors --------------------------------------------------------------

  // Forwards to the session's Check.
  std::int32_t Check(void* AHandle, std::int32_t Code, std::int32_t Code2, bool RaiseError);
  // Records Msg and Code as the session's last error, then raises E(Msg,
  // Code). Without a session: raises the missing-session error, or in
  // design mode E(Msg, Code) without recording.
  template <class E = EZantrelException>
  requires std::derived_from<E, Exception> && std::constructible_from<E, std::string, std::int32_t>
  [[noreturn]] void RaiseLastError(const std::string& Msg, std::int32_t Code) {
    if (TZantrelSession* S = GetSession())
      S->RaiseLastError<E>(Msg, Code);
    throw E(Msg, Code);
  }
  // The session's last error (empty and 0 in design mode without one) and
  // the SQLSTATE its code stands for.
  std::string GetLastError() const;
  std::int32_t GetLastErrorCode() const;
  std::string GetLastSQLState() const;

  // --- State for applications and the dataset layer ------------------------

  bool GetOpened() const { return Opened; }
  bool GetReadOnly() const { return ReadOnly; }
  bool GetPreparedForOpen() const { return PreparedForOpen; }
  bool GetPreparedForExecute() const { return PreparedForExecute; }
  const std::string& GetOpenSQL() const { return OpenSQL; }
  const std::string& GetExecSQL() const { return ExecSQL; }
  // Tells the driver that the next Prepare is for one execution that
  // follows at once (a dataset's ExecSQL without Prepare); the dataset
  // clears it afterwards.
  void SetExecuteFollows(bool Value) { ExecuteFollows = Value; }
  const TZantrelFieldDefs& GetFieldDefs() const { return FieldDefs; }
  const TZantrelVariableDefs& GetOpenVariables() const { return OpenVariables; }
  const TZantrelVariableDefs& GetExecVariables() const { return ExecVariables; }
  const TZantrelVariableDefs& GetOutVariables() const { return OutVariables; }
  TZantrelBlobManager* GetBlobManager() const { return BlobManager.get(); }
  std::int32_t GetRecNo() const { return RecNo; }
  std::int32_t GetRowSize() const { return RowSize; }
  std::int32_t GetNullSize() const { return NullSize; }
  std::int32_t GetRecordCount() const { return RecordCount; }
  std::int32_t GetFetchRows() const { return FetchRows; }
  std::int32_t GetRowsAllocated() const { return RowsAllocated; }
  bool GetBof() const { return Bof; }
  bool GetEof() const { return Eof; }

  // The row buffers (empty spans while they do not exist). The dataset
  // copies the current row out of them and writes edited rows back.
  std::span<std::uint8_t> GetCurrentRow() { return CurrentRow.Span(); }
  std::span<const std::uint8_t> GetCurrentRow() const { return CurrentRow.Span(); }
  std::span<std::uint8_t> GetCurrentNulls() { return CurrentNulls.Span(); }
  std::span<const std::uint8_t> GetCurrentNulls() const { return CurrentNulls.Span(); }
  std::span<const std::uint8_t> GetOldRow() const { return OldRow.Span(); }
  std::span<const std::uint8_t> GetOldNulls() const { return OldNulls.Span(); }
  std::span<const std::uint8_t> GetFetchBuffer() const { return FetchBuffer.Span(); }
  std::span<const std::uint8_t> GetFetchNulls() const { return FetchNulls.Span(); }

  std::int32_t GetBlobSize() const { return BlobSize; }
  // Accepts 0 .. 32763; other values are ignored.
  void SetBlobSize(std::int32_t Value);
  std::int32_t GetMaxFetchCount() const { return MaxFetchCount; }
  // Accepts 1 .. 1000; other values are ignored.
  void SetMaxFetchCount(std::int32_t Value);
  std::int32_t GetRowsProcessed() const { return RowsProcessed; }
  void SetRowsProcessed(std::int32_t Value) { RowsProcessed = Value; }
  // Forward only: the rows before the current one are not needed again. A
  // driver that keeps the rows it read may then let them go, so reading a
  // result of any size takes the memory of a few rows; moving back to a row
  // let go fails with the message of ZTL_ERR_CURS_BI_NOT_SUPP. Read when a
  // cursor opens.
  bool GetUniDirectional() const { return UniDirectional; }
  void SetUniDirectional(bool Value) { UniDirectional = Value; }

  TNotifyEvent AfterOpen;      // after every successful open
  TNotifyEvent AfterClose;     // fired by a driver that closes the cursor on its own
  TNotifyEvent AfterUnprepare; // fired by a driver that unprepares on its own

  // --- Driver operations, in their fixed slot order ------------------------

protected:
  // Prepares SQL on whichever path (cursor or executable) the driver picks.
  virtual bool InternalPrepare(const std::string& SQL) = 0;
  // Base: OpenSQL := SQL, PreparedForOpen := true, success.
  virtual bool InternalPrepareOpen(const std::string& SQL);
  // Binds OpenVariables (List is always none); called only while they are
  // not bound; on success the driver sets Bound.
  virtual bool InternalBindOpenVariables(TStringList* List) = 0;
  // True: the first row of OpenRead/OpenWrite is read by InternalFetchFirst.
  virtual bool InternalIsScrollable() = 0;
  // Base: RecNo -1, Bof and Eof false, ReadOnly as given, Opened, success.
  virtual bool InternalOpen(bool AReadOnly);
  // Base: fetch bookkeeping and RecordCount 0, RecNo -1, Bof and Eof true,
  // not Opened (ReadOnly stays).
  virtual void InternalClose();
  // Base: frees the row buffers and blob streams, clears the result
  // columns, OpenSQL and PreparedForOpen.
  virtual void InternalUnprepareOpen();
  // Base: ExecSQL := SQL, PreparedForExecute := true, success.
  virtual bool InternalPrepareExecute(const std::string& SQL);
  // Binds ExecVariables (List: the execute's fresh, empty list); called only
  // while they are not bound; on success the driver sets Bound.
  virtual bool InternalBindExecVariables(TStringList* List) = 0;
  // Executes with the list the bind received; fills OutVariables.
  virtual bool InternalExecute(TStringList* List) = 0;
  // Runs the elements of ExecuteArray (SQL: its text) or
  // ExecutePreparedArray (SQL null) in order, recording each in Result as
  // RunArrayElement does, and stops after the first failure when
  // StopOnError. Base: one RunArrayElement per element. A driver may send
  // elements together only where every element's outcome, Executed,
  // RowsAffected and the errors by index come out as that loop gives them.
  virtual void InternalExecuteArray(const std::string* SQL, std::span<const TZtlVarParams> Rows,
                                    bool StopOnError, TZantrelArrayResult& Result);
  // Runs element Index of an array execution as Execute (or
  // ExecutePrepared) would run Params, and records it in Result: counted in
  // Executed and RowsAffected, or listed among the errors with the error it
  // left or raised. False when it failed.
  bool RunArrayElement(const std::string* SQL, TZtlVarParams Params, std::int32_t Index,
                       TZantrelArrayResult& Result);
  // Base: ExecSQL empty, PreparedForExecute false.
  virtual void InternalUnprepareExecute();
  // Bind size of a host variable of FieldType (strings longer than it turn
  // into memos, byte arrays into blobs), and the driver's type code for it.
  virtual std::int32_t InternalGetDefaultSize(TZantrelFieldTypes FieldType) = 0;
  virtual std::int32_t InternalGetExtType(TZantrelFieldTypes FieldType) = 0;
  virtual bool InternalFetchNext() = 0;
  virtual bool InternalFetchFirst() = 0;
  // Position before the first row, after the last, or on Row.
  virtual bool InternalMoveToFirst() = 0;
  virtual bool InternalMoveToLast() = 0;
  virtual bool InternalMoveTo(std::int32_t Row) = 0;

public:
  // A statement is still running in the server (base: false).
  virtual bool GetStillInProc();
  // What of the driver's SQL the dataset's parameter scan must step over
  // (base: the classic rules, where "::" stands for one ":").
  virtual TZantrelMarkerRules GetMarkerRules() const { return {}; }
  // How the server orders the open result's text column Column (0-based) in
  // an ORDER BY of that column without a COLLATE clause (base: not known).
  virtual TZantrelCollation GetColumnCollation(std::int32_t Column) const {
    (void)Column;
    return coUnknown;
  }
  // First table of the cursor statement's text.
  virtual std::string GetTableName();

protected:
  // Decode the value of Size bytes at Buffer + Offset (Value arrives Null;
  // Blob is the column's stream for a blob type, else none), and encode
  // Value there. The base guarantees that the bytes lie inside the buffer.
  virtual void InternalGetValue(const std::uint8_t* Buffer, std::int32_t Offset, std::int32_t Size,
                                TZantrelFieldTypes FieldType, TZantrelBlobStream* Blob,
                                Variant& Value) = 0;
  virtual void InternalSetValue(std::uint8_t* Buffer, std::int32_t Offset, std::int32_t Size,
                                TZantrelFieldTypes FieldType, const Variant& Value,
                                TZantrelBlobStream* Blob) = 0;

public:
  // Resumes a statement still running (base: false).
  virtual bool Resume();
  // Fill CurrentRow/CurrentNulls with the next, current or previous row,
  // copy them to OldRow/OldNulls and set RecNo; off the end return false
  // with Eof (Bof) set.
  virtual bool FetchNext() = 0;
  virtual bool FetchCurrent() = 0;
  virtual bool FetchPrior() = 0;
  // Write the row held in CurrentRow/CurrentNulls.
  virtual bool UpdateRecord() = 0;
  virtual bool InsertRecord() = 0;
  virtual bool DeleteRecord() = 0;
  // Null indicator FieldIndex of a null-indicator area.
  virtual bool IsNull(const std::uint8_t* NullBuffer, std::int32_t FieldIndex) = 0;
  virtual void SetNull(std::uint8_t* NullBuffer, std::int32_t FieldIndex, bool Null) = 0;

  // --- Protected steps for drivers -----------------------------------------

protected:
  // Allocates the six zero-filled row buffers for RowSize, NullSize and
  // FetchRows (RowsAllocated := FetchRows). Raises for negative sizes.
  void InternalAllocOpenBuffer();
  // Destroys the blob streams and releases the six buffers; RowsAllocated,
  // RowSize and NullSize become 0.
  void InternalFreeOpenBuffer();
  // Commits after a statement when no user transaction is open and the
  // session commits automatically.
  void InternalAutoCommit();

  // Adds a definition to Defs under Name, made unique against the result
  // columns (Name_1, Name_2, ...), whichever list Defs is.
  TZantrelFieldDef* InternalAddFieldDef(TZantrelFieldDefs& Defs, const std::string& Name,
                                        TZantrelFieldTypes FieldType, std::int32_t ExtType,
                                        std::int32_t Size, std::int32_t Length,
                                        std::int32_t Decimals, bool Nulls,
                                        TZantrelKeyIndicator KeyIndicator);

  // Host variables. Normalises the parameters: none, a Variant array of
  // Variants given first (its elements; further parameters are ignored), a
  // single Null or Empty (none), or the parameters themselves.
  TZtlHostValues InternalCheckVarValues(TZtlVarParams Params);
  // Logical type and bind size of a parameter value.
  TZantrelFieldTypes InternalGetVariableTypeAndLength(const Variant& Value, std::int32_t& Size);
  // False only when Defs already describes V exactly (same count, types and
  // sizes) and holds no memo or blob.
  bool InternalNeedNewVariables(const TZtlHostValues& V, const TZantrelVariableDefs& Defs);
  // Rebuilds Defs and its buffer when needed (which drops Bound), then has
  // the driver write every value into the buffer.
  void InternalSetVariables(const TZtlHostValues& V, TZantrelVariableDefs& Defs);

  // Zeroes Def's bytes in the current row and sets its null indicator.
  void InternalClearField(const TZantrelFieldDef& Def, bool SetNullFlag);

  // The driver-facing half of destruction: unprepares both statements while
  // the driver's overrides are still reachable. Safe to call more than
  // once; every class that overrides a driver operation calls it first in
  // its destructor.
  void DestroySQL();

  // --- Data ----------------------------------------------------------------

  TZantrelSession* Session = nullptr; // the linked session (set by its AddQuery/RemoveQuery)
  TZtlBuffer FetchBuffer;             // RowSize x RowsAllocated: rows of a multi-row fetch
  TZtlBuffer CurrentRow;              // RowSize: the current row
  TZtlBuffer OldRow;                  // RowSize: the current row as fetched
  TZtlBuffer FetchNulls;              // NullSize x RowsAllocated: indicators of FetchBuffer
  TZtlBuffer CurrentNulls;            // NullSize: indicators of CurrentRow
  TZtlBuffer OldNulls;                // NullSize: indicators of OldRow
  bool ReadOnly = false;              // the last open was read-only
  bool PreparedForOpen = false;       // the cursor statement is prepared
  bool PreparedForExecute = false;    // the executable statement is prepared
  bool Opened = false;                // the cursor is open
  std::string OpenSQL;                // text of the prepared cursor statement (converted)
  std::string ExecSQL;                // text of the prepared executable statement (converted)
  TZantrelFieldDefs FieldDefs;        // result columns, added by the driver while preparing
  TZantrelVariableDefs OpenVariables; // host variables of the cursor statement
  TZantrelVariableDefs ExecVariables; // input variables of the executable statement
  TZantrelVariableDefs OutVariables;  // output variables, made and filled by the driver
  std::int32_t FetchRows = 0;         // rows in the fetch buffer; set before allocation
  std::int32_t RowsAllocated = 0;     // FetchRows when the buffers were allocated
  std::int32_t BufferRows = 0;        // driver's fetch-buffer bookkeeping
  std::int32_t BufferPos = 0;         // driver's fetch-buffer bookkeeping
  std::int32_t RecNo = -1;            // number of the current row, -1 for none
  std::int32_t RowSize = 0;           // bytes of one row
  std::int32_t NullSize = 0;          // bytes of one row's null indicators
  std::int32_t RecordCount = 0;       // rows in the result (driver-maintained)
  bool Bof = false;                   // positioned before the first row
  bool Eof = false;                   // positioned after the last row
  bool DriverFlag = false;            // free for the driver; the base never reads it
  // True only while InternalPrepareOpen runs on the way to an Open of a text
  // whose variables are already set, so that a driver may leave its server
  // work to the InternalOpen that follows at once.
  bool OpenFollows = false;
  // True while a driver prepares a text that will be executed once, at
  // once, and then let go: Execute with a text, or a dataset's ExecSQL
  // without Prepare (SetExecuteFollows). A driver may then leave its server
  // work to the InternalExecute that follows.
  bool ExecuteFollows = false;
  std::unique_ptr<TZantrelBlobManager> BlobManager; // one stream per memo or blob column
  std::int32_t BlobSize = 0;                        // blob chunk size for the driver (0 .. 32763)
  std::int32_t RowsProcessed = 0;                   // rows affected by the last statement
  std::int32_t MaxFetchCount = 25;                  // rows per fetch for the driver (1 .. 1000)
  bool UniDirectional = false;                      // rows behind the current one may go

private:
  // InternalGetVariableTypeAndLength, expanded in place by its callers.
  TZantrelFieldTypes TypeAndLength(const Variant& Value, std::int32_t& Size);
  // InternalNeedNewVariables, expanded in place by its callers.
  bool ShapeDiffers(const TZtlHostValues& V, const TZantrelVariableDefs& Defs);
  // Opens the cursor statement: the common path of the Open family.
  bool OpenCursor(const std::string* SQL, TZtlVarParams Params, bool AReadOnly, bool ReadFirst,
                  bool ReprepareReadOnly);
  // Executes the executable statement: the common path of Execute and
  // ExecutePrepared.
  bool ExecuteStatement(const std::string* SQL, TZtlVarParams Params);
  // The common path of ExecuteArray and ExecutePreparedArray.
  TZantrelArrayResult ExecuteArrayStatement(const std::string* SQL,
                                            std::span<const TZtlVarParams> Rows,
                                            bool StopOnError);
  // SQL after StatementToOem, copied into Scratch only when it must be
  // (conversion, or SQL being one of this cursor's own texts).
  const std::string& ConvertedText(const std::string& SQL, std::string& Scratch);
  // Resolves Field or raises "Field "%s" not found".
  TZantrelFieldDef& FieldOrRaise(const Variant& Field);
  // The blob stream of Def for a blob type, none otherwise.
  TZantrelBlobStream* BlobOf(const TZantrelFieldDef& Def);
  // Raises "The cursor is not opened" unless Row and Nulls cover Def.
  void CheckRowCovers(const TZtlBuffer& Row, const TZantrelFieldDef& Def);
  // Raises "The cursor is not opened".
  [[noreturn]] void RaiseNotOpened();
  // Raises "The cursor is not opened" unless Nulls exists.
  void CheckNullsExist(const TZtlBuffer& Nulls);
  // Reads the column at Field from Row through the driver.
  Variant ReadValue(const TZtlBuffer& Row, const Variant& Field);
  // The dirty test of one column.
  bool FieldDirty(const TZantrelFieldDef& Def);
  // Zeroes and positions the fetch buffer before a move.
  void PrepareMove();
  // Raises "The cursor is not opened" when not opened.
  void CheckOpened();

  bool SQLDestroyed = false; // DestroySQL has run
};

} // namespace ztl
