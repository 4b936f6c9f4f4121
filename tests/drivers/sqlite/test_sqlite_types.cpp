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
      {"INTEGER", 0, ntInt64, 8, false}, // SQLite's integers are 64-bit whatever the name
      {"int", 0, ntInt64, 8, false},
      {"SMALLINT", 0, ntInt64, 8, false},
      {"BIGINT", 0, ntInt64, 8, false},
      {"unsigned big int", 0, ntInt64, 8, false},
      {"MEDIUMINTEGER", 0, ntInt64, 8, false}, // affinity rule: contains INT
      {"REAL", 0, ntFloat, 8, false},
      {"DOUBLE PRECISION", 0, ntFloat, 8, false},
      {"NUMERIC(10,2)", 0, ntCurrency, 8, false},
      {"DECIMAL(20,2)", 0, ntFloat, 8, false},
      {"NUMERIC(9)", 0, ntInt64, 8, false},
      {"NUMERIC(18, 0)", 0, ntInt64, 8, false},
      {"NUMERIC", 0, ntFloat, 8, false},
      {"MONEY", 0, ntCurrency, 8, false},
      {"BOOLEAN", 0, ntBoolean, 2, false},
      {"DATE", 0, ntDate, 8, false},
      {"TIME", 0, ntTime, 8, false},
      {"DATETIME", 0, ntDateTime, 8, false},
      {"TIMESTAMP WITH TIME ZONE", 0, ntDateTime, 8, false},
      // Room for n characters of UTF-8; SQLite enforces no length.
      {"VARCHAR(40)", 0, ntString, 161, false},
      {"nvarchar ( 5 )", 0, ntString, 21, false},
      {"CHAR(1)", 0, ntString, 5, false},
      {"VARCHAR(2048)", 0, ntString, 8193, false},
      {"VARCHAR(2049)", 0, ntMemo, 0, false},
      {"VARCHAR", 0, ntMemo, 0, false},
      {"VARCHAR(100000)", 0, ntMemo, 0, false},
      {"TEXT", 0, ntMemo, 0, false},
      {"TEXT", 80, ntString, 81, false},
      {"CLOB", 0, ntMemo, 0, false},
      {"BLOB", 0, ntBlob, 0, false},
      {"BINARY(16)", 0, ntBinary, 18, false},
      {"VARBINARY", 0, ntBlob, 0, false},
      // No usable declaration: a string that holds numbers and text alike.
      {"UUID", 0, ntString, 256, true},
      {"", 0, ntString, 256, true},
      {nullptr, 0, ntString, 256, true},
      {nullptr, 100, ntString, 101, true},
      {nullptr, 3, ntString, 33, true}, // still room for any number
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
  const TZantrelFieldTypes Types[] = {ntString,   ntInt64,   ntInt64, ntFloat,
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
      {"VARCHAR(1)", "'abcde'", "5 bytes are longer than its size of 4 (row 2)"},
      {"INT", "'abc'", "'abc' is not a 64-bit integer (row 2)"},
      {"INT", "2.5", "2.5 is not a 64-bit integer"},
      {"DATE", "'2023-02-30'", "'2023-02-30' is not a valid date and time (row 2)"},
      {"DATE", "'soon'", "'soon' is not a valid date and time"},
      // A Julian day number before the year 1 names no date.
      {"DATETIME", "45000", "45000 is not a valid date and time"},
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
  Exec("CREATE TABLE w(id INTEGER PRIMARY KEY, s VARCHAR(1), i INT)");
  Exec("INSERT INTO w VALUES (1, 'a', 1)");
  ASSERT_TRUE(Cursor->OpenWrite("SELECT * FROM w"));
  try {
    Cursor->SetFieldValue("s", Variant("abcde"));
    FAIL() << "no error";
  } catch (const EZantrelException& E) {
    EXPECT_STREQ(E.what(),
                 "Value of column \"s\" does not fit: 5 bytes are longer than its size of 4");
  }
  Cursor->SetFieldValue("i", Variant(std::int64_t{1} << 33));
  EXPECT_THROW(Cursor->SetFieldValue("i", Variant(1.5)), EZantrelException);
  EXPECT_THROW(Cursor->SetFieldValue("i", Variant("x")), EZantrelException);
  Cursor->SetFieldValue("i", Variant(2.0));
  EXPECT_EQ(Cursor->GetFieldValue("i").AsInteger(), 2);
}

// SQLite's declarations are affinities: whatever a column of a declared type
// may hold beyond its name (64-bit integers, longer text) reads without loss.
TEST_F(SQLiteValues, WhatADeclarationLetsSQLiteStoreReadsWithoutLoss) {
  Exec("CREATE TABLE a(id INTEGER PRIMARY KEY, i INTEGER, s SMALLINT, v VARCHAR(16), "
       "w VARCHAR(5), n NUMERIC(5))");
  Exec("INSERT INTO a VALUES (1, 3000000000, -3000000000, 'insert or replace', "
       "'\xc3\xa9t\xc3\xa9s\xc3\xa9', 9876543210)");
  ASSERT_TRUE(Cursor->OpenRead("SELECT i, s, v, w, n FROM a")) << Session->GetLastError();
  EXPECT_EQ(Cursor->GetFieldValue("i").AsInt64(), 3000000000);
  EXPECT_EQ(Cursor->GetFieldValue("s").AsInt64(), -3000000000);
  EXPECT_EQ(Cursor->GetFieldValue("v").AsString(), "insert or replace");
  EXPECT_EQ(Cursor->GetFieldValue("w").AsString(), "\xc3\xa9t\xc3\xa9s\xc3\xa9");
  EXPECT_EQ(Cursor->GetFieldValue("n").AsInt64(), 9876543210);
}

// A column whose type no declaration gives holds every storage class: numbers
// as their text (a real keeps its point), text, and blobs as their bytes.
TEST_F(SQLiteValues, ColumnsWithoutADeclaredTypeHoldEveryStorageClass) {
  Exec("CREATE TABLE u(id INTEGER PRIMARY KEY, v)");
  Exec("INSERT INTO u(v) VALUES (1), (2.5), ('abc'), (NULL), (x'41'), (2.0), "
       "(9223372036854775807), (0.1), (1e300 * 1e300)");
  const char* const Texts[] = {"1",   "2.5", "abc", nullptr, "A", "2.0", "9223372036854775807",
                               "0.1", "Inf"};
  const char* const Queries[] = {"SELECT v FROM u ORDER BY id",
                                 "SELECT CASE WHEN 1 THEN v END FROM u ORDER BY id",
                                 "SELECT x FROM (SELECT v AS x, id FROM u) ORDER BY id"};
  for (const char* Q : Queries) {
    SCOPED_TRACE(Q);
    ASSERT_TRUE(Cursor->Open(Q, {}, true)) << Session->GetLastError();
    EXPECT_EQ(Cursor->GetFieldType(0), ntString);
    for (const char* Text : Texts) {
      ASSERT_TRUE(Cursor->FetchNext()) << Session->GetLastError();
      if (!Text)
        EXPECT_TRUE(Cursor->IsFieldNull(0));
      else
        EXPECT_EQ(Cursor->GetFieldValue(0).AsString(), Text);
    }
    EXPECT_FALSE(Cursor->FetchNext());
    EXPECT_TRUE(Cursor->GetEof());
  }
  // The type does not depend on the first row: a NULL first, then numbers.
  ASSERT_TRUE(Cursor->OpenRead("SELECT CASE WHEN id = 4 THEN 1 ELSE v * 1.5 END FROM u "
                               "WHERE id IN (4, 1, 2) ORDER BY id DESC"));
  EXPECT_EQ(Cursor->GetFieldType(0), ntString);
  EXPECT_EQ(Cursor->GetFieldValue(0).AsString(), "1");
  ASSERT_TRUE(Cursor->FetchNext());
  EXPECT_EQ(Cursor->GetFieldValue(0).AsString(), "3.75");
  // A blob first makes a blob column, which holds any later value's bytes.
  ASSERT_TRUE(Cursor->OpenRead("SELECT x'00' UNION ALL SELECT 7"));
  EXPECT_EQ(Cursor->GetFieldType(0), ntBlob);
  // MaxStringSize sizes such columns, and undeclared-length text with them.
  Session->SetMaxStringSize(5);
  ASSERT_TRUE(Cursor->OpenRead("SELECT 'hello' AS h, -2.2250738585072014e-308 AS r"));
  EXPECT_EQ(Cursor->GetFieldType("h"), ntString);
  EXPECT_EQ(Cursor->GetFieldSize("h"), 33);
  EXPECT_EQ(Cursor->GetFieldValue("r").AsString(), "-2.2250738585072014e-308");
}

// A value no field of the column's type can show fails the fetch of its row,
// naming the column and the row; the rows before it stay readable.
TEST_F(SQLiteValues, TextLongerThanAnUndeclaredColumnsSizeNamesTheRow) {
  Session->SetMaxStringSize(40);
  ASSERT_TRUE(Cursor->Open("SELECT 'short' AS x UNION ALL SELECT printf('%050d', 1)", {}, true));
  ASSERT_TRUE(Cursor->FetchNext());
  EXPECT_EQ(Cursor->GetFieldValue("x").AsString(), "short");
  EXPECT_FALSE(Cursor->FetchNext());
  EXPECT_EQ(Session->GetLastError(),
            "Value of column \"x\" does not fit: 50 bytes are longer than its size of 40 (row 2)");
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
