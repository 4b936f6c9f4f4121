// The record window: filling and scrolling, re-synchronisation, cursor
// tracking and bookmarks.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

#include "tests/framework/MemDataSet.h"

using namespace ztl;
using namespace ztl::test;

namespace {

// Rows 1..Rows shown through a link that asks for Buffers records at once.
struct Window {
  std::vector<std::string> Log; // first: outlives the dataset, which logs its close
  TMemDataSet DS;
  TDataSource Source;
  TLogLink Link;

  Window(int Rows, int Buffers) {
    DS.FillNumbers(Rows);
    DS.CallLog = &Log;
    DS.LogEvents();
    Source.SetDataSet(&DS);
    Link.SetBufferCount(Buffers);
    Link.SetDataSource(&Source);
  }
  int Id() { return DS.FieldByName("ID")->AsInteger(); }
};

std::vector<int> Range(int From, int To) {
  std::vector<int> Ids;
  for (int I = From; I <= To; ++I)
    Ids.push_back(I);
  return Ids;
}

} // namespace

TEST(DataSetRing, OpenFillsTheWindowAndScrollingFetchesOnlyNewRecords) {
  Window W(10, 3);
  W.DS.Open();
  EXPECT_EQ(W.DS.Fetched, Range(1, 3));
  EXPECT_EQ(W.DS.Held(), Range(1, 3));
  EXPECT_TRUE(W.DS.Bof());
  EXPECT_FALSE(W.DS.Eof());

  W.DS.Fetched.clear();
  for (int Expected = 2; Expected <= 6; ++Expected) {
    W.DS.Next();
    EXPECT_EQ(W.Id(), Expected);
  }
  EXPECT_EQ(W.DS.Fetched, Range(4, 6)); // 2 and 3 were already held
  EXPECT_EQ(W.DS.Held(), Range(4, 6));
  EXPECT_EQ(W.Link.ActiveRecord(), 2);

  W.DS.Last();
  EXPECT_EQ(W.DS.Held(), Range(8, 10));
  EXPECT_EQ(W.DS.GetActiveRecord(), 2);
  EXPECT_EQ(W.Id(), 10);
  EXPECT_TRUE(W.DS.Eof());
  EXPECT_FALSE(W.DS.Bof());

  int Steps = 0;
  while (!W.DS.Bof()) {
    W.DS.Prior();
    ++Steps;
  }
  EXPECT_EQ(Steps, 10); // nine moves, then the one that finds the start
  EXPECT_EQ(W.Id(), 1);
  EXPECT_EQ(W.DS.Held(), Range(1, 3));
  EXPECT_EQ(W.Link.ActiveRecord(), 0);
}

TEST(DataSetRing, MoveByReturnsTheDistanceActuallyMoved) {
  struct Case {
    int Before;   // records moved from the first before the call
    int Distance; // argument
    int Result;   // expected return
    int Id;       // record current afterwards
    bool Bof, Eof;
  };
  const Case Cases[] = {
      {0, 4, 4, 5, false, false},   {4, -20, -4, 1, true, false}, {0, 20, 9, 10, false, true},
      {9, 1, 0, 10, false, true},   {0, -1, 0, 1, true, false},   {3, 0, 0, 4, false, false},
      {9, -9, -9, 1, false, false},
  };
  for (const Case& C : Cases) {
    Window W(10, 3);
    W.DS.Open();
    W.DS.MoveBy(C.Before);
    EXPECT_EQ(W.DS.MoveBy(C.Distance), C.Result) << C.Before << " then " << C.Distance;
    EXPECT_EQ(W.Id(), C.Id) << C.Before << " then " << C.Distance;
    EXPECT_EQ(W.DS.Bof(), C.Bof) << C.Before << " then " << C.Distance;
    EXPECT_EQ(W.DS.Eof(), C.Eof) << C.Before << " then " << C.Distance;
  }
}

TEST(DataSetRing, ScrollEventsCarryTheWindowShift) {
  Window W(10, 3);
  W.DS.Open();
  W.Link.Calls.clear();
  W.DS.MoveBy(2); // inside the window
  W.DS.MoveBy(2); // two fetches into a full window
  W.DS.MoveBy(-4);
  // Each move first lets the links save pending edits.
  const std::vector<std::string> Expected{
      "CheckBrowseMode", "DataSetScrolled(0)",  "DataSetChanged", "RecordChanged(nil)",
      "CheckBrowseMode", "DataSetScrolled(2)",  "DataSetChanged", "RecordChanged(nil)",
      "CheckBrowseMode", "DataSetScrolled(-2)", "DataSetChanged", "RecordChanged(nil)"};
  EXPECT_EQ(W.Link.Calls, Expected);
}

TEST(DataSetRing, SmallAndEmptyResults) {
  Window Small(2, 5);
  Small.DS.Open();
  EXPECT_EQ(Small.DS.Held(), Range(1, 2));
  Small.DS.Next();
  EXPECT_EQ(Small.DS.MoveBy(1), 0);
  EXPECT_TRUE(Small.DS.Eof());
  EXPECT_EQ(Small.Link.RecordCount(), 2);

  Window Empty(0, 3);
  Empty.DS.Open();
  EXPECT_TRUE(Empty.DS.Bof());
  EXPECT_TRUE(Empty.DS.Eof());
  EXPECT_TRUE(Empty.DS.IsEmpty());
  EXPECT_EQ(Empty.DS.ActiveBuffer(), nullptr);
  EXPECT_TRUE(Empty.DS.FieldByName("ID")->IsNull());
  EXPECT_EQ(Empty.DS.MoveBy(1), 0);
  Empty.DS.Last();
  EXPECT_TRUE(Empty.DS.Bof() && Empty.DS.Eof());
}

TEST(DataSetRing, ChangingTheLinkBufferCountResizesTheWindow) {
  Window W(10, 1);
  W.DS.Open();
  W.DS.MoveBy(4);
  W.Link.SetBufferCount(5);
  EXPECT_EQ(W.DS.GetBufferCount(), 5);
  EXPECT_EQ(W.DS.GetBufferedCount(), 5);
  EXPECT_EQ(W.Id(), 5);
  EXPECT_EQ(W.DS.Held(), Range(5, 9));

  // While editing the change waits for the return to browse state.
  W.DS.Edit();
  W.Link.SetBufferCount(2);
  EXPECT_EQ(W.DS.GetBufferCount(), 5);
  W.DS.Cancel();
  EXPECT_EQ(W.DS.GetBufferCount(), 2);
  EXPECT_EQ(W.Id(), 5);
  W.DS.Close();
  EXPECT_EQ(W.DS.LiveBuffers, 0);
}

TEST(DataSetResync, CenterAndDisplayRow) {
  Window W(10, 5);
  W.DS.Open();
  W.DS.MoveBy(7); // record 8
  W.DS.Resync({rmCenter});
  EXPECT_EQ(W.Id(), 8);
  EXPECT_EQ(W.DS.GetActiveRecord(), 2);
  EXPECT_EQ(W.DS.Held(), Range(6, 10));

  W.DS.First();
  W.DS.MoveBy(3); // record 4 in row 3
  W.DS.UpdateCursorPos();
  W.DS.Resync({});
  EXPECT_EQ(W.Id(), 4);
  EXPECT_EQ(W.DS.GetActiveRecord(), 3);
  EXPECT_FALSE(W.DS.Bof());
  EXPECT_FALSE(W.DS.Eof());

  // Resync reads where the cursor stands, so a caller puts it on the active
  // record first. Near the end the window fills backwards, so the record
  // moves down.
  W.DS.Last();
  W.DS.UpdateCursorPos();
  W.DS.Resync({rmCenter});
  EXPECT_EQ(W.Id(), 10);
  EXPECT_EQ(W.DS.GetActiveRecord(), 4);
  EXPECT_EQ(W.DS.Held(), Range(6, 10));
}

TEST(DataSetResync, ExactRaisesForAVanishedRecordAndAnEmptyResultClears) {
  Window W(10, 3);
  W.DS.Open();
  W.DS.MoveBy(4);
  TBookmark Mark = W.DS.GetBookmark();
  W.DS.Rows.erase(W.DS.Rows.begin() + 4); // row 5 goes behind the dataset's back
  W.DS.Last();
  try {
    W.DS.GotoBookmark(Mark);
    FAIL() << "expected Record not found";
  } catch (const EDatabaseError& E) {
    EXPECT_STREQ(E.what(), "Record not found");
  }

  W.DS.Rows.clear();
  W.DS.Resync({});
  EXPECT_TRUE(W.DS.IsEmpty());
  EXPECT_TRUE(W.DS.Bof() && W.DS.Eof());
  EXPECT_EQ(W.DS.ActiveBuffer(), nullptr);
}

TEST(DataSetResync, UpdateCursorPosMovesOnlyWhenNeededAndNeverToANewRecord) {
  Window W(10, 3);
  W.DS.Open(); // the cursor stands on record 3, the active one is 1
  W.DS.UpdateCursorPos();
  EXPECT_EQ(W.DS.GotoCount, 1);
  W.DS.UpdateCursorPos();
  EXPECT_EQ(W.DS.GotoCount, 1);

  W.DS.Insert();
  W.DS.CursorPosChanged();
  W.DS.UpdateCursorPos();
  EXPECT_EQ(W.DS.GotoCount, 1);
  W.DS.Cancel();
  EXPECT_EQ(W.Id(), 1);
}

TEST(DataSetBookmarks, RoundTripAfterTheRecordLeftTheWindow) {
  Window W(10, 3);
  W.DS.Open();
  W.DS.Next();
  TBookmark Mark = W.DS.GetBookmark();
  ASSERT_EQ(Mark.size(), 8u);
  EXPECT_TRUE(W.DS.BookmarkValid(Mark.data()));
  W.DS.Last();
  TBookmark End = W.DS.GetBookmark();
  EXPECT_EQ(W.DS.CompareBookmarks(Mark.data(), End.data()), -1);

  W.Log.clear();
  W.DS.GotoBookmark(Mark);
  EXPECT_EQ(W.Id(), 2);
  EXPECT_EQ(W.DS.GetActiveRecord(), 1); // centred
  EXPECT_EQ(W.DS.Held(), Range(1, 3));
  EXPECT_EQ(W.Log, (std::vector<std::string>{"BeforeScroll", "AfterScroll"}));

  W.DS.GotoBookmark({}); // nothing
  EXPECT_EQ(W.Id(), 2);
  EXPECT_THROW(W.DS.GotoBookmark({1, 2, 3}), EDatabaseError);
}

TEST(DataSetBookmarks, NoneForANewRecordOrAClosedDataset) {
  Window W(3, 1);
  EXPECT_TRUE(W.DS.GetBookmark().empty());
  W.DS.Open();
  W.DS.Insert();
  EXPECT_TRUE(W.DS.GetBookmark().empty());
  EXPECT_EQ(W.DS.RecNo(), -1);
  W.DS.Cancel();
  EXPECT_FALSE(W.DS.GetBookmark().empty());
  EXPECT_EQ(W.DS.RecNo(), 1);
}

namespace {

struct TForwardMem : TMemDataSet {
  TForwardMem() { SetUniDirectional(true); }
};

// Rows 1..Rows of a dataset whose cursor only moves forward, shown through
// a link that asks for five records at once.
struct ForwardWindow {
  std::vector<std::string> Log;
  TForwardMem DS;
  TDataSource Source;
  TLogLink Link;

  explicit ForwardWindow(int Rows) {
    DS.FillNumbers(Rows);
    DS.CallLog = &Log;
    DS.LogEvents();
    Source.SetDataSet(&DS);
    Link.SetBufferCount(5);
    Link.SetDataSource(&Source);
  }
  int Id() { return DS.FieldByName("ID")->AsInteger(); }
};

} // namespace

TEST(DataSetUniDirectional, OneBufferWhateverTheLinksWantAndNoBookmarks) {
  ForwardWindow W(10);
  W.DS.Open();
  EXPECT_EQ(W.DS.GetBufferCount(), 1);
  EXPECT_EQ(W.DS.Fetched, Range(1, 1));
  W.DS.First(); // not moved yet: still allowed
  for (int Expected = 2; Expected <= 10; ++Expected) {
    W.DS.Next();
    EXPECT_EQ(W.Id(), Expected);
  }
  W.DS.Next();
  EXPECT_TRUE(W.DS.Eof());
  EXPECT_FALSE(W.DS.BookmarkAvailable());
  EXPECT_TRUE(W.DS.GetBookmark().empty());
}

TEST(DataSetUniDirectional, EveryWayBackRaisesBeforeAnyEvent) {
  ForwardWindow W(10);
  W.DS.Open();
  W.DS.MoveBy(3);
  const TBookmark Mark(static_cast<std::size_t>(W.DS.GetBookmarkSize()));
  const std::pair<const char*, std::function<void()>> Moves[] = {
      {"Prior", [&] { W.DS.Prior(); }},
      {"MoveBy", [&] { W.DS.MoveBy(-2); }},
      {"Last", [&] { W.DS.Last(); }},
      {"First", [&] { W.DS.First(); }},
      {"GotoBookmark", [&] { W.DS.GotoBookmark(Mark); }},
  };
  for (const auto& [Name, Move] : Moves) {
    SCOPED_TRACE(Name);
    W.Log.clear();
    try {
      Move();
      ADD_FAILURE() << "no error";
    } catch (const EDatabaseError& E) {
      EXPECT_NE(std::string(E.what()).find(SDataSetUnidirectional), std::string::npos);
    }
    EXPECT_TRUE(W.Log.empty()) << W.Log.front();
    EXPECT_EQ(W.Id(), 4);
  }
}
