// One parameter: construction, the value setters and getters, text
// conversion, loading from streams and files, comparison and assignment.
#include <algorithm>
#include <limits>

#include "core/ZtlConsts.h"
#include "dataset/ZtlParams.h"
#include "framework/variant/DateUtils.h"
#include "framework/db/Fields.h"
#include "framework/graphics/Graphics.h"
#include "framework/classes/Streams.h"
#include "framework/classes/Strings.h"

namespace ztl {

namespace {

Variant IntegerZero() {
  return Variant(std::int32_t{0});
}

bool IsDateType(TZantrelParamDataType Type) {
  return Type == ntDate || Type == ntTime || Type == ntDateTime;
}

} // namespace

// ---- construction ------------------------------------------------------------

TZantrelParam::TZantrelParam(TZantrelParams* AParams, std::string AName) : Name(std::move(AName)) {
  if (AParams)
    AParams->AddParam(this);
}

TZantrelParam::~TZantrelParam() {
  if (Params)
    Params->DetachParam(this);
}

// ---- state -------------------------------------------------------------------

void TZantrelParam::SetDataType(TZantrelParamDataType AValue) {
  DataType = AValue;
  Value = IntegerZero();
}

void TZantrelParam::Clear() {
  FIsNull = true;
  Value = IntegerZero();
}

void TZantrelParam::InitValue() {
  Bound = true;
  FIsNull = false;
}

// ---- setters -----------------------------------------------------------------

void TZantrelParam::SetAsString(const std::string& AValue) {
  InitValue();
  DataType = ntString;
  Value = Variant(AValue);
}

void TZantrelParam::SetAsMemo(const std::string& AValue) {
  InitValue();
  DataType = ntMemo;
  Value = Variant(AValue);
}

void TZantrelParam::SetAsBinary(const std::string& AValue) {
  InitValue();
  DataType = ntBinary;
  Value = Variant(AValue);
}

void TZantrelParam::SetAsBlob(const std::string& AValue) {
  InitValue();
  DataType = ntBlob;
  Value = Variant(AValue);
}

void TZantrelParam::SetAsInteger(std::int32_t AValue) {
  InitValue();
  DataType = ntInteger;
  Value = Variant(AValue);
}

void TZantrelParam::SetAsFloat(double AValue) {
  InitValue();
  DataType = ntFloat;
  Value = Variant(AValue);
}

void TZantrelParam::SetAsCurrency(double AValue) {
  InitValue();
  DataType = ntCurrency;
  Value = Variant(AValue);
}

void TZantrelParam::SetAsBoolean(bool AValue) {
  InitValue();
  DataType = ntBoolean;
  Value = Variant(AValue);
}

void TZantrelParam::SetAsDateTime(TDateTime AValue) {
  InitValue();
  DataType = ntDateTime;
  Value = Variant::FromDateTime(AValue);
}

void TZantrelParam::SetAsDate(TDateTime AValue) {
  // Converted before anything changes, so a date-time beyond the day range
  // raises with the parameter untouched.
  TTimeStamp Stamp = ToTimeStamp(AValue);
  Stamp.Time = 0;
  InitValue();
  DataType = ntDate;
  Value = Variant::FromDateTime(TimeStampToDateTime(Stamp));
}

void TZantrelParam::SetAsTime(TDateTime AValue) {
  TTimeStamp Stamp = ToTimeStamp(AValue);
  Stamp.Date = DateDelta;
  InitValue();
  DataType = ntTime;
  Value = Variant::FromDateTime(TimeStampToDateTime(Stamp));
}

void TZantrelParam::SetAsVariant(const Variant& AValue) {
  InitValue();
  switch (AValue.VarType()) {
  case varSmallint:
  case varInteger:
  case varByte:
    DataType = ntInteger;
    break;
  case varInt64:
    // A BIGINT column delivers this kind; taking it for "no value" would
    // lose the number.
    DataType = ntInt64;
    break;
  case varSingle:
  case varDouble:
    DataType = ntFloat;
    break;
  case varCurrency:
    DataType = ntCurrency;
    break;
  case varDate:
    DataType = ntDateTime;
    break;
  case varOleStr:
  case varString:
    DataType = ntString;
    break;
  case varBoolean:
    DataType = ntBoolean;
    break;
  case varArray | varByte: {
    // Binary and blob columns deliver byte arrays. The value is kept as a
    // byte string, the form every binary parameter holds, so that its text,
    // data buffer and GetAsVariant (which gives the array back) work.
    const std::span<const std::uint8_t> Bytes = AValue.Bytes();
    DataType = ntBlob;
    Value = Variant(std::string(reinterpret_cast<const char*>(Bytes.data()), Bytes.size()));
    return;
  }
  default:
    Clear();
    DataType = ntUnknown;
    break;
  }
  Value = AValue;
}

void TZantrelParam::SetText(const std::string& Text) {
  InitValue();
  if (DataType == ntUnknown)
    SetDataType(ntString);
  Value = Variant(Text);
  try {
    switch (DataType) {
    case ntInteger:
      Value = Variant(Value.AsInteger());
      break;
    case ntInt64:
    case ntFloat:
    case ntCurrency:
      Value = Variant(Value.AsDouble());
      break;
    case ntDate:
    case ntTime:
    case ntDateTime:
      Value = Variant::FromDateTime(Value.AsDateTime());
      break;
    case ntBoolean:
      Value = Variant(Value.AsBoolean());
      break;
    default:
      break;
    }
  } catch (const EVariantError&) {
    // Text typed into the designer's value box must never raise: a text that
    // is no value of the type leaves the integer 0.
    Value = IntegerZero();
  } catch (const EConvertError&) {
    Value = IntegerZero();
  }
}

void TZantrelParam::SetBlobData(const void* Buffer, std::size_t Size) {
  if (!Buffer || Size == 0) {
    SetAsBlob(std::string());
    return;
  }
  SetAsBlob(std::string(static_cast<const char*>(Buffer), Size));
}

void TZantrelParam::LoadFromStream(TStream& Stream, TZantrelParamDataType AType) {
  InitValue();
  DataType = AType;
  Stream.SetPosition(0);
  const std::int64_t Size = Stream.GetSize();
  // Read in pieces: the stream's counts are 32-bit, and the whole content is
  // built apart so that a read error leaves the old value in place.
  constexpr std::int64_t Piece = 1 << 20;
  std::string Content;
  while (static_cast<std::int64_t>(Content.size()) < Size) {
    const std::int64_t Chunk = std::min(Piece, Size - static_cast<std::int64_t>(Content.size()));
    const std::size_t Old = Content.size();
    Content.resize(Old + static_cast<std::size_t>(Chunk));
    Stream.ReadBuffer(Content.data() + Old, static_cast<std::int32_t>(Chunk));
  }
  Value = Variant(std::move(Content));
}

void TZantrelParam::LoadFromFile(const std::string& FileName, TZantrelParamDataType AType) {
  TFileStream Stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(Stream, AType);
}

// ---- getters -----------------------------------------------------------------

std::string TZantrelParam::GetAsString() const {
  if (FIsNull)
    return {};
  if (IsDateType(DataType)) {
    try {
      // Checked first, so the text conversion never sees a day outside the
      // day number.
      const TDateTime DateTime = Value.AsDateTime();
      ToTimeStamp(DateTime);
      return DateTimeToStr(DateTime);
    } catch (const EVariantError&) {
      return {};
    } catch (const EConvertError&) {
      return {};
    }
  }
  if (DataType == ntBoolean)
    return LoadZtlStr(Value.AsBoolean() ? ZTL_TXT_TRUE : ZTL_TXT_FALSE);
  return Value.AsString();
}

std::string TZantrelParam::GetAsMemo() const {
  return Value.AsString();
}

std::int32_t TZantrelParam::GetAsInteger() const {
  return Value.AsInteger();
}

double TZantrelParam::GetAsFloat() const {
  return Value.AsDouble();
}

TDateTime TZantrelParam::GetAsDateTime() const {
  if (FIsNull)
    return 0.0;
  return Value.AsDateTime();
}

bool TZantrelParam::GetAsBoolean() const {
  return Value.AsBoolean();
}

Variant TZantrelParam::GetAsVariant() const {
  Variant Result;
  GetAsVariant(Result);
  return Result;
}

void TZantrelParam::GetAsVariant(Variant& Dest) const {
  if (DataType == ntBinary || DataType == ntBlob)
    Dest = GetAsByteArray();
  else
    Dest = Value;
}

Variant TZantrelParam::GetAsByteArray() const {
  const std::string Bytes = Value.AsString();
  if (Bytes.empty())
    return Variant::Null();
  return VarArrayFromBytes(Bytes.data(), Bytes.size(), 0);
}

// ---- comparison --------------------------------------------------------------

bool TZantrelParam::IsEqual(const TZantrelParam* Other) const {
  if (!Other)
    return false;
  return Value.VarType() == Other->Value.VarType() &&
         VarCompareValue(Value, Other->Value) == vrEqual && Name == Other->Name &&
         Alias == Other->Alias && DataType == Other->DataType && FIsNull == Other->FIsNull &&
         Bound == Other->Bound && ParamType == Other->ParamType;
}

// ---- assignment --------------------------------------------------------------

void TZantrelParam::Assign(const TPersistent* Source) {
  if (const auto* Param = dynamic_cast<const TZantrelParam*>(Source)) {
    AssignParam(Param);
  } else if (const auto* Field = dynamic_cast<const TField*>(Source)) {
    AssignField(Field);
  } else if (const auto* Strings = dynamic_cast<const TStrings*>(Source)) {
    SetAsMemo(Strings->GetText());
  } else if (const auto* Bitmap = dynamic_cast<const TBitmap*>(Source)) {
    AssignBitmap(*Bitmap);
  } else if (const auto* Picture = dynamic_cast<const TPicture*>(Source);
             Picture && dynamic_cast<const TBitmap*>(Picture->GetGraphic())) {
    AssignBitmap(*static_cast<const TBitmap*>(Picture->GetGraphic()));
  } else {
    TPersistent::Assign(Source);
  }
}

void TZantrelParam::AssignBitmap(const TBitmap& Bitmap) {
  TMemoryStream Stream;
  Bitmap.SaveToStream(Stream);
  LoadFromStream(Stream, ntBlob);
}

void TZantrelParam::AssignParam(const TZantrelParam* Param) {
  // Copying a parameter onto itself would reset the value (SetDataType)
  // before reading it back, losing it.
  if (!Param || Param == this)
    return;
  SetDataType(Param->DataType);
  if (Param->FIsNull) {
    Clear();
  } else {
    InitValue();
    Value = Param->Value;
  }
  Bound = Param->Bound;
  Name = Param->Name;
  Alias = Param->Alias;
  if (ParamType == nptUnknown)
    ParamType = Param->ParamType;
}

void TZantrelParam::AssignField(const TField* Field) {
  if (!Field)
    return;
  Name = Field->FieldName();
  Alias = Field->FieldName();
  AssignFieldValue(Field, Field->IsNull() ? Variant() : Field->AsVariant());
}

void TZantrelParam::AssignFieldValue(const TField* Field, const Variant& AValue) {
  if (!Field)
    return;
  if (Field->IsNull()) {
    Clear();
  } else {
    InitValue();
    SetAsVariant(AValue);
  }
  Bound = true;
}

void TZantrelParam::AssignTo(TPersistent* Dest) const {
  if (auto* Field = dynamic_cast<TField*>(Dest)) {
    Field->SetValue(Value);
    return;
  }
  TPersistent::AssignTo(Dest);
}

} // namespace ztl
