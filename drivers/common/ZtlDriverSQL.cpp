// The values of the bundled drivers' row and bind buffers: decoding them
// into Variants, encoding Variants into them with the checked conversions,
// and the null indicators.
#include "drivers/common/ZtlDriverSQL.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "drivers/common/ZtlBufferValues_p.h"
#include "drivers/common/ZtlDriverConsts.h"

namespace ztl {

namespace {

// The whole value of a blob stream, read from its start; its position is
// left where it was.
std::string StreamBytes(TZantrelBlobStream& Blob) {
  const std::int64_t Saved = Blob.Seek(0, soFromCurrent);
  const std::int32_t Size = Blob.GetBlobSize();
  std::string Bytes(static_cast<std::size_t>(Size > 0 ? Size : 0), '\0');
  Blob.Seek(0, soFromBeginning);
  std::int32_t Got = 0;
  while (Got < Size) {
    const std::int32_t N = Blob.Read(Bytes.data() + Got, Size - Got);
    if (N <= 0)
      break;
    Got += N;
  }
  Bytes.resize(static_cast<std::size_t>(Got));
  Blob.Seek(Saved, soFromBeginning);
  return Bytes;
}

// The bytes a Variant stands for in a binary or blob value: a byte array's
// bytes, a text's characters (both in place), or any other value's text
// (converted into Scratch).
std::string_view VariantBytes(const Variant& Value, std::string& Scratch) {
  if (Value.VarType() == (varArray | varByte)) {
    const std::span<const std::uint8_t> B = Value.Bytes();
    return {reinterpret_cast<const char*>(B.data()), B.size()};
  }
  if (VarIsStr(Value))
    return Value.RawText();
  Scratch = Value.AsString();
  return Scratch;
}

// "N bytes are longer than its size of M".
std::string TooLong(std::size_t Bytes, std::int32_t Room) {
  return std::to_string(Bytes) + " bytes are longer than its size of " +
         std::to_string(Room > 0 ? Room : 0);
}

} // namespace

TZtlDriverSQL::TZtlDriverSQL(TComponent* AOwner, const TZtlValueCodes& ACodes)
    : TZantrelSQL(AOwner), Codes(ACodes) {}

void TZtlDriverSQL::InternalGetValue(const std::uint8_t* Buffer, std::int32_t Offset,
                                     std::int32_t Size, TZantrelFieldTypes FieldType,
                                     TZantrelBlobStream* Blob, Variant& Value) {
  const std::uint8_t* P = Buffer + Offset;
  const auto Fits = [&](std::int32_t Bytes) { return Size >= Bytes; };
  switch (FieldType) {
  case ntString:
    Value = std::string(reinterpret_cast<const char*>(P),
                        strnlen(reinterpret_cast<const char*>(P), static_cast<std::size_t>(Size)));
    break;
  case ntInteger:
    if (Fits(4))
      Value = ZtlLoad<std::int32_t>(P);
    break;
  case ntInt64:
    if (Fits(8))
      Value = ZtlLoad<std::int64_t>(P);
    break;
  case ntFloat:
    if (Fits(8))
      Value = ZtlLoad<double>(P);
    break;
  case ntCurrency:
    if (Fits(8))
      Value = Currency::FromRaw(ZtlLoad<std::int64_t>(P));
    break;
  case ntDate:
  case ntTime:
  case ntDateTime:
    if (Fits(8))
      Value = Variant::FromDateTime(ZtlLoad<double>(P));
    break;
  case ntBoolean:
    if (Fits(2))
      Value = ZtlLoad<std::uint16_t>(P) != 0;
    break;
  case ntBinary:
    if (Fits(2)) {
      const std::size_t Len =
          std::min<std::size_t>(ZtlLoad<std::uint16_t>(P), static_cast<std::size_t>(Size - 2));
      Value = VarArrayFromBytes(P + 2, Len);
    }
    break;
  case ntMemo:
    if (Blob)
      Value = StreamBytes(*Blob);
    else
      Value = std::string(reinterpret_cast<const char*>(P), static_cast<std::size_t>(Size));
    break;
  case ntBlob:
    if (Blob) {
      const std::string Bytes = StreamBytes(*Blob);
      Value = VarArrayFromBytes(Bytes.data(), Bytes.size());
    } else {
      Value = VarArrayFromBytes(P, static_cast<std::size_t>(Size));
    }
    break;
  default:
    Value = Variant::Null();
    break;
  }
}

void TZtlDriverSQL::InternalSetValue(std::uint8_t* Buffer, std::int32_t Offset, std::int32_t Size,
                                     TZantrelFieldTypes FieldType, const Variant& Value,
                                     TZantrelBlobStream* Blob) {
  std::uint8_t* P = Buffer + Offset;
  // A value already of the column's own kind is stored as it is: no
  // conversion can fail or change it. Everything else takes the checked
  // conversions below.
  switch (Value.VarType()) {
  case varSmallint:
  case varInteger:
  case varByte:
  case varInt64:
    if ((FieldType == ntInteger && Size >= 4) || (FieldType == ntInt64 && Size >= 8)) {
      const std::int64_t V = Value.RawInt();
      if (FieldType == ntInt64) {
        ZtlStore(P, V);
        return;
      }
      if (V >= INT32_MIN && V <= INT32_MAX) {
        ZtlStore(P, static_cast<std::int32_t>(V));
        return;
      }
    }
    break;
  case varDouble:
    if (FieldType == ntFloat && Size >= 8) {
      ZtlStore(P, Value.RawReal());
      return;
    }
    break;
  case varString:
    if (FieldType == ntString) {
      const std::string& S = Value.RawText();
      if (static_cast<std::int64_t>(S.size()) < Size && !std::memchr(S.data(), 0, S.size())) {
        std::memcpy(P, S.data(), S.size());
        // Rows are compared byte for byte (changes, the edit check), so
        // their unused bytes must be zero; a host variable only needs its
        // end.
        if (Buffer == CurrentRow.Data() || Buffer == OldRow.Data())
          std::memset(P + S.size(), 0, static_cast<std::size_t>(Size) - S.size());
        else
          P[S.size()] = 0;
        return;
      }
    }
    break;
  default:
    break;
  }
  SetConvertedValue(Buffer, Offset, Size, FieldType, Value, Blob);
}

// Out of line, so that the values stored in place above do not pay for the
// frame the conversions and messages need.
__attribute__((noinline)) void
TZtlDriverSQL::SetConvertedValue(std::uint8_t* Buffer, std::int32_t Offset, std::int32_t Size,
                                 TZantrelFieldTypes FieldType, const Variant& Value,
                                 TZantrelBlobStream* Blob) {
  std::uint8_t* P = Buffer + Offset;
  const bool RowBuffer = Buffer == CurrentRow.Data() || Buffer == OldRow.Data();
  // Names what is being written: a result column of the row buffers, or a
  // host variable.
  const auto Refuse = [&](const std::string& Detail, std::int32_t Code) {
    if (RowBuffer)
      for (const TZantrelFieldDef* Def : FieldDefs)
        if (Def->Offset == Offset && Def->FieldType == FieldType)
          RaiseLastError(ZtlColumnMisfit(Def->Name, Detail), Code);
    RaiseLastError(ZtlHostVariableMisfit(Detail), Code);
  };
  if (Value.IsClear() && FieldType != ntMemo && FieldType != ntBlob) {
    if (Size > 0)
      std::memset(P, 0, static_cast<std::size_t>(Size));
    return;
  }
  try {
    switch (FieldType) {
    case ntString: {
      // A text value is read in place; anything else is converted first.
      std::string Converted;
      const std::string_view S =
          VarIsStr(Value) ? std::string_view(Value.RawText()) : (Converted = Value.AsString());
      if (static_cast<std::int64_t>(S.size()) >= Size)
        Refuse(TooLong(S.size(), Size - 1), Codes.TooLong);
      if (std::memchr(S.data(), 0, S.size()))
        Refuse("the text contains a NUL byte", Codes.Mismatch);
      std::memcpy(P, S.data(), S.size());
      if (RowBuffer)
        std::memset(P + S.size(), 0, static_cast<std::size_t>(Size) - S.size());
      else
        P[S.size()] = 0;
      break;
    }
    case ntInteger:
    case ntInt64: {
      // Reals are accepted only when whole: rounding would change them.
      if (VarIsFloat(Value) || Value.VarType() == varDate) {
        const double D = Value.AsDouble();
        if (D != static_cast<double>(Value.AsInt64()))
          Refuse(Value.AsString() + " is not a whole number", Codes.Mismatch);
      }
      const std::int64_t V = Value.AsInt64();
      if (FieldType == ntInteger) {
        if (V < INT32_MIN || V > INT32_MAX)
          Refuse(std::to_string(V) + " is outside the 32-bit integer range", Codes.Mismatch);
        if (Size >= 4)
          ZtlStore(P, static_cast<std::int32_t>(V));
      } else if (Size >= 8) {
        ZtlStore(P, V);
      }
      break;
    }
    case ntFloat:
      if (Size >= 8)
        ZtlStore(P, Value.AsDouble());
      break;
    case ntCurrency:
      if (Size >= 8)
        ZtlStore(P, Value.AsCurrency().Raw());
      break;
    case ntDate:
    case ntTime:
    case ntDateTime:
      if (Size >= 8)
        ZtlStore(P, Value.AsDateTime());
      break;
    case ntBoolean:
      if (Size >= 2)
        ZtlStore(P, static_cast<std::uint16_t>(Value.AsBoolean() ? 1 : 0));
      break;
    case ntBinary: {
      std::string Scratch;
      const std::string_view B = VariantBytes(Value, Scratch);
      if (Size < 2 || static_cast<std::int64_t>(B.size()) > Size - 2) {
        // A zero-size binary host variable is an empty array.
        if (!(Size == 0 && B.empty()))
          Refuse(TooLong(B.size(), Size - 2), Codes.TooLong);
        break;
      }
      ZtlStore(P, static_cast<std::uint16_t>(B.size()));
      std::memcpy(P + 2, B.data(), B.size());
      std::memset(P + 2 + B.size(), 0, static_cast<std::size_t>(Size - 2) - B.size());
      break;
    }
    case ntMemo:
    case ntBlob: {
      std::string Scratch;
      const std::string_view B =
          Value.IsClear() ? std::string_view() : VariantBytes(Value, Scratch);
      if (Blob) {
        // Truncate first: even an empty value counts as written.
        Blob->Truncate();
        if (!B.empty())
          Blob->Write(B.data(), static_cast<std::int32_t>(B.size()));
      } else if (Size > 0) {
        if (static_cast<std::int64_t>(B.size()) > Size)
          Refuse(TooLong(B.size(), Size), Codes.TooLong);
        std::memcpy(P, B.data(), B.size());
        std::memset(P + B.size(), 0, static_cast<std::size_t>(Size) - B.size());
      }
      break;
    }
    default:
      Refuse("a value of type " + VarTypeAsText(Value.VarType()) + " cannot be bound",
             Codes.Mismatch);
    }
  } catch (const EVariantError& E) {
    Refuse(E.what(), Codes.Mismatch);
  }
}

bool TZtlDriverSQL::IsNull(const std::uint8_t* NullBuffer, std::int32_t FieldIndex) {
  if (!NullBuffer || FieldIndex < 0 || FieldIndex >= NullSize)
    return true;
  return NullBuffer[FieldIndex] != 0;
}

void TZtlDriverSQL::SetNull(std::uint8_t* NullBuffer, std::int32_t FieldIndex, bool Null) {
  if (!NullBuffer || FieldIndex < 0 || FieldIndex >= NullSize)
    return;
  NullBuffer[FieldIndex] = Null ? 1 : 0;
}

} // namespace ztl
