// The dataset's record engine and statement lifecycle over the recording
// driver: the session hold, preparing, field definitions, browsing,
// bookmarks, record numbers, field values and the next result set.
#include <cstring>

#include "dataset/ZtlDataset.h"
#include "tests/dataset/test_dataset_util.h"

namespace ztl::test {
namespace {

using DatasetLifecycle = DatasetFixture;

TEST_F(DatasetLifecycle, OpenHoldsTheSessionAndCloseReleasesItAndUnprepares) {
  Query->Open();
  EXPECT_TRUE(Session.GetConnected());
  EXPECT_EQ(Session.GetOpenCount(), 1);
  EXPECT_EQ(Query->GetDBFlags(), 1u << dfOpen);
  EXPECT_TRUE(Query->GetPrepared());
  Query->Close();
  EXPECT_FALSE(Query->GetPrepared());
  EXPECT_EQ(Query->GetDBFlags(), 0);
  EXPECT_FALSE(Session.GetConnected());
}

TEST_F(DatasetLifecycle, ExplicitPrepareOutlivesCloseUntilUnPrepare) {
  Query->Prepare();
  Query->Open();
  Query->Close();
  EXPECT_TRUE(Query->GetPrepared());
  EXPECT_EQ(Session.GetOpenCount(), 1);
  Query->UnPrepare();
  EXPECT_FALSE(Query->GetPrepared());
  EXPECT_EQ(Session.GetOpenCount(), 0);
  EXPECT_FALSE(Session.GetConnected());
}

TEST_F(DatasetLifecycle, FailedPrepareLeavesNoHold) {
  Log().FailAt("InternalPrepare", rfReturnFalse, true, -7, "bad statement");
  EXPECT_EQ(MessageOf<EZantrelDatasetError>([&] { Query->Prepare(); }), "bad statement");
  EXPECT_FALSE(Query->GetPrepared());
  EXPECT_EQ(Query->GetDBFlags(), 0);
  EXPECT_EQ(Session.GetOpenCount(), 0);
}

TEST_F(DatasetLifecycle, TrailingBlanksAndSemicolonsAreCut) {
  Query->GetSQL()->SetText("select * from PEOPLE ;;  ");
  Query->Prepare();
  EXPECT_EQ(CountCalls("InternalPrepare"), 1);
  EXPECT_NE(
      std::find(Log().Calls.begin(), Log().Calls.end(), "InternalPrepare(select * from PEOPLE )"),
      Log().Calls.end());
}

// Package messages read the same whatever the dataset is called; the
// framework's own checks name the dataset first.
TEST_F(DatasetLifecycle, StatementErrors) {
  Query->SetName("Query1");
  const std::string Empty = "No SQL statement available";
  Query->GetSQL()->SetText("x");
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Query->Prepare(); }), Empty);
  Query->GetSQL()->Clear();
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Query->Open(); }), Empty);
  EXPECT_FALSE(Query->Active());
  EXPECT_EQ(Session.GetOpenCount(), 0);

  Query->GetSQL()->SetText("select * from PEOPLE");
  Query->Prepare();
  const std::string Prepared = "Cannot perform this operation on an open or prepared dataset";
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Query->SetReadOnly(false); }), Prepared);
  TRecordingSession Other;
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Query->SetSession(&Other); }), Prepared);
  Query->Open();
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Query->SetSyncInserts(true); }),
            "Query1: Cannot perform this operation on an open dataset");
}

TEST_F(DatasetLifecycle, ACursorClosedOrUnpreparedByItsDriverTakesTheDatasetAlong) {
  Query->Open();
  SQL().AfterClose(&SQL());
  EXPECT_FALSE(Query->Active());
  Query->Prepare();
  SQL().AfterUnprepare(&SQL());
  EXPECT_FALSE(Query->GetPrepared());
  EXPECT_EQ(Session.GetOpenCount(), 0);
}

TEST_F(DatasetLifecycle, AnOpenThatFailsAtTheFirstFetchGivesEverythingBack) {
  int Reports = 0;
  Application().OnException = [&](TObject*, std::exception_ptr) { ++Reports; };
  Log().FailAt("FetchNext", rfReturnFalse, true, -5, "fetch failed");
  EXPECT_EQ(MessageOf<EZantrelDatasetError>([&] { Query->Open(); }), "fetch failed");
  Application().OnException = nullptr;
  EXPECT_EQ(Reports, 0);
  EXPECT_FALSE(Query->Active());
  EXPECT_FALSE(Query->GetPrepared());
  EXPECT_EQ(Session.GetOpenCount(), 0);
}

TEST_F(DatasetLifecycle, ADriverThatFailsToCloseStillLetsTheSessionGo) {
  Query->Open();
  Log().FailAt("InternalClose", rfRaise);
  EXPECT_THROW(Query->Close(), std::exception);
  EXPECT_FALSE(Query->Active());
  EXPECT_EQ(Query->GetDBFlags(), 0u);
  EXPECT_EQ(Session.GetOpenCount(), 0);
  EXPECT_FALSE(Session.GetConnected());
}

TEST_F(DatasetLifecycle, AHiddenKeyColumnIsNoFieldAndLaterFieldsKeepTheirColumns) {
  SQL().SetResult({{"ID", ntInteger}, {"rowid", ntInt64, 0, false, kiHiddenKeyField},
                   {"NAME", ntString, 10}},
                  {{1, std::int64_t{41}, "Ann"}, {2, std::int64_t{42}, "Bob"}});
  Query->Open();
  ASSERT_EQ(Query->FieldDefs().Count(), 2);
  EXPECT_EQ(Query->FieldDefs()[1].Name, "NAME");
  EXPECT_EQ(Query->FieldDefs()[1].FieldNo, 3);
  ASSERT_EQ(Query->FieldCount(), 2);
  EXPECT_EQ(Query->FindField("rowid"), nullptr);
  Query->Next();
  EXPECT_EQ(Query->FieldByName("ID")->AsInteger(), 2);
  EXPECT_EQ(Query->FieldByName("NAME")->AsString(), "Bob");
}

TEST(DatasetWithoutSession, OpenFailsBeforeAnythingIsPrepared) {
  TRecordingDataset Query;
  Query.GetRecordingSQL().SetResult(PeopleColumns(), PeopleRows());
  Query.GetSQL()->SetText("select * from PEOPLE");
  EXPECT_EQ(MessageOf<EZantrelException>([&] { Query.Open(); }),
            "The session property is not linked to a session");
  EXPECT_FALSE(Query.Active());
  EXPECT_FALSE(Query.GetPrepared());
  EXPECT_EQ(Query.GetDBFlags(), 0);
  for (const std::string& Call : Query.GetLog().Calls)
    EXPECT_EQ(Call.find("Prepare"), std::string::npos) << Call;
}

// ---- Field definitions and values --------------------------------------------------

struct TypeCase {
  TRecordingColumn Column;
  Variant Value;
  TFieldType FieldType;
  std::size_t FieldSize;
  std::string Text; // the field's AsString
};

TEST_F(DatasetLifecycle, EveryColumnTypeReachesItsFieldClass) {
  const TDateTime Day = EncodeDate(2000, 1, 1);
  const TDateTime Noon = EncodeTime(12, 0, 0, 0);
  const std::vector<TypeCase> Cases = {
      {{"S", ntString, 30}, "text", ftString, 30, "text"},
      {{"I", ntInteger}, -42, ftInteger, 0, "-42"},
      {{"L", ntInt64}, std::int64_t{1} << 40, ftLargeint, 0, "1099511627776"},
      {{"F", ntFloat}, 2.5, ftFloat, 0, "2.5"},
      {{"C", ntCurrency}, Currency::FromDouble(12.34), ftCurrency, 0, "12.34"},
      {{"D", ntDate}, Variant::FromDateTime(Day), ftDate, 0, "2000-01-01"},
      {{"T", ntTime}, Variant::FromDateTime(Noon), ftTime, 0, "12:00:00"},
      {{"DT", ntDateTime},
       Variant::FromDateTime(Day + Noon),
       ftDateTime,
       0,
       Variant::FromDateTime(Day + Noon).AsString()},
      {{"B", ntBoolean}, true, ftBoolean, 0, "True"},
      {{"BIN", ntBinary, 10}, "abcdefgh", ftBytes, 8, "abcdefgh"},
      {{"M", ntMemo}, "memo text", ftMemo, 0, "memo text"},
      {{"U", ntUnknown}, Variant::Null(), ftUnknown, 0, ""},
  };
  std::vector<TRecordingColumn> Columns;
  std::vector<Variant> Row;
  for (const TypeCase& Case : Cases) {
    Columns.push_back(Case.Column);
    Row.push_back(Case.Value);
  }
  SQL().SetResult(Columns, {Row});
  Query->Open();
  for (std::size_t I = 0; I < Cases.size(); ++I) {
    const TypeCase& Case = Cases[I];
    SCOPED_TRACE(Case.Column.Name);
    const TFieldDef& Def = Query->FieldDefs()[static_cast<int>(I)];
    EXPECT_EQ(Def.DataType, Case.FieldType);
    EXPECT_EQ(Def.Size, Case.FieldSize);
    EXPECT_EQ(Def.FieldNo, static_cast<int>(I) + 1);
    TField* Field = Query->FindField(Case.Column.Name);
    if (Case.FieldType == ftUnknown) {
      EXPECT_EQ(Field, nullptr); // no field class for an unknown type
      continue;
    }
    ASSERT_NE(Field, nullptr);
    EXPECT_EQ(Field->AsString(), Case.Text);
  }
}

TEST_F(DatasetLifecycle, StringFieldsAndCurrentRowsGoThroughTheSessionsCodePage) {
  SQL().SetResult({{"NAME", ntString, 10}}, {{"caf\x82"}}); // code page 850
  Session.SetOemConvert(true);
  Query->Open();
  EXPECT_EQ(Query->FieldByName("NAME")->AsString(), "caf\xE9");
  std::vector<std::uint8_t> Row(Query->GetRecordSize());
  ASSERT_TRUE(Query->GetCurrentRecord(Row.data()));
  EXPECT_STREQ(reinterpret_cast<const char*>(Row.data()), "caf\x82"); // the row as stored
}

TEST_F(DatasetLifecycle, DuplicateColumnNamesGetNumbered) {
  SQL().SetResult({{"ID", ntInteger}, {"ID", ntInteger}, {"ID_1", ntInteger}}, {});
  Query->Open();
  ASSERT_EQ(Query->FieldDefs().Count(), 3);
  EXPECT_EQ(Query->FieldDefs()[0].Name, "ID");
  EXPECT_EQ(Query->FieldDefs()[1].Name, "ID_1");
  EXPECT_EQ(Query->FieldDefs()[2].Name, "ID_1_1");
}

TEST_F(DatasetLifecycle, RecordLayoutFollowsTheCursor) {
  // 4 + 6 bytes of row data, three null indicators (the memo has no bytes).
  SQL().SetResult({{"ID", ntInteger}, {"NAME", ntString, 5}, {"NOTE", ntMemo}}, {});
  Query->Open();
  EXPECT_EQ(Query->BookmarkOffset, 10u);
  EXPECT_EQ(Query->NullOffset, 18u);
  EXPECT_EQ(Query->RecordBufferSize, 21u);
}

TEST_F(DatasetLifecycle, RowsBeyond64KKeepRowDataAndCalculatedFieldsApart) {
  SQL().SetResult({{"BIG", ntString, 70000}}, {{std::string(70000, 'x')}});
  TIntegerField Calc;
  Calc.SetFieldName("CALC");
  Calc.SetFieldKind(fkCalculated);
  Calc.SetDataSet(Query.get());
  TStringField Big;
  Big.SetFieldName("BIG");
  Big.SetSize(65535);
  Big.SetDataSet(Query.get());
  Query->OnCalcFields = [&](TDataSet*) { Calc.SetAsInteger(7); };
  Query->Open();
  EXPECT_EQ(Query->FieldDefs()[0].Size, 65535u); // the 16-bit field size, not wrapped
  EXPECT_EQ(Big.AsString(), std::string(65535, 'x'));
  EXPECT_EQ(Calc.AsInteger(), 7);
  Query->Close();
}

// ---- Browsing, bookmarks and record numbers -------------------------------------------

TEST_F(DatasetLifecycle, BrowsesBothWaysWithRecordNumbers) {
  Query->Open();
  EXPECT_EQ(Query->RecordCount(), 3);
  std::vector<int> Ids;
  for (; !Query->Eof(); Query->Next())
    Ids.push_back(Query->FieldByName("ID")->AsInteger() * 10 + Query->RecNo());
  EXPECT_EQ(Ids, (std::vector<int>{11, 22, 33}));
  Query->Last();
  std::vector<int> Back;
  for (; !Query->Bof(); Query->Prior())
    Back.push_back(Query->FieldByName("ID")->AsInteger());
  EXPECT_EQ(Back, (std::vector<int>{3, 2, 1}));
  Query->SetRecNo(2);
  EXPECT_TRUE(Query->FieldByName("NAME")->IsNull());
}

TEST_F(DatasetLifecycle, SetRecNoToTheCurrentRecordDoesNothing) {
  Query->Open();
  Query->Next();
  int Scrolls = 0;
  Query->BeforeScroll = [&](TDataSet*) { ++Scrolls; };
  Log().Calls.clear();
  Query->SetRecNo(2);
  EXPECT_EQ(Scrolls, 0);
  EXPECT_TRUE(Log().Calls.empty());
}

TEST_F(DatasetLifecycle, BookmarksFindTheirRowAgainAndCompareByRowNumber) {
  Query->Open();
  Query->Next();
  const TBookmark Mark = Query->GetBookmark();
  Query->Last();
  Query->GotoBookmark(Mark);
  EXPECT_EQ(Query->FieldByName("ID")->AsInteger(), 2);
  EXPECT_TRUE(Query->BookmarkValid(Mark.data()));

  auto Row = [](std::int32_t N) {
    std::vector<std::uint8_t> B(8, 0);
    std::memcpy(B.data(), &N, 4);
    return B;
  };
  const auto B3 = Row(3), B7 = Row(7), B0 = Row(0), BCount = Row(Query->RecordCount());
  EXPECT_EQ(Query->CompareBookmarks(nullptr, nullptr), 0);
  EXPECT_EQ(Query->CompareBookmarks(B3.data(), nullptr), -1);
  EXPECT_EQ(Query->CompareBookmarks(nullptr, B3.data()), 1);
  EXPECT_EQ(Query->CompareBookmarks(B3.data(), B7.data()), -1);
  EXPECT_EQ(Query->CompareBookmarks(B7.data(), B3.data()), 1);
  EXPECT_EQ(Query->CompareBookmarks(B3.data(), B3.data()), 0);
  EXPECT_TRUE(Query->BookmarkValid(B0.data()));
  EXPECT_FALSE(Query->BookmarkValid(BCount.data()));
}

struct RecordBuffer {
  explicit RecordBuffer(TRecordingDataset& Q) : Query(Q), Data(Q.AllocRecordBuffer()) {}
  ~RecordBuffer() { Query.FreeRecordBuffer(Data); }
  std::int32_t Row() const {
    std::int32_t N;
    std::memcpy(&N, Data + Query.BookmarkOffset, 4);
    return N;
  }
  TRecordingDataset& Query;
  TRecordBuffer Data;
};

TEST_F(DatasetLifecycle, GetRecordAtTheEndsAndOnFailures) {
  Query->Open();
  Query->Last(); // cursor after the last row
  RecordBuffer B(*Query);
  std::memset(B.Data, 0xAB, Query->RecordBufferSize);
  EXPECT_EQ(Query->GetRecord(B.Data, gmNext, true), grEOF);
  EXPECT_EQ(B.Data[0], 0xAB); // row data untouched
  EXPECT_EQ(B.Row(), -1);
  EXPECT_EQ(Query->GetBookmarkFlag(B.Data), bfEOF);

  // A failure that is neither end: grError, and no bookmark is written.
  Query->First();
  std::memset(B.Data, 0xAB, Query->RecordBufferSize);
  Log().FailAt("FetchPrior", rfReturnFalse, true, 0, "no code");
  EXPECT_EQ(Query->GetRecord(B.Data, gmPrior, false), grError);
  EXPECT_EQ(B.Data[Query->BookmarkOffset + 4], 0xAB);
  // With DoCheck a negative code raises; a code of 0 only reports.
  Log().FailAt("FetchNext", rfReturnFalse, true, 0, "no code");
  EXPECT_EQ(Query->GetRecord(B.Data, gmNext, true), grError);
  Log().FailAt("FetchNext", rfReturnFalse, true, -3, "fetch failed");
  EXPECT_EQ(MessageOf<EZantrelDatasetError>([&] { Query->GetRecord(B.Data, gmNext, true); }),
            "fetch failed");
}

TEST_F(DatasetLifecycle, NewRecordIsAllNullWithoutRowNumber) {
  Query->SetReadOnly(false);
  Query->Open();
  Query->Insert();
  const TRecordBuffer B = Query->ActiveBuffer();
  for (std::size_t I = 0; I < Query->BookmarkOffset; ++I)
    ASSERT_EQ(B[I], 0) << I;
  for (std::size_t I = Query->NullOffset; I < Query->RecordBufferSize; ++I)
    ASSERT_EQ(B[I], 0xFF) << I;
  EXPECT_EQ(Query->GetBookmarkFlag(B), bfInserted);
  EXPECT_EQ(Query->RecNo(), -1);
  Query->Cancel();
}

// ---- Writing fields ------------------------------------------------------------------------

TEST_F(DatasetLifecycle, FieldWritesNeedAnEditStateAndAWritableField) {
  Query->SetReadOnly(false);
  Query->Open();
  TField* Name = Query->FieldByName("NAME");
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Name->SetAsString("x"); }),
            "Dataset not in edit or insert mode");
  Query->Edit();
  Name->SetReadOnly(true);
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Name->SetAsString("x"); }),
            "Field 'NAME' cannot be modified");
  Name->SetReadOnly(false);
  {
    TTempState SetKey(*Query, dsSetKey); // writable, but without a record buffer
    EXPECT_EQ(MessageOf<EDatabaseError>([&] { Name->SetAsString("x"); }),
              "Dataset not in edit or insert mode");
  }

  // A null keeps the row bytes; only the indicator changes.
  const TRecordBuffer B = Query->ActiveBuffer();
  const std::vector<std::uint8_t> Before(B, B + Query->BookmarkOffset);
  Name->Clear();
  EXPECT_TRUE(Name->IsNull());
  EXPECT_EQ(std::vector<std::uint8_t>(B, B + Query->BookmarkOffset), Before);
  Name->SetAsString("Bea");
  EXPECT_EQ(Name->AsString(), "Bea");
  Query->Cancel();
}

TEST_F(DatasetLifecycle, OldValuesComeFromTheFetchedRowNullsIncluded) {
  Query->SetReadOnly(false);
  Query->Open();
  Query->Next(); // ID 2, NAME null
  Query->Edit();
  Query->FieldByName("ID")->SetAsInteger(20);
  Query->FieldByName("NAME")->SetAsString("new");
  EXPECT_EQ(Query->FieldByName("ID")->OldValue().AsInteger(), 2);
  EXPECT_TRUE(Query->FieldByName("NAME")->OldValue().IsNull());
  Query->Cancel();
}

// ---- Next result set -----------------------------------------------------------------------

// A cursor of a procedure that answers with several result sets in turn.
class TResultSetsSQL : public TRecordingSQL {
public:
  using TRecordingSQL::TRecordingSQL;
  std::vector<std::pair<std::vector<TRecordingColumn>, std::vector<std::vector<Variant>>>> Next;
  bool InProc = true;

  bool GetStillInProc() override { return InProc; }
  bool Resume() override {
    if (Next.empty()) {
      InProc = false;
      return false;
    }
    SetResult(Next.front().first, Next.front().second);
    Next.erase(Next.begin());
    const std::string Text = GetOpenSQL();
    InternalClose();
    InternalUnprepareOpen();
    return InternalPrepareOpen(Text) && InternalOpen(true);
  }
};

class TResultSetsDataset : public TZantrelCustomDataset {
public:
  explicit TResultSetsDataset(TRecordingSession* S) : Session(S) { ConstructSQL(); }
  ~TResultSetsDataset() override { DestroyDataset(); }
  TResultSetsSQL& Cursor() { return static_cast<TResultSetsSQL&>(*GetSQLCursor()); }

protected:
  std::unique_ptr<TZantrelSQL> CreateSQL() override {
    return std::make_unique<TResultSetsSQL>(Session);
  }
  void ReadFieldData(const TZantrelFieldDef& D, const std::uint8_t* S, void* Dest,
                     std::size_t N) override {
    RecordingReadFieldData(D, S, Dest, N);
  }
  void WriteFieldData(const TZantrelFieldDef& D, std::uint8_t* Dest, const void* S,
                      std::size_t N) override {
    RecordingWriteFieldData(D, Dest, S, N);
  }

private:
  TRecordingSession* Session;
};

TEST(DatasetResume, ReopensOverEachResultSetThenDisconnects) {
  TRecordingSession Session;
  Session.SetKeepConnection(false);
  TResultSetsDataset Proc(&Session);
  Proc.Cursor().SetResult({{"A", ntInteger}}, {{1}});
  Proc.Cursor().Next.push_back({{{"B", ntString, 5}, {"C", ntInteger}}, {{"x", 2}, {"y", 3}}});
  Proc.SetReadOnly(false);
  Proc.GetSQL()->SetText("select * from PROC");
  Proc.Open();
  EXPECT_TRUE(Proc.CanModify());
  EXPECT_EQ(Proc.FieldByName("A")->AsInteger(), 1);

  Proc.Resume();
  ASSERT_TRUE(Proc.Active());
  EXPECT_EQ(Proc.FindField("A"), nullptr);
  EXPECT_EQ(Proc.FieldByName("B")->AsString(), "x");
  EXPECT_EQ(Proc.RecordCount(), 2);
  EXPECT_FALSE(Proc.CanModify()); // a resumed result is read-only
  EXPECT_EQ(Session.GetOpenCount(), 1);

  Proc.Resume(); // past the last result set
  EXPECT_FALSE(Proc.Active());
  EXPECT_FALSE(Proc.GetPrepared());
  EXPECT_EQ(Session.GetOpenCount(), 0);
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Proc.Resume(); }),
            "The Stored Procedure has completed");
}

} // namespace
} // namespace ztl::test
