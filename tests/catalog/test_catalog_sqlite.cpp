// The catalog helpers against real SQLite database files: the driver's own
// live catalog, and a hand-made catalog a user attaches in its place.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "catalog/ZtlApp.h"
#include "drivers/sqlite/SQLiteApi_p.h"
#include "drivers/sqlite/SQLiteCatalog_p.h"
#include "drivers/sqlite/ZtlSQLite.h"
#include "framework/forms/DataModule.h"
#include "tests/drivers/sqlite/SQLiteTestSupport.h"

namespace ztl {
namespace {

using Names = std::vector<std::string>;

Names Lines(const TStrings& List) {
  Names Result;
  for (int I = 0; I < List.Count(); ++I)
    Result.push_back(List[I]);
  return Result;
}

// A session on a data module, where the catalog helpers find it.
class SQLiteCatalogBase : public ::testing::Test {
protected:
  void SetUp() override {
    Session = new TZantrelSQLiteSession(&Module);
    Session->SetDatabaseName(Dir.File("Sales.db"));
    Session->Open();
  }

  void Exec(const std::string& SQL) {
    ASSERT_TRUE(Session->Execute(SQL)) << Session->GetLastError();
  }

  // The rows of SQL, each row's values joined by "|".
  Names Rows(const std::string& SQL) {
    TZantrelSQLiteQuery Q;
    Q.SetSession(Session);
    Q.GetSQL()->Add(SQL);
    Q.Open();
    Names Result;
    for (; !Q.Eof(); Q.Next()) {
      std::string Row;
      for (int I = 0; I < Q.FieldCount(); ++I)
        Row += (I ? "|" : "") + Q.Fields()[I]->GetAsString();
      Result.push_back(Row);
    }
    return Result;
  }

  Names Tables(bool AllCreators, bool WithOwner) {
    TStringList List;
    ZtlGetTableNames("sales", AllCreators, WithOwner, List, Query);
    return Lines(List);
  }

  Names Columns(const std::string& Table) {
    TStringList List;
    ZtlGetFieldNames("sales", Table, List, Query);
    return Lines(List);
  }

  test::TTempDir Dir;
  TDataModule Module{nullptr}; // owns the session and puts it on the screen
  TZantrelSQLiteSession* Session = nullptr;
  const TZantrelDatasetClass Query = ZtlDatasetClass<TZantrelSQLiteQuery>();
};

// A database with tables, a view, SQLite's own sequence table and a second
// database attached as "archive".
class SQLiteLiveCatalog : public SQLiteCatalogBase {
protected:
  void SetUp() override {
    SQLiteCatalogBase::SetUp();
    // Column names out of alphabetical order, so that definition order shows.
    Exec("create table customers (zip text, name text, id integer primary key autoincrement)");
    Exec("create table orders (total real, customer int, "
         "doubled real generated always as (total * 2))");
    Exec("create view big_orders as select customer, total from orders where total > 100");
    Exec("insert into customers (zip, name) values ('1000', 'Ann')");
    Exec("ATTACH DATABASE '" + Dir.File("archive.db") + "' AS archive");
    Exec("create table archive.orders (year int, total real)");
    Exec("create table archive.ledger (entry text)");
  }
};

TEST_F(SQLiteLiveCatalog, ListsBaseTablesOfEverySchemaWithTheSchemaAsOwner) {
  EXPECT_EQ(Tables(true, true),
            (Names{"archive.ledger", "archive.orders", "main.customers", "main.orders"}));
  EXPECT_EQ(Tables(true, false), (Names{"ledger", "orders", "customers", "orders"}));
  // The main database is the first creator.
  EXPECT_EQ(Tables(false, true), (Names{"main.customers", "main.orders"}));
}

TEST_F(SQLiteLiveCatalog, ReflectsTheSchemasAtTheMomentOfTheQuery) {
  Exec("create table invoices (id int)");
  Exec("create temp table scratch (x int)");
  Exec("DETACH DATABASE archive");
  EXPECT_EQ(Tables(true, true),
            (Names{"main.customers", "main.invoices", "main.orders", "temp.scratch"}));
  Exec("alter table invoices add column amount real");
  EXPECT_EQ(Columns("invoices"), (Names{"id", "amount"}));
  Exec("drop table invoices");
  EXPECT_EQ(Tables(false, false), (Names{"customers", "orders"}));
}

TEST_F(SQLiteLiveCatalog, ListsColumnsInDefinitionOrder) {
  const struct {
    const char* Table;
    Names Expected;
  } Cases[] = {
      {"customers", {"zip", "name", "id"}},
      {"CUSTOMERS", {"zip", "name", "id"}},              // SQLite's names ignore case
      {"main.orders", {"total", "customer", "doubled"}}, // generated columns count
      {"archive.orders", {"year", "total"}},
      {" archive .ledger", {"entry"}},
      {"big_orders", {"customer", "total"}}, // a view has columns too
      {"main.ledger", {}},
      {"missing", {}},
  };
  for (const auto& C : Cases)
    EXPECT_EQ(Columns(C.Table), C.Expected) << C.Table;
}

TEST_F(SQLiteLiveCatalog, HasNoStoredProcedures) {
  TStringList List;
  List.Add("stale");
  ZtlGetStoredProcNames("sales", true, List, Query);
  EXPECT_TRUE(Lines(List).empty());
}

TEST_F(SQLiteLiveCatalog, KeepsTableIdsForTheLifeOfTheConnection) {
  const Names Before = Rows("select table_id from sys.systable where table_name = 'customers'");
  ASSERT_EQ(Before.size(), 1u);
  Exec("create table aaa_first (x int)");
  Exec("drop table orders");
  EXPECT_EQ(Rows("select table_id from sys.systable where table_name = 'customers'"), Before);
  // Ids are unique across schemas.
  EXPECT_EQ(Rows("select count(distinct table_id) = count(*) from sys.systable"), Names{"1"});
  // Views are listed, but not as base tables.
  EXPECT_EQ(Rows("select table_type from sys.systable where table_name = 'big_orders'"),
            Names{"VIEW"});
}

TEST_F(SQLiteLiveCatalog, WritesNothingAndCannotBeWritten) {
  Tables(true, true);
  Columns("customers");
  EXPECT_FALSE(Session->Execute("insert into sys.systable values (99, 'x', 'BASE', 1)"));
  EXPECT_FALSE(Session->Execute("delete from sys.syscolumn"));
  // The user's database holds exactly what the user put there.
  EXPECT_EQ(Rows("select name from main.sqlite_master order by name"),
            (Names{"big_orders", "customers", "orders", "sqlite_sequence"}));
  EXPECT_EQ(Rows("select count(*) from archive.sqlite_master"), Names{"2"});
}

TEST_F(SQLiteLiveCatalog, AnswersInsideViewsWhenTheSchemaIsNotTrusted) {
  Exec("PRAGMA trusted_schema = OFF");
  Exec("create temp view owners as select user_name from sys.sysuserperms");
  EXPECT_EQ(Rows("select user_name from owners order by 1"), (Names{"archive", "main", "temp"}));
}

TEST_F(SQLiteLiveCatalog, JoinsStayCheapAndRightWhateverTheJoinOrder) {
  // The statement of the field list, written the other way round: the
  // planner may start from syscolumn and must still pair rows by table_id.
  EXPECT_EQ(Rows("select column_name from sys.syscolumn sc, sys.systable st "
                 "where sc.table_id = st.table_id and st.table_name = 'ledger' "
                 "order by column_id"),
            Names{"entry"});
  EXPECT_EQ(Rows("select count(*) from sys.syscolumn where table_id = 'x'"), Names{"0"});
}

TEST_F(SQLiteLiveCatalog, AnswersOnAReadOnlySession) {
  Session->Close();
  Session->SetReadOnly(true);
  Session->Open();
  EXPECT_EQ(Session->GetCatalogError(), "");
  EXPECT_EQ(Tables(true, true), (Names{"main.customers", "main.orders"}));
}

TEST_F(SQLiteLiveCatalog, ASessionWithoutTheCatalogStillConnectsAndSaysWhy) {
  // A connection that has a "sys" schema already cannot get a second one.
  std::string Error;
  EXPECT_FALSE(SQLiteInstallCatalog(Session->GetDatabase(), Error));
  EXPECT_NE(Error.find("attached as \"sys\" already"), std::string::npos) << Error;
  EXPECT_EQ(Tables(false, false), (Names{"customers", "orders"}));

  // An adopted connection is its owner's: the session connects on it and
  // leaves it as it is.
  sqlite3* Raw = nullptr;
  ASSERT_EQ(SQLite().open_v2(Dir.File("Other.db").c_str(), &Raw,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr),
            SQLITE_OK);
  {
    TDataModule Other{nullptr};
    auto* Adopting = new TZantrelSQLiteSession(&Other);
    Adopting->SetDatabaseName("Other.db");
    Adopting->SetHandle(Raw);
    EXPECT_TRUE(Adopting->GetConnected());
    TStringList List;
    try {
      ZtlGetTableNames("other", true, true, List, Query);
      ADD_FAILURE() << "the catalog was read from an adopted connection";
    } catch (const std::exception& E) {
      EXPECT_NE(std::string(E.what()).find("the catalog is not available on this connection"),
                std::string::npos)
          << E.what();
    }
  }
  SQLite().close_v2(Raw);
}

// A user who keeps a catalog of their own detaches the driver's and
// attaches theirs; the helpers read whatever "sys" holds.
class SQLiteOwnCatalog : public SQLiteCatalogBase {
protected:
  void SetUp() override {
    SQLiteCatalogBase::SetUp();
    Exec("DETACH DATABASE sys");
    Exec("ATTACH DATABASE '" + Dir.File("catalog.db") + "' AS sys");
    Exec("create table sys.sysuserperms (user_id int, user_name varchar(30))");
    Exec("create table sys.systable (table_id int, table_name varchar(30), "
         "table_type varchar(10), creator int)");
    Exec("create table sys.syscolumn (table_id int, column_id int, column_name varchar(30))");
    Exec("create table sys.sysprocedure (proc_name varchar(30), creator int)");
    Exec("insert into sys.sysuserperms values (1, 'DBA'), (2, 'alice')");
    Exec("insert into sys.systable values (1, 'customers', 'BASE', 1), "
         "(2, 'orders', 'BASE', 2), (3, 'big_orders', 'VIEW', 2), (4, 'audit', 'BASE', 1)");
    Exec("insert into sys.syscolumn values (1, 2, 'name'), (1, 1, 'id'), (2, 1, 'id'), "
         "(2, 2, 'customer')");
    Exec("insert into sys.sysprocedure values ('refresh', 1), ('archive', 2)");
  }
};

TEST_F(SQLiteOwnCatalog, ListsTablesProceduresAndColumnsFromTheAttachedCatalog) {
  TStringList List;
  ZtlGetTableNames("sales", true, true, List, Query);
  EXPECT_EQ(Lines(List), (Names{"DBA.audit", "DBA.customers", "alice.orders"}));
  ZtlGetTableNames("SALES.DB", false, false, List, Query);
  EXPECT_EQ(Lines(List), (Names{"audit", "customers"}));

  ZtlGetStoredProcNames("sales", true, List, Query);
  EXPECT_EQ(Lines(List), (Names{"DBA.refresh", "alice.archive"}));

  ZtlGetFieldNames("sales", "customers", List, Query);
  EXPECT_EQ(Lines(List), (Names{"id", "name"}));
  ZtlGetFieldNames("sales", " alice .orders", List, Query);
  EXPECT_EQ(Lines(List), (Names{"id", "customer"}));
  ZtlGetFieldNames("sales", "DBA.orders", List, Query);
  EXPECT_TRUE(Lines(List).empty());

  // The catalog reads leave the session connected (it keeps its connection)
  // and held by nobody.
  EXPECT_TRUE(Session->GetConnected());
}

TEST_F(SQLiteOwnCatalog, AnUnknownDatabaseGivesAnEmptyList) {
  TStringList List;
  List.Add("stale");
  ZtlGetTableNames("elsewhere", true, true, List, Query);
  EXPECT_TRUE(Lines(List).empty());
}

} // namespace
} // namespace ztl
