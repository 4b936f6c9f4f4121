// Fields: the data format of every field class, conversions and their error
// texts, validation, calculated and lookup fields, blob fields.
#include <gtest/gtest.h>

#include <bit>
#include <functional>

#include "framework/classes/Streams.h"
#include "tests/framework/MemDataSet.h"
#include "tests/framework/test_dataset_util.h"

using namespace ztl;
using namespace ztl::test;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes LE(std::uint64_t Value, int Count) {
  Bytes Result;
  for (int I = 0; I < Count; ++I)
    Result.push_back(static_cast<std::uint8_t>(Value >> (8 * I)));
  return Result;
}

Bytes DoubleLE(double Value) {
  return LE(std::bit_cast<std::uint64_t>(Value), 8);
}

Bytes Text(std::string_view S, std::size_t Size) {
  Bytes Result(S.begin(), S.end());
  Result.resize(Size, 0);
  return Result;
}

// A one-column table named F, open and empty.
struct Single {
  TMemDataSet DS;
  Single(TFieldType Type, std::size_t Size) {
    DS.AddColumn("F", Type, Size);
    DS.Open();
  }
  TField* F() { return DS.FieldByName("F"); }
  const Bytes& Stored() { return DS.Rows.back().Cells[0].Data; }
};

} // namespace

TEST(FieldFormats, EachTypeStoresItsExactBytesAndReadsBack) {
  const TDateTime Noon2000 = EncodeDate(2000, 1, 1) + EncodeTime(12, 0, 0, 0);
  struct Case {
    TFieldType Type;
    std::size_t Size;
    std::function<void(TField*)> Write;
    Bytes Expected;
    std::string Text; // AsString afterwards
    TVarType Kind;    // kind of Value
  };
  const Case Cases[] = {
      {ftString, 5, [](TField* F) { F->SetAsString("abcdefg"); }, Text("abcde", 6), "abcde",
       varString},
      {ftSmallint, 0, [](TField* F) { F->SetAsInteger(-2); }, LE(0xFFFE, 2), "-2", varInteger},
      {ftInteger, 0, [](TField* F) { F->SetAsInteger(0x01020304); }, LE(0x01020304, 4), "16909060",
       varInteger},
      {ftWord, 0, [](TField* F) { F->SetAsInteger(65535); }, LE(0xFFFF, 2), "65535", varInteger},
      {ftAutoInc, 0, [](TField* F) { F->SetValue(Variant(7)); }, LE(7, 4), "7", varInteger},
      {ftLargeint, 0, [](TField* F) { F->SetAsLargeInt(std::int64_t{1} << 40); },
       LE(std::uint64_t{1} << 40, 8), "1099511627776", varInt64},
      {ftFloat, 0, [](TField* F) { F->SetAsFloat(1.5); }, DoubleLE(1.5), "1.5", varDouble},
      {ftCurrency, 0, [](TField* F) { F->SetAsCurrency(Currency::FromDouble(2.25)); },
       DoubleLE(2.25), "2.25", varDouble},
      {ftBCD, 0, [](TField* F) { F->SetAsString("-0.5"); }, DoubleLE(-0.5), "-0.5", varDouble},
      {ftDate, 0, [](TField* F) { F->SetAsDateTime(EncodeDate(2000, 1, 1)); }, LE(730120, 4),
       "2000-01-01", varDate},
      {ftTime, 0, [](TField* F) { F->SetAsString("12:00:00"); }, LE(43200000, 4), "12:00:00",
       varDate},
      {ftDateTime, 0, [=](TField* F) { F->SetAsDateTime(Noon2000); }, DoubleLE(63082411200000.0),
       "2000-01-01 12:00:00", varDate},
      {ftBoolean, 0, [](TField* F) { F->SetAsBoolean(true); }, LE(1, 2), "True", varBoolean},
      {ftBytes, 4, [](TField* F) { F->SetAsString("ab"); }, Bytes{'a', 'b', 0, 0},
       std::string("ab\0\0", 4), varArray | varByte},
      {ftVarBytes, 4, [](TField* F) { F->SetValue(VarArrayFromBytes("abcdef", 6)); },
       Bytes{4, 0, 'a', 'b', 'c', 'd'}, "abcd", varArray | varByte},
      {ftWideString, 3, [](TField* F) { F->SetAsString("a\xE9\x80x"); },
       Bytes{'a', 0, 0xE9, 0, 0xAC, 0x20, 0, 0}, "a\xE9\x80", varString},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(FieldTypeName(C.Type));
    Single T(C.Type, C.Size);
    T.DS.Append();
    C.Write(T.F());
    T.DS.Post();
    EXPECT_EQ(T.Stored(), C.Expected);
    EXPECT_EQ(T.F()->AsString(), C.Text);
    EXPECT_EQ(T.F()->Value().VarType(), C.Kind);
    EXPECT_EQ(T.F()->DataSize(), C.Expected.size());
  }
}

TEST(FieldFormats, ReadingIsSafeAgainstOddStoredBytes) {
  Single Bool(ftBoolean, 0);
  Bool.DS.Rows.push_back({1, {{LE(2, 2), false}}});
  Bool.DS.Refresh();
  EXPECT_TRUE(Bool.F()->AsBoolean()); // any nonzero word is true

  // A length prefix larger than the room reads only the room.
  Single Var(ftVarBytes, 4);
  Var.DS.Rows.push_back({1, {{Bytes{0xFF, 0xFF, 1, 2, 3, 4}, false}}});
  Var.DS.Refresh();
  EXPECT_EQ(Var.F()->AsString(), std::string("\x01\x02\x03\x04"));

  // A string that fills its room without a terminator stops at its size.
  Single Str(ftString, 3);
  Str.DS.Rows.push_back({1, {{Bytes{'a', 'b', 'c', 'd'}, false}}});
  Str.DS.Refresh();
  EXPECT_EQ(Str.F()->AsString(), "abc");

  // The same for texts too long for the field's stack buffer.
  for (const std::size_t Size : {std::size_t{1023}, std::size_t{1024}, std::size_t{2000}}) {
    SCOPED_TRACE(Size);
    Single Long(ftString, Size);
    Long.DS.Rows.push_back({1, {{Bytes(Size + 1, 'x'), false}}});
    Long.DS.Rows.push_back({2, {{Text(std::string(Size / 2, 'y'), Size + 1), false}}});
    Long.DS.Refresh();
    EXPECT_EQ(Long.F()->AsString(), std::string(Size, 'x'));
    Long.DS.Next();
    EXPECT_EQ(Long.F()->AsString(), std::string(Size / 2, 'y'));
  }
}

TEST(FieldConversions, ErrorTextsNameTheFieldAndTheValue) {
  struct Case {
    TFieldType Type;
    std::function<void(TField*)> Action;
    std::string Message;
  };
  const Case Cases[] = {
      {ftSmallint, [](TField* F) { F->SetAsInteger(40000); },
       "40000 is not a valid value for field 'F'. The allowed range is -32768 to 32767"},
      {ftWord, [](TField* F) { F->SetAsString("-1"); },
       "-1 is not a valid value for field 'F'. The allowed range is 0 to 65535"},
      {ftInteger, [](TField* F) { F->SetAsLargeInt(std::int64_t{1} << 33); },
       "8589934592 is not a valid value for field 'F'. The allowed range is -2147483648 to "
       "2147483647"},
      {ftInteger, [](TField* F) { (void)F->AsBoolean(); },
       "Cannot access field 'F' as type Boolean"},
      {ftBoolean, [](TField* F) { F->SetAsInteger(1); }, "Cannot access field 'F' as type Integer"},
      {ftDate, [](TField* F) { (void)F->AsInteger(); }, "Cannot access field 'F' as type Integer"},
      {ftInteger, [](TField* F) { F->SetAsString("x1"); },
       "'x1' is not a valid integer value for field 'F'"},
      {ftFloat, [](TField* F) { F->SetValue(Variant("abc")); },
       "'abc' is not a valid floating point value for field 'F'"},
      {ftBoolean, [](TField* F) { F->SetAsString("maybe"); },
       "'maybe' is not a valid boolean value for field 'F'"},
      {ftDateTime, [](TField* F) { F->SetAsString("soon"); },
       "'soon' is not a valid date and time value for field 'F'"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Message);
    Single T(C.Type, 0);
    T.DS.Append();
    EXPECT_EQ(MessageOf([&] { C.Action(T.F()); }), C.Message);
    EXPECT_TRUE(T.F()->IsNull()); // a refused value is not stored
  }
}

TEST(FieldConversions, NullAndClear) {
  Single T(ftInteger, 0);
  T.DS.Append();
  T.F()->SetAsInteger(5);
  EXPECT_FALSE(T.F()->IsNull());
  T.F()->SetValue(Variant::Null());
  EXPECT_TRUE(T.F()->IsNull());
  EXPECT_TRUE(T.F()->Value().IsNull());
  EXPECT_EQ(T.F()->AsString(), "");
  EXPECT_EQ(T.F()->AsInteger(), 0);
  EXPECT_EQ(T.F()->AsFloat(), 0.0);
  T.F()->SetAsString("12");
  T.F()->SetAsString("  ");
  EXPECT_TRUE(T.F()->IsNull()); // blank text clears a number
  T.F()->SetAsInteger(3);
  T.F()->Clear();
  EXPECT_TRUE(T.F()->IsNull());
}

TEST(FieldValidation, OnValidateSeesTheCandidateAndCanVeto) {
  Single T(ftInteger, 0);
  T.DS.AddRow({Variant(1)});
  T.DS.Refresh();
  std::vector<std::string> Seen;
  T.F()->OnValidate = [&](TField* F) {
    Seen.push_back(F->IsNull() ? "null" : F->AsString());
    if (!F->IsNull() && F->AsInteger() < 0)
      DatabaseError("negative");
  };
  T.DS.Edit();
  T.F()->SetAsInteger(5);
  EXPECT_THROW(T.F()->SetAsInteger(-1), EDatabaseError);
  EXPECT_EQ(T.F()->AsInteger(), 5); // the veto kept the value
  T.F()->Clear();
  EXPECT_EQ(Seen, (std::vector<std::string>{"5", "-1", "null"}));
  EXPECT_EQ(T.F()->AsInteger(), 0); // outside validation the record is read again
}

TEST(CalculatedFields, LayoutAndWhenTheyAreComputed) {
  TMemDataSet DS;
  DS.FillNumbers(10);
  TDataSource Source;
  TDataLink Link;
  Source.SetDataSet(&DS);
  Link.SetBufferCount(3);
  Link.SetDataSource(&Source);

  TIntegerField Id;
  Id.SetFieldName("ID");
  Id.SetDataSet(&DS);
  TIntegerField Doubled;
  Doubled.SetFieldName("DOUBLED");
  Doubled.SetFieldKind(fkCalculated);
  Doubled.SetDataSet(&DS);
  TStringField Label;
  Label.SetFieldName("LABEL");
  Label.SetSize(10);
  Label.SetFieldKind(fkCalculated);
  Label.SetDataSet(&DS);

  int Calls = 0;
  DS.OnCalcFields = [&](TDataSet*) {
    ++Calls;
    Doubled.SetAsInteger(Id.AsInteger() * 2);
    Label.SetAsString("n" + Id.AsString());
  };
  DS.Open();
  EXPECT_FALSE(DS.DefaultFields());
  EXPECT_EQ(Doubled.Offset(), 0u);
  EXPECT_EQ(Label.Offset(), 5u);
  EXPECT_EQ(DS.CalcFieldsSize(), 17u);
  EXPECT_EQ(Calls, 3); // once per fetched record
  EXPECT_EQ(Doubled.AsInteger(), 2);
  EXPECT_EQ(Label.AsString(), "n1");
  DS.Next();
  EXPECT_EQ(Calls, 3); // already held
  EXPECT_EQ(Label.AsString(), "n2");

  DS.Edit();
  EXPECT_EQ(Calls, 4);
  Id.SetAsInteger(50);
  EXPECT_EQ(Calls, 5);
  EXPECT_EQ(Doubled.AsInteger(), 100);
  DS.SetAutoCalcFields(false);
  Id.SetAsInteger(60);
  EXPECT_EQ(Calls, 5);
  DS.Cancel();
  EXPECT_EQ(Doubled.AsInteger(), 4);
  DS.Close();
  EXPECT_EQ(DS.FieldCount(), 3); // persistent fields stay
}

TEST(CalculatedFields, LookupFollowsItsKeyAndBlobsAreRefused) {
  TMemDataSet Names;
  Names.AddColumn("ID", ftInteger);
  Names.AddColumn("NAME", ftString, 10);
  Names.AddRow({Variant(1), Variant("one")});
  Names.AddRow({Variant(2), Variant("two")});
  Names.Open();

  TMemDataSet Main;
  Main.AddColumn("NAMEID", ftInteger);
  Main.AddRow({Variant(2)});
  Main.AddRow({Variant(1)});
  Main.AddRow({Variant(3)});
  TIntegerField Key;
  Key.SetFieldName("NAMEID");
  Key.SetDataSet(&Main);
  TStringField Name;
  Name.SetFieldName("NAME");
  Name.SetFieldKind(fkLookup);
  Name.SetDataSet(&Main);
  EXPECT_EQ(MessageOf([&] { Main.Open(); }), "Lookup information for field 'NAME' is incomplete");
  EXPECT_FALSE(Main.Active());
  Name.SetLookupDataSet(&Names);
  Name.KeyFields = "NAMEID";
  Name.LookupKeyFields = "ID";
  Name.LookupResultField = "NAME";
  Main.Open();
  EXPECT_EQ(Name.AsString(), "two");
  Main.Next();
  EXPECT_EQ(Name.AsString(), "one");
  Main.Next();
  EXPECT_TRUE(Name.IsNull());
  Main.Close();

  TMemoField Memo;
  Memo.SetFieldName("MEMO");
  Memo.SetFieldKind(fkCalculated);
  Memo.SetDataSet(&Main);
  EXPECT_EQ(MessageOf([&] { Main.Open(); }), "Field 'MEMO' cannot be a calculated or lookup field");
  EXPECT_FALSE(Main.Active());
  EXPECT_EQ(Main.LiveBuffers, 0);
}

TEST(CalculatedFields, LookupDataSetDestroyedFirstLeavesNoDanglingReference) {
  TStringField Name;
  {
    TMemDataSet Names;
    Name.SetLookupDataSet(&Names);
  }
  EXPECT_EQ(Name.LookupDataSet(), nullptr);
}

TEST(BlobFields, StreamRoundTripModifiedAndClear) {
  TMemDataSet DS;
  DS.AddColumn("ID", ftInteger);
  DS.AddColumn("DATA", ftBlob);
  DS.AddColumn("NOTE", ftMemo);
  DS.AddRow({Variant(1), Variant(), Variant("hello")});
  DS.Open();
  auto* Data = dynamic_cast<TBlobField*>(DS.FieldByName("DATA"));
  auto* Note = dynamic_cast<TMemoField*>(DS.FieldByName("NOTE"));
  ASSERT_NE(Data, nullptr);
  ASSERT_NE(Note, nullptr);
  EXPECT_TRUE(Note->Transliterate);
  EXPECT_TRUE(Data->IsNull());
  EXPECT_EQ(Note->AsString(), "hello");
  EXPECT_EQ(Note->Value().VarType(), varString);

  DS.Edit();
  TMemoryStream In;
  const std::string Content("\x00\x01\x02zz", 5);
  In.WriteString(Content);
  In.SetPosition(3); // the whole stream is loaded, wherever it stands
  Data->LoadFromStream(In);
  EXPECT_TRUE(Data->Modified());
  EXPECT_TRUE(DS.Modified());
  EXPECT_EQ(Data->BlobSize(), 5);
  DS.Post();
  EXPECT_FALSE(Data->Modified());
  EXPECT_EQ(Data->AsString(), Content);
  EXPECT_EQ(Data->Value().VarType(), varArray | varByte);
  TMemoryStream Out;
  Data->SaveToStream(Out);
  Out.SetPosition(0);
  EXPECT_EQ(Out.ReadString(5), Content);

  DS.Edit();
  Note->Clear();
  EXPECT_TRUE(Note->IsNull());
  EXPECT_TRUE(Note->Modified());
  DS.Post();
  EXPECT_TRUE(Note->IsNull());
  EXPECT_TRUE(DS.Rows[0].Cells[2].Null);

  // Writing outside an edit is refused; reading is not.
  EXPECT_THROW(Note->SetAsString("x"), EDatabaseError);
  EXPECT_EQ(DS.CreateBlobStream(Note, bmRead)->Read(nullptr, 0), 0);
  EXPECT_EQ(MessageOf([&] { DS.CreateBlobStream(DS.FieldByName("ID"), bmRead); }),
            "Invalid class typecast");
}

TEST(BlobFields, CancelDropsPendingContent) {
  TMemDataSet DS;
  DS.AddColumn("DATA", ftBlob);
  DS.AddRow({Variant("old")});
  DS.Open();
  TField* Data = DS.FieldByName("DATA");
  DS.Edit();
  Data->SetAsString("new");
  EXPECT_EQ(Data->AsString(), "new");
  DS.Cancel();
  EXPECT_EQ(Data->AsString(), "old");
}
