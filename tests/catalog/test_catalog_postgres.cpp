// The catalog helpers against a real PostgreSQL database of the tests'
// throw-away cluster, read through the driver's catalog relations.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "catalog/ZtlApp.h"
#include "drivers/postgres/ZtlPostgres.h"
#include "framework/forms/DataModule.h"
#include "tests/drivers/postgres/PgTestSupport.h"

namespace ztl {
namespace {

using Names = std::vector<std::string>;
using testing::PgCluster;

constexpr const char* DatabaseName = "ztl_catalog";

Names Lines(const TStrings& List) {
  Names Result;
  for (int I = 0; I < List.Count(); ++I)
    Result.push_back(List[I]);
  return Result;
}

// A fresh database for every test, with a session on it that sits on a data
// module, where the catalog helpers find it. The database holds two
// schemas, tables, a view, a partitioned table and overloaded functions.
class PgCatalog : public ::testing::Test {
protected:
  void SetUp() override {
    if (!PgCluster::Shared().Available())
      GTEST_SKIP() << "PostgreSQL tests skipped: " << PgCluster::Shared().Reason();
    Admin = std::make_unique<TZantrelPgSession>();
    testing::AimAtCluster(*Admin);
    Admin->Open();
    AdminExec(std::string("DROP DATABASE IF EXISTS ") + DatabaseName + " WITH (FORCE)");
    AdminExec(std::string("CREATE DATABASE ") + DatabaseName);
    Session = Connect(PgCluster::User);
    // Column names out of alphabetical order, so that definition order shows.
    Exec("create table customers (zip text, name text, id int primary key)");
    Exec("create table orders (total numeric, customer int)");
    Exec("create view big_orders as select * from orders where total > 100");
    Exec("create table events (at date, what text) partition by range (at)");
    Exec("create table events_2024 partition of events "
         "for values from ('2024-01-01') to ('2025-01-01')");
    Exec("create schema sales");
    Exec("create table sales.ledger (entry text, amount numeric)");
    Exec("create function twice(x int) returns int language sql as 'select x * 2'");
    Exec("create function twice(x text) returns text language sql as 'select x || x'");
    Exec("create procedure tidy() language sql as 'select 1'");
    Exec("create function sales.total() returns numeric language sql as 'select 0'");
  }

  void TearDown() override {
    Module.reset(); // the sessions go before the database
    if (Admin)
      Admin->Execute(std::string("DROP DATABASE IF EXISTS ") + DatabaseName + " WITH (FORCE)");
  }

  // A new session on the test database as User, on its own data module.
  TZantrelPgSession* Connect(const std::string& User) {
    Module = std::make_unique<TDataModule>(nullptr);
    auto* S = new TZantrelPgSession(Module.get());
    testing::AimAtCluster(*S);
    S->SetDatabaseName(DatabaseName);
    S->SetUserName(User);
    S->Open();
    return S;
  }

  void Exec(const std::string& SQL) {
    ASSERT_TRUE(Session->Execute(SQL)) << Session->GetLastError();
  }
  void AdminExec(const std::string& SQL) {
    ASSERT_TRUE(Admin->Execute(SQL)) << Admin->GetLastError();
  }

  Names Tables(bool AllCreators, bool WithOwner) {
    TStringList List;
    ZtlGetTableNames(DatabaseName, AllCreators, WithOwner, List, Query);
    return Lines(List);
  }
  Names Columns(const std::string& Table) {
    TStringList List;
    ZtlGetFieldNames(DatabaseName, Table, List, Query);
    return Lines(List);
  }
  Names Procedures(bool WithOwner) {
    TStringList List;
    ZtlGetStoredProcNames(DatabaseName, WithOwner, List, Query);
    return Lines(List);
  }

  std::unique_ptr<TZantrelPgSession> Admin; // on the cluster's own database
  std::unique_ptr<TDataModule> Module;      // owns Session
  TZantrelPgSession* Session = nullptr;
  const TZantrelDatasetClass Query = ZtlDatasetClass<TZantrelPgQuery>();
};

TEST_F(PgCatalog, ListsBaseTablesOfEverySchemaWithTheSchemaAsOwner) {
  // Views and partitions are no base tables of their own.
  EXPECT_EQ(Tables(true, true),
            (Names{"public.customers", "public.events", "public.orders", "sales.ledger"}));
  EXPECT_EQ(Tables(true, false), (Names{"customers", "events", "orders", "ledger"}));
  // The first schema of the search path is the first creator.
  EXPECT_EQ(Tables(false, true), (Names{"public.customers", "public.events", "public.orders"}));
  Exec("set search_path = sales, public");
  EXPECT_EQ(Tables(false, true), Names{"sales.ledger"});
}

TEST_F(PgCatalog, ReflectsTheDatabaseAtTheMomentOfTheQuery) {
  Exec("create table invoices (id int)");
  Exec("drop table orders cascade");
  EXPECT_EQ(Tables(false, false), (Names{"customers", "events", "invoices"}));
  Exec("alter table invoices add column amount numeric");
  EXPECT_EQ(Columns("invoices"), (Names{"id", "amount"}));
}

TEST_F(PgCatalog, ListsColumnsInDefinitionOrder) {
  Exec("alter table customers drop column zip");
  Exec("alter table customers add column zip text");
  const struct {
    const char* Table;
    Names Expected;
  } Cases[] = {
      {"customers", {"name", "id", "zip"}}, // a dropped column leaves no trace
      {"orders", {"total", "customer"}},
      {"public.big_orders", {"total", "customer"}},
      {" sales .ledger", {"entry", "amount"}},
      {"public.ledger", {}},
      {"CUSTOMERS", {}}, // the server's names are what was stored
  };
  for (const auto& C : Cases)
    EXPECT_EQ(Columns(C.Table), C.Expected) << C.Table;
}

TEST_F(PgCatalog, ListsFunctionsAndProceduresOncePerName) {
  EXPECT_EQ(Procedures(true), (Names{"public.tidy", "public.twice", "sales.total"}));
  EXPECT_EQ(Procedures(false), (Names{"tidy", "twice", "total"}));
}

TEST_F(PgCatalog, CreatesNothingInTheDatabase) {
  Tables(true, true);
  Columns("customers");
  Procedures(true);
  Names Schemas;
  {
    TZantrelPgQuery Q;
    Q.SetSession(Session);
    Q.GetSQL()->Add("select nspname from pg_namespace where nspname not like 'pg\\_%' "
                    "and nspname <> 'information_schema' order by 1");
    Q.Open();
    for (; !Q.Eof(); Q.Next())
      Schemas.push_back(Q.FieldByName("nspname")->GetAsString());
  }
  EXPECT_EQ(Schemas, (Names{"public", "sales"}));
}

TEST_F(PgCatalog, ShowsOnlyTheSchemasTheUserMayUse) {
  Exec("create role reader login");
  Exec("create schema hidden");
  Exec("create table hidden.secrets (code text)");
  Exec("grant usage on schema sales to reader");
  Session = Connect("reader");
  EXPECT_EQ(Tables(true, true),
            (Names{"public.customers", "public.events", "public.orders", "sales.ledger"}));
  EXPECT_TRUE(Columns("hidden.secrets").empty());
}

TEST_F(PgCatalog, AUsersOwnSysSchemaKeepsWorking) {
  Exec("create schema sys");
  Exec("create table sys.orders (n int)");
  Exec("insert into sys.orders values (7)");
  // The schema is the user's: it is listed like any other, and its own
  // relations are reached as before.
  EXPECT_EQ(Tables(true, true), (Names{"public.customers", "public.events", "public.orders",
                                       "sales.ledger", "sys.orders"}));
  EXPECT_EQ(Columns("sys.orders"), Names{"n"});
  // A catalog relation the schema holds itself is the one read.
  Exec("create table sys.sysprocedure (proc_name text, creator int)");
  Exec("insert into sys.sysprocedure values ('mine', 1)");
  EXPECT_EQ(Procedures(true), Names{"public.mine"});
}

} // namespace
} // namespace ztl
