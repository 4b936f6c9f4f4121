// The PostgreSQL driver with more than one server: libpq choosing the
// primary or the hot standby from a list, what the session tells of the
// server it reached, reads and refused writes on the standby, failover by
// promotion, a pooler in front of both, and statements whose server-side
// names vanish.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "drivers/common/ZtlDriverConsts.h"
#include "drivers/postgres/PgRegister.h"
#include "drivers/postgres/ZtlPostgres.h"
#include "framework/classes/TypInfo.h"
#include "tests/support/DriverErrors.h"
#include "tests/support/PgReplicaSet.h"
#include "tests/support/TestHelpers.h"

namespace ztl::testing {
namespace {

using test::ErrorCodeOf;
using test::MessageOf;

// The program's primary, standby and pooler, for the tests that leave the
// servers as they found them.
PgReplicaSet& SharedSet() {
  static PgReplicaSet Set(true);
  return Set;
}

// A session aimed at Hosts on Ports with further libpq Options.
std::unique_ptr<TZantrelPgSession> NewSession(const std::string& Hosts, const std::string& Ports,
                                              const std::string& Options = "") {
  auto S = std::make_unique<TZantrelPgSession>();
  S->SetServerName(Hosts);
  S->SetUserName(PgReplicaSet::User);
  S->SetDatabaseName(PgReplicaSet::Database);
  S->SetConnectOptions("port=" + Ports + " " + Options);
  return S;
}

// The first value of the first row of SQL, as text, or "error: ...".
std::string Value(TZantrelPgSession& S, const std::string& SQL) {
  TZantrelPgSQL Cursor;
  Cursor.SetSession(&S);
  if (!Cursor.OpenRead(SQL, {}))
    return "error: " + S.GetLastError();
  return Cursor.GetFieldValue(Variant(0)).AsString();
}

std::unique_ptr<TZantrelPgQuery> NewQuery(TZantrelPgSession& S, const std::string& SQL) {
  auto Q = std::make_unique<TZantrelPgQuery>();
  Q->SetSession(&S);
  Q->GetSQL()->SetText(SQL);
  Q->SetReadOnly(false);
  return Q;
}

class PgReplication : public ::testing::Test {
protected:
  void SetUp() override {
    if (!SharedSet().Available())
      GTEST_SKIP() << "replication tests skipped: " << SharedSet().Reason();
    static bool Made = false;
    if (!Made) {
      auto P = Primary();
      ASSERT_TRUE(P->Execute(
          "DROP TABLE IF EXISTS stock; CREATE TABLE stock (id int PRIMARY KEY, qty int, "
          "pic bytea); INSERT INTO stock SELECT g, g * 10 FROM generate_series(1, 20) g; "
          "CREATE OR REPLACE FUNCTION stock_total() RETURNS bigint STABLE LANGUAGE sql "
          "AS $$ SELECT sum(qty) FROM stock $$"))
          << P->GetLastError();
      Made = true;
    }
  }

  static std::unique_ptr<TZantrelPgSession> Primary() {
    auto S = NewSession(SharedSet().PrimaryDir(), std::to_string(SharedSet().PrimaryPort()));
    S->Open();
    return S;
  }
  static std::unique_ptr<TZantrelPgSession> Standby() {
    auto S = NewSession(SharedSet().Hosts(), SharedSet().Ports(), "target_session_attrs=standby");
    S->Open();
    return S;
  }
};

TEST_F(PgReplication, TargetSessionAttrsChooseTheServerAndTheSessionTellsWhich) {
  const PgReplicaSet& Set = SharedSet();
  struct Case {
    bool StandbyFirst;  // the list names the standby first
    const char* Attrs;  // target_session_attrs
    std::int32_t Port;  // the Port property, overridden by the list of ports
    bool ReachStandby;
  };
  const Case Cases[] = {
      {false, "read-write", 0, false},   {true, "read-write", 0, false},
      {true, "primary", 0, false},       {false, "read-only", 0, true},
      {false, "standby", 1, true},       {false, "prefer-standby", 0, true},
      {true, "any", 0, true},            {false, "any", 0, false},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::string(C.Attrs) + (C.StandbyFirst ? ", standby first" : ""));
    auto S = NewSession(Set.Hosts(C.StandbyFirst), Set.Ports(C.StandbyFirst),
                        std::string("target_session_attrs=") + C.Attrs);
    S->SetPort(C.Port);
    EXPECT_EQ(S->GetConnectedHost(), "");
    EXPECT_FALSE(S->GetInRecovery());
    ASSERT_EQ(MessageOf([&] { S->Open(); }), "");
    EXPECT_EQ(S->GetConnectedHost(), C.ReachStandby ? Set.StandbyDir() : Set.PrimaryDir());
    EXPECT_EQ(S->GetConnectedPort(), C.ReachStandby ? Set.StandbyPort() : Set.PrimaryPort());
    EXPECT_EQ(S->GetInRecovery(), C.ReachStandby);
    EXPECT_EQ(Value(*S, "SELECT CASE WHEN pg_is_in_recovery() THEN 'standby' ELSE 'primary' END"),
              C.ReachStandby ? "standby" : "primary");
    S->Close();
    EXPECT_EQ(S->GetConnectedPort(), 0);
  }
  // A kind of server the list lacks is libpq's connection failure.
  auto None = NewSession(Set.PrimaryDir(), std::to_string(Set.PrimaryPort()),
                         "target_session_attrs=standby");
  EXPECT_EQ(ErrorCodeOf([&] { None->Open(); }), PgErrorCode("08006"));
  EXPECT_FALSE(None->GetConnected());
}

TEST_F(PgReplication, WhatTheServerReachedIsPublishedButNeverStored) {
  RegisterZantrelPgClasses();
  auto S = Standby();
  for (const char* Name : {"ConnectedHost", "ConnectedPort", "InRecovery"}) {
    const TPropInfo* Info = GetPropInfo(*S, Name);
    ASSERT_NE(Info, nullptr) << Name;
    EXPECT_TRUE(Info->IsReadOnly()) << Name;
    EXPECT_FALSE(Info->IsStored(*S)) << Name;
  }
  EXPECT_EQ(GetPropValueText(*S, *GetPropInfo(*S, "InRecovery")), "True");
  EXPECT_EQ(GetPropValueText(*S, *GetPropInfo(*S, "ConnectedHost")), SharedSet().StandbyDir());
}

TEST_F(PgReplication, ReadsOnTheStandbyWork) {
  auto S = Standby();
  ASSERT_TRUE(S->GetInRecovery());
  auto Q = NewQuery(*S, "SELECT id, qty FROM stock WHERE id <= :n ORDER BY id");
  Q->ParamByName("n")->SetAsInteger(5);
  Q->Open();
  std::int64_t Sum = 0;
  for (; !Q->Eof(); Q->Next())
    Sum += Q->FieldByName("qty")->GetAsInteger();
  EXPECT_EQ(Sum, 150);
  EXPECT_EQ(Value(*S, "SELECT stock_total()"), "2100");
  EXPECT_EQ(Value(*S, "SELECT count(*) FROM sys.systable WHERE table_name = 'stock'"), "1");
  EXPECT_EQ(Value(*S, "SELECT count(*) FROM sys.syscolumn c JOIN sys.systable t "
                      "ON t.table_id = c.table_id WHERE t.table_name = 'stock'"),
            "3");
  TZantrelPgStoredProc Proc;
  Proc.SetSession(S.get());
  Proc.SetProcName("stock_total");
  Proc.CopyParams(Proc.GetParams());
  Proc.ExecProc();
  EXPECT_EQ(Proc.ParamByName("result")->GetAsInteger(), 2100);
}

// Each way of writing meets the standby's refusal with its SQLSTATE, and the
// session stays connected; nothing changes on the primary.
TEST_F(PgReplication, WritesOnTheStandbyFailWithTheServersError) {
  auto S = Standby();
  const std::int32_t ReadOnly = PgErrorCode("25006");
  EXPECT_FALSE(S->Execute("UPDATE stock SET qty = 0"));
  EXPECT_EQ(S->GetLastErrorCode(), ReadOnly);
  EXPECT_NE(S->GetLastError().find("read-only transaction"), std::string::npos)
      << S->GetLastError();
  EXPECT_FALSE(S->Execute("CREATE TABLE nowhere (n int)"));
  EXPECT_EQ(S->GetLastErrorCode(), ReadOnly);
  EXPECT_EQ(S->GetLastSQLState(), "25006");

  auto Q = NewQuery(*S, "SELECT id, qty FROM stock ORDER BY id");
  Q->Open();
  EXPECT_EQ(ErrorCodeOf([&] {
              Q->Edit();
              Q->FieldByName("qty")->SetAsInteger(-1);
              Q->Post();
            }),
            ReadOnly);
  Q->Cancel();
  EXPECT_EQ(ErrorCodeOf([&] { Q->Delete(); }), ReadOnly);
  auto Ins = NewQuery(*S, "INSERT INTO stock VALUES (:id, 1)");
  Ins->ParamByName("id")->SetAsInteger(99);
  EXPECT_EQ(ErrorCodeOf([&] { Ins->ExecSQL(); }), ReadOnly);
  S->StartTransaction();
  EXPECT_FALSE(S->Execute("DELETE FROM stock"));
  EXPECT_EQ(S->GetLastErrorCode(), ReadOnly);
  S->Rollback();

  EXPECT_TRUE(S->GetConnected());
  auto P = Primary();
  EXPECT_EQ(Value(*P, "SELECT stock_total()"), "2100");
  EXPECT_EQ(Value(*P, "SELECT count(*) FROM stock"), "20");
}

// Statements prepared under a name that someone dropped run on; the session
// then prepares nothing under a name any more.
TEST_F(PgReplication, StatementsWhoseNamesVanishFallBackToTheUnnamedStatement) {
  auto S = Primary();
  TZantrelPgSQL Reader, Writer;
  Reader.SetSession(S.get());
  Writer.SetSession(S.get());
  const std::string Read = "SELECT qty FROM stock WHERE id = :id";
  const std::string Write = "UPDATE stock SET qty = qty + :d WHERE id = 1";
  ASSERT_TRUE(Reader.OpenRead(Read, {3})) << S->GetLastError();
  ASSERT_TRUE(Writer.Execute(Write, {0})) << S->GetLastError();
  EXPECT_FALSE(S->GetUnnamedStatements());

  ASSERT_TRUE(S->Execute("DEALLOCATE ALL"));
  ASSERT_TRUE(Reader.OpenRead(Read, {4})) << S->GetLastError();
  EXPECT_EQ(Reader.GetFieldValue(Variant("qty")).AsInteger(), 40);
  EXPECT_TRUE(S->GetUnnamedStatements());
  ASSERT_TRUE(Writer.Execute(Write, {5})) << S->GetLastError();
  ASSERT_TRUE(Writer.Execute(Write, {-5})) << S->GetLastError();
  EXPECT_EQ(Writer.GetRowsProcessed(), 1);

  // From now on nothing depends on names: dropping them again harms nothing,
  // and a reopen of the same shape still skips the prepare.
  TZantrelPgSQL Later;
  Later.SetSession(S.get());
  ASSERT_TRUE(Later.OpenRead("SELECT qty FROM stock WHERE id > :id ORDER BY id", {18}));
  ASSERT_TRUE(S->Execute("DISCARD ALL"));
  S->ResetStatistics();
  ASSERT_TRUE(Later.OpenRead("SELECT qty FROM stock WHERE id > :id ORDER BY id", {19}));
  EXPECT_EQ(Later.GetFieldValue(Variant("qty")).AsInteger(), 200);
  EXPECT_EQ(S->GetStatistics().Prepares, 0);
  auto Q = NewQuery(*S, "SELECT id, qty FROM stock ORDER BY id");
  Q->Open();
  for (const int Qty : {11, 10}) {
    Q->Edit();
    Q->FieldByName("qty")->SetAsInteger(Qty);
    Q->Post();
  }
  EXPECT_EQ(Value(*S, "SELECT stock_total()"), "2100");
}

// Inside a transaction the lost name's error has aborted the transaction on
// the server, so it is reported; the session falls back all the same.
TEST_F(PgReplication, AVanishedNameInsideATransactionFailsOnceAndIsNotHidden) {
  auto S = Primary();
  TZantrelPgSQL Reader;
  Reader.SetSession(S.get());
  const std::string Read = "SELECT qty FROM stock WHERE id = :id";
  ASSERT_TRUE(Reader.OpenRead(Read, {2}));
  S->StartTransaction();
  ASSERT_TRUE(S->Execute("DEALLOCATE ALL"));
  EXPECT_FALSE(Reader.OpenRead(Read, {3}));
  EXPECT_EQ(S->GetLastErrorCode(), PgErrorCode("26000"));
  S->Rollback();
  ASSERT_TRUE(Reader.OpenRead(Read, {3})) << S->GetLastError();
  EXPECT_EQ(Reader.GetFieldValue(Variant("qty")).AsInteger(), 30);
  EXPECT_TRUE(S->GetUnnamedStatements());
}

class PgPooled : public PgReplication {
protected:
  void SetUp() override {
    PgReplication::SetUp();
    if (IsSkipped())
      return;
    if (!SharedSet().PoolerAvailable())
      GTEST_SKIP() << "pooler tests skipped: " << SharedSet().PoolerReason();
    Session = NewSession(SharedSet().PoolerDir(), std::to_string(SharedSet().PoolerPort()));
    Session->Open();
  }
  std::unique_ptr<TZantrelPgSession> Session;
};

TEST_F(PgPooled, PreparedStatementsAreReusedThroughThePooler) {
  TZantrelPgSQL Cursor;
  Cursor.SetSession(Session.get());
  const std::string SQL = "SELECT qty FROM stock WHERE id = :id";
  ASSERT_TRUE(Cursor.OpenRead(SQL, {1})) << Session->GetLastError();
  Session->ResetStatistics();
  std::int64_t Sum = 0;
  for (int Id = 1; Id <= 20; ++Id) {
    ASSERT_TRUE(Cursor.OpenRead(SQL, {Id})) << Session->GetLastError();
    Sum += Cursor.GetFieldValue(Variant("qty")).AsInteger();
  }
  EXPECT_EQ(Sum, 2100);
  EXPECT_EQ(Session->GetStatistics().Prepares, 0);
  EXPECT_EQ(Session->GetStatistics().Opens, 20);
  EXPECT_EQ(Value(*Session, "SELECT count(*) FROM sys.systable WHERE table_name = 'stock'"), "1");
  // pgpool-II keeps its own record of the statements; dropped behind its
  // back, they make it end the connection rather than answer 26000. Either
  // way the session must not pretend: it falls back, or it reports the
  // loss and connects again.
  ASSERT_TRUE(Session->Execute("DEALLOCATE ALL"));
  if (!Cursor.OpenRead(SQL, {7})) {
    EXPECT_FALSE(Session->GetConnected()) << Session->GetLastError();
    Session->Open();
    ASSERT_TRUE(Cursor.OpenRead(SQL, {7})) << Session->GetLastError();
  }
  EXPECT_EQ(Cursor.GetFieldValue(Variant("qty")).AsInteger(), 70);
}

// Transfers between rows, in transactions and one by one, through datasets
// over the pooler: the total never moves, whichever server reads it.
TEST_F(PgPooled, EditsAndTransactionsKeepTheTotals) {
  auto Q = NewQuery(*Session, "SELECT id, qty FROM stock ORDER BY id");
  Q->Open();
  for (int Round = 0; Round < 5; ++Round) {
    Session->StartTransaction();
    Q->First();
    Q->MoveBy(Round);
    Q->Edit();
    Q->FieldByName("qty")->SetAsInteger(Q->FieldByName("qty")->GetAsInteger() - 3);
    Q->Post();
    Q->Next();
    Q->Edit();
    Q->FieldByName("qty")->SetAsInteger(Q->FieldByName("qty")->GetAsInteger() + 3);
    Q->Post();
    if (Round % 2 == 0) {
      Session->Commit();
    } else {
      // The rows shown are what was posted; after a rollback they are read
      // again.
      Session->Rollback();
      Q->Close();
      Q->Open();
    }
  }
  Q->Last();
  Q->Edit();
  Q->FieldByName("qty")->SetAsInteger(Q->FieldByName("qty")->GetAsInteger() + 1);
  Q->Post();
  Q->Edit();
  Q->FieldByName("qty")->SetAsInteger(Q->FieldByName("qty")->GetAsInteger() - 1);
  Q->Post();
  Q->Close();
  EXPECT_EQ(Value(*Session, "SELECT stock_total()"), "2100");
  auto P = Primary();
  EXPECT_EQ(Value(*P, "SELECT stock_total()"), "2100");
  auto S = Standby();
  EXPECT_EQ(Value(*S, "SELECT sum(qty) FROM stock"), "2100");
}

TEST_F(PgPooled, ABlobTravelsBothWays) {
  std::string Bytes;
  for (int I = 0; I < 5000; ++I)
    Bytes += static_cast<char>(I * 7 % 256);
  auto Q = NewQuery(*Session, "SELECT id, pic FROM stock WHERE id = 20");
  Q->Open();
  Q->Edit();
  Q->FieldByName("pic")->SetAsString(Bytes);
  Q->Post();
  Q->Close();
  Q->Open();
  EXPECT_EQ(Q->FieldByName("pic")->GetAsString(), Bytes);
  auto S = Standby();
  EXPECT_EQ(Value(*S, "SELECT length(pic) FROM stock WHERE id = 20"), "5000");
}

// A failover: the primary goes away, the standby is promoted, and the same
// list of servers reaches the new primary. The set is the test's own.
class PgFailover : public ::testing::Test {
protected:
  void SetUp() override {
    Set = std::make_unique<PgReplicaSet>();
    if (!Set->Available())
      GTEST_SKIP() << "failover tests skipped: " << Set->Reason();
    Session = NewSession(Set->Hosts(), Set->Ports(), "target_session_attrs=read-write");
    Session->Open();
    ASSERT_TRUE(Session->Execute(
        "CREATE TABLE acct (id int PRIMARY KEY, bal int); "
        "INSERT INTO acct SELECT g, 100 FROM generate_series(1, 3) g; "
        // A commit that takes its time, so that the server can go away
        // while it runs: a deferred check sleeps at commit for row 3.
        "CREATE FUNCTION acct_slow() RETURNS trigger LANGUAGE plpgsql AS $$ "
        "BEGIN IF NEW.id = 3 THEN PERFORM pg_sleep(10); END IF; RETURN NULL; END $$; "
        "CREATE CONSTRAINT TRIGGER acct_at_commit AFTER UPDATE ON acct "
        "DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION acct_slow()"))
        << Session->GetLastError();
  }

  // Sets the balance of the row Id of Q and posts it.
  static void Post(TZantrelPgQuery& Q, int Id, int Balance) {
    Q.Locate("id", Variant(Id), {});
    Q.Edit();
    Q.FieldByName("bal")->SetAsInteger(Balance);
    Q.Post();
  }

  // Stops the primary at once as soon as a commit sleeps in the deferred
  // check, from another thread, while this one waits for the commit.
  std::future<bool> CrashDuringCommit() {
    return std::async(std::launch::async, [this] {
      return Set->WaitOnPrimary("wait_event = 'PgSleep'") && Set->StopPrimary(true);
    });
  }

  std::unique_ptr<PgReplicaSet> Set;
  std::unique_ptr<TZantrelPgSession> Session;
};

TEST_F(PgFailover, ThePromotedStandbyIsReachedThroughTheSameList) {
  ASSERT_EQ(Session->GetConnectedHost(), Set->PrimaryDir());
  auto Q = NewQuery(*Session, "SELECT id, bal FROM acct ORDER BY id");
  Q->Open();
  Post(*Q, 1, 150); // committed before the loss

  // Row 3's commit is under way when the primary dies at once.
  auto Crash = CrashDuringCommit();
  std::string Message;
  const std::int32_t Code = ErrorCodeOf([&] {
    try {
      Post(*Q, 3, 300);
    } catch (const Exception& E) {
      Message = E.what();
      throw;
    }
  });
  ASSERT_TRUE(Crash.get());
  EXPECT_EQ(Code, PgErrorCode("08007")) << Message;
  EXPECT_NE(Message.find("outcome of the transaction is unknown"), std::string::npos) << Message;
  Q->Cancel();
  EXPECT_FALSE(Session->GetConnected());
  EXPECT_EQ(Session->GetConnectedHost(), "");

  // Until the promotion no server takes writes.
  EXPECT_EQ(ErrorCodeOf([&] { Session->Open(); }), PgErrorCode("08006"));
  ASSERT_TRUE(Set->Promote());
  ASSERT_EQ(MessageOf([&] { Session->Open(); }), "");
  EXPECT_EQ(Session->GetConnectedHost(), Set->StandbyDir());
  EXPECT_FALSE(Session->GetInRecovery());

  // The dataset closed by the loss opens again: what was committed is
  // there, the commit cut off is not, and writing goes on.
  Q->Close();
  Q->Open();
  EXPECT_EQ(Q->FieldByName("bal")->GetAsInteger(), 150);
  Q->Locate("id", Variant(3), {});
  EXPECT_EQ(Q->FieldByName("bal")->GetAsInteger(), 100);
  Post(*Q, 2, 50);
  EXPECT_EQ(Value(*Session, "SELECT sum(bal) FROM acct"), "300");
}

// The application's own COMMIT, cut off the same way: never reported done,
// and said to be of unknown outcome rather than failed.
TEST_F(PgFailover, ACommitWithoutAnAnswerIsOfUnknownOutcome) {
  Session->StartTransaction();
  ASSERT_TRUE(Session->Execute("UPDATE acct SET bal = bal - 50 WHERE id = 1; "
                               "UPDATE acct SET bal = bal + 50 WHERE id = 3"));
  auto Crash = CrashDuringCommit();
  const std::string Message = MessageOf([&] { Session->Commit(); });
  ASSERT_TRUE(Crash.get());
  EXPECT_NE(Message.find("outcome of the transaction is unknown"), std::string::npos) << Message;
  EXPECT_EQ(Session->GetLastErrorCode(), PgErrorCode("08007"));
  EXPECT_EQ(Session->GetLastSQLState(), "08007");
  EXPECT_FALSE(Session->GetConnected());
  EXPECT_FALSE(Session->GetInTransaction());
  ASSERT_TRUE(Set->Promote());
  Session->Open();
  EXPECT_EQ(Value(*Session, "SELECT string_agg(bal::text, ',' ORDER BY id) FROM acct"),
            "100,100,100");
}

// A standby session sees the promotion at its next statement: the server
// reports the change, and the session says so without asking.
TEST_F(PgFailover, InRecoveryFollowsAPromotion) {
  auto S = NewSession(Set->Hosts(), Set->Ports(), "target_session_attrs=standby");
  S->Open();
  ASSERT_TRUE(S->GetInRecovery());
  ASSERT_TRUE(Set->StopPrimary(false));
  ASSERT_TRUE(Set->Promote());
  for (int Try = 0; Try < 100 && S->GetInRecovery(); ++Try) {
    ASSERT_TRUE(S->Execute("SELECT 1")) << S->GetLastError();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_FALSE(S->GetInRecovery());
  EXPECT_TRUE(S->Execute("INSERT INTO acct VALUES (4, 0)")) << S->GetLastError();
}

} // namespace
} // namespace ztl::testing
