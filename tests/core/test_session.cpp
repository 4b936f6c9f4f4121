// The session's connection lifecycle, library reference, transactions,
// holds, adopted handles, loading from a form and destruction, observed
// through the recording driver.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/ZtlBase.h"
#include "framework/Application.h"
#include "framework/Dialogs.h"
#include "tests/support/RecordingCursor.h"
#include "tests/support/RecordingDriver.h"

namespace ztl {
namespace {

using TCalls = std::vector<std::string>;

// Every test starts and ends with the driver's library unreferenced, so a
// session leaked or miscounted by one test is caught there.
class SessionTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_EQ(TRecordingSession::GetDriverLibraryRefCount(), 0); }
  void TearDown() override {
    EXPECT_EQ(TRecordingSession::GetDriverLibraryRefCount(), 0);
    EXPECT_FALSE(TRecordingSession::GetDriverLibraryLoaded());
  }

  // Writes the four connection events into the session's log, so that their
  // order against the driver calls is checked in one comparison.
  static void LogEvents(TRecordingSession& S) {
    TRecordingLog& Log = S.GetLog();
    S.BeforeConnect = [&Log](TObject*) { Log.Calls.push_back("BeforeConnect"); };
    S.AfterConnect = [&Log](TObject*) { Log.Calls.push_back("AfterConnect"); };
    S.BeforeDisconnect = [&Log](TObject*) { Log.Calls.push_back("BeforeDisconnect"); };
    S.AfterDisconnect = [&Log](TObject*) { Log.Calls.push_back("AfterDisconnect"); };
  }

  // The library bookkeeping calls, left out where a test is about something else.
  static TCalls Plain(const TRecordingSession& S) {
    return S.GetLog().Except({"GetLibraryRefCount", "SetLibraryRefCount", "SetLibraryLoaded"});
  }
};

TEST_F(SessionTest, FirstOpenLoadsLibraryThenConnectsBetweenTheEvents) {
  TRecordingSession S;
  LogEvents(S);
  S.Open();
  EXPECT_EQ(S.GetLog().Calls,
            (TCalls{"GetLibraryRefCount", "InternalLoadLibrary", "InternalInitLibrary",
                    "GetLibraryRefCount", "SetLibraryRefCount(1)", "SetLibraryLoaded(True)",
                    "BeforeConnect", "InternalSetHandle(nil)", "InternalConnect", "AfterConnect"}));
  EXPECT_TRUE(S.GetConnected());
  EXPECT_TRUE(S.GetLibraryLoaded());
  EXPECT_FALSE(S.GetHandleShared());

  S.GetLog().Clear();
  S.Open(); // already connected: nothing
  EXPECT_TRUE(S.GetLog().Calls.empty());
}

TEST_F(SessionTest, CloseDisconnectsBetweenTheEventsAndKeepsTheLibrary) {
  TRecordingSession S;
  LogEvents(S);
  S.Open();
  S.GetLog().Clear();
  S.Close();
  EXPECT_EQ(S.GetLog().Calls,
            (TCalls{"BeforeDisconnect", "InternalDisconnect", "AfterDisconnect"}));
  EXPECT_FALSE(S.GetConnected());
  EXPECT_TRUE(S.GetLibraryLoaded());

  S.GetLog().Clear();
  S.Close(); // already closed: nothing
  S.Open();  // reopening takes no second reference
  EXPECT_EQ(S.GetLog().Calls,
            (TCalls{"BeforeConnect", "InternalSetHandle(nil)", "InternalConnect", "AfterConnect"}));
  EXPECT_EQ(TRecordingSession::GetDriverLibraryRefCount(), 1);
}

TEST_F(SessionTest, LibraryIsSharedByTheDriversSessionsAndFreedWithTheLast) {
  const auto Shared = std::make_shared<TRecordingLog>();
  TRecordingLog& Log = *Shared;
  auto First = std::make_unique<TRecordingSession>(nullptr, Shared);
  auto Second = std::make_unique<TRecordingSession>(nullptr, Shared);

  First->Open();
  EXPECT_EQ(TRecordingSession::GetDriverLibraryRefCount(), 1);
  Log.Clear();
  Second->Open();
  EXPECT_EQ(Log.Except({"GetLibraryRefCount"}),
            (TCalls{"SetLibraryRefCount(2)", "SetLibraryLoaded(True)", "InternalSetHandle(nil)",
                    "InternalConnect"}));

  Log.Clear();
  First.reset();
  EXPECT_EQ(TRecordingSession::GetDriverLibraryRefCount(), 1);
  EXPECT_TRUE(TRecordingSession::GetDriverLibraryLoaded());
  EXPECT_EQ(Log.Except({"GetLibraryRefCount"}),
            (TCalls{"InternalDisconnect", "SetLibraryLoaded(False)", "SetLibraryRefCount(1)"}));

  Log.Clear();
  Second.reset();
  EXPECT_EQ(Log.Except({"GetLibraryRefCount"}),
            (TCalls{"InternalDisconnect", "SetLibraryLoaded(False)", "SetLibraryRefCount(0)",
                    "InternalFreeLibrary"}));
}

TEST_F(SessionTest, FailedLibraryLoadTakesNoReference) {
  for (const char* Step : {"InternalLoadLibrary", "InternalInitLibrary"}) {
    SCOPED_TRACE(Step);
    TRecordingSession S;
    S.GetLog().FailAt(Step);
    EXPECT_THROW(S.Open(), EZantrelException);
    EXPECT_FALSE(S.GetLibraryLoaded());
    EXPECT_EQ(TRecordingSession::GetDriverLibraryRefCount(), 0);
    EXPECT_FALSE(S.GetConnected());

    S.Open(); // the failure was armed once: the retry loads and connects
    EXPECT_TRUE(S.GetConnected());
    EXPECT_EQ(TRecordingSession::GetDriverLibraryRefCount(), 1);
  }
}

TEST_F(SessionTest, FailedConnectLeavesSessionDisconnectedButReferenced) {
  TRecordingSession S;
  LogEvents(S);
  S.GetLog().FailAt("InternalConnect", rfRaise, true, -7, "server gone");
  try {
    S.Open();
    FAIL() << "Open did not raise";
  } catch (const EZantrelException& E) {
    EXPECT_EQ(E.GetMessage(), "server gone");
    EXPECT_EQ(E.GetErrorCode(), -7);
  }
  EXPECT_EQ(S.GetLog().Calls.back(), "InternalConnect"); // no AfterConnect
  EXPECT_FALSE(S.GetConnected());
  EXPECT_TRUE(S.GetLibraryLoaded());
  EXPECT_EQ(S.GetLastError(), "server gone");
  EXPECT_EQ(S.GetLastErrorCode(), -7);
}

TEST_F(SessionTest, ConnectWithoutHandleIsReportedNotTakenForSuccess) {
  TRecordingSession S;
  LogEvents(S);
  S.GetLog().FailAt("InternalConnect", rfReturnFalse); // returns, handle never set
  try {
    S.Open();
    FAIL() << "Open did not raise";
  } catch (const EZantrelException& E) {
    EXPECT_EQ(E.GetMessage(), "Invalid database handle");
    EXPECT_EQ(E.GetErrorCode(), 0);
  }
  EXPECT_EQ(S.GetLog().Calls.back(), "InternalConnect");
  EXPECT_FALSE(S.GetConnected());
  EXPECT_EQ(S.GetLastError(), "Invalid database handle");
}

TEST_F(SessionTest, UserTransactions) {
  TRecordingSession S;
  S.Open();
  S.GetLog().Clear();

  S.StartTransaction();
  EXPECT_TRUE(S.GetInTransaction());
  try {
    S.StartTransaction();
    FAIL() << "a second StartTransaction did not raise";
  } catch (const EZantrelException& E) {
    EXPECT_EQ(E.GetMessage(), "A user transaction is already in progress");
    EXPECT_EQ(E.GetErrorCode(), 0);
  }
  EXPECT_TRUE(S.GetInTransaction());
  EXPECT_EQ(S.GetLastError(), "A user transaction is already in progress");
  EXPECT_EQ(S.GetLastErrorCode(), 0);

  S.Commit();
  EXPECT_FALSE(S.GetInTransaction());
  S.Commit(); // no transaction: the driver is still asked
  S.StartTransaction();
  S.Rollback();
  EXPECT_FALSE(S.GetInTransaction());
  EXPECT_EQ(S.GetLog().Calls,
            (TCalls{"InternalCommit(False)", "InternalCommit(False)", "InternalCommit(False)",
                    "InternalCommit(False)", "InternalRollback"}));

  S.StartTransaction();
  S.Close();
  EXPECT_FALSE(S.GetInTransaction());
}

TEST_F(SessionTest, TransactionStartedInAfterConnectSurvivesTheOpen) {
  TRecordingSession S;
  S.AfterConnect = [&S](TObject*) { S.StartTransaction(); };
  S.Open();
  EXPECT_TRUE(S.GetInTransaction());
}

TEST_F(SessionTest, FailedCommitKeepsTheTransactionOpen) {
  TRecordingSession S;
  S.Open();
  S.StartTransaction();
  S.GetLog().FailAt("InternalCommit");
  EXPECT_THROW(S.Commit(), EZantrelException);
  EXPECT_TRUE(S.GetInTransaction());
}

// One step of a hold sequence and the state expected after it.
struct THoldStep {
  enum { Open, Close, KeepOff, KeepOn } Action;
  bool Connected;
  int OpenCount;
};

TEST_F(SessionTest, HoldsAndKeepConnectionDecideWhenToDisconnect) {
  const std::vector<THoldStep> Steps = {
      {THoldStep::Open, true, 1},     {THoldStep::Open, true, 2},   {THoldStep::KeepOff, true, 2},
      {THoldStep::Close, true, 1},    {THoldStep::Close, false, 0}, {THoldStep::Close, false, 0},
      {THoldStep::KeepOn, false, 0},  {THoldStep::Open, true, 1},   {THoldStep::Close, true, 0},
      {THoldStep::KeepOff, false, 0},
  };
  TRecordingSession S;
  int Index = 0;
  for (const THoldStep& Step : Steps) {
    SCOPED_TRACE(Index++);
    switch (Step.Action) {
    case THoldStep::Open:
      S.OpenSession(nullptr);
      break;
    case THoldStep::Close:
      S.CloseSession(nullptr);
      break;
    case THoldStep::KeepOff:
      S.SetKeepConnection(false);
      break;
    case THoldStep::KeepOn:
      S.SetKeepConnection(true);
      break;
    }
    EXPECT_EQ(S.GetConnected(), Step.Connected);
    EXPECT_EQ(S.GetOpenCount(), Step.OpenCount);
  }
}

TEST_F(SessionTest, HoldingComponentsAreListedPerCall) {
  TRecordingSession S;
  TComponent A(nullptr), B(nullptr);
  S.OpenSession(&A);
  S.OpenSession(&B);
  S.OpenSession(&A);
  ASSERT_EQ(S.GetDataSetCount(), 3);
  S.CloseSession(&A); // the first listing goes
  ASSERT_EQ(S.GetDataSetCount(), 2);
  EXPECT_EQ(S.GetDataSet(0), &B);
  EXPECT_EQ(S.GetDataSet(1), &A);
  try {
    S.GetDataSet(2);
    FAIL() << "an index past the end did not raise";
  } catch (const EListError& E) {
    EXPECT_EQ(E.GetMessage(), "List index out of bounds (2)");
  }
  EXPECT_THROW(S.GetDataSet(-1), EListError);
  // Closing the connection drops the holds, not the listing.
  S.Close();
  EXPECT_EQ(S.GetOpenCount(), 0);
  EXPECT_EQ(S.GetDataSetCount(), 2);
}

TEST_F(SessionTest, DestroyedHoldingComponentLeavesTheList) {
  TRecordingSession S;
  auto Holder = std::make_unique<TComponent>(nullptr);
  TComponent Other(nullptr);
  S.OpenSession(Holder.get());
  S.OpenSession(&Other);
  S.OpenSession(Holder.get());
  Holder.reset();
  ASSERT_EQ(S.GetDataSetCount(), 1);
  EXPECT_EQ(S.GetDataSet(0), &Other);
  EXPECT_EQ(S.GetOpenCount(), 3); // the holds themselves are the holder's business
}

TEST_F(SessionTest, HoldingComponentOutlivesTheSession) {
  TComponent Holder(nullptr);
  {
    TRecordingSession S;
    S.OpenSession(&Holder);
  }
  // Nothing to observe but that the holder's destruction, after the session's,
  // does not reach a dead session (AddressSanitizer would object).
}

TEST_F(SessionTest, AdoptedHandleIsForgottenNotDisconnected) {
  TRecordingSession S;
  LogEvents(S);
  int Outside = 0;
  S.SetHandle(&Outside);
  EXPECT_EQ(Plain(S), (TCalls{"InternalLoadLibrary", "InternalInitLibrary", "BeforeConnect",
                              "InternalSetHandle(handle)", "AfterConnect"}));
  EXPECT_EQ(S.GetHandle(), &Outside);
  EXPECT_TRUE(S.GetHandleShared());
  EXPECT_EQ(S.GetAdoptedHandle(), &Outside);

  S.GetLog().Clear();
  S.Close();
  EXPECT_EQ(S.GetLog().Calls,
            (TCalls{"BeforeDisconnect", "InternalSetHandle(nil)", "AfterDisconnect"}));
  EXPECT_FALSE(S.GetHandleShared());
  EXPECT_EQ(S.GetAdoptedHandle(), nullptr);
}

TEST_F(SessionTest, SetHandleClosesFirstAndNullOnlyForgets) {
  TRecordingSession S;
  S.Open();
  int Outside = 0;
  S.GetLog().Clear();
  S.SetHandle(&Outside);
  EXPECT_EQ(Plain(S), (TCalls{"InternalDisconnect", "InternalSetHandle(handle)"}));

  S.GetLog().Clear();
  S.SetHandle(nullptr);
  EXPECT_EQ(S.GetLog().Calls, (TCalls{"InternalSetHandle(nil)", "InternalSetHandle(nil)"}));
  EXPECT_FALSE(S.GetConnected());
  EXPECT_FALSE(S.GetHandleShared());
}

TEST_F(SessionTest, DriverFailureReportedByResultIsRecorded) {
  TRecordingSession S;
  S.Open();
  EXPECT_TRUE(S.Execute("DELETE FROM T"));
  S.GetLog().FailAt("Execute", rfReturnFalse, false, -104, "no such table");
  EXPECT_FALSE(S.Execute("DELETE FROM T"));
  EXPECT_FALSE(S.Execute("DELETE FROM U")); // armed for every call
  EXPECT_EQ(S.GetLastError(), "no such table");
  EXPECT_EQ(S.GetLastErrorCode(), -104);
  EXPECT_EQ(Plain(S).back(), "Execute(DELETE FROM U)");
}

class EDriverSpecificError : public EZantrelException {
public:
  using EZantrelException::EZantrelException;
};

TEST_F(SessionTest, RaiseLastErrorRecordsThenRaisesTheGivenClass) {
  TRecordingSession S;
  EXPECT_THROW(S.RaiseLastError<EDriverSpecificError>("deadlock", -913), EDriverSpecificError);
  EXPECT_EQ(S.GetLastError(), "deadlock");
  EXPECT_EQ(S.GetLastErrorCode(), -913);
  EXPECT_THROW(S.RaiseLastError("plain", 0), EZantrelException);
  EXPECT_EQ(S.GetLastError(), "plain");
}

TEST_F(SessionTest, TranslateCharConvertsOnlyWhenAsked) {
  TRecordingSession S;
  char Text[] = "caf\xE9";
  char Out[] = "....";
  S.TranslateChar(Text, Out, 4, true);
  EXPECT_STREQ(Out, "...."); // OemConvert off: Dest untouched

  S.SetOemConvert(true);
  S.TranslateChar(Text, Text, 4, true); // in place
  EXPECT_STREQ(Text, "caf\x82");        // e acute in the OEM page
  S.TranslateChar(Text, Out, 4, false);
  EXPECT_STREQ(Out, "caf\xE9");
  S.TranslateChar(Text, Out, -1, true); // a negative length converts nothing
  EXPECT_STREQ(Out, "caf\xE9");
}

TEST_F(SessionTest, ConnectedReadFromAFormIsAppliedByLoaded) {
  TRecordingSession S;
  S.SetLoadingState(true);
  S.SetReadingState(true);
  S.SetConnected(true);
  EXPECT_FALSE(S.GetConnected());
  EXPECT_TRUE(S.GetLog().Calls.empty());
  S.SetReadingState(false);
  S.Loaded();
  EXPECT_TRUE(S.GetConnected());
  EXPECT_FALSE(S.InState(csLoading));
}

// Captures message boxes for the life of the object.
class TBoxCapture {
public:
  struct TBox {
    std::string Caption, Text;
    TMsgBoxIcon Icon;
  };
  TBoxCapture()
      : Previous(
            SetMessageBoxSink([this](const std::string& C, const std::string& T, TMsgBoxIcon I) {
              Boxes.push_back({C, T, I});
            })) {}
  ~TBoxCapture() { SetMessageBoxSink(Previous); }
  std::vector<TBox> Boxes;

private:
  TMessageBoxSink Previous;
};

TEST_F(SessionTest, FailedConnectWhileLoadingIsShownAtDesignTimeAndRaisedAtRunTime) {
  for (const bool Designing : {true, false}) {
    SCOPED_TRACE(Designing ? "design time" : "run time");
    TBoxCapture Capture;
    TRecordingSession S;
    S.SetDesigning(Designing);
    S.SetReadingState(true);
    S.SetConnected(true);
    S.SetReadingState(false);
    S.GetLog().FailAt("InternalConnect", rfRaise, true, -1, "host unreachable");
    if (Designing) {
      EXPECT_NO_THROW(S.Loaded());
      ASSERT_EQ(Capture.Boxes.size(), 1u);
      EXPECT_EQ(Capture.Boxes[0].Caption, "Zantrelix");
      EXPECT_EQ(Capture.Boxes[0].Text, "host unreachable");
      EXPECT_EQ(Capture.Boxes[0].Icon, mbIconError);
    } else {
      EXPECT_THROW(S.Loaded(), EZantrelException);
      EXPECT_TRUE(Capture.Boxes.empty());
    }
    EXPECT_FALSE(S.GetConnected());
  }
}

TEST_F(SessionTest, DestroyingDisconnectsSilentlyThenReleasesTheLibrary) {
  auto Log = std::make_shared<TRecordingLog>();
  {
    TRecordingSession S(nullptr, Log);
    LogEvents(S);
    S.OpenSession(nullptr);
    S.StartTransaction();
    Log->Clear();
  }
  EXPECT_EQ(Log->Calls,
            (TCalls{"InternalDisconnect", "SetLibraryLoaded(False)", "GetLibraryRefCount",
                    "SetLibraryRefCount(0)", "GetLibraryRefCount", "InternalFreeLibrary"}));
}

TEST_F(SessionTest, DriverErrorWhileDestroyingGoesToTheApplication) {
  std::vector<std::string> Reported;
  Application().OnException = [&Reported](TObject*, std::exception_ptr E) {
    try {
      std::rethrow_exception(E);
    } catch (const Exception& X) {
      Reported.push_back(X.GetMessage());
    }
  };
  auto Log = std::make_shared<TRecordingLog>();
  {
    TRecordingSession S(nullptr, Log);
    S.Open();
    Log->FailAt("InternalDisconnect", rfRaise, true, -1, "connection reset");
  }
  Application().OnException = nullptr;
  EXPECT_EQ(Reported, (std::vector<std::string>{"connection reset"}));
  // The library reference is given back all the same.
  EXPECT_EQ(Log->Calls.back(), "InternalFreeLibrary");
}

TEST_F(SessionTest, CloseUnpreparesEveryLinkedCursorBeforeDisconnecting) {
  TRecordingSession S;
  LogEvents(S);
  TRecordingSQL A(&S), B(&S);
  S.Open();
  ASSERT_TRUE(A.Open("select a", {}, true));
  ASSERT_TRUE(B.PrepareExecute("update b"));
  S.GetLog().Clear();
  S.Close();
  EXPECT_EQ(S.GetLog().Calls, (TCalls{"InternalClose", "InternalUnprepareOpen", "InternalClose",
                                      "InternalUnprepareExecute", "BeforeDisconnect",
                                      "InternalDisconnect", "AfterDisconnect"}));
  EXPECT_FALSE(A.GetPreparedForOpen());
  EXPECT_FALSE(B.GetPreparedForExecute());
  EXPECT_EQ(S.GetQueryCount(), 2); // closing does not unlink
}

TEST_F(SessionTest, DestroyingUnpreparesThenDetachesLinkedCursors) {
  auto Log = std::make_shared<TRecordingLog>();
  auto S = std::make_unique<TRecordingSession>(nullptr, Log);
  TRecordingSQL A(S.get()), B(S.get());
  S->Open();
  ASSERT_TRUE(A.Open("select a", {}, true));
  Log->Clear();
  S.reset();
  EXPECT_EQ(Log->Except({"GetLibraryRefCount", "SetLibraryRefCount", "SetLibraryLoaded"}),
            (TCalls{"InternalClose", "InternalUnprepareOpen", "InternalClose", "InternalDisconnect",
                    "InternalFreeLibrary"}));
  EXPECT_EQ(A.GetSessionObject(), nullptr);
  EXPECT_EQ(B.GetSessionObject(), nullptr);
  // The cursors outlive the session; their own destruction must not reach it.
}

TEST_F(SessionTest, OwnerDestroysItsSession) {
  auto Owner = std::make_unique<TComponent>(nullptr);
  auto* S = new TRecordingSession(Owner.get()); // handed to its owner
  S->Open();
  Owner.reset();
  // The fixture checks that the library reference was given back.
}

} // namespace
} // namespace ztl
