// The provider operations of the dataset and the query dataset over the
// recording driver: transactions, parameters both ways, update errors,
// reset, ExecSQL, the SQL-text answers, and queries in form files.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dataset/ZtlCustomDataset.h"
#include "framework/db/DBParams.h"
#include "framework/forms/DataModule.h"
#include "framework/db/DataSource.h"
#include "framework/classes/FormFiles.h"
#include "tests/dataset/test_dataset_util.h"

namespace ztl::test {
namespace {

struct ProviderFixture : DatasetFixture {
  IProviderSupport Provider{*Query};
};

// ---- Transactions ---------------------------------------------------------------------

using ProviderTransaction = ProviderFixture;

TEST_F(ProviderTransaction, HoldsTheSessionFromStartToEnd) {
  for (const bool Commit : {true, false}) {
    Log().Clear();
    Provider.PSStartTransaction();
    EXPECT_TRUE(Session.GetConnected());
    EXPECT_TRUE(Provider.PSInTransaction());
    EXPECT_EQ(Query->GetDBFlags(), 1u << dfTransaction);
    Provider.PSEndTransaction(Commit);
    EXPECT_FALSE(Provider.PSInTransaction());
    EXPECT_EQ(Query->GetDBFlags(), 0);
    EXPECT_FALSE(Session.GetConnected());
    EXPECT_EQ(CountCalls(Commit ? "InternalCommit" : "InternalRollback"), Commit ? 2 : 1);
  }
}

TEST_F(ProviderTransaction, TheSessionCannotChangeWhileATransactionHoldsIt) {
  TRecordingSession Other;
  Provider.PSStartTransaction();
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Query->SetSession(&Other); }),
            "Cannot perform this operation on an open or prepared dataset");
  EXPECT_EQ(Query->GetSession(), &Session);
  EXPECT_EQ(Other.GetOpenCount(), 0);
  Provider.PSEndTransaction(true);
  EXPECT_EQ(Session.GetOpenCount(), 0);
  Query->SetSession(&Other);
  EXPECT_EQ(Query->GetSession(), &Other);
}

TEST_F(ProviderTransaction, AFailedStartReleasesOnlyItsOwnHold) {
  // The first start fails: its hold goes and the session with it.
  Log().FailAt("InternalCommit", rfRaise, true, -2, "cannot start");
  EXPECT_EQ(MessageOf<EZantrelException>([&] { Provider.PSStartTransaction(); }), "cannot start");
  EXPECT_EQ(Query->GetDBFlags(), 0);
  EXPECT_FALSE(Session.GetConnected());

  // A second start inside a running transaction fails and leaves the
  // running one, its hold and its connection alone.
  Provider.PSStartTransaction();
  EXPECT_EQ(MessageOf<EZantrelException>([&] { Provider.PSStartTransaction(); }),
            "A user transaction is already in progress");
  EXPECT_TRUE(Session.GetConnected());
  EXPECT_TRUE(Provider.PSInTransaction());
  EXPECT_EQ(Query->GetDBFlags(), 1u << dfTransaction);
  Provider.PSEndTransaction(true);
  EXPECT_FALSE(Session.GetConnected());
}

TEST_F(ProviderTransaction, AFailedEndStillReleasesTheHold) {
  Provider.PSStartTransaction();
  Log().FailAt("InternalRollback", rfRaise, true, -3, "rollback failed");
  EXPECT_EQ(MessageOf<EZantrelException>([&] { Provider.PSEndTransaction(false); }),
            "rollback failed");
  EXPECT_EQ(Query->GetDBFlags(), 0);
  EXPECT_FALSE(Session.GetConnected());
}

TEST(ProviderWithoutSession, IsNeverInATransaction) {
  TRecordingDataset Query;
  IProviderSupport Provider(Query);
  EXPECT_FALSE(Provider.PSInTransaction());
  EXPECT_EQ(MessageOf<EZantrelException>([&] { Provider.PSStartTransaction(); }),
            "The session property is not linked to a session");
  EXPECT_EQ(Query.GetDBFlags(), 0);
}

// ---- Parameters ---------------------------------------------------------------------------

using ProviderParams = ProviderFixture;

TEST_F(ProviderParams, GetParamsMapsDirectionsAndValues) {
  TZantrelParams& Params = *Query->GetParams();
  Params.Clear();
  struct Case {
    const char* Name;
    TZantrelParamType Direction;
    TParamType Expected;
  };
  const Case Cases[] = {{"I", nptInput, ptInput},
                        {"IO", nptInputOutput, ptInputOutput},
                        {"O", nptOutput, ptOutput},
                        {"R", nptResult, ptResult},
                        {"U", nptUnknown, ptUnknown}};
  for (const Case& C : Cases) {
    TZantrelParam* P = Params.CreateParam(C.Name);
    P->SetParamType(C.Direction);
    P->SetAsInteger(7);
  }
  Params.ParamByName("IO")->SetAsString("text");
  Params.ParamByName("O")->Clear();

  TParams* Result = Provider.PSGetParams();
  ASSERT_NE(Result, nullptr);
  ASSERT_EQ(Result->Count(), 5);
  for (int I = 0; I < 5; ++I) {
    EXPECT_EQ((*Result)[I].Name(), Cases[I].Name);
    EXPECT_EQ((*Result)[I].ParamType(), Cases[I].Expected) << Cases[I].Name;
  }
  EXPECT_EQ((*Result)[0].Value().AsInteger(), 7);
  EXPECT_EQ((*Result)[1].AsString(), "text");
  EXPECT_TRUE((*Result)[2].Value().IsNull()); // not the 0 a cleared parameter holds

  // The list is rebuilt, not appended to.
  EXPECT_EQ(Provider.PSGetParams()->Count(), 5);
}

TEST_F(ProviderParams, SetParamsReplacesParamsAndClosesTheDataset) {
  Query->GetSQL()->SetText("select * from PEOPLE where ID = :ID");
  Query->ParamByName("ID")->SetAsInteger(1);
  Query->Open();

  TParams Empty;
  Provider.PSSetParams(&Empty);
  EXPECT_FALSE(Query->Active());
  ASSERT_EQ(Query->GetParamsCount(), 1);
  EXPECT_EQ(Query->ParamByName("ID")->GetAsInteger(), 1);
  Query->Open();
  Provider.PSSetParams(nullptr);
  EXPECT_FALSE(Query->Active());
  EXPECT_EQ(Query->GetParamsCount(), 1);

  TParams Given;
  Given.CreateParam(ftInteger, "ID", ptInput).SetValue(Variant(2));
  Given.CreateParam(ftString, "EXTRA", ptOutput).SetValue(Variant("x"));
  Provider.PSSetParams(&Given);
  ASSERT_EQ(Query->GetParamsCount(), 2);
  EXPECT_EQ(Query->ParamByName("ID")->GetAsInteger(), 2);
  EXPECT_EQ(Query->ParamByName("EXTRA")->GetParamType(), nptOutput);
}

// ---- Update errors, reset and the SQL answers ----------------------------------------

TEST_F(ProviderFixture, UpdateErrorsCarryTheDriversCode) {
  const EUpdateError Prev("earlier", "", 3, 0, nullptr);
  const std::exception_ptr Dataset =
      std::make_exception_ptr(EZantrelDatasetError("key violated", -803));
  std::unique_ptr<EUpdateError> E = Provider.PSGetUpdateException(Dataset, &Prev);
  ASSERT_NE(E, nullptr);
  EXPECT_STREQ(E->what(), "key violated");
  EXPECT_EQ(E->Context(), "");
  EXPECT_EQ(E->ErrorCode(), -803);
  EXPECT_EQ(E->PreviousError(), 3);
  EXPECT_EQ(E->OriginalException(), Dataset);

  // Other errors take the framework's way, whose code is 1.
  E = Provider.PSGetUpdateException(std::make_exception_ptr(EDatabaseError("plain")), nullptr);
  EXPECT_STREQ(E->what(), "plain");
  EXPECT_EQ(E->ErrorCode(), 1);
  EXPECT_EQ(E->PreviousError(), 0);
}

TEST_F(ProviderFixture, ResetReReadsAnOpenResult) {
  Provider.PSReset();
  EXPECT_EQ(CountCalls("InternalOpen"), 0);

  Query->Open();
  Query->Next();
  SQL().SetResult(PeopleColumns(), {{1, "Ann"}, {2, "Bea"}, {3, "Cyd"}});
  Log().Clear();
  Provider.PSReset();
  EXPECT_EQ(CountCalls("InternalOpen"), 1);
  EXPECT_EQ(Query->RecNo(), 2);
  EXPECT_EQ(Query->FieldByName("NAME")->AsString(), "Bea");
  // Scrolling goes on from the re-read row.
  Query->Next();
  EXPECT_EQ(Query->FieldByName("NAME")->AsString(), "Cyd");
  Query->Prior();
  Query->Prior();
  EXPECT_EQ(Query->FieldByName("NAME")->AsString(), "Ann");
}

TEST_F(ProviderFixture, CommandTextAndTableNameComeFromTheStatement) {
  Provider.PSSetCommandText("select p.NAME from dba.PEOPLE p where p.ID = :ID");
  EXPECT_EQ(Provider.PSGetTableName(), "PEOPLE");
  EXPECT_EQ(Query->GetParamsCount(), 1);
  Provider.PSSetCommandText("");
  EXPECT_EQ(Query->GetSQL()->GetText(), "select p.NAME from dba.PEOPLE p where p.ID = :ID\r\n");
  EXPECT_TRUE(Provider.PSIsSQLBased());
}

TEST_F(ProviderFixture, DefaultOrderFollowsTheOrderByIndex) {
  SQL().SetResult({{"A", ntInteger}, {"B", ntInteger}, {"C", ntInteger}}, {{1, 2, 3}});
  Query->GetSQL()->SetText("select * from T");
  Query->Open();
  EXPECT_EQ(Provider.PSGetDefaultOrder(), nullptr);
  Query->Close();

  Query->GetSQL()->SetText("select * from T order by A, B desc, C");
  Query->Open();
  const std::unique_ptr<TIndexDef> Order = Provider.PSGetDefaultOrder();
  ASSERT_NE(Order, nullptr);
  EXPECT_EQ(Order->Collection(), nullptr);
  EXPECT_EQ(Order->Fields, "A;B;C");
  EXPECT_EQ(Order->DescFields, "B");
}

// ---- ExecSQL ---------------------------------------------------------------------------------

using QueryExecSQL = ProviderFixture;

TEST_F(QueryExecSQL, RunsTheStatementAndLetsTheSessionGo) {
  Query->GetSQL()->SetText("update PEOPLE set NAME = :N where ID = :ID");
  Query->ParamByName("N")->SetAsString("Bo");
  Query->ParamByName("ID")->SetAsInteger(2);
  Query->ExecSQL();
  EXPECT_EQ(CountCalls("InternalExecute"), 1);
  EXPECT_EQ(CountCalls("InternalPrepare"), 1);
  EXPECT_EQ(Query->GetRowsAffected(), 1);
  EXPECT_FALSE(Query->GetPrepared());
  EXPECT_EQ(Query->GetDBFlags(), 0);
  EXPECT_FALSE(Session.GetConnected());

  // Prepared through Prepare, it stays prepared and runs without preparing.
  Query->Prepare();
  Query->ExecSQL();
  Query->ExecSQL();
  EXPECT_EQ(CountCalls("InternalPrepare"), 2);
  EXPECT_EQ(CountCalls("InternalExecute"), 3);
  EXPECT_TRUE(Query->GetPrepared());
  EXPECT_EQ(Query->GetDBFlags(), 1u << dfPrepared);
  Query->UnPrepare();

  // The provider runs a command through ExecSQL.
  Provider.PSExecute();
  EXPECT_EQ(CountCalls("InternalExecute"), 4);
}

TEST_F(QueryExecSQL, FailuresReleaseTheHold) {
  Query->Open();
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Query->ExecSQL(); }),
            "Cannot perform this operation on an open dataset");
  Query->Close();

  Query->GetSQL()->Clear();
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Query->ExecSQL(); }), "No SQL statement available");
  EXPECT_EQ(Query->GetDBFlags(), 0);
  EXPECT_FALSE(Session.GetConnected());

  Query->GetSQL()->SetText("delete from PEOPLE");
  Log().FailAt("InternalExecute", rfReturnFalse, true, -11, "locked");
  const std::string Message = MessageOf<EZantrelDatasetError>([&] { Query->ExecSQL(); });
  EXPECT_EQ(Message, "locked");
  EXPECT_EQ(Query->GetDBFlags(), 0);
  EXPECT_FALSE(Query->GetPrepared());
  EXPECT_FALSE(Session.GetConnected());
}

// ---- Form files ---------------------------------------------------------------------------

TEST(QueryForm, StatementParametersAndOptionsTravelThroughFormFiles) {
  RegisterZantrelDatasetClasses();
  RegisterClass<TRecordingSession, TComponent>();
  RegisterClass<TDataSource, TComponent>();
  RegisterClass<TRecordingDataset, TZantrelCustomDataset>();

  TDataModule Module(nullptr);
  Module.SetName("Module1");
  auto* Session = new TRecordingSession(&Module);
  Session->SetName("Session1");
  auto* Source = new TDataSource(&Module);
  Source->SetName("Source1");
  auto* Query = new TRecordingDataset(&Module, Session);
  Query->SetName("Query1");
  Query->GetSQL()->SetText("select * from PEOPLE\r\nwhere ID = :ID and NAME = :NAME");
  Query->ParamByName("ID")->SetAsInteger(7);
  Query->ParamByName("NAME")->SetAsString("Ann");
  Query->SetReadOnly(false);
  Query->SetParamCheck(false);
  Query->SetDataSource(Source);

  const std::string Form = ComponentToString(&Module);
  for (const char* Line : {"Params.Data = {", "Session = Session1", "DataSource = Source1",
                           "ParamCheck = False", "ReadOnly = False", "SQL.Strings = (",
                           "'select * from PEOPLE'", "'where ID = :ID and NAME = :NAME')"})
    EXPECT_NE(Form.find(Line), std::string::npos) << Line << "\n" << Form;
  // Properties at their defaults stay out of the file.
  for (const char* Name : {"Active", "AutoCalcFields", "SyncInserts", "UniDirectional"})
    EXPECT_EQ(Form.find(Name), std::string::npos) << Name;

  std::unique_ptr<TComponent> Read(StringToComponent(Form));
  auto* Copy = dynamic_cast<TRecordingDataset*>(Read->FindComponent("Query1"));
  ASSERT_NE(Copy, nullptr);
  EXPECT_EQ(Copy->GetSQL()->GetText(), Query->GetSQL()->GetText());
  // The parameters come from the file, with their values, not from the text.
  EXPECT_TRUE(Copy->GetParams()->IsEqual(Query->GetParams()));
  EXPECT_EQ(Copy->ParamByName("NAME")->GetAsString(), "Ann");
  EXPECT_EQ(Copy->GetSession(), Read->FindComponent("Session1"));
  EXPECT_EQ(Copy->GetDataSource(), Read->FindComponent("Source1"));
  EXPECT_FALSE(Copy->GetReadOnly());
  EXPECT_FALSE(Copy->GetParamCheck());
  EXPECT_FALSE(Copy->IsUniDirectional());

  Query->SetUniDirectional(true);
  const std::string Forward = ComponentToString(&Module);
  EXPECT_NE(Forward.find("UniDirectional = True"), std::string::npos) << Forward;
  std::unique_ptr<TComponent> ReadForward(StringToComponent(Forward));
  EXPECT_TRUE(dynamic_cast<TRecordingDataset*>(ReadForward->FindComponent("Query1"))
                  ->IsUniDirectional());
}

} // namespace
} // namespace ztl::test
