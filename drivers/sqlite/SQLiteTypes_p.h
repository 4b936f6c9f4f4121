// Internal to the SQLite driver: may change without notice.
//
// Logical types of SQLite result columns from their declared types, the
// byte sizes the driver gives each logical type in its buffers, and the
// date and time texts SQLite stores.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/ZtlFieldDefs.h"
#include "drivers/common/ZtlBufferValues_p.h"
#include "framework/variant/DateUtils.h"

namespace ztl {

// Declared lengths above this turn VARCHAR(n) into a memo and BINARY(n) into
// a blob: a row buffer of that size would waste more than it saves, and the
// dataset addresses rows with 16-bit sizes.
inline constexpr std::int32_t SQLiteMaxInlineLength = 8192;

// Bytes a declared character takes at most: SQLite keeps text as UTF-8 and
// counts no length, so VARCHAR(n) gets room for n characters of any script.
inline constexpr std::int32_t SQLiteBytesPerChar = 4;

// Bytes of a column whose type no declaration gives (an expression, a column
// declared without a type) when MaxStringSize is 0: it holds numbers as
// their text, and text, up to this many bytes.
inline constexpr std::int32_t SQLiteAnyValueSize = 255;

// The longest text of a number such a column holds (an int64, or a double's
// shortest exact text such as "-2.2250738585072014e-308"), rounded up.
inline constexpr std::int32_t SQLiteNumberTextSize = 32;

// Storage classes the driver binds values as, used as the columns' and host
// variables' driver type code (ExtType): SQLITE_INTEGER, SQLITE_FLOAT,
// SQLITE_TEXT, SQLITE_BLOB, or SQLITE_NULL for "decided by the value".
std::int32_t SQLiteStorageClassOf(TZantrelFieldTypes Type);

// What a declared type makes of a column.
struct TSQLiteColumnType {
  TZantrelFieldTypes Type = ntUnknown; // logical type
  std::int32_t Length = 0;             // declared length (strings, binaries) or precision
  std::int32_t Decimals = 0;           // declared scale
  bool ByValue = false;                // no usable declaration: the first value decides
};

// Maps a declared type (sqlite3_column_decltype; null or empty for an
// expression) to a logical type. SQLite's declared types are affinities: a
// column may hold any storage class, INTEGER is 64-bit and lengths are not
// enforced; the mapping gives each declaration the type that holds what the
// declaration lets programs store. MaxStringSize > 0 turns undeclared-length
// text into a string of that many bytes instead of a memo.
//
//   INT, INTEGER, SMALLINT, TINYINT, MEDIUMINT, INT2, INT4,
//   BIGINT, INT8, INT64, UNSIGNED BIG INT                   -> ntInt64
//   REAL, FLOAT, DOUBLE [PRECISION]                         -> ntFloat
//   NUMERIC/DECIMAL/NUMBER(p) and (p,0) with p <= 18        -> ntInt64
//   NUMERIC/DECIMAL/NUMBER(p,s) with s <= 4, p - s <= 14    -> ntCurrency
//   other NUMERIC, DECIMAL, NUMBER                          -> ntFloat
//   CURRENCY, MONEY, SMALLMONEY                             -> ntCurrency
//   BOOLEAN, BOOL, BIT                                      -> ntBoolean
//   DATE -> ntDate; TIME -> ntTime; DATETIME, TIMESTAMP     -> ntDateTime
//   [VAR|N|NVAR]CHAR(n), CHARACTER(n), VARCHAR2(n)...       -> ntString of 4n + 1 bytes
//                                                              (memo when 4n > 8192)
//   TEXT, CLOB, the same without a length                   -> ntMemo
//   BINARY(n), VARBINARY(n)                                 -> ntBinary of n + 2 bytes
//   BLOB, BINARY, VARBINARY, IMAGE, BYTEA                   -> ntBlob
// Any other name follows SQLite's affinity rules (INT -> ntInt64, CHAR,
// CLOB or TEXT -> text, BLOB -> ntBlob, REAL, FLOA or DOUB -> ntFloat). A
// name none of them matches, no declared type and an expression give
// ByValue: a string of SQLiteAnyValueSize (or MaxStringSize) bytes that
// holds integers, reals and text alike, unless the first value is a blob.
TSQLiteColumnType SQLiteMapDeclaredType(const char* DeclaredType, std::int32_t MaxStringSize);

// Whether SQLite gives a column of this declared type TEXT affinity (the
// name has CHAR, CLOB or TEXT and no INT): a table column of that affinity
// holds only text, blobs and NULLs.
bool SQLiteHasTextAffinity(const char* DeclaredType);

// The type a ByValue column takes from its first value's storage class
// (SQLITE_INTEGER ... SQLITE_NULL): ntBlob for a blob, else the string that
// holds numbers and text alike.
TSQLiteColumnType SQLiteTypeOfValue(int StorageClass, std::int32_t MaxStringSize);

// Bytes a value of Type takes in a row buffer (Length: declared length):
// the encoding all bundled drivers share.
inline std::int32_t SQLiteRowSizeOf(TZantrelFieldTypes Type, std::int32_t Length) {
  return ZtlRowSizeOf(Type, Length);
}

// Reads the texts SQLite's date and time functions write and accept:
// "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS[.fff]]" (also with 'T'), "HH:MM[:SS[.fff]]"
// (a time alone is a time of 1899-12-30), each optionally followed by 'Z' or
// a "+HH:MM"/"-HH:MM" offset, which is applied to give UTC, as SQLite does.
// Fractions of a second keep every digit. False for anything else.
bool SQLiteParseDateTime(std::string_view Text, TDateTime& Result);

// A Julian day number (what SQLite's date functions make of a number) as a
// date-time. Before 1899-12-30 a date-time's fraction still counts the time
// of day forward (1899-12-29 06:00 is -1.25), where the day count runs on.
inline TDateTime SQLiteJulianToDateTime(double JulianDay) {
  const double Days = JulianDay - 2415018.5;
  if (!(Days < 0))
    return Days;
  const double Day = std::floor(Days);
  return Day - (Days - Day);
}

// Writes Value for a column of Type in SQLite's own text formats:
// "YYYY-MM-DD" for ntDate, "HH:MM:SS" for ntTime, "YYYY-MM-DD HH:MM:SS" for
// ntDateTime, with ".SSS" when the milliseconds are not 0. A date with a time
// of day, or a time with a day, is written whole rather than cut. Returns the
// number of characters written into Out (at least 32 bytes); 0 when Value
// lies outside 0001-01-01 .. 9999-12-31.
std::int32_t SQLiteFormatDateTime(TDateTime Value, TZantrelFieldTypes Type, char* Out);

} // namespace ztl
