// Internal to the bundled drivers: may change without notice.
//
// Values in the drivers' row and bind buffers: decoding them into Variants,
// encoding Variants into them, and the null indicators.
//
// Encoding (native byte order, no alignment), the one dataset/ZtlRowFieldData
// converts to field data: ntString NUL-terminated text in Size bytes;
// ntInteger int32; ntInt64 int64; ntFloat double; ntCurrency int64 scaled by
// 10 000; ntDate, ntTime, ntDateTime a date-time (double); ntBoolean a 16-bit
// word 0 or 1; ntBinary a 16-bit length and the bytes. Memos and blobs keep
// their data in the column's blob stream; as host variables they hold
// exactly Size bytes of data in the bind buffer. Null indicators are one byte
// per column, non-zero meaning null.
#pragma once

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/ZtlBlob.h"
#include "core/ZtlFieldDefs.h"
#include "core/ZtlSQL.h"
#include "framework/variant/Variants.h"

namespace ztl {

// The value of type T at P, which need not be aligned.
template <class T>
T ZtlLoad(const std::uint8_t* P) {
  T V;
  std::memcpy(&V, P, sizeof V);
  return V;
}

// Writes V at P, which need not be aligned.
template <class T>
void ZtlStore(std::uint8_t* P, T V) {
  std::memcpy(P, &V, sizeof V);
}

// What differs between the drivers in writing values: the error codes they
// report a refused value with.
struct TZtlValueCodes {
  std::int32_t TooLong;  // a text or bytes longer than the room for them
  std::int32_t Mismatch; // a value that is not of a kind the target holds
};

// The whole value of a blob stream, read from its start; its position is
// left where it was.
std::string ZtlStreamBytes(TZantrelBlobStream& Blob);

// Decodes the value of FieldType in the Size bytes at P (or, for memos and
// blobs with a stream, in Blob) into Value. A numeric value whose Size is too
// small leaves Value as it was; an unknown type gives Null.
inline void ZtlGetBufferValue(const std::uint8_t* P, std::int32_t Size,
                              TZantrelFieldTypes FieldType, TZantrelBlobStream* Blob,
                              Variant& Value) {
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
      Value = ZtlStreamBytes(*Blob);
    else
      Value = std::string(reinterpret_cast<const char*>(P), static_cast<std::size_t>(Size));
    break;
  case ntBlob:
    if (Blob) {
      const std::string Bytes = ZtlStreamBytes(*Blob);
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

// Stores Value into the Size bytes at P when it is already of the column's
// own kind, so that no conversion can fail or change it; false, with nothing
// written, for everything else, which ZtlSetConvertedValue takes.
// IsRowBuffer() says whether P lies in one of the cursor's rows, which are
// compared byte for byte (changes, the edit check) and so must keep their
// unused bytes zero; a host variable only needs the end of its text.
template <class FIsRowBuffer>
inline bool ZtlSetValueInPlace(std::uint8_t* P, std::int32_t Size, TZantrelFieldTypes FieldType,
                               const Variant& Value, FIsRowBuffer&& IsRowBuffer) {
  switch (Value.VarType()) {
  case varSmallint:
  case varInteger:
  case varByte:
  case varInt64:
    if ((FieldType == ntInteger && Size >= 4) || (FieldType == ntInt64 && Size >= 8)) {
      const std::int64_t V = Value.RawInt();
      if (FieldType == ntInt64) {
        ZtlStore(P, V);
        return true;
      }
      if (V >= INT32_MIN && V <= INT32_MAX) {
        ZtlStore(P, static_cast<std::int32_t>(V));
        return true;
      }
    }
    break;
  case varDouble:
    if (FieldType == ntFloat && Size >= 8) {
      ZtlStore(P, Value.RawReal());
      return true;
    }
    break;
  case varString:
    if (FieldType == ntString) {
      const std::string& S = Value.RawText();
      if (static_cast<std::int64_t>(S.size()) < Size && !std::memchr(S.data(), 0, S.size())) {
        std::memcpy(P, S.data(), S.size());
        if (IsRowBuffer())
          std::memset(P + S.size(), 0, static_cast<std::size_t>(Size) - S.size());
        else
          P[S.size()] = 0;
        return true;
      }
    }
    break;
  default:
    break;
  }
  return false;
}

// Stores Value into the Size bytes at Buffer + Offset (or, for memos and
// blobs with a stream, into Blob) with the checked conversions: a value that
// does not fit (a text or bytes longer than the room, a real that is not
// whole or an integer beyond 32 bits for ntInteger, a text with a NUL byte, a
// value that does not convert) is refused through Cursor.RaiseLastError with
// "Value of column "c" does not fit: ..." (naming the column of the cursor's
// rows at Offset, or a host variable when RowBuffer is false) and Codes' code,
// never cut. A clear value zeroes the bytes of a non-blob type.
void ZtlSetConvertedValue(TZantrelSQL& Cursor, const TZtlValueCodes& Codes, bool RowBuffer,
                          std::uint8_t* Buffer, std::int32_t Offset, std::int32_t Size,
                          TZantrelFieldTypes FieldType, const Variant& Value,
                          TZantrelBlobStream* Blob);

// Whether indicator FieldIndex of NullBuffer (NullSize indicators) says
// null; true when there is no such indicator.
inline bool ZtlIsNull(const std::uint8_t* NullBuffer, std::int32_t NullSize,
                      std::int32_t FieldIndex) {
  if (!NullBuffer || FieldIndex < 0 || FieldIndex >= NullSize)
    return true;
  return NullBuffer[FieldIndex] != 0;
}

// Sets indicator FieldIndex of NullBuffer; nothing when there is no such
// indicator.
inline void ZtlSetNull(std::uint8_t* NullBuffer, std::int32_t NullSize, std::int32_t FieldIndex,
                       bool Null) {
  if (!NullBuffer || FieldIndex < 0 || FieldIndex >= NullSize)
    return;
  NullBuffer[FieldIndex] = Null ? 1 : 0;
}

} // namespace ztl
