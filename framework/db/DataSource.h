// Data sources and data links: how controls and detail datasets hear of a
// dataset's changes.
#pragma once

#include <vector>

#include "framework/classes/Classes.h"
#include "framework/db/DBTypes.h"

namespace ztl {

class TDataLink;

// The meeting point between one dataset and any number of data links.
//
// A source forwards every data event of its dataset to its links (in the
// order they attached), then fires its own events: OnStateChange for a
// state change, OnDataChange for field, record, dataset and scroll changes,
// OnUpdateData when pending values should be written. A disabled source
// forwards nothing and its links count as inactive.
//
// The source and its dataset know each other; destroying either clears the
// other's reference. Destroying a source detaches its links.
class TDataSource : public TComponent {
public:
  explicit TDataSource(TComponent* AOwner = nullptr);
  ~TDataSource() override;

  TDataSet* GetDataSet() const { return FDataSet; }
  // Moves the source to another dataset (or none); links re-evaluate their
  // Active state. Raises EDatabaseError with SCircularDataLink when a dataset
  // on the new dataset's master chain takes this source as its master.
  void SetDataSet(TDataSet* ADataSet);
  bool GetEnabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  bool GetAutoEdit() const { return FAutoEdit; }
  void SetAutoEdit(bool Value) { FAutoEdit = Value; }

  // The dataset's state, dsInactive without a dataset.
  TDataSetState State() const;
  // Puts the dataset in edit state when AutoEdit allows and it is browsing.
  void Edit();
  // True when the dataset is reached from this source through master links.
  bool IsLinkedTo(TDataSet* ADataSet) const;

  int LinkCount() const { return static_cast<int>(FDataLinks.size()); }

  TNotifyEvent OnStateChange;
  TDataChangeEvent OnDataChange;
  TNotifyEvent OnUpdateData;

private:
  friend class TDataSet;
  friend class TDataLink;

  // Called by the dataset for each data event.
  void DataEvent(TDataEvent Event, const TDataEventInfo& Info);
  bool WouldCloseLoop(TDataSet* ADataSet) const;
  // Every link re-checks whether it is active (source, dataset or Enabled changed).
  void NotifyLinkStates();
  // The largest BufferCount asked by an attached link (at least 1).
  int MaxBufferCount() const;

  void AddDataLink(TDataLink* Link);
  void RemoveDataLink(TDataLink* Link);

  TDataSet* FDataSet = nullptr;       // the dataset shown; not owned
  bool FEnabled = true;               // false: forwards nothing
  bool FAutoEdit = true;              // Edit may start editing
  std::vector<TDataLink*> FDataLinks; // attached links, in attachment order; not owned
};

// A connection from a consumer (a control, a detail dataset) to a data
// source. The consumer derives from it and overrides the hooks it cares
// about; each data event reaches exactly one hook (see DataEvent).
//
// A link is a plain object owned by its consumer; destroying it detaches it.
// BufferCount asks the dataset to hold that many records at once; the link
// sees them as its own window with ActiveRecord relative to its first
// visible record.
class TDataLink {
public:
  TDataLink() = default;
  virtual ~TDataLink();
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* GetDataSource() const { return FDataSource; }
  // Raises EDatabaseError with SDataSourceChange when DataSourceFixed.
  void SetDataSource(TDataSource* ADataSource);
  bool DataSourceFixed = false; // the source may not be changed

  TDataSet* DataSet() const;
  // Source set and enabled and its dataset active.
  bool Active() const { return FActive; }
  // Active, not ReadOnly, and the dataset in an edit mode.
  bool Editing() const { return FEditing; }
  bool GetReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value);

  int GetBufferCount() const { return FBufferCount; }
  // Values below 1 count as 1. The dataset's window follows at once when
  // browsing, else when it next returns to browse state.
  void SetBufferCount(int Value);
  // The dataset's active record counted from this link's first visible record.
  int ActiveRecord() const;
  // Records of the dataset's window visible to this link (at most BufferCount).
  int RecordCount() const;

  // Asks the source to start editing; true when the link is editing afterwards.
  bool Edit();
  // Writes pending control values into fields (UpdateData), once at a time.
  void UpdateRecord();

protected:
  virtual void ActiveChanged() {}
  virtual void CheckBrowseMode() {}
  virtual void DataSetChanged();
  virtual void DataSetScrolled(int Distance);
  virtual void EditingChanged() {}
  virtual void FocusControl(TField** Field);
  virtual void LayoutChanged();
  virtual void RecordChanged(TField* Field);
  virtual void UpdateData() {}

private:
  friend class TDataSource;
  friend class TDataSet;

  void DataEvent(TDataEvent Event, const TDataEventInfo& Info);
  void UpdateState();
  // Keeps the first visible record such that the active record is in view.
  void UpdateRange();

  TDataSource* FDataSource = nullptr; // not owned
  int FBufferCount = 1;               // records this link wants at once
  int FFirstRecord = 0;               // dataset slot of the first visible record
  bool FReadOnly = false;
  bool FActive = false;   // last reported Active state
  bool FEditing = false;  // last reported Editing state
  bool FUpdating = false; // inside UpdateRecord
};

} // namespace ztl
