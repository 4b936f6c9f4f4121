// The session's connection lifecycle, library reference, transactions,
// holds, adopted handles, loading from a form and destruction, observed
// through the recording driver.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/ZtlBase.h"
#include "framework/rtl/Application.h"
#include "framework/rtl/Dialogs.h"
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

  // The calls without the library bookkeeping.
  static TCalls Plain(const TRecordingLog& Log) {
    return Log.Except({"GetLibraryRefCount", "SetLibraryRefCount", "SetLibraryLoaded"});
  }
};

TEST_F(SessionTest, OpenAndCloseRunBetweenTheirEventsAndKeepTheLibrary) {
  TRecordingSession S;
  LogEvents(S);
  S.Open();
  S.Open(); // already connected: nothing
  EXPECT_EQ(S.GetLog().Calls,
            (TCalls{"GetLibraryRefCount", "InternalLoadLibrary", "InternalInitLibrary",
                    "GetLibraryRefCount", "SetLibraryRefCount(1)", "SetLibraryLoaded(True)",
                    "BeforeConnect", "InternalSetHandle(nil)", "InternalConnect", "AfterConnect"}));
  EXPECT_TRUE(S.GetConnected());

  S.GetLog().Clear();
  S.Close();
  S.Close(); // already closed: nothing
  S.Open();  // reopening takes no second reference
  EXPECT_EQ(S.GetLog().Calls,
            (TCalls{"BeforeDisconnect", "InternalDisconnect", "AfterDisconnect", "BeforeConnect",
                    "InternalSetHandle(nil)", "InternalConnect", "AfterConnect"}));
  EXPECT_EQ(TRecordingSession::GetDriverLibraryRefCount(), 1);
}

TEST_F(SessionTest, LibraryIsSharedByTheDriversSessionsAndFreedWithTheLast) {
  const auto Log = std::make_shared<TRecordingLog>();
  auto First = std::make_unique<TRecordingSession>(nullptr, Log);
  auto Second = std::make_unique<TRecordingSession>(nullptr, Log);
  First->Open();
  Log->Clear();
  Second->Open();
  EXPECT_EQ(Log->Except({"GetLibraryRefCount"}),
            (TCalls{"SetLibraryRefCount(2)", "SetLibraryLoaded(True)", "InternalSetHandle(nil)",
                    "InternalConnect"}));

  Log->Clear();
  First.reset();
  EXPECT_TRUE(TRecordingSession::GetDriverLibraryLoaded());
  EXPECT_EQ(Log->Except({"GetLibraryRefCount"}),
            (TCalls{"InternalDisconnect", "SetLibraryLoaded(False)", "SetLibraryRefCount(1)"}));

  Log->Clear();
  Second.reset();
  EXPECT_EQ(Log->Except({"GetLibraryRefCount"}),
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
    S.Open(); // the failure was armed once: the retry loads and connects
    EXPECT_EQ(TRecordingSession::GetDriverLibraryRefCount(), 1);
  }
}

TEST_F(SessionTest, FailedConnectLeavesSessionDisconnectedButReferenced) {
  struct TCase {
    TRecordingFailMode Mode; // raise, or return without a handle
    const char* Message;     // what Open raises
    std::int32_t Code;
  };
  for (const TCase& Case :
       {TCase{rfRaise, "server gone", -7}, TCase{rfReturnFalse, "Invalid database handle", 0}}) {
    SCOPED_TRACE(Case.Message);
    TRecordingSession S;
    LogEvents(S);
    S.GetLog().FailAt("InternalConnect", Case.Mode, true, -7, "server gone");
    try {
      S.Open();
      ADD_FAILURE() << "Open did not raise";
    } catch (const EZantrelException& E) {
      EXPECT_EQ(E.GetMessage(), Case.Message);
      EXPECT_EQ(E.GetErrorCode(), Case.Code);
    }
    EXPECT_EQ(S.GetLog().Calls.back(), "InternalConnect"); // no AfterConnect
    EXPECT_FALSE(S.GetConnected());
    EXPECT_TRUE(S.GetLibraryLoaded());
    EXPECT_EQ(S.GetLastError(), Case.Message);
  }
}

TEST_F(SessionTest, UserTransactions) {
  TRecordingSession S;
  S.Open();
  S.GetLog().Clear();
  S.StartTransaction();
  try {
    S.StartTransaction();
    ADD_FAILURE() << "a second StartTransaction did not raise";
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
}

TEST_F(SessionTest, TransactionStartedInAfterConnectSurvivesTheOpen) {
  TRecordingSession S;
  S.AfterConnect = [&S](TObject*) { S.StartTransaction(); };
  S.Open();
  EXPECT_TRUE(S.GetInTransaction());
}

TEST_F(SessionTest, HoldsAndKeepConnectionDecideWhenToDisconnect) {
  enum TAction { Hold, Release, KeepOff, KeepOn };
  struct TStep {
    TAction Action;
    bool Connected; // state after the step
    int OpenCount;
  };
  const TStep Steps[] = {
      {Hold, true, 1},     {Hold, true, 2},     {KeepOff, true, 2}, {Release, true, 1},
      {Release, false, 0}, {Release, false, 0}, {KeepOn, false, 0}, {Hold, true, 1},
      {Release, true, 0},  {KeepOff, false, 0},
  };
  TRecordingSession S;
  for (std::size_t I = 0; I < std::size(Steps); ++I) {
    SCOPED_TRACE(I);
    switch (Steps[I].Action) {
    case Hold:
      S.OpenSession(nullptr);
      break;
    case Release:
      S.CloseSession(nullptr);
      break;
    case KeepOff:
      S.SetKeepConnection(false);
      break;
    case KeepOn:
      S.SetKeepConnection(true);
      break;
    }
    EXPECT_EQ(S.GetConnected(), Steps[I].Connected);
    EXPECT_EQ(S.GetOpenCount(), Steps[I].OpenCount);
  }
}

TEST_F(SessionTest, HoldingComponentsAreListedPerCallAndNeverDangle) {
  TRecordingSession S;
  auto A = std::make_unique<TComponent>(nullptr);
  TComponent B(nullptr);
  S.OpenSession(A.get());
  S.OpenSession(&B);
  S.OpenSession(A.get());
  S.OpenSession(&B);
  S.CloseSession(&B); // the first listing goes
  ASSERT_EQ(S.GetDataSetCount(), 3);
  EXPECT_EQ(S.GetDataSet(2), &B);
  try {
    S.GetDataSet(3);
    ADD_FAILURE() << "an index past the end did not raise";
  } catch (const EListError& E) {
    EXPECT_EQ(E.GetMessage(), "List index out of bounds (3)");
  }
  EXPECT_THROW(S.GetDataSet(-1), EListError);

  A.reset(); // destroyed while listed: every listing goes, the holds stay
  ASSERT_EQ(S.GetDataSetCount(), 1);
  EXPECT_EQ(S.GetDataSet(0), &B);
  EXPECT_EQ(S.GetOpenCount(), 3);
  // B outlives the session; its destruction must not reach it (ASan).
}

TEST_F(SessionTest, AdoptedHandleIsForgottenNotDisconnected) {
  TRecordingSession S;
  LogEvents(S);
  S.Open();
  int Outside = 0;
  S.GetLog().Clear();
  S.SetHandle(&Outside); // closes the own connection first
  EXPECT_EQ(Plain(S.GetLog()),
            (TCalls{"BeforeDisconnect", "InternalDisconnect", "AfterDisconnect", "BeforeConnect",
                    "InternalSetHandle(handle)", "AfterConnect"}));
  EXPECT_EQ(S.GetHandle(), &Outside);
  EXPECT_TRUE(S.GetHandleShared());

  S.GetLog().Clear();
  S.SetHandle(nullptr);
  EXPECT_EQ(S.GetLog().Calls, (TCalls{"BeforeDisconnect", "InternalSetHandle(nil)",
                                      "AfterDisconnect", "InternalSetHandle(nil)"}));
  EXPECT_FALSE(S.GetConnected());
  EXPECT_FALSE(S.GetHandleShared());
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
  struct TCase {
    bool Designing, Fails;
    bool Raises; // Loaded lets the error through
    bool Boxed;  // the error is shown in a message box
  };
  for (const TCase& Case : {TCase{false, false, false, false}, TCase{true, true, false, true},
                            TCase{false, true, true, false}}) {
    SCOPED_TRACE(::testing::Message() << Case.Designing << Case.Fails);
    std::vector<std::string> Boxes;
    const TMessageBoxSink Previous = SetMessageBoxSink(
        [&Boxes](const std::string& Caption, const std::string& Text, TMsgBoxIcon Icon) {
          Boxes.push_back(Caption + "|" + Text + "|" + (Icon == mbIconError ? "error" : "?"));
        });
    TRecordingSession S;
    S.SetDesigning(Case.Designing);
    S.SetReadingState(true);
    S.SetConnected(true);
    S.SetReadingState(false);
    EXPECT_FALSE(S.GetConnected()); // only remembered while reading
    if (Case.Fails)
      S.GetLog().FailAt("InternalConnect", rfRaise, true, -1, "host unreachable");
    if (Case.Raises)
      EXPECT_THROW(S.Loaded(), EZantrelException);
    else
      EXPECT_NO_THROW(S.Loaded());
    SetMessageBoxSink(Previous);
    EXPECT_EQ(S.GetConnected(), !Case.Fails);
    EXPECT_EQ(Boxes, Case.Boxed ? TCalls{"Zantrelix|host unreachable|error"} : TCalls{});
  }
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
  EXPECT_EQ(S.GetQueryCount(), 2); // closing does not unlink
}

TEST_F(SessionTest, DestroyingClosesSilentlyReleasesTheLibraryAndDetachesCursors) {
  auto Log = std::make_shared<TRecordingLog>();
  auto S = std::make_unique<TRecordingSession>(nullptr, Log);
  LogEvents(*S);
  TRecordingSQL A(S.get()), B(S.get());
  S->OpenSession(nullptr);
  S->StartTransaction();
  ASSERT_TRUE(A.Open("select a", {}, true));
  Log->Clear();
  S.reset();
  EXPECT_EQ(Log->Calls,
            (TCalls{"InternalClose", "InternalUnprepareOpen", "InternalClose", "InternalDisconnect",
                    "SetLibraryLoaded(False)", "GetLibraryRefCount", "SetLibraryRefCount(0)",
                    "GetLibraryRefCount", "InternalFreeLibrary"}));
  EXPECT_EQ(A.GetSessionObject(), nullptr);
  EXPECT_EQ(B.GetSessionObject(), nullptr);
  // The cursors outlive the session; their destruction must not reach it.
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
  EXPECT_EQ(Reported, TCalls{"connection reset"});
  EXPECT_EQ(Log->Calls.back(), "InternalFreeLibrary"); // released all the same
}

} // namespace
} // namespace ztl
