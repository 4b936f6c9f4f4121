// Declared-type mapping, buffer sizes and the date and time texts of the
// SQLite driver.
#include "drivers/sqlite/SQLiteTypes_p.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace ztl {

namespace {

// One entry of the table of declared type names.
struct TTypeName {
  const char* Name;        // base name, upper case, single blanks
  TZantrelFieldTypes Type; // logical type
  bool TakesLength;        // (n) is a length: strings and binaries
};

constexpr std::array<TTypeName, 35> TypeNames{{
    {"INT", ntInt64, false},
    {"INTEGER", ntInt64, false},
    {"SMALLINT", ntInt64, false},
    {"TINYINT", ntInt64, false},
    {"MEDIUMINT", ntInt64, false},
    {"INT2", ntInt64, false},
    {"INT4", ntInt64, false},
    {"BIGINT", ntInt64, false},
    {"INT8", ntInt64, false},
    {"INT64", ntInt64, false},
    {"UNSIGNED BIG INT", ntInt64, false},
    {"REAL", ntFloat, false},
    {"FLOAT", ntFloat, false},
    {"DOUBLE", ntFloat, false},
    {"DOUBLE PRECISION", ntFloat, false},
    {"CURRENCY", ntCurrency, false},
    {"MONEY", ntCurrency, false},
    {"SMALLMONEY", ntCurrency, false},
    {"BOOLEAN", ntBoolean, false},
    {"BOOL", ntBoolean, false},
    {"BIT", ntBoolean, false},
    {"DATE", ntDate, false},
    {"TIME", ntTime, false},
    {"DATETIME", ntDateTime, false},
    {"TIMESTAMP", ntDateTime, false},
    {"TEXT", ntMemo, false},
    {"CLOB", ntMemo, false},
    {"NTEXT", ntMemo, false},
    {"LONG VARCHAR", ntMemo, false},
    {"BLOB", ntBlob, false},
    {"IMAGE", ntBlob, false},
    {"BYTEA", ntBlob, false},
    {"LONG VARBINARY", ntBlob, false},
    {"BINARY", ntBinary, true},
    {"VARBINARY", ntBinary, true},
}};

// Text types whose (n) is a length in bytes.
constexpr std::array<const char*, 11> CharNames{{
    "CHAR",
    "VARCHAR",
    "NCHAR",
    "NVARCHAR",
    "CHARACTER",
    "VARCHAR2",
    "NVARCHAR2",
    "VARYING CHARACTER",
    "NATIVE CHARACTER",
    "CHARACTER VARYING",
    "STRING",
}};

// Text of undeclared length: a memo, or a string of MaxStringSize bytes when
// the application asked for that.
TSQLiteColumnType UnboundedText(std::int32_t MaxStringSize) {
  if (MaxStringSize > 0 && MaxStringSize <= SQLiteMaxInlineLength)
    return {ntString, MaxStringSize, 0, false};
  return {ntMemo, 0, 0, false};
}

// A column whose declaration says nothing: a string wide enough for any
// number's text, MaxStringSize bytes when the application set it.
TSQLiteColumnType AnyValue(std::int32_t MaxStringSize) {
  const std::int32_t Size = MaxStringSize > 0 ? std::clamp(MaxStringSize, SQLiteNumberTextSize,
                                                           SQLiteMaxInlineLength)
                                              : SQLiteAnyValueSize;
  return {ntString, Size, 0, true};
}

// Upper-cases Decl, collapses blanks and splits it into the base name and up
// to two numeric arguments in parentheses (-1 when absent or unreadable).
void SplitDeclaration(const char* Decl, std::string& Base, std::int64_t& Arg1, std::int64_t& Arg2) {
  Base.clear();
  Arg1 = Arg2 = -1;
  const char* P = Decl;
  for (; *P && *P != '('; ++P) {
    const unsigned char C = static_cast<unsigned char>(*P);
    if (C <= ' ') {
      if (!Base.empty() && Base.back() != ' ')
        Base += ' ';
      continue;
    }
    Base += static_cast<char>(C >= 'a' && C <= 'z' ? C - 'a' + 'A' : C);
  }
  while (!Base.empty() && Base.back() == ' ')
    Base.pop_back();
  if (*P != '(')
    return;
  std::int64_t* Args[2] = {&Arg1, &Arg2};
  for (int I = 0; I < 2; ++I) {
    ++P;
    while (*P == ' ' || *P == '\t')
      ++P;
    if (*P < '0' || *P > '9')
      return;
    std::int64_t N = 0;
    while (*P >= '0' && *P <= '9') {
      // Lengths beyond any sensible size only need to be known as "large".
      if (N < (std::int64_t{1} << 40))
        N = N * 10 + (*P - '0');
      ++P;
    }
    while (*P == ' ' || *P == '\t')
      ++P;
    *Args[I] = N;
    if (*P != ',')
      return;
  }
}

// NUMERIC(p, s) and its kin: exact types where the declaration promises that
// the values fit them, a double otherwise.
TSQLiteColumnType NumericType(std::int64_t Precision, std::int64_t Scale) {
  const std::int32_t P = static_cast<std::int32_t>(Precision < 0      ? 0
                                                   : Precision > 1000 ? 1000
                                                                      : Precision);
  const std::int32_t S = static_cast<std::int32_t>(Scale < 0 ? 0 : Scale > 1000 ? 1000 : Scale);
  if (Precision > 0 && S == 0 && P <= 18)
    return {ntInt64, P, 0, false};
  if (Precision > 0 && S > 0 && S <= 4 && P - S <= 14)
    return {ntCurrency, P, S, false};
  return {ntFloat, P, S, false};
}

bool Contains(const std::string& Text, const char* Part) {
  return Text.find(Part) != std::string::npos;
}

} // namespace

std::int32_t SQLiteStorageClassOf(TZantrelFieldTypes Type) {
  switch (Type) {
  case ntInteger:
  case ntInt64:
  case ntBoolean:
    return SQLITE_INTEGER;
  case ntFloat:
  case ntCurrency:
    return SQLITE_FLOAT;
  case ntString:
  case ntMemo:
  case ntDate:
  case ntTime:
  case ntDateTime:
    return SQLITE_TEXT;
  case ntBinary:
  case ntBlob:
    return SQLITE_BLOB;
  default:
    return SQLITE_NULL;
  }
}

TSQLiteColumnType SQLiteMapDeclaredType(const char* DeclaredType, std::int32_t MaxStringSize) {
  if (!DeclaredType || !*DeclaredType)
    return AnyValue(MaxStringSize);
  std::string Base;
  std::int64_t Arg1, Arg2;
  SplitDeclaration(DeclaredType, Base, Arg1, Arg2);
  if (Base == "NUMERIC" || Base == "DECIMAL" || Base == "NUMBER" || Base == "DEC")
    return NumericType(Arg1, Arg2);
  for (const char* Name : CharNames)
    if (Base == Name) {
      // SQLite counts no length: n characters are room enough for what
      // programs that keep to the declaration write, in UTF-8.
      if (Arg1 > 0 && Arg1 <= SQLiteMaxInlineLength / SQLiteBytesPerChar)
        return {ntString, static_cast<std::int32_t>(Arg1) * SQLiteBytesPerChar, 0, false};
      return UnboundedText(MaxStringSize);
    }
  for (const TTypeName& Entry : TypeNames)
    if (Base == Entry.Name) {
      if (!Entry.TakesLength)
        return Entry.Type == ntMemo ? UnboundedText(MaxStringSize)
                                    : TSQLiteColumnType{Entry.Type, 0, 0, false};
      if (Arg1 > 0 && Arg1 <= SQLiteMaxInlineLength)
        return {Entry.Type, static_cast<std::int32_t>(Arg1), 0, false};
      return {ntBlob, 0, 0, false};
    }
  if (Base.rfind("TIMESTAMP", 0) == 0)
    return {ntDateTime, 0, 0, false};
  // SQLite's own affinity rules, in its order.
  if (Contains(Base, "INT"))
    return {ntInt64, 0, 0, false};
  if (Contains(Base, "CHAR") || Contains(Base, "CLOB") || Contains(Base, "TEXT"))
    return UnboundedText(MaxStringSize);
  if (Contains(Base, "BLOB"))
    return {ntBlob, 0, 0, false};
  if (Contains(Base, "REAL") || Contains(Base, "FLOA") || Contains(Base, "DOUB"))
    return {ntFloat, 0, 0, false};
  return AnyValue(MaxStringSize);
}

bool SQLiteHasTextAffinity(const char* DeclaredType) {
  if (!DeclaredType)
    return false;
  std::string Upper(DeclaredType);
  for (char& C : Upper)
    C = static_cast<char>(std::toupper(static_cast<unsigned char>(C)));
  return !Contains(Upper, "INT") &&
         (Contains(Upper, "CHAR") || Contains(Upper, "CLOB") || Contains(Upper, "TEXT"));
}

TSQLiteColumnType SQLiteTypeOfValue(int StorageClass, std::int32_t MaxStringSize) {
  if (StorageClass == SQLITE_BLOB)
    return {ntBlob, 0, 0, false};
  return AnyValue(MaxStringSize);
}

namespace {

// Reads exactly Count digits at P into Value; false when one is missing.
bool Digits(const char*& P, const char* End, int Count, int& Value) {
  Value = 0;
  for (int I = 0; I < Count; ++I, ++P) {
    if (P >= End || *P < '0' || *P > '9')
      return false;
    Value = Value * 10 + (*P - '0');
  }
  return true;
}

// Days from 1970-01-01 to a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t Y, unsigned M, unsigned D) {
  Y -= M <= 2;
  const std::int64_t Era = (Y >= 0 ? Y : Y - 399) / 400;
  const unsigned Yoe = static_cast<unsigned>(Y - Era * 400);
  const unsigned Doy = (153 * (M + (M > 2 ? -3 : 9)) + 2) / 5 + D - 1;
  const unsigned Doe = Yoe * 365 + Yoe / 4 - Yoe / 100 + Doy;
  return Era * 146097 + static_cast<std::int64_t>(Doe) - 719468;
}

// "HH:MM[:SS[.fff]]" at P as a fraction of a day.
bool ParseTime(const char*& P, const char* End, double& Fraction) {
  int H, M, S = 0;
  double Frac = 0.0;
  if (!Digits(P, End, 2, H) || P >= End || *P != ':')
    return false;
  ++P;
  if (!Digits(P, End, 2, M) || H > 23 || M > 59)
    return false;
  if (P < End && *P == ':') {
    ++P;
    if (!Digits(P, End, 2, S) || S > 59)
      return false;
    if (P < End && *P == '.') {
      ++P;
      double Scale = 0.1;
      if (P >= End || *P < '0' || *P > '9')
        return false;
      for (; P < End && *P >= '0' && *P <= '9'; ++P, Scale /= 10)
        Frac += (*P - '0') * Scale;
    }
  }
  Fraction = ((H * 60.0 + M) * 60.0 + S + Frac) / SecsPerDay;
  return true;
}

} // namespace

namespace {

// Eight bytes at P as one little-endian word.
std::uint64_t Word(const char* P) {
  std::uint64_t W;
  std::memcpy(&W, P, sizeof W);
  return W;
}

constexpr std::uint64_t EachByte = 0x0101010101010101;

// True when the bytes of W under DigitMask are all '0'..'9' and those under
// SepMask equal Seps; Digits then holds the digit values (other bytes 0).
// A byte's high nibble must be 3 and adding 6 to its low nibble must not
// carry, which tests eight bytes at once.
bool Pattern(std::uint64_t W, std::uint64_t DigitMask, std::uint64_t SepMask, std::uint64_t Seps,
             std::uint64_t& Digits) {
  Digits = (W ^ EachByte * '0') & DigitMask;
  const std::uint64_t Overflow = (Digits + EachByte * 6) & DigitMask;
  return (W & SepMask) == Seps && ((Digits | Overflow) & EachByte * 0xF0) == 0;
}

// Two-digit numbers of a digit word: byte I becomes digit I * 10 + digit
// I + 1 (no byte can carry into the next, 9 * 10 + 9 < 256).
std::uint64_t Pairs(std::uint64_t Digits) {
  return Digits * 10 + (Digits >> 8);
}

unsigned PairAt(std::uint64_t Pairs, int Byte) {
  return static_cast<unsigned>(Pairs >> (8 * Byte)) & 0xFF;
}

// The forms SQLite itself writes, "YYYY-MM-DD" and "YYYY-MM-DD HH:MM:SS"
// with an optional ".SSS", read with word-wide digit tests and integer day
// arithmetic (rows are read by the million). The value is the one the
// general reader gives for the same text. False when Text has another form
// or does not hold a valid date, which the general reader then decides.
bool ParseCommonDateTime(std::string_view T, TDateTime& Result) {
  if constexpr (std::endian::native != std::endian::little) {
    return false;
  } else {
    const std::size_t N = T.size();
    if (N != 10 && N != 19 && N != 23)
      return false;
    const char* P = T.data();
    // "YYYY-MM-" and, overlapping, "YY-MM-DD" for the day's two digits.
    std::uint64_t Ymd, Dd;
    if (!Pattern(Word(P), 0x00FFFF00FFFFFFFF, 0xFF0000FF00000000, 0x2D00002D00000000, Ymd) ||
        !Pattern(Word(P + 2), 0xFFFF000000000000, 0, 0, Dd))
      return false;
    const std::uint64_t YmPairs = Pairs(Ymd);
    const unsigned Y = PairAt(YmPairs, 0) * 100 + PairAt(YmPairs, 2);
    const unsigned M = PairAt(YmPairs, 5);
    const unsigned D = PairAt(Pairs(Dd), 6);
    // February with its leap day; the leap year is asked only for that day.
    static constexpr unsigned char MonthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (Y < 1 || M - 1 > 11 || D - 1 >= MonthDays[M - 1])
      return false;
    if (M == 2 && D == 29 && !(Y % 4 == 0 && (Y % 100 != 0 || Y % 400 == 0)))
      return false;
    double Fraction = 0.0;
    if (N > 10) {
      // "HH:MM:SS" after the ' ' or 'T'.
      std::uint64_t Hms;
      if ((P[10] != ' ' && P[10] != 'T') ||
          !Pattern(Word(P + 11), 0xFFFF00FFFF00FFFF, 0x0000FF0000FF0000, 0x00003A00003A0000, Hms))
        return false;
      const std::uint64_t HmsPairs = Pairs(Hms);
      const unsigned H = PairAt(HmsPairs, 0), Mi = PairAt(HmsPairs, 3), S = PairAt(HmsPairs, 6);
      if (H > 23 || Mi > 59 || S > 59)
        return false;
      double Seconds = static_cast<double>((H * 60 + Mi) * 60 + S);
      if (N == 23) {
        if (P[19] != '.')
          return false;
        // The same sum, in the same order, as the general reader's, so both
        // give the same double.
        double Frac = 0.0, Scale = 0.1;
        for (int I = 20; I < 23; ++I, Scale /= 10) {
          const unsigned Digit = static_cast<unsigned char>(P[I]) - unsigned{'0'};
          if (Digit > 9)
            return false;
          Frac += Digit * Scale;
        }
        Seconds += Frac;
      }
      Fraction = Seconds / SecsPerDay;
    }
    // Days counted in years that begin in March, so that the leap day is
    // the last day of its year and no leap test is needed; 0001-01-01 is day
    // 307 of that count. Unsigned divisions by constants cost no division.
    const unsigned Yr = Y - (M <= 2 ? 1 : 0);
    const unsigned FromMarch = M > 2 ? M - 3 : M + 9;
    const unsigned Day = Yr * 365 + Yr / 4 - Yr / 100 + Yr / 400 + (153 * FromMarch + 2) / 5 + D;
    const std::int32_t Days = static_cast<std::int32_t>(Day) - 306 - DateDelta;
    Result = Days >= 0 ? Days + Fraction : Days - Fraction;
    return true;
  }
}

// Every other form: blanks around the text, "HH:MM[:SS[.f...]]" alone,
// "T" or blanks before the time, a zone ("Z", "+HH:MM", "-HH:MM").
bool ParseAnyDateTime(std::string_view Text, TDateTime& Result);

} // namespace

bool SQLiteParseDateTime(std::string_view Text, TDateTime& Result) {
  return ParseCommonDateTime(Text, Result) || ParseAnyDateTime(Text, Result);
}

namespace {

// Out of line, so that the common forms need no registers saved.
[[gnu::noinline]] bool ParseAnyDateTime(std::string_view Text, TDateTime& Result) {
  const char* P = Text.data();
  const char* End = P + Text.size();
  while (P < End && (*P == ' ' || *P == '\t'))
    ++P;
  while (End > P && (End[-1] == ' ' || End[-1] == '\t'))
    --End;
  double Days = 0.0;
  double Fraction = 0.0;
  bool HaveTime = false;
  if (End - P >= 5 && P[2] == ':') {
    if (!ParseTime(P, End, Fraction))
      return false;
    HaveTime = true;
  } else {
    int Y, M, D;
    if (!Digits(P, End, 4, Y) || P >= End || *P++ != '-' || !Digits(P, End, 2, M) || P >= End ||
        *P++ != '-' || !Digits(P, End, 2, D))
      return false;
    if (M < 1 || M > 12 || D < 1 || D > DaysInAMonth(Y, M) || Y < 1)
      return false;
    // 1970-01-01 is day 25569 of the date-time epoch.
    Days = static_cast<double>(
        DaysFromCivil(Y, static_cast<unsigned>(M), static_cast<unsigned>(D)) + 25569);
    if (P < End && (*P == 'T' || *P == ' ')) {
      if (*P == 'T')
        ++P;
      while (P < End && *P == ' ')
        ++P;
      if (!ParseTime(P, End, Fraction))
        return false;
      HaveTime = true;
    }
  }
  if (HaveTime) {
    while (P < End && *P == ' ')
      ++P;
    if (P < End && (*P == 'Z' || *P == 'z')) {
      ++P;
    } else if (P < End && (*P == '+' || *P == '-')) {
      const double Sign = *P++ == '+' ? 1.0 : -1.0;
      int OH, OM;
      if (!Digits(P, End, 2, OH) || P >= End || *P++ != ':' || !Digits(P, End, 2, OM) || OH > 23 ||
          OM > 59)
        return false;
      // "10:00+02:00" is 08:00 UTC.
      Fraction -= Sign * (OH * 60.0 + OM) / MinsPerDay;
    }
  }
  if (P != End)
    return false;
  // An offset may push the time across midnight; the day absorbs that.
  const double Carry = std::floor(Fraction);
  Days += Carry;
  Fraction -= Carry;
  // Before the epoch the fraction still counts the time of day forward:
  // 1899-12-29 06:00 is -1.25.
  Result = Days >= 0 ? Days + Fraction : Days - Fraction;
  return true;
}

} // namespace

std::int32_t SQLiteFormatDateTime(TDateTime Value, TZantrelFieldTypes Type, char* Out) {
  // The day decides: before the epoch the time of day lies below the
  // day's own number (0001-01-01 12:00 is MinDateTime - 0.5).
  if (!(std::trunc(Value) >= MinDateTime && Value <= MaxDateTime + 1))
    return 0;
  int Y, Mo, D, H, Mi, S, Ms;
  try {
    DecodeDateTime(Value, Y, Mo, D, H, Mi, S, Ms);
  } catch (const Exception&) {
    return 0;
  }
  if (Y < 1 || Y > 9999)
    return 0;
  const bool HasTime = H != 0 || Mi != 0 || S != 0 || Ms != 0;
  const bool HasDate = std::floor(Value + 0.5 / MSecsPerDay) != 0.0;
  int N;
  if (Type == ntDate && !HasTime)
    N = std::snprintf(Out, 32, "%04d-%02d-%02d", Y, Mo, D);
  else if (Type == ntTime && !HasDate)
    N = std::snprintf(Out, 32, "%02d:%02d:%02d", H, Mi, S);
  else
    N = std::snprintf(Out, 32, "%04d-%02d-%02d %02d:%02d:%02d", Y, Mo, D, H, Mi, S);
  if (Ms != 0)
    N += std::snprintf(Out + N, 32 - N, ".%03d", Ms);
  return N;
}

} // namespace ztl
