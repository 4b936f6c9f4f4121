// Tests of the string lists: sorting and duplicates, update batching, text
// and comma text, name=value pairs, index errors and persistence.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "framework/classes/Streams.h"
#include "framework/classes/Strings.h"

using namespace ztl;

namespace {

std::vector<std::string> Lines(const TStrings& L) {
  std::vector<std::string> R;
  for (int I = 0; I < L.Count(); ++I)
    R.push_back(L[I]);
  return R;
}

// Counts the events of a list.
struct TEventCounter {
  int Changing = 0;
  int Change = 0;
  explicit TEventCounter(TStringList& L) {
    L.OnChanging = [this](TObject*) { ++Changing; };
    L.OnChange = [this](TObject*) { ++Change; };
  }
};

} // namespace

TEST(StringListSorted, DuplicatePolicies) {
  struct Case {
    TDuplicates Dup;
    std::vector<std::string> Expected;
    int Index; // where Add reports the line
    bool Raises;
  };
  const Case Cases[] = {
      {dupIgnore, {"apple", "Banana", "cherry"}, 1, false},
      {dupAccept, {"apple", "Banana", "BANANA", "cherry"}, 2, false},
      {dupError, {"apple", "Banana", "cherry"}, 0, true},
  };
  for (const Case& C : Cases) {
    TStringList L;
    L.SetSorted(true);
    L.SetDuplicates(C.Dup);
    L.Add("cherry");
    L.Add("Banana");
    L.Add("apple");
    if (C.Raises) {
      EXPECT_THROW(L.Add("BANANA"), EListError);
    } else {
      EXPECT_EQ(L.Add("BANANA"), C.Index) << C.Dup;
    }
    EXPECT_EQ(Lines(L), C.Expected) << C.Dup;
  }
}

TEST(StringListSorted, IgnoredDuplicateKeepsItsObject) {
  TStringList L;
  L.SetSorted(true);
  TObject First, Second;
  L.AddObject("x", &First);
  EXPECT_EQ(L.AddObject("X", &Second), 0);
  EXPECT_EQ(L.Objects(0), &First);
}

TEST(StringListSorted, SwitchingOnSortsAndFindUsesCaseInsensitiveOrder) {
  TStringList L;
  for (const char* S : {"delta", "Alpha", "charlie", "bravo"})
    L.Add(S);
  L.SetSorted(true);
  EXPECT_EQ(Lines(L), (std::vector<std::string>{"Alpha", "bravo", "charlie", "delta"}));
  int Index = -1;
  EXPECT_TRUE(L.Find("CHARLIE", Index));
  EXPECT_EQ(Index, 2);
  EXPECT_FALSE(L.Find("beta", Index));
  EXPECT_EQ(Index, 1);
  EXPECT_EQ(L.IndexOf("DELTA"), 3);
  EXPECT_EQ(L.IndexOf("echo"), -1);
}

TEST(StringListSorted, OperationsThatBreakOrderAreRefused) {
  TStringList L;
  L.SetSorted(true);
  L.Add("a");
  L.Add("b");
  EXPECT_THROW(L.Insert(0, "z"), EListError);
  EXPECT_THROW(L.SetStrings(0, "z"), EListError);
  EXPECT_THROW(L.Exchange(0, 1), EListError);
  EXPECT_THROW(L.Move(0, 1), EListError);
  EXPECT_EQ(Lines(L), (std::vector<std::string>{"a", "b"}));
}

TEST(StringListIndex, OutOfRangeRaisesListErrorWithIndex) {
  TStringList L;
  L.Add("only");
  struct Case {
    const char* What;
    std::function<void()> Call;
    const char* Message;
  };
  const Case Cases[] = {
      {"get", [&] { (void)L.Strings(1); }, "List index out of bounds (1)"},
      {"get negative", [&] { (void)L.Strings(-1); }, "List index out of bounds (-1)"},
      {"put", [&] { L.SetStrings(5, "x"); }, "List index out of bounds (5)"},
      {"delete", [&] { L.Delete(1); }, "List index out of bounds (1)"},
      {"insert past end", [&] { L.Insert(2, "x"); }, "List index out of bounds (2)"},
      {"object", [&] { (void)L.Objects(3); }, "List index out of bounds (3)"},
      {"exchange", [&] { L.Exchange(0, 4); }, "List index out of bounds (4)"},
      {"move target", [&] { L.Move(0, 1); }, "List index out of bounds (1)"},
  };
  for (const Case& C : Cases) {
    try {
      C.Call();
      ADD_FAILURE() << C.What << " did not raise";
    } catch (const EListError& E) {
      EXPECT_STREQ(E.what(), C.Message) << C.What;
    }
  }
  EXPECT_EQ(Lines(L), std::vector<std::string>{"only"});
}

TEST(StringListEdit, MoveExchangeAndInsertKeepObjects) {
  TStringList L;
  TObject O[4];
  for (int I = 0; I < 4; ++I)
    L.AddObject(std::string(1, static_cast<char>('a' + I)), &O[I]);
  L.Move(0, 3);
  EXPECT_EQ(Lines(L), (std::vector<std::string>{"b", "c", "d", "a"}));
  EXPECT_EQ(L.Objects(3), &O[0]);
  L.Move(3, 1);
  EXPECT_EQ(Lines(L), (std::vector<std::string>{"b", "a", "c", "d"}));
  L.Exchange(0, 3);
  EXPECT_EQ(Lines(L), (std::vector<std::string>{"d", "a", "c", "b"}));
  EXPECT_EQ(L.Objects(0), &O[3]);
  L.InsertObject(4, "e", &O[0]);
  EXPECT_EQ(L.IndexOfObject(&O[0]), 1);
}

TEST(StringListUpdate, EventsBatchedUntilOutermostEndUpdate) {
  TStringList L;
  TEventCounter Ev(L);
  L.Add("a");
  EXPECT_EQ(Ev.Changing, 1);
  EXPECT_EQ(Ev.Change, 1);

  L.BeginUpdate();
  L.BeginUpdate();
  L.Add("b");
  L.Delete(0);
  L.EndUpdate();
  EXPECT_EQ(Ev.Change, 1) << "inner EndUpdate must not fire";
  L.Add("c");
  L.EndUpdate();
  EXPECT_EQ(Ev.Changing, 2);
  EXPECT_EQ(Ev.Change, 2);

  // A batch without changes fires nothing.
  L.BeginUpdate();
  L.EndUpdate();
  EXPECT_EQ(Ev.Change, 2);

  // Whole-list operations are one batch each.
  L.SetText("x\ny\nz");
  L.SetCommaText("p,q");
  TStringList Other;
  Other.Add("r");
  L.Assign(&Other);
  EXPECT_EQ(Ev.Change, 5);
  EXPECT_EQ(Ev.Changing, 5);

  // An unbalanced EndUpdate does not silence later notifications.
  L.EndUpdate();
  L.Add("s");
  EXPECT_EQ(Ev.Change, 6);
}

TEST(StringListUpdate, ThrowingHandlerDoesNotLeaveListInUpdate) {
  TStringList L;
  L.Add("a");
  L.OnChange = [](TObject*) { throw Exception("handler"); };
  EXPECT_THROW(L.SetText("x\ny"), Exception);
  EXPECT_EQ(L.GetUpdateCount(), 0);
  EXPECT_EQ(L.Count(), 2);
}

TEST(StringsText, SplitsAtEveryLineBreakKind) {
  struct Case {
    const char* Text;
    std::vector<std::string> Lines;
  };
  const Case Cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb", {"a", "b"}},
      {"a\rb\r", {"a", "b"}},
      {"a\n\nb", {"a", "", "b"}},
      {"a\n\r b", {"a", "", " b"}},
      {"\r\n", {""}},
      {"a\r\n\r\n", {"a", ""}},
  };
  for (const Case& C : Cases) {
    TStringList L;
    L.SetText(C.Text);
    EXPECT_EQ(Lines(L), C.Lines) << '"' << C.Text << '"';
  }
}

TEST(StringsText, GetTextEndsEveryLineWithCrLfAndRoundTrips) {
  TStringList L;
  L.SetText("one\ntwo\r\n\rthree");
  EXPECT_EQ(L.GetText(), "one\r\ntwo\r\n\r\nthree\r\n");
  TStringList Back;
  Back.SetText(L.GetText());
  EXPECT_TRUE(Back.Equals(L));
}

TEST(StringsCommaText, QuotesWhatWouldNotSurviveAndReadsBack) {
  TStringList L;
  for (const char* S : {"plain", "with space", "a,b", "say \"hi\"", ""})
    L.Add(S);
  EXPECT_EQ(L.GetCommaText(), "plain,\"with space\",\"a,b\",\"say \"\"hi\"\"\",\"\"");
  TStringList Back;
  Back.SetCommaText(L.GetCommaText());
  EXPECT_TRUE(Back.Equals(L)) << "an empty last item must survive";

  Back.SetCommaText("  a b , ,\"c\"\"d");
  EXPECT_EQ(Lines(Back), (std::vector<std::string>{"a", "b", "", "c\"d"}));
}

TEST(StringsValues, NameValuePairs) {
  TStringList L;
  L.SetText("Host=localhost\nPort=5432\nflag\nUser=a=b");
  EXPECT_EQ(L.Names(0), "Host");
  EXPECT_EQ(L.Names(2), "");
  EXPECT_EQ(L.IndexOfName("PORT"), 1);
  EXPECT_EQ(L.IndexOfName("flag"), -1);
  EXPECT_EQ(L.Values("user"), "a=b");
  EXPECT_EQ(L.Values("missing"), "");
  L.SetValues("port", "6000");
  EXPECT_EQ(L[1], "port=6000");
  L.SetValues("Db", "main");
  EXPECT_EQ(L[4], "Db=main");
  L.SetValues("Host", "");
  EXPECT_EQ(L.IndexOfName("Host"), -1);
  EXPECT_EQ(L.Count(), 4);
}

TEST(StringsAssign, CopiesListsAndRefusesOtherClasses) {
  TStringList Source;
  TObject O;
  Source.AddObject("x", &O);
  Source.Add("y");
  TStringList Target;
  Target.Add("old");
  Target.Assign(&Source);
  EXPECT_TRUE(Target.Equals(Source));
  EXPECT_EQ(Target.Objects(0), &O);
  Target.Assign(&Target);
  EXPECT_EQ(Target.Count(), 2);

  TPersistent Other;
  try {
    Target.Assign(&Other);
    ADD_FAILURE() << "no error";
  } catch (const EConvertError& E) {
    EXPECT_STREQ(E.what(), "Cannot assign a TPersistent to a TStringList");
  }
  EXPECT_EQ(Target.Count(), 2);
  Target.AddStrings(Target);
  EXPECT_EQ(Target.Count(), 4);
}

TEST(StringsPersistence, StreamAndFileRoundTrip) {
  TStringList L;
  L.SetText("first\nsecond line\n\nlast");
  TMemoryStream M;
  M.WriteString("prefix");
  L.SaveToStream(M);
  M.SetPosition(6); // loading reads from the position to the end
  TStringList Back;
  Back.LoadFromStream(M);
  EXPECT_TRUE(Back.Equals(L));

  const std::string File = testing::TempDir() + "ztl_strings_roundtrip.txt";
  L.SaveToFile(File);
  TStringList FromFile;
  FromFile.Add("stale");
  FromFile.LoadFromFile(File);
  EXPECT_TRUE(FromFile.Equals(L));
  std::remove(File.c_str());

  EXPECT_THROW(FromFile.LoadFromFile(File), EFOpenError);
  EXPECT_TRUE(FromFile.Equals(L)) << "a failed load leaves the list";
}
