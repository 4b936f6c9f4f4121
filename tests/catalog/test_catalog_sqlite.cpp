// The catalog helpers against a real SQLite database whose catalog tables
// live in a second database attached under the schema name "sys".
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "catalog/ZtlApp.h"
#include "drivers/sqlite/ZtlSQLite.h"
#include "framework/forms/DataModule.h"
#include "tests/drivers/sqlite/SQLiteTestSupport.h"

namespace ztl {
namespace {

std::vector<std::string> Lines(const TStrings& List) {
  std::vector<std::string> Result;
  for (int I = 0; I < List.Count(); ++I)
    Result.push_back(List[I]);
  return Result;
}

class SQLiteCatalog : public ::testing::Test {
protected:
  void SetUp() override {
    Session = new TZantrelSQLiteSession(&Module);
    Session->SetDatabaseName(Dir.File("Sales.db"));
    Session->Open();
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

  void Exec(const std::string& SQL) {
    ASSERT_TRUE(Session->Execute(SQL)) << Session->GetLastError();
  }

  test::TTempDir Dir;
  TDataModule Module{nullptr}; // owns the session and puts it on the screen
  TZantrelSQLiteSession* Session = nullptr;
  const TZantrelDatasetClass Query = ZtlDatasetClass<TZantrelSQLiteQuery>();
};

TEST_F(SQLiteCatalog, ListsTablesProceduresAndColumnsFromTheAttachedCatalog) {
  TStringList List;
  ZtlGetTableNames("sales", true, true, List, Query);
  EXPECT_EQ(Lines(List), (std::vector<std::string>{"DBA.audit", "DBA.customers", "alice.orders"}));
  ZtlGetTableNames("SALES.DB", false, false, List, Query);
  EXPECT_EQ(Lines(List), (std::vector<std::string>{"audit", "customers"}));

  ZtlGetStoredProcNames("sales", true, List, Query);
  EXPECT_EQ(Lines(List), (std::vector<std::string>{"DBA.refresh", "alice.archive"}));

  ZtlGetFieldNames("sales", "customers", List, Query);
  EXPECT_EQ(Lines(List), (std::vector<std::string>{"id", "name"}));
  ZtlGetFieldNames("sales", " alice .orders", List, Query);
  EXPECT_EQ(Lines(List), (std::vector<std::string>{"id", "customer"}));
  ZtlGetFieldNames("sales", "DBA.orders", List, Query);
  EXPECT_TRUE(Lines(List).empty());

  // The catalog reads leave the session connected (it keeps its connection)
  // and held by nobody.
  EXPECT_TRUE(Session->GetConnected());
}

TEST_F(SQLiteCatalog, AnUnknownDatabaseGivesAnEmptyList) {
  TStringList List;
  List.Add("stale");
  ZtlGetTableNames("elsewhere", true, true, List, Query);
  EXPECT_TRUE(Lines(List).empty());
}

} // namespace
} // namespace ztl
