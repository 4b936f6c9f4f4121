// What only the SQLite query dataset does (the cases every driver passes are
// in tests/drivers/conformance): the fields its declared types give, binary
// values of a fixed length, and the stored procedure SQLite cannot run.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "core/ZtlConsts.h"
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
  // What the table holds, read through a fresh query.
  Variant Stored(const std::string& Expr, int Id = 1) {
    auto Q = NewQuery("select " + Expr + " as V from T where ID = " + std::to_string(Id));
    Q->Open();
    return Q->FieldByName("V")->GetAsVariant();
  }

  std::unique_ptr<TZantrelSQLiteQuery> Query;
};

// Every type's values, edges and nulls are in the conformance suite; here
// what SQLite's declarations make of them.
TEST_F(SQLiteDataset, DeclaredTypesGiveTheirFields) {
  Query->Open();
  struct {
    const char* Name;
    TFieldType Type;
  } const Types[] = // SQLite's integers are 64 bits wide; NUMERIC(10,2) is an amount
      {{"ID", ftLargeint}, {"S", ftString}, {"I", ftLargeint}, {"L", ftLargeint}, {"F", ftFloat},
       {"C", ftCurrency},  {"D", ftDate},   {"TM", ftTime},   {"DT", ftDateTime}, {"B", ftBoolean},
       {"BIN", ftBytes},   {"M", ftMemo},   {"BL", ftBlob}};
  for (const auto& T : Types)
    EXPECT_EQ(F(T.Name).DataType(), T.Type) << T.Name;
  EXPECT_EQ(F("S").Size(), 40u); // VARCHAR(10): ten characters of UTF-8
  EXPECT_EQ(F("BIN").Size(), 4u);
  EXPECT_EQ(F("C").GetAsCurrency(), Currency::FromRaw(123400));
  // A binary field has no length: the two bytes come zero-padded.
  EXPECT_EQ(BytesOf(F("BIN").GetAsVariant()), std::string("\x01\x02\0\0", 4));
}

TEST_F(SQLiteDataset, BinaryValuesKeepTheirLength) {
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
