// Data sources and data links.
#include "framework/db/DataSource.h"

#include <algorithm>
#include <unordered_set>

#include "framework/rtl/Application.h"
#include "framework/db/DBConsts.h"
#include "framework/db/DBErrors.h"
#include "framework/db/DataSet.h"

namespace ztl {

// ---- TDataSource ---------------------------------------------------------------

TDataSource::TDataSource(TComponent* AOwner) : TComponent(AOwner) {}

TDataSource::~TDataSource() {
  Destroying();
  if (FDataSet) {
    TDataSet* DataSet = FDataSet;
    FDataSet = nullptr;
    try {
      DataSet->RemoveDataSource(this);
    } catch (...) {
      Application().HandleException(this);
    }
  }
  while (!FDataLinks.empty()) {
    TDataLink* Link = FDataLinks.back();
    FDataLinks.pop_back();
    Link->FDataSource = nullptr;
    try {
      Link->UpdateState();
    } catch (...) {
      Application().HandleException(this);
    }
  }
}

void TDataSource::SetDataSet(TDataSet* ADataSet) {
  if (ADataSet == FDataSet)
    return;
  if (ADataSet && WouldCloseLoop(ADataSet))
    DatabaseError(SCircularDataLink, this);
  if (TDataSet* Old = FDataSet) {
    FDataSet = nullptr;
    Old->RemoveDataSource(this);
  }
  if (ADataSet) {
    FDataSet = ADataSet;
    ADataSet->AddDataSource(this);
  }
  NotifyLinkStates();
}

void TDataSource::SetEnabled(bool Value) {
  if (Value == FEnabled)
    return;
  FEnabled = Value;
  NotifyLinkStates();
}

TDataSetState TDataSource::State() const {
  return FDataSet ? FDataSet->State() : dsInactive;
}

void TDataSource::Edit() {
  if (FAutoEdit && FDataSet && FDataSet->State() == dsBrowse)
    FDataSet->Edit();
}

// Showing ADataSet closes a loop when a dataset on its master chain (itself
// included) takes this source as its master. Only that is refused: moving a
// source that no detail of the new dataset's chain listens to is harmless.
bool TDataSource::WouldCloseLoop(TDataSet* ADataSet) const {
  std::unordered_set<const TDataSet*> Visited;
  for (const TDataSet* DataSet = ADataSet; DataSet && Visited.insert(DataSet).second;) {
    const TDataSource* Master = DataSet->GetDataSource();
    if (Master == this)
      return true;
    DataSet = Master ? Master->GetDataSet() : nullptr;
  }
  return false;
}

bool TDataSource::IsLinkedTo(TDataSet* ADataSet) const {
  return ADataSet && ADataSet->IsLinkedTo(const_cast<TDataSource*>(this));
}

void TDataSource::NotifyLinkStates() {
  for (std::size_t I = 0; I < FDataLinks.size(); ++I)
    FDataLinks[I]->UpdateState();
}

int TDataSource::MaxBufferCount() const {
  int Count = 1;
  for (const TDataLink* Link : FDataLinks)
    Count = std::max(Count, Link->FBufferCount);
  return Count;
}

void TDataSource::AddDataLink(TDataLink* Link) {
  FDataLinks.push_back(Link);
  if (FDataSet)
    FDataSet->UpdateBufferCount();
}

void TDataSource::RemoveDataLink(TDataLink* Link) {
  std::erase(FDataLinks, Link);
  if (FDataSet)
    FDataSet->UpdateBufferCount();
}

void TDataSource::DataEvent(TDataEvent Event, const TDataEventInfo& Info) {
  if (!FEnabled)
    return;
  if (Event == deFocusControl) {
    // The first link that takes the focus clears the field for the rest.
    TField* Field = Info.Field;
    for (std::size_t I = 0; I < FDataLinks.size() && Field; ++I)
      if (FDataLinks[I]->Active())
        FDataLinks[I]->FocusControl(&Field);
    return;
  }
  // Indexed: a hook may detach its link (or another) while the event travels.
  for (std::size_t I = 0; I < FDataLinks.size(); ++I)
    FDataLinks[I]->DataEvent(Event, Info);
  switch (Event) {
  case deUpdateState:
    if (OnStateChange)
      OnStateChange(this);
    break;
  case deFieldChange:
    if (OnDataChange)
      OnDataChange(this, Info.Field);
    break;
  case deRecordChange:
  case deDataSetChange:
  case deDataSetScroll:
    if (OnDataChange)
      OnDataChange(this, nullptr);
    break;
  case deUpdateRecord:
    if (OnUpdateData)
      OnUpdateData(this);
    break;
  default:
    break;
  }
}

// ---- TDataLink ------------------------------------------------------------------

TDataLink::~TDataLink() {
  if (!FDataSource)
    return;
  TDataSource* Source = FDataSource;
  FDataSource = nullptr;
  try {
    Source->RemoveDataLink(this);
  } catch (...) {
    Application().HandleException(Source);
  }
}

void TDataLink::SetDataSource(TDataSource* ADataSource) {
  if (ADataSource == FDataSource)
    return;
  if (DataSourceFixed)
    DatabaseError(SDataSourceChange);
  if (TDataSource* Old = FDataSource) {
    FDataSource = nullptr;
    Old->RemoveDataLink(this);
  }
  FFirstRecord = 0;
  if (ADataSource) {
    FDataSource = ADataSource;
    ADataSource->AddDataLink(this);
  }
  UpdateState();
}

TDataSet* TDataLink::DataSet() const {
  return FDataSource ? FDataSource->GetDataSet() : nullptr;
}

void TDataLink::SetReadOnly(bool Value) {
  if (Value == FReadOnly)
    return;
  FReadOnly = Value;
  UpdateState();
}

void TDataLink::SetBufferCount(int Value) {
  Value = std::max(Value, 1);
  if (Value == FBufferCount)
    return;
  FBufferCount = Value;
  if (TDataSet* DS = DataSet())
    DS->UpdateBufferCount();
  if (FActive)
    UpdateRange();
}

int TDataLink::ActiveRecord() const {
  TDataSet* DS = DataSet();
  if (!FActive || !DS)
    return 0;
  return std::max(DS->GetActiveRecord() - FFirstRecord, 0);
}

int TDataLink::RecordCount() const {
  TDataSet* DS = DataSet();
  if (!FActive || !DS)
    return 0;
  return std::clamp(DS->GetBufferedCount() - FFirstRecord, 0, FBufferCount);
}

bool TDataLink::Edit() {
  if (!FReadOnly && FDataSource)
    FDataSource->Edit();
  return FEditing;
}

void TDataLink::UpdateRecord() {
  if (FUpdating)
    return;
  FUpdating = true;
  struct TReset {
    bool& Flag;
    ~TReset() { Flag = false; }
  } Reset{FUpdating};
  UpdateData();
}

void TDataLink::DataSetChanged() {
  RecordChanged(nullptr);
}

void TDataLink::DataSetScrolled(int) {
  DataSetChanged();
}

void TDataLink::FocusControl(TField**) {}

void TDataLink::LayoutChanged() {
  DataSetChanged();
}

void TDataLink::RecordChanged(TField*) {}

void TDataLink::UpdateState() {
  TDataSet* DS = DataSet();
  bool NowActive = FDataSource && FDataSource->GetEnabled() && DS && DS->Active();
  bool NowEditing = NowActive && !FReadOnly && dsEditModes.Contains(DS->State());
  if (NowActive != FActive) {
    FActive = NowActive;
    FEditing = NowEditing;
    FFirstRecord = 0;
    if (FActive)
      UpdateRange();
    ActiveChanged();
    return;
  }
  if (NowEditing != FEditing) {
    FEditing = NowEditing;
    EditingChanged();
  }
}

void TDataLink::UpdateRange() {
  TDataSet* DS = DataSet();
  if (!DS)
    return;
  int Active = DS->GetActiveRecord();
  int Count = DS->GetBufferedCount();
  // Show as many records as the window holds, with the active one in view.
  FFirstRecord = std::min(FFirstRecord, std::max(Count - FBufferCount, 0));
  FFirstRecord = std::min(FFirstRecord, Active);
  FFirstRecord = std::max(FFirstRecord, Active - FBufferCount + 1);
  FFirstRecord = std::max(FFirstRecord, 0);
}

void TDataLink::DataEvent(TDataEvent Event, const TDataEventInfo& Info) {
  if (Event == deUpdateState) {
    UpdateState();
    return;
  }
  if (!FActive)
    return;
  switch (Event) {
  case deFieldChange:
  case deRecordChange:
    if (!FUpdating)
      RecordChanged(Event == deFieldChange ? Info.Field : nullptr);
    break;
  case deDataSetChange:
    UpdateRange();
    DataSetChanged();
    break;
  case deDataSetScroll:
    FFirstRecord -= Info.Distance;
    UpdateRange();
    DataSetScrolled(Info.Distance);
    break;
  case deLayoutChange:
    UpdateRange();
    LayoutChanged();
    break;
  case deUpdateRecord:
    UpdateRecord();
    break;
  case deCheckBrowseMode:
    CheckBrowseMode();
    break;
  default:
    break;
  }
}

} // namespace ztl
