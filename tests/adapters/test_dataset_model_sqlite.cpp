// The dataset model over a real SQLite query: lazy fetching of a large
// result, the types a database gives, edits that reach the file, the
// database's own refusals, a reshaped query, and a QTableView drawing it.
#include <gtest/gtest.h>

#include <QDir>
#include <QHeaderView>
#include <QPixmap>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include <memory>
#include <string>

#include "adapters/qt/ZtlDataSetModel.h"
#include "drivers/sqlite/ZtlSQLite.h"
#include "tests/adapters/ModelTestSupport.h"
#include "tests/support/TestHelpers.h"

using namespace ztl;
using namespace ztl::test;

namespace {

class SQLiteModel : public ::testing::Test {
protected:
  void SetUp() override {
    NeedQtApplication();
    Session.SetDatabaseName(Dir.File("model.db"));
    Session.Open();
    Exec("PRAGMA synchronous = OFF");
    Exec("create table ITEMS (ID integer primary key, NAME varchar(20) not null, "
         "QTY int check (QTY >= 0), PRICE real, SOLD date, AT_TIME time, STAMP datetime, "
         "OK boolean, TAG binary(2), NOTE text)");
    // 1000 rows: NAME item<n>, QTY n mod 7, PRICE n / 4, the rest on row 1 only.
    Exec("with recursive N(I) as (select 1 union all select I + 1 from N where I < 1000) "
         "insert into ITEMS (ID, NAME, QTY, PRICE) select I, 'item' || I, I % 7, I / 4.0 from N");
    Exec("update ITEMS set SOLD = '2024-02-29', AT_TIME = '13:45:30', "
         "STAMP = '2024-02-29 13:45:30.250', OK = 1, TAG = x'0aff', NOTE = 'memo' where ID = 1");
    Query = NewQuery("select * from ITEMS order by ID");
    Query->SetReadOnly(false);
    Query->Open();
    Model.SetBatchSize(100);
    Model.SetDataSet(Query.get());
  }
  void TearDown() override {
    Model.SetDataSet(nullptr);
    Query.reset();
  }

  void Exec(const std::string& SQL) { ASSERT_TRUE(Session.Execute(SQL)) << Session.GetLastError(); }
  std::unique_ptr<TZantrelSQLiteQuery> NewQuery(const std::string& Text) {
    auto Q = std::make_unique<TZantrelSQLiteQuery>();
    Q->SetSession(&Session);
    Q->GetSQL()->SetText(Text);
    return Q;
  }
  // What the file holds as SQLite's own text, read through a query of its
  // own ("<null>" for null).
  std::string Stored(const std::string& Column, int Id) {
    auto Q =
        NewQuery("select '' || " + Column + " as V from ITEMS where ID = " + std::to_string(Id));
    Q->Open();
    TField* V = Q->FieldByName("V");
    return V->IsNull() ? "<null>" : V->AsString();
  }
  int Column(const char* Name) {
    for (int C = 0; C < Model.columnCount(); ++C)
      if (Model.headerData(C, Qt::Horizontal).toString() == QLatin1String(Name))
        return C;
    ADD_FAILURE() << "no column " << Name;
    return -1;
  }
  QVariant At(int Row, const char* Name, int Role = Qt::EditRole) {
    return Model.data(Model.index(Row, Column(Name)), Role);
  }

  TTempDir Dir{"ztl-qtdata"};
  TZantrelSQLiteSession Session;
  std::unique_ptr<TZantrelSQLiteQuery> Query;
  TZtlDataSetModel Model;
};

// What each declared type arrives as; the values of row 1 and the nulls of
// row 2.
TEST_F(SQLiteModel, TypesValuesAndNulls) {
  Model.fetchMore({});
  struct Case {
    const char* Column;
    QMetaType::Type Type;
    QVariant Value;
  } const Cases[] = {
      {"ID", QMetaType::LongLong, QVariant(qlonglong(1))},
      {"NAME", QMetaType::QString, QVariant(QStringLiteral("item1"))},
      {"PRICE", QMetaType::Double, QVariant(0.25)},
      {"SOLD", QMetaType::QDate, QVariant(QDate(2024, 2, 29))},
      {"AT_TIME", QMetaType::QTime, QVariant(QTime(13, 45, 30))},
      {"STAMP", QMetaType::QDateTime,
       QVariant(QDateTime(QDate(2024, 2, 29), QTime(13, 45, 30, 250), Qt::UTC))},
      {"OK", QMetaType::Bool, QVariant(true)},
      {"TAG", QMetaType::QByteArray, QVariant(QByteArray("\x0a\xff", 2))},
      {"NOTE", QMetaType::QString, QVariant(QStringLiteral("memo"))},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Column);
    const QVariant V = At(0, C.Column);
    EXPECT_EQ(V.typeId(), C.Type);
    EXPECT_EQ(V, C.Value);
    if (C.Type != QMetaType::LongLong && std::string(C.Column) != "NAME" &&
        C.Type != QMetaType::Double) { // the columns row 1 alone has
      const QVariant Null = At(1, C.Column);
      EXPECT_TRUE(Null.isNull());
      EXPECT_EQ(Null.typeId(), C.Type);
      EXPECT_EQ(At(1, C.Column, Qt::DisplayRole).toString(), "");
    }
  }
  EXPECT_EQ(At(0, "TAG", Qt::DisplayRole).toString(), "0AFF");
  EXPECT_EQ(At(0, "SOLD", Qt::DisplayRole).toString().toStdString(),
            Query->FieldByName("SOLD")->AsString());
}

TEST_F(SQLiteModel, EditsReachTheDatabase) {
  Model.fetchMore({});
  Model.fetchMore({});
  struct Case {
    const char* Column;
    QVariant Value;
    const char* Stored; // the column's text as the file holds it
  } const Cases[] = {
      {"NAME", QStringLiteral("renamed"), "renamed"},
      {"QTY", QVariant(), "<null>"},
      {"PRICE", 9.75, "9.75"},
      {"SOLD", QDate(2025, 1, 31), "2025-01-31"},
      // Before 1899-12-30 the time counts backwards from the day.
      {"STAMP", QDateTime(QDate(1850, 6, 1), QTime(6, 30), Qt::UTC), "1850-06-01 06:30:00"},
      {"AT_TIME", QTime(23, 59, 59, 500), "23:59:59.500"},
      {"NOTE", QStringLiteral("caf\u00e9 memo"),
       "caf\xe9 memo"}, // the library's text: Windows-1252
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Column);
    ASSERT_TRUE(Model.setData(Model.index(149, Column(C.Column)), C.Value))
        << Model.GetLastError().toStdString();
    EXPECT_EQ(Stored(C.Column, 150), C.Stored);
    if (C.Value.isValid()) {
      EXPECT_EQ(At(149, C.Column).toString(), C.Value.toString());
    }
  }
  EXPECT_EQ(Stored("NAME", 151), "item151"); // its neighbour untouched
}

// The database refuses: its message reaches the caller, the edit is
// cancelled, and file, dataset and model all keep the old value.
TEST_F(SQLiteModel, TheDatabasesRefusalIsReported) {
  Model.fetchMore({});
  struct Case {
    const char* Column;
    QVariant Value;
    const char* Message; // part of the driver's text
  } const Cases[] = {
      {"QTY", -1, "CHECK constraint failed"},
      {"NAME", QVariant(), "NOT NULL constraint failed"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Column);
    QSignalSpy Errors(&Model, &TZtlDataSetModel::ErrorOccurred);
    const QVariant Before = At(9, C.Column);
    EXPECT_FALSE(Model.setData(Model.index(9, Column(C.Column)), C.Value));
    EXPECT_TRUE(Model.GetLastError().contains(QLatin1String(C.Message)))
        << Model.GetLastError().toStdString();
    ASSERT_EQ(Errors.count(), 1);
    EXPECT_EQ(Errors[0][0].toString(), Model.GetLastError());
    EXPECT_EQ(Query->State(), dsBrowse);
    EXPECT_EQ(At(9, C.Column), Before);
    EXPECT_EQ(Stored(C.Column, 10), Before.toString().toStdString());
    EXPECT_EQ(Query->FieldByName(C.Column)->AsString(), Before.toString().toStdString());
  }
  EXPECT_TRUE(Model.setData(Model.index(9, Column("QTY")), 5)); // nothing left half done
}

TEST_F(SQLiteModel, ClosedThenReopenedWithAnotherShape) {
  Model.fetchMore({});
  Query->Close();
  EXPECT_EQ(Model.rowCount(), 0);
  EXPECT_EQ(Model.columnCount(), 0);
  EXPECT_FALSE(Model.canFetchMore({}));
  Model.fetchMore({});
  EXPECT_FALSE(Model.setData(Model.index(0, 0), 1));
  Query->GetSQL()->SetText("select NAME, QTY * 2 as DOUBLED from ITEMS where ID <= 3 order by ID");
  Query->Open();
  EXPECT_EQ(Model.columnCount(), 2);
  EXPECT_EQ(Model.headerData(1, Qt::Horizontal).toString(), "DOUBLED");
  Model.fetchMore({});
  ASSERT_EQ(Model.rowCount(), 3);
  EXPECT_FALSE(Model.canFetchMore({}));
  EXPECT_EQ(At(2, "DOUBLED").toLongLong(), 6);
}

// A view fetches what it shows, no more, and draws it.
TEST_F(SQLiteModel, ATableViewShowsTheRows) {
  QTableView View;
  View.resize(640, 300);
  View.setModel(&Model);
  View.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&View));
  QCoreApplication::processEvents();
  EXPECT_GE(Model.rowCount(), 1);
  EXPECT_LT(Model.rowCount(), 1000);
  EXPECT_EQ(View.horizontalHeader()->count(), 10);
  EXPECT_EQ(Model.headerData(1, Qt::Horizontal).toString(), "NAME");
  const QRect Cell = View.visualRect(Model.index(0, 1));
  EXPECT_FALSE(Cell.isEmpty());

  // Scrolling to the end pulls the rest in, batch by batch.
  for (int I = 0; I < 20 && Model.canFetchMore({}); ++I) {
    View.scrollToBottom();
    QCoreApplication::processEvents();
  }
  EXPECT_EQ(Model.rowCount(), 1000);
  View.scrollToTop();

  const QPixmap Picture = View.grab();
  EXPECT_EQ(Picture.size(), QSize(640, 300));
  QDir().mkpath(ZTL_PICTURE_DIR);
  EXPECT_TRUE(Picture.save(QString::fromLatin1(ZTL_PICTURE_DIR) + "/ZtlDataSetModel.png", "PNG"));
}

} // namespace
