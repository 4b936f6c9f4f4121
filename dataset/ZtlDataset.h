// The dataset that plugs one SQL cursor into the generic dataset: its record
// engine, statement lifecycle, parameters and master link, editing, searching
// and provider operations, with its data link, index definitions and blob
// stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/ZtlBase.h"
#include "dataset/ZtlParams.h"
#include "framework/db/DB.h"

namespace ztl {

class TZantrelDataset;
class TZantrelIndexDefs;

// Reasons for which a dataset holds its session open (bits of DBFlags).
// Values 5 to 7 are free; larger values are never members.
inline constexpr int dfOpen = 0;        // the dataset's cursor is open
inline constexpr int dfPrepared = 1;    // the statement is prepared through Prepare
inline constexpr int dfExecSQL = 2;     // ExecSQL runs
inline constexpr int dfExecProc = 3;    // ExecProc runs
inline constexpr int dfTransaction = 4; // a provider transaction runs

// Size in bytes of a bookmark: the row number and the flag byte, padded.
inline constexpr int ZtlBookmarkSize = 8;

// Outcome of one fetch inside GetRecord; maps one to one onto TGetResult.
enum class TZantrelFetchError : std::uint8_t { NoError, BOFError, EOFError, FetchError };

// ---- Master link --------------------------------------------------------------

// The link from a detail dataset to its master's data source. It re-reads
// the detail's parameters from the master when the master opens or moves to
// another record, and has the detail post or cancel its own edit before the
// master leaves its record.
class TZantrelDataLink : public TDataLink {
public:
  explicit TZantrelDataLink(TZantrelDataset* ADataSet) : FDataSet(ADataSet) {}

protected:
  void ActiveChanged() override;
  void CheckBrowseMode() override;
  void RecordChanged(TField* Field) override;

private:
  TZantrelDataset* FDataSet; // the detail dataset served; not owned
};

// ---- Index built from the ORDER BY clause ---------------------------------------

// One item of the ORDER BY index: a field name and its direction.
class TZantrelIndexDef : public TObject {
public:
  // Appends the new item to AOwner's Items when AOwner is given.
  TZantrelIndexDef(TZantrelIndexDefs* AOwner, std::string AFieldName, bool ADescending);
  // Removes the item from its owner's Items.
  ~TZantrelIndexDef() override;
  TZantrelIndexDef(const TZantrelIndexDef&) = delete;
  TZantrelIndexDef& operator=(const TZantrelIndexDef&) = delete;

  TZantrelIndexDefs* GetOwner() const { return Owner; }
  const std::string& GetFieldName() const { return FieldName; }
  bool GetDescending() const { return Descending; }

private:
  friend class TZantrelIndexDefs;
  TZantrelIndexDefs* Owner; // the list it belongs to, or none; not owning
  std::string FieldName;    // name of a dataset field
  bool Descending;          // the ORDER BY item was sorted descending
};

// The ORDER BY index of an open result: its items in ORDER BY order and,
// for each item added while DataSet was set, the dataset's field of that
// name.
class TZantrelIndexDefs : public TObject {
public:
  explicit TZantrelIndexDefs(TDataSet* ADataSet);
  // Clears the list.
  ~TZantrelIndexDefs() override;
  TZantrelIndexDefs(const TZantrelIndexDefs&) = delete;
  TZantrelIndexDefs& operator=(const TZantrelIndexDefs&) = delete;

  // Creates an item; with a dataset also appends DataSet.FieldByName(AFieldName)
  // to Fields (raising the framework's field-not-found error when absent).
  void Add(const std::string& AFieldName, bool ADescending);
  // Empties Fields, then frees the items, last first.
  void Clear();
  int Count() const { return static_cast<int>(Items.size()); }
  TZantrelIndexDef* GetItem(int Index) const;
  const std::vector<TField*>& GetFields() const { return Fields; }
  TDataSet* GetDataSet() const { return DataSet; }

private:
  friend class TZantrelIndexDef;
  TDataSet* DataSet;                    // dataset whose fields are named; not owning
  std::vector<TZantrelIndexDef*> Items; // the items, owned, in ORDER BY order
  std::vector<TField*> Fields;          // the dataset's field of each item, in order
};

// ---- The dataset ------------------------------------------------------------------

// TZantrelDataset is the abstract dataset over one TZantrelSQL cursor.
//
// Record buffer (R = the cursor's RowSize, C = CalcFieldsSize, N = NullSize):
//   [0, R)              row data, byte for byte the cursor's CurrentRow
//   [R, R+C)            calculated and lookup fields (has-value byte + data)
//   [R+C, R+C+8)        bookmark: int32 row number (-1: none), flag byte, 3 spare
//   [R+C+8, R+C+8+N)    null indicators, byte for byte the cursor's CurrentNulls
// BookmarkOffset = R+C, NullOffset = R+C+8, RecordBufferSize = R+C+8+N.
//
// The session is held open (OpenSession) while any reason in DBFlags is set
// and released (CloseSession) when the last one goes; the statement is
// unprepared then too.
//
// Writing a driver: derive from the query or stored-procedure dataset,
// supply CreateSQL (a new cursor of the driver's class, owned by nobody),
// ReadFieldData and WriteFieldData (a column's value between the driver's
// row format and the framework's field data format), and call ConstructSQL
// at the end of the constructor: a C++ base constructor cannot reach the
// descendant's CreateSQL. A driver class that overrides an operation used
// while closing calls DestroyDataset first in its destructor.
//
// The package's own messages are raised as they stand, without the
// dataset's name in front, so that every component of the layer (the
// stored procedure included) reports them in the same words; the
// framework's checks (not editing, read-only field, not inactive) keep the
// framework's habit of naming the dataset.
class TZantrelDataset : public TDataSet {
  friend class TZantrelDataLink;
  friend class TZantrelDatasetBlobStream;

public:
  explicit TZantrelDataset(TComponent* AOwner = nullptr);
  ~TZantrelDataset() override;

  // ---- Statement and session (application side) ----------------------------

  // The dataset's cursor (none before ConstructSQL).
  TZantrelSQL* GetSQLCursor() const { return Cursor.get(); }
  // The cursor's session, or none.
  TZantrelSession* GetSession() const;
  // Nothing when Value is the current session; otherwise needs an
  // unprepared dataset (SZtlDataSetPrepared), links the cursor to Value and
  // sends dePropertyChange.
  void SetSession(TZantrelSession* Value);

  // The statement lines; their change event is QueryChanged.
  TStringList* GetSQL() const { return SQL.get(); }
  // When Value's text differs from the statement's: Disconnect, then the
  // lines take Value's (one change event, at the end).
  void SetQuery(const TStrings* Value);
  const std::string& GetSQLText() const { return SQLText; }

  bool GetParamCheck() const { return ParamCheck; }
  void SetParamCheck(bool Value) { ParamCheck = Value; }
  bool GetReadOnly() const { return ReadOnly; }
  // A change needs an unprepared dataset (SZtlDataSetPrepared).
  void SetReadOnly(bool Value);
  bool GetUniDirectional() const { return IsUniDirectional(); }
  // Forward only (the framework's unidirectional dataset): the cursor lets
  // the rows behind the current one go, so a scan of any length runs in the
  // memory of a few rows. Such a dataset cannot be edited, searched or
  // moved back. A change needs an inactive dataset.
  void SetUniDirectional(bool Value);
  bool GetSyncInserts() const { return SyncInserts; }
  // A change needs an inactive dataset.
  void SetSyncInserts(bool Value);
  bool GetUseIndex() const { return UseIndex; }
  std::uint8_t GetDBFlags() const { return DBFlags; }

  bool GetPrepared() const { return Prepared; }
  // Holds the session for dfPrepared, then prepares.
  void Prepare();
  // Unprepares, then releases the dfPrepared hold.
  void UnPrepare();
  // Prepare when Value, else UnPrepare.
  void SetPrepare(bool Value);
  // Prepares or unprepares the statement (inactive dataset only). Preparing
  // describes the parameters first (CreateParamDesc when there are none,
  // else SetServerParams) and then, unless DescribeOnly, prepares SQLText.
  // A failure leaves Prepared as it was.
  void SetPrepared(bool Value);

  // Rows affected by the last statement (the cursor's RowsProcessed).
  std::int32_t GetRowsAffected() const;
  // A stored procedure still has result sets pending.
  bool GetStillInProc() const;
  // Reopens the dataset over the next result set of a stored procedure;
  // disconnects after the last one. SZtlStoredProcCompleted when none is
  // pending.
  void Resume();

  // ---- Parameters and master link -------------------------------------------

  TZantrelParams* GetParams() const { return Params.get(); }
  TZantrelParam* ParamByName(const std::string& Name) const;
  int GetParamsCount() const;
  // Takes the values of Value's parameters of the same names (inactive only).
  virtual void SetParamsList(const TZantrelParams* Value);
  // Rebuilds Params from SQLText (inactive only).
  void ResetParamsList();
  // The master data source, or none.
  TDataSource* GetDataSource() const override;
  // SCircularDataLink when the dataset is Value's master already.
  void SetDataSource(TDataSource* Value);

  // ---- Searching ----------------------------------------------------------------

  bool Locate(const std::string& KeyFields, const Variant& KeyValues,
              TLocateOptions Options) override;
  // As Locate, searching forward from the row after the current one.
  bool LocateNext(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options);
  Variant Lookup(const std::string& KeyFields, const Variant& KeyValues,
                 const std::string& ResultFields) override;
  // Key search over the fields of the ORDER BY index.
  void SetKeyFields(const std::vector<Variant>& KeyValues);
  bool FindKey(const std::vector<Variant>& KeyValues);
  void FindNearest(const std::vector<Variant>& KeyValues);
  bool GotoKey();
  void GotoNearest();

  // ---- Record engine (framework side, public in the framework) ---------------

  int GetRecNo() override;
  void SetRecNo(int Value) override;
  int GetRecordCount() override;
  int CompareBookmarks(const std::uint8_t* Bookmark1, const std::uint8_t* Bookmark2) override;
  bool BookmarkValid(const std::uint8_t* Bookmark) override;
  bool GetFieldData(TField* Field, void* Buffer) override;
  void SetFieldData(TField* Field, const void* Buffer) override;
  std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode) override;
  // Reads the cursor's column stream directly, with the checks, null test
  // and conversion of the dataset's read stream; a field of another dataset
  // goes the framework's way.
  std::string GetBlobContent(TField* Field) override;
  int Translate(const char* Src, char* Dest, bool ToOem) override;
  bool GetCurrentRecord(TRecordBuffer Buffer) override;

protected:
  // ---- New virtual operations, in slot order -------------------------------

  // Cuts trailing blanks, control characters and semicolons from Text and
  // prepares it on the cursor.
  virtual void PrepareSQL(const std::string& Text);
  // Change event of SQL: refreshes SQLText, disconnects and rebuilds Params.
  virtual void QueryChanged(TObject* Sender);
  // (SetParamsList is declared with the application side above.)
  // A new cursor of the driver's class, owned by the caller.
  virtual std::unique_ptr<TZantrelSQL> CreateSQL() = 0;
  // Converts the column described by FieldDef from the row format at Source
  // (FieldDef.Size bytes) into the framework's field data format at Dest,
  // which has room for DestSize bytes and must not be written past them.
  virtual void ReadFieldData(const TZantrelFieldDef& FieldDef, const std::uint8_t* Source,
                             void* Dest, std::size_t DestSize) = 0;
  // Converts DataSize bytes of field data at Source into the row format at
  // Dest (FieldDef.Size bytes).
  virtual void WriteFieldData(const TZantrelFieldDef& FieldDef, std::uint8_t* Dest,
                              const void* Source, std::size_t DataSize) = 0;
  // CreateCursor(true), then the cursor's AfterClose goes to FDoAfterClose.
  virtual void CreateHandle();
  // Prepares, takes the master's parameter values and opens (GenHandle) or
  // executes the statement.
  virtual void CreateCursor(bool GenHandle);
  // Parameter description hooks of the stored procedure; nothing here.
  virtual void CreateParamDesc();
  virtual void SetServerParams();
  // The values passed to the cursor: Null, or a Variant array of the input
  // parameters' values, each name once.
  virtual void GetParamValues(Variant& Values);
  // Close, then UnPrepare.
  virtual void Disconnect();
  // Adds (Value) or removes a reason for holding the session; the first
  // reason opens the session for the dataset, the last one unprepares and
  // releases it. Returns whether Flag was set before.
  virtual bool SetDBFlag(int Flag, bool Value);
  // Opens (GenHandle) or executes the prepared statement with the
  // parameter values.
  virtual void GetCursor(bool GenHandle);
  // SZtlDataSetPrepared when prepared.
  virtual void CheckUnPrepared();
  // Text of a catalog query listing the unique-key columns of one table
  // (in a column "column_name"); the base has none.
  virtual std::string QueryUniqueFields();

  // ---- Framework overrides, in slot order -------------------------------------

  // Provider operations.
  void PSStartTransaction() override;
  void PSEndTransaction(bool Commit) override;
  bool PSInTransaction() override;
  TParams* PSGetParams() override;
  void PSSetParams(TParams* AParams) override;
  std::string PSGetQuoteChar() override;
  bool PSIsSQLBased() override;
  bool PSIsSQLSupported() override;
  std::unique_ptr<EUpdateError> PSGetUpdateException(std::exception_ptr E,
                                                     const EUpdateError* Prev) override;
  void PSReset() override;

  void ClearCalcFields(TRecordBuffer Buffer) override;
  void CloseCursor() override;
  void DoBeforeEdit() override;
  bool GetCanModify() override;
  void InitRecord(TRecordBuffer Buffer) override;
  void InternalCancel() override;
  void InternalEdit() override;
  void InternalRefresh() override;
  void OpenCursor(bool InfoQuery) override;
  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& Buffer) override;
  void GetBookmarkData(TRecordBuffer Buffer, std::uint8_t* Data) override;
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) override;
  TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override;
  // The cursor's full RowSize: the calculated-fields area starts there.
  std::size_t GetRecordSize() override;
  void InternalAddRecord(TRecordBuffer Buffer, bool Append) override;
  void InternalClose() override;
  void InternalDelete() override;
  void InternalFirst() override;
  void InternalGotoBookmark(const std::uint8_t* Bookmark) override;
  void InternalHandleException() override;
  void InternalInitFieldDefs() override;
  void InternalInitRecord(TRecordBuffer Buffer) override;
  void InternalLast() override;
  void InternalOpen() override;
  void InternalPost() override;
  void InternalSetToRecord(TRecordBuffer Buffer) override;
  bool IsCursorOpen() override;
  void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) override;
  void SetBookmarkData(TRecordBuffer Buffer, const std::uint8_t* Data) override;

  // ---- Construction and destruction for drivers ----------------------------------

  // Creates the cursor through CreateSQL unless it exists. Every driver
  // class calls it at the end of its constructor.
  void ConstructSQL();
  // Closes and unprepares the dataset while the overrides of the class
  // calling it are still reachable; errors go to the application's handler.
  // Safe to call more than once.
  void DestroyDataset() noexcept;

  // ---- Record engine helpers ---------------------------------------------------

  // The buffer field access uses in the current state, or none.
  bool GetActiveRecBuf(TRecordBuffer& RecBuf);
  // The cursor's fetched row (with its null indicators) in OldRecordBuffer,
  // or none when the cursor is closed.
  TRecordBuffer GetOldRecord();
  // Raises the cursor's last error (when negative) unless Value.
  void Check(bool Value);

  // The cursor's column stream behind blob field Field of the active record
  // (a field of this dataset), after the checks every stream of the dataset
  // makes when it opens in Mode (see TZantrelDatasetBlobStream); null when
  // there is no active record or the cursor keeps no blob streams. RecBuf
  // receives the active record buffer.
  TZantrelBlobStream* OpenFieldBlob(TBlobField* Field, TBlobStreamMode Mode, TRecordBuffer& RecBuf);

  // ---- Statement lifecycle helpers ------------------------------------------------

  // Clears the cursor's AfterUnprepare event, then unprepares the cursor.
  void FreeStatement();
  // Handlers of the cursor's AfterClose and AfterUnprepare events.
  void FDoAfterClose(TObject* Sender);
  void FDoAfterUnPrepare(TObject* Sender);

  // ---- SQL text and parameters ------------------------------------------------------

  // Scans Text for parameter markers, appending one parameter per marker to
  // List (when given) and turning every "::" outside literals into ":".
  void CreateParams(TZantrelParams* List, std::string& Text);
  // Gives the unbound parameters the values of the master's fields.
  void SetParamsFromCursor();
  // Re-executes the detail with the master's current values.
  void RefreshParams();

  // ---- Editing and refresh ------------------------------------------------------------

  void SynchronizeCursor(bool Append);
  // Re-executes the statement and repositions: by key values when KeyFields
  // is given, else by Position (bfCurrent: the former row number, bfBOF: the
  // first row, bfEOF: the last row).
  void RefreshCursor(const std::vector<TField*>* AKeyFields, TRecordBuffer Buffer,
                     TBookmarkFlag Position);
  void UpdateKeyFields();

  // ---- Locate and key search -------------------------------------------------------------

  void UpdateIndexFields();
  bool LocateRecord(const std::string& AKeyFields, const Variant& KeyValues, TLocateOptions Options,
                    bool SyncCursor, bool Next);
  bool LocateRecordForKey(const std::vector<TField*>* AKeyFields, TRecordBuffer Buffer,
                          bool CaseInsensitive, bool PartialKey, bool Nearest, bool SyncCursor,
                          bool CheckIndex, bool CurrentFirst, bool FromCurrent);
  bool MapsToIndex(const std::vector<TField*>& AFields);
  int CompareNulls(const std::uint8_t* KeyNulls, const std::uint8_t* RowNulls,
                   const TZantrelFieldDef& Def, bool& BothValues);
  int CompareStringValue(const char* S1, const char* S2, bool CaseInsensitive, int Len);
  int CompareValues(const std::uint8_t* Key, const std::uint8_t* Row, int Len,
                    const TZantrelFieldDef& Def, TFieldType DataType, bool CaseInsensitive);

  // ---- Fields, in declared order ---------------------------------------------------------

  std::unique_ptr<TZantrelSQL> Cursor;          // the dataset's cursor, from CreateSQL; owned
  std::unique_ptr<TStringList> SQL;             // statement lines; change event QueryChanged
  std::string SQLText;                          // SQL as one text, refreshed by QueryChanged
  bool ParamCheck = true;                       // rebuild Params when the text changes
  bool Prepared = false;                        // the statement is prepared
  TRecordBuffer FilterBuffer = nullptr;         // buffer field access uses in dsFilter
  std::vector<std::uint8_t> OldRecordBuffer;    // old-value record; exists while open
  std::size_t RecordBufferSize = 0;             // bytes of every record buffer
  bool ReadOnly = true;                         // open the cursor read-only
  std::size_t BookmarkOffset = 0;               // offset of the bookmark in a record buffer
  std::size_t NullOffset = 0;                   // offset of the null indicators
  std::unique_ptr<TZantrelParams> Params;       // statement parameters; owned
  std::unique_ptr<TZantrelDataLink> DataLink;   // link to the master data source; owned
  std::uint8_t DBFlags = 0;                     // reasons for holding the session (bits 0..7)
  bool AtLast = false;                          // the cursor was last sent to the end
  bool DescribeOnly = false;                    // prepare only for the parameter description
  bool InResume = false;                        // reopening over the next result set
  bool ResumedResult = false;                   // the open result came from Resume
  bool EditChecked = false;                     // the changed-row check failed once already
  bool SyncInserts = false;                     // find inserted rows again by key values
  std::vector<TField*> KeyFields;               // fields that identify a row
  std::unique_ptr<TZantrelIndexDefs> IndexDefs; // ORDER BY index of the open result; owned
  TRecordBuffer KeyBuffer = nullptr;            // key buffer of FindKey/GotoKey
  std::uint64_t OpenCount = 0;                  // opens so far, to date the key buffer
  std::uint64_t KeyOpenCount = 0;               // OpenCount when the key was set
  bool UseIndex = true;                         // searches may treat rows as sorted
  std::unique_ptr<TParams> ProviderParams;      // parameters handed to a provider; owned

private:
  // Writes the bookmark {Row, Flag} into Buffer.
  void StoreBookmark(TRecordBuffer Buffer, std::int32_t Row, TBookmarkFlag Flag);
  // Row number held in a bookmark.
  static std::int32_t BookmarkRow(const std::uint8_t* Bookmark);
  // Moves to the found row with the scroll events; on a miss, a cursor last
  // sent to the end goes back there.
  bool LocateAndScroll(const std::string& AKeyFields, const Variant& KeyValues,
                       TLocateOptions Options, bool Next);
  // Forgets a key set before the last reopen (its buffer is gone).
  void DropStaleKey();

  // What one result column gave the field definitions last time.
  struct TDefsShapeItem {
    std::string ColumnName;        // the cursor's name of the column
    bool Hidden;                   // a key the driver added: no definition
    TZantrelFieldTypes ColumnType; // the cursor's type code
    std::int32_t ColumnSize;       // the cursor's size
    std::string Name;              // the definition made of it
    TFieldType DataType;
    std::size_t Size;
  };
  // The field definitions are what InternalInitFieldDefs would build for
  // the cursor's present columns.
  bool FieldDefsMatchCursor();

  std::vector<TDefsShapeItem> DefsShape; // per column, the last definitions built

  // What GetParamValues makes of one position of Params.
  struct TParamPlanItem {
    const TZantrelParam* Param;  // the parameter at the position
    std::string Name;            // its name when the plan was made
    const TZantrelParam* Source; // the parameter whose value the position stands for
    bool First;                  // the first position standing for Source
  };
  // The plan describes Params as they are: the same parameters, same names.
  bool ParamPlanMatches() const;
  void BuildParamPlan();

  std::vector<TParamPlanItem> ParamPlan; // per position of Params, the last plan made
  // The array GetParamValues last handed out, refilled in place while the
  // number of values it passes stays the same. Callers get a shared copy;
  // one still held when the next call refills is detached first.
  Variant ParamValues;
  std::string OrderByText;        // SQLText whose ORDER BY clause is below
  std::string OrderByItems;       // that clause's field names, as the analysis gives them
  std::string OrderByDirections;  // and their directions
  bool OrderByKnown = false;      // the three above describe a text
  std::size_t LayoutRowSize = 0;  // R of the open result's record layout
  std::size_t LayoutNullSize = 0; // N of the open result's record layout
  bool DatasetDestroyed = false;  // DestroyDataset has run
};

// ---- Blob stream ---------------------------------------------------------------------

// The stream a dataset hands out for a blob field of its active record. It
// keeps no data: reading, writing and positioning go to the cursor's column
// stream, the column's null indicator in the record buffer follows what was
// written, characters are converted for transliterated fields, and the
// dataset hears of a change when the stream is destroyed.
//
// Without an active record the stream is inert: Read, Write and Seek return
// 0. The stream must not outlive the record buffer it was opened on (the
// framework's blob fields use one stream per call).
class TZantrelDatasetBlobStream : public TStream {
public:
  // Raises SZtlNoFieldAccess in the filter state; for bmWrite on a field not
  // yet modified, the read-only and not-editing errors of the framework.
  TZantrelDatasetBlobStream(TBlobField* AField, TBlobStreamMode AMode);
  // Marks the field modified and sends deFieldChange when a write stream
  // changed the column; an error of that event goes to the application.
  ~TZantrelDatasetBlobStream() override;
  TZantrelDatasetBlobStream(const TZantrelDatasetBlobStream&) = delete;
  TZantrelDatasetBlobStream& operator=(const TZantrelDatasetBlobStream&) = delete;

  std::int32_t Read(void* ABuffer, std::int32_t Count) override;
  std::int32_t Write(const void* ABuffer, std::int32_t Count) override;
  // 0 when inert, and for a seek from the end of a null column.
  std::int64_t Seek(std::int64_t Offset, int Origin) override;

  bool GetIsNull();
  void SetIsNull(bool Value);
  // Empties the column, which makes it null.
  void Truncate();

private:
  friend class TZantrelDataset;
  // As the public constructor, for a field known to be ADataSet's.
  TZantrelDatasetBlobStream(TBlobField* AField, TBlobStreamMode AMode, TZantrelDataset* ADataSet);

  TBlobField* Field;                        // the field served
  TZantrelDataset* DataSet;                 // the field's dataset
  TRecordBuffer Buffer = nullptr;           // the active record buffer at creation
  TBlobStreamMode Mode;                     // mode given at creation
  std::int32_t FieldNo;                     // the field's number, 1-based
  bool Opened = false;                      // a column stream is attached
  TZantrelBlobStream* BlobStream = nullptr; // the cursor's column stream; not owned
};

} // namespace ztl
