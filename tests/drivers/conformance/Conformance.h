// What the conformance cases share, whatever the driver: the logical column
// types, the edge values of each, and reading and writing them through a
// dataset's fields.
//
// A driver takes part through a traits class that is also the fixture's
// helper object (one per test). It offers:
//   static constexpr const char* Name;
//   static std::string Unavailable();       // why the driver cannot run here, "" when it can
//   static std::string TypeName(TLogical T, int Length); // "" when the driver has no such column
//   static bool Runs(TCase C);              // whether a part of a case applies
//   TZantrelSession& Session();             // connected
//   void CreateTable(Name, Columns, Rows, Keyed = true); // a fresh table holding Rows,
//                                           // its first column the key when Keyed
//   std::unique_ptr<TZantrelCustomDataset> NewQuery(SQL, TZantrelSession* On = nullptr);
//   std::int64_t Prepares();                // statements compiled on Session so far
// and, for the drivers that run SQL (the DriverSql suite):
//   std::unique_ptr<TZantrelSession> NewSession(TComponent* Owner = nullptr); // same database, not
//   open std::unique_ptr<TZantrelSQL> NewCursor(TZantrelSession& On);
//   std::unique_ptr<TZantrelDataset> NewStoredProc(Name, TComponent* Owner = nullptr);
//   std::unique_ptr<TZantrelCustomDataset> NewQueryComponent(TComponent* Owner);
//   static void RegisterClasses();          // for form files
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/ZtlBase.h"
#include "dataset/ZtlBasDS.h"
#include "framework/variant/DateUtils.h"

namespace ztl::conformance {

// The library's logical column types, in the order of the tables below.
enum class TLogical {
  String,
  Integer,
  Int64,
  Float,
  Currency,
  Date,
  Time,
  DateTime,
  Boolean,
  Binary,
  Memo,
  Blob
};

// The parts of a case a driver may not take part in (whole suites that need
// SQL are instantiated only for drivers that run it).
enum class TCase {
  KeySearch // FindKey and FindNearest over the ORDER BY fields
};

// A column of a conformance table.
struct TColumn {
  std::string Name; // column name, lower case
  TLogical Type;    // logical type
  int Length = 0;   // declared length of strings and binaries
};

// A field of each logical type, its framework type and the values a row of
// the edge table holds in it: the low edge, the high edge and an ordinary
// value (the third row is null everywhere but its key).
struct TTypeCase {
  TColumn Column;              // the column
  TFieldType FieldType;        // the field a dataset makes for it
  std::vector<Variant> Values; // in the first row and in the second
};

inline Variant Bytes(const std::string& B) {
  return VarArrayFromBytes(B.data(), B.size());
}
inline Variant Date(int Y, int M, int D) {
  return Variant::FromDateTime(EncodeDate(Y, M, D));
}
inline Variant Stamp(int Y, int Mo, int D, int H, int Mi, int S, int Ms) {
  const TDateTime Day = EncodeDate(Y, Mo, D);
  // Before 1899-12-30 the day counts down while its time counts up.
  return Variant::FromDateTime(Day < 0 ? Day - EncodeTime(H, Mi, S, Ms)
                                       : Day + EncodeTime(H, Mi, S, Ms));
}

// Every logical type with its edge values: row 1 the low edge, row 2 the
// high edge.
inline std::vector<TTypeCase> EdgeTable() {
  const std::string Long(70000, 'm');
  return {
      {{"s", TLogical::String, 10}, ftString, {Variant(""), Variant("h\xE9llo 7890")}},
      {{"i", TLogical::Integer},
       ftInteger,
       {Variant(std::numeric_limits<std::int32_t>::min()),
        Variant(std::numeric_limits<std::int32_t>::max())}},
      {{"l", TLogical::Int64},
       ftLargeint,
       {Variant(std::numeric_limits<std::int64_t>::min()),
        Variant(std::numeric_limits<std::int64_t>::max())}},
      {{"f", TLogical::Float}, ftFloat, {Variant(-1e300), Variant(0.1)}},
      {{"c", TLogical::Currency},
       ftCurrency,
       // A currency field holds a double, as the framework's does: 15 digits.
       {Variant(Currency::FromRaw(-999999999999900)), Variant(Currency::FromRaw(123400))}},
      {{"d", TLogical::Date}, ftDate, {Date(1, 1, 1), Date(9999, 12, 31)}},
      {{"tm", TLogical::Time},
       ftTime,
       {Variant::FromDateTime(0), Variant::FromDateTime(EncodeTime(23, 59, 59, 999))}},
      {{"dt", TLogical::DateTime},
       ftDateTime,
       {Stamp(1, 1, 1, 0, 0, 0, 0), Stamp(9999, 12, 31, 23, 59, 59, 999)}},
      {{"b", TLogical::Boolean}, ftBoolean, {Variant(false), Variant(true)}},
      {{"bin", TLogical::Binary, 4},
       ftBytes,
       {Bytes(std::string("\0\1\xFE\xFF", 4)), Bytes(std::string("\xFF\0\0\x01", 4))}},
      {{"m", TLogical::Memo}, ftMemo, {Variant("line 1\nline 2"), Variant(Long)}},
      {{"bl", TLogical::Blob},
       ftBlob,
       {Bytes(std::string("\0\xFF\x10", 3)), Bytes(std::string(70000, '\0') + "end")}},
  };
}

// Makes table Name anew with Columns, the first one its primary key when
// Keyed, and inserts Rows through Cursor's host variables; for drivers that
// run SQL, with TypeName giving each column's declared type.
template <class TypeNameOf>
void CreateSqlTable(TZantrelSession& Session, TZantrelSQL& Cursor, TypeNameOf TypeName,
                    const std::string& Name, const std::vector<TColumn>& Columns,
                    const std::vector<std::vector<Variant>>& Rows, bool Keyed) {
  std::string Create = "CREATE TABLE " + Name + " (", Insert = "INSERT INTO " + Name + " (",
              Markers;
  for (std::size_t I = 0; I < Columns.size(); ++I) {
    const char* Comma = I ? ", " : "";
    Create += Comma + Columns[I].Name + " " + TypeName(Columns[I].Type, Columns[I].Length) +
              (I == 0 && Keyed ? " PRIMARY KEY" : "");
    Insert += Comma + Columns[I].Name;
    Markers += std::string(Comma) + "?";
  }
  ASSERT_TRUE(Session.Execute("DROP TABLE IF EXISTS " + Name)) << Session.GetLastError();
  ASSERT_TRUE(Session.Execute(Create + ")")) << Session.GetLastError();
  for (const std::vector<Variant>& Row : Rows)
    ASSERT_TRUE(Cursor.Execute(Insert + ") VALUES (" + Markers + ")", Row))
        << Session.GetLastError();
}

// The text of a byte-array Variant, for comparisons.
inline std::string BytesOf(const Variant& V) {
  const auto B = V.Bytes();
  return std::string(reinterpret_cast<const char*>(B.data()), B.size());
}

// The whole content of a memo or blob field, read through its stream.
inline std::string ReadBlob(TDataSet& Data, TField& Field) {
  auto S = Data.CreateBlobStream(&Field, bmRead);
  std::string Bytes(static_cast<std::size_t>(S->GetSize()), '\0');
  const std::int32_t Got = S->Read(Bytes.data(), static_cast<std::int32_t>(Bytes.size()));
  Bytes.resize(static_cast<std::size_t>(Got < 0 ? 0 : Got));
  return Bytes;
}

// Replaces the content of a memo or blob field through its stream (the
// dataset is in an edit state).
inline void WriteBlob(TDataSet& Data, TField& Field, const std::string& Bytes) {
  auto S = Data.CreateBlobStream(&Field, bmWrite);
  S->Write(Bytes.data(), static_cast<std::int32_t>(Bytes.size()));
}

// Sets Field to V the way an application sets a field of its type.
inline void SetField(TDataSet& Data, TField& Field, TLogical Type, const Variant& V) {
  switch (Type) {
  case TLogical::String:
    Field.SetAsString(V.AsString());
    break;
  case TLogical::Integer:
    Field.SetAsInteger(V.AsInteger());
    break;
  case TLogical::Int64:
    Field.SetAsLargeInt(V.AsInt64());
    break;
  case TLogical::Float:
    Field.SetAsFloat(V.AsDouble());
    break;
  case TLogical::Currency:
    Field.SetAsCurrency(V.AsCurrency());
    break;
  case TLogical::Date:
  case TLogical::Time:
  case TLogical::DateTime:
    Field.SetAsDateTime(V.AsDateTime());
    break;
  case TLogical::Boolean:
    Field.SetAsBoolean(V.AsBoolean());
    break;
  case TLogical::Binary:
    Field.SetAsVariant(V);
    break;
  case TLogical::Memo:
    WriteBlob(Data, Field, V.AsString());
    break;
  case TLogical::Blob:
    WriteBlob(Data, Field, BytesOf(V));
    break;
  }
}

// Field's value, as text that tells every stored bit of it apart, and the
// same for V: two values of a type are equal when their texts are.
inline std::string Show(TLogical Type, const Variant& V) {
  switch (Type) {
  case TLogical::Currency:
    return std::to_string(V.AsCurrency().Raw());
  case TLogical::Float: {
    char Buf[40];
    std::snprintf(Buf, sizeof Buf, "%.17g", V.AsDouble());
    return Buf;
  }
  case TLogical::Date:
  case TLogical::Time:
  case TLogical::DateTime: {
    // Milliseconds are the stored precision.
    const TTimeStamp T = DateTimeToTimeStamp(V.AsDateTime());
    return std::to_string(T.Date) + "d " + std::to_string(T.Time) + "ms";
  }
  case TLogical::Binary:
  case TLogical::Blob:
    return BytesOf(V);
  default:
    return V.AsString();
  }
}

inline std::string ShowField(TDataSet& Data, TField& Field, TLogical Type) {
  switch (Type) {
  case TLogical::Memo:
  case TLogical::Blob:
    return ReadBlob(Data, Field);
  case TLogical::Currency:
    return std::to_string(Field.GetAsCurrency().Raw());
  case TLogical::Date:
  case TLogical::Time:
  case TLogical::DateTime:
    return Show(Type, Variant::FromDateTime(Field.GetAsDateTime()));
  default:
    return Show(Type, Field.GetAsVariant());
  }
}

} // namespace ztl::conformance
