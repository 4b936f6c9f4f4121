// What only the PostgreSQL query and stored-procedure datasets do (the cases
// every driver passes are in tests/drivers/conformance): field data
// conversions and their refusals, the fields PostgreSQL's types give,
// statements that return rows through ExecSQL, and functions and procedures
// described from the catalog, run and their outputs read.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "core/ZtlConsts.h"
#include "framework/variant/DateUtils.h"
#include "tests/drivers/postgres/PgTestSupport.h"
#include "tests/support/TestHelpers.h"

namespace ztl::testing {
namespace {

using test::MessageOf;

bool Mentions(const std::string& Text, const std::string& Part) {
  return Text.find(Part) != std::string::npos;
}

// ---- Conversions without a server --------------------------------------------

std::unique_ptr<TZantrelFieldDef> Column(TZantrelFieldTypes Type, std::int32_t Size) {
  auto Def = std::make_unique<TZantrelFieldDef>(nullptr, "c");
  Def->FieldType = Type;
  Def->Size = Size;
  return Def;
}

TEST(PgFieldData, MisfitsAreRefusedAndLeaveTheRowAlone) {
  struct Case {
    const char* What;
    TZantrelFieldTypes Type;
    std::int32_t RowSize;
    std::string Data; // field data written
    const char* Why;
  } const Cases[] = {
      {"string too long", ntString, 4, std::string("abcd\0", 5), "4 characters are longer"},
      {"row too small", ntInteger, 2, std::string(4, '\1'), "the row holds 2 bytes"},
      {"data too short", ntFloat, 8, std::string(4, '\0'), "the field data has 4 bytes"},
      {"time past midnight", ntTime, 8, std::string("\x00\x5C\x26\x05", 4), "not a time of day"},
      {"day 0", ntDate, 8, std::string(4, '\0'), "outside the years 1 to 9999"},
      {"no binary columns", ntBinary, 4, "\1\2", "its type has no place in the row"},
  };
  for (const Case& C : Cases) {
    const auto Def = Column(C.Type, C.RowSize);
    std::string Row(static_cast<std::size_t>(C.RowSize), '\x55');
    const std::string Before = Row;
    const std::string Message = MessageOf([&] {
      PgWriteFieldData(*Def, reinterpret_cast<std::uint8_t*>(Row.data()), C.Data.data(),
                       C.Data.size());
    });
    EXPECT_TRUE(Mentions(Message, "Value of column \"c\" does not fit: ")) << C.What << Message;
    EXPECT_TRUE(Mentions(Message, C.Why)) << C.What << ": " << Message;
    EXPECT_EQ(Row, Before) << C.What;
  }
  // Reading refuses a string the field has no room for rather than cut it.
  const auto Def = Column(ntString, 8);
  const std::uint8_t Row[8] = {'a', 'b', 'c', 'd', 'e', 0, 0, 0};
  char Field[4];
  EXPECT_TRUE(Mentions(MessageOf([&] { PgReadFieldData(*Def, Row, Field, sizeof Field); }),
                       "5 characters are longer than the field's size of 3"));
}

// ---- On the cluster -------------------------------------------------------------

class PgDataset : public PgTest {
protected:
  void SetUp() override {
    PgTest::SetUp();
    if (!Session)
      return;
    Exec("DROP TABLE IF EXISTS t; CREATE TABLE t (id int PRIMARY KEY, s varchar(10), "
         "i int4, l int8, f float8, n numeric(10,2), w numeric(30,10), m money, b bool, "
         "d date, tm time, ts timestamp, tx text, bl bytea)");
    Exec("INSERT INTO t VALUES (1, 'abc', -7, 9000000000, 2.5, 12.34, "
         "12345678901234567890.0123456789, 5.25, true, '2024-02-29', '13:45:30', "
         "'2024-02-29 13:45:30.250', 'memo text', '\\x00ff10'); INSERT INTO t (id) VALUES (2)");
    Query = NewQuery("SELECT * FROM t ORDER BY id");
  }
  void TearDown() override { Query.reset(); }

  std::unique_ptr<TZantrelPgQuery> NewQuery(const std::string& Text,
                                            TZantrelSession* On = nullptr) {
    auto Q = std::make_unique<TZantrelPgQuery>();
    Q->SetSession(On ? On : Session.get());
    Q->GetSQL()->SetText(Text);
    return Q;
  }
  TField& F(const char* Name) { return *Query->FieldByName(Name); }
  // What the table holds, as text, read through a fresh query.
  std::string Stored(const std::string& Expr, int Id = 1) {
    auto Q = NewQuery("SELECT CAST(" + Expr +
                      " AS varchar(200)) AS v FROM t WHERE id = " + std::to_string(Id));
    Q->Open();
    return Q->FieldByName("v")->GetAsString();
  }

  std::unique_ptr<TZantrelPgQuery> Query;
};

// Every type's values, edges and nulls, browsing, parameters, editing
// against a second session, Locate, ExecSQL's counts and form files are in
// the conformance suite; here what PostgreSQL's types make of them.
TEST_F(PgDataset, TypesGiveTheirFieldsAndNumericsReadAsFloatOrText) {
  Query->Open();
  struct {
    const char* Name;
    TFieldType Type;
  } const Types[] = {{"id", ftInteger}, {"s", ftString}, {"i", ftInteger}, {"l", ftLargeint},
                     {"f", ftFloat},    {"n", ftFloat},  {"w", ftString},  {"m", ftCurrency},
                     {"b", ftBoolean},  {"d", ftDate},   {"tm", ftTime},   {"ts", ftDateTime},
                     {"tx", ftMemo},    {"bl", ftBlob}};
  for (const auto& T : Types)
    EXPECT_EQ(F(T.Name).DataType(), T.Type) << T.Name;
  // varchar(10): ten characters of up to four bytes each in UTF-8.
  EXPECT_EQ(F("s").Size(), 40u);
  EXPECT_EQ(F("n").GetAsFloat(), 12.34);
  EXPECT_EQ(F("w").GetAsString(), "12345678901234567890.0123456789");
  EXPECT_EQ(F("m").GetAsCurrency(), Currency::FromRaw(52500));

  Query->Close();
  Query->SetReadOnly(false);
  Query->Open();
  Query->Edit();
  F("n").SetAsFloat(99.99);
  F("w").SetAsString("-98765432109876543210.5");
  F("m").SetAsFloat(-3.5);
  Query->Post();
  EXPECT_EQ(Stored("n"), "99.99");
  EXPECT_EQ(Stored("w"), "-98765432109876543210.5000000000");
  EXPECT_EQ(Stored("CAST(m AS numeric)"), "-3.50");
}

TEST_F(PgDataset, ExecSQLRunsAStatementThatReturnsRows) {
  auto Sel = NewQuery("SELECT pg_catalog.set_config('application_name', :n, false)");
  Sel->ParamByName("n")->SetAsString("ztl-test");
  Sel->ExecSQL();
  EXPECT_EQ(Sel->GetRowsAffected(), 1);
  auto Name = NewQuery("SELECT CAST(current_setting('application_name') AS varchar(20)) AS a");
  Name->Open();
  EXPECT_EQ(Name->FieldByName("a")->GetAsString(), "ztl-test");
}

// ---- Stored procedures ------------------------------------------------------------

class PgStoredProc : public PgTest {
protected:
  void SetUp() override {
    PgTest::SetUp();
    if (!Session)
      return;
    Exec("CREATE OR REPLACE FUNCTION split_sum(a int, INOUT b int, OUT total int8, OUT note text) "
         "LANGUAGE sql AS $$ SELECT b * 2, (a + b)::int8, 'n' || a $$");
    Exec("CREATE OR REPLACE FUNCTION \"Twice\"(x float8) RETURNS float8 "
         "LANGUAGE sql AS $$ SELECT x * 2 $$");
    Exec("CREATE OR REPLACE FUNCTION series(n int) RETURNS TABLE (k int, d date, b bytea) "
         "LANGUAGE sql AS $$ SELECT g, DATE '2000-01-01' + g, "
         "decode(lpad(to_hex(g), 2, '0'), 'hex') FROM generate_series(1, n) g $$");
    Exec("CREATE OR REPLACE FUNCTION anon(int, OUT int, OUT bool) "
         "LANGUAGE sql AS $$ SELECT $1 + 1, $1 > 0 $$");
    Exec("CREATE OR REPLACE PROCEDURE bump(step int, INOUT v int, OUT msg varchar) "
         "LANGUAGE plpgsql AS $$ BEGIN v := v + step; msg := 'bumped'; END $$");
  }

  std::unique_ptr<TZantrelPgStoredProc> NewProc(const std::string& Name) {
    auto P = std::make_unique<TZantrelPgStoredProc>();
    P->SetSession(Session.get());
    P->SetProcName(Name);
    return P;
  }
};

TEST_F(PgStoredProc, DescribesArgumentsFromTheCatalog) {
  const struct {
    const char* Proc;
    const char* Params; // name:direction:type, ...
  } Cases[] = {
      {"split_sum", "a:1:2,b:2:2,total:3:3,note:3:1"},
      {"Twice", "result:4:4,x:1:4"},
      {" public . twice", ""}, // "Twice" is found by its exact spelling only
      {" public . SPLIT_SUM", "a:1:2,b:2:2,total:3:3,note:3:1"},
      {"series", "n:1:2,k:3:2,d:3:6,b:3:12"},
      {"anon", "arg1:1:2,column1:3:2,column2:3:9"},
      {"bump", "step:1:2,v:2:2,msg:3:1"},
  };
  for (const auto& C : Cases) {
    auto P = NewProc(C.Proc);
    TZantrelParams Copy;
    P->CopyParams(&Copy);
    std::string Got;
    for (int I = 0; I < Copy.Count(); ++I) {
      const TZantrelParam* Q = Copy.GetParam(I);
      Got += (I ? "," : "") + Q->GetName() + ":" + std::to_string(int{Q->GetParamType()}) + ":" +
             std::to_string(int{Q->GetDataType()});
    }
    EXPECT_EQ(Got, C.Params) << C.Proc;
    EXPECT_FALSE(P->GetPrepared());
  }
}

TEST_F(PgStoredProc, ExecProcFillsTheOutputs) {
  auto P = NewProc("split_sum");
  P->Prepare();
  EXPECT_EQ(TrimRight(P->GetSQL()->GetText()), "SELECT * FROM public.split_sum(:a, :b)");
  P->ParamByName("a")->SetAsInteger(3);
  P->ParamByName("b")->SetAsInteger(4);
  P->ExecProc();
  EXPECT_EQ(P->ParamByName("b")->GetAsInteger(), 8);
  EXPECT_EQ(P->ParamByName("total")->GetAsFloat(), 7);
  EXPECT_EQ(P->ParamByName("note")->GetAsString(), "n3");
  // Prepared once, it runs again with new values.
  P->ParamByName("b")->SetAsInteger(1);
  P->ExecProc();
  EXPECT_EQ(P->ParamByName("total")->GetAsFloat(), 4);
  P->UnPrepare();
  EXPECT_EQ(Session->GetOpenCount(), 0);

  auto R = NewProc("Twice");
  R->CopyParams(R->GetParams());
  R->ParamByName("x")->SetAsFloat(1.25);
  R->ExecProc();
  EXPECT_EQ(R->ParamByName("result")->GetAsFloat(), 2.5);
  EXPECT_EQ(TrimRight(R->GetSQL()->GetText()), "SELECT * FROM public.\"Twice\"(:x) AS \"result\"");

  auto B = NewProc("bump");
  B->CopyParams(B->GetParams());
  B->ParamByName("step")->SetAsInteger(5);
  B->ParamByName("v")->SetAsInteger(10);
  B->ExecProc();
  EXPECT_EQ(TrimRight(B->GetSQL()->GetText()), "CALL public.bump(:step, :v, NULL)");
  EXPECT_EQ(B->ParamByName("v")->GetAsInteger(), 15);
  EXPECT_EQ(B->ParamByName("msg")->GetAsString(), "bumped");
}

TEST_F(PgStoredProc, AnArgumentNameNoMarkerHoldsMakesEveryInputPositional) {
  // A named marker beside a "?" would make the "?" jsonb's operator.
  Exec("CREATE OR REPLACE FUNCTION odd_args(\"first arg\" int, b int) RETURNS int "
       "LANGUAGE sql AS $$ SELECT $1 - $2 $$");
  auto P = NewProc("odd_args");
  P->CopyParams(P->GetParams());
  P->ParamByName("first arg")->SetAsInteger(10);
  P->ParamByName("b")->SetAsInteger(3);
  P->ExecProc();
  EXPECT_EQ(TrimRight(P->GetSQL()->GetText()), "SELECT * FROM public.odd_args(?, ?) AS \"result\"");
  EXPECT_EQ(P->ParamByName("result")->GetAsInteger(), 7);
}

TEST_F(PgStoredProc, ASetReturningFunctionOpensAsRows) {
  auto P = NewProc("series");
  P->CopyParams(P->GetParams());
  P->ParamByName("n")->SetAsInteger(3);
  P->Open();
  EXPECT_EQ(P->RecordCount(), 3);
  P->Last();
  EXPECT_EQ(P->FieldByName("k")->GetAsInteger(), 3);
  EXPECT_EQ(P->FieldByName("d")->GetAsDateTime(), EncodeDate(2000, 1, 4));
  EXPECT_EQ(P->FieldByName("b")->GetAsString(), "\x03");
  P->Close();
  EXPECT_EQ(Session->GetOpenCount(), 0);
}

TEST_F(PgStoredProc, AMissingRoutineIsReportedByTheServer) {
  auto P = NewProc("no_such_thing");
  const std::string Message = MessageOf([&] { P->ExecProc(); });
  EXPECT_TRUE(Mentions(Message, "no_such_thing")) << Message;
  EXPECT_FALSE(P->GetPrepared());
  EXPECT_EQ(Session->GetOpenCount(), 0);
  // An owner with quotes is a literal, not a piece of SQL.
  auto Q = NewProc("x'; DROP TABLE nothing; --.f");
  TZantrelParams Copy;
  Q->CopyParams(&Copy);
  EXPECT_EQ(Copy.Count(), 0);
}

} // namespace
} // namespace ztl::testing
