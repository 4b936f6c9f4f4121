// Array execution on PostgreSQL: elements sent through libpq's pipeline mode
// must come out exactly as the one-by-one loop gives them (per-element errors
// by index, Executed, RowsAffected, StopOnError, what the table holds and
// how the transaction ends), inside and outside transaction blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "tests/drivers/postgres/PgTestSupport.h"
#include "tests/support/DriverErrors.h"

namespace ztl::testing {
namespace {

using test::SQLStateOf;

// The PostgreSQL cursor with the core's element-by-element loop, the
// reference the pipeline is held to.
class TLoopPgSQL : public TZantrelPgSQL {
protected:
  void InternalExecuteArray(const std::string* SQL, std::span<const TZtlVarParams> Rows,
                            bool StopOnError, TZantrelArrayResult& Result) override {
    TZantrelSQL::InternalExecuteArray(SQL, Rows, StopOnError, Result);
  }
};

enum TBlock { bkAutocommit, bkTransaction, bkAutoCommitOff };

// What one array execution did, everything the application can see.
struct TOutcome {
  TZantrelArrayResult Result;
  std::string CommitState; // SQLSTATE of ending the transaction, "none" when it went through
  std::vector<int> Stored; // ids in the table afterwards
};

class PgArrayTest : public PgTest {
protected:
  void SetUp() override {
    PgTest::SetUp();
    if (IsSkipped())
      return;
    Exec("DROP TABLE IF EXISTS arr; CREATE TABLE arr (id int primary key, v text "
         "CHECK (v <> 'bad'))");
  }

  TOutcome Run(TZantrelPgSQL& Cursor, TBlock Block, const std::vector<std::vector<Variant>>& Values,
               bool StopOnError) {
    Exec("TRUNCATE arr; INSERT INTO arr VALUES (0, 'taken')");
    Cursor.SetSession(Session.get());
    if (Block == bkTransaction)
      Session->StartTransaction();
    if (Block == bkAutoCommitOff)
      Session->SetAutoCommit(false);
    const std::vector<TZtlVarParams> Rows(Values.begin(), Values.end());
    TOutcome O;
    O.Result = Cursor.ExecuteArray("INSERT INTO arr VALUES (:id, :v)", Rows, StopOnError);
    O.CommitState = Block == bkAutocommit ? "none" : SQLStateOf([&] { Session->Commit(); });
    Session->SetAutoCommit(true);
    TZantrelPgSQL Read;
    Read.SetSession(Session.get());
    for (bool Ok = Read.OpenRead("SELECT id FROM arr ORDER BY id"); Ok; Ok = Read.FetchNext())
      O.Stored.push_back(Read.GetFieldValue(Variant("id")).AsInteger());
    return O;
  }

  // N elements (id i+1, value "v<i>"); those at Taken reuse id 0, those at
  // Bad break the check, those at Texty give the value as a number, which
  // changes the shape of the values.
  static std::vector<std::vector<Variant>> Elements(int N, std::vector<int> Taken,
                                                    std::vector<int> Bad = {},
                                                    std::vector<int> Texty = {}) {
    const auto Has = [](const std::vector<int>& L, int I) {
      return std::find(L.begin(), L.end(), I) != L.end();
    };
    std::vector<std::vector<Variant>> V;
    for (int I = 0; I < N; ++I) {
      const Variant Id(Has(Taken, I) ? 0 : I + 1);
      if (Has(Texty, I))
        V.push_back({Id, Variant(I)});
      else
        V.push_back({Id, Variant(Has(Bad, I) ? std::string("bad") : "v" + std::to_string(I))});
    }
    return V;
  }
};

void ExpectSame(const TOutcome& Loop, const TOutcome& Pipe) {
  EXPECT_EQ(Pipe.Result.Executed, Loop.Result.Executed);
  EXPECT_EQ(Pipe.Result.RowsAffected, Loop.Result.RowsAffected);
  ASSERT_EQ(Pipe.Result.Errors.size(), Loop.Result.Errors.size());
  for (std::size_t I = 0; I < Loop.Result.Errors.size(); ++I) {
    const TZantrelArrayError& L = Loop.Result.Errors[I];
    const TZantrelArrayError& P = Pipe.Result.Errors[I];
    EXPECT_EQ(P.Index, L.Index) << I;
    EXPECT_EQ(P.Code, L.Code) << I;
    EXPECT_EQ(P.SQLState, L.SQLState) << I;
    EXPECT_EQ(P.Message, L.Message) << I;
  }
  EXPECT_EQ(Pipe.CommitState, Loop.CommitState);
  EXPECT_EQ(Pipe.Stored, Loop.Stored);
}

TEST_F(PgArrayTest, PipelinedElementsComeOutAsTheLoopGivesThem) {
  const struct {
    const char* Name;
    std::vector<std::vector<Variant>> Values;
    bool FirstFails = false; // a block is aborted before anything could be pipelined
  } Cases[] = {
      {"all succeed", Elements(40, {})},
      {"first fails", Elements(40, {0}), true},
      {"one in the middle fails", Elements(40, {17})},
      {"last fails", Elements(40, {39})},
      {"two fail", Elements(40, {5}, {30})},
      {"beyond the first chunk", Elements(700, {400})},
      {"shape changes", Elements(40, {}, {}, {10, 11, 25})},
      {"shape changes, then one fails", Elements(40, {20}, {}, {10})},
  };
  const struct {
    const char* Name;
    TBlock Block;
  } Blocks[] = {{"autocommit", bkAutocommit},
                {"user transaction", bkTransaction},
                {"AutoCommit off", bkAutoCommitOff}};
  for (const auto& B : Blocks) {
    for (const bool StopOnError : {true, false}) {
      for (const auto& C : Cases) {
        SCOPED_TRACE(std::string(B.Name) + ", " + C.Name +
                     (StopOnError ? ", StopOnError" : ", going on"));
        TLoopPgSQL LoopCursor;
        const TOutcome Loop = Run(LoopCursor, B.Block, C.Values, StopOnError);
        EXPECT_EQ(Stats().Pipelined, 0);
        TZantrelPgSQL PipeCursor;
        const TOutcome Pipe = Run(PipeCursor, B.Block, C.Values, StopOnError);
        ExpectSame(Loop, Pipe);
        // Outside a block StopOnError keeps the loop, and so does a block
        // its first element aborted; everywhere else the elements after
        // the first went through the pipeline.
        if (B.Block == bkAutocommit ? StopOnError : C.FirstFails)
          EXPECT_EQ(Stats().Pipelined, 0);
        else
          EXPECT_GT(Stats().Pipelined, 0);
        Session->ResetStatistics();
      }
    }
  }
}

// After a pipeline the connection takes ordinary statements again, and a
// prepared statement's array runs through it as well.
TEST_F(PgArrayTest, ThePreparedStatementAndTheConnectionStayUsable) {
  TZantrelPgSQL Cursor;
  Cursor.SetSession(Session.get());
  ASSERT_TRUE(Cursor.PrepareExecute("INSERT INTO arr VALUES (:id, :v)"));
  const auto Values = Elements(300, {});
  const std::vector<TZtlVarParams> Rows(Values.begin(), Values.end());
  Session->StartTransaction();
  const TZantrelArrayResult R = Cursor.ExecutePreparedArray(Rows, false);
  EXPECT_TRUE(R.Succeeded());
  EXPECT_EQ(R.Executed, 300);
  EXPECT_EQ(R.RowsAffected, 300);
  EXPECT_GT(Stats().Pipelined, 0);
  ASSERT_TRUE(Cursor.ExecutePrepared({Variant(1000), Variant("after")})) << Session->GetLastError();
  Session->Commit();
  TZantrelPgSQL Count;
  Count.SetSession(Session.get());
  ASSERT_TRUE(Count.OpenRead("SELECT count(*) AS n FROM arr"));
  EXPECT_EQ(Count.GetFieldValue(Variant("n")).AsInteger(), 301);
}

} // namespace
} // namespace ztl::testing
