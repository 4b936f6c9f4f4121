// The field classes: conversion between each field data format and C++
// values. Numbers are stored little-endian whatever the host.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "framework/db/DBConsts.h"
#include "framework/db/DBErrors.h"
#include "framework/text/Windows1252.h"
#include "framework/db/DataSet.h"
#include "framework/classes/Streams.h"

namespace ztl {

namespace {

template <class T>
T LoadLE(const std::uint8_t* P) {
  using U = std::make_unsigned_t<T>;
  U Value = 0;
  for (std::size_t I = 0; I < sizeof(T); ++I)
    Value = static_cast<U>(Value | (static_cast<U>(P[I]) << (8 * I)));
  return static_cast<T>(Value);
}

template <class T>
void StoreLE(std::uint8_t* P, T Value) {
  using U = std::make_unsigned_t<T>;
  U Bits = static_cast<U>(Value);
  for (std::size_t I = 0; I < sizeof(T); ++I)
    P[I] = static_cast<std::uint8_t>(Bits >> (8 * I));
}

double LoadDouble(const std::uint8_t* P) {
  return std::bit_cast<double>(LoadLE<std::uint64_t>(P));
}

void StoreDouble(std::uint8_t* P, double Value) {
  StoreLE<std::uint64_t>(P, std::bit_cast<std::uint64_t>(Value));
}

// Reads the field's fixed-size value into Raw; false when null.
template <std::size_t N>
bool ReadRaw(const TField& Field, std::uint8_t (&Raw)[N]) {
  return Field.GetData(Raw);
}

// Reads a whole number stored as T, widened to 64 bits; false when null.
template <class T>
bool ReadInt(const TField& Field, std::int64_t& Value) {
  std::uint8_t Raw[sizeof(T)];
  if (!ReadRaw(Field, Raw))
    return false;
  Value = LoadLE<T>(Raw);
  return true;
}

// Stores a whole number as T; the caller has checked that it fits.
template <class T>
void WriteInt(TField& Field, std::int64_t Value) {
  std::uint8_t Raw[sizeof(T)];
  StoreLE<T>(Raw, static_cast<T>(Value));
  Field.SetData(Raw);
}

// A whole number: optional blanks, sign and decimal digits, nothing else;
// false on anything else or on overflow of 64 bits.
bool TryParseInt64(std::string_view S, std::int64_t& Result) {
  std::string T = Trim(S);
  std::size_t I = 0;
  bool Negative = false;
  if (I < T.size() && (T[I] == '+' || T[I] == '-')) {
    Negative = T[I] == '-';
    ++I;
  }
  if (I == T.size())
    return false;
  std::uint64_t Value = 0;
  const std::uint64_t Limit =
      Negative ? std::uint64_t{1} << 63 : static_cast<std::uint64_t>(INT64_MAX);
  for (; I < T.size(); ++I) {
    if (T[I] < '0' || T[I] > '9')
      return false;
    std::uint64_t Digit = static_cast<std::uint64_t>(T[I] - '0');
    if (Value > (Limit - Digit) / 10)
      return false;
    Value = Value * 10 + Digit;
  }
  Result = Negative ? static_cast<std::int64_t>(0 - Value) : static_cast<std::int64_t>(Value);
  return true;
}

// Whether Value names a number of a variant kind that carries a fraction.
bool IsFractional(const Variant& V) {
  TVarType T = V.VarType();
  return T == varSingle || T == varDouble || T == varCurrency || T == varDate;
}

std::string FloatText(double Value) {
  return FloatToStr(Value);
}

} // namespace

// ---- Names and the class factory ----------------------------------------------------------

const char* FieldTypeName(TFieldType Type) {
  static constexpr const char* Names[] = {
      "Unknown",    "String",     "Smallint", "Integer",     "Word",      "Boolean",
      "Float",      "Currency",   "BCD",      "Date",        "Time",      "DateTime",
      "Bytes",      "VarBytes",   "AutoInc",  "Blob",        "Memo",      "Graphic",
      "FmtMemo",    "ParadoxOle", "DBaseOle", "TypedBinary", "Cursor",    "FixedChar",
      "WideString", "Largeint",   "ADT",      "Array",       "Reference", "DataSet",
      "OraBlob",    "OraClob",    "Variant",  "Interface",   "IDispatch", "Guid"};
  auto Index = static_cast<std::size_t>(Type);
  return Index < std::size(Names) ? Names[Index] : "Unknown";
}

TField* CreateFieldOfType(TFieldType Type, TComponent* Owner) {
  switch (Type) {
  case ftString:
    return new TStringField(Owner);
  case ftWideString:
    return new TWideStringField(Owner);
  case ftSmallint:
    return new TSmallintField(Owner);
  case ftInteger:
    return new TIntegerField(Owner);
  case ftWord:
    return new TWordField(Owner);
  case ftAutoInc:
    return new TAutoIncField(Owner);
  case ftLargeint:
    return new TLargeintField(Owner);
  case ftFloat:
    return new TFloatField(Owner);
  case ftCurrency:
    return new TCurrencyField(Owner);
  case ftBCD:
    return new TBCDField(Owner);
  case ftBoolean:
    return new TBooleanField(Owner);
  case ftDate:
    return new TDateField(Owner);
  case ftTime:
    return new TTimeField(Owner);
  case ftDateTime:
    return new TDateTimeField(Owner);
  case ftBytes:
    return new TBytesField(Owner);
  case ftVarBytes:
    return new TVarBytesField(Owner);
  case ftBlob:
    return new TBlobField(Owner);
  case ftMemo:
    return new TMemoField(Owner);
  case ftGraphic:
    return new TGraphicField(Owner);
  default:
    return nullptr;
  }
}

// ---- TStringField -----------------------------------------------------------------------------

TStringField::TStringField(TComponent* AOwner) : TField(AOwner) {
  FDataType = ftString;
  FSize = 20;
}

bool TStringField::GetValue(std::string& Value) const {
  // The field data goes to a buffer on the stack when it fits, so that a
  // read costs no heap block beyond the text itself. It is zero-filled all
  // the same: a dataset may write fewer bytes than DataSize.
  char Local[1024];
  std::string Large;
  const std::size_t Size = std::max(DataSize(), FSize + 1);
  char* Data = Local;
  if (Size <= sizeof Local) {
    std::memset(Local, 0, Size);
  } else {
    Large.assign(Size, '\0');
    Data = Large.data();
  }
  if (!GetData(Data)) {
    Value.clear();
    return false;
  }
  // The terminator is ours to trust, not the descendant's.
  Data[FSize] = '\0';
  if (Transliterate && DataSet())
    DataSet()->Translate(Data, Data, false);
  Value.assign(Data, std::strlen(Data));
  return true;
}

std::string TStringField::GetAsString() const {
  std::string Value;
  GetValue(Value);
  return Value;
}

void TStringField::SetAsString(const std::string& Value) {
  std::string Buffer(DataSize(), '\0');
  std::memcpy(Buffer.data(), Value.data(), std::min(Value.size(), FSize));
  if (Transliterate && DataSet())
    DataSet()->Translate(Buffer.data(), Buffer.data(), true);
  Buffer[FSize] = '\0';
  SetData(Buffer.data());
}

Variant TStringField::GetAsVariant() const {
  std::string Value;
  if (!GetValue(Value))
    return Variant::Null();
  return Variant(std::move(Value));
}

void TStringField::SetVarValue(const Variant& V) {
  SetAsString(V.AsString());
}

std::int32_t TStringField::GetAsInteger() const {
  std::int64_t Value = GetAsLargeInt();
  if (Value < INT32_MIN || Value > INT32_MAX)
    RangeError(IntToStr(Value), IntToStr(INT32_MIN), IntToStr(INT32_MAX));
  return static_cast<std::int32_t>(Value);
}

void TStringField::SetAsInteger(std::int32_t Value) {
  SetAsString(IntToStr(Value));
}

std::int64_t TStringField::GetAsLargeInt() const {
  std::string Text;
  if (!GetValue(Text))
    return 0;
  std::int64_t Value = 0;
  if (!TryParseInt64(Text, Value))
    InvalidValue(SInvalidIntegerValue, Text);
  return Value;
}

void TStringField::SetAsLargeInt(std::int64_t Value) {
  SetAsString(IntToStr(Value));
}

double TStringField::GetAsFloat() const {
  std::string Text;
  if (!GetValue(Text))
    return 0.0;
  double Value = 0.0;
  if (!TryStrToFloat(Text, Value))
    InvalidValue(SInvalidFloatValue, Text);
  return Value;
}

void TStringField::SetAsFloat(double Value) {
  SetAsString(FloatText(Value));
}

bool TStringField::GetAsBoolean() const {
  std::string Text;
  GetValue(Text);
  return !Text.empty() && (Text[0] == 'T' || Text[0] == 't' || Text[0] == 'Y' || Text[0] == 'y');
}

void TStringField::SetAsBoolean(bool Value) {
  SetAsString(Value ? "T" : "F");
}

TDateTime TStringField::GetAsDateTime() const {
  std::string Text;
  if (!GetValue(Text))
    return 0.0;
  TDateTime Value = 0.0;
  if (!TryStrToDateTime(Text, Value))
    InvalidValue(SInvalidDateTimeValue, Text);
  return Value;
}

void TStringField::SetAsDateTime(TDateTime Value) {
  SetAsString(DateTimeToStr(Value));
}

// ---- TWideStringField ---------------------------------------------------------------------------

TWideStringField::TWideStringField(TComponent* AOwner) : TStringField(AOwner) {
  FDataType = ftWideString;
}

std::string TWideStringField::GetAsString() const {
  std::vector<std::uint8_t> Raw(DataSize());
  if (!GetData(Raw.data()))
    return {};
  std::string Result;
  for (std::size_t I = 0; I < FSize; ++I) {
    char16_t Unit = LoadLE<std::uint16_t>(&Raw[2 * I]);
    if (Unit == 0)
      break;
    char Byte;
    Result += UnicodeToWindows1252(Unit, Byte) ? Byte : '?'; // a character the page lacks
  }
  return Result;
}

void TWideStringField::SetAsString(const std::string& Value) {
  std::vector<std::uint8_t> Raw(DataSize(), 0);
  std::size_t Len = std::min(Value.size(), FSize);
  for (std::size_t I = 0; I < Len; ++I) {
    char16_t Unit = Windows1252ToUnicode(static_cast<unsigned char>(Value[I]));
    if (Unit == 0)
      break;
    StoreLE<std::uint16_t>(&Raw[2 * I], Unit);
  }
  SetData(Raw.data());
}

Variant TWideStringField::GetAsVariant() const {
  if (IsNull())
    return Variant::Null();
  return Variant(GetAsString());
}

// ---- Integer classes
// ------------------------------------------------------------------------------

TIntegerField::TIntegerField(TComponent* AOwner)
    : TNumericField(AOwner), FMinRange(INT32_MIN), FMaxRange(INT32_MAX) {
  FDataType = ftInteger;
}

bool TIntegerField::GetValue(std::int64_t& Value) const {
  return ReadInt<std::int32_t>(*this, Value);
}

void TIntegerField::CheckRange(std::int64_t Value) const {
  const bool Limited = MinValue != 0 || MaxValue != 0;
  const std::int64_t Min = Limited ? std::max(MinValue, FMinRange) : FMinRange;
  const std::int64_t Max = Limited ? std::min(MaxValue, FMaxRange) : FMaxRange;
  if (Value < Min || Value > Max)
    RangeError(IntToStr(Value), IntToStr(Min), IntToStr(Max));
}

void TIntegerField::StoreValue(std::int64_t Value) {
  CheckRange(Value);
  WriteInt<std::int32_t>(*this, Value);
}

Variant TIntegerField::GetAsVariant() const {
  std::int64_t Value = 0;
  if (!GetValue(Value))
    return Variant::Null();
  return Variant(static_cast<std::int32_t>(Value));
}

std::string TIntegerField::GetAsString() const {
  std::int64_t Value = 0;
  return GetValue(Value) ? IntToStr(Value) : std::string();
}

void TIntegerField::SetAsString(const std::string& Value) {
  if (Trim(Value).empty()) {
    Clear();
    return;
  }
  std::int64_t Number = 0;
  if (!TryParseInt64(Value, Number))
    InvalidValue(SInvalidIntegerValue, Value);
  StoreValue(Number);
}

std::int32_t TIntegerField::GetAsInteger() const {
  std::int64_t Value = 0;
  GetValue(Value);
  return static_cast<std::int32_t>(Value);
}

void TIntegerField::SetAsInteger(std::int32_t Value) {
  StoreValue(Value);
}

std::int64_t TIntegerField::GetAsLargeInt() const {
  std::int64_t Value = 0;
  GetValue(Value);
  return Value;
}

void TIntegerField::SetAsLargeInt(std::int64_t Value) {
  StoreValue(Value);
}

double TIntegerField::GetAsFloat() const {
  return static_cast<double>(GetAsLargeInt());
}

void TIntegerField::SetAsFloat(double Value) {
  double Rounded = std::nearbyint(Value);
  if (!(Rounded >= static_cast<double>(FMinRange) && Rounded <= static_cast<double>(FMaxRange)))
    RangeError(FloatText(Value), IntToStr(FMinRange), IntToStr(FMaxRange));
  StoreValue(static_cast<std::int64_t>(Rounded));
}

void TIntegerField::SetVarValue(const Variant& V) {
  if (VarIsStr(V))
    SetAsString(V.AsString());
  else if (IsFractional(V))
    SetAsFloat(V.AsDouble());
  else
    StoreValue(V.AsInt64());
}

TSmallintField::TSmallintField(TComponent* AOwner) : TIntegerField(AOwner) {
  FDataType = ftSmallint;
  FMinRange = INT16_MIN;
  FMaxRange = INT16_MAX;
}

bool TSmallintField::GetValue(std::int64_t& Value) const {
  return ReadInt<std::int16_t>(*this, Value);
}

void TSmallintField::StoreValue(std::int64_t Value) {
  CheckRange(Value);
  WriteInt<std::int16_t>(*this, Value);
}

TWordField::TWordField(TComponent* AOwner) : TIntegerField(AOwner) {
  FDataType = ftWord;
  FMinRange = 0;
  FMaxRange = UINT16_MAX;
}

bool TWordField::GetValue(std::int64_t& Value) const {
  return ReadInt<std::uint16_t>(*this, Value);
}

void TWordField::StoreValue(std::int64_t Value) {
  CheckRange(Value);
  WriteInt<std::uint16_t>(*this, Value);
}

TAutoIncField::TAutoIncField(TComponent* AOwner) : TIntegerField(AOwner) {
  FDataType = ftAutoInc;
}

// ---- TLargeintField
// ----------------------------------------------------------------------------------

TLargeintField::TLargeintField(TComponent* AOwner) : TNumericField(AOwner) {
  FDataType = ftLargeint;
}

Variant TLargeintField::GetAsVariant() const {
  std::int64_t Value = 0;
  if (!ReadInt<std::int64_t>(*this, Value))
    return Variant::Null();
  return Variant(Value);
}

std::string TLargeintField::GetAsString() const {
  std::int64_t Value = 0;
  return ReadInt<std::int64_t>(*this, Value) ? IntToStr(Value) : std::string();
}

void TLargeintField::SetAsString(const std::string& Value) {
  if (Trim(Value).empty()) {
    Clear();
    return;
  }
  std::int64_t Number = 0;
  if (!TryParseInt64(Value, Number))
    InvalidValue(SInvalidIntegerValue, Value);
  SetAsLargeInt(Number);
}

std::int32_t TLargeintField::GetAsInteger() const {
  std::int64_t Value = GetAsLargeInt();
  if (Value < INT32_MIN || Value > INT32_MAX)
    RangeError(IntToStr(Value), IntToStr(INT32_MIN), IntToStr(INT32_MAX));
  return static_cast<std::int32_t>(Value);
}

void TLargeintField::SetAsInteger(std::int32_t Value) {
  SetAsLargeInt(Value);
}

std::int64_t TLargeintField::GetAsLargeInt() const {
  std::int64_t Value = 0;
  ReadInt<std::int64_t>(*this, Value);
  return Value;
}

void TLargeintField::SetAsLargeInt(std::int64_t Value) {
  if ((MinValue != 0 || MaxValue != 0) && (Value < MinValue || Value > MaxValue))
    RangeError(IntToStr(Value), IntToStr(MinValue), IntToStr(MaxValue));
  WriteInt<std::int64_t>(*this, Value);
}

double TLargeintField::GetAsFloat() const {
  return static_cast<double>(GetAsLargeInt());
}

void TLargeintField::SetAsFloat(double Value) {
  double Rounded = std::nearbyint(Value);
  // 2^63 itself is out of range; every double below it converts exactly.
  if (!(Rounded >= -9223372036854775808.0 && Rounded < 9223372036854775808.0))
    RangeError(FloatText(Value), IntToStr(INT64_MIN), IntToStr(INT64_MAX));
  SetAsLargeInt(static_cast<std::int64_t>(Rounded));
}

void TLargeintField::SetVarValue(const Variant& V) {
  if (VarIsStr(V))
    SetAsString(V.AsString());
  else if (IsFractional(V))
    SetAsFloat(V.AsDouble());
  else
    SetAsLargeInt(V.AsInt64());
}

// ---- Float classes
// ------------------------------------------------------------------------------------

TFloatField::TFloatField(TComponent* AOwner) : TNumericField(AOwner) {
  FDataType = ftFloat;
}

namespace {
bool ReadDouble(const TField& Field, double& Value) {
  std::uint8_t Raw[8];
  if (!ReadRaw(Field, Raw))
    return false;
  Value = LoadDouble(Raw);
  return true;
}
} // namespace

Variant TFloatField::GetAsVariant() const {
  double Value = 0.0;
  if (!ReadDouble(*this, Value))
    return Variant::Null();
  return Variant(Value);
}

std::string TFloatField::GetAsString() const {
  double Value = 0.0;
  return ReadDouble(*this, Value) ? FloatText(Value) : std::string();
}

void TFloatField::SetAsString(const std::string& Value) {
  if (Trim(Value).empty()) {
    Clear();
    return;
  }
  double Number = 0.0;
  if (!TryStrToFloat(Value, Number))
    InvalidValue(SInvalidFloatValue, Value);
  SetAsFloat(Number);
}

std::int32_t TFloatField::GetAsInteger() const {
  double Value = std::nearbyint(GetAsFloat());
  if (!(Value >= INT32_MIN && Value <= INT32_MAX))
    RangeError(FloatText(Value), IntToStr(INT32_MIN), IntToStr(INT32_MAX));
  return static_cast<std::int32_t>(Value);
}

void TFloatField::SetAsInteger(std::int32_t Value) {
  SetAsFloat(Value);
}

std::int64_t TFloatField::GetAsLargeInt() const {
  double Value = std::nearbyint(GetAsFloat());
  if (!(Value >= -9223372036854775808.0 && Value < 9223372036854775808.0))
    RangeError(FloatText(Value), IntToStr(INT64_MIN), IntToStr(INT64_MAX));
  return static_cast<std::int64_t>(Value);
}

void TFloatField::SetAsLargeInt(std::int64_t Value) {
  SetAsFloat(static_cast<double>(Value));
}

double TFloatField::GetAsFloat() const {
  double Value = 0.0;
  ReadDouble(*this, Value);
  return Value;
}

void TFloatField::SetAsFloat(double Value) {
  if ((MinValue != 0 || MaxValue != 0) && !(Value >= MinValue && Value <= MaxValue))
    RangeError(FloatText(Value), FloatText(MinValue), FloatText(MaxValue));
  std::uint8_t Raw[8];
  StoreDouble(Raw, Value);
  SetData(Raw);
}

void TFloatField::SetVarValue(const Variant& V) {
  if (VarIsStr(V))
    SetAsString(V.AsString());
  else
    SetAsFloat(V.AsDouble());
}

TCurrencyField::TCurrencyField(TComponent* AOwner) : TFloatField(AOwner) {
  FDataType = ftCurrency;
}

TBCDField::TBCDField(TComponent* AOwner) : TFloatField(AOwner) {
  FDataType = ftBCD;
  FSize = 4;
}

// ---- TBooleanField
// -------------------------------------------------------------------------------------

TBooleanField::TBooleanField(TComponent* AOwner) : TField(AOwner) {
  FDataType = ftBoolean;
}

namespace {
bool ReadWordBool(const TField& Field, bool& Value) {
  std::int64_t Word = 0;
  if (!ReadInt<std::uint16_t>(Field, Word))
    return false;
  Value = Word != 0;
  return true;
}
} // namespace

Variant TBooleanField::GetAsVariant() const {
  bool Value = false;
  if (!ReadWordBool(*this, Value))
    return Variant::Null();
  return Variant(Value);
}

std::string TBooleanField::GetAsString() const {
  bool Value = false;
  if (!ReadWordBool(*this, Value))
    return {};
  return Value ? "True" : "False";
}

void TBooleanField::SetAsString(const std::string& Value) {
  std::string Text = Trim(Value);
  if (Text.empty()) {
    Clear();
    return;
  }
  // Any leading part of the words counts ("t", "Fal").
  auto Matches = [&](std::string_view Word) {
    return Text.size() <= Word.size() && SameText(Text, Word.substr(0, Text.size()));
  };
  if (Matches("True"))
    SetAsBoolean(true);
  else if (Matches("False"))
    SetAsBoolean(false);
  else
    InvalidValue(SInvalidBoolValue, Value);
}

bool TBooleanField::GetAsBoolean() const {
  bool Value = false;
  ReadWordBool(*this, Value);
  return Value;
}

void TBooleanField::SetAsBoolean(bool Value) {
  WriteInt<std::uint16_t>(*this, Value ? 1 : 0);
}

void TBooleanField::SetVarValue(const Variant& V) {
  if (VarIsStr(V))
    SetAsString(V.AsString());
  else
    SetAsBoolean(V.AsBoolean());
}

// ---- Date and time classes
// ---------------------------------------------------------------------------

TDateTimeField::TDateTimeField(TComponent* AOwner) : TField(AOwner) {
  FDataType = ftDateTime;
}

bool TDateTimeField::GetValue(TDateTime& Value) const {
  std::uint8_t Raw[8];
  if (!ReadRaw(*this, Raw))
    return false;
  Value = TimeStampToDateTime(MSecsToTimeStamp(LoadDouble(Raw)));
  return true;
}

void TDateTimeField::StoreValue(TDateTime Value) {
  std::uint8_t Raw[8];
  StoreDouble(Raw, TimeStampToMSecs(DateTimeToTimeStamp(Value)));
  SetData(Raw);
}

std::string TDateTimeField::FormatValue(TDateTime Value) const {
  return DateTimeToStr(Value);
}

Variant TDateTimeField::GetAsVariant() const {
  TDateTime Value = 0.0;
  if (!GetValue(Value))
    return Variant::Null();
  return VarFromDateTime(Value);
}

std::string TDateTimeField::GetAsString() const {
  TDateTime Value = 0.0;
  return GetValue(Value) ? FormatValue(Value) : std::string();
}

void TDateTimeField::SetAsString(const std::string& Value) {
  if (Trim(Value).empty()) {
    Clear();
    return;
  }
  TDateTime Moment = 0.0;
  if (!TryStrToDateTime(Value, Moment))
    InvalidValue(SInvalidDateTimeValue, Value);
  SetAsDateTime(Moment);
}

double TDateTimeField::GetAsFloat() const {
  return GetAsDateTime();
}

void TDateTimeField::SetAsFloat(double Value) {
  SetAsDateTime(Value);
}

TDateTime TDateTimeField::GetAsDateTime() const {
  TDateTime Value = 0.0;
  GetValue(Value);
  return Value;
}

void TDateTimeField::SetAsDateTime(TDateTime Value) {
  // A value that names no day (NaN, far outside the calendar) is refused
  // with the field's own message rather than the converter's.
  try {
    (void)DateTimeToTimeStamp(Value);
  } catch (const EConvertError&) {
    InvalidValue(SInvalidDateTimeValue, FloatText(Value));
  }
  StoreValue(Value);
}

void TDateTimeField::SetVarValue(const Variant& V) {
  if (VarIsStr(V))
    SetAsString(V.AsString());
  else
    SetAsDateTime(V.AsDateTime());
}

TDateField::TDateField(TComponent* AOwner) : TDateTimeField(AOwner) {
  FDataType = ftDate;
}

bool TDateField::GetValue(TDateTime& Value) const {
  std::int64_t Day = 0;
  if (!ReadInt<std::int32_t>(*this, Day))
    return false;
  TTimeStamp Stamp;
  Stamp.Date = static_cast<std::int32_t>(Day);
  Value = TimeStampToDateTime(Stamp);
  return true;
}

void TDateField::StoreValue(TDateTime Value) {
  WriteInt<std::int32_t>(*this, DateTimeToTimeStamp(Value).Date);
}

std::string TDateField::FormatValue(TDateTime Value) const {
  return DateToStr(Value);
}

TTimeField::TTimeField(TComponent* AOwner) : TDateTimeField(AOwner) {
  FDataType = ftTime;
}

bool TTimeField::GetValue(TDateTime& Value) const {
  std::int64_t Millis = 0;
  if (!ReadInt<std::int32_t>(*this, Millis))
    return false;
  TTimeStamp Stamp;
  Stamp.Date = DateDelta;
  Stamp.Time = static_cast<std::int32_t>(Millis);
  Value = TimeStampToDateTime(Stamp);
  return true;
}

void TTimeField::StoreValue(TDateTime Value) {
  WriteInt<std::int32_t>(*this, DateTimeToTimeStamp(Value).Time);
}

std::string TTimeField::FormatValue(TDateTime Value) const {
  return TimeToStr(Value);
}

// ---- Binary classes
// ------------------------------------------------------------------------------------

TBinaryField::TBinaryField(TComponent* AOwner) : TField(AOwner) {
  FSize = 16;
}

Variant TBinaryField::GetAsVariant() const {
  std::vector<std::uint8_t> Bytes;
  if (!GetBytes(Bytes))
    return Variant::Null();
  return VarArrayFromBytes(Bytes.data(), Bytes.size());
}

std::string TBinaryField::GetAsString() const {
  std::vector<std::uint8_t> Bytes;
  GetBytes(Bytes);
  return std::string(Bytes.begin(), Bytes.end());
}

void TBinaryField::SetAsString(const std::string& Value) {
  StoreBytes(reinterpret_cast<const std::uint8_t*>(Value.data()), Value.size());
}

void TBinaryField::SetVarValue(const Variant& V) {
  if (V.VarType() == (varArray | varByte)) {
    auto Bytes = V.Bytes();
    StoreBytes(Bytes.data(), Bytes.size());
    return;
  }
  if (V.IsArray()) {
    std::vector<std::uint8_t> Bytes;
    for (int I = V.LowBound(); I <= V.HighBound(); ++I) {
      std::int32_t Value = V.GetElement(I).AsInteger();
      if (Value < 0 || Value > 255)
        RangeError(IntToStr(Value), "0", "255");
      Bytes.push_back(static_cast<std::uint8_t>(Value));
    }
    StoreBytes(Bytes.data(), Bytes.size());
    return;
  }
  SetAsString(V.AsString());
}

TBytesField::TBytesField(TComponent* AOwner) : TBinaryField(AOwner) {
  FDataType = ftBytes;
}

bool TBytesField::GetBytes(std::vector<std::uint8_t>& Value) const {
  // At least one byte, so that a zero-sized field still passes a buffer.
  Value.assign(std::max<std::size_t>(FSize, 1), 0);
  if (!GetData(Value.data())) {
    Value.clear();
    return false;
  }
  Value.resize(FSize);
  return true;
}

void TBytesField::StoreBytes(const std::uint8_t* Data, std::size_t Len) {
  std::vector<std::uint8_t> Raw(std::max<std::size_t>(FSize, 1), 0);
  if (Len > 0)
    std::memcpy(Raw.data(), Data, std::min(Len, FSize));
  SetData(Raw.data());
}

TVarBytesField::TVarBytesField(TComponent* AOwner) : TBytesField(AOwner) {
  FDataType = ftVarBytes;
}

void TVarBytesField::SetSize(std::size_t Value) {
  TBytesField::SetSize(std::min<std::size_t>(Value, 65535));
}

bool TVarBytesField::GetBytes(std::vector<std::uint8_t>& Value) const {
  std::vector<std::uint8_t> Raw(DataSize(), 0);
  if (!GetData(Raw.data())) {
    Value.clear();
    return false;
  }
  // A length beyond the room is the descendant's mistake; never read past it.
  std::size_t Len = std::min<std::size_t>(LoadLE<std::uint16_t>(Raw.data()), FSize);
  Value.assign(Raw.begin() + 2, Raw.begin() + 2 + static_cast<std::ptrdiff_t>(Len));
  return true;
}

void TVarBytesField::StoreBytes(const std::uint8_t* Data, std::size_t Len) {
  std::vector<std::uint8_t> Raw(DataSize(), 0);
  Len = std::min(Len, FSize);
  StoreLE<std::uint16_t>(Raw.data(), static_cast<std::uint16_t>(Len));
  if (Len > 0)
    std::memcpy(Raw.data() + 2, Data, Len);
  SetData(Raw.data());
}

// ---- Blob classes
// -----------------------------------------------------------------------------------------

namespace {
std::unique_ptr<TStream> OpenBlob(const TBlobField& Field, TBlobStreamMode Mode) {
  if (!Field.DataSet())
    DatabaseErrorFmt(SDataSetMissing, {Field.DisplayName()});
  auto Stream = Field.DataSet()->CreateBlobStream(const_cast<TBlobField*>(&Field), Mode);
  if (!Stream)
    DatabaseErrorFmt(SBlobStreamUnsupported, {Field.DisplayName()});
  return Stream;
}

std::string ReadAll(TStream& Stream) {
  std::string Result;
  char Chunk[8192];
  for (;;) {
    std::int32_t Count = Stream.Read(Chunk, static_cast<std::int32_t>(sizeof(Chunk)));
    if (Count <= 0)
      break;
    Result.append(Chunk, static_cast<std::size_t>(Count));
  }
  return Result;
}

void WriteAll(TStream& Stream, const std::uint8_t* Data, std::size_t Len) {
  while (Len > 0) {
    auto Count = static_cast<std::int32_t>(std::min<std::size_t>(Len, INT32_MAX));
    Stream.WriteBuffer(Data, Count);
    Data += Count;
    Len -= static_cast<std::size_t>(Count);
  }
}
} // namespace

// The base lives beside the field's other stream helpers; DataSet.cpp knows
// nothing of reading streams to their end.
std::string TDataSet::GetBlobContent(TField* Field) {
  auto Stream = CreateBlobStream(Field, bmRead);
  if (!Stream)
    DatabaseErrorFmt(SBlobStreamUnsupported, {Field ? Field->DisplayName() : std::string()});
  return ReadAll(*Stream);
}

namespace {
// Every whole-content read of a field goes through its dataset, which may
// know a way to the bytes cheaper than a stream.
std::string BlobContent(const TBlobField& Field) {
  if (!Field.DataSet())
    DatabaseErrorFmt(SDataSetMissing, {Field.DisplayName()});
  return Field.DataSet()->GetBlobContent(const_cast<TBlobField*>(&Field));
}
} // namespace

TBlobField::TBlobField(TComponent* AOwner) : TField(AOwner) {
  FDataType = ftBlob;
}

std::int64_t TBlobField::BlobSize() const {
  return OpenBlob(*this, bmRead)->GetSize();
}

void TBlobField::LoadFromStream(TStream& Stream) {
  auto Blob = OpenBlob(*this, bmWrite);
  Blob->CopyFrom(Stream, 0);
}

void TBlobField::SaveToStream(TStream& Stream) const {
  const std::string Content = BlobContent(*this);
  WriteAll(Stream, reinterpret_cast<const std::uint8_t*>(Content.data()), Content.size());
}

void TBlobField::LoadFromFile(const std::string& FileName) {
  TFileStream File(FileName, fmOpenRead);
  LoadFromStream(File);
}

void TBlobField::SaveToFile(const std::string& FileName) const {
  TFileStream File(FileName, fmCreate);
  SaveToStream(File);
}

void TBlobField::Clear() {
  OpenBlob(*this, bmWrite);
}

Variant TBlobField::GetAsVariant() const {
  if (IsNull())
    return Variant::Null();
  const std::string Content = BlobContent(*this);
  return VarArrayFromBytes(Content.data(), Content.size());
}

std::string TBlobField::GetAsString() const {
  return BlobContent(*this);
}

void TBlobField::SetAsString(const std::string& Value) {
  auto Blob = OpenBlob(*this, bmWrite);
  WriteAll(*Blob, reinterpret_cast<const std::uint8_t*>(Value.data()), Value.size());
}

void TBlobField::SetVarValue(const Variant& V) {
  if (V.VarType() == (varArray | varByte)) {
    auto Bytes = V.Bytes();
    auto Blob = OpenBlob(*this, bmWrite);
    WriteAll(*Blob, Bytes.data(), Bytes.size());
    return;
  }
  SetAsString(V.AsString());
}

TMemoField::TMemoField(TComponent* AOwner) : TBlobField(AOwner) {
  FDataType = ftMemo;
  Transliterate = true;
}

Variant TMemoField::GetAsVariant() const {
  if (IsNull())
    return Variant::Null();
  return Variant(GetAsString());
}

TGraphicField::TGraphicField(TComponent* AOwner) : TBlobField(AOwner) {
  FDataType = ftGraphic;
}

} // namespace ztl
