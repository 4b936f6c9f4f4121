// One parameter: initial state, setters and the kind of value they leave,
// text and Variant conversion, the per-type data buffer, loading, comparison
// and every assignment path.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>

#include "dataset/ZtlBasDS.h"
#include "framework/Graphics.h"
#include "framework/Streams.h"
#include "framework/Strings.h"
#include "tests/dataset/test_param_util.h"

namespace ztl {
namespace {

using test::Hex;
using test::Unhex;

// Before 1899-12-30 the time of day counts away from zero.
TDateTime At(int Y, int M, int D, int H = 0, int N = 0, int S = 0, int MS = 0) {
  const TDateTime Day = EncodeDate(Y, M, D);
  const TDateTime Time = EncodeTime(H, N, S, MS);
  return Day < 0 ? Day - Time : Day + Time;
}

TEST(ParamState, NewParameterHoldsIntegerZeroAndIsNeitherNullNorBound) {
  TZantrelParams List;
  auto* P = new TZantrelParam(&List, "ID");
  EXPECT_EQ(List.Count(), 1);
  EXPECT_EQ(P->GetParams(), &List);
  EXPECT_FALSE(P->IsNull());
  EXPECT_FALSE(P->GetBound());
  EXPECT_EQ(P->GetDataType(), ntUnknown);
  EXPECT_EQ(P->GetParamType(), nptUnknown);
  EXPECT_EQ(P->GetValue().VarType(), varInteger);
  EXPECT_EQ(P->GetAsString(), "0");
}

TEST(ParamState, ClearAndSetDataTypeResetTheValueButKeepTheirOwnFlags) {
  TZantrelParam P(nullptr);
  P.SetAsString("x");
  P.SetDataType(ntFloat);
  EXPECT_EQ(P.GetValue().VarType(), varInteger);
  EXPECT_TRUE(P.GetBound());
  EXPECT_FALSE(P.IsNull());
  P.SetAsInteger(7);
  P.Clear();
  EXPECT_TRUE(P.IsNull());
  EXPECT_EQ(P.GetDataType(), ntInteger);
  EXPECT_EQ(P.GetValue().AsInteger(), 0);
  EXPECT_EQ(P.GetAsString(), "");
}

struct TSetterCase {
  const char* Name;
  std::function<void(TZantrelParam&)> Set;
  TZantrelParamDataType Type;
  TVarType Kind;
  Variant Expected;
};

TEST(ParamSetters, EachSetterLeavesItsTypeAndKindOfValue) {
  const TSetterCase Cases[] = {
      {"String", [](auto& P) { P.SetAsString("abc"); }, ntString, varString, Variant("abc")},
      {"Memo", [](auto& P) { P.SetAsMemo("m"); }, ntMemo, varString, Variant("m")},
      {"Binary", [](auto& P) { P.SetAsBinary("\x01\x02"); }, ntBinary, varString,
       Variant("\x01\x02")},
      {"Blob", [](auto& P) { P.SetAsBlob("b"); }, ntBlob, varString, Variant("b")},
      {"Integer", [](auto& P) { P.SetAsInteger(-4); }, ntInteger, varInteger, Variant(-4)},
      {"Float", [](auto& P) { P.SetAsFloat(2.25); }, ntFloat, varDouble, Variant(2.25)},
      {"Currency", [](auto& P) { P.SetAsCurrency(1.5); }, ntCurrency, varDouble, Variant(1.5)},
      {"Boolean", [](auto& P) { P.SetAsBoolean(true); }, ntBoolean, varBoolean, Variant(true)},
      {"DateTime", [](auto& P) { P.SetAsDateTime(36526.75); }, ntDateTime, varDate,
       Variant(36526.75)},
      {"Date cuts the time", [](auto& P) { P.SetAsDate(At(1899, 12, 30, 23)); }, ntDate, varDate,
       Variant(0.0)},
      {"Time drops the date", [](auto& P) { P.SetAsTime(At(2000, 1, 1, 12)); }, ntTime, varDate,
       Variant(0.5)},
      {"Blob data", [](auto& P) { P.SetBlobData("xyz", 2); }, ntBlob, varString, Variant("xy")},
  };
  for (const TSetterCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TZantrelParam P(nullptr);
    P.Clear();
    C.Set(P);
    EXPECT_EQ(P.GetDataType(), C.Type);
    EXPECT_EQ(P.GetValue().VarType(), C.Kind);
    EXPECT_EQ(P.GetValue(), C.Expected);
    EXPECT_TRUE(P.GetBound());
    EXPECT_FALSE(P.IsNull());
  }
}

struct TTextCase {
  TZantrelParamDataType Before;
  const char* Text;
  TZantrelParamDataType After;
  Variant Expected;
};

TEST(ParamSetters, SetTextConvertsToTheTypeAndFallsBackToIntegerZero) {
  const TTextCase Cases[] = {
      {ntUnknown, "x", ntString, Variant("x")},
      {ntInteger, "12", ntInteger, Variant(12)},
      {ntInteger, "12abc", ntInteger, Variant(0)},
      {ntInteger, "99999999999", ntInteger, Variant(0)},
      {ntInt64, "2.5", ntInt64, Variant(2.5)},
      {ntCurrency, "1.25", ntCurrency, Variant(1.25)},
      {ntDate, "2000-01-01 12:00", ntDate, Variant::FromDateTime(At(2000, 1, 1, 12))},
      {ntDate, "not a date", ntDate, Variant(0)},
      {ntBoolean, "true", ntBoolean, Variant(true)},
      {ntBlob, "raw", ntBlob, Variant("raw")},
  };
  for (const TTextCase& C : Cases) {
    SCOPED_TRACE(C.Text);
    TZantrelParam P(nullptr);
    P.SetDataType(C.Before);
    P.Clear();
    P.SetText(C.Text);
    EXPECT_EQ(P.GetDataType(), C.After);
    EXPECT_EQ(P.GetValue().VarType(), C.Expected.VarType());
    EXPECT_EQ(P.GetValue(), C.Expected);
    EXPECT_FALSE(P.IsNull());
    EXPECT_TRUE(P.GetBound());
  }
}

TEST(ParamSetters, SetAsVariantFollowsTheKind) {
  struct TCase {
    Variant Value;
    TZantrelParamDataType Type;
  };
  const TCase Cases[] = {
      {Variant(std::int16_t{2}), ntInteger},
      {Variant(std::uint8_t{2}), ntInteger},
      {Variant(5), ntInteger},
      {Variant(std::int64_t{1} << 62), ntInt64},
      {Variant(1.5f), ntFloat},
      {Variant(1.5), ntFloat},
      {Variant(Currency::FromRaw(15000)), ntCurrency},
      {Variant::FromDateTime(1.0), ntDateTime},
      {Variant::FromOleStr("w"), ntString},
      {Variant("s"), ntString},
      {Variant(false), ntBoolean},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(VarTypeAsText(C.Value.VarType()));
    TZantrelParam P(nullptr);
    P.SetAsVariant(C.Value);
    EXPECT_EQ(P.GetDataType(), C.Type);
    EXPECT_EQ(P.GetValue().VarType(), C.Value.VarType());
    EXPECT_FALSE(P.IsNull());
  }
}

TEST(ParamSetters, SetAsVariantOfNullOrAnArrayMakesANullUnknownParameter) {
  for (const Variant& V : {Variant::Null(), Variant(), VarArrayOf({Variant(1)})}) {
    TZantrelParam P(nullptr);
    P.SetAsInteger(3);
    P.SetAsVariant(V);
    EXPECT_EQ(P.GetDataType(), ntUnknown);
    EXPECT_TRUE(P.IsNull());
    EXPECT_TRUE(P.GetBound());
    EXPECT_EQ(P.GetValue().VarType(), V.VarType());
  }
}

TEST(ParamSetters, SetAsVariantKeepsTheBytesOfAByteArray) {
  const std::uint8_t Bytes[] = {0, 1, 255};
  const Variant Array = VarArrayFromBytes(Bytes, 3);
  TZantrelParam P(nullptr);
  P.SetAsVariant(Array);
  EXPECT_EQ(P.GetDataType(), ntBlob);
  EXPECT_FALSE(P.IsNull());
  EXPECT_EQ(Hex(P.GetDataBytes()), "00 01 FF");
  EXPECT_EQ(P.GetAsVariant(), Array);
}

TEST(ParamGetters, TextOfBooleansDatesAndUnconvertibleValues) {
  TZantrelParam P(nullptr);
  P.SetAsBoolean(true);
  EXPECT_EQ(P.GetAsString(), "True");
  P.SetAsBoolean(false);
  EXPECT_EQ(P.GetAsString(), "False");
  P.SetAsTime(At(2000, 1, 1, 12));
  EXPECT_EQ(P.GetAsString(), "12:00:00");
  TStringStream Stream("abc");
  P.LoadFromStream(Stream, ntDate);
  EXPECT_EQ(P.GetAsString(), "");
  EXPECT_THROW(P.GetAsDateTime(), Exception);
  P.Clear();
  EXPECT_EQ(P.GetAsDateTime(), 0.0);
  P.SetAsString("abc");
  EXPECT_THROW(P.GetAsInteger(), EVariantError);
  EXPECT_EQ(P.GetAsString(), "abc");
}

TEST(ParamGetters, ByteArrayIsNullWhenEmptyAndZeroBasedOtherwise) {
  TZantrelParam P(nullptr);
  P.SetAsBlob("");
  EXPECT_TRUE(P.GetAsByteArray().IsNull());
  P.SetAsBlob("abc");
  const Variant A = P.GetAsVariant();
  EXPECT_EQ(A.VarType(), varArray | varByte);
  EXPECT_EQ(A.LowBound(), 0);
  EXPECT_EQ(A.HighBound(), 2);
  P.SetAsString("abc");
  EXPECT_EQ(P.GetAsVariant().VarType(), varString);
}

struct TBufferCase {
  const char* Name;
  std::function<void(TZantrelParam&)> Set;
  const char* Bytes;
};

const TBufferCase BufferCases[] = {
    {"unknown", [](auto&) {}, ""},
    {"string", [](auto& P) { P.SetAsString("abc"); }, "61 62 63 00"},
    {"memo", [](auto& P) { P.SetAsMemo("ab"); }, "61 62 00"},
    {"null string", [](auto& P) { P.SetAsString("abc"), P.Clear(); }, "30 00"},
    {"binary", [](auto& P) { P.SetAsBinary(std::string("\x01\x00\x02", 3)); }, "01 00 02"},
    {"integer", [](auto& P) { P.SetAsInteger(-2); }, "FE FF FF FF"},
    {"int64 half down", [](auto& P) { P.SetDataType(ntInt64), P.SetText("2.5"); },
     "02 00 00 00 00 00 00 00"},
    {"int64 half up", [](auto& P) { P.SetDataType(ntInt64), P.SetText("3.5"); },
     "04 00 00 00 00 00 00 00"},
    {"int64 negative half", [](auto& P) { P.SetDataType(ntInt64), P.SetText("-2.5"); },
     "FE FF FF FF FF FF FF FF"},
    {"int64 beyond a real's digits",
     [](auto& P) { P.SetAsVariant(Variant((std::int64_t{1} << 53) + 1)); },
     "01 00 00 00 00 00 20 00"},
    {"int64 exact", [](auto& P) { P.SetAsVariant(Variant((std::int64_t{1} << 62) + 1)); },
     "01 00 00 00 00 00 00 40"},
    {"float", [](auto& P) { P.SetAsFloat(1.5); }, "00 00 00 00 00 00 F8 3F"},
    {"currency", [](auto& P) { P.SetAsCurrency(1.5); }, "00 00 00 00 00 00 F8 3F"},
    {"date", [](auto& P) { P.SetAsDate(At(1899, 12, 30, 23)); }, "5A 95 0A 00"},
    {"null date", [](auto& P) { P.SetAsDate(At(2000, 1, 1)), P.Clear(); }, "5A 95 0A 00"},
    {"time", [](auto& P) { P.SetAsTime(At(2000, 1, 1, 12)); }, "00 2E 93 02"},
    {"datetime", [](auto& P) { P.SetAsDateTime(At(1, 1, 1, 0, 0, 0, 1)); },
     "00 00 00 04 70 99 94 41"},
    {"true", [](auto& P) { P.SetAsBoolean(true); }, "01 00"},
    {"false", [](auto& P) { P.SetAsBoolean(false); }, "00 00"},
};

TEST(ParamBuffer, EveryTypeRendersItsLayout) {
  for (const TBufferCase& C : BufferCases) {
    SCOPED_TRACE(C.Name);
    TZantrelParam P(nullptr);
    C.Set(P);
    const std::string Expected = Unhex(C.Bytes);
    EXPECT_EQ(P.GetDataSize(), Expected.size());
    std::string Buffer(P.GetDataSize() + 1, '\x55');
    P.GetData(Buffer.data());
    EXPECT_EQ(Hex(Buffer.substr(0, Expected.size())), C.Bytes);
    EXPECT_EQ(Buffer.back(), '\x55'); // nothing written beyond the size
  }
}

TEST(ParamBuffer, SetDataReadsBackWhatGetDataWrote) {
  for (const TBufferCase& C : BufferCases) {
    TZantrelParam P(nullptr);
    C.Set(P);
    if (P.GetDataType() == ntUnknown || P.GetDataType() == ntBinary)
      continue; // their bytes do not come in through SetData
    SCOPED_TRACE(C.Name);
    const std::string Bytes = P.GetDataBytes();
    TZantrelParam Q(nullptr);
    Q.SetDataType(P.GetDataType());
    Q.SetData(Bytes.data());
    EXPECT_EQ(Q.GetDataType(), P.GetDataType());
    EXPECT_EQ(Hex(Q.GetDataBytes()), C.Bytes);
    EXPECT_TRUE(Q.GetBound());
    EXPECT_FALSE(Q.IsNull());
  }
}

TEST(ParamBuffer, SetDataEdgeCases) {
  TZantrelParam P(nullptr);
  P.SetDataType(ntBoolean);
  const std::uint8_t HighByte[] = {0x00, 0x01};
  P.SetData(HighByte);
  EXPECT_TRUE(P.GetAsBoolean());

  P.SetDataType(ntInteger);
  const std::uint8_t Short[] = {0x34, 0x12, 0xEE, 0xEE};
  P.SetData(Short, 2); // the missing high bytes read as zero
  EXPECT_EQ(P.GetAsInteger(), 0x1234);

  P.SetDataType(ntString);
  P.SetData("abcdef", 3); // no NUL within the size
  EXPECT_EQ(P.GetAsString(), "abc");

  P.SetDataType(ntInt64);
  const std::uint8_t Seven[] = {7, 0, 0, 0, 0, 0, 0, 0};
  P.SetData(Seven);
  EXPECT_EQ(P.GetDataType(), ntInt64);
  EXPECT_EQ(P.GetValue().VarType(), varDouble);
  EXPECT_EQ(P.GetAsFloat(), 7.0);

  for (TZantrelParamDataType Type : {ntUnknown, ntBlob}) {
    P.SetDataType(Type);
    P.SetData(Seven);
    EXPECT_EQ(P.GetDataType(), Type == ntUnknown ? ntString : ntBlob);
    EXPECT_EQ(P.GetAsString(), "");
  }

  P.SetDataType(ntDateTime);
  const double NaN = std::numeric_limits<double>::quiet_NaN();
  EXPECT_THROW(P.SetData(&NaN), EConvertError);
}

TEST(ParamBuffer, Int64BeyondTheRangeIsAConversionError) {
  // The first is within 512 of the maximum and rounds to 2^63 as a real.
  for (const char* Text : {"9223372036854775807", "9223372036854775500", "-9.3e18", "1e300"}) {
    SCOPED_TRACE(Text);
    TZantrelParam P(nullptr);
    P.SetDataType(ntInt64);
    P.SetText(Text);
    EXPECT_EQ(P.GetDataSize(), 8u);
    std::string Buffer(8, '\x55');
    EXPECT_THROW(P.GetData(Buffer.data()), EVariantError);
    EXPECT_EQ(Buffer, std::string(8, '\x55'));
  }
  TZantrelParam P(nullptr);
  P.SetDataType(ntInt64);
  P.SetText("-9223372036854775808");
  EXPECT_EQ(Hex(P.GetDataBytes()), "00 00 00 00 00 00 00 80");
}

TEST(ParamLoad, StreamContentReplacesTheValueFromPositionZero) {
  TStringStream Stream("hello");
  Stream.SetPosition(3);
  TZantrelParam P(nullptr);
  P.Clear();
  P.LoadFromStream(Stream, ntMemo);
  EXPECT_EQ(P.GetDataType(), ntMemo);
  EXPECT_EQ(P.GetAsString(), "hello");
  EXPECT_TRUE(P.GetBound());
  EXPECT_FALSE(P.IsNull());
}

// A stream that claims more bytes than it delivers.
class TShortStream : public TMemoryStream {
public:
  explicit TShortStream(const std::string& Bytes) { WriteString(Bytes); }
  std::int64_t GetSize() override { return TMemoryStream::GetSize() + 10; }
};

TEST(ParamLoad, FailedReadsKeepTheOldValue) {
  TZantrelParam P(nullptr);
  P.SetAsInteger(9);
  P.Clear();
  TShortStream Short("abc");
  EXPECT_THROW(P.LoadFromStream(Short, ntBlob), EReadError);
  EXPECT_EQ(P.GetDataType(), ntBlob); // set before reading
  EXPECT_FALSE(P.IsNull());
  EXPECT_EQ(P.GetValue(), Variant(0));

  P.SetAsInteger(9);
  EXPECT_THROW(P.LoadFromFile("/nonexistent/param.bin", ntBlob), EFOpenError);
  EXPECT_EQ(P.GetDataType(), ntInteger);
  EXPECT_EQ(P.GetAsInteger(), 9);
}

TEST(ParamCompare, IsEqualNeedsEveryAttributeToAgree) {
  const std::function<void(TZantrelParam&)> Changes[] = {
      [](auto& P) { P.SetName("id"); },   [](auto& P) { P.SetAlias("x"); },
      [](auto& P) { P.SetAsFloat(5.0); }, // same number, other kind
      [](auto& P) { P.SetAsInteger(6); }, [](auto& P) { P.SetIsNull(true); },
      [](auto& P) { P.SetBound(false); }, [](auto& P) { P.SetParamType(nptOutput); },
  };
  auto Make = [](TZantrelParam& P) {
    P.SetName("ID");
    P.SetAsInteger(5);
    P.SetParamType(nptInput);
  };
  TZantrelParam A(nullptr), B(nullptr);
  Make(A);
  Make(B);
  EXPECT_TRUE(A.IsEqual(&B));
  EXPECT_FALSE(A.IsEqual(nullptr));
  for (const auto& Change : Changes) {
    TZantrelParam C(nullptr);
    Make(C);
    Change(C);
    EXPECT_FALSE(A.IsEqual(&C));
  }
}

TEST(ParamAssign, ParameterCopiesEverythingButAnExistingDirection) {
  TZantrelParam Source(nullptr, "ID");
  Source.SetAlias("@ID");
  Source.SetAsBlob("bytes");
  Source.SetParamType(nptOutput);
  TZantrelParam Target(nullptr);
  Target.Assign(&Source);
  EXPECT_TRUE(Target.IsEqual(&Source));

  TZantrelParam Typed(nullptr);
  Typed.SetParamType(nptInput);
  Source.Clear();
  Source.SetBound(false);
  Typed.Assign(&Source);
  EXPECT_EQ(Typed.GetParamType(), nptInput);
  EXPECT_TRUE(Typed.IsNull());
  EXPECT_FALSE(Typed.GetBound());
  EXPECT_EQ(Typed.GetDataType(), ntBlob);

  Target.AssignParam(nullptr);
  Target.Assign(&Target); // onto itself: nothing may be lost
  EXPECT_EQ(Target.GetAsString(), "bytes");
}

TEST(ParamAssign, TextListsBitmapsAndPictures) {
  TZantrelParam P(nullptr);
  TStringList Lines;
  Lines.Add("a");
  Lines.Add("b");
  P.Assign(&Lines);
  EXPECT_EQ(P.GetDataType(), ntMemo);
  EXPECT_EQ(P.GetAsString(), "a\r\nb\r\n");

  TBitmap Bitmap(2, 1);
  const std::vector<std::uint8_t>& Image = Bitmap.GetImage();
  const std::string Bytes(Image.begin(), Image.end());
  P.Assign(&Bitmap);
  EXPECT_EQ(P.GetDataType(), ntBlob);
  EXPECT_EQ(P.GetAsString(), Bytes);

  TPicture Picture;
  Picture.SetGraphic(&Bitmap);
  P.SetAsInteger(1);
  P.Assign(&Picture);
  EXPECT_EQ(P.GetAsString(), Bytes);

  TIcon Icon(16, 16);
  Picture.SetGraphic(&Icon);
  P.SetAsInteger(1);
  EXPECT_THROW(P.Assign(&Picture), EConvertError);
  EXPECT_THROW(P.Assign(&Icon), EConvertError);
  EXPECT_THROW(P.Assign(nullptr), EConvertError);
  EXPECT_EQ(P.GetDataType(), ntInteger);
  EXPECT_EQ(P.GetAsInteger(), 1);
}

TEST(ParamAssign, FieldsGiveNameValueAndNullness) {
  test::TOneRecordDataSet DataSet;
  auto Add = [&](std::unique_ptr<TField> F, const char* Name) {
    F->SetFieldName(Name);
    F->SetDataSet(&DataSet);
    return F;
  };
  auto Id = Add(std::make_unique<TIntegerField>(), "ID");
  auto Big = Add(std::make_unique<TLargeintField>(), "BIG");
  auto Raw = Add(std::make_unique<TVarBytesField>(), "RAW");
  Id->SetValue(Variant(5));
  Big->SetValue(Variant(std::int64_t{1} << 60));
  Raw->SetSize(4);
  Raw->SetValue(VarArrayFromBytes("\x01\x02", 2));

  TZantrelParam P(nullptr);
  P.Assign(Id.get());
  EXPECT_EQ(P.GetName(), "ID");
  EXPECT_EQ(P.GetAlias(), "ID");
  EXPECT_EQ(P.GetDataType(), ntInteger);
  EXPECT_EQ(P.GetAsInteger(), 5);
  EXPECT_TRUE(P.GetBound());

  P.AssignField(Big.get());
  EXPECT_EQ(P.GetDataType(), ntInt64);
  EXPECT_EQ(Hex(P.GetDataBytes()), "00 00 00 00 00 00 00 10");
  P.AssignField(Raw.get());
  EXPECT_EQ(P.GetDataType(), ntBlob);
  EXPECT_EQ(Hex(P.GetDataBytes()), "01 02");

  Id->Clear();
  P.SetBound(false);
  P.AssignField(Id.get());
  EXPECT_TRUE(P.IsNull());
  EXPECT_TRUE(P.GetBound());
  EXPECT_EQ(P.GetDataType(), ntBlob); // Clear keeps the type

  TZantrelParam Named(nullptr, "KEEP");
  Big->SetValue(Variant(std::int64_t{1}));
  Named.AssignFieldValue(Big.get(), Variant("other"));
  EXPECT_EQ(Named.GetName(), "KEEP");
  EXPECT_EQ(Named.GetAsString(), "other");
  Named.AssignFieldValue(nullptr, Variant(1));
  EXPECT_EQ(Named.GetAsString(), "other");

  // To a field: the stored value, whatever IsNull says.
  Named.SetAsInteger(42);
  Id->Assign(&Named);
  EXPECT_EQ(Id->AsInteger(), 42);
  Named.Clear();
  Id->Assign(&Named);
  EXPECT_FALSE(Id->IsNull());
  EXPECT_EQ(Id->AsInteger(), 0);
}

} // namespace
} // namespace ztl
