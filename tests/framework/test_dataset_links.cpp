// Data sources and links: event dispatch, disabled controls, activation,
// lifetime; a master-detail pair; temporary states that links never see.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

#include "tests/framework/MemDataSet.h"
#include "tests/framework/test_dataset_util.h"

using namespace ztl;
using namespace ztl::test;

namespace {

struct Linked {
  TMemDataSet DS;
  TDataSource Source;
  TLogLink Link;
  Linked() {
    DS.AddColumn("ID", ftInteger);
    DS.AddColumn("NAME", ftString, 10);
    for (int I = 1; I <= 5; ++I)
      DS.AddRow({Variant(I), Variant("n" + std::to_string(I))});
    Source.SetDataSet(&DS);
    Link.SetDataSource(&Source);
  }
};

} // namespace

TEST(DataLinks, EachEventReachesExactlyItsHook) {
  Linked L;
  L.DS.Open();
  TField* Id = L.DS.FieldByName("ID");
  struct Case {
    TDataEvent Event;
    TField* Field;
    Calls Expected;
  };
  const Case Cases[] = {
      {deFieldChange, Id, {"RecordChanged(ID)"}},
      {deRecordChange, nullptr, {"RecordChanged(nil)"}},
      {deDataSetChange, nullptr, {"DataSetChanged", "RecordChanged(nil)"}},
      {deDataSetScroll, nullptr, {"DataSetScrolled(0)", "DataSetChanged", "RecordChanged(nil)"}},
      {deLayoutChange, nullptr, {"LayoutChanged", "DataSetChanged", "RecordChanged(nil)"}},
      {deUpdateRecord, nullptr, {"UpdateData"}},
      {deUpdateState, nullptr, {}},
      {deCheckBrowseMode, nullptr, {"CheckBrowseMode"}},
      {dePropertyChange, nullptr, {}},
      {deFieldListChange, nullptr, {}},
      {deFocusControl, Id, {"FocusControl(ID)"}},
  };
  for (const Case& C : Cases) {
    L.Link.Calls.clear();
    TDataEventInfo Info;
    Info.Field = C.Field;
    L.DS.DataEvent(C.Event, Info);
    EXPECT_EQ(L.Link.Calls, C.Expected) << int(C.Event);
  }
}

TEST(DataLinks, SourceEventsFollowTheLinks) {
  Linked L;
  Calls Log;
  L.Source.OnStateChange = [&](TObject*) { Log.push_back("StateChange"); };
  L.Source.OnDataChange = [&](TObject*, TField* F) {
    Log.push_back(std::string("DataChange(") + (F ? F->FieldName() : "nil") + ")");
  };
  L.Source.OnUpdateData = [&](TObject*) { Log.push_back("UpdateData"); };
  L.DS.Open();
  L.DS.Edit();
  L.DS.FieldByName("NAME")->SetAsString("x");
  L.DS.Post();
  EXPECT_EQ(Log, (Calls{"StateChange", "StateChange", "DataChange(nil)", "DataChange(NAME)",
                        "UpdateData", "StateChange", "DataChange(nil)"}));
  EXPECT_EQ(L.Link.Calls.front(), "ActiveChanged");
}

TEST(DataLinks, DisabledControlsCatchUpWithOneChange) {
  Linked L;
  L.DS.Open();
  L.Link.Calls.clear();
  L.DS.DisableControls();
  L.DS.DisableControls();
  EXPECT_TRUE(L.DS.ControlsDisabled());
  L.DS.Next();
  L.DS.Last();
  L.DS.Edit();
  L.DS.UpdateRecord();
  L.DS.EnableControls(); // still disabled once
  EXPECT_EQ(L.Link.Calls,
            (Calls{"CheckBrowseMode", "CheckBrowseMode", "CheckBrowseMode", "UpdateData"}));
  L.Link.Calls.clear();
  L.DS.EnableControls();
  EXPECT_EQ(L.Link.Calls, (Calls{"EditingChanged", "DataSetChanged", "RecordChanged(nil)"}));
  EXPECT_TRUE(L.Link.Editing());
  L.DS.EnableControls(); // unbalanced: ignored
  L.DS.Cancel();

  // A layout change while disabled is what controls are told.
  L.Link.Calls.clear();
  {
    TControlsGuard Guard(L.DS);
    L.DS.Next();
    L.DS.FieldByName("ID")->SetDisplayLabel("Number");
  }
  EXPECT_EQ(L.Link.Calls,
            (Calls{"CheckBrowseMode", "LayoutChanged", "DataSetChanged", "RecordChanged(nil)"}));
}

TEST(DataLinks, ActiveFollowsOpenCloseSourceAndEnabled) {
  Linked L;
  TMemDataSet Other;
  Other.FillNumbers(2);
  Other.Open();
  EXPECT_FALSE(L.Link.Active());
  L.DS.Open();
  EXPECT_TRUE(L.Link.Active());
  L.DS.Close();
  EXPECT_FALSE(L.Link.Active());
  L.Source.SetDataSet(&Other);
  EXPECT_TRUE(L.Link.Active());
  L.Source.SetEnabled(false);
  EXPECT_FALSE(L.Link.Active());
  Other.Next(); // a disabled source forwards nothing
  L.Source.SetEnabled(true);
  EXPECT_EQ(L.Link.Calls, (Calls{"ActiveChanged", "ActiveChanged", "ActiveChanged", "ActiveChanged",
                                 "ActiveChanged"}));
  L.Link.DataSourceFixed = true;
  EXPECT_EQ(MessageOf([&] { L.Link.SetDataSource(nullptr); }), "DataSource cannot be changed");
  L.Source.SetDataSet(nullptr);
}

TEST(DataLinks, DestroyingEitherSideLeavesNoDanglingPointer) {
  auto DS = std::make_unique<TMemDataSet>();
  DS->FillNumbers(3);
  auto Source = std::make_unique<TDataSource>();
  TLogLink Link;
  TIntegerField Field;
  Field.SetFieldName("ID");
  Field.SetDataSet(DS.get());
  Source->SetDataSet(DS.get());
  Link.SetDataSource(Source.get());
  DS->Open();

  Source.reset();
  EXPECT_EQ(Link.GetDataSource(), nullptr);
  EXPECT_FALSE(Link.Active());
  DS->Next(); // no source left to call

  auto Second = std::make_unique<TDataSource>();
  Second->SetDataSet(DS.get());
  Link.SetDataSource(Second.get());
  EXPECT_TRUE(Link.Active());
  DS.reset();
  EXPECT_EQ(Second->GetDataSet(), nullptr);
  EXPECT_FALSE(Link.Active());
  EXPECT_EQ(Field.DataSet(), nullptr);
  EXPECT_EQ(Link.Calls.back(), "ActiveChanged");
}

namespace {

class TDetail;

// The detail's link to its master: shaped like a query's master link.
class TDetailLink : public TDataLink {
public:
  explicit TDetailLink(TDetail& ADetail) : Detail(ADetail) {}

protected:
  void ActiveChanged() override;
  void RecordChanged(TField* Field) override;
  void CheckBrowseMode() override;

private:
  TDetail& Detail;
};

// Items of the master's current record: re-selects its rows from AllRows
// whenever the master moves.
class TDetail : public TMemDataSet {
public:
  std::vector<TMemRow> AllRows;
  std::vector<int> Requeries; // master keys of each re-query
  TDetailLink Link{*this};

  ~TDetail() override { CloseOnDestroy(); }

  void SetMaster(TDataSource* Source) {
    SetDataSource(Source);
    Link.SetDataSource(Source);
  }
  void RefreshParams() {
    TControlsGuard Guard(*this);
    TDataSet* Master = GetDataSource() ? GetDataSource()->GetDataSet() : nullptr;
    if (!Master || !Master->Active() || Master->State() == dsSetKey)
      return;
    Requeries.push_back(Select());
    CursorPosChanged();
    Cursor = -1;
    Resync({});
    DoAfterScroll();
  }

protected:
  void InternalOpen() override {
    if (GetDataSource() && GetDataSource()->GetDataSet() && GetDataSource()->GetDataSet()->Active())
      Select();
    TMemDataSet::InternalOpen();
  }

private:
  static int KeyOf(const TMemRow& Row) {
    std::int32_t Key = 0;
    std::memcpy(&Key, Row.Cells[0].Data.data(), 4);
    return Key;
  }
  // Keeps what was posted, then takes the rows of the master's key.
  int Select() {
    for (const TMemRow& Row : Rows)
      for (TMemRow& Stored : AllRows)
        if (Stored.Id == Row.Id)
          Stored = Row;
    int Key = GetDataSource()->GetDataSet()->FieldByName("ID")->AsInteger();
    Rows.clear();
    for (const TMemRow& Row : AllRows)
      if (KeyOf(Row) == Key)
        Rows.push_back(Row);
    return Key;
  }
};

void TDetailLink::ActiveChanged() {
  if (Detail.Active())
    Detail.RefreshParams();
}
void TDetailLink::RecordChanged(TField* Field) {
  if (!Field && Detail.Active())
    Detail.RefreshParams();
}
void TDetailLink::CheckBrowseMode() {
  if (Detail.Active())
    Detail.CheckBrowseMode();
}

} // namespace

TEST(MasterDetail, TheDetailFollowsTheMastersRecord) {
  TMemDataSet Master;
  Master.AddColumn("ID", ftInteger);
  Master.AddColumn("NAME", ftString, 10);
  for (int I = 1; I <= 3; ++I)
    Master.AddRow({Variant(I), Variant("m" + std::to_string(I))});
  TDataSource MasterSource;
  MasterSource.SetDataSet(&Master);

  TDetail Detail;
  Detail.AddColumn("MASTERID", ftInteger);
  Detail.AddColumn("ITEM", ftString, 10);
  for (auto [Key, Item] : {std::pair{1, "a"}, {1, "b"}, {2, "c"}})
    Detail.AddRow({Variant(Key), Variant(Item)});
  Detail.AllRows = Detail.Rows;
  Detail.SetMaster(&MasterSource);
  Master.Open();
  Detail.Open();
  TField* Item = Detail.FieldByName("ITEM");
  EXPECT_EQ(Item->AsString(), "a");
  EXPECT_EQ(Detail.RecordCount(), 2);

  Master.Next();
  EXPECT_EQ(Detail.Requeries, (std::vector<int>{2}));
  EXPECT_EQ(Item->AsString(), "c");

  Master.Edit(); // a record change: re-queried with the same key
  Detail.Requeries.clear();
  Master.FieldByName("NAME")->SetAsString("x");
  EXPECT_TRUE(Detail.Requeries.empty()); // a field change is not a new record
  Master.Post();
  EXPECT_EQ(Detail.Requeries, (std::vector<int>{2}));

  // The detail's pending edit is posted before the master leaves the record.
  Detail.Edit();
  Item->SetAsString("c2");
  Master.Next();
  EXPECT_EQ(Detail.State(), dsBrowse);
  EXPECT_TRUE(Detail.IsEmpty());
  Master.Prior();
  EXPECT_EQ(Item->AsString(), "c2");

  // Closing the master leaves the detail alone; opening it re-queries.
  Detail.Requeries.clear();
  Master.Close();
  EXPECT_TRUE(Detail.Requeries.empty());
  Master.Open();
  EXPECT_EQ(Detail.Requeries, (std::vector<int>{1}));
  EXPECT_EQ(Item->AsString(), "a");
}

TEST(MasterDetail, CircularLinksAreRefused) {
  TMemDataSet A, B;
  TDataSource SourceA, SourceB;
  SourceA.SetDataSet(&A);
  SourceB.SetDataSet(&B);
  A.SetDataSource(&SourceB);
  EXPECT_EQ(MessageOf([&] { B.SetDataSource(&SourceA); }), "Circular datalinks are not allowed");
  EXPECT_EQ(MessageOf([&] { A.SetDataSource(&SourceA); }), "Circular datalinks are not allowed");
  EXPECT_TRUE(A.IsLinkedTo(&SourceA));
  EXPECT_TRUE(SourceA.IsLinkedTo(&B)); // A's master chain reaches B
  EXPECT_FALSE(SourceB.IsLinkedTo(&A));

  // A source may move to any dataset unless that closes a loop of masters.
  SourceA.SetDataSet(&B); // nothing takes SourceA as its master
  EXPECT_EQ(SourceA.GetDataSet(), &B);
  TMemDataSet C;
  TDataSource SourceC;
  SourceC.SetDataSet(&C);
  B.SetDataSource(&SourceC);
  // Showing A would make A the master of B, whose detail A already is.
  EXPECT_EQ(MessageOf([&] { SourceC.SetDataSet(&A); }), "Circular datalinks are not allowed");
  EXPECT_EQ(SourceC.GetDataSet(), &C);
  SourceA.SetDataSet(nullptr);
  B.SetDataSource(nullptr);
  A.SetDataSource(nullptr);
}

TEST(TemporaryStates, AKeyLandsInTheSpareBufferUnseenByLinks) {
  Linked L;
  L.DS.Open();
  L.DS.Next();
  L.Link.Calls.clear();
  L.DS.AssignKey("NAME", Variant("key"));
  EXPECT_EQ(L.DS.State(), dsBrowse);
  TRecordBuffer Key = L.DS.TempBuffer();
  EXPECT_STREQ(reinterpret_cast<const char*>(Key + 4), "key");
  EXPECT_EQ(Key[L.DS.NullOffset + 0], 1); // ID stays null in the key
  EXPECT_EQ(Key[L.DS.NullOffset + 1], 0);
  EXPECT_EQ(L.DS.FieldByName("NAME")->AsString(), "n2"); // the active record is untouched
  EXPECT_FALSE(L.DS.Modified());

  EXPECT_EQ(MessageOf([&] { L.DS.AssignKey("ID", Variant("abc")); }),
            "'abc' is not a valid integer value for field 'ID'");
  EXPECT_EQ(L.DS.State(), dsBrowse);
  EXPECT_TRUE(L.Link.Calls.empty());

  {
    TTempState Filter(L.DS, dsFilter);
    EXPECT_EQ(L.DS.State(), dsFilter);
    EXPECT_TRUE(L.DS.FieldByName("ID")->IsNull());
  }
  EXPECT_EQ(L.DS.State(), dsBrowse);
}

TEST(TemporaryStates, BlockReadSuppressesScrollEventsUntilItEnds) {
  Linked L;
  L.DS.Open();
  L.Link.Calls.clear();
  L.DS.SetBlockReadSize(10);
  EXPECT_EQ(L.DS.State(), dsBlockRead);
  while (!L.DS.Eof())
    L.DS.Next();
  L.DS.SetBlockReadSize(0);
  EXPECT_EQ(L.DS.State(), dsBrowse);
  EXPECT_EQ(L.Link.Calls,
            (Calls{"CheckBrowseMode", "CheckBrowseMode", "CheckBrowseMode", "CheckBrowseMode",
                   "CheckBrowseMode", "CheckBrowseMode", "DataSetChanged", "RecordChanged(nil)"}));
  EXPECT_EQ(L.DS.FieldByName("ID")->AsInteger(), 5);
}
