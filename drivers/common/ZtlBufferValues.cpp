// Encoding of Variants into the drivers' row and bind buffers with the
// checked conversions, and the reading of blob streams.
#include "drivers/common/ZtlBufferValues_p.h"

#include <algorithm>

#include "drivers/common/ZtlDriverConsts.h"

namespace ztl {

namespace {

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

std::string ZtlStreamBytes(TZantrelBlobStream& Blob) {
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

void ZtlSetConvertedValue(TZantrelSQL& Cursor, const TZtlValueCodes& Codes, bool RowBuffer,
                          std::uint8_t* Buffer, std::int32_t Offset, std::int32_t Size,
                          TZantrelFieldTypes FieldType, const Variant& Value,
                          TZantrelBlobStream* Blob) {
  std::uint8_t* P = Buffer + Offset;
  const auto Refuse = [&](const std::string& Detail, std::int32_t Code) {
    if (RowBuffer)
      for (const TZantrelFieldDef* Def : Cursor.GetFieldDefs())
        if (Def->Offset == Offset && Def->FieldType == FieldType)
          Cursor.RaiseLastError(ZtlColumnMisfit(Def->Name, Detail), Code);
    Cursor.RaiseLastError(ZtlHostVariableMisfit(Detail), Code);
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

} // namespace ztl
