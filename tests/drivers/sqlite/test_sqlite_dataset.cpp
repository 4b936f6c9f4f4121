// The SQLite query dataset on real database files: every logical type
// through its field, nulls, blob streams, browsing and bookmarks, parameters,
// editing against a second connection, Locate, master-detail and form files;
// and the stored procedure SQLite cannot run.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "core/ZtlConsts.h"
#include "framework/forms/DataModule.h"
#include "framework/db/DataSource.h"
#include "framework/variant/DateUtils.h"
#include "tests/drivers/sqlite/SQLiteTestSupport.h"

namespace ztl::testing {
namespace {

using test::MessageOf;

// Bytes of a byte-array Variant as text, for comparisons.
std::string BytesOf(const Variant& V) {
  const auto B = V.Bytes();
  return std::string(reinterpret_cast<const char*>(B.data()), B.size());
}

class SQLiteDataset : public SQLiteTest {
protected:
  void SetUp() override {
    SQLiteTest::SetUp();
    Exec("create table T (ID integer primary key, S varchar(10), I int, L bigint, F real, "
         "C numeric(10,2), D date, TM time, DT datetime, B boolean, BIN binary(4), M text, "
         "BL blob)");
    Exec("insert into T values (1, 'abc', -7, 9000000000, 2.5, 12.34, '2024-02-29', "
         "'13:45:30', '2024-02-29 13:45:30.250', 1, x'0102', 'memo text', x'00ff10')");
    Exec("insert into T (ID) values (2)");
    Query = NewQuery("select * from T order by ID");
  }
  void TearDown() override {
    Query.reset();
    SQLiteTest::TearDown();
  }

  std::unique_ptr<TZantrelSQLiteQuery> NewQuery(const std::string& Text,
                                                TZantrelSession* On = nullptr) {
    auto Q = std::make_unique<TZantrelSQLiteQuery>();
    Q->SetSession(On ? On : Session.get());
    Q->GetSQL()->SetText(Text);
    return Q;
  }
  TField& F(const char* Name) { return *Query->FieldByName(Name); }
  std::string Blob(const char* Name) {
    auto S = Query->CreateBlobStream(Query->FieldByName(Name), bmRead);
    std::string Data(static_cast<std::size_t>(S->GetSize()), '\0');
    S->Read(Data.data(), static_cast<std::int32_t>(Data.size()));
    return Data;
  }
  // What the table holds, read through a fresh query.
  Variant Stored(const std::string& Expr, int Id = 1) {
    auto Q = NewQuery("select " + Expr + " as V from T where ID = " + std::to_string(Id));
    Q->Open();
    return Q->FieldByName("V")->GetAsVariant();
  }

  std::unique_ptr<TZantrelSQLiteQuery> Query;
};

TEST_F(SQLiteDataset, EveryLogicalTypeReachesItsField) {
  Query->Open();
  struct {
    const char* Name;
    TFieldType Type;
  } const Types[] = // a rowid alias is 64 bits wide
      {{"ID", ftLargeint}, {"S", ftString}, {"I", ftInteger}, {"L", ftLargeint},  {"F", ftFloat},
       {"C", ftCurrency},  {"D", ftDate},   {"TM", ftTime},   {"DT", ftDateTime}, {"B", ftBoolean},
       {"BIN", ftBytes},   {"M", ftMemo},   {"BL", ftBlob}};
  for (const auto& T : Types)
    EXPECT_EQ(F(T.Name).DataType(), T.Type) << T.Name;
  EXPECT_EQ(F("S").Size(), 10u);
  EXPECT_EQ(F("BIN").Size(), 4u);

  EXPECT_EQ(F("S").GetAsString(), "abc");
  EXPECT_EQ(F("I").GetAsInteger(), -7);
  EXPECT_EQ(F("L").GetAsLargeInt(), 9000000000);
  EXPECT_DOUBLE_EQ(F("F").GetAsFloat(), 2.5);
  EXPECT_EQ(F("C").GetAsCurrency(), Currency::FromRaw(123400));
  EXPECT_EQ(F("D").GetAsDateTime(), EncodeDate(2024, 2, 29));
  EXPECT_EQ(F("TM").GetAsDateTime(), EncodeTime(13, 45, 30, 0));
  EXPECT_EQ(F("DT").GetAsDateTime(), EncodeDate(2024, 2, 29) + EncodeTime(13, 45, 30, 250));
  EXPECT_TRUE(F("B").GetAsBoolean());
  // A binary field has no length: the two bytes come zero-padded.
  EXPECT_EQ(BytesOf(F("BIN").GetAsVariant()), std::string("\x01\x02\0\0", 4));
  EXPECT_EQ(F("M").GetAsString(), "memo text");
  EXPECT_EQ(Blob("BL"), std::string("\x00\xff\x10", 3));

  Query->Next();
  for (const auto& T : Types)
    EXPECT_EQ(F(T.Name).IsNull(), std::string(T.Name) != "ID") << T.Name;
  EXPECT_EQ(Blob("M"), "");
}

TEST_F(SQLiteDataset, EditedValuesAreStoredExactly) {
  Query->SetReadOnly(false);
  Query->Open();
  Query->Edit();
  F("S").SetAsString("0123456789");
  F("I").SetAsInteger(INT32_MIN);
  F("L").SetAsLargeInt(-9000000001);
  F("F").SetAsFloat(-0.125);
  F("C").SetAsFloat(99.99);
  F("D").SetAsDateTime(EncodeDate(1899, 12, 30));
  F("TM").SetAsDateTime(EncodeTime(23, 59, 59, 999));
  F("DT").SetAsDateTime(EncodeDate(2000, 1, 1) + EncodeTime(12, 0, 0, 1));
  F("B").SetAsBoolean(false);
  F("M").SetAsString("new memo");
  Query->Post();

  EXPECT_EQ(Stored("S").AsString(), "0123456789");
  EXPECT_EQ(Stored("I").AsInt64(), INT32_MIN);
  EXPECT_EQ(Stored("L").AsInt64(), -9000000001);
  EXPECT_EQ(Stored("F").AsDouble(), -0.125);
  EXPECT_EQ(Stored("C").AsCurrency(), Currency::FromRaw(999900));
  EXPECT_EQ(Stored("B").AsInt64(), 0);
  EXPECT_EQ(Stored("M").AsString(), "new memo");
  EXPECT_EQ(F("D").GetAsDateTime(), EncodeDate(1899, 12, 30));
  EXPECT_EQ(F("TM").GetAsDateTime(), EncodeTime(23, 59, 59, 999));
  EXPECT_EQ(F("DT").GetAsDateTime(), EncodeDate(2000, 1, 1) + EncodeTime(12, 0, 0, 1));
}

TEST_F(SQLiteDataset, BinaryValuesKeepTheirLengthAndMisfitsAreRefused) {
  Query->SetReadOnly(false);
  Query->Open();
  // Written back as read (zero-padded), the two stored bytes stay two.
  Query->Edit();
  F("BIN").SetAsVariant(F("BIN").GetAsVariant());
  Query->Post();
  EXPECT_EQ(Stored("length(BIN)").AsInt64(), 2);
  // A different value takes the whole field.
  Query->Edit();
  F("BIN").SetAsVariant(VarArrayFromBytes("\x01\x03", 2));
  Query->Post();
  EXPECT_EQ(Stored("hex(BIN)").AsString(), "01030000");

  // A currency amount beyond the column's range is refused and the row kept.
  Query->Edit();
  EXPECT_NE(MessageOf([&] { F("C").SetAsFloat(1e300); }).find("Value of column \"C\""),
            std::string::npos);
  EXPECT_EQ(F("C").GetAsCurrency(), Currency::FromRaw(123400));
  Query->Cancel();
}

TEST_F(SQLiteDataset, BrowsesBothWaysWithBookmarks) {
  Exec("insert into T (ID, I) values (3, 30), (4, 40), (5, 50)");
  Query->Open();
  Query->Last();
  EXPECT_EQ(Query->RecordCount(), 5);
  EXPECT_EQ(F("ID").GetAsInteger(), 5);
  Query->Prior();
  Query->Prior();
  EXPECT_EQ(Query->GetRecNo(), 3);
  const TBookmark Mark = Query->GetBookmark();
  Query->First();
  EXPECT_TRUE(Query->Bof());
  Query->GotoBookmark(Mark);
  EXPECT_EQ(F("I").GetAsInteger(), 30);
  Query->SetRecNo(1);
  EXPECT_EQ(F("ID").GetAsInteger(), 1);
  int Seen = 0;
  for (Query->Last(); !Query->Bof(); Query->Prior())
    ++Seen;
  EXPECT_EQ(Seen, 5);
}

TEST_F(SQLiteDataset, NamedMarkersBecomeParameters) {
  Exec("insert into T (ID, I, S) values (3, 30, 'x'), (4, 40, 'y')");
  Query->GetSQL()->SetText("select ID from T where I >= :lo and S <> :s or I = :lo");
  // One parameter a marker; a repeated name passes its value once.
  ASSERT_EQ(Query->GetParams()->Count(), 3);
  Query->ParamByName("lo")->SetAsInteger(30);
  Query->ParamByName("s")->SetAsString("y");
  Query->Open();
  EXPECT_EQ(Query->RecordCount(), 1);
  EXPECT_EQ(F("ID").GetAsInteger(), 3);
}

TEST_F(SQLiteDataset, EditsInsertsAndDeletesAndSeesAnotherConnectionsChange) {
  TZantrelSQLiteSession Other;
  Other.SetDatabaseName(Dir.File("test.db"));
  Other.Open();
  Query->SetReadOnly(false);
  Query->Open();
  ASSERT_TRUE(Other.Execute("update T set S = 'theirs' where ID = 1"));
  EXPECT_EQ(MessageOf([&] { Query->Edit(); }), LoadZtlStr(SZtlRowChanged));
  Query->Refresh();
  Query->Edit();
  EXPECT_EQ(F("S").GetAsString(), "theirs");
  F("S").SetAsString("mine");
  Query->Post();
  EXPECT_EQ(Stored("S").AsString(), "mine");

  Query->Append();
  F("ID").SetAsInteger(9);
  F("S").SetAsString("added");
  Query->Post();
  EXPECT_EQ(Stored("S", 9).AsString(), "added");
  EXPECT_EQ(Query->RecordCount(), 3);

  ASSERT_TRUE(Query->Locate("ID", 2, {}));
  Query->Delete();
  EXPECT_EQ(Stored("count(*)", 2).AsInt64(), 0);
  EXPECT_EQ(Query->RecordCount(), 2);
}

TEST_F(SQLiteDataset, LocateFindsByOneOrSeveralFields) {
  Exec("insert into T (ID, I, S) values (3, 30, 'Smith'), (4, 40, 'smithers')");
  Query->Open();
  EXPECT_TRUE(Query->Locate("S", "SMITH", {loCaseInsensitive}));
  EXPECT_EQ(F("ID").GetAsInteger(), 3);
  EXPECT_TRUE(Query->Locate("S;I", VarArrayOf({"smith", 40}), {loCaseInsensitive, loPartialKey}));
  EXPECT_EQ(F("ID").GetAsInteger(), 4);
  EXPECT_FALSE(Query->Locate("S", "nobody", {}));
  EXPECT_EQ(F("ID").GetAsInteger(), 4);
}

TEST_F(SQLiteDataset, DetailFollowsTheMastersRow) {
  Exec("create table D (TID int, N varchar(5))");
  Exec("insert into D values (1, 'a'), (1, 'b'), (2, 'c')");
  TDataSource Source;
  Source.SetDataSet(Query.get());
  auto Detail = NewQuery("select N from D where TID = :ID order by N");
  Detail->SetDataSource(&Source);
  Query->Open();
  Detail->Open();
  EXPECT_EQ(Detail->RecordCount(), 2);
  Query->Next();
  EXPECT_EQ(Detail->RecordCount(), 1);
  EXPECT_EQ(Detail->FieldByName("N")->GetAsString(), "c");
  Detail.reset();
}

TEST_F(SQLiteDataset, AQueryTravelsThroughAFormFileWithItsSession) {
  RegisterZantrelSQLiteClasses();
  TDataModule Module(nullptr);
  Module.SetName("Data");
  auto* S = new TZantrelSQLiteSession(&Module);
  S->SetName("Db");
  S->SetDatabaseName(Dir.File("test.db"));
  auto* Q = new TZantrelSQLiteQuery(&Module);
  Q->SetName("Items");
  Q->SetSession(S);
  Q->GetSQL()->SetText("select S from T where ID = :ID");
  Q->ParamByName("ID")->SetAsInteger(1);
  auto* P = new TZantrelSQLiteStoredProc(&Module);
  P->SetName("Proc");
  P->SetSession(S);
  P->SetProcName("nothing");

  const std::string Form = ComponentToString(&Module);
  std::unique_ptr<TComponent> Read(StringToComponent(Form));
  auto* Copy = dynamic_cast<TZantrelSQLiteQuery*>(Read->FindComponent("Items"));
  ASSERT_NE(Copy, nullptr) << Form;
  EXPECT_EQ(Copy->GetSession(), Read->FindComponent("Db"));
  EXPECT_EQ(Copy->ParamByName("ID")->GetAsInteger(), 1);
  auto* ProcCopy = dynamic_cast<TZantrelSQLiteStoredProc*>(Read->FindComponent("Proc"));
  ASSERT_NE(ProcCopy, nullptr);
  EXPECT_EQ(ProcCopy->GetStoredProcName(), "nothing");
  Copy->Open();
  EXPECT_EQ(Copy->FieldByName("S")->GetAsString(), "abc");
}

TEST_F(SQLiteDataset, AStoredProcedureSaysSQLiteHasNone) {
  TZantrelSQLiteStoredProc Proc;
  Proc.SetSession(Session.get());
  Proc.SetProcName("anything");
  for (const auto& Run : {std::function<void()>([&] { Proc.ExecProc(); }),
                          std::function<void()>([&] { Proc.Open(); }),
                          std::function<void()>([&] { Proc.Prepare(); })})
    EXPECT_NE(MessageOf(Run).find(SSQLiteNoStoredProcs), std::string::npos);
  EXPECT_FALSE(Proc.GetActive());
  EXPECT_FALSE(Proc.GetPrepared());
  EXPECT_EQ(Session->GetOpenCount(), 0);
  TZantrelParams Copy;
  EXPECT_NE(MessageOf([&] { Proc.CopyParams(&Copy); }).find(SSQLiteNoStoredProcs),
            std::string::npos);
  EXPECT_EQ(Session->GetOpenCount(), 0);
}

} // namespace
} // namespace ztl::testing
