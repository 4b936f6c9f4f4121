// Editing through the dataset's cursor: the changed-row check, posting with
// re-execution and repositioning, inserted rows found again by key values,
// delete and refresh.
#include "tests/dataset/test_dataset_search_util.h"

namespace ztl::test {
namespace {

using Rows = std::vector<std::vector<Variant>>;

Rows Parts() {
  return {{10, "bolt", Currency::FromDouble(1.5)},
          {20, "", Currency::FromDouble(0.25)},
          {30, "gear", Variant::Null()},
          {40, "pin", Currency::FromDouble(-2)}};
}

constexpr const char* RowChanged =
    "Couldn't perform the edit because another user changed the record";

struct DatasetEdit : SearchFixture {
  // Whether the calls in Expected appear in the log in this order.
  bool CalledInOrder(std::initializer_list<std::string> Expected) {
    auto At = Log().Calls.begin();
    for (const std::string& Call : Expected) {
      At = std::find(At, Log().Calls.end(), Call);
      if (At == Log().Calls.end())
        return false;
      ++At;
    }
    return true;
  }
  // Changes the server's rows behind the dataset's back.
  void ChangeServer(const std::function<void(Rows&)>& Change) {
    Rows Server = SQL().GetRows();
    Change(Server);
    SQL().SetResult(PartColumns(), std::move(Server));
  }
};

TEST_F(DatasetEdit, EditRereadsTheRowAndRefusesOneChangedBehindItsBack) {
  struct TCase {
    const char* Name;
    std::function<void(Rows&)> Change;
    bool Refused;
  };
  const TCase Cases[] = {
      {"unchanged", [](Rows&) {}, false},
      {"another row changed", [](Rows& R) { R[0][1] = "nail"; }, false},
      {"value changed", [](Rows& R) { R[1][0] = 21; }, true},
      // "" and null have the same bytes: only the indicator differs.
      {"null state only", [](Rows& R) { R[1][1] = Variant::Null(); }, true},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    OpenOn("select * from PARTS", Parts());
    Query->Next();
    ChangeServer(Case.Change);
    if (!Case.Refused) {
      Query->Edit();
      EXPECT_EQ(Query->State(), dsEdit);
      EXPECT_TRUE(CalledInOrder({"InternalMoveTo(1)", "FetchCurrent"}));
    } else {
      EXPECT_EQ(MessageOf<EDatabaseError>([&] { Query->Edit(); }), RowChanged);
      EXPECT_EQ(Query->State(), dsBrowse);
      EXPECT_EQ(Id(), 20) << "the record keeps what the user saw";
      // Every new Edit checks afresh.
      EXPECT_EQ(MessageOf<EDatabaseError>([&] { Query->Edit(); }), RowChanged);
    }
    Query->Close();
  }
}

TEST_F(DatasetEdit, RetryFromTheEditErrorHandlerSkipsTheCheck) {
  OpenOn("select * from PARTS", Parts());
  ChangeServer([](Rows& R) { R[0][1] = "nail"; });
  int Errors = 0;
  Query->OnEditError = [&](TDataSet*, EDatabaseError& E, TDataAction& Action) {
    EXPECT_STREQ(E.what(), RowChanged);
    ++Errors;
    Action = daRetry;
  };
  Query->Edit();
  EXPECT_EQ(Errors, 1);
  EXPECT_EQ(Query->State(), dsEdit);
}

TEST_F(DatasetEdit, PostUpdatesThroughTheCursorAndReturnsToTheRowNumber) {
  OpenOn("select * from PARTS", Parts());
  Query->Next();
  Query->Edit();
  Query->FieldByName("NAME")->SetValue("washer");
  Query->Post();
  EXPECT_EQ(SQL().GetRows()[1][1].AsString(), "washer");
  EXPECT_TRUE(CalledInOrder({"UpdateRecord", "InternalClose", "InternalOpen(False)",
                             "InternalMoveToFirst", "InternalMoveTo(1)"}));
  EXPECT_EQ(Id(), 20);
  EXPECT_EQ(Name(), "washer");
  EXPECT_EQ(Query->RecNo(), 2);
  EXPECT_TRUE(Query->Active()) << "closing the cursor for the re-execution keeps the dataset open";
}

TEST_F(DatasetEdit, FailedUpdateShowsTheDatabaseStateBeforeTheErrorSurfaces) {
  OpenOn("select * from PARTS", Parts());
  Log().FailAt("UpdateRecord", rfReturnFalse, true, -5, "row is locked");
  Query->Edit();
  Query->FieldByName("NAME")->SetValue("washer");
  EXPECT_EQ(MessageOf<EZantrelDatasetError>([&] { Query->Post(); }), "row is locked");
  EXPECT_TRUE(CalledInOrder({"UpdateRecord", "InternalClose", "InternalOpen(False)"}));
  EXPECT_EQ(Query->State(), dsEdit);
  EXPECT_EQ(SQL().GetRows()[0][1].AsString(), "bolt");
  Query->Cancel();
  EXPECT_EQ(Name(), "bolt");
}

TEST_F(DatasetEdit, AppendWithoutSyncInsertsEndsOnTheLastRow) {
  OpenOn("select * from PARTS", Parts());
  Query->Append();
  Query->FieldByName("ID")->SetValue(50);
  Query->Post();
  ASSERT_EQ(SQL().GetRows().size(), 5u);
  EXPECT_TRUE(CalledInOrder({"InsertRecord", "InternalOpen(False)", "InternalMoveToLast"}));
  EXPECT_EQ(Id(), 50);
  EXPECT_EQ(Query->RecNo(), 5);
  EXPECT_EQ(Query->FieldByName("NAME")->IsNull(), true);
}

TEST_F(DatasetEdit, SyncInsertsFindsTheNewRowWhereTheServerSortedIt) {
  struct TCase {
    const char* Name;
    std::vector<std::string> UniqueKey;
    bool ServerAltersRow;      // the database changes the row on insert
    std::size_t KeyFieldCount; // fields that identify a row
    int ExpectedId;            // current record after the post
  };
  const TCase Cases[] = {
      {"unique key", {"ID"}, false, 1, 25},
      {"unique key, altered row", {"id"}, true, 1, 25},
      {"all fields", {}, false, 3, 25},
      // Not found: an appended record falls back to the last row.
      {"all fields, altered row", {}, true, 3, 40},
      {"key column not in the result", {"SERIAL"}, true, 3, 40},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Query->SetSyncInserts(true);
    Query->UniqueKey = Case.UniqueKey;
    Query->BeforeExecute = [&] {
      Rows Server = SQL().GetRows();
      std::stable_sort(Server.begin(), Server.end(),
                       [](auto& A, auto& B) { return A[0].AsInteger() < B[0].AsInteger(); });
      if (Case.ServerAltersRow)
        for (auto& Row : Server)
          if (Row[0].AsInteger() == 25)
            Row[1] = "NEW";
      SQL().SetResult(PartColumns(), std::move(Server));
    };
    OpenOn("select * from PARTS order by ID", Parts());
    EXPECT_EQ(Query->KeyFields.size(), Case.KeyFieldCount);
    Query->Append();
    Query->FieldByName("ID")->SetValue(25);
    Query->FieldByName("NAME")->SetValue("new");
    Query->Post();
    EXPECT_EQ(Id(), Case.ExpectedId);
    Query->Close();
    Query->SetSyncInserts(false);
  }
}

TEST_F(DatasetEdit, KeyFieldsAreOnlyBuiltForSyncInsertsOnAModifiableDataset) {
  Query->UniqueKey = {"ID"};
  OpenOn("select * from PARTS", Parts());
  EXPECT_TRUE(Query->KeyFields.empty());
  Query->Close();
  Query->SetSyncInserts(true);
  Query->SetReadOnly(true);
  OpenOn("select * from PARTS", Parts());
  EXPECT_TRUE(Query->KeyFields.empty());
}

TEST_F(DatasetEdit, DeleteMakesTheFollowingRowCurrent) {
  OpenOn("select * from PARTS", Parts());
  Query->Next();
  Query->Delete();
  ASSERT_EQ(SQL().GetRows().size(), 3u);
  EXPECT_TRUE(CalledInOrder({"DeleteRecord", "InternalOpen(False)", "InternalMoveTo(1)"}));
  EXPECT_EQ(Id(), 30);
  EXPECT_EQ(Query->RecNo(), 2);
}

TEST_F(DatasetEdit, RefreshShowsTheServerRowsAtTheSameRowNumber) {
  OpenOn("select * from PARTS", Parts());
  Query->Next();
  ChangeServer([](Rows& R) { R[1][1] = "nut"; });
  Query->Refresh();
  EXPECT_EQ(Name(), "nut");
  EXPECT_EQ(Query->RecNo(), 2);

  // After Last the cursor goes to the end first, then back to the row.
  Query->Last();
  Log().Clear();
  Query->Refresh();
  EXPECT_TRUE(CalledInOrder(
      {"InternalOpen(False)", "InternalMoveToFirst", "InternalMoveToLast", "InternalMoveTo(3)"}));
  EXPECT_EQ(Id(), 40);
}

} // namespace
} // namespace ztl::test
