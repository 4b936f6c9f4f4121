// The SQLite driver's type mapping, date texts, and values that round-trip
// through a table or do not fit their column.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "drivers/sqlite/SQLiteTypes_p.h"
#include "framework/classes/Streams.h"
#include "tests/drivers/sqlite/SQLiteTestSupport.h"

namespace ztl::testing {

TEST(SQLiteDeclaredTypes, MapToLogicalTypesAndSizes) {
  struct Case {
    const char* Decl;
    std::int32_t MaxString;
    TZantrelFieldTypes Type;
    std::int32_t Size; // row bytes
    bool ByValue;
  };
  const Case Cases[] = {
      {"INTEGER", 0, ntInteger, 4, false},
      {"int", 0, ntInteger, 4, false},
      {"BIGINT", 0, ntInt64, 8, false},
      {"unsigned big int", 0, ntInt64, 8, false},
      {"MEDIUMINTEGER", 0, ntInt64, 8, false}, // affinity rule: contains INT
      {"REAL", 0, ntFloat, 8, false},
      {"DOUBLE PRECISION", 0, ntFloat, 8, false},
      {"NUMERIC(10,2)", 0, ntCurrency, 8, false},
      {"DECIMAL(20,2)", 0, ntFloat, 8, false},
      {"NUMERIC(9)", 0, ntInteger, 4, false},
      {"NUMERIC(18, 0)", 0, ntInt64, 8, false},
      {"NUMERIC", 0, ntFloat, 8, false},
      {"MONEY", 0, ntCurrency, 8, false},
      {"BOOLEAN", 0, ntBoolean, 2, false},
      {"DATE", 0, ntDate, 8, false},
      {"TIME", 0, ntTime, 8, false},
      {"DATETIME", 0, ntDateTime, 8, false},
      {"TIMESTAMP WITH TIME ZONE", 0, ntDateTime, 8, false},
      {"VARCHAR(40)", 0, ntString, 41, false},
      {"nvarchar ( 5 )", 0, ntString, 6, false},
      {"CHAR(1)", 0, ntString, 2, false},
      {"VARCHAR", 0, ntMemo, 0, false},
      {"VARCHAR(100000)", 0, ntMemo, 0, false},
      {"TEXT", 0, ntMemo, 0, false},
      {"TEXT", 80, ntString, 81, false},
      {"CLOB", 0, ntMemo, 0, false},
      {"BLOB", 0, ntBlob, 0, false},
      {"BINARY(16)", 0, ntBinary, 18, false},
      {"VARBINARY", 0, ntBlob, 0, false},
      {"UUID", 0, ntMemo, 0, true},
      {"", 0, ntMemo, 0, true},
      {nullptr, 0, ntMemo, 0, true},
  };
  for (const Case& C : Cases) {
    const TSQLiteColumnType T = SQLiteMapDeclaredType(C.Decl, C.MaxString);
    const std::string Name = C.Decl ? C.Decl : "(null)";
    EXPECT_EQ(T.Type, C.Type) << Name;
    EXPECT_EQ(SQLiteRowSizeOf(T.Type, T.Length), C.Size) << Name;
    EXPECT_EQ(T.ByValue, C.ByValue) << Name;
  }
}

TEST(SQLiteDateTexts, ParseWhatSQLiteWritesAndNothingElse) {
  struct Case {
    const char* Text;
    bool Ok;
    TDateTime Expected;
  };
  const TDateTime D = EncodeDate(2024, 2, 29);
  const Case Cases[] = {
      {"2024-02-29", true, D},
      {"2024-02-29 13:45", true, D + EncodeTime(13, 45, 0, 0)},
      {"2024-02-29T13:45:07.250", true, D + EncodeTime(13, 45, 7, 250)},
      {" 2024-02-29 13:45:07 ", true, D + EncodeTime(13, 45, 7, 0)},
      {"2024-02-29 13:45:07Z", true, D + EncodeTime(13, 45, 7, 0)},
      {"2024-02-29 01:00:00+02:00", true, D - 1 + EncodeTime(23, 0, 0, 0)},
      {"13:45:07", true, EncodeTime(13, 45, 7, 0)},
      {"1899-12-29 06:00", true, -1.25},
      {"2023-02-29", false, 0},
      {"2024-13-01", false, 0},
      {"2024-2-9", false, 0},
      {"24:00", false, 0},
      {"2024-02-29 10:00 nonsense", false, 0},
      {"", false, 0},
      {"yesterday", false, 0},
  };
  for (const Case& C : Cases) {
    TDateTime Got = 12345;
    EXPECT_EQ(SQLiteParseDateTime(C.Text, Got), C.Ok) << C.Text;
    if (C.Ok) {
      EXPECT_NEAR(Got, C.Expected, 1e-9) << C.Text;
    }
  }
}

// The forms SQLite writes are read by a shortcut; a leading blank sends the
// same text through the general reader, which must agree to the last bit and
// on every refusal.
TEST(SQLiteDateTexts, ShortcutAgreesWithGeneralReader) {
  const char* const Texts[] = {"0001-01-01",
                               "0001-03-01 00:00:01",
                               "1899-12-29 06:00:00",
                               "1899-12-30",
                               "1899-12-31 23:59:59.999",
                               "1900-02-28",
                               "1900-02-29",
                               "2000-02-29 12:00:00",
                               "2024-02-29T13:45:07",
                               "2024-12-31 23:59:59.001",
                               "9999-12-31 23:59:59",
                               "2023-02-29",
                               "2024-04-31",
                               "2024-00-10",
                               "2024-13-01",
                               "2024-01-00",
                               "0000-01-01",
                               "2024-01-01 24:00:00",
                               "2024-01-01 23:60:00",
                               "2024-01-01 23:59:60",
                               "2024-01-01_10:00:00",
                               "2024-01-01 10:00:00.",
                               "2024-01-01 10:00:00.12x",
                               "2024-01-01 10:00:00,123",
                               "2024/01/01",
                               "2024-01-0a",
                               "2024-01-01 1a:00:00",
                               "2024-01-01 10-00-00",
                               "2024-01-01 10:00:0:",
                               ":024-01-01",
                               "2024-01-01 10:00:00 "};
  for (const char* Text : Texts) {
    TDateTime Fast = 12345, General = 12345;
    const bool FastOk = SQLiteParseDateTime(Text, Fast);
    const bool GeneralOk = SQLiteParseDateTime(std::string(" ") + Text, General);
    EXPECT_EQ(FastOk, GeneralOk) << Text;
    if (FastOk && GeneralOk) {
      EXPECT_EQ(Fast, General) << Text;
    }
  }
  TDateTime D = 0;
  ASSERT_TRUE(SQLiteParseDateTime("1899-12-30", D));
  EXPECT_EQ(D, 0.0);
  ASSERT_TRUE(SQLiteParseDateTime("2000-02-29 12:00:00", D));
  EXPECT_EQ(D, EncodeDate(2000, 2, 29) + 0.5);
}

TEST(SQLiteDateTexts, FormatInSQLiteStyleWithoutCuttingParts) {
  char Buf[40];
  const TDateTime D = EncodeDate(2024, 2, 29);
  const auto Text = [&](TDateTime V, TZantrelFieldTypes T) {
    return std::string(Buf, static_cast<std::size_t>(SQLiteFormatDateTime(V, T, Buf)));
  };
  EXPECT_EQ(Text(D, ntDate), "2024-02-29");
  EXPECT_EQ(Text(D + EncodeTime(8, 0, 0, 0), ntDate), "2024-02-29 08:00:00");
  EXPECT_EQ(Text(EncodeTime(8, 5, 9, 0), ntTime), "08:05:09");
  EXPECT_EQ(Text(D + EncodeTime(8, 5, 9, 7), ntDateTime), "2024-02-29 08:05:09.007");
  EXPECT_EQ(Text(D, ntDateTime), "2024-02-29 00:00:00");
  EXPECT_EQ(SQLiteFormatDateTime(1e9, ntDateTime, Buf), 0);
}

class SQLiteValues : public SQLiteTest {};

// Every logical type goes in as a host variable, comes back through the
// cursor with its type and value, and survives being written back.
TEST_F(SQLiteValues, EveryLogicalTypeRoundTrips) {
  Exec("CREATE TABLE v(id INTEGER PRIMARY KEY, s VARCHAR(10), i INT, b BIGINT, f REAL, "
       "c MONEY, d DATE, t TIME, dt DATETIME, ok BOOLEAN, bin BINARY(4), m TEXT, bl BLOB)");
  const TDateTime Day = EncodeDate(2023, 12, 31);
  const TDateTime Clock = EncodeTime(23, 59, 58, 500);
  const std::uint8_t Bytes[] = {0, 1, 254, 255};
  const Variant Values[] = {Variant("abc"),
                            Variant(std::int32_t{-7}),
                            Variant(std::int64_t{1} << 40),
                            Variant(0.1),
                            Variant(Currency::FromRaw(123456)),
                            Variant::FromDateTime(Day),
                            Variant::FromDateTime(Clock),
                            Variant::FromDateTime(Day + Clock),
                            Variant(true),
                            VarArrayFromBytes(Bytes, 3),
                            Variant("line 1\nline 2"),
                            VarArrayFromBytes(Bytes, 4)};
  ASSERT_TRUE(Cursor->Execute("INSERT INTO v VALUES (1, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                              std::span<const Variant>(Values)))
      << Session->GetLastError();
  const TZantrelFieldTypes Types[] = {ntString,   ntInteger, ntInt64, ntFloat,
                                      ntCurrency, ntDate,    ntTime,  ntDateTime,
                                      ntBoolean,  ntBinary,  ntMemo,  ntBlob};
  for (int Pass = 0; Pass < 2; ++Pass) {
    ASSERT_TRUE(Cursor->OpenWrite("SELECT * FROM v")) << Session->GetLastError();
    for (int I = 0; I < 12; ++I) {
      SCOPED_TRACE(Cursor->GetFieldName(I + 1) + " pass " + std::to_string(Pass));
      EXPECT_EQ(Cursor->GetFieldType(I + 1), Types[I]);
      const Variant Got = Cursor->GetFieldValue(I + 1);
      if (Types[I] == ntDate || Types[I] == ntTime || Types[I] == ntDateTime)
        EXPECT_NEAR(Got.AsDateTime(), Values[I].AsDateTime(), 1e-9);
      else
        EXPECT_TRUE(Got == Values[I]) << Got.AsString();
    }
    // Writing every column back unchanged except one leaves the others
    // exactly as they were.
    Cursor->SetFieldValue("i", Variant(std::int32_t{-7}));
    Cursor->SetFieldValue("m", Values[10]);
    ASSERT_TRUE(Cursor->UpdateRecord()) << Session->GetLastError();
  }
}

TEST_F(SQLiteValues, NullsReadAsNullInEveryType) {
  Exec("CREATE TABLE n(s VARCHAR(3), i INT, d DATE, m TEXT, bl BLOB)");
  Exec("INSERT INTO n VALUES (NULL, NULL, NULL, NULL, NULL)");
  ASSERT_TRUE(Cursor->OpenRead("SELECT s, i, d, m, bl FROM n"));
  for (int I = 0; I < 5; ++I)
    EXPECT_TRUE(Cursor->IsFieldNull(I)) << I;
  EXPECT_EQ(Cursor->GetColumnStream(3)->GetBlobSize(), 0);
}

// A value that does not fit its column is reported, naming the column, and
// never cut; the rows before it stay readable.
TEST_F(SQLiteValues, ValuesThatDoNotFitAreReportedNotCut) {
  struct Case {
    const char* Decl;
    const char* Literal;
    const char* Detail;
  };
  const Case Cases[] = {
      {"VARCHAR(3)", "'abcd'", "4 bytes are longer than its size of 3"},
      {"INT", "5000000000", "5000000000 is outside the 32-bit integer range"},
      {"INT", "'abc'", "'abc' is not an integer"},
      {"INT", "2.5", "2.5 is not an integer"},
      {"DATE", "'2023-02-30'", "'2023-02-30' is not a valid date and time"},
      {"BOOLEAN", "2", "2 is not a Boolean"},
      {"NUMERIC", "9007199254740993", "is not a number a double holds exactly"},
      {"MONEY", "0.12345", "is not an amount with at most 4 decimals"},
      {"BINARY(2)", "x'010203'", "3 bytes are longer than its size of 2"},
      {"VARCHAR(9)", "'a' || char(0) || 'b'", "the text contains a NUL byte"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::string(C.Decl) + " " + C.Literal);
    Exec("DROP TABLE IF EXISTS m");
    Exec(std::string("CREATE TABLE m(id INTEGER PRIMARY KEY, c ") + C.Decl + ")");
    Exec(std::string("INSERT INTO m(c) VALUES (NULL), (") + C.Literal + ")");
    auto Reader = NewCursor();
    ASSERT_TRUE(Reader->Open("SELECT c FROM m ORDER BY id", {}, true));
    EXPECT_TRUE(Reader->FetchNext());
    EXPECT_FALSE(Reader->FetchNext());
    EXPECT_FALSE(Reader->GetEof());
    const std::string Msg = Session->GetLastError();
    EXPECT_EQ(Msg.rfind("Value of column \"c\" does not fit: ", 0), 0u) << Msg;
    EXPECT_NE(Msg.find(C.Detail), std::string::npos) << Msg;
    EXPECT_LT(Session->GetLastErrorCode(), 0);
    // The failure repeats instead of skipping the row.
    EXPECT_FALSE(Reader->FetchNext());
    EXPECT_FALSE(Reader->MoveToLast());
  }
}

TEST_F(SQLiteValues, WritingAValueThatDoesNotFitRaisesNamingTheColumn) {
  Exec("CREATE TABLE w(id INTEGER PRIMARY KEY, s VARCHAR(3), i INT)");
  Exec("INSERT INTO w VALUES (1, 'a', 1)");
  ASSERT_TRUE(Cursor->OpenWrite("SELECT * FROM w"));
  try {
    Cursor->SetFieldValue("s", Variant("abcd"));
    FAIL() << "no error";
  } catch (const EZantrelException& E) {
    EXPECT_STREQ(E.what(),
                 "Value of column \"s\" does not fit: 4 bytes are longer than its size of 3");
  }
  EXPECT_THROW(Cursor->SetFieldValue("i", Variant(std::int64_t{1} << 33)), EZantrelException);
  EXPECT_THROW(Cursor->SetFieldValue("i", Variant(1.5)), EZantrelException);
  EXPECT_THROW(Cursor->SetFieldValue("i", Variant("x")), EZantrelException);
  Cursor->SetFieldValue("i", Variant(2.0));
  EXPECT_EQ(Cursor->GetFieldValue("i").AsInteger(), 2);
}

TEST_F(SQLiteValues, ExpressionColumnsTakeTheTypeOfTheirFirstValue) {
  ASSERT_TRUE(Cursor->OpenRead("SELECT 1 + 1, 1.5 * 2, 'a' || 'b', x'00', NULL"));
  const TZantrelFieldTypes Expected[] = {ntInt64, ntFloat, ntMemo, ntBlob, ntMemo};
  for (int I = 0; I < 5; ++I)
    EXPECT_EQ(Cursor->GetFieldType(I), Expected[I]) << I;
  EXPECT_EQ(Cursor->GetFieldValue(2).AsString(), "ab");
  // A later value of another kind that the type cannot hold is reported.
  ASSERT_TRUE(Cursor->Open("SELECT column1 FROM (VALUES (1), (2.5))", {}, true));
  EXPECT_TRUE(Cursor->FetchNext());
  EXPECT_FALSE(Cursor->FetchNext());
  EXPECT_FALSE(Cursor->GetEof());
  // Text without a declared length becomes a string of MaxStringSize bytes.
  Session->SetMaxStringSize(5);
  ASSERT_TRUE(Cursor->OpenRead("SELECT 'hello' AS h"));
  EXPECT_EQ(Cursor->GetFieldType("h"), ntString);
  EXPECT_EQ(Cursor->GetFieldSize("h"), 6);
}

TEST_F(SQLiteValues, MemoAndBlobStreamsReadTheFetchedValue) {
  Exec("CREATE TABLE b(id INTEGER PRIMARY KEY, m TEXT, bl BLOB)");
  std::string Big(100000, 'x');
  Big[99999] = 'y';
  ASSERT_TRUE(Cursor->Execute("INSERT INTO b(m, bl) VALUES (?, ?)",
                              {Variant(Big), VarArrayFromBytes("\x01\x02\x03", 3)}));
  ASSERT_TRUE(Cursor->OpenRead("SELECT m, bl FROM b"));
  TZantrelBlobStream* Memo = Cursor->GetBlobManager()->BlobByName("M");
  EXPECT_EQ(Memo->GetBlobSize(), 100000);
  EXPECT_EQ(Memo->Seek(0, soFromEnd), 100000);
  TMemoryStream Copy;
  Cursor->BlobToStream("m", &Copy);
  ASSERT_EQ(Copy.GetSize(), 100000);
  EXPECT_EQ(static_cast<const char*>(Copy.Memory())[99999], 'y');
  char Three[8] = {};
  Cursor->GetBlobManager()->BlobByName("bl")->Seek(0, soFromBeginning);
  EXPECT_EQ(Cursor->GetBlobManager()->BlobByName("bl")->Read(Three, 8), 3);
  EXPECT_EQ(Three[2], 3);
}

} // namespace ztl::testing
