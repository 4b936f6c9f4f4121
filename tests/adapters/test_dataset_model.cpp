// The dataset model over the in-memory test dataset: lazy fetching that
// leaves the current record alone, values and their roles, edits and their
// errors, and how the model follows what others do to the dataset.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include <memory>

#include "adapters/qt/ZtlDataSetModel.h"
#include "tests/adapters/ModelTestSupport.h"
#include "tests/framework/MemDataSet.h"

using namespace ztl;
using namespace ztl::test;

namespace {

// ID integer, NAME string(10) required, AMOUNT float, NOTE string(20); row n
// is (n, "r<n>", n * 1.5, null for even n, else "note").
struct Table {
  TMemDataSet DS;
  TZtlDataSetModel Model;

  explicit Table(int Rows = 10, int Batch = 4) {
    NeedQtApplication();
    DS.AddColumn("ID", ftInteger);
    DS.AddColumn("NAME", ftString, 10, true);
    DS.AddColumn("AMOUNT", ftFloat);
    DS.AddColumn("NOTE", ftString, 20);
    for (int I = 1; I <= Rows; ++I)
      DS.AddRow({Variant(I), Variant("r" + std::to_string(I)), Variant(I * 1.5),
                 I % 2 ? Variant("note") : Variant::Null()});
    DS.Open();
    Model.SetBatchSize(Batch);
    Model.SetDataSet(&DS);
  }
  QVariant At(int Row, int Column, int Role = Qt::DisplayRole) {
    return Model.data(Model.index(Row, Column), Role);
  }
  std::string StoredName(int Row) {
    const TMemCell& Cell = DS.Rows[static_cast<std::size_t>(Row)].Cells[1];
    return Cell.Null ? "<null>" : std::string(reinterpret_cast<const char*>(Cell.Data.data()));
  }
};

} // namespace

// Each fetch adds one batch; the last one ends exactly at the last record,
// also when the count is a multiple of the batch.
TEST(DataSetModelFetch, RowsArriveInBatchesUntilTheEnd) {
  struct Case {
    int Rows;
    std::vector<int> Counts; // rowCount after each fetch until none is offered
  } const Cases[] = {{0, {0}}, {3, {3}}, {4, {4}}, {5, {4, 5}}, {13, {4, 8, 12, 13}}};
  for (const Case& C : Cases) {
    SCOPED_TRACE("rows " + std::to_string(C.Rows));
    Table T(C.Rows);
    EXPECT_EQ(T.Model.rowCount(), 0); // opening fetches nothing
    std::vector<int> Counts;
    while (T.Model.canFetchMore({})) {
      T.Model.fetchMore({});
      Counts.push_back(T.Model.rowCount());
      ASSERT_LE(Counts.size(), 10u) << "fetching never ends";
    }
    EXPECT_EQ(Counts, C.Counts);
    for (int R = 0; R < T.Model.rowCount(); ++R)
      EXPECT_EQ(T.At(R, 0, Qt::EditRole).toInt(), R + 1);
  }
}

// A fetch reads its batch and little more, never the table, and leaves the
// current record where it was, without taking its own moves for changes.
TEST(DataSetModelFetch, ReadsItsBatchAndReturnsToTheCurrentRecord) {
  Table T(1000, 50);
  T.DS.MoveBy(5);
  const std::size_t Before = T.DS.Fetched.size();
  QSignalSpy Resets(&T.Model, &QAbstractItemModel::modelReset);
  T.Model.fetchMore({});
  T.Model.fetchMore({});
  EXPECT_EQ(T.Model.rowCount(), 100);
  EXPECT_LT(T.DS.Fetched.size() - Before, 120u);
  EXPECT_EQ(T.DS.FieldByName("ID")->AsInteger(), 6);
  EXPECT_EQ(Resets.count(), 0);
}

TEST(DataSetModelRoles, ValuesNullsHeadersAndAlignment) {
  Table T(2);
  T.DS.FieldByName("AMOUNT")->SetDisplayLabel("Amount due");
  T.Model.fetchMore({});
  ASSERT_EQ(T.Model.rowCount(), 2);
  EXPECT_EQ(T.Model.headerData(0, Qt::Horizontal).toString(), "ID");
  EXPECT_EQ(T.Model.headerData(2, Qt::Horizontal).toString(), "Amount due");
  EXPECT_EQ(T.Model.headerData(1, Qt::Vertical).toInt(), 2);

  EXPECT_EQ(T.At(0, 1).toString(), "r1");
  EXPECT_EQ(T.At(1, 2, Qt::EditRole), QVariant(3.0));
  EXPECT_EQ(T.At(0, 0, Qt::EditRole).typeId(), QMetaType::Int);

  // Null is not the empty text: a null value of the field's type.
  const QVariant Null = T.At(1, 3, Qt::EditRole);
  EXPECT_TRUE(Null.isNull());
  EXPECT_EQ(Null.typeId(), QMetaType::QString);
  EXPECT_EQ(T.At(1, 3).toString(), "");
  EXPECT_FALSE(T.At(0, 3, Qt::EditRole).isNull());

  const auto Align = [&](int Column) {
    return T.At(0, Column, Qt::TextAlignmentRole).toInt() & Qt::AlignHorizontal_Mask;
  };
  EXPECT_EQ(Align(2), Qt::AlignRight);
  EXPECT_EQ(Align(1), Qt::AlignLeft);

  EXPECT_FALSE(T.At(2, 0).isValid());

  // A hidden field is no column; hiding one while open reshapes the model.
  T.DS.FieldByName("NAME")->SetVisible(false);
  EXPECT_EQ(T.Model.columnCount(), 3);
  EXPECT_EQ(T.Model.headerData(1, Qt::Horizontal).toString(), "Amount due");
}

TEST(DataSetModelEdit, FlagsFollowTheFieldAndTheDataSet) {
  Table T(1);
  T.Model.fetchMore({});
  const auto Editable = [&](int Column) {
    return T.Model.flags(T.Model.index(0, Column)).testFlag(Qt::ItemIsEditable);
  };
  T.DS.FieldByName("NAME")->SetReadOnly(true);
  EXPECT_FALSE(Editable(1));
  EXPECT_TRUE(Editable(0));
  T.DS.CanModifyFlag = false;
  EXPECT_FALSE(Editable(0));
  EXPECT_FALSE(T.Model.setData(T.Model.index(0, 0), 7));
  EXPECT_EQ(T.DS.State(), dsBrowse);
}

TEST(DataSetModelEdit, AnEditIsPostedAndShown) {
  Table T(10);
  T.Model.fetchMore({});
  T.Model.fetchMore({});
  QSignalSpy Changed(&T.Model, &QAbstractItemModel::dataChanged);
  QSignalSpy Resets(&T.Model, &QAbstractItemModel::modelReset);
  ASSERT_TRUE(T.Model.setData(T.Model.index(6, 1), QStringLiteral("seven")));
  EXPECT_EQ(T.StoredName(6), "seven");
  EXPECT_EQ(T.At(6, 1).toString(), "seven");
  ASSERT_EQ(Changed.count(), 1);
  EXPECT_EQ(Changed[0][0].value<QModelIndex>(), T.Model.index(6, 0));
  EXPECT_EQ(Resets.count(), 0);
  EXPECT_EQ(T.DS.FieldByName("ID")->AsInteger(), 7); // left on the edited record

  // Numbers typed as text, and an emptied number, go through the field.
  ASSERT_TRUE(T.Model.setData(T.Model.index(2, 2), QStringLiteral("2.25")));
  EXPECT_DOUBLE_EQ(T.At(2, 2, Qt::EditRole).toDouble(), 2.25);
  ASSERT_TRUE(T.Model.setData(T.Model.index(2, 2), QString()));
  EXPECT_TRUE(T.At(2, 2, Qt::EditRole).isNull());
  ASSERT_TRUE(T.Model.setData(T.Model.index(0, 3), QVariant()));
  EXPECT_TRUE(T.DS.Rows[0].Cells[3].Null);
  EXPECT_EQ(T.Model.rowCount(), 8); // no refetch
}

// Whatever fails, the edit is cancelled, the stored row and the model's row
// keep their values and the message reaches the caller.
TEST(DataSetModelEdit, AFailedEditIsReportedAndCancelled) {
  struct Case {
    const char* What;
    int Column;
    QVariant Value;
    const char* Step; // a step of the dataset made to fail, or null
    std::string Message;
    bool Abort = false; // the post error handler aborts: silently
  } const Cases[] = {
      {"required field emptied", 1, QVariant(), nullptr, "Field 'NAME' must have a value"},
      {"the post fails", 1, QStringLiteral("x"), "InternalPost", "InternalPost failed"},
      {"the edit fails", 1, QStringLiteral("x"), "InternalEdit", "InternalEdit failed"},
      {"text is no number", 0, QStringLiteral("abc"), nullptr,
       "'abc' is not a valid integer value for field 'ID'"},
      {"a handler aborts", 1, QStringLiteral("x"), "InternalPost", "Operation aborted", true},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    Table T(3);
    T.Model.fetchMore({});
    QSignalSpy Errors(&T.Model, &TZtlDataSetModel::ErrorOccurred);
    if (C.Step)
      T.DS.FailNext(C.Step);
    if (C.Abort)
      T.DS.OnPostError = [](TDataSet*, EDatabaseError&, TDataAction& A) { A = daAbort; };
    EXPECT_FALSE(T.Model.setData(T.Model.index(1, C.Column), C.Value));
    EXPECT_EQ(T.Model.GetLastError().toStdString(), C.Message);
    ASSERT_EQ(Errors.count(), C.Abort ? 0 : 1);
    if (!C.Abort) {
      EXPECT_EQ(Errors[0][0].toString().toStdString(), C.Message);
    }
    EXPECT_EQ(T.DS.State(), dsBrowse);
    EXPECT_EQ(T.StoredName(1), "r2");
    EXPECT_EQ(T.At(1, 1).toString(), "r2");
    EXPECT_EQ(T.At(1, 0, Qt::EditRole).toInt(), 2);
    EXPECT_TRUE(T.Model.setData(T.Model.index(1, 1), QStringLiteral("fine")));
    EXPECT_TRUE(T.Model.GetLastError().isEmpty());
  }
}

// Another control's pending edit is posted when the model moves to its row,
// as leaving a record always does; a failing one is left pending, not lost.
TEST(DataSetModelEdit, AnotherControlsPendingEdit) {
  Table T(5);
  T.Model.fetchMore({});
  T.DS.Next();
  T.DS.Edit();
  T.DS.FieldByName("NAME")->SetAsString("theirs");
  EXPECT_FALSE(T.Model.canFetchMore({})); // scrolling must not post it
  ASSERT_TRUE(T.Model.setData(T.Model.index(3, 1), QStringLiteral("mine")));
  EXPECT_EQ(T.StoredName(1), "theirs");
  EXPECT_EQ(T.StoredName(3), "mine");

  T.Model.fetchMore({});
  T.DS.Edit();
  T.DS.FieldByName("NAME")->Clear(); // cannot be posted: required
  EXPECT_FALSE(T.Model.setData(T.Model.index(0, 1), QStringLiteral("mine")));
  EXPECT_EQ(T.DS.State(), dsEdit);
  EXPECT_TRUE(T.DS.FieldByName("NAME")->IsNull());
  EXPECT_EQ(T.StoredName(0), "r1");
  T.DS.Cancel();
}

// What others do: data changes reset the model, moves do not, and a field
// edited elsewhere shows in its row as it changes.
TEST(DataSetModelFollow, ChangesResetMovesDoNot) {
  Table T(6);
  T.Model.fetchMore({});
  QSignalSpy Resets(&T.Model, &QAbstractItemModel::modelReset);
  QSignalSpy Changed(&T.Model, &QAbstractItemModel::dataChanged);
  // A consumer fetching at once would walk the dataset inside its Post.
  bool FetchOfferedInReset = false;
  QObject::connect(&T.Model, &QAbstractItemModel::modelReset,
                   [&] { FetchOfferedInReset |= T.Model.canFetchMore({}); });

  T.DS.Next();
  T.DS.MoveBy(2);
  EXPECT_EQ(Resets.count(), 0);
  EXPECT_EQ(T.Model.rowCount(), 4);

  T.DS.Edit();
  T.DS.FieldByName("NAME")->SetAsString("live");
  EXPECT_GE(Changed.count(), 1);
  EXPECT_EQ(T.At(3, 1).toString(), "live");
  T.DS.Post();
  EXPECT_EQ(Resets.count(), 1);

  T.DS.Delete();
  EXPECT_EQ(Resets.count(), 2);
  EXPECT_EQ(T.Model.rowCount(), 0);
  while (T.Model.canFetchMore({}))
    T.Model.fetchMore({});
  EXPECT_EQ(T.Model.rowCount(), 5);

  T.DS.AppendRecord({Variant(99), Variant("new")});
  while (T.Model.canFetchMore({}))
    T.Model.fetchMore({});
  ASSERT_EQ(T.Model.rowCount(), 6);
  EXPECT_EQ(T.At(5, 0, Qt::EditRole).toInt(), 99);
  EXPECT_FALSE(FetchOfferedInReset);
}

TEST(DataSetModelFollow, AFailedFetchIsReportedOnce) {
  Table T(10);
  QSignalSpy Errors(&T.Model, &TZtlDataSetModel::ErrorOccurred);
  T.Model.fetchMore({});
  T.DS.FailNext("GetRecord");
  T.Model.fetchMore({});
  ASSERT_EQ(Errors.count(), 1);
  EXPECT_EQ(Errors[0][0].toString(), "GetRecord failed");
  // A view asking again must not loop on the failure.
  EXPECT_FALSE(T.Model.canFetchMore({}));
  EXPECT_GE(T.Model.rowCount(), 4);
  T.DS.Refresh(); // a change of data starts over
  EXPECT_TRUE(T.Model.canFetchMore({}));
}

// Either side may go first; ASan sees any pointer left behind.
TEST(DataSetModelFollow, LifetimesInEitherOrder) {
  NeedQtApplication();
  {
    auto DS = std::make_unique<TMemDataSet>();
    DS->FillNumbers(5);
    DS->Open();
    TZtlDataSetModel Model;
    Model.SetDataSet(DS.get());
    Model.fetchMore({});
    DS.reset();
    EXPECT_EQ(Model.rowCount(), 0);
    EXPECT_EQ(Model.GetDataSet(), nullptr);
  }
  {
    TMemDataSet DS;
    DS.FillNumbers(5);
    DS.Open();
    TDataSource Source;
    Source.SetDataSet(&DS);
    auto Model = std::make_unique<TZtlDataSetModel>();
    Model->SetDataSource(&Source);
    Model->fetchMore({});
    EXPECT_EQ(Model->rowCount(), 5);
    Model.reset();
    EXPECT_EQ(Source.LinkCount(), 0);
  }
}
