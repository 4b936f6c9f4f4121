// Editing: every edit path with its events in order, and the error actions
// of the edit, post and delete error events.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "tests/framework/MemDataSet.h"
#include "tests/framework/test_dataset_util.h"

using namespace ztl;
using namespace ztl::test;

namespace {

// A table of ID (integer) and NAME (string 10), rows 1..Rows named "r<n>".
struct Table {
  Calls Log;
  TMemDataSet DS;

  explicit Table(int Rows = 10) {
    DS.AddColumn("ID", ftInteger);
    DS.AddColumn("NAME", ftString, 10);
    for (int I = 1; I <= Rows; ++I)
      DS.AddRow({Variant(I), Variant("r" + std::to_string(I))});
    DS.CallLog = &Log;
    DS.LogEvents();
    DS.Open();
    Log.clear();
  }
  TField* Id() { return DS.FieldByName("ID"); }
  TField* Name() { return DS.FieldByName("NAME"); }
  std::string StoredName(int Row) {
    const TMemCell& Cell = DS.Rows[static_cast<std::size_t>(Row)].Cells[1];
    return Cell.Null ? "<null>" : std::string(reinterpret_cast<const char*>(Cell.Data.data()));
  }
};

} // namespace

TEST(DataSetEdit, EditThenPostWritesTheRecord) {
  Table T;
  T.DS.Next();
  T.DS.Edit();
  EXPECT_EQ(T.DS.State(), dsEdit);
  T.Name()->SetAsString("changed");
  EXPECT_TRUE(T.DS.Modified());
  T.DS.Post();
  EXPECT_EQ(T.DS.State(), dsBrowse);
  EXPECT_EQ(T.StoredName(1), "changed");
  EXPECT_EQ(T.Name()->AsString(), "changed");
  EXPECT_EQ(T.Log, (Calls{"BeforeScroll", "AfterScroll", "BeforeEdit", "InternalEdit", "AfterEdit",
                          "BeforePost", "InternalPost", "AfterPost"}));
}

TEST(DataSetEdit, OldAndNewValuesWhileEditing) {
  Table T;
  T.DS.Edit();
  T.Name()->SetAsString("changed");
  EXPECT_EQ(T.Name()->OldValue().AsString(), "r1");
  EXPECT_EQ(T.Name()->NewValue().AsString(), "changed");
  EXPECT_EQ(T.DS.State(), dsEdit);
  T.DS.Cancel();
}

TEST(DataSetEdit, EditThenCancelRestoresTheValues) {
  Table T;
  T.DS.Edit();
  T.Name()->SetAsString("changed");
  T.DS.Cancel();
  EXPECT_EQ(T.Name()->AsString(), "r1");
  EXPECT_EQ(T.StoredName(0), "r1");
  EXPECT_FALSE(T.DS.Modified());
  EXPECT_EQ(T.Log, (Calls{"BeforeEdit", "InternalEdit", "AfterEdit", "BeforeCancel",
                          "InternalCancel", "AfterCancel"}));
}

TEST(DataSetEdit, CancelledInsertAndAppendReturnToTheirRecords) {
  Table T;
  T.DS.MoveBy(4);
  T.Log.clear();
  T.DS.Insert();
  EXPECT_EQ(T.DS.State(), dsInsert);
  EXPECT_TRUE(T.Id()->IsNull());
  EXPECT_EQ(T.Log, (Calls{"BeforeInsert", "BeforeScroll", "InternalInsert", "OnNewRecord",
                          "AfterInsert", "AfterScroll"}));
  T.DS.Cancel();
  EXPECT_EQ(T.Id()->AsInteger(), 5);
  EXPECT_EQ(T.DS.Rows.size(), 10u);

  T.DS.First();
  T.DS.Append();
  EXPECT_TRUE(T.DS.Eof());
  T.DS.Cancel();
  EXPECT_EQ(T.Id()->AsInteger(), 10);
  EXPECT_EQ(T.DS.Rows.size(), 10u);
}

TEST(DataSetEdit, PostedInsertAndAppendLandWhereAsked) {
  Table T;
  T.DS.MoveBy(2);
  T.DS.Insert();
  T.Id()->SetAsInteger(100);
  T.DS.Post();
  EXPECT_EQ(T.Id()->AsInteger(), 100);
  EXPECT_EQ(T.DS.RecNo(), 3); // before the record that was current

  T.DS.Append();
  T.Id()->SetAsInteger(200);
  T.Name()->SetAsString("last");
  T.DS.Post();
  EXPECT_EQ(T.Id()->AsInteger(), 200);
  EXPECT_EQ(T.DS.RecNo(), 12);
  EXPECT_EQ(T.StoredName(11), "last");
}

TEST(DataSetEdit, DeleteAndRefresh) {
  Table T;
  T.DS.Last();
  T.Log.clear();
  T.DS.Delete();
  EXPECT_EQ(T.Id()->AsInteger(), 9);
  EXPECT_EQ(T.DS.Rows.size(), 9u);
  EXPECT_EQ(T.Log, (Calls{"BeforeDelete", "BeforeScroll", "InternalDelete", "AfterDelete",
                          "AfterScroll"}));

  T.DS.First();
  T.DS.Delete();
  EXPECT_EQ(T.Id()->AsInteger(), 2); // the following record becomes current

  T.DS.Rows[0].Cells[1] = TMemDataSet::Encode(T.DS.Columns[1], Variant("outside"));
  T.Log.clear();
  T.DS.Refresh();
  EXPECT_EQ(T.Name()->AsString(), "outside");
  EXPECT_EQ(T.Log, (Calls{"BeforeRefresh", "InternalRefresh", "AfterRefresh"}));
}

TEST(DataSetEdit, RefusalsAndTheirTexts) {
  Table Empty(0);
  Empty.DS.Edit(); // an empty dataset inserts instead
  EXPECT_EQ(Empty.DS.State(), dsInsert);
  EXPECT_EQ(Empty.Log.front(), "BeforeInsert");
  Empty.DS.Cancel();
  EXPECT_EQ(MessageOf([&] { Empty.DS.Delete(); }),
            "Cannot perform this operation on an empty dataset");

  Table T;
  EXPECT_EQ(MessageOf([&] { T.DS.Post(); }), "Dataset not in edit or insert mode");
  EXPECT_EQ(MessageOf([&] { T.Name()->SetAsString("x"); }), "Dataset not in edit or insert mode");
  T.DS.CanModifyFlag = false;
  EXPECT_EQ(MessageOf([&] { T.DS.Edit(); }), "Cannot modify a read-only dataset");
  EXPECT_TRUE(T.Log.empty()); // refused before BeforeEdit
  T.DS.CanModifyFlag = true;

  T.Name()->SetReadOnly(true);
  T.DS.Edit();
  EXPECT_EQ(MessageOf([&] { T.Name()->SetAsString("x"); }), "Field 'NAME' cannot be modified");
  T.DS.Cancel();

  // Deleting a new record cancels it.
  T.DS.Insert();
  T.Log.clear();
  T.DS.Delete();
  EXPECT_EQ(T.DS.State(), dsBrowse);
  EXPECT_EQ(T.Log.front(), "BeforeCancel");
  EXPECT_EQ(T.DS.Rows.size(), 10u);
}

TEST(DataSetEdit, RequiredFieldsMustHaveAValue) {
  Table T;
  T.Id()->SetRequired(true);
  T.DS.Append();
  EXPECT_EQ(MessageOf([&] { T.DS.Post(); }), "Field 'ID' must have a value");
  EXPECT_EQ(T.DS.State(), dsInsert);
  T.Id()->SetAsInteger(11);
  T.DS.Post();
  EXPECT_EQ(T.DS.Rows.size(), 11u);
}

TEST(DataSetEdit, CheckBrowseModePostsChangesAndCancelsTheRest) {
  Table T;
  T.DS.Edit();
  T.Name()->SetAsString("kept");
  T.DS.Next(); // scrolling while editing posts
  EXPECT_EQ(T.StoredName(0), "kept");
  EXPECT_EQ(T.Id()->AsInteger(), 2);

  T.DS.Edit();
  T.Log.clear();
  T.DS.CheckBrowseMode();
  EXPECT_EQ(T.Log, (Calls{"BeforeCancel", "InternalCancel", "AfterCancel"}));
}

TEST(DataSetEdit, DefaultsOfOnNewRecordLeaveTheRecordUnmodified) {
  Table T;
  T.DS.OnNewRecord = [](TDataSet* DS) { DS->FieldByName("NAME")->SetAsString("default"); };
  T.DS.Append();
  EXPECT_FALSE(T.DS.Modified());
  EXPECT_EQ(T.Name()->AsString(), "default");
  T.DS.Next(); // unmodified: the new record is dropped, not posted
  EXPECT_EQ(T.DS.Rows.size(), 10u);
}

TEST(DataSetEdit, AppendAndInsertRecordInOneStep) {
  Table T;
  T.DS.OnNewRecord = [&](TDataSet* DS) {
    T.Log.push_back("OnNewRecord");
    DS->FieldByName("NAME")->SetAsString("default");
  };
  T.DS.AppendRecord({Variant(42), Variant()});
  EXPECT_EQ(T.DS.State(), dsBrowse);
  EXPECT_EQ(T.Id()->AsInteger(), 42);
  EXPECT_EQ(T.StoredName(10), "default"); // Empty leaves the field alone
  EXPECT_EQ(T.Log, (Calls{"BeforeInsert", "BeforeScroll", "OnNewRecord", "BeforePost",
                          "InternalAddRecord(append)", "AfterPost", "AfterScroll"}));

  T.DS.First();
  T.DS.InsertRecord({Variant(43), Variant::Null()});
  EXPECT_EQ(T.Id()->AsInteger(), 43);
  EXPECT_EQ(T.DS.RecNo(), 1);
  EXPECT_EQ(T.StoredName(0), "<null>"); // Null clears it

  // A failing add leaves no trace of the new record in the window.
  T.DS.FailNext("InternalAddRecord");
  EXPECT_THROW(T.DS.AppendRecord({Variant(44)}), EDatabaseError);
  EXPECT_EQ(T.DS.State(), dsBrowse);
  EXPECT_EQ(T.DS.Rows.size(), 12u);
  EXPECT_FALSE(T.Id()->IsNull());
}

TEST(DataSetEdit, CloseDropsAPendingEdit) {
  Table T;
  T.DS.Edit();
  T.Name()->SetAsString("lost");
  T.DS.Close();
  EXPECT_EQ(T.StoredName(0), "r1");
  EXPECT_EQ(T.Log, (Calls{"BeforeEdit", "InternalEdit", "AfterEdit", "BeforeClose",
                          "InternalCancel", "InternalClose", "AfterClose"}));
}

TEST(DataSetErrorActions, TheActionDecidesWhatFollowsAFailure) {
  struct Case {
    TDataAction Action;
    int Failures;
    const char* Raised;  // message that escapes, or null
    int Attempts;        // InternalPost calls
    TDataSetState After; // state afterwards
  };
  const Case Cases[] = {
      {daRetry, 2, nullptr, 3, dsBrowse},
      {daAbort, 1, "Operation aborted", 1, dsEdit},
      {daFail, 1, "InternalPost failed", 1, dsEdit},
  };
  for (const Case& C : Cases) {
    Table T;
    int Handled = 0;
    T.DS.OnPostError = [&](TDataSet*, EDatabaseError& E, TDataAction& Action) {
      EXPECT_STREQ(E.what(), "InternalPost failed");
      EXPECT_EQ(Action, daFail);
      ++Handled;
      Action = C.Action;
    };
    T.DS.Edit();
    T.Name()->SetAsString("x");
    T.DS.FailNext("InternalPost", C.Failures);
    T.Log.clear();
    std::string Raised;
    try {
      T.DS.Post();
    } catch (const EAbort& E) {
      Raised = E.what();
      EXPECT_EQ(C.Action, daAbort);
    } catch (const EDatabaseError& E) {
      Raised = E.what();
    }
    EXPECT_EQ(Raised, C.Raised ? C.Raised : "") << int(C.Action);
    EXPECT_EQ(std::count(T.Log.begin(), T.Log.end(), "InternalPost"), C.Attempts);
    EXPECT_EQ(std::count(T.Log.begin(), T.Log.end(), "BeforePost"), 1);
    EXPECT_EQ(Handled, C.Failures);
    EXPECT_EQ(T.DS.State(), C.After);
  }
}

TEST(DataSetErrorActions, ForeignErrorsSkipTheHandlerAndRetriesSkipTheBeforeEvents) {
  Table T;
  bool Called = false;
  T.DS.OnDeleteError = [&](TDataSet*, EDatabaseError&, TDataAction&) { Called = true; };
  T.DS.FailNext("InternalDelete", 1, true);
  EXPECT_THROW(T.DS.Delete(), std::runtime_error);
  EXPECT_FALSE(Called);
  EXPECT_EQ(T.DS.Rows.size(), 10u);

  T.DS.OnEditError = [](TDataSet*, EDatabaseError&, TDataAction& Action) { Action = daRetry; };
  T.DS.FailNext("InternalEdit");
  T.Log.clear();
  T.DS.Edit();
  EXPECT_EQ(T.Log, (Calls{"BeforeEdit", "InternalEdit", "InternalEdit", "AfterEdit"}));
}
