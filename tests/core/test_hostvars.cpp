// Host variables: how parameter values become typed, packed variables, when
// bound variables are reused, and how values are read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tests/core/CursorFixture.h"

namespace ztl {
namespace {

using HostVariableTest = CursorTest;

Variant Bytes(std::size_t Count) {
  const std::string Data(Count, '\x5A');
  return VarArrayFromBytes(Data.data(), Data.size());
}

TEST_F(HostVariableTest, TypeAndSizeFollowTheValue) {
  struct TCase {
    const char* Name;
    Variant Value;
    TZantrelFieldTypes Type;
    std::int32_t Size;
  };
  const TCase Cases[] = {
      {"Empty", Variant(), ntUnknown, 0},
      {"Null", Variant::Null(), ntUnknown, 0},
      {"Smallint", std::int16_t{7}, ntInteger, 4},
      {"Integer", 7, ntInteger, 4},
      {"Byte", std::uint8_t{7}, ntInteger, 4},
      {"Int64", std::int64_t{1} << 40, ntInt64, 8},
      {"Single", 1.5f, ntFloat, 8},
      {"Double", 1.5, ntFloat, 8},
      {"Currency", Currency::FromRaw(15000), ntCurrency, 8},
      {"Date", Variant::FromDateTime(36526.0), ntDateTime, 8},
      {"OleStr", Variant::FromOleStr("abc"), ntString, TRecordingSQL::DefaultStringSize},
      {"Boolean", true, ntBoolean, 1},
      {"String of 31", std::string(31, 'x'), ntString, 32},
      {"String of 32", std::string(32, 'x'), ntMemo, 32},
      {"String of 40", std::string(40, 'x'), ntMemo, 40},
      {"Bytes of 16", Bytes(16), ntBinary, 16},
      {"Bytes of 17", Bytes(17), ntBlob, 17},
      {"Array of Variants", VarArrayOf({1, 2}), ntUnknown, 0},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    std::int32_t Size = -1;
    EXPECT_EQ(SQL.InternalGetVariableTypeAndLength(Case.Value, Size), Case.Type);
    EXPECT_EQ(Size, Case.Size);
  }
}

TEST_F(HostVariableTest, ParameterListsAreNormalised) {
  const Variant Array = VarArrayOf({1, "ab"});
  struct TCase {
    const char* Name;
    std::vector<Variant> Params;
    std::int32_t Count; // -1: no values at all
  };
  const TCase Cases[] = {
      {"nothing", {}, -1},
      {"ZtlEmptyParam", {ZtlEmptyParam}, -1},
      {"one Null", {Variant::Null()}, -1},
      {"one Empty", {Variant()}, -1},
      {"two Nulls", {Variant::Null(), Variant::Null()}, 2},
      {"values", {1, "ab", 2.5}, 3},
      {"an array", {Array}, 2},
      {"an array first", {Array, 5}, 2},
      {"an empty array", {VarArrayCreate(0, -1, varVariant)}, 0},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const TZtlHostValues V = SQL.InternalCheckVarValues(Case.Params);
    EXPECT_EQ(V.GetCount(), Case.Count);
    EXPECT_EQ(V.IsArray(), Case.Count >= 0);
  }
}

TEST_F(HostVariableTest, VariablesArePackedInParameterOrder) {
  ASSERT_TRUE(SQL.Open(SelectParts, {VarArrayOf({1, "short", 2.5})}, true));
  const TZantrelVariableDefs& Vars = SQL.GetOpenVariables();
  ASSERT_EQ(Vars.GetCount(), 3);
  struct TCase {
    TZantrelFieldTypes Type;
    std::int32_t Size, Offset;
  };
  const TCase Expected[] = {{ntInteger, 4, 0}, {ntString, 32, 4}, {ntFloat, 8, 36}};
  for (std::int32_t I = 0; I < 3; ++I) {
    SCOPED_TRACE(I);
    const TZantrelFieldDef* Def = Vars.GetItem(I);
    EXPECT_EQ(Def->Name, "?");
    EXPECT_EQ(Def->FieldType, Expected[I].Type);
    EXPECT_EQ(Def->Size, Expected[I].Size);
    EXPECT_EQ(Def->Offset, Expected[I].Offset);
    EXPECT_EQ(Def->ExtType, 1000 + Expected[I].Type);
    EXPECT_EQ(Def->Length, 0);
    EXPECT_FALSE(Def->Nulls);
    EXPECT_EQ(Def->KeyIndicator, kiRegularField);
  }
  EXPECT_EQ(Vars.GetBufSize(), 44);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Vars.GetBuffer()) + 4), "short");
}

// A change of shape rebuilds and rebinds; so does every memo or blob value,
// since the driver may have bound its data by address.
TEST_F(HostVariableTest, ShapeChangesAndBlobValuesBindAgain) {
  struct TCase {
    const char* Name;
    std::vector<Variant> First, Second;
    bool BindsAgain;
  };
  const TCase Cases[] = {
      {"same types", {1, "a"}, {2, "bb"}, false},
      {"integer to double", {1, 2}, {1, 2.5}, true},
      {"short to long string", {"a"}, {std::string(40, 'x')}, true},
      {"longer memo", {std::string(40, 'x')}, {std::string(50, 'x')}, true},
      {"same memo", {std::string(40, 'x')}, {std::string(40, 'y')}, true},
      {"same blob", {Bytes(20)}, {Bytes(20)}, true},
      {"one more value", {1}, {1, 2}, true},
      {"smallint and integer", {std::int16_t{1}}, {2}, false},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    ASSERT_TRUE(SQL.Open(SelectParts, Case.First, true));
    Log().Clear();
    ASSERT_TRUE(SQL.Open(SelectParts, Case.Second, true));
    const TCalls Made = Calls();
    const bool Bound =
        std::find(Made.begin(), Made.end(), "InternalBindOpenVariables") != Made.end();
    EXPECT_EQ(Bound, Case.BindsAgain);
    EXPECT_EQ(std::count(Made.begin(), Made.end(), "InternalSetValue"),
              static_cast<std::ptrdiff_t>(Case.Second.size()));
    EXPECT_TRUE(SQL.GetOpenVariables().GetBound());
  }
}

TEST_F(HostVariableTest, VariableNamesAvoidResultColumnsOnly) {
  SQL.SetResult({{"?", ntInteger}, {"?_1", ntInteger}}, {});
  ASSERT_TRUE(SQL.Open(SelectParts, {1, 2}, true));
  EXPECT_EQ(SQL.GetOpenVariables().GetItem(0)->Name, "?") << "no columns yet while binding";
  ASSERT_TRUE(SQL.Open(SelectParts, {1, "now a string"}, true));
  EXPECT_EQ(SQL.GetOpenVariables().GetItem(0)->Name, "?_2");
  EXPECT_EQ(SQL.GetOpenVariables().GetItem(1)->Name, "?_2") << "not made unique among themselves";
}

TEST_F(HostVariableTest, OutputVariablesComeBeforeInputVariables) {
  SQL.SetOutputs({{"TOTAL", 42}, {"LABEL", "sum"}, {"?", 9}});
  ASSERT_TRUE(SQL.Execute("call total(?, ?)", {5, "in"}));
  EXPECT_EQ(SQL.GetOutVar("total").AsInteger(), 42);
  EXPECT_EQ(SQL.GetOutVar(1).AsString(), "sum") << "a position in the output list";
  EXPECT_EQ(SQL.GetOutVar("?").AsInteger(), 9) << "the output list is searched first";

  SQL.SetOutputs({});
  ASSERT_TRUE(SQL.ExecutePrepared({5, "in"}));
  EXPECT_EQ(SQL.GetOutVar(0).AsInteger(), 5) << "an input variable when no output matches";
  EXPECT_EQ(SQL.GetOutVar(std::int16_t{1}).AsString(), "in");

  try {
    SQL.GetOutVar("MISSING");
    ADD_FAILURE() << "no error";
  } catch (const EZantrelException& E) {
    EXPECT_STREQ(E.what(), "Host variable \"MISSING\" not found");
    EXPECT_EQ(E.GetErrorCode(), 0);
  }
  EXPECT_EQ(Session.GetLastError(), "Host variable \"MISSING\" not found");
  EXPECT_THROW(SQL.GetOutVar(5), EZantrelException);
  EXPECT_EQ(SQL.GetLastError(), "Host variable \"5\" not found");
}

TEST_F(HostVariableTest, Int64ValuesKeepEveryDigit) {
  const std::int64_t Big = (std::int64_t{1} << 53) + 1; // not representable as a double
  ASSERT_TRUE(SQL.Execute("update parts set serial = ?", {Big}));
  EXPECT_EQ(SQL.GetExecVariables().GetItem(0)->FieldType, ntInt64);
  EXPECT_EQ(SQL.GetOutVar(0).AsInt64(), Big);
}

} // namespace
} // namespace ztl
