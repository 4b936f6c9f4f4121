// Values in the SQLite cursor's row and bind buffers, in the encoding all
// bundled drivers share (drivers/common/ZtlBufferValues_p.h); SQLite's part is
// only the codes a refused value is reported with.
#include "drivers/common/ZtlBufferValues_p.h"
#include "drivers/sqlite/SQLiteCursor_p.h"

namespace ztl {

void TZantrelSQLiteSQL::InternalGetValue(const std::uint8_t* Buffer, std::int32_t Offset,
                                         std::int32_t Size, TZantrelFieldTypes FieldType,
                                         TZantrelBlobStream* Blob, Variant& Value) {
  ZtlGetBufferValue(Buffer + Offset, Size, FieldType, Blob, Value);
}

void TZantrelSQLiteSQL::InternalSetValue(std::uint8_t* Buffer, std::int32_t Offset,
                                         std::int32_t Size, TZantrelFieldTypes FieldType,
                                         const Variant& Value, TZantrelBlobStream* Blob) {
  const auto IsRowBuffer = [&] { return Buffer == CurrentRow.Data() || Buffer == OldRow.Data(); };
  if (!ZtlSetValueInPlace(Buffer + Offset, Size, FieldType, Value, IsRowBuffer))
    SetConvertedValue(Buffer, Offset, Size, FieldType, Value, Blob);
}

// Out of line, so that the values stored in place above do not pay for the
// frame the conversions and messages need.
__attribute__((noinline)) void
TZantrelSQLiteSQL::SetConvertedValue(std::uint8_t* Buffer, std::int32_t Offset, std::int32_t Size,
                                     TZantrelFieldTypes FieldType, const Variant& Value,
                                     TZantrelBlobStream* Blob) {
  static constexpr TZtlValueCodes Codes{-SQLITE_TOOBIG, -SQLITE_MISMATCH};
  ZtlSetConvertedValue(*this, Codes, Buffer == CurrentRow.Data() || Buffer == OldRow.Data(), Buffer,
                       Offset, Size, FieldType, Value, Blob);
}

bool TZantrelSQLiteSQL::IsNull(const std::uint8_t* NullBuffer, std::int32_t FieldIndex) {
  return ZtlIsNull(NullBuffer, NullSize, FieldIndex);
}

void TZantrelSQLiteSQL::SetNull(std::uint8_t* NullBuffer, std::int32_t FieldIndex, bool Null) {
  ZtlSetNull(NullBuffer, NullSize, FieldIndex, Null);
}

} // namespace ztl
