// The dataset's editing protocol (edit, insert, append, post, cancel, delete,
// refresh), the error-action loop, data events and disabled controls.
#include <exception>

#include "framework/rtl/Application.h"
#include "framework/db/DBConsts.h"
#include "framework/db/DataSet.h"
#include "framework/db/DataSource.h"

namespace ztl {

// Runs Op until it succeeds. A database error goes to ErrorEvent, whose
// action decides: daFail re-raises it, daAbort raises the silent EAbort,
// daRetry runs Op again. Other exceptions pass untouched.
template <class Operation>
void TDataSet::CheckOperation(Operation&& Op, const TDataSetErrorEvent& ErrorEvent) {
  for (;;) {
    try {
      Op();
      return;
    } catch (EDatabaseError& E) {
      TDataAction Action = daFail;
      if (ErrorEvent)
        ErrorEvent(this, E, Action);
      if (Action == daFail)
        throw;
      if (Action == daAbort)
        throw EAbort(SOperationAborted);
    }
  }
}

// ---- Edit --------------------------------------------------------------------

void TDataSet::Edit() {
  if (FState == dsEdit || FState == dsInsert)
    return;
  if (IsEmpty()) {
    Insert();
    return;
  }
  CheckBrowseMode();
  CheckCanModify();
  DoBeforeEdit();
  UpdateCursorPos();
  CheckOperation([this] { InternalEdit(); }, OnEditError);
  GetCalcFields(ActiveBuffer());
  SetState(dsEdit);
  DataEvent(deRecordChange);
  DoAfterEdit();
}

// ---- Insert and append ----------------------------------------------------------

// Checks that a record may be added and runs the before-events, then opens
// the new record's slot and initialises it; when the slot cannot be set up,
// the window is restored from the cursor and the error raised again.
void TDataSet::BeginNewRecord(bool Append) {
  CheckBrowseMode();
  CheckCanModify();
  DoBeforeInsert();
  DoBeforeScroll();
  if (!Append) {
    UpdateCursorPos();
    OpenInsertSlot();
  }
  try {
    if (Append)
      OpenAppendSlot();
    TRecordBuffer Buffer = ActiveBuffer();
    InitRecord(Buffer);
    if (Append) {
      SetBookmarkFlag(Buffer, bfEOF);
      // Leave the cursor after the last record, so that a cancelled append
      // finds its way back to the last record.
      InternalLast();
      FCurrentRecord = -1;
      FEOF = true;
    }
  } catch (...) {
    UndoNewRecord(std::current_exception());
  }
}

// Drops the new record's slot after a failure and raises Error again.
void TDataSet::UndoNewRecord(std::exception_ptr Error) {
  CleanUp([this] {
    FreeFieldBuffers();
    SetState(dsBrowse);
    Resync({});
  });
  std::rethrow_exception(Error);
}

// Insert and Append differ only in where the new record's slot opens.
void TDataSet::StartNewRecord(bool Append) {
  BeginNewRecord(Append);
  try {
    InternalInsert();
    SetState(dsInsert);
    DoOnNewRecord();
    FModified = false;
  } catch (...) {
    UndoNewRecord(std::current_exception());
  }
  DataEvent(deDataSetChange);
  DoAfterInsert();
  DoAfterScroll();
}

void TDataSet::Insert() {
  StartNewRecord(false);
}

void TDataSet::Append() {
  StartNewRecord(true);
}

void TDataSet::SetFields(const std::vector<Variant>& Values) {
  for (std::size_t I = 0; I < Values.size(); ++I) {
    const Variant& Value = Values[I];
    TField* Field = FFields[static_cast<int>(I)];
    if (Value.IsEmpty())
      continue;
    if (Value.IsNull())
      Field->Clear();
    else
      Field->SetValue(Value);
  }
}

void TDataSet::AddRecord(const std::vector<Variant>& Values, bool Append) {
  BeginNewRecord(Append);
  try {
    TControlsGuard Controls(*this);
    try {
      SetState(dsInsert);
      DoOnNewRecord();
      SetFields(Values);
      DoBeforePost();
      CheckOperation([this, Append] { InternalAddRecord(ActiveBuffer(), Append); }, OnPostError);
    } catch (...) {
      std::exception_ptr Error = std::current_exception();
      CleanUp([this] {
        FreeFieldBuffers();
        SetState(dsBrowse);
      });
      std::rethrow_exception(Error);
    }
    FreeFieldBuffers();
    SetState(dsBrowse);
  } catch (...) {
    // The new slot must not stay in the window as if it were a record.
    UndoNewRecord(std::current_exception());
  }
  Resync({});
  DoAfterPost();
  DoAfterScroll();
}

void TDataSet::InsertRecord(const std::vector<Variant>& Values) {
  AddRecord(Values, false);
}

void TDataSet::AppendRecord(const std::vector<Variant>& Values) {
  AddRecord(Values, true);
}

void TDataSet::InternalAddRecord(TRecordBuffer, bool) {}

void TDataSet::InitRecord(TRecordBuffer Buffer) {
  InternalInitRecord(Buffer);
  ClearCalcFields(Buffer);
  SetBookmarkFlag(Buffer, bfInserted);
}

// ---- Post, cancel, delete, refresh ------------------------------------------------

void TDataSet::UpdateRecord() {
  if (!dsEditModes.Contains(FState))
    DatabaseError(SNotEditing, this);
  DataEvent(deUpdateRecord);
}

void TDataSet::Post() {
  UpdateRecord();
  if (FState == dsSetKey) {
    SetState(dsBrowse);
    DataEvent(deDataSetChange);
    return;
  }
  DataEvent(deCheckBrowseMode);
  DoBeforePost();
  CheckRequiredFields();
  if (FState == dsEdit)
    UpdateCursorPos();
  CheckOperation([this] { InternalPost(); }, OnPostError);
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync({});
  DoAfterPost();
}

void TDataSet::Cancel() {
  switch (FState) {
  case dsEdit:
  case dsInsert: {
    DataEvent(deCheckBrowseMode);
    DoBeforeCancel();
    if (FState == dsEdit)
      UpdateCursorPos();
    InternalCancel();
    FreeFieldBuffers();
    SetState(dsBrowse);
    Resync({});
    DoAfterCancel();
    break;
  }
  case dsSetKey:
    SetState(dsBrowse);
    DataEvent(deDataSetChange);
    break;
  default:
    break;
  }
}

void TDataSet::Delete() {
  CheckActive();
  if (FState == dsInsert || FState == dsSetKey) {
    Cancel();
    return;
  }
  if (IsEmpty())
    DatabaseError(SDataSetEmpty, this);
  CheckCanModify();
  DataEvent(deCheckBrowseMode);
  DoBeforeDelete();
  DoBeforeScroll();
  UpdateCursorPos();
  CheckOperation([this] { InternalDelete(); }, OnDeleteError);
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync({});
  DoAfterDelete();
  DoAfterScroll();
}

void TDataSet::Refresh() {
  CheckBrowseMode();
  DoBeforeRefresh();
  UpdateCursorPos();
  InternalRefresh();
  Resync({});
  DoAfterRefresh();
}

// ---- Data events --------------------------------------------------------------------

void TDataSet::DataEvent(TDataEvent Event, const TDataEventInfo& Info) {
  if (Event == deFieldChange && Info.Field) {
    TField* Field = Info.Field;
    bool Editing = FState == dsEdit || FState == dsInsert;
    // Only stored values count as changes and feed the calculation; a
    // calculated field written by the calculation itself must not re-enter it.
    bool Stored = Field->FieldKind() == fkData || Field->FieldKind() == fkInternalCalc;
    if (Editing && Stored)
      FModified = true;
    if (Editing && Stored && FAutoCalcFields && FCalcFieldCount > 0)
      GetCalcFields(ActiveBuffer());
    Field->Change();
  }
  // Temporary states are the dataset's own business; controls never see them.
  if (FTempStateDepth > 0)
    return;
  if ((FDisableCount > 0 || FState == dsBlockRead) && Event != deCheckBrowseMode &&
      Event != deUpdateRecord) {
    if (Event == deLayoutChange)
      FPendingEvent = TPendingEvent::LayoutChange;
    else if (FPendingEvent == TPendingEvent::None)
      FPendingEvent = TPendingEvent::DataSetChange;
    return;
  }
  NotifySources(Event, Info);
}

void TDataSet::NotifySources(TDataEvent Event, const TDataEventInfo& Info) {
  // Indexed: a handler may detach a source while the event travels.
  for (std::size_t I = 0; I < FDataSources.size(); ++I)
    FDataSources[I]->DataEvent(Event, Info);
}

void TDataSet::FlushPendingEvent() {
  if (FDisableCount > 0 || FState == dsBlockRead)
    return;
  TPendingEvent Pending = FPendingEvent;
  FPendingEvent = TPendingEvent::None;
  if (Pending == TPendingEvent::None || FState == dsInactive)
    return;
  DataEvent(Pending == TPendingEvent::LayoutChange ? deLayoutChange : deDataSetChange);
}

void TDataSet::DisableControls() {
  if (FDisableCount == 0) {
    FDisableState = FState;
    FPendingEvent = TPendingEvent::None;
  }
  ++FDisableCount;
}

void TDataSet::EnableControls() {
  if (FDisableCount == 0)
    return;
  if (--FDisableCount > 0)
    return;
  if (FState != FDisableState) {
    FDisableState = FState;
    DataEvent(deUpdateState);
  }
  FlushPendingEvent();
}

TControlsGuard::TControlsGuard(TDataSet& DataSet) : FDataSet(DataSet) {
  FDataSet.DisableControls();
}

TControlsGuard::~TControlsGuard() {
  try {
    FDataSet.EnableControls();
  } catch (...) {
    // A destructor cannot raise; the handler of a control failed while
    // catching up, which the application reports.
    Application().HandleException(&FDataSet);
  }
}

} // namespace ztl
