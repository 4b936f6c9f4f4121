// One parameter: initial state, text and Variant conversion, the per-type
// data buffer, loading, comparison and every assignment path.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "dataset/ZtlBasDS.h"
#include "framework/graphics/Graphics.h"
#include "framework/classes/Streams.h"
#include "framework/classes/Strings.h"
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

TEST(ParamValue, NewParameterHoldsIntegerZeroAndIsNeitherNullNorBound) {
  TZantrelParams List;
  TZantrelParam* P = List.CreateParam("ID");
  EXPECT_EQ(P->GetParams(), &List);
  EXPECT_FALSE(P->IsNull());
  EXPECT_FALSE(P->GetBound());
  EXPECT_EQ(P->GetDataType(), ntUnknown);
  EXPECT_EQ(P->GetValue().VarType(), varInteger);
  EXPECT_EQ(P->GetAsString(), "0");
}

TEST(ParamValue, SetTextConvertsToTheTypeAndFallsBackToIntegerZero) {
  struct TCase {
    TZantrelParamDataType Before;
    const char* Text;
    TZantrelParamDataType After;
    Variant Expected;
  };
  const TCase Cases[] = {
      {ntUnknown, "x", ntString, Variant("x")},
      {ntInteger, "12abc", ntInteger, Variant(0)},
      {ntInteger, "99999999999", ntInteger, Variant(0)},
      {ntCurrency, "1.25", ntCurrency, Variant(1.25)},
      {ntDate, "2000-01-01 12:00", ntDate, Variant::FromDateTime(At(2000, 1, 1, 12))},
      {ntDate, "not a date", ntDate, Variant(0)},
      {ntBoolean, "true", ntBoolean, Variant(true)},
      {ntBlob, "raw", ntBlob, Variant("raw")},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Text);
    TZantrelParam P(nullptr);
    P.SetDataType(C.Before);
    P.Clear();
    P.SetText(C.Text);
    EXPECT_EQ(P.GetDataType(), C.After);
    EXPECT_EQ(P.GetValue().VarType(), C.Expected.VarType());
    EXPECT_EQ(P.GetValue(), C.Expected);
    EXPECT_FALSE(P.IsNull());
  }
}

TEST(ParamValue, SetAsVariantOfNoValueMakesANullUnknownParameterButKeepsBytes) {
  for (const Variant& V : {Variant::Null(), Variant(), VarArrayOf({Variant(1)})}) {
    TZantrelParam P(nullptr);
    P.SetAsInteger(3);
    P.SetAsVariant(V);
    EXPECT_EQ(P.GetDataType(), ntUnknown);
    EXPECT_TRUE(P.IsNull());
    EXPECT_TRUE(P.GetBound());
    EXPECT_EQ(P.GetValue().VarType(), V.VarType());
  }
  const Variant Array = VarArrayFromBytes("\x00\x01\xFF", 3);
  TZantrelParam P(nullptr);
  P.SetAsVariant(Array);
  EXPECT_EQ(P.GetDataType(), ntBlob);
  EXPECT_EQ(Hex(P.GetDataBytes()), "00 01 FF");
  EXPECT_EQ(P.GetAsVariant(), Array);
}

TEST(ParamValue, GettersRenderBooleansDatesBlobsAndNull) {
  TZantrelParam P(nullptr);
  P.SetAsBoolean(false);
  EXPECT_EQ(P.GetAsString(), "False");
  P.SetAsTime(At(2000, 1, 1, 12));
  EXPECT_EQ(P.GetAsString(), "12:00:00");
  TStringStream Text("abc");
  P.LoadFromStream(Text, ntDate);
  EXPECT_EQ(P.GetAsString(), ""); // no date-time: no text, no error
  P.Clear();
  EXPECT_EQ(P.GetAsDateTime(), 0.0);
  P.SetAsString("abc");
  EXPECT_THROW(P.GetAsInteger(), EVariantError);
  P.SetAsBlob("");
  EXPECT_TRUE(P.GetAsVariant().IsNull());
  P.SetAsBlob("abc");
  EXPECT_EQ(P.GetAsVariant().VarType(), varArray | varByte);
  EXPECT_EQ(P.GetAsVariant().HighBound(), 2);
}

struct TBufferCase {
  const char* Name;
  std::function<void(TZantrelParam&)> Set;
  const char* Bytes;
};

const TBufferCase BufferCases[] = {
    {"unknown", [](auto&) {}, ""},
    {"string", [](auto& P) { P.SetAsString("abc"); }, "61 62 63 00"},
    {"null memo", [](auto& P) { P.SetAsMemo("abc"), P.Clear(); }, "30 00"},
    {"binary", [](auto& P) { P.SetAsBinary(std::string("\x01\x00\x02", 3)); }, "01 00 02"},
    {"integer", [](auto& P) { P.SetAsInteger(-2); }, "FE FF FF FF"},
    {"int64 half down", [](auto& P) { P.SetDataType(ntInt64), P.SetText("2.5"); },
     "02 00 00 00 00 00 00 00"},
    {"int64 half up", [](auto& P) { P.SetDataType(ntInt64), P.SetText("-3.5"); },
     "FC FF FF FF FF FF FF FF"},
    {"int64 beyond a real's digits",
     [](auto& P) { P.SetAsVariant(Variant((std::int64_t{1} << 53) + 1)); },
     "01 00 00 00 00 00 20 00"},
    {"currency", [](auto& P) { P.SetAsCurrency(1.5); }, "00 00 00 00 00 00 F8 3F"},
    {"date", [](auto& P) { P.SetAsDate(At(1899, 12, 30, 23)); }, "5A 95 0A 00"},
    {"null date", [](auto& P) { P.SetAsDate(At(2000, 1, 1)), P.Clear(); }, "5A 95 0A 00"},
    {"time", [](auto& P) { P.SetAsTime(At(2000, 1, 1, 12)); }, "00 2E 93 02"},
    {"datetime", [](auto& P) { P.SetAsDateTime(At(1, 1, 1, 0, 0, 0, 1)); },
     "00 00 00 04 70 99 94 41"},
    {"boolean", [](auto& P) { P.SetAsBoolean(true); }, "01 00"},
};

TEST(ParamBuffer, EveryTypeRendersItsLayoutAndReadsItBack) {
  for (const TBufferCase& C : BufferCases) {
    SCOPED_TRACE(C.Name);
    TZantrelParam P(nullptr);
    C.Set(P);
    const std::string Expected = Unhex(C.Bytes);
    ASSERT_EQ(P.GetDataSize(), Expected.size());
    std::string Buffer(P.GetDataSize() + 1, '\x55');
    P.GetData(Buffer.data());
    EXPECT_EQ(Hex(Buffer.substr(0, Expected.size())), C.Bytes);
    EXPECT_EQ(Buffer.back(), '\x55'); // nothing written beyond the size

    if (P.GetDataType() == ntUnknown || P.GetDataType() == ntBinary)
      continue; // their bytes do not come in through SetData
    TZantrelParam Q(nullptr);
    Q.SetDataType(P.GetDataType());
    Q.SetData(Expected.data());
    EXPECT_EQ(Hex(Q.GetDataBytes()), C.Bytes);
    EXPECT_TRUE(Q.GetBound());
  }
}

TEST(ParamBuffer, SetDataReadsShortAndOddBuffers) {
  TZantrelParam P(nullptr);
  P.SetDataType(ntBoolean);
  P.SetData("\x00\x01");
  EXPECT_TRUE(P.GetAsBoolean()); // any nonzero word
  P.SetDataType(ntInteger);
  P.SetData("\x34\x12\xEE\xEE", 2); // missing high bytes read as zero
  EXPECT_EQ(P.GetAsInteger(), 0x1234);
  P.SetDataType(ntString);
  P.SetData("abcdef", 3); // no NUL within the size
  EXPECT_EQ(P.GetAsString(), "abc");
  P.SetDataType(ntInt64);
  P.SetData("\x07\0\0\0\0\0\0\0");
  EXPECT_EQ(P.GetValue().VarType(), varDouble);
  P.SetDataType(ntUnknown);
  P.SetData("x");
  EXPECT_EQ(P.GetDataType(), ntString);
  EXPECT_EQ(P.GetAsString(), "");
}

TEST(ParamBuffer, Int64BeyondTheRangeIsAConversionError) {
  // The first is within 512 of the maximum and rounds to 2^63 as a real.
  for (const char* Text : {"9223372036854775500", "-9.3e18", "1e300"}) {
    SCOPED_TRACE(Text);
    TZantrelParam P(nullptr);
    P.SetDataType(ntInt64);
    P.SetText(Text);
    std::string Buffer(8, '\x55');
    EXPECT_THROW(P.GetData(Buffer.data()), EVariantError);
    EXPECT_EQ(Buffer, std::string(8, '\x55'));
  }
  TZantrelParam P(nullptr);
  P.SetDataType(ntInt64);
  P.SetText("-9223372036854775808");
  EXPECT_EQ(Hex(P.GetDataBytes()), "00 00 00 00 00 00 00 80");
}

// A stream that claims more bytes than it delivers.
class TShortStream : public TMemoryStream {
public:
  explicit TShortStream(const std::string& Bytes) { WriteString(Bytes); }
  std::int64_t GetSize() override { return TMemoryStream::GetSize() + 10; }
};

TEST(ParamLoad, WholeStreamBecomesTheValueAndFailuresKeepTheOldOne) {
  TStringStream Stream("hello");
  Stream.SetPosition(3);
  TZantrelParam P(nullptr);
  P.Clear();
  P.LoadFromStream(Stream, ntMemo);
  EXPECT_EQ(P.GetAsString(), "hello");
  EXPECT_TRUE(P.GetBound());

  P.SetAsInteger(9);
  TShortStream Short("abc");
  EXPECT_THROW(P.LoadFromStream(Short, ntBlob), EReadError);
  EXPECT_EQ(P.GetDataType(), ntBlob); // set before reading
  EXPECT_EQ(P.GetValue(), Variant(9));
  EXPECT_THROW(P.LoadFromFile("/nonexistent/param.bin", ntMemo), EFOpenError);
  EXPECT_EQ(P.GetDataType(), ntBlob);
}

TEST(ParamCompare, IsEqualNeedsEveryAttributeToAgree) {
  const std::function<void(TZantrelParam&)> Changes[] = {
      [](auto& P) { P.SetName("id"); },   [](auto& P) { P.SetAlias("x"); },
      [](auto& P) { P.SetAsFloat(5.0); }, [](auto& P) { P.SetIsNull(true); },
      [](auto& P) { P.SetBound(false); }, [](auto& P) { P.SetParamType(nptOutput); },
  };
  auto Make = [](TZantrelParam& P) {
    P.SetName("ID");
    P.SetAsInteger(5);
  };
  TZantrelParam A(nullptr), B(nullptr);
  Make(A);
  Make(B);
  EXPECT_TRUE(A.IsEqual(&B));
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
  Target.Assign(&Target); // onto itself: nothing may be lost
  EXPECT_EQ(Target.GetAsString(), "bytes");

  TZantrelParam Typed(nullptr);
  Typed.SetParamType(nptInput);
  Source.Clear();
  Typed.Assign(&Source);
  EXPECT_EQ(Typed.GetParamType(), nptInput);
  EXPECT_TRUE(Typed.IsNull());
  EXPECT_EQ(Typed.GetDataType(), ntBlob);
}

TEST(ParamAssign, TextListsBitmapsAndPictures) {
  TZantrelParam P(nullptr);
  TStringList Lines;
  Lines.Add("a");
  P.Assign(&Lines);
  EXPECT_EQ(P.GetDataType(), ntMemo);
  EXPECT_EQ(P.GetAsString(), "a\r\n");

  TBitmap Bitmap(2, 1);
  const std::string Bytes(Bitmap.GetImage().begin(), Bitmap.GetImage().end());
  TPicture Picture;
  Picture.SetGraphic(&Bitmap);
  for (const TPersistent* Source :
       {static_cast<const TPersistent*>(&Bitmap), static_cast<const TPersistent*>(&Picture)}) {
    P.SetAsInteger(1);
    P.Assign(Source);
    EXPECT_EQ(P.GetDataType(), ntBlob);
    EXPECT_EQ(P.GetAsString(), Bytes);
  }

  TIcon Icon(16, 16);
  Picture.SetGraphic(&Icon);
  P.SetAsInteger(1);
  EXPECT_THROW(P.Assign(&Picture), EConvertError);
  EXPECT_THROW(P.Assign(nullptr), EConvertError);
  EXPECT_EQ(P.GetAsInteger(), 1);
}

TEST(ParamAssign, FieldsGiveNameValueAndNullness) {
  test::TOneRecordDataSet DataSet;
  TIntegerField Id;
  TLargeintField Big;
  TVarBytesField Raw;
  Id.SetFieldName("ID");
  Big.SetFieldName("BIG");
  Raw.SetFieldName("RAW");
  for (TField* F :
       {static_cast<TField*>(&Id), static_cast<TField*>(&Big), static_cast<TField*>(&Raw)})
    F->SetDataSet(&DataSet);
  Id.SetValue(Variant(5));
  Big.SetValue(Variant(std::int64_t{1} << 60));
  Raw.SetSize(4);
  Raw.SetValue(VarArrayFromBytes("\x01\x02", 2));

  TZantrelParam P(nullptr);
  P.Assign(&Id);
  EXPECT_EQ(P.GetAlias(), "ID");
  EXPECT_EQ(P.GetAsInteger(), 5);
  EXPECT_TRUE(P.GetBound());
  P.AssignField(&Big); // 64-bit and binary values keep every digit and byte
  EXPECT_EQ(Hex(P.GetDataBytes()), "00 00 00 00 00 00 00 10");
  P.AssignField(&Raw);
  EXPECT_EQ(P.GetDataType(), ntBlob);
  EXPECT_EQ(Hex(P.GetDataBytes()), "01 02");

  Id.Clear();
  P.SetBound(false);
  P.AssignField(&Id);
  EXPECT_TRUE(P.IsNull());
  EXPECT_TRUE(P.GetBound());

  TZantrelParam Named(nullptr, "KEEP");
  Named.AssignFieldValue(&Big, Variant("other"));
  EXPECT_EQ(Named.GetName(), "KEEP");
  EXPECT_EQ(Named.GetAsString(), "other");

  // To a field goes the stored value, whatever IsNull says.
  Named.SetAsInteger(42);
  Id.Assign(&Named);
  EXPECT_EQ(Id.AsInteger(), 42);
  Named.Clear();
  Id.Assign(&Named);
  EXPECT_EQ(Id.AsInteger(), 0);
}

} // namespace
} // namespace ztl
