// Two processes editing the same rows of one SQLite file for a while: the
// dataset's edits against a plain writer in another process. Every change
// either lands once or is refused with a clear error and tried again; in the
// end the totals show that no update was lost and none was applied twice.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "core/ZtlConsts.h"
#include "drivers/sqlite/ZtlSQLite.h"
#include "tests/support/TestHelpers.h"

namespace ztl::testing {
namespace {

constexpr int Accounts = 5;
constexpr int WriterSteps = 1500; // increments the other process makes
constexpr int EditorSteps = 600;  // increments made through the dataset

// The other process: adds 1 to the accounts in turn, each in a statement of
// its own, waiting out the locks of the dataset's side. Exits with 0 when
// every increment landed.
[[noreturn]] void RunWriter(const std::string& Path) {
  int Failed = 0;
  {
    TZantrelSQLiteSession S;
    S.SetDatabaseName(Path);
    S.SetBusyTimeout(10000);
    S.Open();
    // The run is about locks and values; durability would only slow it.
    S.Execute("PRAGMA synchronous = OFF");
    for (int I = 0; I < WriterSteps; ++I)
      if (!S.Execute("UPDATE acct SET bal = bal + 1 WHERE id = " +
                     std::to_string(I % Accounts + 1)))
        ++Failed;
  }
  _exit(Failed == 0 ? 0 : 1);
}

TEST(SQLiteSoak, EditsAgainstAnotherProcessLoseNoUpdate) {
  test::TTempDir Dir{"ztl-soak"};
  const std::string Path = Dir.File("soak.db");
  TZantrelSQLiteSession Session;
  Session.SetDatabaseName(Path);
  Session.SetBusyTimeout(10000);
  Session.Open();
  ASSERT_TRUE(Session.Execute("PRAGMA synchronous = OFF"));
  ASSERT_TRUE(Session.Execute("CREATE TABLE acct (id integer primary key, bal integer);"
                              "INSERT INTO acct VALUES (1, 0), (2, 0), (3, 0), (4, 0), (5, 0)"));

  const pid_t Writer = fork();
  ASSERT_GE(Writer, 0);
  if (Writer == 0)
    RunWriter(Path);

  TZantrelSQLiteQuery Q;
  Q.SetSession(&Session);
  Q.GetSQL()->SetText("SELECT * FROM acct ORDER BY id");
  Q.SetReadOnly(false);
  Q.Open();
  int Refused = 0; // edits or posts refused because the row had changed, or busy
  for (int I = 0; I < EditorSteps; ++I) {
    for (int Attempt = 0;; ++Attempt) {
      ASSERT_LT(Attempt, 1000) << "step " << I << " never went through";
      // Left stale on purpose: the dataset's own check must notice the
      // other process's changes.
      ASSERT_TRUE(Q.Locate("id", I % Accounts + 1, {}));
      const std::string Why = test::MessageOf<EDatabaseError>([&] {
        Q.Edit();
        Q.FieldByName("bal")->SetAsLargeInt(Q.FieldByName("bal")->GetAsLargeInt() + 1);
        Q.Post();
      });
      if (Why.empty())
        break;
      // The edit's check or the post's: the row changed since it was read.
      // Or the other process held the lock at the moment of the write.
      EXPECT_TRUE(Why == LoadZtlStr(SZtlRowChanged) || Why == "database is locked") << Why;
      ++Refused;
      if (Q.State() != dsBrowse)
        Q.Cancel();
      Q.Refresh();
    }
  }
  int Status = -1;
  ASSERT_EQ(waitpid(Writer, &Status, 0), Writer);
  EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << "the other process failed";

  TZantrelSQLiteQuery Total;
  Total.SetSession(&Session);
  Total.GetSQL()->SetText("SELECT sum(bal) AS s, count(*) AS n FROM acct");
  Total.Open();
  EXPECT_EQ(Total.FieldByName("s")->GetAsLargeInt(), WriterSteps + EditorSteps);
  EXPECT_EQ(Total.FieldByName("n")->GetAsInteger(), Accounts);
  // The check had something to refuse, or the run proved nothing about it.
  EXPECT_GT(Refused, 0);
}

} // namespace
} // namespace ztl::testing
