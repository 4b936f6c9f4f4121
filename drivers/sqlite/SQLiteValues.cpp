// Values in the SQLite cursor's row and bind buffers: decoding them into
// Variants, encoding Variants into them, and the null indicators.
//
// Encoding (native byte order, no alignment): ntString NUL-terminated text
// in Size bytes; ntInteger int32; ntInt64 int64; ntFloat double; ntCurrency
// int64 scaled by 10 000; ntDate, ntTime, ntDateTime a date-time (double);
// ntBoolean a 16-bit word 0 or 1; ntBinary a 16-bit length and the bytes.
// Memos and blobs keep their data in the column's blob stream; as host
// variables they hold exactly Size bytes of data in the bind buffer. Null
// indicators are one byte per column, non-zero meaning null.
#include <cstring>

#include "core/ZtlConsts.h"
#include "drivers/sqlite/SQLiteCursor_p.h"
#include "drivers/sqlite/SQLiteSession.h"

namespace ztl {

namespace {

template <class T>
T Load(const std::uint8_t* P) {
  T V;
  std::memcpy(&V, P, sizeof V);
  return V;
}

template <class T>
void Store(std::uint8_t* P, T V) {
  std::memcpy(P, &V, sizeof V);
}

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

} // namespace

void TZantrelSQLiteSQL::InternalGetValue(const std::uint8_t* Buffer, std::int32_t Offset,
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
      Value = Load<std::int32_t>(P);
    break;
  case ntInt64:
    if (Fits(8))
      Value = Load<std::int64_t>(P);
    break;
  case ntFloat:
    if (Fits(8))
      Value = Load<double>(P);
    break;
  case ntCurrency:
    if (Fits(8))
      Value = Currency::FromRaw(Load<std::int64_t>(P));
    break;
  case ntDate:
  case ntTime:
  case ntDateTime:
    if (Fits(8))
      Value = Variant::FromDateTime(Load<double>(P));
    break;
  case ntBoolean:
    if (Fits(2))
      Value = Load<std::uint16_t>(P) != 0;
    break;
  case ntBinary:
    if (Fits(2)) {
      const std::size_t Len =
          std::min<std::size_t>(Load<std::uint16_t>(P), static_cast<std::size_t>(Size - 2));
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

void TZantrelSQLiteSQL::InternalSetValue(std::uint8_t* Buffer, std::int32_t Offset,
                                         std::int32_t Size, TZantrelFieldTypes FieldType,
                                         const Variant& Value, TZantrelBlobStream* Blob) {
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
        Store(P, V);
        return;
      }
      if (V >= INT32_MIN && V <= INT32_MAX) {
        Store(P, static_cast<std::int32_t>(V));
        return;
      }
    }
    break;
  case varDouble:
    if (FieldType == ntFloat && Size >= 8) {
      Store(P, Value.RawReal());
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
  // The rest lives in a function of its own, so that the cases above do not
  // pay for the frame the conversions and messages need.
  SetConvertedValue(Buffer, Offset, Size, FieldType, Value, Blob);
}

__attribute__((noinline)) void
TZantrelSQLiteSQL::SetConvertedValue(std::uint8_t* Buffer, std::int32_t Offset, std::int32_t Size,
                                     TZantrelFieldTypes FieldType, const Variant& Value,
                                     TZantrelBlobStream* Blob) {
  std::uint8_t* P = Buffer + Offset;
  // Names what is being written for messages: a result column of the row
  // buffers, or a host variable.
  const auto Target = [&]() -> std::string {
    if (Buffer == CurrentRow.Data() || Buffer == OldRow.Data())
      for (const TZantrelFieldDef* Def : FieldDefs)
        if (Def->Offset == Offset && Def->FieldType == FieldType)
          return "column \"" + Def->Name + "\"";
    return "a host variable";
  };
  const auto Refuse = [&](const std::string& Detail, std::int32_t Code) {
    RaiseLastError("Value of " + Target() + " does not fit: " + Detail, Code);
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
        Refuse(std::to_string(S.size()) + " bytes are longer than its size of " +
                   std::to_string(Size > 0 ? Size - 1 : 0),
               -SQLITE_TOOBIG);
      if (std::memchr(S.data(), 0, S.size()))
        Refuse("the text contains a NUL byte", -SQLITE_MISMATCH);
      std::memcpy(P, S.data(), S.size());
      // Rows are compared byte for byte (changes, the edit check), so their
      // unused bytes must be zero; a host variable only needs its end.
      if (Buffer == CurrentRow.Data() || Buffer == OldRow.Data())
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
        if (D != static_cast<double>(static_cast<std::int64_t>(Value.AsInt64())))
          Refuse(Value.AsString() + " is not a whole number", -SQLITE_MISMATCH);
      }
      const std::int64_t V = Value.AsInt64();
      if (FieldType == ntInteger) {
        if (V < INT32_MIN || V > INT32_MAX)
          Refuse(std::to_string(V) + " is outside the 32-bit integer range", -SQLITE_MISMATCH);
        if (Size >= 4)
          Store(P, static_cast<std::int32_t>(V));
      } else if (Size >= 8) {
        Store(P, V);
      }
      break;
    }
    case ntFloat:
      if (Size >= 8)
        Store(P, Value.AsDouble());
      break;
    case ntCurrency:
      if (Size >= 8)
        Store(P, Value.AsCurrency().Raw());
      break;
    case ntDate:
    case ntTime:
    case ntDateTime:
      if (Size >= 8)
        Store(P, Value.AsDateTime());
      break;
    case ntBoolean:
      if (Size >= 2)
        Store(P, static_cast<std::uint16_t>(Value.AsBoolean() ? 1 : 0));
      break;
    case ntBinary: {
      std::string Scratch;
      const std::string_view B = VariantBytes(Value, Scratch);
      if (Size < 2 || static_cast<std::int64_t>(B.size()) > Size - 2) {
        // A zero-size binary host variable is an empty array.
        if (!(Size == 0 && B.empty()))
          Refuse(std::to_string(B.size()) + " bytes are longer than its size of " +
                     std::to_string(Size > 2 ? Size - 2 : 0),
                 -SQLITE_TOOBIG);
        break;
      }
      Store(P, static_cast<std::uint16_t>(B.size()));
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
        const std::size_t N = std::min(B.size(), static_cast<std::size_t>(Size));
        std::memcpy(P, B.data(), N);
        std::memset(P + N, 0, static_cast<std::size_t>(Size) - N);
      }
      break;
    }
    default:
      Refuse("a value of type " + VarTypeAsText(Value.VarType()) + " cannot be bound",
             -SQLITE_MISMATCH);
    }
  } catch (const EVariantError& E) {
    Refuse(E.what(), -SQLITE_MISMATCH);
  }
}

bool TZantrelSQLiteSQL::IsNull(const std::uint8_t* NullBuffer, std::int32_t FieldIndex) {
  if (!NullBuffer || FieldIndex < 0 || FieldIndex >= NullSize)
    return true;
  return NullBuffer[FieldIndex] != 0;
}

void TZantrelSQLiteSQL::SetNull(std::uint8_t* NullBuffer, std::int32_t FieldIndex, bool Null) {
  if (!NullBuffer || FieldIndex < 0 || FieldIndex >= NullSize)
    return;
  NullBuffer[FieldIndex] = Null ? 1 : 0;
}

} // namespace ztl
