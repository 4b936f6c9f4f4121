// Internal to the PostgreSQL driver: may change without notice.
//
// PostgreSQL types as the driver sees them: the logical type and row size
// of a column type, the parsing of the server's text output into row
// values and the text form of values sent to the server.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/ZtlFieldDefs.h"

namespace ztl {

// Type OIDs of the built-in types the driver maps.
enum TPgTypeOid : std::uint32_t {
  pgBool = 16,
  pgBytea = 17,
  pgChar = 18,
  pgName = 19,
  pgInt8 = 20,
  pgInt2 = 21,
  pgInt4 = 23,
  pgText = 25,
  pgOid = 26,
  pgTid = 27,
  pgFloat4 = 700,
  pgFloat8 = 701,
  pgMoney = 790,
  pgBpchar = 1042,
  pgVarchar = 1043,
  pgDate = 1082,
  pgTime = 1083,
  pgTimestamp = 1114,
  pgTimestamptz = 1184,
  pgTimetz = 1266,
  pgNumeric = 1700,
  pgUuid = 2950,
};

// What a column of a server type becomes.
struct TPgColumnType {
  TZantrelFieldTypes Type = ntMemo; // logical type
  std::int32_t Size = 0;            // bytes in the row (0 for memos and blobs)
  std::int32_t Length = 0;          // declared length or precision
  std::int32_t Decimals = 0;        // declared scale
};

// The most bytes of text a string column holds in the row; longer declared
// strings are memos.
inline constexpr std::int32_t PgMaxStringBytes = 8192;

// The most bytes one character takes in the client encoding named Encoding
// (as the server spells it: "UTF8", "LATIN1", ...); 4 for a name it does
// not know.
std::int32_t PgMaxCharBytes(std::string_view Encoding);

// The logical type of a column of type Oid with type modifier Typmod, when
// a character of the client encoding takes up to CharBytes bytes.
// Integers of up to 32 bits are ntInteger, int8 and oid ntInt64; float4,
// float8 and numeric of at most 15 digits ntFloat (a double holds 15 decimal
// digits exactly); wider numerics ntString of precision + 3 bytes and
// unconstrained ones ntString of PgMaxStringBytes + 1, so no digit is lost
// and the value still reads as a number; money ntCurrency; dates and times
// by kind; varchar(n) and char(n) ntString of n * CharBytes + 1 bytes (a
// memo beyond PgMaxStringBytes); text, unbounded varchar and every other
// type ntMemo (their text form); bytea ntBlob.
TPgColumnType PgMapType(std::uint32_t Oid, std::int32_t Typmod, std::int32_t CharBytes);

// The type OID of a host variable of a logical type, as the driver's ExtType.
std::int32_t PgOidOf(TZantrelFieldTypes Type);

// Parses the server's text output Text of a column into the Size bytes at
// Dest in the row encoding of Type. Returns "" on success, otherwise why the
// value does not fit (Dest is then unspecified).
std::string PgParseValue(TZantrelFieldTypes Type, std::string_view Text, std::uint8_t* Dest,
                         std::int32_t Size);

// The text the server takes for the Size bytes at P in the row encoding of
// Type (not for binary, memo or blob types).
std::string PgFormatValue(TZantrelFieldTypes Type, const std::uint8_t* P, std::int32_t Size);

// Decodes a bytea value in hex output form ("\x0a1b..."); false when the
// text is not one.
bool PgDecodeBytea(std::string_view Text, std::string& Bytes);

} // namespace ztl
