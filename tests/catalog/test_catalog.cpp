// The catalog helpers over the recording driver: database names from the
// screen's forms and data modules, finding a database, and the table,
// procedure and column lists with their statements, parameters and
// clean-up.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "catalog/ZtlApp.h"
#include "framework/forms/DataModule.h"
#include "framework/forms/Forms.h"
#include "tests/support/RecordingDataset.h"

namespace ztl {
namespace {

std::vector<std::string> Lines(const TStrings& List) {
  std::vector<std::string> Result;
  for (int I = 0; I < List.Count(); ++I)
    Result.push_back(List[I]);
  return Result;
}

// ---- Database names ---------------------------------------------------------

// One container of a database-names case: a form or a data module, created
// in table order, owning sessions with these database names.
struct TContainerLayout {
  bool IsForm;
  std::vector<std::string> DatabaseNames;
};

struct TDatabaseNamesCase {
  const char* Title;
  std::vector<TContainerLayout> Containers;
  // Expected list: name and the index of its session in creation order.
  std::vector<std::pair<std::string, int>> Expected;
};

// Builds the containers of a case; Sessions gets every session in creation
// order.
std::vector<std::unique_ptr<TComponent>>
BuildContainers(const std::vector<TContainerLayout>& Layouts,
                std::vector<TZantrelSession*>& Sessions) {
  std::vector<std::unique_ptr<TComponent>> Containers;
  for (const TContainerLayout& Layout : Layouts) {
    if (Layout.IsForm)
      Containers.push_back(std::make_unique<TForm>(nullptr));
    else
      Containers.push_back(std::make_unique<TDataModule>(nullptr));
    // Components that are not sessions are passed over.
    new TComponent(Containers.back().get());
    for (const std::string& Name : Layout.DatabaseNames) {
      auto* Session = new TRecordingSession(Containers.back().get());
      Session->SetDatabaseName(Name);
      Sessions.push_back(Session);
    }
  }
  return Containers;
}

TEST(DatabaseNames, ListsOneNamePerSessionSortedWithItsSession) {
  const std::vector<TDatabaseNamesCase> Cases = {
      {"list name is the file name without extension",
       {{true, {"c:\\data\\Sales.db", "/srv/db/stock.sqlite", "plain", "c:\\dir.x\\file"}}},
       {{"file", 3}, {"plain", 2}, {"Sales", 0}, {"stock", 1}}},
      {"blank names are skipped", {{true, {"", "   ", "\t", "orders.db"}}}, {{"orders", 3}}},
      {"sorted whatever the order of forms and modules",
       {{false, {"zeta.db"}}, {true, {"Mid.gdb"}}, {false, {"alpha"}}, {true, {"beta.db"}}},
       {{"alpha", 2}, {"beta", 3}, {"Mid", 1}, {"zeta", 0}}},
      {"same name in one form: the first in owner order",
       {{true, {"c:\\x\\sales.db", "c:\\y\\SALES"}}},
       {{"sales", 0}}},
      {"same name in a form and a module: the form's, even when made later",
       {{false, {"c:\\b\\Sales.gdb"}}, {true, {"c:\\a\\sales.db"}}},
       {{"sales", 1}}},
      {"no forms or modules", {}, {}},
  };
  for (const TDatabaseNamesCase& Case : Cases) {
    SCOPED_TRACE(Case.Title);
    std::vector<TZantrelSession*> Sessions;
    auto Containers = BuildContainers(Case.Containers, Sessions);
    // A session that no form or module owns is not known.
    TRecordingSession Loose(nullptr);
    Loose.SetDatabaseName("loose.db");

    TStringList List;
    List.Add("stale");
    ZtlGetDatabaseNames(List);
    ASSERT_EQ(List.Count(), static_cast<int>(Case.Expected.size()));
    for (int I = 0; I < List.Count(); ++I) {
      EXPECT_EQ(List[I], Case.Expected[I].first);
      EXPECT_EQ(List.Objects(I), Sessions[Case.Expected[I].second]);
    }
  }
}

// A session that asks for the database names whenever it disconnects, the
// way a handler reacting to a lost connection might, and writes them to
// Seen.
class TAskingSession : public TRecordingSession {
public:
  TAskingSession(TComponent* AOwner, std::vector<std::string>& ASeen)
      : TRecordingSession(AOwner), Seen(ASeen) {}
  ~TAskingSession() override { DestroySession(); }

protected:
  void InternalDisconnect() override {
    TRecordingSession::InternalDisconnect();
    TStringList List;
    ZtlGetDatabaseNames(List);
    Seen = Lines(List);
  }

private:
  std::vector<std::string>& Seen; // outlives the session
};

TEST(DatabaseNames, SessionBeingDestroyedIsNotListed) {
  TForm Form(nullptr);
  auto* Other = new TRecordingSession(&Form);
  Other->SetDatabaseName("other.db");
  std::vector<std::string> Seen;
  auto* Asking = new TAskingSession(&Form, Seen);
  Asking->SetDatabaseName("asking.db");

  Asking->Open();
  Asking->Close();
  EXPECT_EQ(Seen, (std::vector<std::string>{"asking", "other"}));

  Asking->Open();
  delete Asking; // disconnects while being destroyed
  EXPECT_EQ(Seen, std::vector<std::string>{"other"});
}

TEST(FindDatabase, ComparesListNamesIgnoringCaseAndPath) {
  TForm Form(nullptr);
  auto* Sales = new TRecordingSession(&Form);
  Sales->SetDatabaseName("c:\\data\\Sales.db");
  auto* Stock = new TRecordingSession(&Form);
  Stock->SetDatabaseName("/srv/stock.sqlite");
  const std::vector<std::pair<std::string, TZantrelSession*>> Cases = {
      {"sales", Sales},
      {"SALES.DB", Sales},
      {"d:\\other\\sales.db", Sales},
      {"/home/me/Sales", Sales},
      {"Stock.gdb", Stock},
      {"sale", nullptr},
      {"sales.db.bak", nullptr}, // only the last extension goes
      {" sales", nullptr},       // the argument is not trimmed
      {"", nullptr},
      {"c:\\data\\", nullptr},
  };
  for (const auto& [Argument, Expected] : Cases) {
    SCOPED_TRACE(Argument);
    EXPECT_EQ(ZtlFindDatabase(Argument), Expected);
  }
}

// ---- Catalog lists ----------------------------------------------------------

// What the catalog routine did with its datasets, written as it happens.
struct TProbe {
  int Made = 0;                              // datasets made by the class
  std::vector<std::string> SQL;              // statement lines of the last one freed
  std::map<std::string, std::string> Params; // its parameters and their values
  std::vector<std::string> Events;           // clean-up steps in order
};

// The recording query dataset, reporting to a probe when it is freed.
class TProbeDataset : public TRecordingDataset {
public:
  TProbeDataset(TRecordingSession* ASession, TProbe& AProbe)
      : TRecordingDataset(nullptr, ASession), Probe(AProbe) {}
  ~TProbeDataset() override {
    Probe.SQL = Lines(*GetSQL());
    for (int I = 0; I < GetParams()->Count(); ++I) {
      const TZantrelParam* P = GetParams()->GetItem(I);
      Probe.Params[P->GetName()] = P->GetAsString();
    }
    Probe.Events.push_back("dataset freed, holds " + std::to_string(GetSession()->GetOpenCount()));
  }

private:
  TProbe& Probe;
};

using TRows = std::vector<std::vector<Variant>>;

// A database "Sales" on a form, whose session disconnects when released,
// and a list whose end of update is visible in the probe's events.
class CatalogQuery : public ::testing::Test {
protected:
  CatalogQuery() {
    Session = new TRecordingSession(&Form);
    Session->SetDatabaseName("c:\\data\\Sales.db");
    Session->SetKeepConnection(false);
    Session->AfterDisconnect = [this](TObject*) { Probe.Events.push_back("session released"); };
    List.Add("stale");
    List.OnChange = [this](TObject*) { Probe.Events.push_back("list updated"); };
  }

  // The class of a dataset that serves Columns and Rows as the catalog.
  TZantrelDatasetClass ServingClass(std::vector<TRecordingColumn> Columns, TRows Rows) {
    return [this, Columns, Rows]() -> std::unique_ptr<TZantrelCustomDataset> {
      ++Probe.Made;
      auto Dataset = std::make_unique<TProbeDataset>(Session, Probe);
      Dataset->GetRecordingSQL().SetResult(Columns, Rows);
      return Dataset;
    };
  }

  bool LogHas(const std::string& Operation) const {
    return Session->GetLog().CountOf(Operation) > 0;
  }

  // The steps every finished call ends with.
  const std::vector<std::string> CleanUp = {"dataset freed, holds 1", "session released",
                                            "list updated"};

  TForm Form{nullptr};
  TRecordingSession* Session; // owned by Form
  TProbe Probe;
  TStringList List;
};

const std::vector<TRecordingColumn> TableColumns = {{"user_name", ntString, 10},
                                                    {"table_name", ntString, 20}};
const TRows TableRows = {{"DBA   ", "customer  "}, {"joe", "orders"}};

TEST_F(CatalogQuery, TableNamesWithAndWithoutOwnerAndCreatorRestriction) {
  const std::string Select = "select user_name, table_name from sys.systable, sys.sysuserperms "
                             "where creator=user_id and table_type='BASE'";
  struct TCase {
    bool AllCreators;
    bool WithOwner;
    std::vector<std::string> SQL;
    std::vector<std::string> Names;
  };
  const std::vector<TCase> Cases = {
      {false, false, {Select, " and creator=1", " order by 1,2"}, {"customer", "orders"}},
      {false, true, {Select, " and creator=1", " order by 1,2"}, {"DBA.customer", "joe.orders"}},
      {true, false, {Select, " order by 1,2"}, {"customer", "orders"}},
      {true, true, {Select, " order by 1,2"}, {"DBA.customer", "joe.orders"}},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(testing::Message() << Case.AllCreators << Case.WithOwner);
    Probe = {};
    ZtlGetTableNames("sales", Case.AllCreators, Case.WithOwner, List,
                     ServingClass(TableColumns, TableRows));
    EXPECT_EQ(Lines(List), Case.Names);
    EXPECT_EQ(Probe.SQL, Case.SQL);
    EXPECT_EQ(Probe.Made, 1);
    EXPECT_EQ(Probe.Events, CleanUp);
    EXPECT_EQ(List.GetUpdateCount(), 0);
    EXPECT_FALSE(Session->GetConnected());
  }
}

TEST_F(CatalogQuery, StoredProcNamesOfEveryCreator) {
  const std::vector<TRecordingColumn> Columns = {{"user_name", ntString, 10},
                                                 {"proc_name", ntString, 20}};
  const TRows Rows = {{"DBA", "sp_totals   "}, {"joe", "sp_ship"}};
  for (const bool WithOwner : {false, true}) {
    SCOPED_TRACE(WithOwner);
    Probe = {};
    ZtlGetStoredProcNames("SALES.DB", WithOwner, List, ServingClass(Columns, Rows));
    EXPECT_EQ(Lines(List), (WithOwner ? std::vector<std::string>{"DBA.sp_totals", "joe.sp_ship"}
                                      : std::vector<std::string>{"sp_totals", "sp_ship"}));
    EXPECT_EQ(Probe.SQL, std::vector<std::string>{
                             "select user_name, proc_name from sys.sysprocedure, sys.sysuserperms "
                             "where creator=user_id order by 1,2"});
    EXPECT_EQ(Probe.Events, CleanUp);
  }
}

TEST_F(CatalogQuery, FieldNamesFilterOnTableAndOptionalOwner) {
  const std::string Head = "select column_name from sys.systable st, sys.syscolumn sc, "
                           "sys.sysuserperms up where st.table_id=sc.table_id and creator=user_id "
                           "and table_name=:table_name ";
  const std::string WithOwner = Head + "and user_name=:user_name order by column_id";
  const std::string NoOwner = Head + "order by column_id";
  struct TCase {
    std::string TableName;
    std::string SQL;
    std::map<std::string, std::string> Params;
  };
  const std::vector<TCase> Cases = {
      {"dba.customer", WithOwner, {{"table_name", "customer"}, {"user_name", "dba"}}},
      {" dba .customer", WithOwner, {{"table_name", "customer"}, {"user_name", "dba"}}},
      {"dba. customer ", WithOwner, {{"table_name", " customer "}, {"user_name", "dba"}}},
      {"a.b.c", WithOwner, {{"table_name", "b.c"}, {"user_name", "a"}}},
      {"customer", NoOwner, {{"table_name", "customer"}}},
      {" .customer", NoOwner, {{"table_name", "customer"}}},
      // An injected quote stays a value: the name only ever travels as a parameter.
      {"x' or '1'='1", NoOwner, {{"table_name", "x' or '1'='1"}}},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.TableName);
    Probe = {};
    ZtlGetFieldNames("sales", Case.TableName, List,
                     ServingClass({{"column_name", ntString, 20}}, {{"id  "}, {"name"}}));
    EXPECT_EQ(Lines(List), (std::vector<std::string>{"id", "name"}));
    EXPECT_EQ(Probe.SQL, std::vector<std::string>{Case.SQL});
    EXPECT_EQ(Probe.Params, Case.Params);
    EXPECT_EQ(Probe.Events, CleanUp);
  }
}

TEST_F(CatalogQuery, NothingToQueryLeavesAnEmptyListAndTheSessionAlone) {
  // Never asked for a dataset here: one would leave calls in the log.
  const TZantrelDatasetClass Class = ZtlDatasetClass<TRecordingDataset>();
  const std::vector<std::pair<const char*, std::function<void()>>> Calls = {
      {"tables of an unknown database",
       [&] { ZtlGetTableNames("purchases", true, true, List, Class); }},
      {"procedures of an unknown database",
       [&] { ZtlGetStoredProcNames("c:\\data\\", true, List, Class); }},
      {"columns of an unknown database",
       [&] { ZtlGetFieldNames("purchases", "customer", List, Class); }},
      {"columns without a table part", [&] { ZtlGetFieldNames("sales", "dba.", List, Class); }},
      {"columns of an empty table name", [&] { ZtlGetFieldNames("sales", "", List, Class); }},
      // Without a query to run the class is never asked for, so none is needed.
      {"unknown database without a class", [&] { ZtlGetTableNames("x", true, true, List, {}); }},
  };
  for (const auto& [Title, Call] : Calls) {
    SCOPED_TRACE(Title);
    List.Clear();
    List.Add("stale");
    Probe = {};
    Call();
    EXPECT_EQ(List.Count(), 0);
    EXPECT_EQ(List.GetUpdateCount(), 0);
    EXPECT_EQ(Probe.Events, std::vector<std::string>{"list updated"});
  }
  EXPECT_TRUE(Session->GetLog().Calls.empty());
}

TEST_F(CatalogQuery, ApplicationsHoldOnTheSessionSurvivesTheCall) {
  Session->OpenSession(nullptr);
  Probe = {};
  ZtlGetTableNames("sales", true, false, List, ServingClass(TableColumns, TableRows));
  EXPECT_EQ(Probe.Events, (std::vector<std::string>{"dataset freed, holds 2", "list updated"}));
  EXPECT_TRUE(Session->GetConnected());
  EXPECT_EQ(Session->GetOpenCount(), 1);
  Session->CloseSession(nullptr);
}

TEST_F(CatalogQuery, FailuresReachTheCallerAfterTheCleanUp) {
  using TArrange = std::function<void(TRecordingSession&, TStringList&, TZantrelDatasetClass&)>;
  struct TCase {
    const char* Title;
    TArrange Arrange;
    bool WithOwner;
    std::string Message;            // of the error the caller gets
    std::vector<std::string> Names; // List afterwards
    // Clean-up done; a dataset freed while still open holds the session
    // twice: for the call and for itself.
    std::vector<std::string> Events;
  };
  const std::vector<std::string> AfterOpen = {"dataset freed, holds 2", "session released",
                                              "list updated"};
  const std::vector<TCase> Cases = {
      {"statement fails to open",
       [](TRecordingSession& S, TStringList&, TZantrelDatasetClass&) {
         S.GetLog().FailAt("InternalOpen");
       },
       false,
       "InternalOpen failed",
       {},
       CleanUp},
      {"catalog column missing (the result has no user_name)",
       [](TRecordingSession&, TStringList&, TZantrelDatasetClass&) {},
       true,
       "Field 'user_name' not found",
       {},
       AfterOpen},
      {"list refuses a name: the names read so far stay",
       [](TRecordingSession&, TStringList& L, TZantrelDatasetClass&) {
         L.SetSorted(true);
         L.SetDuplicates(dupError);
       },
       false,
       "String list does not allow duplicates",
       {"customer"},
       AfterOpen},
      {"connection fails: nothing made, nothing to release",
       [](TRecordingSession& S, TStringList&, TZantrelDatasetClass&) {
         S.GetLog().FailAt("InternalConnect");
       },
       false,
       "InternalConnect failed",
       {},
       {"list updated"}},
      {"no dataset class",
       [](TRecordingSession&, TStringList&, TZantrelDatasetClass& C) { C = nullptr; },
       false,
       SZtlNoCatalogDataset,
       {},
       {"session released", "list updated"}},
      {"a class that makes no dataset",
       [](TRecordingSession&, TStringList&, TZantrelDatasetClass& C) {
         C = [] { return std::unique_ptr<TZantrelCustomDataset>(); };
       },
       false,
       SZtlNoCatalogDataset,
       {},
       {"session released", "list updated"}},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Title);
    List.Clear();
    List.Add("stale");
    TZantrelDatasetClass Class =
        ServingClass({{"table_name", ntString, 20}}, {{"customer"}, {"customer"}});
    Case.Arrange(*Session, List, Class);
    Probe = {};
    try {
      ZtlGetTableNames("sales", true, Case.WithOwner, List, Class);
      ADD_FAILURE() << "no error";
    } catch (const std::exception& E) {
      EXPECT_EQ(std::string(E.what()), Case.Message);
    }
    EXPECT_EQ(Lines(List), Case.Names);
    EXPECT_EQ(Probe.Events, Case.Events);
    EXPECT_EQ(List.GetUpdateCount(), 0);
    EXPECT_EQ(Session->GetOpenCount(), 0);
    EXPECT_FALSE(Session->GetConnected());
    Session->GetLog().Clear();
    List.SetSorted(false);
  }
}

} // namespace
} // namespace ztl
