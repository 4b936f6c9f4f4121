// The cases every driver must pass, as two typed suites: DriverDatasets runs
// on every driver, the recording one included; DriverSql needs a driver that
// runs SQL (second sessions, cursors, server errors). One file per driver
// includes this header once and instantiates the suites with its traits
// class (see Conformance.h for what the traits class offers).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/classes/Streams.h"
#include "framework/db/DataSource.h"
#include "framework/forms/DataModule.h"
#include "tests/drivers/conformance/Conformance.h"
#include "tests/support/TestHelpers.h"

namespace ztl::conformance {

using test::MessageOf;

// A connected driver per test, skipped when the driver cannot run here.
template <class T>
class DriverTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (const std::string Why = T::Unavailable(); !Why.empty())
      GTEST_SKIP() << T::Name << " tests skipped: " << Why;
    Driver = std::make_unique<T>();
  }
  void TearDown() override { Driver.reset(); }

  // The logical types the driver has columns for, with their edge values.
  static std::vector<TTypeCase> Types() {
    std::vector<TTypeCase> Result;
    for (TTypeCase& C : EdgeTable())
      if (!T::TypeName(C.Column.Type, C.Column.Length).empty()) {
        // A driver whose database types a column wider says which field it makes.
        if constexpr (requires { T::FieldTypeOf(C.Column.Type, C.FieldType); })
          C.FieldType = T::FieldTypeOf(C.Column.Type, C.FieldType);
        Result.push_back(std::move(C));
      }
    return Result;
  }
  // The edge table "edge": an integer key "id" and a column of every type;
  // rows 1 and 2 hold the low and high edges unless Empty, row 3 is null.
  void MakeEdgeTable(bool Empty) {
    std::vector<TColumn> Columns{{"id", TLogical::Integer}};
    std::vector<std::vector<Variant>> Rows(3);
    for (int R = 0; R < 3; ++R)
      Rows[R].push_back(Variant(R + 1));
    for (const TTypeCase& C : Types()) {
      Columns.push_back(C.Column);
      for (int R = 0; R < 3; ++R)
        Rows[R].push_back(Empty || R == 2 ? Variant::Null() : C.Values[R]);
    }
    Driver->CreateTable("edge", Columns, Rows);
  }
  // The small table "t": id, name (string 10), qty (integer), note (memo).
  void MakeSmallTable(const std::vector<std::vector<Variant>>& Rows) {
    Driver->CreateTable("t",
                        {{"id", TLogical::Integer},
                         {"name", TLogical::String, 10},
                         {"qty", TLogical::Integer},
                         {"note", TLogical::Memo}},
                        Rows);
  }
  std::unique_ptr<TZantrelCustomDataset> Writable(const std::string& SQL) {
    auto Q = Driver->NewQuery(SQL);
    Q->SetReadOnly(false);
    return Q;
  }
  static void Reopen(TDataSet& Data) {
    Data.Close();
    Data.Open();
  }

  std::unique_ptr<T> Driver;
};

template <class T>
class DriverDatasets : public DriverTest<T> {};
TYPED_TEST_SUITE_P(DriverDatasets);

TYPED_TEST_P(DriverDatasets, EveryLogicalTypeReadsBackAtItsEdgesAndNullsStayNull) {
  this->MakeEdgeTable(false);
  auto Q = this->Driver->NewQuery("SELECT * FROM edge ORDER BY id");
  Q->Open();
  ASSERT_EQ(Q->RecordCount(), 3);
  for (int Row = 0; Row < 2; ++Row, Q->Next())
    for (const TTypeCase& C : this->Types()) {
      SCOPED_TRACE(C.Column.Name + " row " + std::to_string(Row + 1));
      TField& F = *Q->FieldByName(C.Column.Name);
      EXPECT_EQ(F.DataType(), C.FieldType);
      EXPECT_FALSE(F.IsNull());
      EXPECT_EQ(ShowField(*Q, F, C.Column.Type), Show(C.Column.Type, C.Values[Row]));
    }
  for (const TTypeCase& C : this->Types()) {
    TField& F = *Q->FieldByName(C.Column.Name);
    EXPECT_TRUE(F.IsNull()) << C.Column.Name;
    if (C.Column.Type == TLogical::Memo || C.Column.Type == TLogical::Blob) {
      EXPECT_EQ(ReadBlob(*Q, F), "") << C.Column.Name;
    }
  }
}

TYPED_TEST_P(DriverDatasets, EveryLogicalTypeIsStoredExactlyThroughItsField) {
  this->MakeEdgeTable(true);
  auto Q = this->Writable("SELECT * FROM edge ORDER BY id");
  Q->Open();
  for (int Row = 0; Row < 2; ++Row, Q->Next()) {
    Q->Edit();
    for (const TTypeCase& C : this->Types())
      SetField(*Q, *Q->FieldByName(C.Column.Name), C.Column.Type, C.Values[Row]);
    Q->Post();
  }
  this->Reopen(*Q);
  for (int Row = 0; Row < 2; ++Row, Q->Next())
    for (const TTypeCase& C : this->Types()) {
      SCOPED_TRACE(C.Column.Name + " row " + std::to_string(Row + 1));
      EXPECT_EQ(ShowField(*Q, *Q->FieldByName(C.Column.Name), C.Column.Type),
                Show(C.Column.Type, C.Values[Row]));
    }
  // Cleared fields are stored as nulls.
  Q->First();
  Q->Edit();
  for (const TTypeCase& C : this->Types())
    Q->FieldByName(C.Column.Name)->Clear();
  Q->Post();
  this->Reopen(*Q);
  for (const TTypeCase& C : this->Types())
    EXPECT_TRUE(Q->FieldByName(C.Column.Name)->IsNull()) << C.Column.Name;
}

TYPED_TEST_P(DriverDatasets, CancelUndoesAnEditAndAnInsertAndPostStoresThem) {
  this->MakeSmallTable({{1, "one", 10, "a"}, {2, "two", 20, Variant::Null()}});
  auto Q = this->Writable("SELECT * FROM t ORDER BY id");
  Q->Open();
  Q->Edit();
  Q->FieldByName("name")->SetAsString("changed");
  Q->Cancel();
  EXPECT_EQ(Q->FieldByName("name")->GetAsString(), "one");
  Q->Insert();
  Q->FieldByName("id")->SetAsInteger(9);
  Q->Cancel();
  EXPECT_EQ(Q->RecordCount(), 2);
  EXPECT_EQ(Q->FieldByName("id")->GetAsInteger(), 1);
  this->Reopen(*Q);
  EXPECT_EQ(Q->RecordCount(), 2);
  EXPECT_EQ(Q->FieldByName("name")->GetAsString(), "one");

  Q->Last();
  Q->Edit();
  Q->FieldByName("qty")->SetAsInteger(21);
  Q->Post();
  Q->Append();
  Q->FieldByName("id")->SetAsInteger(3);
  Q->FieldByName("name")->SetAsString("three");
  Q->Post();
  EXPECT_EQ(Q->RecordCount(), 3);
  Q->First();
  Q->Delete();
  EXPECT_EQ(Q->RecordCount(), 2);
  this->Reopen(*Q);
  ASSERT_EQ(Q->RecordCount(), 2);
  EXPECT_EQ(Q->FieldByName("qty")->GetAsInteger(), 21);
  Q->Next();
  EXPECT_EQ(Q->FieldByName("name")->GetAsString(), "three");
  EXPECT_TRUE(Q->FieldByName("qty")->IsNull());
}

TYPED_TEST_P(DriverDatasets, BrowsesBothWaysWithBookmarks) {
  std::vector<std::vector<Variant>> Rows;
  for (int Id = 1; Id <= 5; ++Id)
    Rows.push_back({Id, "n" + std::to_string(Id), Id * 10, Variant::Null()});
  this->MakeSmallTable(Rows);
  auto Q = this->Driver->NewQuery("SELECT * FROM t ORDER BY id");
  Q->Open();
  Q->Last();
  EXPECT_EQ(Q->RecordCount(), 5);
  EXPECT_EQ(Q->FieldByName("id")->GetAsInteger(), 5);
  Q->Prior();
  Q->Prior();
  EXPECT_EQ(Q->GetRecNo(), 3);
  const TBookmark Mark = Q->GetBookmark();
  Q->First();
  EXPECT_TRUE(Q->Bof());
  Q->GotoBookmark(Mark);
  EXPECT_EQ(Q->FieldByName("qty")->GetAsInteger(), 30);
  Q->SetRecNo(1);
  EXPECT_EQ(Q->FieldByName("id")->GetAsInteger(), 1);
  int Seen = 0;
  for (Q->Last(); !Q->Bof(); Q->Prior())
    ++Seen;
  EXPECT_EQ(Seen, 5);
}

// The rows are given in the order ORDER BY delivers them, which the
// recording driver serves as given; a search in an ordered result stops
// early on that order.
TYPED_TEST_P(DriverDatasets, LocateAndKeySearchFindRows) {
  this->MakeSmallTable({{1, "Baker", 10, Variant::Null()},
                        {3, "Smith", 30, Variant::Null()},
                        {2, "Smithers", 40, Variant::Null()},
                        {4, "Young", 50, Variant::Null()}});
  auto Q = this->Driver->NewQuery("SELECT * FROM t ORDER BY name, id");
  Q->Open();
  EXPECT_TRUE(Q->Locate("name", "SMITH", {loCaseInsensitive}));
  EXPECT_EQ(Q->FieldByName("id")->GetAsInteger(), 3);
  EXPECT_TRUE(Q->Locate("name;qty", VarArrayOf({"smith", 40}), {loCaseInsensitive, loPartialKey}));
  EXPECT_EQ(Q->FieldByName("id")->GetAsInteger(), 2);
  EXPECT_FALSE(Q->Locate("name", "nobody", {}));
  EXPECT_EQ(Q->FieldByName("id")->GetAsInteger(), 2);
  EXPECT_EQ(Q->Lookup("id", 4, "name").AsString(), "Young");
  if (!TypeParam::Runs(TCase::KeySearch))
    return;
  // Fewer values than index fields leave the rest of the key null.
  EXPECT_FALSE(Q->FindKey({"Smith"}));
  EXPECT_TRUE(Q->FindKey({"Smith", 3}));
  EXPECT_EQ(Q->FieldByName("id")->GetAsInteger(), 3);
  EXPECT_TRUE(Q->FindKey({"Young", 4}));
  EXPECT_EQ(Q->FieldByName("qty")->GetAsInteger(), 50);
  EXPECT_FALSE(Q->FindKey({"Smith", 8}));
  Q->FindNearest({"Bz"});
  EXPECT_EQ(Q->FieldByName("name")->GetAsString(), "Smith");
  Q->FindNearest({"Zz"});
  EXPECT_TRUE(Q->Eof() || Q->FieldByName("name")->GetAsString() == "Young");
}

// 0001-01-01 12:00:00.001: before 1899-12-30 a date-time's day counts down
// while its time counts up, so the value lies below the first day's
// midnight.
TYPED_TEST_P(DriverDatasets, ATimeOnTheFirstDayIsKept) {
  const Variant Noon = Stamp(1, 1, 1, 12, 0, 0, 1);
  this->Driver->CreateTable("stamps", {{"id", TLogical::Integer}, {"dt", TLogical::DateTime}},
                            {{1, Noon}, {2, Variant::Null()}});
  auto Q = this->Writable("SELECT * FROM stamps ORDER BY id");
  Q->Open();
  EXPECT_EQ(ShowField(*Q, *Q->FieldByName("dt"), TLogical::DateTime),
            Show(TLogical::DateTime, Noon));
  Q->Next();
  Q->Edit();
  Q->FieldByName("dt")->SetAsDateTime(Noon.AsDateTime());
  Q->Post();
  this->Reopen(*Q);
  Q->Next();
  EXPECT_EQ(ShowField(*Q, *Q->FieldByName("dt"), TLogical::DateTime),
            Show(TLogical::DateTime, Noon));
}

TYPED_TEST_P(DriverDatasets, MemosAndBlobsTravelThroughStreams) {
  this->MakeEdgeTable(true);
  auto Q = this->Writable("SELECT id, m, bl FROM edge ORDER BY id");
  Q->Open();
  const std::string Memo(100000, 'x');
  const std::string Blob = std::string("\0\1", 2) + std::string(5000, '\xFF');
  Q->Edit();
  WriteBlob(*Q, *Q->FieldByName("m"), Memo);
  WriteBlob(*Q, *Q->FieldByName("bl"), Blob);
  Q->Post();
  Q->Next();
  // A shorter value written over a longer one leaves nothing of the longer.
  Q->Edit();
  WriteBlob(*Q, *Q->FieldByName("m"), Memo);
  WriteBlob(*Q, *Q->FieldByName("m"), "short");
  Q->Post();
  this->Reopen(*Q);
  {
    auto S = Q->CreateBlobStream(Q->FieldByName("m"), bmRead);
    EXPECT_EQ(S->GetSize(), 100000);
    char Tail[8] = {};
    S->Seek(-3, soFromEnd);
    EXPECT_EQ(S->Read(Tail, 8), 3);
  }
  EXPECT_EQ(ReadBlob(*Q, *Q->FieldByName("m")), Memo);
  EXPECT_EQ(ReadBlob(*Q, *Q->FieldByName("bl")), Blob);
  EXPECT_EQ(Q->FieldByName("m")->GetAsString(), Memo);
  Q->Next();
  EXPECT_EQ(ReadBlob(*Q, *Q->FieldByName("m")), "short");
  EXPECT_TRUE(Q->FieldByName("bl")->IsNull());
}

REGISTER_TYPED_TEST_SUITE_P(DriverDatasets, EveryLogicalTypeReadsBackAtItsEdgesAndNullsStayNull,
                            EveryLogicalTypeIsStoredExactlyThroughItsField,
                            CancelUndoesAnEditAndAnInsertAndPostStoresThem,
                            BrowsesBothWaysWithBookmarks, LocateAndKeySearchFindRows,
                            ATimeOnTheFirstDayIsKept, MemosAndBlobsTravelThroughStreams);

// ---- Drivers that run SQL ----------------------------------------------------

template <class T>
class DriverSql : public DriverTest<T> {
protected:
  // The value of Expr for the row of table t with id Id, read by a fresh
  // cursor ("NULL" for a null).
  std::string Stored(const std::string& Expr, int Id, const std::string& Table = "t") {
    auto C = this->Driver->NewCursor(this->Driver->Session());
    EXPECT_TRUE(C->OpenRead("SELECT " + Expr + " AS v FROM " + Table + " WHERE id = ?", {Id}))
        << this->Driver->Session().GetLastError();
    return C->GetEof() || C->IsFieldNull(0) ? "NULL" : C->GetFieldValue(0).AsString();
  }
  std::int64_t Count(const std::string& Table, const std::string& Where = "1 = 1") {
    auto C = this->Driver->NewCursor(this->Driver->Session());
    EXPECT_TRUE(C->OpenRead("SELECT count(*) AS n FROM " + Table + " WHERE " + Where))
        << this->Driver->Session().GetLastError();
    return C->GetFieldValue(0).AsInt64();
  }
  std::unique_ptr<TZantrelSession> Other() {
    auto S = this->Driver->NewSession();
    S->Open();
    return S;
  }
};
TYPED_TEST_SUITE_P(DriverSql);

TYPED_TEST_P(DriverSql, NamedAndPositionalMarkersTakeTheirValues) {
  this->MakeSmallTable({{1, "a", 10, Variant::Null()},
                        {2, "b", 20, Variant::Null()},
                        {3, "x", 30, Variant::Null()},
                        {4, "y", 40, Variant::Null()}});
  // One parameter a name; a repeated name passes its value once. A marker
  // inside a literal is text.
  auto Q = this->Driver->NewQuery(
      "SELECT id, ':s ?' AS lit FROM t WHERE qty >= :lo AND name <> :s OR qty = :lo ORDER BY id");
  ASSERT_EQ(Q->GetParams()->Count(), 3);
  Q->ParamByName("lo")->SetAsInteger(30);
  Q->ParamByName("s")->SetAsString("y");
  Q->Open();
  EXPECT_EQ(Q->RecordCount(), 1);
  EXPECT_EQ(Q->FieldByName("id")->GetAsInteger(), 3);
  EXPECT_EQ(Q->FieldByName("lit")->GetAsString(), ":s ?");

  auto C = this->Driver->NewCursor(this->Driver->Session());
  ASSERT_TRUE(C->OpenRead("SELECT name FROM t WHERE id = ? OR qty = ? ORDER BY id",
                          {Variant(2), Variant(40)}))
      << this->Driver->Session().GetLastError();
  EXPECT_EQ(C->GetFieldValue(0).AsString(), "b");
  ASSERT_TRUE(C->FetchNext());
  EXPECT_EQ(C->GetFieldValue(0).AsString(), "y");
  EXPECT_FALSE(C->FetchNext());
}

TYPED_TEST_P(DriverSql, ARepeatedStatementOfTheSameShapeIsNotPreparedAgain) {
  this->MakeSmallTable({});
  auto C = this->Driver->NewCursor(this->Driver->Session());
  const std::string Insert = "INSERT INTO t (id, name, qty) VALUES (?, ?, ?)";
  ASSERT_TRUE(C->Execute(Insert, {Variant(1), Variant("a"), Variant(10)}))
      << this->Driver->Session().GetLastError();
  const std::int64_t AfterFirst = this->Driver->Prepares();
  ASSERT_TRUE(C->Execute(Insert, {Variant(2), Variant("b"), Variant(20)}));
  EXPECT_EQ(this->Driver->Prepares(), AfterFirst);

  const std::string Lookup = "SELECT name FROM t WHERE id = ?";
  ASSERT_TRUE(C->OpenRead(Lookup, {Variant(1)}));
  const std::int64_t AfterOpen = this->Driver->Prepares();
  for (const int Id : {2, 1, 3}) {
    ASSERT_EQ(C->OpenRead(Lookup, {Variant(Id)}), Id != 3) << Id;
    if (Id != 3) {
      EXPECT_EQ(C->GetFieldValue(0).AsString(), Id == 1 ? "a" : "b");
    }
  }
  EXPECT_EQ(this->Driver->Prepares(), AfterOpen);

  // A prepared dataset opened again with another value.
  auto Q = this->Driver->NewQuery("SELECT name FROM t WHERE id = :id");
  Q->ParamByName("id")->SetAsInteger(1);
  Q->Prepare();
  Q->Open();
  const std::int64_t AfterQuery = this->Driver->Prepares();
  Q->Close();
  Q->ParamByName("id")->SetAsInteger(2);
  Q->Open();
  EXPECT_EQ(Q->FieldByName("name")->GetAsString(), "b");
  EXPECT_EQ(this->Driver->Prepares(), AfterQuery);
}

TYPED_TEST_P(DriverSql, RowOperationsTouchExactlyTheCurrentRow) {
  // Twins without a key: the hidden row identity tells them apart.
  this->Driver->CreateTable("twins", {{"a", TLogical::Integer}, {"b", TLogical::String, 5}},
                            {{1, "x"}, {1, "x"}, {2, "y"}}, /*Keyed=*/false);
  auto C = this->Driver->NewCursor(this->Driver->Session());
  ASSERT_TRUE(C->OpenWrite("SELECT a, b FROM twins ORDER BY a"))
      << this->Driver->Session().GetLastError();
  C->SetFieldValue("b", Variant("z"));
  ASSERT_TRUE(C->UpdateRecord()) << this->Driver->Session().GetLastError();
  EXPECT_EQ(this->Count("twins", "b = 'x'"), 1);
  ASSERT_TRUE(C->FetchNext());
  ASSERT_TRUE(C->DeleteRecord()) << this->Driver->Session().GetLastError();
  EXPECT_EQ(this->Count("twins"), 2);
  EXPECT_EQ(this->Count("twins", "b = 'x'"), 0);

  // By key, only the changed column of the current row is written.
  this->MakeSmallTable({{1, "one", 10, "n1"}, {2, "two", 20, "n2"}});
  ASSERT_TRUE(C->OpenWrite("SELECT id, name, qty, note FROM t ORDER BY id"));
  ASSERT_TRUE(C->FetchNext());
  C->SetFieldValue("qty", Variant(21));
  ASSERT_TRUE(C->UpdateRecord()) << this->Driver->Session().GetLastError();
  EXPECT_EQ(this->Stored("qty", 2), "21");
  EXPECT_EQ(this->Stored("name", 2), "two");
  EXPECT_EQ(this->Stored("qty", 1), "10");
}

TYPED_TEST_P(DriverSql, ARowOperationReportsTheRowsItWrote) {
  this->MakeSmallTable({{1, "one", 10, Variant::Null()}, {2, "two", 20, Variant::Null()}});
  auto C = this->Driver->NewCursor(this->Driver->Session());
  ASSERT_TRUE(C->OpenWrite("SELECT id, name, qty FROM t ORDER BY id"));
  C->SetFieldValue("qty", Variant(11));
  ASSERT_TRUE(C->UpdateRecord()) << this->Driver->Session().GetLastError();
  EXPECT_EQ(C->GetRowsProcessed(), 1);
  // Nothing changed: nothing is written.
  ASSERT_TRUE(C->UpdateRecord());
  EXPECT_EQ(C->GetRowsProcessed(), 0);
  ASSERT_TRUE(C->DeleteRecord());
  EXPECT_EQ(C->GetRowsProcessed(), 1);
}

TYPED_TEST_P(DriverSql, ARowAnotherSessionChangedIsReadAgain) {
  this->MakeSmallTable({{1, "one", 10, Variant::Null()}, {2, "two", 20, Variant::Null()}});
  auto C = this->Driver->NewCursor(this->Driver->Session());
  ASSERT_TRUE(C->OpenWrite("SELECT id, qty FROM t ORDER BY id"));
  auto Other = this->Other();
  ASSERT_TRUE(Other->Execute("UPDATE t SET qty = 11 WHERE id = 1")) << Other->GetLastError();
  EXPECT_EQ(C->GetFieldValue("qty").AsInteger(), 10);
  ASSERT_TRUE(C->FetchCurrent()) << this->Driver->Session().GetLastError();
  EXPECT_EQ(C->GetFieldValue("qty").AsInteger(), 11);
  // Coming back later shows it too.
  ASSERT_TRUE(C->FetchNext());
  ASSERT_TRUE(C->FetchPrior());
  EXPECT_EQ(C->GetFieldValue("qty").AsInteger(), 11);
  ASSERT_TRUE(Other->Execute("DELETE FROM t WHERE id = 1"));
  EXPECT_FALSE(C->FetchCurrent());
  EXPECT_FALSE(this->Driver->Session().GetLastError().empty());
  EXPECT_LT(this->Driver->Session().GetLastErrorCode(), 0);
  C->Close();
}

TYPED_TEST_P(DriverSql, TheDatasetSeesAnotherSessionsChangeBeforeEditing) {
  this->MakeSmallTable(
      {{1, "abc", 10, Variant::Null()}, {2, Variant::Null(), 20, Variant::Null()}});
  auto Other = this->Other();
  auto Q = this->Writable("SELECT * FROM t ORDER BY id");
  Q->Open();
  ASSERT_TRUE(Other->Execute("UPDATE t SET name = 'theirs' WHERE id = 1"));
  EXPECT_EQ(MessageOf([&] { Q->Edit(); }), LoadZtlStr(SZtlRowChanged));
  Q->Refresh();
  Q->Edit();
  EXPECT_EQ(Q->FieldByName("name")->GetAsString(), "theirs");
  Q->FieldByName("name")->SetAsString("mine");
  Q->Post();
  EXPECT_EQ(this->Stored("name", 1), "mine");

  Q->Append();
  Q->FieldByName("id")->SetAsInteger(9);
  Q->FieldByName("name")->SetAsString("added");
  Q->Post();
  EXPECT_EQ(this->Stored("name", 9), "added");
  EXPECT_EQ(Q->RecordCount(), 3);

  EXPECT_TRUE(Q->Locate("name", "ADD", {loCaseInsensitive, loPartialKey}));
  EXPECT_EQ(Q->FieldByName("id")->GetAsInteger(), 9);
  EXPECT_TRUE(Q->Locate("id;name", VarArrayOf({1, "mine"}), {}));
  ASSERT_TRUE(Q->Locate("id", 2, {}));
  Q->Delete();
  EXPECT_EQ(this->Count("t", "id = 2"), 0);
  EXPECT_EQ(Q->RecordCount(), 2);
}

TYPED_TEST_P(DriverSql, FailuresCarryTheDriversTextAndANegativeCode) {
  this->MakeSmallTable({{1, "one", 10, Variant::Null()}});
  const struct {
    const char* What;
    const char* SQL;
    const char* Mentions; // a word the driver's text must hold
  } Cases[] = {
      {"syntax error", "SELEC id FROM t", "SELEC"},
      {"missing table", "SELECT * FROM no_such_table", "no_such_table"},
      {"duplicate key", "INSERT INTO t (id, name) VALUES (1, 'again')", ""},
      {"wrong column", "UPDATE t SET no_such_column = 1", "no_such_column"},
  };
  auto C = this->Driver->NewCursor(this->Driver->Session());
  TZantrelSession& S = this->Driver->Session();
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.What);
    EXPECT_FALSE(C->Execute(Case.SQL));
    const std::string Text = S.GetLastError();
    const std::int32_t Code = S.GetLastErrorCode();
    EXPECT_LT(Code, 0);
    EXPECT_NE(Text.find(Case.Mentions), std::string::npos) << Text;
    // Through a dataset: the library's exception with the same text and code.
    auto Q = this->Driver->NewQuery(Case.SQL);
    std::int32_t Raised = 0;
    const std::string Message = MessageOf<EZantrelDatasetError>([&] {
      try {
        Q->ExecSQL();
      } catch (const EZantrelDatasetError& E) {
        Raised = E.GetErrorCode();
        throw;
      }
    });
    EXPECT_NE(Message.find(Text), std::string::npos) << Message;
    EXPECT_EQ(Raised, Code);
    EXPECT_FALSE(Q->GetPrepared());
    // The session goes on working.
    EXPECT_EQ(this->Stored("name", 1), "one");
  }
  EXPECT_EQ(this->Count("t"), 1);
}

TYPED_TEST_P(DriverSql, AValueTheColumnCannotHoldIsRefusedAndTheRowKept) {
  this->MakeEdgeTable(false);
  auto Q = this->Writable("SELECT id, c FROM edge ORDER BY id");
  Q->Open();
  Q->Next();
  Q->Edit();
  EXPECT_NE(MessageOf([&] {
              Q->FieldByName("c")->SetAsFloat(1e300);
            }).find("Value of column \"c\" does not fit"),
            std::string::npos);
  EXPECT_EQ(Q->FieldByName("c")->GetAsCurrency(), Currency::FromRaw(123400));
  Q->Cancel();
}

TYPED_TEST_P(DriverSql, AnEmptyMemoOrBlobIsStoredApartFromNull) {
  this->MakeEdgeTable(false);
  auto C = this->Driver->NewCursor(this->Driver->Session());
  ASSERT_TRUE(C->OpenWrite("SELECT id, m, bl FROM edge ORDER BY id"));
  C->GetBlobManager()->BlobByName("m")->Truncate();
  C->GetBlobManager()->BlobByName("bl")->Truncate();
  ASSERT_TRUE(C->UpdateRecord()) << this->Driver->Session().GetLastError();
  EXPECT_EQ(this->Stored("m", 1, "edge"), "");
  EXPECT_EQ(this->Count("edge", "id = 1 AND m IS NOT NULL AND bl IS NOT NULL"), 1);
  EXPECT_EQ(this->Count("edge", "id = 3 AND m IS NULL AND bl IS NULL"), 1);
  // Read back: empty, not null; the null row's streams are empty too.
  ASSERT_TRUE(C->OpenRead("SELECT m, bl FROM edge ORDER BY id"));
  EXPECT_FALSE(C->IsFieldNull(0));
  EXPECT_FALSE(C->IsFieldNull(1));
  EXPECT_EQ(C->GetBlobManager()->BlobByName("bl")->GetBlobSize(), 0);
  ASSERT_TRUE(C->FetchNext());
  EXPECT_EQ(C->GetBlobManager()->BlobByName("bl")->GetBlobSize(), 70003);
  TMemoryStream Copy;
  C->BlobToStream("bl", &Copy);
  EXPECT_EQ(Copy.GetSize(), 70003);
  ASSERT_TRUE(C->FetchNext());
  EXPECT_TRUE(C->IsFieldNull(0));
  EXPECT_TRUE(C->IsFieldNull(1));
  EXPECT_EQ(C->GetBlobManager()->BlobByName("bl")->GetBlobSize(), 0);
}

TYPED_TEST_P(DriverSql, AnEmptyStreamWrittenIntoABlobEmptiesIt) {
  this->MakeEdgeTable(false);
  auto C = this->Driver->NewCursor(this->Driver->Session());
  ASSERT_TRUE(C->OpenWrite("SELECT id, bl FROM edge ORDER BY id"));
  TMemoryStream Empty;
  C->StreamToBlob("bl", &Empty);
  ASSERT_TRUE(C->UpdateRecord()) << this->Driver->Session().GetLastError();
  EXPECT_EQ(this->Count("edge", "id = 1 AND bl IS NOT NULL"), 1);
  ASSERT_TRUE(C->OpenRead("SELECT bl FROM edge ORDER BY id"));
  EXPECT_EQ(C->GetBlobManager()->BlobByName("bl")->GetBlobSize(), 0);
}

TYPED_TEST_P(DriverSql, ExecSQLReportsTheRowsItChanged) {
  this->MakeSmallTable(
      {{1, "a", 1, Variant::Null()}, {2, "b", 2, Variant::Null()}, {3, "c", 3, Variant::Null()}});
  auto Q = this->Driver->NewQuery("UPDATE t SET qty = :v WHERE id <= :last");
  Q->ParamByName("v")->SetAsInteger(11);
  Q->ParamByName("last")->SetAsInteger(2);
  Q->ExecSQL();
  EXPECT_EQ(Q->GetRowsAffected(), 2);
  EXPECT_EQ(this->Count("t", "qty = 11"), 2);
}

TYPED_TEST_P(DriverSql, TheDetailFollowsTheMastersRow) {
  this->MakeSmallTable({{1, "one", 10, Variant::Null()}, {2, "two", 20, Variant::Null()}});
  this->Driver->CreateTable(
      "d", {{"id", TLogical::Integer}, {"tid", TLogical::Integer}, {"n", TLogical::String, 5}},
      {{1, 1, "a"}, {2, 1, "b"}, {3, 2, "c"}});
  auto Master = this->Driver->NewQuery("SELECT * FROM t ORDER BY id");
  TDataSource Source;
  Source.SetDataSet(Master.get());
  auto Detail = this->Driver->NewQuery("SELECT n FROM d WHERE tid = :id ORDER BY n");
  Detail->SetDataSource(&Source);
  Master->Open();
  Detail->Open();
  EXPECT_EQ(Detail->RecordCount(), 2);
  Master->Next();
  EXPECT_EQ(Detail->RecordCount(), 1);
  EXPECT_EQ(Detail->FieldByName("n")->GetAsString(), "c");
  Detail.reset(); // before the source it links to
}

TYPED_TEST_P(DriverSql, AQueryAndAProcedureTravelThroughAFormFile) {
  this->MakeSmallTable({{1, "abc", 10, Variant::Null()}});
  TypeParam::RegisterClasses();
  TDataModule Module(nullptr);
  Module.SetName("Data");
  TZantrelSession* S = this->Driver->NewSession(&Module).release(); // owned by Module
  S->SetName("Db");
  TZantrelCustomDataset* Q = this->Driver->NewQueryComponent(&Module).release();
  Q->SetName("Items");
  Q->SetSession(S);
  Q->GetSQL()->SetText("SELECT name FROM t WHERE id = :id");
  Q->ParamByName("id")->SetAsInteger(1);
  auto* P = dynamic_cast<TZantrelCustomStoredProc*>(
      this->Driver->NewStoredProc("public.nothing", &Module).release());
  ASSERT_NE(P, nullptr);
  P->SetName("Proc");
  P->SetSession(S);

  const std::string Form = ComponentToString(&Module);
  std::unique_ptr<TComponent> Read(StringToComponent(Form));
  auto* Copy = dynamic_cast<TZantrelCustomDataset*>(Read->FindComponent("Items"));
  ASSERT_NE(Copy, nullptr) << Form;
  EXPECT_EQ(typeid(*Copy), typeid(*Q));
  EXPECT_EQ(Copy->GetSession(), Read->FindComponent("Db"));
  EXPECT_EQ(Copy->ParamByName("id")->GetAsInteger(), 1);
  auto* ProcCopy = dynamic_cast<TZantrelCustomStoredProc*>(Read->FindComponent("Proc"));
  ASSERT_NE(ProcCopy, nullptr) << Form;
  EXPECT_EQ(ProcCopy->GetStoredProcName(), "public.nothing");
  Copy->Open();
  EXPECT_EQ(Copy->FieldByName("name")->GetAsString(), "abc");
}

TYPED_TEST_P(DriverSql, AProcedureThatCannotRunLeavesNothingOpen) {
  auto P = this->Driver->NewStoredProc("no_such_routine");
  auto& Proc = dynamic_cast<TZantrelCustomStoredProc&>(*P);
  for (const auto& Run : {std::function<void()>([&] { Proc.ExecProc(); }),
                          std::function<void()>([&] { Proc.Prepare(); })}) {
    EXPECT_NE(MessageOf<EDatabaseError>(Run), "");
    EXPECT_FALSE(Proc.GetPrepared());
    EXPECT_FALSE(Proc.GetActive());
    EXPECT_EQ(this->Driver->Session().GetOpenCount(), 0);
  }
}

// 'Zed' < 'abc' < 'zz' in the servers' byte order, while the locale puts
// 'abc' first: a search that stopped by the locale's order at 'Zed' would
// miss rows that are there.
TYPED_TEST_P(DriverSql, SortedTextSearchesFollowTheServersOrder) {
  this->MakeSmallTable({{1, "Zed", 10, Variant::Null()},
                        {2, "abc", 20, Variant::Null()},
                        {3, "zz", 30, Variant::Null()}});
  auto Q = this->Driver->NewQuery("SELECT * FROM t ORDER BY name");
  Q->Open();
  EXPECT_EQ(Q->FieldByName("name")->GetAsString(), "Zed") << "the server sorts by bytes";
  for (const char* Name : {"abc", "zz", "Zed"}) {
    SCOPED_TRACE(Name);
    Q->First();
    EXPECT_TRUE(Q->Locate("name", Name, {}));
    EXPECT_EQ(Q->FieldByName("name")->GetAsString(), Name);
    Q->First();
    EXPECT_TRUE(Q->FindKey({Name}));
    EXPECT_EQ(Q->FieldByName("name")->GetAsString(), Name);
  }
  EXPECT_FALSE(Q->Locate("name", "b", {}));
}

REGISTER_TYPED_TEST_SUITE_P(
    DriverSql, NamedAndPositionalMarkersTakeTheirValues,
    ARepeatedStatementOfTheSameShapeIsNotPreparedAgain, RowOperationsTouchExactlyTheCurrentRow,
    ARowOperationReportsTheRowsItWrote, ARowAnotherSessionChangedIsReadAgain,
    TheDatasetSeesAnotherSessionsChangeBeforeEditing, FailuresCarryTheDriversTextAndANegativeCode,
    AValueTheColumnCannotHoldIsRefusedAndTheRowKept, AnEmptyMemoOrBlobIsStoredApartFromNull,
    AnEmptyStreamWrittenIntoABlobEmptiesIt, ExecSQLReportsTheRowsItChanged,
    TheDetailFollowsTheMastersRow, AQueryAndAProcedureTravelThroughAFormFile,
    AProcedureThatCannotRunLeavesNothingOpen, SortedTextSearchesFollowTheServersOrder);

} // namespace ztl::conformance
