// Field definitions and addresses, the tolerant conversions, and field
// access on the current row: reading, writing, clearing, null states and
// dirty tracking.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "tests/core/CursorFixture.h"

namespace ztl {
namespace {

// --- Definitions and layout -------------------------------------------------------

TEST(FieldDefsTest, ValuesArePackedInOrderWithoutPadding) {
  TZantrelFieldDefs Defs;
  const std::int32_t Sizes[] = {4, 10, 8};
  const std::int32_t Offsets[] = {0, 4, 14};
  for (int I = 0; I < 3; ++I) {
    TZantrelFieldDef* Def = Defs.AddFieldDef("F" + std::to_string(I));
    EXPECT_EQ(Def->Index, I);
    EXPECT_EQ(Def->Offset, Offsets[I]);
    EXPECT_EQ(Def->Size, 0) << "until the caller sets it";
    Def->Size = Sizes[I];
  }
  EXPECT_EQ(Defs.Size(), 22);
  EXPECT_EQ(Defs.GetItem(-1), nullptr);
  EXPECT_EQ(Defs.GetItem(3), nullptr);
  EXPECT_EQ(Defs.GetItem(2)->Name, "F2");

  delete Defs.GetItem(1); // a definition leaves its list when destroyed
  EXPECT_EQ(Defs.GetCount(), 2);
  EXPECT_EQ(Defs.GetItem(1)->Index, 2) << "the others keep their numbers";
}

TEST(FieldDefsTest, LayoutBeyondThirtyTwoBitsIsRefused) {
  TZantrelFieldDefs Defs;
  Defs.AddFieldDef("A")->Size = std::numeric_limits<std::int32_t>::max();
  Defs.AddFieldDef("B")->Size = 1;
  EXPECT_THROW(Defs.AddFieldDef("C"), EZantrelException);
  EXPECT_THROW(Defs.Size(), EZantrelException);
}

TEST(FieldDefsTest, NamesAreFoundCaseInsensitivelyFirstMatchFirst) {
  TZantrelFieldDefs Defs;
  Defs.AddFieldDef("\xC4rger"); // Windows-1252 capital A umlaut
  Defs.AddFieldDef("name");
  Defs.AddFieldDef("NAME");
  EXPECT_EQ(Defs.IndexOf("\xE4RGER"), 0);
  EXPECT_EQ(Defs.IndexOf("Name"), 1);
  EXPECT_EQ(Defs.FieldByName("missing"), nullptr);
  EXPECT_FALSE(Defs.AnyBlob());
  Defs.AddFieldDef("M")->FieldType = ntMemo;
  EXPECT_TRUE(Defs.AnyBlob());
}

TEST(FieldDefsTest, VariableListsOwnAZeroFilledBuffer) {
  TZantrelVariableDefs Vars;
  Vars.AddFieldDef("?")->Size = 4;
  Vars.SetBufSize(4);
  Vars.SetBound(true);
  ASSERT_EQ(Vars.GetBufSize(), 4);
  EXPECT_EQ(std::count(Vars.GetBuffer(), Vars.GetBuffer() + 4, 0), 4);
  std::memset(Vars.GetBuffer(), 7, 4);
  Vars.ClearBuffer();
  EXPECT_EQ(std::count(Vars.GetBuffer(), Vars.GetBuffer() + 4, 0), 4);
  Vars.Clear();
  EXPECT_EQ(Vars.GetCount(), 0);
  EXPECT_EQ(Vars.GetBuffer(), nullptr);
  EXPECT_EQ(Vars.GetBufSize(), 0);
  EXPECT_FALSE(Vars.GetBound());
  Vars.SetBufSize(-5);
  EXPECT_EQ(Vars.GetBufSize(), 0);
}

TEST(FieldDefsTest, NewNamesAreMadeUniqueAgainstTheResultColumns) {
  TRecordingSQL SQL;
  TZantrelFieldDefs& Columns = SQL.GetMutableFieldDefs();
  for (const char* Name : {"ID", "NAME", "id", "ID"})
    SQL.InternalAddFieldDef(Columns, Name, ntInteger, 0, 4, 0, 0, false, kiRegularField);
  const char* Expected[] = {"ID", "NAME", "id_1", "ID_2"};
  for (int I = 0; I < 4; ++I)
    EXPECT_EQ(Columns.GetItem(I)->Name, Expected[I]);
  EXPECT_EQ(Columns.GetItem(3)->Offset, 12);

  // Another list is checked against the columns, not against itself.
  TZantrelFieldDef* Out = SQL.InternalAddFieldDef(SQL.GetMutableOutVariables(), "Name", ntString, 7,
                                                  11, 10, 2, true, kiKeyField);
  EXPECT_EQ(Out->Name, "Name_1");
  EXPECT_EQ(Out->Offset, 0);
  EXPECT_EQ(SQL.InternalAddFieldDef(SQL.GetMutableOutVariables(), "Name", ntString, 0, 1, 0, 0,
                                    false, kiRegularField)
                ->Name,
            "Name_1");
}

// --- Field addresses and conversions ------------------------------------------------

TEST(FieldAddressTest, IntegersArePositionsEverythingElseIsAName) {
  TRecordingSQL SQL;
  for (const char* Name : {"ID", "0", "2"})
    SQL.InternalAddFieldDef(SQL.GetMutableFieldDefs(), Name, ntInteger, 0, 4, 0, 0, false,
                            kiRegularField);
  struct TCase {
    const char* Name;
    Variant Address;
    const char* Found; // nullptr: none
  };
  const TCase Cases[] = {
      {"Integer 0", 0, "ID"},
      {"Smallint 2", std::int16_t{2}, "2"},
      {"Integer past the end", 3, nullptr},
      {"negative Integer", -1, nullptr},
      {"Byte 0 is a name", std::uint8_t{0}, "0"},
      {"text 0 is a name", "0", "0"},
      {"Double 2 is a name", 2.0, "2"},
      {"Int64 0 is a name", std::int64_t{0}, "0"},
      {"name in another case", "id", "ID"},
      {"unknown name", "nope", nullptr},
      {"Null", Variant::Null(), nullptr},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const TZantrelFieldDef* Def = SQL.GetField(Case.Address);
    if (!Case.Found) {
      EXPECT_EQ(Def, nullptr);
      continue;
    }
    ASSERT_NE(Def, nullptr);
    EXPECT_EQ(Def->Name, Case.Found);
  }
}

TEST(ConversionTest, TolerantConversionsFallBackInsteadOfRaising) {
  const double Nan = std::numeric_limits<double>::quiet_NaN();
  const std::int64_t Big = (std::int64_t{1} << 53) + 1;
  EXPECT_EQ(TZantrelSQL::SetVarToStr(Variant::Null()), "");
  EXPECT_EQ(TZantrelSQL::SetVarToStr(12), "12");
  EXPECT_EQ(TZantrelSQL::SetVarToStr(VarArrayOf({1})), "");

  struct TIntCase {
    const char* Name;
    Variant Value;
    std::int32_t Int;
    std::int64_t Int64;
  };
  const TIntCase IntCases[] = {
      {"True", true, 1, 1},
      {"False", false, 0, 0},
      {"2.5 ties to even", 2.5, 2, 2},
      {"3.5 ties to even", 3.5, 4, 4},
      {"-2.5 ties to even", -2.5, -2, -2},
      {"number text", " 12 ", 12, 12},
      {"not a number", "abc", 0, 0},
      {"Null", Variant::Null(), 0, 0},
      {"Empty", Variant(), 0, 0},
      {"beyond 32 bits", 3e10, 0, 30000000000},
      {"beyond 64 bits", 1e30, 0, 0},
      {"NaN", Nan, 0, 0},
      {"Int64 beyond a double's digits", Big, 0, Big},
      {"Currency", Currency::FromRaw(25000), 2, 2},
  };
  for (const TIntCase& Case : IntCases) {
    SCOPED_TRACE(Case.Name);
    EXPECT_EQ(TZantrelSQL::SetVarToInt(Case.Value), Case.Int);
    EXPECT_EQ(TZantrelSQL::SetVarToInt64(Case.Value), Case.Int64);
  }

  EXPECT_EQ(TZantrelSQL::SetVarToFloat(true), 1.0);
  EXPECT_EQ(TZantrelSQL::SetVarToFloat("abc"), 0.0);
  EXPECT_EQ(TZantrelSQL::SetVarToFloat("1.5"), 1.5);
  EXPECT_EQ(TZantrelSQL::SetVarToFloat(Variant::Null()), 0.0);
  EXPECT_TRUE(TZantrelSQL::SetVarToBoolean("true"));
  EXPECT_TRUE(TZantrelSQL::SetVarToBoolean(5));
  EXPECT_FALSE(TZantrelSQL::SetVarToBoolean("maybe"));
  EXPECT_FALSE(TZantrelSQL::SetVarToBoolean(Variant::Null()));
  EXPECT_EQ(TZantrelSQL::SetVarToDateTime(Variant::FromDateTime(36526.5)), 36526.5);
  EXPECT_EQ(TZantrelSQL::SetVarToDateTime("not a date"), 0.0);
  EXPECT_EQ(TZantrelSQL::SetVarToDateTime(Variant::Null()), 0.0);
}

// --- Field access on the current row --------------------------------------------------

using RowAccessTest = CursorTest;

TEST_F(RowAccessTest, DescriptionsOfUnknownColumnsAreDefaults) {
  OpenOnFirstRow();
  EXPECT_EQ(SQL.GetFieldName(6), "");
  EXPECT_EQ(SQL.GetFieldName(-1), "");
  EXPECT_EQ(SQL.GetFieldType("cost"), ntUnknown);
  EXPECT_EQ(SQL.GetFieldSize("cost"), 0);
  EXPECT_EQ(SQL.GetFieldLength(99), 0);
  EXPECT_EQ(SQL.GetFieldDecimals("cost"), 0);
  EXPECT_FALSE(SQL.GetFieldNulls("cost"));
  EXPECT_FALSE(SQL.FindField("cost"));
}

TEST_F(RowAccessTest, UnknownColumnIsReportedWithItsAddress) {
  OpenOnFirstRow();
  using TOp = void (*)(TZantrelSQL&, const Variant&);
  const TOp Ops[] = {
      [](TZantrelSQL& S, const Variant& F) { S.GetFieldValue(F); },
      [](TZantrelSQL& S, const Variant& F) { S.GetOldValue(F); },
      [](TZantrelSQL& S, const Variant& F) { S.SetFieldValue(F, 1); },
      [](TZantrelSQL& S, const Variant& F) { S.IsFieldNull(F); },
      [](TZantrelSQL& S, const Variant& F) { S.IsFieldDirty(F); },
  };
  for (const TOp Op : Ops)
    for (const Variant& Address : {Variant(7), Variant("cost")}) {
      Session.SetLastError("", 0);
      try {
        Op(SQL, Address);
        ADD_FAILURE() << "no error";
      } catch (const EZantrelException& E) {
        const std::string Expected = "Field \"" + Address.AsString() + "\" not found";
        EXPECT_EQ(E.what(), Expected);
        EXPECT_EQ(E.GetErrorCode(), 0);
        EXPECT_EQ(Session.GetLastError(), Expected);
      }
    }
}

TEST_F(RowAccessTest, WritesGoToTheCurrentRowOnly) {
  OpenOnFirstRow();
  SQL.SetFieldValue("NAME", "washer");
  EXPECT_EQ(Calls(), (TCalls{"InternalSetValue", "SetNull(1,False)"}));
  EXPECT_EQ(SQL.GetFieldValue("NAME").AsString(), "washer");
  EXPECT_EQ(SQL.GetOldValue("NAME").AsString(), "bolt");
  EXPECT_TRUE(SQL.IsFieldDirty("NAME"));
  EXPECT_FALSE(SQL.IsFieldDirty("PRICE"));
  EXPECT_TRUE(SQL.IsDirty());

  SQL.SetFieldValue("NAME", "bolt"); // the same bytes again
  EXPECT_FALSE(SQL.IsFieldDirty("NAME"));
  EXPECT_FALSE(SQL.IsDirty());

  ASSERT_TRUE(SQL.UpdateRecord());
  EXPECT_EQ(SQL.GetRows()[0][1].AsString(), "bolt");

  // The recording driver's row operations act on the row numbered RecNo.
  ASSERT_TRUE(SQL.FetchNext());
  SQL.SetFieldValue("NAME", "nut M4");
  ASSERT_TRUE(SQL.UpdateRecord());
  EXPECT_EQ(SQL.GetRows()[1][1].AsString(), "nut M4");
  ASSERT_TRUE(SQL.DeleteRecord());
  ASSERT_EQ(SQL.GetRows().size(), 2u);
  EXPECT_EQ(SQL.GetRows()[1][1].AsString(), "gear");
}

TEST_F(RowAccessTest, NullClearsTheColumnAndMarksItNull) {
  OpenOnFirstRow();
  SQL.SetFieldValue("PRICE", Variant::Null());
  EXPECT_EQ(Calls(), (TCalls{"SetNull(2,True)"}));
  EXPECT_TRUE(SQL.IsFieldNull("PRICE"));
  EXPECT_EQ(SQL.GetFieldValue("PRICE").AsDouble(), 0.0) << "the bytes are zeroed";
  EXPECT_TRUE(SQL.IsFieldDirty("PRICE"));

  SQL.SetFieldValue("PRICE", 0.25);
  EXPECT_FALSE(SQL.IsFieldNull("PRICE"));
  EXPECT_FALSE(SQL.IsFieldDirty("PRICE"));
}

TEST_F(RowAccessTest, ReadOnlyIsCheckedBeforeAnythingElse) {
  ASSERT_TRUE(SQL.OpenRead(SelectParts, {0, 100}));
  EXPECT_FALSE(SQL.CanModify());
  try {
    SQL.SetFieldValue("cost", 1);
    ADD_FAILURE() << "no error";
  } catch (const EZantrelException& E) {
    EXPECT_STREQ(E.what(), "The cursor is read-only");
  }
  EXPECT_THROW(SQL.Clear(), EZantrelException);
  EXPECT_EQ(SQL.GetLastError(), "The cursor is read-only");

  SQL.Close();
  EXPECT_THROW(SQL.Clear(), EZantrelException);
  EXPECT_EQ(SQL.GetLastError(), "The cursor is not opened") << "the open check comes first";
  EXPECT_THROW(SQL.ClearNotNull(), EZantrelException);
  EXPECT_THROW(SQL.IsDirty(), EZantrelException);
  EXPECT_EQ(SQL.GetLastError(), "The cursor is not opened");
}

TEST_F(RowAccessTest, ClearZeroesEveryColumnButHiddenKeys) {
  OpenOnFirstRow();
  SQL.Clear();
  EXPECT_EQ(Calls(), (TCalls{"SetNull(0,True)", "SetNull(1,True)", "SetNull(2,True)",
                             "SetNull(3,True)", "SetNull(4,True)"}));
  EXPECT_EQ(SQL.GetFieldValue("ID").AsInteger(), 0);
  EXPECT_EQ(SQL.GetFieldValue("NAME").AsString(), "");
  EXPECT_TRUE(SQL.IsFieldNull("ID"));
  EXPECT_EQ(SQL.GetFieldValue("ROWKEY").AsInteger(), 101);
  EXPECT_FALSE(SQL.IsFieldNull("ROWKEY"));

  SQL.ClearNotNull();
  EXPECT_FALSE(SQL.IsFieldNull("NAME"));
  EXPECT_EQ(SQL.GetFieldValue("NAME").AsString(), "");
}

TEST_F(RowAccessTest, ClearFieldByNameIgnoresUnknownNames) {
  OpenOnFirstRow();
  SQL.ClearField("cost");
  EXPECT_TRUE(Calls().empty());
  SQL.ClearField("name");
  EXPECT_TRUE(SQL.IsFieldNull("NAME"));
  EXPECT_EQ(SQL.GetFieldValue("NAME").AsString(), "");
  SQL.ClearFieldNotNull("NAME");
  EXPECT_FALSE(SQL.IsFieldNull("NAME"));
}

TEST_F(RowAccessTest, DirtyTrackingByBytesNullStateAndBlobFlag) {
  SQL.SetResult({{"A", ntInteger}, {"NOTHING", ntUnknown}, {"MEMO", ntMemo}}, {{1, 1, "text"}});
  OpenOnFirstRow();
  EXPECT_FALSE(SQL.IsDirty());

  SQL.ClearField("NOTHING"); // only its null state changes
  EXPECT_TRUE(SQL.IsFieldNull("NOTHING"));
  EXPECT_FALSE(SQL.IsFieldDirty("NOTHING")) << "a column of no bytes is never dirty";

  SQL.ClearFieldNotNull("A"); // 1 -> 0, still not null
  EXPECT_TRUE(SQL.IsFieldDirty("A"));
  SQL.SetFieldValue("A", 1);
  EXPECT_FALSE(SQL.IsFieldDirty("A"));

  TZantrelBlobStream* Memo = SQL.GetBlobManager()->BlobByName("memo");
  EXPECT_FALSE(SQL.IsFieldDirty("MEMO")) << "fetched data is not a change";
  SQL.SetFieldValue("MEMO", "new text");
  EXPECT_TRUE(Memo->GetModified());
  EXPECT_TRUE(SQL.IsFieldDirty("MEMO"));
  EXPECT_EQ(SQL.GetFieldValue("MEMO").AsString(), "new text");
  SQL.GetBlobManager()->ClearBlobs();
  EXPECT_FALSE(SQL.IsFieldDirty("MEMO"));
  SQL.ClearField("MEMO");
  EXPECT_TRUE(SQL.IsFieldDirty("MEMO")) << "the null state changed";
}

TEST_F(RowAccessTest, ColumnsOutsideTheRowAreRefusedNotRead) {
  ASSERT_TRUE(SQL.PrepareOpen(SelectParts));
  // A definition added after the buffers were allocated lies past the row.
  TZantrelFieldDef* Extra = SQL.GetMutableFieldDefs().AddFieldDef("EXTRA");
  Extra->FieldType = ntFloat;
  Extra->Size = 8;
  ASSERT_EQ(Extra->Offset, SQL.GetRowSize());
  // By name and by position alike: a position in range skips the search,
  // never the check.
  for (const Variant& Address : {Variant("EXTRA"), Variant(Extra->Index)}) {
    Session.SetLastError("", 0);
    EXPECT_THROW(SQL.GetFieldValue(Address), EZantrelException);
    EXPECT_EQ(SQL.GetLastError(), "The cursor is not opened");
    EXPECT_THROW(SQL.GetOldValue(Address), EZantrelException);
    EXPECT_EQ(SQL.GetLastError(), "The cursor is not opened");
  }
  EXPECT_THROW(SQL.SetFieldValue("EXTRA", 1.0), EZantrelException);
  EXPECT_THROW(SQL.ClearField("EXTRA"), EZantrelException);
  EXPECT_THROW(SQL.IsFieldDirty("EXTRA"), EZantrelException);
  EXPECT_EQ(SQL.GetFieldValue("ID").AsInteger(), 0) << "columns inside still read";
}

} // namespace
} // namespace ztl
