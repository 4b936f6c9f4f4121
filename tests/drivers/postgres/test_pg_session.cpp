// The PostgreSQL session: library loading and counting, connecting, failures
// with their codes, handle adoption and transactions.
#include <gtest/gtest.h>

#include <limits>

#include <libpq-fe.h>

#include "core/ZtlConsts.h"
#include "drivers/postgres/PgApi_p.h"
#include "tests/drivers/postgres/PgTestSupport.h"
#include "tests/support/DriverErrors.h"

namespace ztl::testing {
namespace {

using PgSessionTest = PgTest;
using test::SQLStateOf;

TEST(PgErrorCodeTest, SqlStateReadInBase36) {
  EXPECT_EQ(PgErrorCode("00001"), -1);
  EXPECT_EQ(PgErrorCode("0000A"), -10);
  EXPECT_EQ(PgErrorCode("00010"), -36);
  EXPECT_EQ(PgErrorCode("ZZZZZ"), -(36 * 36 * 36 * 36 * 36 - 1));
  EXPECT_EQ(PgErrorCode(nullptr), -1);
  EXPECT_EQ(PgErrorCode("42p01"), -1); // not a SQLSTATE
}

// Every state a server can send comes back from its code, so errors stored
// and restored by code keep their state; codes that stand for none give none.
TEST(PgErrorCodeTest, CodesGiveTheirSqlStateBack) {
  for (const char* State : {"01000", "08006", "23505", "25006", "40001", "42P01", "57014",
                            "XX000", "ZZZZZ"})
    EXPECT_EQ(PgSqlStateOfCode(PgErrorCode(State)), State);
  for (std::int32_t Code : {0, 5, -1, -36, -46655, std::numeric_limits<std::int32_t>::min()})
    EXPECT_EQ(PgSqlStateOfCode(Code), "") << Code;
}

TEST(PgLibraryTest, MissingLibraryIsReportedAndNothingIsCounted) {
  TZantrelPgSession S;
  S.SetLibraryName("/nonexistent/libpq.so.5");
  try {
    S.Open();
    FAIL() << "opened without a library";
  } catch (const EZantrelException& E) {
    EXPECT_STREQ(E.what(), "Could not load the Database Interface library");
    EXPECT_EQ(E.GetErrorCode(), -1);
  }
  EXPECT_EQ(S.GetLastError(), "Could not load the Database Interface library");
  EXPECT_FALSE(S.GetLibraryLoaded());
  EXPECT_EQ(TZantrelPgSession::GetDriverLibraryRefCount(), 0);
}

TEST_F(PgSessionTest, LibraryIsCountedPerSessionAndFreedWithTheLast) {
  EXPECT_EQ(TZantrelPgSession::GetDriverLibraryRefCount(), 1);
  {
    TZantrelPgSession Second;
    AimAtCluster(Second);
    Second.Open();
    EXPECT_EQ(TZantrelPgSession::GetDriverLibraryRefCount(), 2);
    Second.Close();
    Second.Open(); // reopening takes no second reference
    EXPECT_EQ(TZantrelPgSession::GetDriverLibraryRefCount(), 2);
  }
  EXPECT_EQ(TZantrelPgSession::GetDriverLibraryRefCount(), 1);
  EXPECT_TRUE(TPgLibrary::Loaded());
  Session.reset();
  EXPECT_FALSE(TPgLibrary::Loaded());
}

TEST_F(PgSessionTest, FailedConnectRecordsMessageAndConnectionCode) {
  TZantrelPgSession S;
  AimAtCluster(S);
  S.SetDatabaseName("no_such_database");
  EXPECT_THROW(S.Open(), EZantrelException);
  EXPECT_FALSE(S.GetConnected());
  EXPECT_NE(S.GetLastError().find("no_such_database"), std::string::npos) << S.GetLastError();
  EXPECT_EQ(S.GetLastErrorCode(), PgErrorCode("08006"));
  EXPECT_EQ(S.GetLastSQLState(), "08006");
}

TEST_F(PgSessionTest, PropertiesAreFrozenWhileConnected) {
  EXPECT_THROW(Session->SetDatabaseName("other"), EZantrelException);
  EXPECT_EQ(Session->GetLastError(), LoadZtlStr(ZTL_ERR_SESS_CONNECTED));
  Session->SetDatabaseName(PgCluster::Database); // unchanged value is fine
}

TEST_F(PgSessionTest, FailedStatementRecordsServerMessageAndSqlState) {
  EXPECT_FALSE(Session->Execute("SELECT * FROM no_such_table"));
  EXPECT_NE(Session->GetLastError().find("no_such_table"), std::string::npos);
  EXPECT_EQ(Session->GetLastErrorCode(), PgErrorCode("42P01"));
  EXPECT_EQ(Session->GetLastSQLState(), "42P01");
  EXPECT_EQ(Session->Ping(nullptr), 0);
  // The next error replaces the state, and the engine's own errors have none.
  EXPECT_EQ(SQLStateOf([&] {
              Session->StartTransaction();
              Session->StartTransaction();
            }),
            "");
  Session->Rollback();
}

TEST_F(PgSessionTest, TextTravelsInTheDatabasesEncodingUnlessTheSessionAsksForAnother) {
  // The cluster's database is UTF-8. Without ClientEncoding its bytes pass
  // both ways unchanged; with a single-byte code page the server converts.
  const struct {
    const char* ClientEncoding;
    const char* Sent;        // the bytes the application writes
    const char* StoredUtf8;  // what the database then holds, in hex
    std::int32_t CharBytes;  // bytes per character the session sizes with
  } Cases[] = {
      {"", "caf\xC3\xA9", "636166c3a9", 4},
      {"", "\xC5\x82\xD0\x96\xE4\xB8\xAD", "c582d096e4b8ad", 4}, // l-stroke, Cyrillic, CJK
      {"WIN1252", "caf\xE9", "636166c3a9", 1},
  };
  Exec("DROP TABLE IF EXISTS enc_all; CREATE TABLE enc_all (n int, s text)");
  int N = 0;
  for (const auto& C : Cases) {
    TZantrelPgSession S;
    AimAtCluster(S);
    S.SetClientEncoding(C.ClientEncoding);
    S.Open();
    EXPECT_EQ(S.GetMaxCharBytes(), C.CharBytes) << C.ClientEncoding;
    TZantrelPgSQL Cursor;
    Cursor.SetSession(&S);
    ++N;
    ASSERT_TRUE(Cursor.Execute("INSERT INTO enc_all VALUES (?, ?)", {Variant(N), Variant(C.Sent)}))
        << S.GetLastError();
    ASSERT_TRUE(Cursor.OpenRead("SELECT encode(convert_to(s, 'UTF8'), 'hex') AS h, s FROM enc_all "
                                "WHERE n = ?",
                                {Variant(N)}))
        << S.GetLastError();
    EXPECT_EQ(Cursor.GetFieldValue(Variant("h")).AsString(), C.StoredUtf8) << C.Sent;
    EXPECT_EQ(Cursor.GetFieldValue(Variant("s")).AsString(), C.Sent) << C.ClientEncoding;
  }
  Exec("DROP TABLE enc_all");
}

TEST_F(PgSessionTest, ClientEncodingIsAConnectionProperty) {
  Session->SetClientEncoding(""); // unchanged value is fine
  EXPECT_THROW(Session->SetClientEncoding("LATIN1"), EZantrelException);
  TZantrelPgSession S;
  AimAtCluster(S);
  S.SetClientEncoding("NO_SUCH_ENCODING");
  EXPECT_THROW(S.Open(), EZantrelException);
  EXPECT_FALSE(S.GetConnected());
}

TEST_F(PgSessionTest, AdoptedHandleIsUsedButNeverClosed) {
  const PgCluster& C = PgCluster::Shared();
  const std::string Info = "host='" + C.SocketDir() + "' port=" + std::to_string(C.Port()) +
                           " user=" + PgCluster::User + " dbname=" + PgCluster::Database;
  PGconn* Outside = Pq().connectdb(Info.c_str());
  ASSERT_EQ(Pq().status(Outside), CONNECTION_OK);
  {
    TZantrelPgSession S;
    S.SetHandle(Outside);
    EXPECT_TRUE(S.GetConnected());
    EXPECT_TRUE(S.GetHandleShared());
    EXPECT_EQ(S.GetConnection(), Outside);
    EXPECT_TRUE(S.Execute("SELECT 1"));
    S.Close();
    EXPECT_EQ(S.GetConnection(), nullptr);
  }
  // Still usable after the session let go of it.
  TPgResult R(Pq().exec(Outside, "SELECT 2"));
  EXPECT_TRUE(R.Ok());
  R.Reset();
  Pq().finish(Outside);
}

TEST_F(PgSessionTest, UserTransactionRollsBackAndAutoCommitCommits) {
  Exec("CREATE TABLE tx (n int)");
  Session->StartTransaction();
  Exec("INSERT INTO tx VALUES (1)");
  EXPECT_EQ(Pq().transactionStatus(Session->GetConnection()), PQTRANS_INTRANS);
  Session->Rollback();
  Exec("INSERT INTO tx VALUES (2)"); // commits on its own
  EXPECT_EQ(Pq().transactionStatus(Session->GetConnection()), PQTRANS_IDLE);

  Session->SetAutoCommit(false);
  Exec("INSERT INTO tx VALUES (3)");
  EXPECT_EQ(Pq().transactionStatus(Session->GetConnection()), PQTRANS_INTRANS);
  Session->Commit();
  Session->SetAutoCommit(true);

  TPgResult R(
      Pq().exec(Session->GetConnection(), "SELECT string_agg(n::text, ',' ORDER BY n) FROM tx"));
  ASSERT_TRUE(R.Ok());
  EXPECT_STREQ(Pq().getvalue(R.Get(), 0, 0), "2,3");
  R.Reset();
  Exec("DROP TABLE tx");
}

TEST_F(PgSessionTest, SecondStartTransactionIsRefused) {
  Session->StartTransaction();
  EXPECT_THROW(Session->StartTransaction(), EZantrelException);
  EXPECT_EQ(Session->GetLastError(), "A user transaction is already in progress");
  Session->Commit();
}

} // namespace
} // namespace ztl::testing
