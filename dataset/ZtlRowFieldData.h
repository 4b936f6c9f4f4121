// The row encoding the bundled drivers share, and its conversions to and
// from the framework's field data.
//
// Encoding: ntString NUL-terminated text in Size bytes; ntInteger int32;
// ntInt64 int64; ntFloat double; ntCurrency int64 scaled by 10 000; ntDate,
// ntTime, ntDateTime a date-time (double); ntBoolean a 16-bit word 0 or 1;
// ntBinary a 16-bit length and the bytes. Memo and blob data travel through
// the dataset's blob stream, not the row.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/ZtlFieldDefs.h"

namespace ztl {

// Raised when a value does not fit the column or the field it is copied to;
// the first %s names the column, the second says why.
inline constexpr const char* SZtlFieldDataMisfit = "Value of column \"%s\" does not fit: %s";

// What a driver's rows allow beyond the common part of the encoding.
struct TZtlRowEncoding {
  bool Binary;              // ntBinary columns exist (else they are refused or ignored)
  bool DatesInYears1To9999; // dates outside the years 1..9999 cannot be read back: refuse them
  bool RefuseOtherTypes;    // a type without a row value is an error, not ignored
};

// Converts the column described by Def from the row at Source into field
// data at Dest (room for DestSize bytes), and back from DataSize bytes of
// field data at Source into the row at Dest.
//
// Both directions check the sizes on both sides and raise EDatabaseError
// (SZtlFieldDataMisfit) instead of cutting a value; a refused write leaves
// the row as it was. Strings are NUL-terminated in both formats and their
// unused row bytes are kept zero, because rows are compared byte for byte.
// A binary field carries no length: a value written back with only zero
// bytes past the row's current length keeps that length, any other value
// takes the whole field.
void ZtlReadRowFieldData(const TZtlRowEncoding& Encoding, const TZantrelFieldDef& Def,
                         const std::uint8_t* Source, void* Dest, std::size_t DestSize);
void ZtlWriteRowFieldData(const TZtlRowEncoding& Encoding, const TZantrelFieldDef& Def,
                          std::uint8_t* Dest, const void* Source, std::size_t DataSize);

} // namespace ztl
