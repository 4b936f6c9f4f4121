// Searching the open result: Locate with each option, LocateNext, Lookup,
// the key searches over the ORDER BY index, early stops in sorted results
// and the index definitions built from the ORDER BY clause.
#include "framework/variant/DateUtils.h"
#include "tests/dataset/test_dataset_search_util.h"

namespace ztl::test {
namespace {

using Rows = std::vector<std::vector<Variant>>;

// Sorted by NAME (nulls first), as "order by NAME" delivers them.
Rows ByName() {
  return {{7, Variant::Null(), Variant::Null()},    {1, "Adams", Currency::FromDouble(-2.5)},
          {2, "Baker", Currency::FromDouble(-1)},   {3, "Smith", Currency::FromDouble(0.5)},
          {4, "Smithers", Currency::FromDouble(3)}, {5, "Young", Currency::FromDouble(12)}};
}

Rows Reversed(Rows R) {
  std::reverse(R.begin(), R.end());
  return R;
}

using DatasetLocate = SearchFixture;

TEST_F(DatasetLocate, LocateMatchesByEachOptionCombination) {
  struct TCase {
    const char* Fields;
    Variant Values;
    TLocateOptions Options;
    int ExpectedId; // 0: not found
  };
  const TCase Cases[] = {
      {"NAME", "Smith", {}, 3},
      {"NAME", "smith", {}, 0},
      {"NAME", "smith", {loCaseInsensitive}, 3},
      {"NAME", "Smi", {}, 0},
      {"NAME", "Smi", {loPartialKey}, 3},
      {"NAME", "smi", {loPartialKey}, 0},
      {"NAME", "smi", {loCaseInsensitive, loPartialKey}, 3},
      {"NAME", "Smithers", {loPartialKey}, 4},
      {"NAME", Variant::Null(), {}, 7},
      {"ID;NAME", VarArrayOf({4, "Smithers"}), {}, 4},
      {"ID;NAME", VarArrayOf({4, "Smith"}), {}, 0},
      {"PRICE", Currency::FromDouble(-1), {}, 2},
      {"ID", 99, {}, 0},
  };
  for (const char* Text : {"select * from PEOPLE", "select * from PEOPLE order by NAME"}) {
    OpenOn(Text, ByName());
    Query->Last(); // the search starts from the first row whatever is current
    for (std::size_t I = 0; I < std::size(Cases); ++I) {
      const TCase& Case = Cases[I];
      SCOPED_TRACE(std::string(Text) + ", case " + std::to_string(I));
      Query->First();
      const bool Found = Query->Locate(Case.Fields, Case.Values, Case.Options);
      EXPECT_EQ(Found, Case.ExpectedId != 0);
      EXPECT_EQ(Id(), Found ? Case.ExpectedId : 7) << "a failed search keeps the record";
    }
    Query->Close();
  }
}

TEST_F(DatasetLocate, LocateComparesTheCurrentRowFirstThenRescans) {
  OpenOn("select * from PEOPLE order by NAME", ByName());
  Query->MoveBy(3); // Smith
  Log().Clear();
  EXPECT_TRUE(Query->Locate("NAME", "Smith", {}));
  EXPECT_EQ(CountCalls("FetchNext"), 0) << "the current row matched without a scan";

  Log().Clear();
  EXPECT_TRUE(Query->Locate("NAME", "Adams", {}));
  EXPECT_EQ(Id(), 1) << "an earlier row is found by rescanning from the first";
}

TEST_F(DatasetLocate, SortedSearchStopsAtTheFirstRowAfterTheKey) {
  struct TCase {
    const char* Text;
    Rows Data;
    int Fetches; // rows read by the scan
  };
  const TCase Cases[] = {
      // Null, Adams, Baker, Smith: Smith sorts after M, the rest is not read.
      {"select * from PEOPLE order by NAME", ByName(), 4},
      // Young, Smithers, Smith, Baker: Baker sorts after M in this order.
      {"select * from PEOPLE order by NAME desc", Reversed(ByName()), 4},
      {"select * from PEOPLE", ByName(), 7}, // unsorted: every row, then the end
  };
  SQL().TextCollation = coBinary;
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Text);
    OpenOn(Case.Text, Case.Data);
    EXPECT_FALSE(Query->Locate("NAME", "M", {}));
    EXPECT_EQ(CountCalls("FetchNext"), Case.Fetches);
    Query->Close();
  }
}

// 'Zed' < 'abc' < 'zz' by bytes, but 'abc' < 'Zed' in the locale: a search
// that stopped by the locale's order at 'Zed' would miss 'abc'.
TEST_F(DatasetLocate, SortedSearchesStopOnlyUnderTheServersOwnOrder) {
  const Rows Data = {{1, "Zed", Currency::FromDouble(0)},
                     {2, "abc", Currency::FromDouble(0)},
                     {3, "zz", Currency::FromDouble(0)}};
  struct TCase {
    TZantrelCollation Collation;
    int LocateFetches; // rows read by a failed Locate of "b"
  };
  for (const TCase Case : {TCase{coBinary, 3}, TCase{coUnknown, 4}, TCase{coNoCase, 2}}) {
    SCOPED_TRACE(static_cast<int>(Case.Collation));
    SQL().TextCollation = Case.Collation;
    const Rows Sorted = Case.Collation == coNoCase
                            ? Rows{Data[1], Data[0], Data[2]} // abc, Zed, zz
                            : Data;
    OpenOn("select * from PEOPLE order by NAME", Sorted);
    EXPECT_TRUE(Query->Locate("NAME", "abc", {}));
    EXPECT_EQ(Id(), 2);
    EXPECT_TRUE(Query->FindKey({"abc"}));
    EXPECT_EQ(Id(), 2);
    EXPECT_TRUE(Query->FindKey({"zz"}));
    EXPECT_EQ(Id(), 3);
    Log().Clear();
    EXPECT_FALSE(Query->Locate("NAME", "b", {}));
    EXPECT_EQ(CountCalls("FetchNext"), Case.LocateFetches);
    if (Case.Collation != coUnknown) {
      Query->FindNearest({"b"});
      EXPECT_EQ(Id(), Case.Collation == coBinary ? 3 : 1) << "the first row after the key";
    }
    Query->Close();
  }
}

TEST_F(DatasetLocate, LocateNextSearchesForwardWithoutWrapping) {
  OpenOn("select * from PEOPLE", ByName());
  ASSERT_TRUE(Query->Locate("NAME", "smith", {loCaseInsensitive, loPartialKey}));
  EXPECT_EQ(Id(), 3);
  EXPECT_TRUE(Query->LocateNext("NAME", "smith", {loCaseInsensitive, loPartialKey}));
  EXPECT_EQ(Id(), 4);
  EXPECT_FALSE(Query->LocateNext("NAME", "smith", {loCaseInsensitive, loPartialKey}));
  EXPECT_EQ(Id(), 4);
}

TEST_F(DatasetLocate, ScrollEventsOnlyForAFoundRow) {
  OpenOn("select * from PEOPLE", ByName());
  std::vector<std::string> Events;
  Query->BeforeScroll = [&](TDataSet*) { Events.push_back("before"); };
  Query->AfterScroll = [&](TDataSet*) { Events.push_back("after"); };
  Query->Locate("NAME", "Baker", {});
  Query->Locate("NAME", "Nobody", {});
  EXPECT_EQ(Events, (std::vector<std::string>{"before", "after", "before"}));
}

TEST_F(DatasetLocate, LookupReadsTheFoundRowWithoutMovingTheRecord) {
  OpenOn("select * from PEOPLE", ByName());
  Query->Next();
  const Variant Both = Query->Lookup("ID", 4, "NAME;PRICE");
  ASSERT_TRUE(Both.IsArray());
  EXPECT_EQ(Both.GetElement(0).AsString(), "Smithers");
  EXPECT_EQ(Both.GetElement(1).AsDouble(), 3.0);
  EXPECT_TRUE(Query->Lookup("ID", 99, "NAME").IsNull());
  EXPECT_EQ(Id(), 1);
  EXPECT_EQ(Query->State(), dsBrowse);

  // After Last the cursor is put back at the end, found or not.
  Query->Last();
  for (const int Key : {2, 99}) {
    Log().Clear();
    Query->Lookup("ID", Key, "NAME");
    EXPECT_EQ(Log().Calls.back(), "InternalMoveToLast");
  }
  EXPECT_EQ(Id(), 5);
}

TEST_F(DatasetLocate, KeySearchOverTheOrderByIndex) {
  OpenOn("select * from PEOPLE order by NAME, ID",
         {{1, "Adams"}, {Variant::Null(), "Smith"}, {3, "Smith"}, {5, "Young"}});
  // With fewer values than index fields, the rest of the key is null.
  EXPECT_TRUE(Query->FindKey({"Smith"}));
  EXPECT_TRUE(Query->FieldByName("ID")->IsNull()) << "only the row whose ID is null";
  EXPECT_TRUE(Query->FindKey({"Smith", 3}));
  EXPECT_EQ(Id(), 3);
  EXPECT_FALSE(Query->FindKey({"Smith", 8}));
  EXPECT_TRUE(Query->FindKey({"Young", 5}));
  EXPECT_EQ(Id(), 5);
  EXPECT_FALSE(Query->FindKey({"Nobody"}));
  EXPECT_EQ(Id(), 5);

  Query->Close();
  OpenOn("select * from PEOPLE order by NAME", ByName());
  Query->FindNearest({"Bz"});
  EXPECT_EQ(Id(), 3) << "the first row after the key";
  Query->FindNearest({"Baker"});
  EXPECT_EQ(Id(), 2);
  Query->FindNearest({"Zz"});
  EXPECT_EQ(Query->RecNo(), 6) << "past every row: at the end";
}

TEST_F(DatasetLocate, AKeySetBeforeAReopenIsGoneEvenInTheSameBlock) {
  OpenOn("select * from PEOPLE order by NAME", ByName());
  Query->SetKeyFields({"Baker"});
  Query->Close();
  OpenOn("select * from PEOPLE order by NAME", ByName());
  // Whether or not the allocator hands back the old block, the old key is
  // no key: nothing is found by it.
  EXPECT_FALSE(Query->GotoKey());
}

TEST_F(DatasetLocate, KeySearchFollowsTheTypedOrderOfItsColumn) {
  // Money is a scaled integer in the driver's row format; a date is a
  // date-time there. Both must order as values, negatives included.
  std::vector<TRecordingColumn> Columns = {
      {"ID", ntInteger}, {"PRICE", ntCurrency}, {"DAY", ntDate}};
  const TDateTime Day = EncodeDate(2024, 5, 1);
  SQL().SetResult(Columns, {{1, Currency::FromDouble(-3), Variant::FromDateTime(Day - 2)},
                            {2, Currency::FromDouble(-1.25), Variant::FromDateTime(Day)},
                            {3, Currency::FromDouble(0), Variant::FromDateTime(Day + 1)},
                            {4, Currency::FromDouble(7.5), Variant::FromDateTime(Day + 30)}});
  for (const char* Order : {"PRICE", "DAY"}) {
    SCOPED_TRACE(Order);
    Query->GetSQL()->SetText(std::string("select * from T order by ") + Order);
    Query->Open();
    const bool Money = std::string(Order) == "PRICE";
    EXPECT_TRUE(Query->FindKey(
        {Money ? Variant(Currency::FromDouble(-1.25)) : Variant::FromDateTime(Day)}));
    EXPECT_EQ(Id(), 2);
    Query->FindNearest(
        {Money ? Variant(Currency::FromDouble(-2)) : Variant::FromDateTime(Day - 1)});
    EXPECT_EQ(Id(), 2);
    Query->FindNearest({Money ? Variant(Currency::FromDouble(1)) : Variant::FromDateTime(Day + 2)});
    EXPECT_EQ(Id(), 4);
    Query->Close();
  }
}

TEST_F(DatasetLocate, KeySearchNeedsAnOrderByIndex) {
  OpenOn("select * from PEOPLE order by 2", ByName());
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Query->FindKey({"Smith"}); }),
            "Missing or unsupported ORDER BY clause to build index");
  EXPECT_EQ(Query->State(), dsBrowse);
}

TEST_F(DatasetLocate, IndexItemsComeFromOrderByFieldsOfTheDataset) {
  struct TCase {
    const char* Text;
    std::vector<std::pair<std::string, bool>> Expected; // field name, descending
  };
  const TCase Cases[] = {
      {"select * from PEOPLE p order by p.NAME desc, ID", {{"NAME", true}, {"ID", false}}},
      {"select * from PEOPLE order by NAME DESCENDING", {{"NAME", true}}},
      // An item that is no field is left out; the others keep their own
      // directions.
      {"select * from PEOPLE order by 2, NAME desc", {{"NAME", true}}},
      {"select * from PEOPLE order by SALARY desc, ID", {{"ID", false}}},
      {"select * from PEOPLE", {}},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Text);
    OpenOn(Case.Text, ByName());
    const TZantrelIndexDefs& Index = *Query->IndexDefs;
    ASSERT_EQ(Index.Count(), static_cast<int>(Case.Expected.size()));
    for (int I = 0; I < Index.Count(); ++I) {
      EXPECT_EQ(Index.GetItem(I)->GetFieldName(), Case.Expected[I].first);
      EXPECT_EQ(Index.GetItem(I)->GetDescending(), Case.Expected[I].second);
      EXPECT_EQ(Index.GetFields()[I], Query->FieldByName(Case.Expected[I].first));
    }
    Query->Close();
    EXPECT_EQ(Index.Count(), 0);
  }
}

TEST(DatasetIndexDefs, AnUnknownFieldLeavesTheListAsItWas) {
  TRecordingSession Session;
  TSearchDataset Query(&Session);
  TZantrelIndexDefs Index(&Query);
  EXPECT_THROW(Index.Add("NOPE", false), EDatabaseError);
  EXPECT_EQ(Index.Count(), 0);
  EXPECT_TRUE(Index.GetFields().empty());

  TZantrelIndexDefs Free(nullptr);
  Free.Add("A", true);
  {
    TZantrelIndexDef Own(&Free, "B", false);
    EXPECT_EQ(Free.Count(), 2);
  }
  EXPECT_EQ(Free.Count(), 1) << "an item leaves its list when destroyed";
}

} // namespace
} // namespace ztl::test
