// The PostgreSQL driver when the server ends the connection (before a fetch,
// with a result held, inside a transaction, during a commit) and when the
// server refuses work (statement timeout, serialization failure): a clear
// error every time, never a success for work that was not done (a COMMIT the
// server turned into a rollback included), a session that knows it lost its
// connection, a new Open that connects again, and statements let go inside a
// transaction that never abort it.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "core/ZtlErrors.h"
#include "drivers/common/ZtlDriverConsts.h"
#include "tests/drivers/postgres/PgTestSupport.h"
#include "tests/support/DriverErrors.h"
#include "tests/support/TestHelpers.h"

namespace ztl::testing {
namespace {

using test::MessageOf;

using test::ErrorCodeOf;
using test::SQLStateOf;

class PgFaults : public PgTest {
protected:
  void SetUp() override {
    PgTest::SetUp();
    if (IsSkipped())
      return;
    Other = std::make_unique<TZantrelPgSession>();
    AimAtCluster(*Other);
    Other->Open();
    Exec("DROP TABLE IF EXISTS faults; CREATE TABLE faults (id int primary key, name "
         "varchar(20)); INSERT INTO faults SELECT g, 'row ' || g FROM generate_series(1, 50) g");
  }

  std::unique_ptr<TZantrelPgQuery> Query(const std::string& SQL, bool Writable = true) {
    auto Q = std::make_unique<TZantrelPgQuery>();
    Q->SetSession(Session.get());
    Q->GetSQL()->SetText(SQL);
    Q->SetReadOnly(!Writable);
    return Q;
  }
  // A value read through the other session.
  std::string Stored(int Id) {
    TZantrelPgQuery Q;
    Q.SetSession(Other.get());
    Q.GetSQL()->SetText("SELECT name FROM faults WHERE id = " + std::to_string(Id));
    Q.Open();
    return Q.Eof() ? "(none)" : Q.FieldByName("name")->GetAsString();
  }
  // Has the server end the session's connection, the way an administrator
  // or a restarting server does, and waits until its backend is gone.
  void Terminate() {
    TZantrelPgQuery Pid;
    Pid.SetSession(Session.get());
    Pid.GetSQL()->SetText("SELECT pg_backend_pid() AS pid");
    Pid.Open();
    const std::string Backend = Pid.FieldByName("pid")->GetAsString();
    Pid.Close();
    ASSERT_TRUE(Other->Execute("SELECT pg_terminate_backend(" + Backend + ")"));
    for (int Wait = 0; Wait < 500; ++Wait) {
      TZantrelPgQuery Left;
      Left.SetSession(Other.get());
      Left.GetSQL()->SetText("SELECT count(*) AS n FROM pg_stat_activity WHERE pid = " + Backend);
      Left.Open();
      if (Left.FieldByName("n")->GetAsInteger() == 0)
        return;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    FAIL() << "the backend did not end";
  }
  // After a lost connection: the session says it is not connected, and a
  // new Open connects again and works.
  void ExpectReconnects() {
    EXPECT_FALSE(Session->GetConnected());
    EXPECT_FALSE(Session->GetInTransaction());
    EXPECT_EQ(MessageOf([&] { Session->Open(); }), "");
    EXPECT_TRUE(Session->Execute("SELECT 1")) << Session->GetLastError();
  }

  std::unique_ptr<TZantrelPgSession> Other; // the administrator's connection
};

TEST_F(PgFaults, ALostConnectionFailsTheNextStatementAndIsNoticed) {
  auto Q = Query("SELECT * FROM faults ORDER BY id", false);
  Terminate();
  EXPECT_LT(ErrorCodeOf([&] { Q->Open(); }), 0);
  EXPECT_FALSE(Q->GetActive());
  ExpectReconnects();
  Q->Open();
  Q->Last();
  EXPECT_EQ(Q->FieldByName("id")->GetAsInteger(), 50);
}

TEST_F(PgFaults, AResultHeldStaysReadableButTheNextRowOperationFails) {
  auto Q = Query("SELECT * FROM faults ORDER BY id");
  Q->Open();
  Q->MoveBy(10);
  Terminate();
  // The rows came with the result; reaching the server is what fails.
  Q->Last();
  EXPECT_EQ(Q->FieldByName("id")->GetAsInteger(), 50);
  EXPECT_LT(ErrorCodeOf([&] {
              Q->Edit();
              Q->FieldByName("name")->SetAsString("changed");
              Q->Post();
            }),
            0);
  EXPECT_EQ(Stored(50), "row 50");
  Q->Cancel();
  Q->Close();
  ExpectReconnects();
}

TEST_F(PgFaults, ATransactionCutOffIsNeverReportedCommitted) {
  auto Q = Query("SELECT * FROM faults ORDER BY id");
  Q->Open();
  Session->StartTransaction();
  Q->Edit();
  Q->FieldByName("name")->SetAsString("in the transaction");
  Q->Post();
  Terminate();
  EXPECT_LT(ErrorCodeOf([&] { Session->Commit(); }), 0);
  EXPECT_EQ(Stored(1), "row 1");
  Q->Close();
  ExpectReconnects();
}

// The server ends the connection while it commits: a deferred check runs at
// commit time and the backend is terminated there.
TEST_F(PgFaults, AConnectionLostDuringCommitIsAFailedCommit) {
  Exec("CREATE OR REPLACE FUNCTION faults_end() RETURNS trigger LANGUAGE plpgsql AS $$ "
       "BEGIN PERFORM pg_terminate_backend(pg_backend_pid()); PERFORM pg_sleep(5); "
       "RETURN NULL; END $$;"
       "CREATE CONSTRAINT TRIGGER faults_at_commit AFTER UPDATE ON faults "
       "DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION faults_end()");
  auto Q = Query("SELECT * FROM faults ORDER BY id");
  Q->Open();
  Session->StartTransaction();
  Q->Edit();
  Q->FieldByName("name")->SetAsString("never saved");
  Q->Post();
  EXPECT_LT(ErrorCodeOf([&] { Session->Commit(); }), 0);
  EXPECT_EQ(Stored(1), "row 1");
  Q->Close();
  ExpectReconnects();
  ASSERT_TRUE(Other->Execute("DROP TRIGGER faults_at_commit ON faults"));
}

// Refusals of the server carry its SQLSTATE in the code, and leave the
// session connected.
TEST_F(PgFaults, TimeoutsAndSerializationFailuresCarryTheirSqlState) {
  Exec("SET statement_timeout = 100");
  auto Slow = Query("SELECT pg_sleep(5) AS s", false);
  EXPECT_EQ(ErrorCodeOf([&] { Slow->Open(); }), PgErrorCode("57014"));
  EXPECT_EQ(SQLStateOf([&] { Slow->Open(); }), "57014");
  EXPECT_NE(Session->GetLastError().find("statement timeout"), std::string::npos)
      << Session->GetLastError();
  Exec("SET statement_timeout = 0");
  EXPECT_TRUE(Session->GetConnected());

  // Two writers of one row under repeatable read: the later one fails.
  Session->StartTransaction();
  Exec("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ");
  auto Q = Query("SELECT * FROM faults ORDER BY id");
  Q->Open();
  ASSERT_TRUE(Other->Execute("UPDATE faults SET name = 'theirs' WHERE id = 2"));
  Q->MoveBy(1);
  const std::string State = SQLStateOf([&] {
    Q->Edit();
    Q->FieldByName("name")->SetAsString("mine");
    Q->Post();
  });
  EXPECT_EQ(State, "40001") << Session->GetLastError();
  EXPECT_EQ(Session->GetLastErrorCode(), PgErrorCode("40001"));
  Q->Cancel();
  Session->Rollback();
  EXPECT_EQ(Stored(2), "theirs");
  EXPECT_TRUE(Session->GetConnected());
}

class PgAbortedWork : public PgTest {
protected:
  void SetUp() override {
    PgTest::SetUp();
    if (IsSkipped())
      return;
    Exec("DROP TABLE IF EXISTS aborted; CREATE TABLE aborted (id int primary key)");
  }
  int Stored() {
    TZantrelPgSQL Count;
    Count.SetSession(Session.get());
    EXPECT_TRUE(Count.OpenRead("SELECT count(*) AS n FROM aborted")) << Session->GetLastError();
    return Count.GetFieldValue(Variant("n")).AsInteger();
  }
  // Statements of this connection whose text holds Text (given as a value,
  // so that the question does not count itself).
  int HeldOnServer(const std::string& Text) {
    TZantrelPgSQL Count;
    Count.SetSession(Session.get());
    EXPECT_TRUE(Count.OpenRead("SELECT count(*) AS n FROM pg_prepared_statements WHERE "
                               "strpos(statement, :t) > 0",
                               {Text}));
    return Count.GetFieldValue(Variant("n")).AsInteger();
  }
};

// A cursor that lets go of its statement inside the application's
// transaction, after the name was dropped behind its back, must not take the
// transaction down with it.
TEST_F(PgAbortedWork, AStatementLetGoInsideATransactionNeverAbortsIt) {
  for (const bool Implicit : {false, true}) {
    SCOPED_TRACE(Implicit ? "AutoCommit off" : "user transaction");
    Exec("DELETE FROM aborted");
    TZantrelPgSQL Reader;
    Reader.SetSession(Session.get());
    Reader.OpenRead("SELECT id FROM aborted WHERE id = :id", {1});
    ASSERT_TRUE(Reader.GetOpened()) << Session->GetLastError();
    if (Implicit)
      Session->SetAutoCommit(false);
    else
      Session->StartTransaction();
    Exec("INSERT INTO aborted VALUES (1)");
    Exec("DEALLOCATE ALL");
    Reader.Unprepare();
    Exec("INSERT INTO aborted VALUES (2)");
    EXPECT_EQ(SQLStateOf([&] { Session->Commit(); }), "none") << Session->GetLastError();
    Session->SetAutoCommit(true);
    EXPECT_EQ(Stored(), 2);
  }
}

// The DEALLOCATE held back inside a transaction still runs once it ends, so
// a long transaction does not leave statements behind on the server.
TEST_F(PgAbortedWork, AStatementLetGoInsideATransactionIsDroppedWhenItEnds) {
  for (const bool Commit : {true, false}) {
    SCOPED_TRACE(Commit ? "commit" : "rollback");
    const std::string Text = "SELECT id FROM aborted WHERE id = ";
    TZantrelPgSQL Reader;
    Reader.SetSession(Session.get());
    Reader.OpenRead(Text + ":id", {1});
    ASSERT_TRUE(Reader.GetOpened()) << Session->GetLastError();
    Session->StartTransaction();
    Exec("SELECT 1"); // the transaction begins with its first statement
    Reader.Unprepare();
    EXPECT_EQ(HeldOnServer(Text), 1);
    if (Commit)
      Session->Commit();
    else
      Session->Rollback();
    EXPECT_EQ(HeldOnServer(Text), 0);
  }
}

// PostgreSQL answers the COMMIT of a transaction an error aborted with the
// tag ROLLBACK and no error; the session's commit must fail, say why, and
// leave the session outside a transaction.
TEST_F(PgAbortedWork, ACommitTheServerTurnedIntoARollbackFails) {
  struct Case {
    const char* Name;
    bool Implicit;                                  // AutoCommit off instead of StartTransaction
    std::function<void(TZantrelPgSession&)> Abort; // makes a statement of the transaction fail
  };
  const Case Cases[] = {
      {"failed Execute", false,
       [](TZantrelPgSession& S) { EXPECT_FALSE(S.Execute("INSERT INTO aborted VALUES (1)")); }},
      {"failed open", false,
       [](TZantrelPgSession& S) {
         TZantrelPgSQL C;
         C.SetSession(&S);
         EXPECT_FALSE(C.OpenRead("SELECT 1 / (id - id) FROM aborted"));
       }},
      {"failed Execute, AutoCommit off", true,
       [](TZantrelPgSession& S) { EXPECT_FALSE(S.Execute("SELECT no_such_column FROM aborted")); }},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    Exec("DELETE FROM aborted");
    if (C.Implicit)
      Session->SetAutoCommit(false);
    else
      Session->StartTransaction();
    Exec("INSERT INTO aborted VALUES (1)");
    C.Abort(*Session);
    EXPECT_EQ(SQLStateOf([&] { Session->Commit(); }), "40000");
    EXPECT_EQ(Session->GetLastError(), SZtlCommitRolledBack);
    EXPECT_FALSE(Session->GetInTransaction());
    Session->SetAutoCommit(true);
    EXPECT_EQ(Stored(), 0);
    // The session goes on as before.
    Exec("INSERT INTO aborted VALUES (3)");
    EXPECT_EQ(Stored(), 1);
  }
}

// The application's own COMMIT, run as a statement, gets the same answer and
// must fail the same way; a plain ROLLBACK stays a success.
TEST_F(PgAbortedWork, AStatementCommitTheServerTurnedIntoARollbackFails) {
  Exec("DELETE FROM aborted");
  for (const char* Commit : {"COMMIT", "  end transaction", "Commit work"}) {
    SCOPED_TRACE(Commit);
    Session->StartTransaction();
    Exec("INSERT INTO aborted VALUES (1)");
    EXPECT_FALSE(Session->Execute("SELECT no_such_column FROM aborted"));
    EXPECT_FALSE(Session->Execute(Commit));
    EXPECT_EQ(Session->GetLastSQLState(), "40000");
    EXPECT_EQ(Session->GetLastError(), SZtlCommitRolledBack);
    Session->Rollback();
    EXPECT_EQ(Stored(), 0);
  }
  Session->StartTransaction();
  EXPECT_FALSE(Session->Execute("SELECT no_such_column FROM aborted"));
  EXPECT_TRUE(Session->Execute("ROLLBACK")) << Session->GetLastError();
  Session->Rollback();
  for (const char* Text : {"COMMIT", " end;", "END", "commit prepared 'x'"})
    EXPECT_TRUE(PgIsCommitText(Text)) << Text;
  for (const char* Text : {"ENDX", "committed", "ROLLBACK", "", "SELECT 1; COMMIT"})
    EXPECT_FALSE(PgIsCommitText(Text)) << Text;
}

} // namespace
} // namespace ztl::testing
