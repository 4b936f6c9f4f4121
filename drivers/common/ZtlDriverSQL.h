// The cursor base of the bundled drivers: the values of their row and bind
// buffers, in the encoding they share, read and written once for all.
#pragma once

#include <cstdint>

#include "core/ZtlSQL.h"

namespace ztl {

// What differs between the drivers in writing values: the error codes they
// report a refused value with.
struct TZtlValueCodes {
  std::int32_t TooLong;  // a text or bytes longer than the room for them
  std::int32_t Mismatch; // a value that is not of a kind the target holds
};

// A TZantrelSQL whose rows and host variables use the encoding of
// dataset/ZtlRowFieldData (native byte order, no alignment): ntString
// NUL-terminated text in Size bytes; ntInteger int32; ntInt64 int64; ntFloat
// double; ntCurrency int64 scaled by 10 000; ntDate, ntTime, ntDateTime a
// date-time (double); ntBoolean a 16-bit word 0 or 1; ntBinary a 16-bit
// length and the bytes. Memos and blobs keep their data in the column's blob
// stream; as host variables they hold exactly Size bytes of data in the bind
// buffer. Null indicators are one byte per column, non-zero meaning null.
//
// Writing never cuts or bends a value: one that does not fit (a text or
// bytes longer than the room, a real that is not whole or an integer beyond
// 32 bits for ntInteger, a text with a NUL byte, a value that does not
// convert) raises "Value of column "c" does not fit: ..." (or "of a host
// variable") through RaiseLastError, with the driver's code from
// TZtlValueCodes. A memo or blob host variable takes at most Size bytes.
class TZtlDriverSQL : public TZantrelSQL {
public:
  TZtlDriverSQL(TComponent* AOwner, const TZtlValueCodes& ACodes);

  bool IsNull(const std::uint8_t* NullBuffer, std::int32_t FieldIndex) override;
  void SetNull(std::uint8_t* NullBuffer, std::int32_t FieldIndex, bool Null) override;

protected:
  void InternalGetValue(const std::uint8_t* Buffer, std::int32_t Offset, std::int32_t Size,
                        TZantrelFieldTypes FieldType, TZantrelBlobStream* Blob,
                        Variant& Value) override;
  void InternalSetValue(std::uint8_t* Buffer, std::int32_t Offset, std::int32_t Size,
                        TZantrelFieldTypes FieldType, const Variant& Value,
                        TZantrelBlobStream* Blob) override;

private:
  // InternalSetValue for every value its in-place cases leave: converts,
  // checks and raises.
  void SetConvertedValue(std::uint8_t* Buffer, std::int32_t Offset, std::int32_t Size,
                         TZantrelFieldTypes FieldType, const Variant& Value,
                         TZantrelBlobStream* Blob);

  TZtlValueCodes Codes; // the codes refused values are reported with
};

} // namespace ztl
