// Tests of the Variant: kinds, conversions and their failures, number texts,
// Currency, arrays and comparison.
#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "framework/variant/Variants.h"

using namespace ztl;

namespace {

// The message of the EVariantError that F raises, or "<none>".
std::string VariantErrorOf(const std::function<void()>& F) {
  try {
    F();
  } catch (const EVariantError& E) {
    return E.what();
  }
  return "<none>";
}

const double NaN = std::numeric_limits<double>::quiet_NaN();

TEST(VariantKinds, ConstructorsPickTheKindFromTheCppType) {
  struct Case {
    Variant V;
    TVarType Expected;
  } Cases[] = {
      {Variant(), varEmpty},
      {Null(), varNull},
      {Variant(true), varBoolean},
      {Variant(std::int16_t{1}), varSmallint},
      {Variant(std::uint8_t{1}), varByte},
      {Variant(1), varInteger},
      {Variant(std::uint16_t{1}), varInteger},
      {Variant(1u), varInt64},
      {Variant(std::int64_t{1}), varInt64},
      {Variant(1.0f), varSingle},
      {Variant(1.0), varDouble},
      {Variant(Currency::FromRaw(1)), varCurrency},
      {Variant("x"), varString},
      {Variant(std::string("x")), varString},
      {Variant::FromOleStr("x"), varOleStr},
      {VarFromDateTime(1.0), varDate},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(C.V.VarType(), C.Expected) << VarTypeAsText(C.Expected);
  EXPECT_NE(VariantErrorOf([] { Variant V(std::numeric_limits<std::uint64_t>::max()); }), "<none>");
}

TEST(VariantConvert, IntegersRoundRealsHalfToEven) {
  struct Case {
    Variant V;
    std::int32_t Expected;
  } Cases[] = {
      {2.5, 2},
      {3.5, 4},
      {-2.5, -2},
      {-3.5, -4},
      {2.4999, 2},
      {2.5001, 3},
      {Variant(0.5f), 0},
      {Variant(1.5f), 2},
      {Currency::FromRaw(25000), 2},
      {Currency::FromRaw(35000), 4},
      {Currency::FromRaw(-25000), -2},
      {Currency::FromRaw(-25001), -3},
      {Variant(true), -1},
      {Variant(false), 0},
      {Variant(), 0},
      {"12", 12},
      {" -3 ", -3},
      {"1.5", 2},
      {"2.5", 2},
      {"1e3", 1000},
      {"+7", 7},
      {VarFromDateTime(36526.75), 36527},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(C.V.AsInteger(), C.Expected) << VarToStr(C.V);
}

TEST(VariantConvert, Int64KeepsEveryDigit) {
  EXPECT_EQ(Variant("9007199254740993").AsInt64(), 9007199254740993LL);
  EXPECT_EQ(Variant(std::numeric_limits<std::int64_t>::min()).AsInt64(),
            std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(Variant("-9223372036854775808").AsInt64(), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(Variant(9007199254740993LL).AsString(), "9007199254740993");
  EXPECT_EQ(Variant(-9.2233720368547758e18).AsInt64(), std::numeric_limits<std::int64_t>::min());
}

TEST(VariantConvert, FailuresRaiseWithTheFrameworkTexts) {
  struct Case {
    std::function<void()> F;
    const char* Expected;
  } Cases[] = {
      {[] { (void)Null().AsInteger(); },
       "Could not convert variant of type (Null) into type (Integer)"},
      {[] { (void)Null().AsDouble(); },
       "Could not convert variant of type (Null) into type (Double)"},
      {[] { (void)Null().AsBoolean(); },
       "Could not convert variant of type (Null) into type (Boolean)"},
      {[] { (void)Null().AsDateTime(); },
       "Could not convert variant of type (Null) into type (Date)"},
      {[] { (void)Variant("abc").AsDouble(); },
       "Could not convert variant of type (String) into type (Double)"},
      {[] { (void)Variant("12abc").AsInteger(); },
       "Could not convert variant of type (String) into type (Integer)"},
      {[] { (void)Variant("inf").AsDouble(); },
       "Could not convert variant of type (String) into type (Double)"},
      {[] { (void)Variant::FromOleStr("yes").AsBoolean(); },
       "Could not convert variant of type (OleStr) into type (Boolean)"},
      {[] { (void)Variant("2000-02-30").AsDateTime(); },
       "Could not convert variant of type (String) into type (Date)"},
      {[] { (void)Variant(3e9).AsInteger(); },
       "Overflow while converting variant of type (Double) into type (Integer)"},
      {[] { (void)Variant(2147483647.5).AsInteger(); },
       "Overflow while converting variant of type (Double) into type (Integer)"},
      {[] { (void)Variant(9.3e18).AsInt64(); },
       "Overflow while converting variant of type (Double) into type (Int64)"},
      {[] { (void)Variant(std::numeric_limits<double>::infinity()).AsInt64(); },
       "Overflow while converting variant of type (Double) into type (Int64)"},
      {[] { (void)Variant(NaN).AsInt64(); },
       "Could not convert variant of type (Double) into type (Int64)"},
      {[] { (void)Variant("99999999999").AsInteger(); },
       "Overflow while converting variant of type (String) into type (Integer)"},
      {[] { (void)Variant(std::int64_t{1} << 40).AsInteger(); },
       "Overflow while converting variant of type (Int64) into type (Integer)"},
      {[] { (void)Variant(1e300).AsCurrency(); },
       "Overflow while converting variant of type (Double) into type (Currency)"},
      {[] { (void)VarArrayOf({1}).AsInteger(); },
       "Could not convert variant of type (Array of Variant) into type (Integer)"},
      {[] { (void)VarArrayCreate(0, 1, varByte).AsString(); },
       "Could not convert variant of type (Array of Byte) into type (String)"},
      {[] { (void)VarAsType(40000, varSmallint); },
       "Overflow while converting variant of type (Integer) into type (Smallint)"},
      {[] { (void)VarAsType(256, varByte); },
       "Overflow while converting variant of type (Integer) into type (Byte)"},
      {[] { (void)VarAsType(-1, varByte); },
       "Overflow while converting variant of type (Integer) into type (Byte)"},
      {[] { (void)VarAsType(1e300, varSingle); },
       "Overflow while converting variant of type (Double) into type (Single)"},
      {[] { (void)VarAsType(1, 0x0009); }, "Invalid variant type"},
      {[] { (void)VarAsType(1, varArray | varByte); },
       "Could not convert variant of type (Integer) into type (Array of Byte)"},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(VariantErrorOf(C.F), C.Expected);
}

TEST(VariantConvert, EmptyAndNullReadAsTheFrameworkDoes) {
  const Variant E;
  EXPECT_EQ(E.AsInteger(), 0);
  EXPECT_EQ(E.AsDouble(), 0.0);
  EXPECT_FALSE(E.AsBoolean());
  EXPECT_EQ(E.AsString(), "");
  EXPECT_EQ(E.AsDateTime(), 0.0);
  EXPECT_EQ(VarToStr(Null()), "");
  EXPECT_EQ(VarAsType(Null(), varString).AsString(), "");
  EXPECT_TRUE(VarAsType(Null(), varVariant).IsNull());
  EXPECT_TRUE(VarAsType(5, varNull).IsNull());
}

TEST(VariantConvert, Booleans) {
  struct Case {
    Variant V;
    bool Expected;
  } Cases[] = {
      {"True", true},
      {"TRUE", true},
      {" false ", false},
      {"fAlSe", false},
      {"0", false},
      {"-1", true},
      {"0.0", false},
      {"2", true},
      {0.0, false},
      {0.1, true},
      {Currency::FromRaw(1), true},
      {std::int64_t{0}, false},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(C.V.AsBoolean(), C.Expected) << VarToStr(C.V);
  EXPECT_EQ(Variant(true).AsString(), "True");
  EXPECT_EQ(Variant(false).AsString(), "False");
  EXPECT_EQ(Variant(true).AsDouble(), -1.0);
  EXPECT_EQ(Variant(true).AsCurrency().Raw(), -10000);
  EXPECT_TRUE(VarAsType("true", varBoolean).AsBoolean());
}

TEST(VariantText, FloatToStrPrintsFifteenDigitsInTheGeneralFormat) {
  struct Case {
    double Value;
    const char* Expected;
  } Cases[] = {
      {1.5, "1.5"},
      {0.1, "0.1"},
      {-2.5, "-2.5"},
      {100, "100"},
      {1e20, "1E20"},
      {1e15, "1E15"},
      {999999999999999.0, "999999999999999"},
      {123456789012345678.0, "1.23456789012346E17"},
      {0.00001, "0.00001"},
      {0.000001, "1E-6"},
      {1.5e-7, "1.5E-7"},
      {1.0 / 3.0, "0.333333333333333"},
      {2.0 / 3.0, "0.666666666666667"},
      {0.1 + 0.2, "0.3"},
      {-0.0, "0"},
      {NaN, "NAN"},
      {std::numeric_limits<double>::infinity(), "INF"},
      {-std::numeric_limits<double>::infinity(), "-INF"},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(FloatToStr(C.Value), C.Expected);
  EXPECT_EQ(Variant(1.1f).AsString(), "1.1");
  EXPECT_EQ(Variant(2.5).AsString(), "2.5");
}

TEST(VariantText, StrToFloatAcceptsOnlyOnePlainNumber) {
  struct Case {
    const char* Text;
    bool Ok;
    double Expected;
  } Cases[] = {
      {"12", true, 12},   {" -3 ", true, -3}, {"1.5", true, 1.5},   {"1e3", true, 1000},
      {"+.5", true, 0.5}, {"5.", true, 5},    {"1E-2", true, 0.01}, {"1e-400", true, 0.0},
      {"", false, 0},     {"-", false, 0},    {".", false, 0},      {"1e", false, 0},
      {"1e+", false, 0},  {"0x10", false, 0}, {"inf", false, 0},    {"nan", false, 0},
      {"1,5", false, 0},  {"1 2", false, 0},  {"1e400", false, 0},  {"--1", false, 0},
  };
  for (const Case& C : Cases) {
    double D = -99;
    EXPECT_EQ(TryStrToFloat(C.Text, D), C.Ok) << C.Text;
    if (C.Ok) {
      EXPECT_EQ(D, C.Expected) << C.Text;
    }
  }
  try {
    (void)StrToFloat("x1");
    FAIL();
  } catch (const EConvertError& E) {
    EXPECT_STREQ(E.what(), "'x1' is not a valid floating point value");
  }
}

TEST(VariantCurrency, ScalesByTenThousandAndRoundsHalfToEven) {
  EXPECT_EQ(Currency::FromDouble(1.5).Raw(), 15000);
  EXPECT_EQ(Variant(Currency::FromDouble(19.99)).AsCurrency().Raw(), 199900);
  EXPECT_EQ(Variant(12).AsCurrency().Raw(), 120000);
  EXPECT_EQ(Currency::FromRaw(15000).ToDouble(), 1.5);

  struct TextCase {
    const char* Text;
    std::int64_t Raw;
  } Texts[] = {
      {"1.5", 15000},
      {"0.00005", 0},
      {"0.00015", 2},
      {"0.000051", 1},
      {"-0.00015", -2},
      {"922337203685477.5807", std::numeric_limits<std::int64_t>::max()},
      {"-922337203685477.5808", std::numeric_limits<std::int64_t>::min()},
      {"1.5e2", 1500000},
  };
  for (const TextCase& C : Texts)
    EXPECT_EQ(Variant(C.Text).AsCurrency().Raw(), C.Raw) << C.Text;
  EXPECT_EQ(VariantErrorOf([] { (void)Variant("922337203685477.5808").AsCurrency(); }),
            "Overflow while converting variant of type (String) into type (Currency)");
  EXPECT_EQ(
      VariantErrorOf([] { (void)Variant(std::numeric_limits<std::int64_t>::max()).AsCurrency(); }),
      "Overflow while converting variant of type (Int64) into type (Currency)");

  struct StrCase {
    std::int64_t Raw;
    const char* Expected;
  } Strs[] = {{15000, "1.5"},
              {120000, "12"},
              {-1, "-0.0001"},
              {0, "0"},
              {std::numeric_limits<std::int64_t>::min(), "-922337203685477.5808"}};
  for (const StrCase& C : Strs)
    EXPECT_EQ(CurrToStr(Currency::FromRaw(C.Raw)), C.Expected);
}

TEST(VariantConvert, DatesUseTheDateTimeText) {
  const Variant D = VarFromDateTime(EncodeDate(2000, 2, 29) + 0.5);
  EXPECT_EQ(D.AsString(), "2000-02-29 12:00:00");
  EXPECT_EQ(Variant("2000-02-29 12:00").AsDateTime(), D.AsDateTime());
  EXPECT_EQ(VarAsType("2000-01-01", varDate).VarType(), varDate);
  EXPECT_EQ(VarToDateTime(VarAsType("2000-01-01", varDate)), 36526.0);
  EXPECT_EQ(VariantErrorOf([] { (void)VarFromDateTime(1e300).AsString(); }),
            "Could not convert variant of type (Date) into type (String)");
}

TEST(VariantArray, BoundsElementsAndFailures) {
  Variant A = VarArrayCreate(1, 3, varByte);
  EXPECT_EQ(A.VarType(), varArray | varByte);
  EXPECT_EQ(VarArrayDimCount(A), 1);
  EXPECT_EQ(VarArrayLowBound(A, 1), 1);
  EXPECT_EQ(VarArrayHighBound(A, 1), 3);
  VarArrayPut(A, 200, 3);
  EXPECT_EQ(VarArrayGet(A, 3).VarType(), varByte);
  EXPECT_EQ(VarArrayGet(A, 3).AsInteger(), 200);
  EXPECT_EQ(VarArrayGet(A, 1).AsInteger(), 0);

  const char* Bounds = "Variant or safe array index out of bounds";
  EXPECT_EQ(VariantErrorOf([&] { (void)VarArrayGet(A, 0); }), Bounds);
  EXPECT_EQ(VariantErrorOf([&] { (void)VarArrayGet(A, 4); }), Bounds);
  EXPECT_EQ(VariantErrorOf([&] { VarArrayPut(A, 1, 4); }), Bounds);
  EXPECT_EQ(VariantErrorOf([&] { (void)VarArrayLowBound(A, 2); }), Bounds);
  EXPECT_EQ(VariantErrorOf([] { (void)VarArrayLowBound(Variant(1), 1); }),
            "Variant is not an array");
  EXPECT_EQ(VariantErrorOf([] { (void)Variant(1).GetElement(0); }), "Variant is not an array");
  EXPECT_EQ(VariantErrorOf([] { (void)VarArrayCreate(0, -2, varVariant); }),
            "Error creating variant or safe array");
  EXPECT_EQ(VariantErrorOf([] { (void)VarArrayCreate(0, 1, varNull); }),
            "Error creating variant or safe array");
  EXPECT_EQ(VariantErrorOf([] { (void)VarArrayOf({1}).Bytes(); }), "Invalid variant operation");
  EXPECT_EQ(VariantErrorOf([&] { (void)A.Elements(); }), "Invalid variant operation");
  EXPECT_EQ(VariantErrorOf([&] { (void)A.MutableElements(); }), "Invalid variant operation");
  EXPECT_EQ(VariantErrorOf([] {
              Variant Ints = VarArrayCreate(0, 1, varInteger);
              Ints.MutableElements()[0] = "text";
            }),
            "Invalid variant operation");

  // A value that does not fit the element leaves the array as it was.
  EXPECT_NE(VariantErrorOf([&] { VarArrayPut(A, 300, 2); }), "<none>");
  EXPECT_EQ(VarArrayGet(A, 2).AsInteger(), 0);

  const Variant Empty = VarArrayCreate(5, 4, varVariant);
  EXPECT_EQ(Empty.ElementCount(), 0u);
  EXPECT_EQ(VarArrayHighBound(Empty, 1), 4);

  Variant Ints = VarArrayCreate(-2, 0, varInteger);
  Ints.PutElement(-2, "42");
  EXPECT_EQ(Ints.GetElement(-2).VarType(), varInteger);
  EXPECT_EQ(Ints.GetElement(-2).AsInteger(), 42);
}

TEST(VariantArray, CopiesAreIndependentValues) {
  Variant A = VarArrayOf({1, "two", 3.0});
  EXPECT_EQ(A.LowBound(), 0);
  EXPECT_EQ(A.HighBound(), 2);
  ASSERT_EQ(A.Elements().size(), 3u);
  EXPECT_EQ(A.Elements()[1].AsString(), "two");
  Variant B = A;
  B.PutElement(1, "changed");
  EXPECT_EQ(A.GetElement(1).AsString(), "two");
  EXPECT_EQ(B.GetElement(1).AsString(), "changed");
  // Writing in place detaches as well.
  Variant C = A;
  C.MutableElements()[0] = "in place";
  EXPECT_EQ(A.GetElement(0).AsInteger(), 1);
  EXPECT_EQ(C.GetElement(0).AsString(), "in place");

  const std::uint8_t Raw[] = {1, 2, 3};
  Variant Bytes = VarArrayFromBytes(Raw, sizeof Raw, 1);
  EXPECT_EQ(Bytes.LowBound(), 1);
  EXPECT_EQ(Bytes.HighBound(), 3);
  const Variant Copy = Bytes;
  std::span<std::uint8_t> Locked = VarArrayLock(Bytes);
  ASSERT_EQ(Locked.size(), 3u);
  Locked[0] = 9;
  VarArrayUnlock(Bytes);
  EXPECT_EQ(Bytes.GetElement(1).AsInteger(), 9);
  EXPECT_EQ(Copy.Bytes()[0], 1);

  // An array stored into itself holds the old value, not a cycle.
  A.PutElement(0, A);
  EXPECT_EQ(A.GetElement(0).GetElement(1).AsString(), "two");

  A.Redim(4);
  EXPECT_EQ(A.HighBound(), 4);
  EXPECT_TRUE(A.GetElement(4).IsEmpty());
  A.Redim(0);
  EXPECT_EQ(A.ElementCount(), 1u);

  const Variant AsBytes = VarAsType(VarArrayOf({1, 2}), varArray | varByte);
  EXPECT_EQ(AsBytes.VarType(), varArray | varByte);
  EXPECT_EQ(AsBytes.Bytes()[1], 2);
}

TEST(VariantCompare, NumbersAcrossKindsTextsAndClearValues) {
  const double TwoPow53 = 9007199254740992.0;
  struct Case {
    Variant A, B;
    TVariantRelationship Expected;
  } Cases[] = {
      {1, 1.0, vrEqual},
      {std::uint8_t{7}, std::int64_t{7}, vrEqual},
      {Currency::FromRaw(15000), 1.5, vrEqual},
      {Currency::FromRaw(15000), 2, vrLessThan},
      {std::int64_t{9007199254740993}, TwoPow53, vrGreaterThan},
      {std::numeric_limits<std::int64_t>::max(), 9223372036854775808.0, vrLessThan},
      {true, -1, vrEqual},
      {VarFromDateTime(2.0), 2, vrEqual},
      {"10", 9, vrGreaterThan},
      {"abc", "abd", vrLessThan},
      {"a", "A", vrGreaterThan},
      {"abc", 5, vrGreaterThan},
      {true, "True", vrEqual},
      {Null(), Null(), vrEqual},
      {Variant(), Variant(), vrEqual},
      {Null(), Variant(), vrLessThan},
      {Null(), 0, vrLessThan},
      {Variant(), "", vrLessThan},
      {NaN, NaN, vrEqual},
      {NaN, -1e308, vrLessThan},
      {VarArrayOf({1, 2}), VarArrayOf({1.0, 2.0}), vrEqual},
      {VarArrayOf({1, 2}), VarArrayOf({1, 2, 0}), vrLessThan},
      {VarArrayOf({1}), 1, vrNotEqual},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(VarCompareValue(C.A, C.B), C.Expected) << VarToStr(C.A) << " ? " << VarToStr(C.B);
  EXPECT_TRUE(Variant(2) == 2.0);
  EXPECT_TRUE(Variant(1) < Variant("2"));
  EXPECT_FALSE(VarArrayOf({1}) == Variant(1));
  EXPECT_EQ(VariantErrorOf([] { (void)(VarArrayOf({1}) < Variant(1)); }),
            "Invalid variant operation");
}

TEST(VariantKinds, NamesAndPredicates) {
  EXPECT_EQ(VarTypeAsText(varInt64), "Int64");
  EXPECT_EQ(VarTypeAsText(varArray | varVariant), "Array of Variant");
  EXPECT_EQ(VarTypeAsText(0x0009), "$0009");
  EXPECT_TRUE(VarIsOrdinal(Variant(true)));
  EXPECT_TRUE(VarIsFloat(Variant(Currency())));
  EXPECT_FALSE(VarIsNumeric(VarFromDateTime(1.0)));
  EXPECT_TRUE(VarIsStr(Variant::FromOleStr("")));
  EXPECT_TRUE(VarIsClear(Null()));
}

} // namespace

// The raw accessors read only their own kind; any other raises rather than
// reinterpreting the stored bytes.
TEST(VariantRaw, ReadsOwnKindAndRefusesOthers) {
  const Variant I(std::int64_t{-5}), R(2.5), T("abc"), B(true);
  EXPECT_EQ(I.RawInt(), -5);
  EXPECT_EQ(B.RawInt(), 1);
  EXPECT_EQ(R.RawReal(), 2.5);
  EXPECT_EQ(T.RawText(), "abc");
  EXPECT_THROW(I.RawReal(), EVariantError);
  EXPECT_THROW(I.RawText(), EVariantError);
  EXPECT_THROW(R.RawInt(), EVariantError);
  EXPECT_THROW(T.RawInt(), EVariantError);
  EXPECT_THROW(Variant::Null().RawText(), EVariantError);
}
