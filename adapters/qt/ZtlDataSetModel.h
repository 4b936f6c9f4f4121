// ZtlDataSetModel: a Qt table model over any TDataSet, so that QTableView
// (and anything else that reads a QAbstractItemModel) shows and edits a
// dataset's rows.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

#include "framework/db/DataSet.h"
#include "framework/db/DataSource.h"

namespace ztl {

class TZtlDataSetModel;

// The model's connection to its data source: it turns the dataset's events
// into model resets and row updates. Internal to the model.
class TZtlModelLink final : public TDataLink {
public:
  explicit TZtlModelLink(TZtlDataSetModel& AModel) : Model(AModel) {}

protected:
  void ActiveChanged() override;
  void LayoutChanged() override;
  void DataSetChanged() override;
  void DataSetScrolled(int Distance) override;
  void RecordChanged(TField* Field) override;

private:
  TZtlDataSetModel& Model; // the model that owns this link
};

// A table of a dataset's rows: one column per visible field (in field order,
// headed by the field's display name), one row per record fetched so far.
//
// Rows are fetched lazily, GetBatchSize() at a time, when a view asks for
// more (canFetchMore/fetchMore); opening the dataset fetches nothing. Each
// fetched row keeps a copy of its values and its bookmark, so reading the
// model never moves the dataset. Fetching walks the dataset forward from the
// last fetched record with its controls disabled and then returns to the
// record that was current, so other controls on the same data keep their
// record. The framework's datasets all support bookmarks; the model relies on
// them to come back to a row and does not work on a dataset without them.
//
// Roles: DisplayRole is the field's text; EditRole the typed value, a null
// value being a null QVariant of the field's type (never an empty string or
// zero); TextAlignmentRole right for numbers, left otherwise.
//
// setData edits through the dataset: it moves to the row, calls Edit, assigns
// the value and posts. When any step fails the edit is cancelled, the row keeps
// the values it had, setData returns false, GetLastError() holds the error's
// message and ErrorOccurred carries it. An EAbort (a handler's silent abort)
// cancels and returns false without the signal. The dataset stays on the
// edited record afterwards, as it does when a grid edits a row.
//
// The model follows the dataset through a data link: opening, closing and a
// change of the visible fields reset it; a dataset change made by others (a
// post, a delete, an insert, a refresh, First, a search) resets it as well,
// because the framework's events do not tell a move from a change of data;
// scrolling alone changes nothing; fields edited by another control update
// their row as they change. A closed dataset, or none, is an empty model.
//
// Fetching is refused while someone else holds the dataset in edit or insert
// state, so a view's scrolling never posts a half-finished edit, and while
// the model is busy with the dataset or one of its events.
class TZtlDataSetModel : public QAbstractTableModel {
  Q_OBJECT

public:
  explicit TZtlDataSetModel(QObject* Parent = nullptr);
  ~TZtlDataSetModel() override;

  // The source whose dataset the model shows (not owned; clearing it, or
  // destroying it, empties the model).
  TDataSource* GetDataSource() const { return Link.GetDataSource(); }
  void SetDataSource(TDataSource* Value);
  // Shows a dataset through a source the model owns; null empties the model.
  void SetDataSet(TDataSet* Value);
  TDataSet* GetDataSet() const { return Link.DataSet(); }

  // Records read per fetch; values below 1 count as 1.
  int GetBatchSize() const { return FBatchSize; }
  void SetBatchSize(int Value) { FBatchSize = Value < 1 ? 1 : Value; }

  // The message of the last failed edit or fetch; a successful edit clears it.
  const QString& GetLastError() const { return FLastError; }
  // The field shown in Column, or null.
  TField* FieldOf(int Column) const;

  int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& Parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
  QVariant headerData(int Section, Qt::Orientation Orientation,
                      int Role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& Index) const override;
  bool setData(const QModelIndex& Index, const QVariant& Value, int Role = Qt::EditRole) override;
  bool canFetchMore(const QModelIndex& Parent) const override;
  void fetchMore(const QModelIndex& Parent) override;

signals:
  // A fetch or an edit failed; Message is the dataset's error text.
  void ErrorOccurred(const QString& Message);

private:
  friend class TZtlModelLink;

  // One cell as it was read.
  struct TCell {
    QString Display; // the field's text
    QVariant Value;  // the typed value; a null QVariant of the type for null
  };
  // One fetched record.
  struct TRow {
    TBookmark Bookmark;       // where the record is in the dataset
    std::vector<TCell> Cells; // one per column
  };
  // Marks the model busy with the dataset, so the events its own navigation
  // causes are not taken for changes made by others.
  struct TBusy {
    explicit TBusy(TZtlDataSetModel& M) : Model(M) { ++Model.FBusy; }
    ~TBusy() { --Model.FBusy; }
    TBusy(const TBusy&) = delete;
    TBusy& operator=(const TBusy&) = delete;
    TZtlDataSetModel& Model;
  };

  // Drops every row and takes the columns afresh from the dataset.
  void Reset();
  // The cells of the dataset's active record.
  TRow ReadRow();
  // Re-reads the active record into the row holding its bookmark, if any.
  void RefreshActiveRow();
  // Records Message as the last error and announces it.
  void Fail(const QString& Message);
  bool Editable(const TField* Field) const;
  bool Holds(const QModelIndex& Index) const;
  // True when the dataset is open and no one holds it in an edit mode.
  bool Browsing() const;

  TZtlModelLink Link{*this};              // the model's view of its source
  std::unique_ptr<TDataSource> OwnSource; // the source SetDataSet made, if any
  std::vector<TField*> Columns;           // the visible fields, in order
  std::vector<TRow> Rows;                 // the records fetched so far
  int FBatchSize = 256;                   // records per fetch
  bool FAtEnd = false;                    // the last record has been fetched
  bool FFetchFailed = false;              // a fetch failed; no retry until a reset
  int FBusy = 0;                          // nesting of TBusy
  bool FDestroying = false;               // the destructor runs; events are ignored
  unsigned FGeneration = 0;               // counts resets, to notice one mid-operation
  QString FLastError;                     // message of the last failure
};

} // namespace ztl
