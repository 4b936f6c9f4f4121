// Values in the PostgreSQL cursor's row and bind buffers, in the encoding
// all bundled drivers share (drivers/common/ZtlBufferValues_p.h); the
// driver's part is only the code a refused value is reported with.
#include "drivers/common/ZtlBufferValues_p.h"
#include "drivers/postgres/PgCursor_p.h"

namespace ztl {

void TZantrelPgSQL::InternalGetValue(const std::uint8_t* Buffer, std::int32_t Offset,
                                     std::int32_t Size, TZantrelFieldTypes FieldType,
                                     TZantrelBlobStream* Blob, Variant& Value) {
  ZtlGetBufferValue(Buffer + Offset, Size, FieldType, Blob, Value);
}

void TZantrelPgSQL::InternalSetValue(std::uint8_t* Buffer, std::int32_t Offset, std::int32_t Size,
                                     TZantrelFieldTypes FieldType, const Variant& Value,
                                     TZantrelBlobStream* Blob) {
  const bool RowBuffer = Buffer == CurrentRow.Data() || Buffer == OldRow.Data();
  if (ZtlSetValueInPlace(Buffer + Offset, Size, FieldType, Value, [&] { return RowBuffer; }))
    return;
  // Every refusal is reported as "string data right truncation", whatever
  // the reason, as this driver always has.
  static const TZtlValueCodes Codes{PgErrorCode("22001"), PgErrorCode("22001")};
  ZtlSetConvertedValue(*this, Codes, RowBuffer, Buffer, Offset, Size, FieldType, Value, Blob);
}

bool TZantrelPgSQL::IsNull(const std::uint8_t* NullBuffer, std::int32_t FieldIndex) {
  return ZtlIsNull(NullBuffer, NullSize, FieldIndex);
}

void TZantrelPgSQL::SetNull(std::uint8_t* NullBuffer, std::int32_t FieldIndex, bool Null) {
  ZtlSetNull(NullBuffer, NullSize, FieldIndex, Null);
}

} // namespace ztl
