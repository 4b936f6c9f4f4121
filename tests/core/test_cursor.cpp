// The cursor's statements: the order of driver calls for opening, executing,
// describing and unpreparing, the reuse of prepared statements, failures
// that stop a chain, the session link and text conversion, the row buffers
// and navigation, and destruction.
#include <gtest/gtest.h>

#include <cstring>

#include "framework/rtl/Application.h"
#include "framework/classes/Classes.h"
#include "tests/core/CursorFixture.h"

namespace ztl {
namespace {

using CursorStatementTest = CursorTest;

TEST_F(CursorStatementTest, FirstOpenPreparesBindsAndOpensAfterWritingTheValues) {
  int AfterOpen = 0;
  SQL.AfterOpen = [&](TObject* Sender) {
    EXPECT_EQ(Sender, &SQL);
    ++AfterOpen;
  };
  ASSERT_TRUE(SQL.Open(SelectParts, {1, 2}, true));
  EXPECT_EQ(Calls(), (TCalls{"InternalClose", "InternalSetValue", "InternalSetValue",
                             "InternalPrepareOpen(" + SelectParts + ")",
                             "InternalBindOpenVariables", "InternalOpen(True)"}));
  EXPECT_EQ(AfterOpen, 1);
  EXPECT_TRUE(SQL.GetOpened());
  EXPECT_TRUE(SQL.GetReadOnly());
  EXPECT_EQ(SQL.GetOpenSQL(), SelectParts);
  EXPECT_EQ(SQL.GetRecNo(), -1);
}

TEST_F(CursorStatementTest, SecondOpenOfSameShapeSkipsPrepareAndBind) {
  ASSERT_TRUE(SQL.Open(SelectParts, {1, 2}, true));
  Log().Clear();
  ASSERT_TRUE(SQL.Open(SelectParts, {7, 8}, true));
  EXPECT_EQ(Calls(), (TCalls{"InternalClose", "InternalSetValue", "InternalSetValue",
                             "InternalOpen(True)"}));
  EXPECT_TRUE(SQL.GetOpenVariables().GetBound());
  std::int32_t First = 0;
  std::memcpy(&First, SQL.GetOpenVariables().GetBuffer(), sizeof First);
  EXPECT_EQ(First, 7) << "the values are written again";
}

TEST_F(CursorStatementTest, OpenOfAnotherTextUnpreparesFirst) {
  ASSERT_TRUE(SQL.Open(SelectParts, {1, 2}, true));
  Log().Clear();
  ASSERT_TRUE(SQL.Open("select 1", {}, true));
  EXPECT_EQ(Calls(),
            (TCalls{"InternalClose", "InternalUnprepareOpen", "InternalPrepareOpen(select 1)",
                    "InternalBindOpenVariables", "InternalOpen(True)"}));
  EXPECT_EQ(SQL.GetOpenVariables().GetCount(), 0);
}

TEST_F(CursorStatementTest, ReadOnlyFlagDecidesReprepareOnlyForOpenWrite) {
  ASSERT_TRUE(SQL.OpenRead(SelectParts, {1, 2}));
  Log().Clear();
  ASSERT_TRUE(SQL.Open(SelectParts, {1, 2}, false));
  EXPECT_EQ(Calls(), (TCalls{"InternalClose", "InternalSetValue", "InternalSetValue",
                             "InternalOpen(False)"}));

  ASSERT_TRUE(SQL.Open(SelectParts, {1, 2}, true));
  Log().Clear();
  ASSERT_TRUE(SQL.OpenWrite(SelectParts, {1, 2}));
  EXPECT_EQ(Calls(), (TCalls{"InternalClose", "InternalUnprepareOpen", "InternalSetValue",
                             "InternalSetValue", "InternalPrepareOpen(" + SelectParts + ")",
                             "InternalBindOpenVariables", "InternalOpen(False)",
                             "InternalIsScrollable", "InternalFetchFirst"}));
  EXPECT_EQ(SQL.GetRecNo(), 0);
  EXPECT_EQ(SQL.GetFieldValue("NAME").AsString(), "bolt");
}

TEST_F(CursorStatementTest, FirstRowReadFollowsScrollability) {
  SQL.SetScrollable(false);
  ASSERT_TRUE(SQL.OpenRead(SelectParts, {1, 2}));
  EXPECT_EQ(Log().Calls.back(), "InternalFetchNext");
  EXPECT_EQ(SQL.GetFieldValue(0).AsInteger(), 1);
}

TEST_F(CursorStatementTest, AfterOpenFiresOnlyWhenTheFirstRowIsRead) {
  int AfterOpen = 0;
  SQL.AfterOpen = [&](TObject*) { ++AfterOpen; };
  SQL.SetResult(PartColumns(), {});
  EXPECT_FALSE(SQL.OpenRead(SelectParts, {1, 2}));
  EXPECT_EQ(AfterOpen, 0);
  EXPECT_TRUE(SQL.GetOpened()) << "the cursor is open, only empty";
  EXPECT_TRUE(SQL.GetEof()) << "an empty result is at its end";
  EXPECT_TRUE(SQL.GetBof());
  EXPECT_EQ(SQL.GetRecNo(), -1);
  EXPECT_TRUE(SQL.Open(SelectParts, {1, 2}, true));
  EXPECT_EQ(AfterOpen, 1);
}

// A driver step that reports failure stops the chain there: nothing after
// it runs, AfterOpen stays silent, and what was done stays done.
TEST_F(CursorStatementTest, FailedStepStopsTheOpenWhereItFailed) {
  struct TCase {
    const char* Operation;
    TCalls Expected;
    bool Prepared;
    bool Bound;
  };
  const std::string Prepare = "InternalPrepareOpen(" + SelectParts + ")";
  const TCase Cases[] = {
      {"InternalPrepareOpen",
       {"InternalClose", "InternalSetValue", "InternalSetValue", Prepare},
       false,
       false},
      {"InternalBindOpenVariables",
       {"InternalClose", "InternalSetValue", "InternalSetValue", Prepare,
        "InternalBindOpenVariables"},
       true,
       false},
      {"InternalOpen",
       {"InternalClose", "InternalSetValue", "InternalSetValue", Prepare,
        "InternalBindOpenVariables", "InternalOpen(True)"},
       true,
       true},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Operation);
    SQL.Unprepare();
    Log().Clear();
    int AfterOpen = 0;
    SQL.AfterOpen = [&](TObject*) { ++AfterOpen; };
    Log().FailAt(Case.Operation, rfReturnFalse, true, -7, "server said no");
    EXPECT_FALSE(SQL.Open(SelectParts, {1, 2}, true));
    EXPECT_EQ(Calls(), Case.Expected);
    EXPECT_EQ(AfterOpen, 0);
    EXPECT_FALSE(SQL.GetOpened());
    EXPECT_EQ(SQL.GetPreparedForOpen(), Case.Prepared);
    EXPECT_EQ(SQL.GetOpenVariables().GetBound(), Case.Bound);
    EXPECT_EQ(SQL.GetOpenVariables().GetCount(), 2) << "variables stay built";
    EXPECT_EQ(SQL.GetLastError(), "server said no");
    EXPECT_EQ(SQL.GetLastErrorCode(), -7);
  }
}

TEST_F(CursorStatementTest, PreparedOpenNeedsAPreparedStatement) {
  EXPECT_THROW(
      {
        try {
          SQL.OpenPrepared({1, 2}, true);
        } catch (const EZantrelException& E) {
          EXPECT_STREQ(E.what(), "The cursor is not prepared");
          EXPECT_EQ(E.GetErrorCode(), 0);
          throw;
        }
      },
      EZantrelException);
  EXPECT_EQ(SQL.GetLastError(), "The cursor is not prepared");
  EXPECT_EQ(SQL.GetLastErrorCode(), 0);
  EXPECT_TRUE(Calls().empty());

  ASSERT_TRUE(SQL.PrepareOpen(SelectParts));
  Log().Clear();
  ASSERT_TRUE(SQL.OpenReadPrepared({1, 2}));
  EXPECT_EQ(Calls(), (TCalls{"InternalClose", "InternalSetValue", "InternalSetValue",
                             "InternalBindOpenVariables", "InternalOpen(True)",
                             "InternalIsScrollable", "InternalFetchFirst"}));
  EXPECT_TRUE(SQL.GetReadOnly());
  ASSERT_TRUE(SQL.OpenWritePrepared({1, 2}));
  EXPECT_FALSE(SQL.GetReadOnly());
}

TEST_F(CursorStatementTest, DescribeOfThePreparedTextOnlyCloses) {
  ASSERT_TRUE(SQL.Open(SelectParts, {1, 2}, true));
  Log().Clear();
  EXPECT_TRUE(SQL.Describe(SelectParts));
  EXPECT_EQ(Calls(), (TCalls{"InternalClose"}));
  EXPECT_FALSE(SQL.GetOpened());
  EXPECT_EQ(SQL.GetOpenVariables().GetCount(), 2) << "variables untouched";

  Log().Clear();
  EXPECT_TRUE(SQL.Describe("select * from other"));
  EXPECT_EQ(Calls(), (TCalls{"InternalClose", "InternalUnprepareOpen",
                             "InternalPrepareOpen(select * from other)"}));

  SQL.SetResult({}, {});
  EXPECT_FALSE(SQL.Describe("delete from parts")) << "no result columns";
  EXPECT_TRUE(SQL.GetPreparedForOpen());
  Log().Clear();
  EXPECT_FALSE(SQL.Describe("delete from parts")) << "asking again gives the same answer";
  EXPECT_EQ(Calls(), (TCalls{"InternalClose"}));
}

TEST_F(CursorStatementTest, PrepareUnpreparesBothThenLetsTheDriverChoose) {
  ASSERT_TRUE(SQL.Open(SelectParts, {1, 2}, true));
  ASSERT_TRUE(SQL.Execute("update parts set qty = 0", {}));
  Log().Clear();
  ASSERT_TRUE(SQL.Prepare("select 1"));
  EXPECT_EQ(Calls(), (TCalls{"InternalClose", "InternalUnprepareOpen", "InternalUnprepareExecute",
                             "InternalPrepare(select 1)", "InternalPrepareOpen(select 1)"}));
  EXPECT_FALSE(SQL.GetPreparedForExecute());
  EXPECT_EQ(SQL.GetExecVariables().GetCount(), 0);
}

TEST_F(CursorStatementTest, ExecuteReusesThePreparedStatementAndNeverTouchesTheCursor) {
  ASSERT_TRUE(SQL.Open(SelectParts, {1, 2}, true));
  Log().Clear();
  const std::string Update = "update parts set qty = ? where id = ?";
  ASSERT_TRUE(SQL.Execute(Update, {5, 1}));
  EXPECT_EQ(Calls(), (TCalls{"InternalSetValue", "InternalSetValue",
                             "InternalPrepareExecute(" + Update + ")", "InternalBindExecVariables",
                             "InternalExecute", "InternalCommit(True)"}));
  EXPECT_TRUE(SQL.GetOpened()) << "the two statements are independent";

  Log().Clear();
  ASSERT_TRUE(SQL.Execute(Update, {6, 2}));
  EXPECT_EQ(Calls(), (TCalls{"InternalSetValue", "InternalSetValue", "InternalExecute",
                             "InternalCommit(True)"}));

  Log().Clear();
  ASSERT_TRUE(SQL.ExecutePrepared({7, 3}));
  EXPECT_EQ(Calls(), (TCalls{"InternalSetValue", "InternalSetValue", "InternalExecute",
                             "InternalCommit(True)"}));

  Log().Clear();
  ASSERT_TRUE(SQL.Execute("delete from parts", {}));
  EXPECT_EQ(Calls(),
            (TCalls{"InternalUnprepareExecute", "InternalPrepareExecute(delete from parts)",
                    "InternalBindExecVariables", "InternalExecute", "InternalCommit(True)"}));
}

TEST_F(CursorStatementTest, AutomaticCommitOnlyOutsideAUserTransaction) {
  Session.StartTransaction();
  Log().Clear();
  ASSERT_TRUE(SQL.Execute("delete from parts", {}));
  EXPECT_EQ(Log().Calls.back(), "InternalExecute");
  Session.Commit();

  Session.SetAutoCommit(false);
  Log().Clear();
  ASSERT_TRUE(SQL.ExecutePrepared({}));
  EXPECT_EQ(Log().Calls.back(), "InternalExecute");
}

TEST_F(CursorStatementTest, ExecutePreparedNeedsAPreparedStatement) {
  EXPECT_THROW(SQL.ExecutePrepared({}), EZantrelException);
  EXPECT_EQ(SQL.GetLastError(), "The statement is not prepared");
  EXPECT_EQ(SQL.GetLastErrorCode(), 0);
}

TEST_F(CursorStatementTest, ExecuteZeroesTheOutputBufferBeforeRunning) {
  SQL.SetOutputs({{"TOTAL", 42}});
  ASSERT_TRUE(SQL.Execute("call total()", {}));
  ASSERT_EQ(SQL.GetOutVar("TOTAL").AsInteger(), 42);
  Log().FailAt("InternalExecute", rfReturnFalse);
  EXPECT_FALSE(SQL.Execute("call total()", {}));
  EXPECT_EQ(SQL.GetOutVar("TOTAL").AsInteger(), 0) << "the stale output was wiped";
}

TEST_F(CursorStatementTest, UnprepareDropsBothStatementsAndTheirVariables) {
  SQL.SetOutputs({{"TOTAL", 42}});
  ASSERT_TRUE(SQL.Open(SelectParts, {1, 2}, true));
  ASSERT_TRUE(SQL.Execute("call total(?)", {1}));
  Log().Clear();
  SQL.Unprepare();
  EXPECT_EQ(Calls(),
            (TCalls{"InternalClose", "InternalUnprepareOpen", "InternalUnprepareExecute"}));
  EXPECT_FALSE(SQL.GetPreparedForOpen());
  EXPECT_FALSE(SQL.GetPreparedForExecute());
  EXPECT_EQ(SQL.GetFieldCount(), 0);
  EXPECT_EQ(SQL.GetOpenVariables().GetCount() + SQL.GetExecVariables().GetCount() +
                SQL.GetOutVariables().GetCount(),
            0);

  Log().Clear();
  SQL.Unprepare(); // nothing prepared: only the close step
  EXPECT_EQ(Calls(), (TCalls{"InternalClose"}));
}

TEST_F(CursorStatementTest, ReopeningWithTheCursorsOwnTextKeepsTheText) {
  ASSERT_TRUE(SQL.OpenRead(SelectParts, {1, 2}));
  ASSERT_TRUE(SQL.OpenWrite(SQL.GetOpenSQL(), {1, 2}));
  EXPECT_EQ(SQL.GetOpenSQL(), SelectParts);
  ASSERT_TRUE(SQL.Execute("delete from parts", {}));
  ASSERT_TRUE(SQL.Prepare(SQL.GetExecSQL()));
  EXPECT_EQ(SQL.GetExecSQL(), "delete from parts");
}

// --- Session link and text conversion ------------------------------------------

TEST(CursorSessionTest, MissingSessionIsRaisedDirectlyOutsideDesignMode) {
  TRecordingSQL SQL;
  for (auto Operation : {+[](TZantrelSQL& S) { S.Open("select 1", {}, true); },
                         +[](TZantrelSQL& S) { S.Execute("delete from t", {}); },
                         +[](TZantrelSQL& S) { S.MoveToFirst(); }}) {
    try {
      Operation(SQL);
      ADD_FAILURE() << "no error";
    } catch (const EZantrelException& E) {
      EXPECT_STREQ(E.what(), "The session property is not linked to a session");
      EXPECT_EQ(E.GetErrorCode(), 0);
    }
  }
  EXPECT_THROW(SQL.GetLastError(), EZantrelException);
}

TEST(CursorSessionTest, DesignModeWithoutSessionNeitherConvertsNorRecords) {
  TRecordingSQL SQL;
  SQL.SetDesigning(true);
  SQL.SetResult({{"A", ntInteger}}, {{1}});
  std::string Text = "select \xC4";
  SQL.StatementToOem(Text);
  EXPECT_EQ(Text, "select \xC4");
  ASSERT_TRUE(SQL.Open(Text, {}, true));
  EXPECT_EQ(SQL.GetOpenSQL(), "select \xC4");
  SQL.Close();
  EXPECT_THROW(SQL.MoveToFirst(), EZantrelException);
  EXPECT_EQ(SQL.GetLastError(), "");
  EXPECT_EQ(SQL.GetSession(), nullptr);
}

TEST(CursorSessionTest, SessionLinkFollowsSetSessionAndDestruction) {
  TRecordingSession A, B;
  auto SQL = std::make_unique<TRecordingSQL>(&A);
  TRecordingSQL Other(&A);
  EXPECT_EQ(SQL->GetSession(), &A);
  ASSERT_EQ(A.GetQueryCount(), 2);
  SQL->SetSession(&A); // again: moves to the end
  EXPECT_EQ(A.GetQuery(0), &Other);
  EXPECT_EQ(A.GetQuery(1), SQL.get());

  SQL->SetSession(&B);
  EXPECT_EQ(A.GetQueryCount(), 1);
  EXPECT_EQ(B.GetQuery(0), SQL.get());
  SQL.reset();
  EXPECT_EQ(B.GetQueryCount(), 0) << "a destroyed cursor leaves its session";

  Other.SetSession(nullptr);
  EXPECT_EQ(Other.GetSessionObject(), nullptr);
  EXPECT_EQ(A.GetQueryCount(), 0);
}

TEST(CursorSessionTest, DestroyedSessionLeavesCursorWithoutSession) {
  auto Session = std::make_unique<TRecordingSession>();
  TRecordingSQL SQL(Session.get());
  Session.reset();
  EXPECT_EQ(SQL.GetSessionObject(), nullptr);
  try {
    SQL.Open("select 1", {}, true);
    ADD_FAILURE() << "no error";
  } catch (const EZantrelException& E) {
    EXPECT_STREQ(E.what(), "The session property is not linked to a session");
  }
}

TEST_F(CursorStatementTest, StatementTextReachesTheDriverInTheOemCodePage) {
  Session.SetOemConvert(true);
  // Windows-1252 'Ä' is 0x8E in code page 850; the text after a NUL is cut.
  const std::string Text = std::string("select * from \xC4rger") + '\0' + "tail";
  ASSERT_TRUE(SQL.Open(Text, {}, true));
  EXPECT_EQ(SQL.GetOpenSQL(), "select * from \x8Erger");
  EXPECT_EQ(Log().Calls[1], "InternalPrepareOpen(select * from \x8Erger)");

  Log().Clear();
  ASSERT_TRUE(SQL.Open(Text, {}, true)) << "the converted texts compare equal";
  EXPECT_EQ(Calls(), (TCalls{"InternalClose", "InternalBindOpenVariables", "InternalOpen(True)"}))
      << "no parameters: bound again, never prepared again";
}

TEST_F(CursorStatementTest, ErrorsBecomeTheSessionsLastError) {
  Session.SetLastError("old", -3);
  EXPECT_THROW(SQL.MoveToFirst(), EZantrelException);
  EXPECT_EQ(Session.GetLastError(), "The cursor is not opened");
  EXPECT_EQ(SQL.GetLastErrorCode(), 0);
}

// --- Buffers and navigation -----------------------------------------------------

TEST_F(CursorStatementTest, BuffersFollowTheDriversLayout) {
  SQL.SetMaxFetchCount(4);
  ASSERT_TRUE(SQL.PrepareOpen(SelectParts));
  EXPECT_EQ(SQL.GetRowSize(), 27);
  EXPECT_EQ(SQL.GetNullSize(), 6);
  EXPECT_EQ(SQL.GetRowsAllocated(), 4);
  EXPECT_EQ(SQL.GetFetchBuffer().size(), 27u * 4);
  EXPECT_EQ(SQL.GetFetchNulls().size(), 6u * 4);
  EXPECT_EQ(SQL.GetOldRow().size(), 27u);
  EXPECT_EQ(SQL.GetCurrentNulls().size(), 6u);
  for (auto Byte : SQL.GetFetchBuffer())
    ASSERT_EQ(Byte, 0) << "allocated zero-filled";
  EXPECT_EQ(SQL.GetBlobManager()->Count(), 2);

  SQL.UnprepareOpen();
  EXPECT_TRUE(SQL.GetFetchBuffer().empty());
  EXPECT_TRUE(SQL.GetOldNulls().empty());
  EXPECT_EQ(SQL.GetRowSize() + SQL.GetNullSize() + SQL.GetRowsAllocated(), 0);
  EXPECT_EQ(SQL.GetBlobManager()->Count(), 0);
}

TEST_F(CursorStatementTest, NegativeLayoutIsRefused) {
  SQL.SetRowLayout(-1, 2);
  SQL.SetFetchRows(1);
  EXPECT_THROW(SQL.InternalAllocOpenBuffer(), EZantrelException);
  EXPECT_TRUE(SQL.GetCurrentRow().empty());
}

TEST_F(CursorStatementTest, MovesClearTheFetchBufferThenAskTheDriver) {
  SQL.SetMaxFetchCount(2);
  OpenOnFirstRow();
  ASSERT_EQ(SQL.GetBufferRows(), 2);
  // Rows count from 0, as the dataset's bookmarks do: row 1 is the second.
  struct TCase {
    const char* Name;
    bool (*Move)(TZantrelSQL&);
    bool (*Fetch)(TZantrelSQL&);
    const char* Call;
    std::int32_t RecNo;
    std::int32_t Id; // the ID column of the row reached
  };
  const TCase Cases[] = {
      {"first", [](TZantrelSQL& S) { return S.MoveToFirst(); },
       [](TZantrelSQL& S) { return S.FetchNext(); }, "InternalMoveToFirst", 0, 1},
      {"last", [](TZantrelSQL& S) { return S.MoveToLast(); },
       [](TZantrelSQL& S) { return S.FetchPrior(); }, "InternalMoveToLast", 2, 3},
      {"row 1", [](TZantrelSQL& S) { return S.MoveTo(1); },
       [](TZantrelSQL& S) { return S.FetchCurrent(); }, "InternalMoveTo(1)", 1, 2},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    ASSERT_TRUE(SQL.FetchCurrent()); // something in the fetch buffer
    Log().Clear();
    // Watch the buffer at the moment the driver is asked.
    Log().FailAt(std::string(TRecordingLog::OperationOf(Case.Call)), rfReturnFalse);
    EXPECT_FALSE(Case.Move(SQL));
    for (auto Byte : SQL.GetFetchBuffer())
      ASSERT_EQ(Byte, 0);
    for (auto Byte : SQL.GetFetchNulls())
      ASSERT_EQ(Byte, 255);
    EXPECT_EQ(Calls(), (TCalls{Case.Call}));
    ASSERT_TRUE(Case.Move(SQL));
    ASSERT_TRUE(Case.Fetch(SQL));
    EXPECT_EQ(SQL.GetRecNo(), Case.RecNo);
    EXPECT_EQ(SQL.GetFieldValue("ID").AsInteger(), Case.Id);
  }

  // Off either end no row is current.
  ASSERT_TRUE(SQL.MoveToFirst());
  EXPECT_FALSE(SQL.FetchPrior());
  EXPECT_TRUE(SQL.GetBof());
  EXPECT_FALSE(SQL.GetEof());
  EXPECT_EQ(SQL.GetRecNo(), -1);
  ASSERT_TRUE(SQL.MoveTo(3));
  EXPECT_FALSE(SQL.FetchCurrent());
  EXPECT_TRUE(SQL.GetEof());
  EXPECT_FALSE(SQL.GetBof());
  EXPECT_EQ(SQL.GetRecNo(), -1);
}

TEST_F(CursorStatementTest, FetchCountAndBlobSizeAcceptOnlyTheirRanges) {
  struct TCase {
    std::int32_t Value;
    bool FetchCountTaken; // 1 .. 1000
    bool BlobSizeTaken;   // 0 .. 32763
  };
  const TCase Cases[] = {{1, true, true},     {1000, true, true},   {0, false, true},
                         {1001, false, true}, {32763, false, true}, {32764, false, false},
                         {-1, false, false}};
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Value);
    TRecordingSQL S;
    S.SetMaxFetchCount(Case.Value);
    S.SetBlobSize(Case.Value);
    EXPECT_EQ(S.GetMaxFetchCount(), Case.FetchCountTaken ? Case.Value : 25);
    EXPECT_EQ(S.GetBlobSize(), Case.BlobSizeTaken ? Case.Value : 0);
  }
}

// --- Destruction ----------------------------------------------------------------

TEST(CursorDestroyTest, DestroyUnpreparesBothStatementsThenLeavesTheSession) {
  TRecordingSession Session;
  Session.Open();
  auto SQL = std::make_unique<TRecordingSQL>(&Session);
  SQL->SetResult({{"A", ntInteger}}, {{1}});
  ASSERT_TRUE(SQL->Open("select a from t", {}, true));
  ASSERT_TRUE(SQL->Execute("delete from t", {}));
  Session.GetLog().Clear();
  SQL.reset();
  EXPECT_EQ(Session.GetLog().Calls,
            (TCalls{"InternalClose", "InternalUnprepareOpen", "InternalUnprepareExecute"}));
  EXPECT_EQ(Session.GetQueryCount(), 0);
}

TEST(CursorDestroyTest, DriverErrorWhileDestroyingGoesToTheApplication) {
  TRecordingSession Session;
  Session.Open();
  int Reported = 0;
  Application().OnException = [&](TObject*, std::exception_ptr) { ++Reported; };
  {
    TRecordingSQL SQL(&Session);
    ASSERT_TRUE(SQL.PrepareOpen("select 1"));
    Session.GetLog().FailAt("InternalUnprepareOpen");
  }
  Application().OnException = nullptr;
  EXPECT_EQ(Reported, 1);
  EXPECT_EQ(Session.GetQueryCount(), 0);
}

} // namespace
} // namespace ztl
