// The Qt table model over a dataset: lazy fetching, reading values through
// the fields, editing through the dataset, and following its events.
#include "adapters/qt/ZtlDataSetModel.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QTime>

#include <exception>

#include "framework/db/Fields.h"
#include "framework/rtl/SysUtils.h"
#include "framework/text/Windows1252.h"
#include "framework/variant/DateUtils.h"

namespace ztl {
namespace {

// The library's text is Windows-1252; Qt's is Unicode.
QString ToQString(const std::string& Text) {
  return QString::fromStdU16String(Windows1252ToUtf16(Text));
}

std::string FromQString(const QString& Text) {
  return Utf32ToWindows1252(Text.toStdU32String());
}

bool IsNumeric(TFieldType Type) {
  switch (Type) {
  case ftSmallint:
  case ftInteger:
  case ftWord:
  case ftAutoInc:
  case ftLargeint:
  case ftFloat:
  case ftCurrency:
  case ftBCD:
    return true;
  default:
    return false;
  }
}

// The Qt type of a field's EditRole value.
QMetaType MetaTypeOf(TFieldType Type) {
  switch (Type) {
  case ftSmallint:
  case ftInteger:
  case ftWord:
  case ftAutoInc:
    return QMetaType::fromType<int>();
  case ftLargeint:
    return QMetaType::fromType<qlonglong>();
  case ftFloat:
  case ftCurrency:
  case ftBCD:
    return QMetaType::fromType<double>();
  case ftBoolean:
    return QMetaType::fromType<bool>();
  case ftDate:
    return QMetaType::fromType<QDate>();
  case ftTime:
    return QMetaType::fromType<QTime>();
  case ftDateTime:
    return QMetaType::fromType<QDateTime>();
  case ftBytes:
  case ftVarBytes:
  case ftBlob:
  case ftGraphic:
    return QMetaType::fromType<QByteArray>();
  default:
    return QMetaType::fromType<QString>();
  }
}

// Both halves come from one decoding, so a value rounding up to midnight
// moves to the next day in the date as well as in the time.
QDateTime ToQDateTime(TDateTime Value) {
  int Year, Month, Day, Hour, Min, Sec, MSec;
  DecodeDateTime(Value, Year, Month, Day, Hour, Min, Sec, MSec);
  // Stored values carry no zone; UTC keeps every one of them valid (local
  // time would lose the hour a clock change skips).
  return QDateTime(QDate(Year, Month, Day), QTime(Hour, Min, Sec, MSec), Qt::UTC);
}

// A calendar date and a time of day as one date-time; the time stamp does
// the arithmetic for days before 1899-12-30, whose fraction counts backwards.
TDateTime FromQt(const QDate& Date, const QTime& Time) {
  TTimeStamp Stamp = DateTimeToTimeStamp(EncodeDate(Date.year(), Date.month(), Date.day()));
  Stamp.Time = Time.isValid() ? Time.msecsSinceStartOfDay() : 0;
  return TimeStampToDateTime(Stamp);
}

QByteArray BytesOf(const TField& Field) {
  const Variant V = Field.Value();
  if (V.IsArray()) {
    const auto Bytes = V.Bytes();
    return QByteArray(reinterpret_cast<const char*>(Bytes.data()),
                      static_cast<qsizetype>(Bytes.size()));
  }
  const std::string Text = Field.AsString();
  return QByteArray(Text.data(), static_cast<qsizetype>(Text.size()));
}

// The typed value of a field that is not null.
QVariant ValueOf(const TField& Field) {
  switch (Field.DataType()) {
  case ftSmallint:
  case ftInteger:
  case ftWord:
  case ftAutoInc:
    return QVariant(static_cast<int>(Field.AsInteger()));
  case ftLargeint:
    return QVariant(static_cast<qlonglong>(Field.AsLargeInt()));
  case ftFloat:
  case ftCurrency:
  case ftBCD:
    return QVariant(Field.AsFloat());
  case ftBoolean:
    return QVariant(Field.AsBoolean());
  case ftDate:
    return QVariant(ToQDateTime(Field.AsDateTime()).date());
  case ftTime:
    return QVariant(ToQDateTime(Field.AsDateTime()).time());
  case ftDateTime:
    return QVariant(ToQDateTime(Field.AsDateTime()));
  case ftBytes:
  case ftVarBytes:
  case ftBlob:
  case ftGraphic:
    return QVariant(BytesOf(Field));
  default:
    return QVariant(ToQString(Field.AsString()));
  }
}

// What a grid cell shows. Binary contents are no text: a blob shows its kind,
// a short binary field its bytes in hex.
QString DisplayOf(const TField& Field, const QVariant& Value) {
  switch (Field.DataType()) {
  case ftBlob:
    return QStringLiteral("(BLOB)");
  case ftGraphic:
    return QStringLiteral("(GRAPHIC)");
  case ftBytes:
  case ftVarBytes:
    return QString::fromLatin1(Value.toByteArray().toHex().toUpper());
  default:
    return ToQString(Field.AsString());
  }
}

// Writes a value from a view into a field. A null or invalid value, and
// empty text for a field that is not text, clear the field; everything else
// goes through the field's own conversions, so their errors reach the caller.
void AssignValue(TField& Field, const QVariant& Value) {
  if (!Value.isValid() || Value.isNull()) {
    Field.Clear();
    return;
  }
  switch (Value.metaType().id()) {
  case QMetaType::Bool:
    Field.SetValue(Variant(Value.toBool()));
    return;
  case QMetaType::Int:
  case QMetaType::Short:
  case QMetaType::Long:
  case QMetaType::LongLong:
  case QMetaType::UInt:
  case QMetaType::UShort:
  case QMetaType::UChar:
  case QMetaType::SChar:
    Field.SetValue(Variant(static_cast<std::int64_t>(Value.toLongLong())));
    return;
  case QMetaType::Double:
  case QMetaType::Float:
    Field.SetValue(Variant(Value.toDouble()));
    return;
  case QMetaType::QDate:
    Field.SetValue(Variant::FromDateTime(FromQt(Value.toDate(), QTime())));
    return;
  case QMetaType::QTime:
    Field.SetValue(Variant::FromDateTime(FromQt(QDate(1899, 12, 30), Value.toTime())));
    return;
  case QMetaType::QDateTime: {
    const QDateTime DT = Value.toDateTime();
    Field.SetValue(Variant::FromDateTime(FromQt(DT.date(), DT.time())));
    return;
  }
  case QMetaType::QByteArray: {
    const QByteArray Bytes = Value.toByteArray();
    Field.SetValue(VarArrayFromBytes(Bytes.constData(), static_cast<std::size_t>(Bytes.size())));
    return;
  }
  default:
    break;
  }
  const QString Text = Value.toString();
  const TFieldType Type = Field.DataType();
  if (Text.isEmpty() && Type != ftString && Type != ftWideString && Type != ftMemo)
    Field.Clear();
  else
    Field.SetAsString(FromQString(Text));
}

} // namespace

// ---- The link ------------------------------------------------------------------

// Each hook holds the model busy while it resets: a consumer that fetches
// at once on the reset would otherwise walk the dataset in the middle of its
// Open or Post. A view fetches on its next layout instead.
void TZtlModelLink::ActiveChanged() {
  if (Model.FDestroying)
    return;
  TZtlDataSetModel::TBusy Busy(Model);
  Model.Reset();
}

void TZtlModelLink::LayoutChanged() {
  ActiveChanged();
}

void TZtlModelLink::DataSetChanged() {
  if (Model.FBusy == 0)
    ActiveChanged();
}

// A scroll moves the current record only; every fetched row is still right.
void TZtlModelLink::DataSetScrolled(int) {}

void TZtlModelLink::RecordChanged(TField*) {
  if (Model.FDestroying || Model.FBusy > 0)
    return;
  TZtlDataSetModel::TBusy Busy(Model);
  Model.RefreshActiveRow();
}

// ---- The model -------------------------------------------------------------------

TZtlDataSetModel::TZtlDataSetModel(QObject* Parent) : QAbstractTableModel(Parent) {}

TZtlDataSetModel::~TZtlDataSetModel() {
  // The link's hooks must not reach the half-destroyed model while the
  // source lets it go.
  FDestroying = true;
  Link.SetDataSource(nullptr);
}

void TZtlDataSetModel::SetDataSource(TDataSource* Value) {
  if (Value == Link.GetDataSource())
    return;
  Link.SetDataSource(Value);
  // A switch between two open datasets does not change the link's Active,
  // so no hook has told the model.
  Reset();
  if (OwnSource && Value != OwnSource.get())
    OwnSource.reset();
}

void TZtlDataSetModel::SetDataSet(TDataSet* Value) {
  if (!Value) {
    SetDataSource(nullptr);
    return;
  }
  if (!OwnSource)
    OwnSource = std::make_unique<TDataSource>();
  OwnSource->SetDataSet(Value);
  if (Link.GetDataSource() == OwnSource.get())
    Reset();
  else
    SetDataSource(OwnSource.get());
}

TField* TZtlDataSetModel::FieldOf(int Column) const {
  return Column >= 0 && Column < static_cast<int>(Columns.size())
             ? Columns[static_cast<std::size_t>(Column)]
             : nullptr;
}

void TZtlDataSetModel::Reset() {
  beginResetModel();
  Rows.clear();
  Columns.clear();
  FAtEnd = false;
  FFetchFailed = false;
  ++FGeneration;
  if (TDataSet* DS = Link.Active() ? Link.DataSet() : nullptr)
    for (int I = 0; I < DS->FieldCount(); ++I)
      if (TField* Field = DS->Fields()[I]; Field->Visible())
        Columns.push_back(Field);
  endResetModel();
}

// An index of this model's table; Qt's own check would log every invalid
// index a view passes while it has no current cell.
bool TZtlDataSetModel::Holds(const QModelIndex& Index) const {
  return Index.isValid() && checkIndex(Index, CheckIndexOption::ParentIsInvalid);
}

bool TZtlDataSetModel::Browsing() const {
  TDataSet* DS = Link.Active() ? Link.DataSet() : nullptr;
  return DS && !dsEditModes.Contains(DS->State());
}

int TZtlDataSetModel::rowCount(const QModelIndex& Parent) const {
  return Parent.isValid() ? 0 : static_cast<int>(Rows.size());
}

int TZtlDataSetModel::columnCount(const QModelIndex& Parent) const {
  return Parent.isValid() ? 0 : static_cast<int>(Columns.size());
}

QVariant TZtlDataSetModel::data(const QModelIndex& Index, int Role) const {
  if (!Holds(Index))
    return {};
  const TCell& Cell =
      Rows[static_cast<std::size_t>(Index.row())].Cells[static_cast<std::size_t>(Index.column())];
  switch (Role) {
  case Qt::DisplayRole:
    return Cell.Display;
  case Qt::EditRole:
    return Cell.Value;
  case Qt::TextAlignmentRole: {
    const Qt::Alignment Horizontal =
        IsNumeric(FieldOf(Index.column())->DataType()) ? Qt::AlignRight : Qt::AlignLeft;
    return QVariant(static_cast<int>(Horizontal | Qt::AlignVCenter));
  }
  default:
    return {};
  }
}

QVariant TZtlDataSetModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
  if (Orientation == Qt::Horizontal && Role == Qt::DisplayRole) {
    const TField* Field = FieldOf(Section);
    return Field ? QVariant(ToQString(Field->DisplayName())) : QVariant();
  }
  return QAbstractTableModel::headerData(Section, Orientation, Role);
}

// Only data fields are written: a calculated or lookup value would be
// computed over again from the record.
bool TZtlDataSetModel::Editable(const TField* Field) const {
  return Field && Field->FieldKind() == fkData && Field->CanModify() && !Link.GetReadOnly();
}

Qt::ItemFlags TZtlDataSetModel::flags(const QModelIndex& Index) const {
  if (!Holds(Index))
    return Qt::NoItemFlags;
  Qt::ItemFlags Flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
  if (Editable(FieldOf(Index.column())))
    Flags |= Qt::ItemIsEditable;
  return Flags;
}

bool TZtlDataSetModel::canFetchMore(const QModelIndex& Parent) const {
  return !Parent.isValid() && !FAtEnd && !FFetchFailed && FBusy == 0 && Browsing();
}

TZtlDataSetModel::TRow TZtlDataSetModel::ReadRow() {
  TRow Row;
  Row.Bookmark = Link.DataSet()->GetBookmark();
  Row.Cells.reserve(Columns.size());
  for (TField* Field : Columns) {
    TCell Cell;
    if (Field->IsNull()) {
      Cell.Value = QVariant(MetaTypeOf(Field->DataType()));
    } else {
      Cell.Value = ValueOf(*Field);
      Cell.Display = DisplayOf(*Field, Cell.Value);
    }
    Row.Cells.push_back(std::move(Cell));
  }
  return Row;
}

void TZtlDataSetModel::fetchMore(const QModelIndex& Parent) {
  if (!canFetchMore(Parent))
    return;
  TDataSet& DS = *Link.DataSet();
  const unsigned Generation = FGeneration;
  std::vector<TRow> Fetched;
  QString Error;
  {
    TBusy Busy(*this);
    TControlsGuard Controls(DS);
    const TBookmark Current = DS.GetBookmark();
    try {
      if (Rows.empty()) {
        DS.First();
      } else {
        DS.GotoBookmark(Rows.back().Bookmark);
        DS.Next();
      }
      while (!DS.Eof() && static_cast<int>(Fetched.size()) < FBatchSize) {
        Fetched.push_back(ReadRow());
        DS.Next();
      }
      FAtEnd = DS.Eof();
    } catch (const std::exception& E) {
      Error = ToQString(E.what());
    }
    try {
      DS.GotoBookmark(Current);
    } catch (const std::exception& E) {
      if (Error.isEmpty())
        Error = ToQString(E.what());
    }
  }
  // An event handler may have closed or changed the dataset meanwhile; the
  // rows read belong to a model that is gone.
  if (Generation != FGeneration)
    return;
  if (!Fetched.empty()) {
    const int First = static_cast<int>(Rows.size());
    beginInsertRows({}, First, First + static_cast<int>(Fetched.size()) - 1);
    for (TRow& Row : Fetched)
      Rows.push_back(std::move(Row));
    endInsertRows();
  }
  if (!Error.isEmpty()) {
    // Without this a view would ask again at once, and again.
    FFetchFailed = true;
    Fail(Error);
  }
}

bool TZtlDataSetModel::setData(const QModelIndex& Index, const QVariant& Value, int Role) {
  if (Role != Qt::EditRole || !Holds(Index))
    return false;
  TField* Field = FieldOf(Index.column());
  if (!Editable(Field))
    return false;
  TDataSet& DS = *Link.DataSet();
  // Leaving a record another control edits posts that edit, which may add
  // or change rows the model holds: then every row is read again.
  bool ReadAll = dsEditModes.Contains(DS.State());
  const unsigned Generation = FGeneration;
  const std::size_t Row = static_cast<std::size_t>(Index.row());
  QString Error;
  bool Silent = false;
  {
    TBusy Busy(*this);
    TControlsGuard Controls(DS);
    bool Editing = false; // the edit is ours: a failure before it leaves another's edit alone
    try {
      DS.GotoBookmark(Rows[Row].Bookmark);
      DS.Edit();
      Editing = true;
      AssignValue(*Field, Value);
      DS.Post();
    } catch (const std::exception& E) {
      Silent = dynamic_cast<const EAbort*>(&E) != nullptr;
      Error = ToQString(E.what());
      if (Editing && DS.Active() && dsEditModes.Contains(DS.State())) {
        try {
          DS.Cancel();
        } catch (const std::exception& Second) {
          Error += QStringLiteral("\n") + ToQString(Second.what());
        }
      }
    }
  }
  if (Error.isEmpty() && !ReadAll && Generation == FGeneration) {
    // The post succeeded whatever happens here: a row that cannot be read
    // back is read again with all the others.
    try {
      Rows[Row] = ReadRow();
    } catch (const std::exception&) {
      ReadAll = true;
    }
  }
  if (ReadAll && Generation == FGeneration)
    Reset();
  if (!Error.isEmpty()) {
    if (Silent)
      FLastError = Error;
    else
      Fail(Error);
    return false;
  }
  FLastError.clear();
  if (Generation == FGeneration && !ReadAll)
    emit dataChanged(index(Index.row(), 0), index(Index.row(), columnCount() - 1));
  return true;
}

void TZtlDataSetModel::RefreshActiveRow() {
  TDataSet* DS = Link.Active() ? Link.DataSet() : nullptr;
  if (!DS || Rows.empty())
    return;
  const TBookmark Bookmark = DS->GetBookmark();
  if (Bookmark.empty())
    return;
  for (std::size_t I = 0; I < Rows.size(); ++I) {
    if (Rows[I].Bookmark != Bookmark)
      continue;
    try {
      TRow Fresh = ReadRow();
      Rows[I].Cells = std::move(Fresh.Cells);
    } catch (const std::exception& E) {
      Fail(ToQString(E.what()));
      return;
    }
    const int R = static_cast<int>(I);
    emit dataChanged(index(R, 0), index(R, columnCount() - 1));
    return;
  }
}

void TZtlDataSetModel::Fail(const QString& Message) {
  FLastError = Message;
  emit ErrorOccurred(Message);
}

} // namespace ztl
