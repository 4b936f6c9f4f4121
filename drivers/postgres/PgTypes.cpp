// Type mapping, value parsing and formatting of the PostgreSQL driver.
//
// Row encoding (native byte order, no alignment): ntString NUL-terminated
// text in Size bytes; ntInteger int32; ntInt64 int64; ntFloat double;
// ntCurrency int64 scaled by 10 000; ntDate, ntTime, ntDateTime a date-time
// (double); ntBoolean a 16-bit word 0 or 1.
#include "drivers/postgres/PgTypes_p.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "drivers/common/ZtlBufferValues_p.h"
#include "framework/rtl/SysUtils.h"
#include "framework/variant/DateUtils.h"

namespace ztl {

std::int32_t PgMaxCharBytes(std::string_view Encoding) {
  // The server's multi-byte encodings and their longest character; every
  // other one (the LATIN, WIN, KOI8 and ISO families, SQL_ASCII) is single
  // byte. An unknown name gets the most any of them takes.
  static constexpr struct {
    std::string_view Name;
    std::int32_t Bytes;
  } MultiByte[] = {{"UTF8", 4},          {"EUC_TW", 4},         {"GB18030", 4},
                   {"MULE_INTERNAL", 4}, {"EUC_JP", 3},         {"EUC_CN", 3},
                   {"EUC_KR", 3},        {"EUC_JIS_2004", 3},   {"JOHAB", 3},
                   {"SJIS", 2},          {"SHIFT_JIS_2004", 2}, {"BIG5", 2},
                   {"GBK", 2},           {"UHC", 2}};
  for (const auto& E : MultiByte)
    if (SameText(Encoding, E.Name))
      return E.Bytes;
  static constexpr std::string_view SingleByte[] = {"SQL_ASCII", "LATIN", "WIN", "KOI8",
                                                    "ISO_8859_"};
  for (const std::string_view Prefix : SingleByte)
    if (Encoding.size() >= Prefix.size() &&
        SameText(Encoding.substr(0, Prefix.size()), Prefix))
      return 1;
  return 4;
}

TPgColumnType PgMapType(std::uint32_t Oid, std::int32_t Typmod, std::int32_t CharBytes) {
  switch (Oid) {
  case pgInt2:
  case pgInt4:
    return {ntInteger, 4, 0, 0};
  case pgInt8:
  case pgOid:
    return {ntInt64, 8, 0, 0};
  case pgFloat4:
  case pgFloat8:
    return {ntFloat, 8, 0, 0};
  case pgNumeric: {
    if (Typmod >= 4) {
      const std::int32_t Precision = ((Typmod - 4) >> 16) & 0xFFFF;
      const std::int32_t Scale = (Typmod - 4) & 0xFFFF;
      if (Precision <= 15)
        return {ntFloat, 8, Precision, Scale};
      // Sign, decimal point and terminator around the digits.
      return {ntString, Precision + 3, Precision + 2, Scale};
    }
    // Unconstrained (avg(), sums, factorials): the widest text a string
    // column holds, so that the value still reads as a number.
    return {ntString, PgMaxStringBytes + 1, PgMaxStringBytes, 0};
  }
  case pgMoney:
    return {ntCurrency, 8, 0, 0};
  case pgBool:
    return {ntBoolean, 2, 0, 0};
  case pgDate:
    return {ntDate, 8, 0, 0};
  case pgTime:
  case pgTimetz:
    return {ntTime, 8, 0, 0};
  case pgTimestamp:
  case pgTimestamptz:
    return {ntDateTime, 8, 0, 0};
  case pgVarchar:
  case pgBpchar:
    // The declared length counts characters; the row holds their bytes.
    if (Typmod >= 4 && static_cast<std::int64_t>(Typmod - 4) * std::max(CharBytes, 1) <=
                           PgMaxStringBytes)
      return {ntString, (Typmod - 4) * std::max(CharBytes, 1) + 1, Typmod - 4, 0};
    return {ntMemo, 0, 0, 0};
  case pgChar:
    return {ntString, 2, 1, 0};
  case pgName:
    return {ntString, 64, 63, 0};
  case pgTid:
    return {ntString, 32, 31, 0};
  case pgUuid:
    return {ntString, 37, 36, 0};
  case pgBytea:
    return {ntBlob, 0, 0, 0};
  default:
    return {ntMemo, 0, 0, 0};
  }
}

std::int32_t PgOidOf(TZantrelFieldTypes Type) {
  switch (Type) {
  case ntString:
    return pgVarchar;
  case ntInteger:
    return pgInt4;
  case ntInt64:
    return pgInt8;
  case ntFloat:
    return pgFloat8;
  case ntCurrency:
    return pgNumeric;
  case ntDate:
    return pgDate;
  case ntTime:
    return pgTime;
  case ntDateTime:
    return pgTimestamp;
  case ntBoolean:
    return pgBool;
  case ntBinary:
  case ntBlob:
    return pgBytea;
  case ntMemo:
    return pgText;
  default:
    return 0;
  }
}

namespace {

// Reads exactly Count digits; false when one is missing.
bool Digits(std::string_view& S, int Count, int& Value) {
  if (S.size() < static_cast<std::size_t>(Count))
    return false;
  Value = 0;
  for (int I = 0; I < Count; ++I) {
    if (S[I] < '0' || S[I] > '9')
      return false;
    Value = Value * 10 + (S[I] - '0');
  }
  S.remove_prefix(static_cast<std::size_t>(Count));
  return true;
}

bool Expect(std::string_view& S, char C) {
  if (S.empty() || S.front() != C)
    return false;
  S.remove_prefix(1);
  return true;
}

// "YYYY-MM-DD" (years of four digits or more) into days.
bool ParseDate(std::string_view& S, double& Days) {
  std::size_t N = 0;
  while (N < S.size() && S[N] >= '0' && S[N] <= '9')
    ++N;
  int Year = 0, Month = 0, Day = 0;
  if (N < 4 || N > 5)
    return false;
  std::string_view Y = S.substr(0, N);
  if (!Digits(Y, static_cast<int>(N), Year))
    return false;
  S.remove_prefix(N);
  if (!Expect(S, '-') || !Digits(S, 2, Month) || !Expect(S, '-') || !Digits(S, 2, Day))
    return false;
  TDateTime D = 0;
  if (!TryEncodeDate(Year, Month, Day, D))
    return false;
  Days = D;
  return true;
}

// "HH:MM:SS[.ffffff]" into a fraction of a day, then an optional zone
// offset, which is skipped: the value is the server's local time.
bool ParseTime(std::string_view& S, double& Fraction) {
  int H = 0, M = 0, Sec = 0;
  if (!Digits(S, 2, H) || !Expect(S, ':') || !Digits(S, 2, M) || !Expect(S, ':') ||
      !Digits(S, 2, Sec))
    return false;
  double Micro = 0;
  if (!S.empty() && S.front() == '.') {
    S.remove_prefix(1);
    double Scale = 100000;
    std::size_t N = 0;
    for (; N < S.size() && S[N] >= '0' && S[N] <= '9'; ++N) {
      Micro += (S[N] - '0') * Scale;
      Scale /= 10;
    }
    if (N == 0)
      return false;
    S.remove_prefix(N);
  }
  if (H > 24 || M > 59 || Sec > 60 || (H == 24 && (M || Sec || Micro)))
    return false;
  if (!S.empty() && (S.front() == '+' || S.front() == '-')) {
    std::size_t N = 1;
    while (N < S.size() && ((S[N] >= '0' && S[N] <= '9') || S[N] == ':'))
      ++N;
    S.remove_prefix(N);
  }
  Fraction = ((H * 3600.0 + M * 60.0 + Sec) * 1e6 + Micro) / 86400e6;
  return true;
}

// Money in the C monetary locale: "-$1,234.56". Into units of 1/10 000.
bool ParseMoney(std::string_view S, std::int64_t& Raw) {
  bool Negative = false;
  if (!S.empty() && S.front() == '-') {
    Negative = true;
    S.remove_prefix(1);
  }
  if (!S.empty() && S.front() == '$')
    S.remove_prefix(1);
  std::int64_t Whole = 0;
  int Frac = 0, FracDigits = 0;
  bool Any = false, Point = false;
  for (const char C : S) {
    if (C == ',' && !Point)
      continue;
    if (C == '.' && !Point) {
      Point = true;
      continue;
    }
    if (C < '0' || C > '9')
      return false;
    Any = true;
    if (Point) {
      if (++FracDigits > 4)
        return false;
      Frac = Frac * 10 + (C - '0');
    } else {
      if (Whole > (std::numeric_limits<std::int64_t>::max() / 10000 - 9) / 10)
        return false;
      Whole = Whole * 10 + (C - '0');
    }
  }
  for (; FracDigits < 4; ++FracDigits)
    Frac *= 10;
  Raw = Whole * 10000 + Frac;
  if (Negative)
    Raw = -Raw;
  return Any;
}

std::string Quoted(std::string_view Text) {
  std::string S = "\"";
  S.append(Text.substr(0, 40));
  if (Text.size() > 40)
    S += "...";
  return S + "\"";
}

} // namespace

std::string PgParseValue(TZantrelFieldTypes Type, std::string_view Text, std::uint8_t* Dest,
                         std::int32_t Size) {
  const auto Bad = [&](const char* What) { return Quoted(Text) + " is not " + What; };
  switch (Type) {
  case ntString:
    if (static_cast<std::int64_t>(Text.size()) >= Size)
      return std::to_string(Text.size()) + " bytes are longer than its size of " +
             std::to_string(Size > 0 ? Size - 1 : 0);
    if (std::memchr(Text.data(), 0, Text.size()))
      return "the text contains a NUL byte";
    std::memcpy(Dest, Text.data(), Text.size());
    std::memset(Dest + Text.size(), 0, static_cast<std::size_t>(Size) - Text.size());
    return {};
  case ntInteger:
  case ntInt64: {
    std::int64_t V = 0;
    const auto [End, Ec] = std::from_chars(Text.data(), Text.data() + Text.size(), V);
    if (Ec != std::errc() || End != Text.data() + Text.size())
      return Bad("a 64-bit integer");
    if (Type == ntInteger) {
      if (V < std::numeric_limits<std::int32_t>::min() ||
          V > std::numeric_limits<std::int32_t>::max())
        return Text.empty() ? Bad("an integer")
                            : std::string(Text) + " is outside the 32-bit integer range";
      ZtlStore(Dest, static_cast<std::int32_t>(V));
    } else {
      ZtlStore(Dest, V);
    }
    return {};
  }
  case ntFloat: {
    // The server writes numbers with a point whatever the client's locale,
    // which from_chars never consults; strtod still decides a value beyond
    // the double range (a numeric column), as it always did.
    double V = 0;
    const auto [End, Ec] = std::from_chars(Text.data(), Text.data() + Text.size(), V);
    if (Ec == std::errc::result_out_of_range) {
      const std::string S(Text);
      char* StrEnd = nullptr;
      V = std::strtod(S.c_str(), &StrEnd);
      if (StrEnd != S.c_str() + S.size())
        return Bad("a number");
    } else if (Ec != std::errc() || End != Text.data() + Text.size()) {
      return Bad("a number");
    }
    ZtlStore(Dest, V);
    return {};
  }
  case ntCurrency: {
    std::int64_t Raw = 0;
    if (!ParseMoney(Text, Raw))
      return Bad("an amount within the currency range");
    ZtlStore(Dest, Raw);
    return {};
  }
  case ntBoolean:
    if (Text == "t" || Text == "f") {
      ZtlStore(Dest, static_cast<std::uint16_t>(Text == "t"));
      return {};
    }
    return Bad("a Boolean");
  case ntDate: {
    std::string_view S = Text;
    double Days = 0;
    if (!ParseDate(S, Days) || !S.empty())
      return Bad("a date between the years 1 and 9999");
    ZtlStore(Dest, Days);
    return {};
  }
  case ntTime: {
    std::string_view S = Text;
    double F = 0;
    if (!ParseTime(S, F) || !S.empty())
      return Bad("a time of day");
    ZtlStore(Dest, F);
    return {};
  }
  case ntDateTime: {
    std::string_view S = Text;
    double Days = 0, F = 0;
    if (!ParseDate(S, Days) || !Expect(S, ' ') || !ParseTime(S, F) || !S.empty())
      return Bad("a time stamp between the years 1 and 9999");
    // Days before 1899-12-30 count down while their time still counts up.
    ZtlStore(Dest, Days < 0 ? Days - F : Days + F);
    return {};
  }
  default:
    return "its type has no place in the row";
  }
}

std::string PgFormatValue(TZantrelFieldTypes Type, const std::uint8_t* P, std::int32_t Size) {
  char Buf[64];
  switch (Type) {
  case ntString:
    return std::string(reinterpret_cast<const char*>(P),
                       strnlen(reinterpret_cast<const char*>(P), static_cast<std::size_t>(Size)));
  case ntInteger:
    return std::to_string(ZtlLoad<std::int32_t>(P));
  case ntInt64:
    return std::to_string(ZtlLoad<std::int64_t>(P));
  case ntFloat: {
    const double V = ZtlLoad<double>(P);
    if (std::isnan(V))
      return "NaN";
    if (std::isinf(V))
      return V > 0 ? "Infinity" : "-Infinity";
    std::snprintf(Buf, sizeof Buf, "%.17g", V);
    return Buf;
  }
  case ntCurrency: {
    const std::int64_t Raw = ZtlLoad<std::int64_t>(P);
    const std::uint64_t Abs =
        Raw < 0 ? 0 - static_cast<std::uint64_t>(Raw) : static_cast<std::uint64_t>(Raw);
    std::snprintf(Buf, sizeof Buf, "%s%llu.%04llu", Raw < 0 ? "-" : "",
                  static_cast<unsigned long long>(Abs / 10000),
                  static_cast<unsigned long long>(Abs % 10000));
    return Buf;
  }
  case ntBoolean:
    return ZtlLoad<std::uint16_t>(P) ? "t" : "f";
  case ntDate:
  case ntTime:
  case ntDateTime: {
    const double V = ZtlLoad<double>(P);
    int Y = 0, Mo = 0, D = 0, H = 0, Mi = 0, S = 0, Ms = 0;
    DecodeDateTime(V, Y, Mo, D, H, Mi, S, Ms);
    if (Type == ntDate)
      std::snprintf(Buf, sizeof Buf, "%04d-%02d-%02d", Y, Mo, D);
    else if (Type == ntTime)
      std::snprintf(Buf, sizeof Buf, "%02d:%02d:%02d.%03d", H, Mi, S, Ms);
    else
      std::snprintf(Buf, sizeof Buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", Y, Mo, D, H, Mi, S, Ms);
    return Buf;
  }
  default:
    return {};
  }
}

bool PgDecodeBytea(std::string_view Text, std::string& Bytes) {
  if (Text.size() < 2 || Text[0] != '\\' || Text[1] != 'x' || Text.size() % 2 != 0)
    return false;
  const auto Nibble = [](char C) -> int {
    if (C >= '0' && C <= '9')
      return C - '0';
    if (C >= 'a' && C <= 'f')
      return C - 'a' + 10;
    if (C >= 'A' && C <= 'F')
      return C - 'A' + 10;
    return -1;
  };
  Bytes.resize((Text.size() - 2) / 2);
  for (std::size_t I = 0; I < Bytes.size(); ++I) {
    const int Hi = Nibble(Text[2 + 2 * I]), Lo = Nibble(Text[3 + 2 * I]);
    if (Hi < 0 || Lo < 0)
      return false;
    Bytes[I] = static_cast<char>(Hi * 16 + Lo);
  }
  return true;
}

} // namespace ztl
