// The generic dataset: a window of record buffers over a descendant's cursor,
// navigation, bookmarks, states, editing, fields and data events.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/classes/Classes.h"
#include "framework/db/DBErrors.h"
#include "framework/db/DBTypes.h"
#include "framework/db/Fields.h"
#include "framework/db/IndexDefs.h"
#include "framework/variant/Variants.h"

namespace ztl {

class TStream;
class TParams;
class IProviderSupport;

// A dataset: the records of some source, one of them current, shown to the
// application through fields and to controls through data sources.
//
// The dataset keeps a window ("ring") of up to BufferCount record buffers
// holding consecutive records, one of them active. A descendant supplies the
// physical cursor: it allocates and lays out the buffers, fetches records
// into them (GetRecord), positions its cursor (InternalFirst, InternalLast,
// InternalGotoBookmark), stores bookmarks in buffers and moves field values
// between buffers and fields (GetFieldData, SetFieldData). The dataset never
// interprets buffer bytes.
//
// Every public operation makes its checks, fires its Before/After events and
// data events in a fixed order around the descendant's Internal... step, and
// leaves a consistent window when a step fails.
//
// The most derived destructor must close the dataset (CloseOnDestroy): the
// dataset's own destructor cannot reach the descendant's overrides any more.
class TDataSet : public TComponent {
public:
  explicit TDataSet(TComponent* AOwner = nullptr);
  ~TDataSet() override;

  // ---- Open, close, state -----------------------------------------------
  bool GetActive() const { return FState != dsInactive; }
  // While loading from a form only remembers the value (Loaded opens).
  void SetActive(bool Value);
  bool Active() const { return GetActive(); }
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  TDataSetState State() const { return FState; }
  // A data field changed since the record entered edit or insert state.
  bool Modified() const { return FModified; }
  void Loaded() override;
  // Form files: the persistent fields the form owns are written inside the
  // dataset's object, in field order; fields the dataset made itself are not.
  void GetChildren(const TGetChildProc& Proc, TComponent* Root) override;

  void CheckActive() const;   // SDataSetClosed when inactive
  void CheckInactive() const; // SDataSetOpen when active
  // A unidirectional dataset only moves forward: it keeps one record
  // buffer, offers no bookmarks, and going back (Prior, a negative MoveBy,
  // Last, GotoBookmark, First once moved on) raises SDataSetUnidirectional.
  bool IsUniDirectional() const { return FIsUniDirectional; }
  void CheckBiDirectional() const; // SDataSetUnidirectional when unidirectional
  // Posts (when modified) or cancels a pending edit so that the dataset is
  // browsing; raises SDataSetClosed when inactive.
  void CheckBrowseMode();
  // Enters a temporary state without any event; returns the old state.
  TDataSetState SetTempState(TDataSetState Value);
  void RestoreState(TDataSetState Value);

  // ---- Navigation ----------------------------------------------------------
  void First();
  void Last();
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  // Moves Distance records (negative: backward) and returns the signed number
  // actually moved; stops at either end, setting Eof or Bof.
  int MoveBy(int Distance);
  bool Bof() const { return FBOF; }
  bool Eof() const { return FEOF; }
  bool IsEmpty() const { return FBufferedCount == 0; }

  int RecNo() { return GetRecNo(); }
  int RecordCount() { return GetRecordCount(); }
  virtual int GetRecNo() { return -1; }
  virtual void SetRecNo(int) {}
  virtual int GetRecordCount() { return -1; }
  // Whether RecNo is a stable position of the record.
  virtual bool IsSequenced() { return true; }

  // Re-fetches the active record and its neighbours from the cursor. With
  // rmExact the record under the cursor must exist (else SRecordNotFound);
  // with rmCenter it is shown in the middle of the window, else in the row it
  // had. Ends with deDataSetChange.
  virtual void Resync(TResyncMode Mode);
  // The descendant moved its cursor behind the dataset's back.
  void CursorPosChanged() { FCurrentRecord = -1; }
  // Puts the descendant's cursor on the active record when it is elsewhere.
  void UpdateCursorPos();

  // The active record's buffer; null when the window is empty.
  TRecordBuffer ActiveBuffer() const {
    return FBufferedCount > 0 ? FBuffers[static_cast<std::size_t>(FActiveRecord)] : nullptr;
  }
  // A buffer of the dataset's own, outside the window (key and search buffers).
  TRecordBuffer TempBuffer() const { return FTempBuffer; }
  // The buffer whose calculated fields are being computed (or were last).
  TRecordBuffer CalcBuffer() const { return FCalcBuffer; }
  int GetActiveRecord() const { return FActiveRecord; }
  int GetBufferCount() const { return FBufferCount; }
  int GetBufferedCount() const { return FBufferedCount; }
  int GetBookmarkSize() const { return BookmarkSize; }

  // ---- Bookmarks --------------------------------------------------------------
  // Available while browsing or editing a real (not new) record.
  bool BookmarkAvailable();
  // The active record's bookmark, or an empty one when none is available.
  TBookmark GetBookmark();
  // Makes the bookmarked record active and centres it; an empty bookmark
  // does nothing; one of the wrong size raises SRecordNotFound.
  void GotoBookmark(const TBookmark& Bookmark);
  TBookmark Bookmark() { return GetBookmark(); }
  void SetBookmark(const TBookmark& Value) { GotoBookmark(Value); }
  // Order of two bookmarks (null is allowed); the base says 0.
  virtual int CompareBookmarks(const std::uint8_t* Bookmark1, const std::uint8_t* Bookmark2);
  // Whether the bookmark names an existing record; the base says false.
  virtual bool BookmarkValid(const std::uint8_t* Bookmark);

  // ---- Editing ----------------------------------------------------------------
  void Edit();
  void Insert();
  void Append();
  void Post();
  void Cancel();
  void Delete();
  void Refresh();
  // Adds a record holding Values (Fields[i] takes Values[i]; Empty skips a
  // field, Null clears it) in one step, without staying in insert state.
  void InsertRecord(const std::vector<Variant>& Values);
  void AppendRecord(const std::vector<Variant>& Values);
  // Asks the data links to write pending control values into the fields;
  // raises SNotEditing outside the edit modes.
  void UpdateRecord();
  bool CanModify() { return GetCanModify(); }

  // ---- Fields -------------------------------------------------------------------
  TFieldDefs& FieldDefs() { return *FFieldDefs; }
  TFields& Fields() { return FFields; }
  const TFields& Fields() const { return FFields; }
  int FieldCount() const { return FFields.Count(); }
  TField* FindField(const std::string& FieldName) const { return FFields.FindField(FieldName); }
  // Raises SFieldNotFound (prefixed by the dataset's name).
  TField* FieldByName(const std::string& FieldName) const { return FFields.FieldByName(FieldName); }
  TField* FieldByNumber(int FieldNo) const { return FFields.FieldByNumber(FieldNo); }
  // The fields named in a ';' list (blanks trimmed, empty items skipped).
  void GetFieldList(std::vector<TField*>& List, const std::string& FieldNames) const;
  // One name: that field's value; several: a Variant array 0..n-1.
  Variant GetFieldValue(const std::string& FieldNames) const;
  void SetFieldValue(const std::string& FieldNames, const Variant& Value);
  // Fields were created from the definitions at open and go with the close.
  bool DefaultFields() const { return FDefaultFields; }
  std::size_t CalcFieldsSize() const { return FCalcFieldsSize; }
  bool GetAutoCalcFields() const { return FAutoCalcFields; }
  void SetAutoCalcFields(bool Value) { FAutoCalcFields = Value; }

  // Field data exchange, in the field data format of the field's class.
  // GetFieldData returns whether the field has a value (copying it when
  // Buffer is given); SetFieldData stores it (null Buffer: null). The base
  // has no record data: false and nothing.
  virtual bool GetFieldData(TField* Field, void* Buffer);
  virtual void SetFieldData(TField* Field, const void* Buffer);
  // A stream over a blob field's content (the caller owns it). The base
  // raises SBlobStreamUnsupported.
  virtual std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode);
  // The whole content of blob field Field, exactly as a bmRead stream from
  // CreateBlobStream reads it from position 0 to its end. The base reads such
  // a stream (SBlobStreamUnsupported, without the dataset's name, when
  // CreateBlobStream gives none), so a dataset that only supplies streams
  // needs nothing more. A dataset that can reach the content without making
  // a stream overrides this; a descendant of that dataset that changes what
  // its streams read overrides this too.
  virtual std::string GetBlobContent(TField* Field);
  // Converts a NUL-terminated text between the application's and the
  // storage's code page. The base copies Src to Dest and returns its length.
  virtual int Translate(const char* Src, char* Dest, bool ToOem);
  // Copies the record under the cursor; the base has none (false).
  virtual bool GetCurrentRecord(TRecordBuffer Buffer);

  // ---- Searching ----------------------------------------------------------------
  virtual bool Locate(const std::string& KeyFields, const Variant& KeyValues,
                      TLocateOptions Options);
  virtual Variant Lookup(const std::string& KeyFields, const Variant& KeyValues,
                         const std::string& ResultFields);

  // ---- Data events and controls ------------------------------------------------
  // Handles a field change (Modified, calculated fields, OnChange) and passes
  // the event to every attached data source unless controls are disabled.
  virtual void DataEvent(TDataEvent Event, const TDataEventInfo& Info = {});
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return FDisableCount > 0; }
  // True when DataSource leads back to this dataset through master links.
  bool IsLinkedTo(TDataSource* DataSource) const;
  int GetBlockReadSize() const { return FBlockReadSize; }
  // A positive size enters dsBlockRead while browsing; 0 returns to browse.
  void SetBlockReadSize(int Value);

  // ---- Events ---------------------------------------------------------------------
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent BeforeRefresh, AfterRefresh;
  TDataSetNotifyEvent OnCalcFields, OnNewRecord;
  TDataSetErrorEvent OnEditError, OnPostError, OnDeleteError;

protected:
  // ---- What every descendant supplies --------------------------------------
  virtual TRecordBuffer AllocRecordBuffer() = 0;
  virtual void FreeRecordBuffer(TRecordBuffer& Buffer) = 0; // sets Buffer to null
  // Fetches the next, prior or current record into Buffer (see DataSetBuffers).
  virtual TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) = 0;
  virtual std::size_t GetRecordSize() = 0;
  // Opens the cursor: field definitions, fields (CreateFields when
  // DefaultFields), BindFields(true), BookmarkSize, buffer layout.
  virtual void InternalOpen() = 0;
  // Closes the cursor: BindFields(false), DestroyFields when DefaultFields.
  virtual void InternalClose() = 0;
  // Clears and fills FieldDefs from the cursor.
  virtual void InternalInitFieldDefs() = 0;
  virtual bool IsCursorOpen() = 0;
  virtual void InternalFirst() = 0; // before the first record
  virtual void InternalLast() = 0;  // after the last record
  virtual void InternalGotoBookmark(const std::uint8_t* Bookmark) = 0;
  virtual void GetBookmarkData(TRecordBuffer Buffer, std::uint8_t* Data) = 0;
  virtual void SetBookmarkData(TRecordBuffer Buffer, const std::uint8_t* Data) = 0;
  virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) = 0;
  virtual void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) = 0;
  virtual void InternalInitRecord(TRecordBuffer Buffer) = 0; // an empty record
  virtual void InternalPost() = 0;
  virtual void InternalDelete() = 0;

  // ---- Overridable steps with defaults ---------------------------------------
  // The cursor stands on the record held in Buffer. Default: its bookmark.
  virtual void InternalSetToRecord(TRecordBuffer Buffer);
  virtual void InternalEdit() {}
  virtual void InternalInsert() {}
  virtual void InternalCancel() {}
  virtual void InternalRefresh() {}
  // Adds the record in Buffer in one step (InsertRecord, AppendRecord).
  virtual void InternalAddRecord(TRecordBuffer Buffer, bool Append);
  // Reports the exception being handled; call inside a catch block.
  virtual void InternalHandleException();
  // InternalOpen, or with InfoQuery only InternalInitFieldDefs.
  virtual void OpenCursor(bool InfoQuery);
  // Frees the window, then InternalClose (not after an information query).
  virtual void CloseCursor();
  // Fills FieldDefs, opening the cursor for information only when needed.
  virtual void InitFieldDefs();
  // InternalInitRecord, ClearCalcFields, then the bfInserted flag.
  virtual void InitRecord(TRecordBuffer Buffer);
  virtual void ClearCalcFields(TRecordBuffer) {}
  // Computes calculated and lookup fields of Buffer in dsCalcFields state.
  virtual void GetCalcFields(TRecordBuffer Buffer);
  virtual void CalculateFields(TRecordBuffer Buffer);
  virtual bool GetCanModify() { return true; }
  // Set by a descendant whose cursor cannot go back, while inactive.
  void SetUniDirectional(bool Value) { FIsUniDirectional = Value; }
  // Clears blob fields' Modified flags after a post or cancel.
  virtual void FreeFieldBuffers();
  // Enters State (resetting Modified) and sends deUpdateState when it changes.
  virtual void SetState(TDataSetState Value);
  // The master data source of a detail dataset; null by default.
  virtual TDataSource* GetDataSource() const { return nullptr; }

  virtual void DoAfterCancel();
  virtual void DoAfterClose();
  virtual void DoAfterDelete();
  virtual void DoAfterEdit();
  virtual void DoAfterInsert();
  virtual void DoAfterOpen();
  virtual void DoAfterPost();
  virtual void DoAfterRefresh();
  virtual void DoAfterScroll();
  virtual void DoBeforeCancel();
  virtual void DoBeforeClose();
  virtual void DoBeforeDelete();
  virtual void DoBeforeEdit();
  virtual void DoBeforeInsert();
  virtual void DoBeforeOpen();
  virtual void DoBeforePost();
  virtual void DoBeforeRefresh();
  virtual void DoBeforeScroll();
  virtual void DoOnCalcFields();
  virtual void DoOnNewRecord();

  // ---- Field management for descendants ----------------------------------------
  // One field per visible, typed definition, owned by the dataset.
  void CreateFields();
  // Destroys the fields the dataset created itself.
  void DestroyFields();
  // Binding gives data fields their definition numbers (checking names,
  // types and sizes) and calculated fields their calc-area offsets.
  void BindFields(bool Binding);
  void CheckCanModify();      // SDataSetReadOnly when the dataset cannot be modified
  void CheckRequiredFields(); // SFieldRequired for a required data field that is null
  void SetModified(bool Value) { FModified = Value; }
  bool HasCalcFields() const { return FCalcFieldCount > 0; }
  // Slot Index of the window (0 .. GetBufferedCount()-1 hold records).
  TRecordBuffer GetBuffer(int Index) const {
    return Index >= 0 && Index < static_cast<int>(FBuffers.size())
               ? FBuffers[static_cast<std::size_t>(Index)]
               : nullptr;
  }

  // For the most derived destructor: closes the dataset without raising. A
  // failing close is reported through the application and the cursor is
  // closed all the same, so that nothing stays allocated.
  void CloseOnDestroy() noexcept;

  // ---- Provider operations (reached through IProviderSupport) ------------------
  virtual void PSStartTransaction() {}
  virtual void PSEndTransaction(bool) {}
  virtual bool PSInTransaction() { return false; }
  virtual void PSExecute();
  virtual void PSGetAttributes(std::vector<std::pair<std::string, Variant>>&) {}
  virtual std::unique_ptr<TIndexDef> PSGetDefaultOrder();
  virtual std::string PSGetKeyFields();
  virtual TParams* PSGetParams() { return nullptr; }
  virtual std::string PSGetQuoteChar() { return "\""; }
  virtual std::string PSGetTableName() { return {}; }
  virtual std::unique_ptr<EUpdateError> PSGetUpdateException(std::exception_ptr E,
                                                             const EUpdateError* Prev);
  virtual bool PSIsSQLBased() { return false; }
  virtual bool PSIsSQLSupported() { return false; }
  virtual void PSReset() {}
  virtual void PSSetCommandText(const std::string&) {}
  virtual void PSSetParams(TParams*) {}

  // Bytes of a bookmark; the descendant sets it in InternalOpen.
  int BookmarkSize = 0;

private:
  friend class TField;
  friend class TFields;
  friend class TFieldDefs;
  friend class TDataSource;
  friend class TDataLink;
  friend class IProviderSupport;
  class TOpenCloseGuard;

  // Open and close steps.
  void DoOpen();
  void DoClose();

  // The window (DataSetBuffers.cpp).
  void AllocateBuffers();
  void FreeBuffers();
  void ClearBuffers();
  void SetCurrentRecord(int Index);
  bool GetNextRecord();
  bool GetPriorRecord();
  int GetNextRecords();
  int GetPriorRecords();
  int WantedBufferCount() const;
  void UpdateBufferCount();
  void ApplyBufferCount();
  // Opens a slot for a new record at the active row (Insert) or after the
  // last records (Append); returns with the new slot active.
  void OpenInsertSlot();
  void OpenAppendSlot();

  // Editing (DataSetEdit.cpp).
  void StartNewRecord(bool Append);
  void BeginNewRecord(bool Append);
  void UndoNewRecord(std::exception_ptr Error);
  void AddRecord(const std::vector<Variant>& Values, bool Append);
  void SetFields(const std::vector<Variant>& Values);
  template <class Operation>
  void CheckOperation(Operation&& Op, const TDataSetErrorEvent& ErrorEvent);
  void NotifySources(TDataEvent Event, const TDataEventInfo& Info);
  void FlushPendingEvent();
  // Reports an error that follows the one being raised (which must win).
  void ReportSecondaryError() noexcept;
  // Runs a clean-up step while an error is on its way out; the step's own
  // error is only reported.
  template <class Step>
  void CleanUp(Step&& S) noexcept {
    try {
      S();
    } catch (...) {
      ReportSecondaryError();
    }
  }

  void AddDataSource(TDataSource* Source);
  void RemoveDataSource(TDataSource* Source);

  TDataSetState FState = dsInactive;
  bool FModified = false;
  bool FBOF = true;
  bool FEOF = true;
  bool FDefaultFields = false;              // fields were created at open
  bool FIsUniDirectional = false;           // the cursor only moves forward
  bool FAutoCalcFields = true;              // recompute calculated fields on each change
  bool FStreamedActive = false;             // Active as read from a form, applied by Loaded
  bool FOpenClosing = false;                // inside Open or Close (re-entry is ignored)
  bool FInfoQuery = false;                  // cursor opened only for field definitions
  bool FBufferCountPending = false;         // window size to change on return to browse
  int FTempStateDepth = 0;                  // nested SetTempState calls
  int FDisableCount = 0;                    // DisableControls depth
  TDataSetState FDisableState = dsInactive; // state when controls were disabled
  // Event remembered while controls were disabled: none, a data set change or
  // a layout change (which implies the other).
  enum class TPendingEvent : std::uint8_t { None, DataSetChange, LayoutChange };
  TPendingEvent FPendingEvent = TPendingEvent::None;
  int FBlockReadSize = 0;

  std::vector<TRecordBuffer> FBuffers; // the ring: FBufferCount + 1 slots when open
  int FBufferCount = 0;                // records the window holds when full
  int FBufferedCount = 0;              // records held, in slots 0 .. FBufferedCount-1
  int FActiveRecord = 0;               // slot of the current record
  int FCurrentRecord = -1;             // slot the descendant's cursor is on, -1 unknown
  TRecordBuffer FTempBuffer = nullptr; // the dataset's spare buffer
  TRecordBuffer FCalcBuffer = nullptr; // buffer of the latest field calculation

  std::unique_ptr<TFieldDefs> FFieldDefs; // the definitions; owned
  TFields FFields;                        // attached fields; not owned
  std::size_t FCalcFieldsSize = 0;        // bytes of the calculated-fields area
  int FCalcFieldCount = 0;                // calculated, lookup and internal-calc fields
  std::vector<TDataSource*> FDataSources; // attached sources, in order; not owned
};

// Holds a temporary state for the lifetime of the guard.
class TTempState {
public:
  TTempState(TDataSet& DataSet, TDataSetState State)
      : FDataSet(DataSet), FOldState(DataSet.SetTempState(State)) {}
  ~TTempState() { FDataSet.RestoreState(FOldState); }
  TTempState(const TTempState&) = delete;
  TTempState& operator=(const TTempState&) = delete;

private:
  TDataSet& FDataSet;
  TDataSetState FOldState;
};

// Keeps a dataset's controls disabled for the lifetime of the guard. An
// error raised while re-enabling them during unwinding is reported through
// the application instead of escaping the destructor.
class TControlsGuard {
public:
  explicit TControlsGuard(TDataSet& DataSet);
  ~TControlsGuard();
  TControlsGuard(const TControlsGuard&) = delete;
  TControlsGuard& operator=(const TControlsGuard&) = delete;

private:
  TDataSet& FDataSet;
};

// The provider's access to a dataset's provider operations.
class IProviderSupport {
public:
  explicit IProviderSupport(TDataSet& DataSet) : FDataSet(DataSet) {}

  void PSStartTransaction() { FDataSet.PSStartTransaction(); }
  void PSEndTransaction(bool Commit) { FDataSet.PSEndTransaction(Commit); }
  bool PSInTransaction() { return FDataSet.PSInTransaction(); }
  void PSExecute() { FDataSet.PSExecute(); }
  void PSGetAttributes(std::vector<std::pair<std::string, Variant>>& List) {
    FDataSet.PSGetAttributes(List);
  }
  std::unique_ptr<TIndexDef> PSGetDefaultOrder() { return FDataSet.PSGetDefaultOrder(); }
  std::string PSGetKeyFields() { return FDataSet.PSGetKeyFields(); }
  TParams* PSGetParams() { return FDataSet.PSGetParams(); }
  std::string PSGetQuoteChar() { return FDataSet.PSGetQuoteChar(); }
  std::string PSGetTableName() { return FDataSet.PSGetTableName(); }
  std::unique_ptr<EUpdateError> PSGetUpdateException(std::exception_ptr E,
                                                     const EUpdateError* Prev) {
    return FDataSet.PSGetUpdateException(std::move(E), Prev);
  }
  bool PSIsSQLBased() { return FDataSet.PSIsSQLBased(); }
  bool PSIsSQLSupported() { return FDataSet.PSIsSQLSupported(); }
  void PSReset() { FDataSet.PSReset(); }
  void PSSetCommandText(const std::string& Text) { FDataSet.PSSetCommandText(Text); }
  void PSSetParams(TParams* Params) { FDataSet.PSSetParams(Params); }

private:
  TDataSet& FDataSet;
};

} // namespace ztl
